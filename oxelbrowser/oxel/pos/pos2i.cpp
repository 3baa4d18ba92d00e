// Integer position in the image plane.
#include "pos2i.h"

#include "pos2d.h"


pos2i pos2i::operator+(pos2i other) const
{
    return pos2i(_x + other._x, _y + other._y);
}

pos2i pos2i::operator-(pos2i other) const
{
    return pos2i(_x - other._x, _y - other._y);
}

pos2i pos2i::operator*(int s) const
{
    return pos2i(_x * s, _y * s);
}

pos2i pos2i::operator/(int s) const
{
    return pos2i(_x / s, _y / s);
}

double pos2i::size() const
{
    return pos2d(_x, _y).size();
}
