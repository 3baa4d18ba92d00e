// Integer position in the image stack.
#include "pos3i.h"

#include "pos2d.h"


static pos3i extend(pos2i base, int z)
{
    return pos3i(base.x(), base.y(), z);
}

pos3i pos3i::operator+(pos3i other) const
{
    return extend(pos2i::operator+(other), _z + other._z);
}

pos3i pos3i::operator-(pos3i other) const
{
    return extend(pos2i::operator-(other), _z - other._z);
}

pos3i pos3i::operator*(int s) const
{
    return extend(pos2i::operator*(s), _z * s);
}

pos3i pos3i::operator/(int s) const
{
    return extend(pos2i::operator/(s), _z / s);
}

double pos3i::size() const
{
    return pos2d(pos2i::size(), _z).size();
}
