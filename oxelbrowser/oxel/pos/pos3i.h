// Integer position in the image stack: (x, y) plus the focal plane z.
#pragma once

#include "oxel_export.h"
#include "pos2i.h"

class OXEL_EXPORT pos3i : public pos2i {
public:
    pos3i() : pos2i(), _z(0) {}
    pos3i(const pos3i &other) = default;
    pos3i(int x, int y, int z) : pos2i(x, y), _z(z) {}

    int z() const { return _z; }

    bool operator==(pos3i other) const { return pos2i::operator==(other) && _z == other._z; }
    pos3i operator=(pos3i other)
    {
        pos2i::operator=(other);
        _z = other._z;
        return *this;
    }
    pos3i operator+(pos3i other) const;
    pos3i operator-(pos3i other) const;
    pos3i operator*(int s) const;
    pos3i operator/(int s) const;
    double size() const;

protected:
    int _z;
};
