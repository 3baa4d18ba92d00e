// A spatial index of the boxes of one plane: which of them meet a given box,
// without looking at every box of the plane.
#pragma once

#include <cstdint>
#include <vector>

// Inclusive pixel box, as rasters give them.
struct pixel_box {
    int left, top, right, bottom;

    bool meets(const pixel_box &o) const
    {
        return left <= o.right && o.left <= right && top <= o.bottom && o.top <= bottom;
    }
};

// Boxes are numbered in the order given; a query answers the numbers of the
// boxes that meet its box, in ascending order, each once. Planes of a few
// boxes are answered by looking at each.
class box_grid
{
public:
    box_grid() = default;
    explicit box_grid(std::vector<pixel_box> boxes);

    void query(const pixel_box &box, std::vector<std::uint32_t> &out) const;
    std::size_t size() const { return _boxes.size(); }
    const pixel_box &box(std::uint32_t i) const { return _boxes[i]; }

private:
    void cells_of(const pixel_box &b, long &x0, long &y0, long &x1, long &y1) const;

    std::vector<pixel_box> _boxes;
    // Cells of _cell pixels from (_x0, _y0), _nx by _ny; the boxes of cell c
    // are _entries[_start[c]] to _entries[_start[c + 1]] - 1, in ascending order.
    long _x0 = 0, _y0 = 0, _cell = 1, _nx = 0, _ny = 0;
    std::vector<std::uint32_t> _start;
    std::vector<std::uint32_t> _entries;
};
