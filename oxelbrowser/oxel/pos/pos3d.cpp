// Floating-point position in space.
#include "pos3d.h"


static pos3d extend(pos2d base, double z)
{
    return pos3d(base.x(), base.y(), z);
}

pos3d pos3d::operator+(pos3d other) const
{
    return extend(pos2d::operator+(other), _z + other._z);
}

pos3d pos3d::operator-(pos3d other) const
{
    return extend(pos2d::operator-(other), _z - other._z);
}

pos3d pos3d::operator*(double s) const
{
    return extend(pos2d::operator*(s), _z * s);
}

pos3d pos3d::operator/(double s) const
{
    return extend(pos2d::operator/(s), _z / s);
}

double pos3d::size() const
{
    return pos2d(pos2d::size(), _z).size();
}
