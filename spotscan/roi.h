// One region found by the detector: its start pixel and its outline.
#pragma once

#include "bitPlane.h"

#include <string>

// The detector keeps its own small classes apart from the browser's.
namespace spotscan {

// Appends to digits the outer boundary of the region of set pixels whose
// first pixel in row order is (x, y): along pixel edges from that pixel's
// top-left corner, first step down, region on the left.
void trace_outline(const bitPlane &plane, int x, int y, std::string &digits);
// The same, quicker, for a region whose lowest row holds (bottom_x, bottom_y)
// as the first pixel of a run; scratch is room for the walk's second half.
void trace_outline(const bitPlane &plane, int x, int y, int bottom_x, int bottom_y,
                   std::string &digits, std::string &scratch);

class roi {
public:
    roi();
    roi(int x, int y, std::string digits);

    // Traces the region whose first pixel in row order is (x, y).
    void follow(const bitPlane &plane, int x, int y);
    // "x y digits" and a line end, appended to out.
    void print(std::string &out) const;

    int x() const { return _x; }
    int y() const { return _y; }
    // Direction digits '0' up, '1' left, '2' down, '3' right.
    const std::string &digits() const { return _digits; }

private:
    int _x;
    int _y;
    std::string _digits;
};

// Appends "x y " to out, the start of a region's line.
void print_start(int x, int y, std::string &out);

} // namespace spotscan
