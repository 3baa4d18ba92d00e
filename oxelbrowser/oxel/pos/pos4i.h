// Integer position in the time series: (x, y, z) plus the time point t.
#pragma once

#include "pos3i.h"

class pos4i : public pos3i {
public:
    pos4i();
    pos4i(const pos4i &other);
    pos4i(int x, int y, int z, int t);

    int t() const { return _t; }

    bool operator==(pos4i other) const;
    pos4i operator=(pos4i other);
    pos4i operator+(pos4i other) const;
    pos4i operator-(pos4i other) const;
    pos4i operator*(int s) const;
    pos4i operator/(int s) const;
    double size() const;

protected:
    int _t;
};
