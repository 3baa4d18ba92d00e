// Integer position in the time series.
#include "pos4i.h"

#include "pos2d.h"


static pos4i extend(pos3i base, int t)
{
    return pos4i(base.x(), base.y(), base.z(), t);
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
