// Floating-point position in the plane, used for centroids and geometry.
#pragma once

#include "oxel_export.h"

class OXEL_EXPORT pos2d {
public:
    pos2d() : _x(0.0), _y(0.0) {}
    pos2d(const pos2d &other) = default;
    pos2d(double x, double y) : _x(x), _y(y) {}

    double x() const { return _x; }
    double y() const { return _y; }

    pos2d operator=(pos2d other)
    {
        _x = other._x;
        _y = other._y;
        return *this;
    }
    pos2d operator+(pos2d other) const;
    pos2d operator-(pos2d other) const;
    pos2d operator*(double s) const;
    pos2d operator/(double s) const;
    double size() const;

protected:
    double _x;
    double _y;
};
