// Integer position in the image plane: pixel column x, pixel row y.
#pragma once

#include "oxel_export.h"

class OXEL_EXPORT pos2i {
public:
    pos2i() : _x(0), _y(0) {}
    pos2i(const pos2i &other) = default;
    pos2i(int x, int y) : _x(x), _y(y) {}

    int x() const { return _x; }
    int y() const { return _y; }

    bool operator==(pos2i other) const { return _x == other._x && _y == other._y; }
    pos2i operator=(pos2i other)
    {
        _x = other._x;
        _y = other._y;
        return *this;
    }
    pos2i operator+(pos2i other) const;
    pos2i operator-(pos2i other) const;
    pos2i operator*(int s) const;
    pos2i operator/(int s) const;
    double size() const;

protected:
    int _x;
    int _y;
};
