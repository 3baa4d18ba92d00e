// One region found by the detector: its start pixel and its outline.
#pragma once

#include "image.h"

#include <string>

// The detector keeps its own small classes apart from the browser's.
namespace spotscan {

class roi {
public:
    roi();

    // Walks the region's outer boundary along pixel edges from the top-left
    // corner of its first pixel (x, y), first step down, region on the left.
    void follow(const image &img, int x, int y, int v);
    // "x y digits" and a line end, appended to out.
    void print(std::string &out) const;
    void print() const;

    int x() const { return _x; }
    int y() const { return _y; }
    // Direction digits '0' up, '1' left, '2' down, '3' right.
    const std::string &digits() const { return _digits; }

private:
    int _x;
    int _y;
    std::string _digits;
};

} // namespace spotscan
