// Integer position in the time series: (x, y, z) plus the time point t.
#pragma once

#include "oxel_export.h"
#include "pos3i.h"

class OXEL_EXPORT pos4i : public pos3i {
public:
    pos4i() : pos3i(), _t(0) {}
    pos4i(const pos4i &other) = default;
    pos4i(int x, int y, int z, int t) : pos3i(x, y, z), _t(t) {}

    int t() const { return _t; }

    bool operator==(pos4i other) const { return pos3i::operator==(other) && _t == other._t; }
    pos4i operator=(pos4i other)
    {
        pos3i::operator=(other);
        _t = other._t;
        return *this;
    }
    pos4i operator+(pos4i other) const;
    pos4i operator-(pos4i other) const;
    pos4i operator*(int s) const;
    pos4i operator/(int s) const;
    double size() const;

protected:
    int _t;
};
