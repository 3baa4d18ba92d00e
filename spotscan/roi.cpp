// One region found by the detector.
#include "roi.h"

#include <cstdio> // std::fwrite

namespace spotscan {

namespace {

// Next direction from the incoming direction d and the four pixels around
// the corner: index d + 4·UL + 8·UR + 16·DL + 32·DR. At a diagonal contact
// the walk turns back to its own pixel, so that pixels touching only at a
// corner stay apart, as the 4-connected fill keeps them. -1: never reached.
const signed char next_direction[64] = {
    -1, -1, -1, -1, /* none */ -1, -1, -1, 0, /* UL */
    -1, -1, 3,  -1, /* UR */   -1, -1, -1, 3, /* UL UR */
    1,  -1, -1, -1, /* DL */   0,  -1, -1, -1, /* UL DL */
    1,  -1, 3,  -1, /* UR DL */ 3, -1, -1, -1, /* UL UR DL */
    -1, 2,  -1, -1, /* DR */   -1, 2,  -1, 0, /* UL DR */
    -1, -1, 2,  -1, /* UR DR */ -1, -1, -1, 2, /* UL UR DR */
    -1, 1,  -1, -1, /* DL DR */ -1, 0, -1, -1, /* UL DL DR */
    -1, -1, 1,  -1, /* UR DL DR */ -1, -1, -1, -1, /* all */
};

const int step_x[4] = {0, -1, 0, 1};
const int step_y[4] = {-1, 0, 1, 0};

} // namespace

roi::roi() : _x(0), _y(0), _digits() {}

void roi::follow(const image &img, int x, int y, int v)
{
    _x = x;
    _y = y;
    _digits.clear();
    const int w = static_cast<int>(img.getX()), h = static_cast<int>(img.getY());
    auto inside = [&img, w, h, v](int px, int py) {
        return px >= 0 && py >= 0 && px < w && py < h && img.row(static_cast<unsigned>(py))[px] == v;
    };
    int cx = x, cy = y, d = 2;
    do {
        cx += step_x[d];
        cy += step_y[d];
        _digits.push_back(static_cast<char>('0' + d));
        int index = d + 4 * inside(cx - 1, cy - 1) + 8 * inside(cx, cy - 1) +
                    16 * inside(cx - 1, cy) + 32 * inside(cx, cy);
        d = next_direction[index];
    } while (d >= 0 && !(cx == x && cy == y && d == 2));
}

void roi::print(std::string &out) const
{
    out += std::to_string(_x);
    out.push_back(' ');
    out += std::to_string(_y);
    out.push_back(' ');
    out += _digits;
    out.push_back('\n');
}

void roi::print() const
{
    std::string line;
    print(line);
    std::fwrite(line.data(), 1, line.size(), stdout);
}

} // namespace spotscan
