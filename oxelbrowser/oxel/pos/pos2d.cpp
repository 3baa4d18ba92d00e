// Floating-point position in the plane.
#include "pos2d.h"

#include <cmath> // std::sqrt


pos2d pos2d::operator+(pos2d other) const
{
    return pos2d(_x + other._x, _y + other._y);
}

pos2d pos2d::operator-(pos2d other) const
{
    return pos2d(_x - other._x, _y - other._y);
}

pos2d pos2d::operator*(double s) const
{
    return pos2d(_x * s, _y * s);
}

pos2d pos2d::operator/(double s) const
{
    return pos2d(_x / s, _y / s);
}

double pos2d::size() const
{
    return std::sqrt(_y * _y + _x * _x);
}
