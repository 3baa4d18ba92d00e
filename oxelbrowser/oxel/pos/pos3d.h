// Floating-point position in space: (x, y) plus z.
#pragma once

#include "oxel_export.h"
#include "pos2d.h"

class OXEL_EXPORT pos3d : public pos2d {
public:
    pos3d() : pos2d(), _z(0.0) {}
    pos3d(const pos3d &other) = default;
    pos3d(double x, double y, double z) : pos2d(x, y), _z(z) {}

    double z() const { return _z; }

    pos3d operator=(pos3d other)
    {
        pos2d::operator=(other);
        _z = other._z;
        return *this;
    }
    pos3d operator+(pos3d other) const;
    pos3d operator-(pos3d other) const;
    pos3d operator*(double s) const;
    pos3d operator/(double s) const;
    double size() const;

protected:
    double _z;
};
