// The spatial index of a plane's boxes.
#include "box_grid.h"

#include <algorithm> // std::min, std::max, std::sort, std::unique
#include <cmath>     // std::ceil, std::sqrt
#include <utility>   // std::move

namespace
{

// Below this many boxes a plain look at each is as quick as the grid.
const std::size_t linear_below = 32;

long floor_div(long a, long b)
{
    return a >= 0 ? a / b : -((-a + b - 1) / b);
}

} // namespace

box_grid::box_grid(std::vector<pixel_box> boxes) : _boxes(std::move(boxes))
{
    const std::size_t n = _boxes.size();
    if (n < linear_below)
        return;
    long left = _boxes[0].left, top = _boxes[0].top, right = _boxes[0].right,
         bottom = _boxes[0].bottom;
    double extent = 0;
    for (const pixel_box &b : _boxes) {
        left = std::min<long>(left, b.left);
        top = std::min<long>(top, b.top);
        right = std::max<long>(right, b.right);
        bottom = std::max<long>(bottom, b.bottom);
        extent += (double(b.right) - b.left + 1) + (double(b.bottom) - b.top + 1);
    }
    // Cells about twice a typical box, and not many more cells than boxes.
    const double width = double(right) - left + 1, height = double(bottom) - top + 1;
    double cell = std::max(8.0, extent / double(n));
    const double most_cells = 4.0 * double(n);
    if ((width / cell) * (height / cell) > most_cells)
        cell = std::ceil(std::sqrt(width * height / most_cells));
    _cell = static_cast<long>(cell);
    _x0 = left;
    _y0 = top;
    _nx = static_cast<long>(std::ceil(width / double(_cell)));
    _ny = static_cast<long>(std::ceil(height / double(_cell)));

    const std::size_t cells = static_cast<std::size_t>(_nx) * static_cast<std::size_t>(_ny);
    _start.assign(cells + 1, 0);
    long x0, y0, x1, y1;
    for (const pixel_box &b : _boxes) {
        cells_of(b, x0, y0, x1, y1);
        for (long y = y0; y <= y1; ++y)
            for (long x = x0; x <= x1; ++x)
                ++_start[static_cast<std::size_t>(y * _nx + x) + 1];
    }
    for (std::size_t c = 0; c < cells; ++c)
        _start[c + 1] += _start[c];
    _entries.resize(_start[cells]);
    std::vector<std::uint32_t> fill(_start.begin(), _start.end() - 1);
    for (std::uint32_t i = 0; i < n; ++i) {
        cells_of(_boxes[i], x0, y0, x1, y1);
        for (long y = y0; y <= y1; ++y)
            for (long x = x0; x <= x1; ++x)
                _entries[fill[static_cast<std::size_t>(y * _nx + x)]++] = i;
    }
}

// The cells that b covers, within the grid.
void box_grid::cells_of(const pixel_box &b, long &x0, long &y0, long &x1, long &y1) const
{
    x0 = std::max(0L, floor_div(long(b.left) - _x0, _cell));
    y0 = std::max(0L, floor_div(long(b.top) - _y0, _cell));
    x1 = std::min(_nx - 1, floor_div(long(b.right) - _x0, _cell));
    y1 = std::min(_ny - 1, floor_div(long(b.bottom) - _y0, _cell));
}

void box_grid::query(const pixel_box &box, std::vector<std::uint32_t> &out) const
{
    out.clear();
    const std::uint32_t n = static_cast<std::uint32_t>(_boxes.size());
    long x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    if (_nx > 0)
        cells_of(box, x0, y0, x1, y1);
    const long covered = x1 < x0 || y1 < y0 ? 0 : (x1 - x0 + 1) * (y1 - y0 + 1);
    if (_nx == 0 || covered > long(n)) {
        for (std::uint32_t i = 0; i < n; ++i)
            if (_boxes[i].meets(box))
                out.push_back(i);
        return;
    }
    for (long y = y0; y <= y1; ++y)
        for (long x = x0; x <= x1; ++x) {
            const std::size_t c = static_cast<std::size_t>(y * _nx + x);
            for (std::uint32_t e = _start[c]; e < _start[c + 1]; ++e)
                if (_boxes[_entries[e]].meets(box))
                    out.push_back(_entries[e]);
        }
    if (covered > 1) {
        std::sort(out.begin(), out.end());
        out.erase(std::unique(out.begin(), out.end()), out.end());
    }
}
