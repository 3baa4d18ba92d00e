// Integer position in the time series.
#include "pos4i.h"

#include "pos2d.h"

pos4i::pos4i() : pos3i(), _t(0) {}
pos4i::pos4i(const pos4i &other) : pos3i(other), _t(other._t) {}
pos4i::pos4i(int x, int y, int z, int t) : pos3i(x, y, z), _t(t) {}

static pos4i extend(pos3i base, int t)
{
    return pos4i(base.x(), base.y(), base.z(), t);
}

bool pos4i::operator==(pos4i other) const
{
    return pos3i::operator==(other) && _t == other._t;
}

pos4i pos4i::operator=(pos4i other)
{
    pos3i::operator=(other);
    _t = other._t;
    return *this;
}

pos4i pos4i::operator+(pos4i other) const
{
    return extend(pos3i::operator+(other), _t + other._t);
}

pos4i pos4i::operator-(pos4i other) const
{
    return extend(pos3i::operator-(other), _t - other._t);
}

pos4i pos4i::operator*(int s) const
{
    return extend(pos3i::operator*(s), _t * s);
}

pos4i pos4i::operator/(int s) const
{
    return extend(pos3i::operator/(s), _t / s);
}

double pos4i::size() const
{
    return pos2d(pos3i::size(), _t).size();
}
