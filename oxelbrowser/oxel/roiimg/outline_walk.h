// The outline rules shared by every raster of a ROI: the boundary-pixel walk
// and the mask fill. Header only, so that each raster class keeps its own
// storage (a list of points, a Qt point array) and links nothing extra.
#pragma once

#include <cstddef>
#include <cstring> // std::memset
#include <ostream>
#include <string>

namespace outline_walk
{

// Mask byte values while filling: 2 marks a boundary pixel.
const unsigned char boundary = 2;

// No nucleus needs a mask or a boundary larger than this (an 8192 x 8192
// box): an outline that does is damaged, and its raster stays empty rather
// than taking the machine's memory.
const size_t max_raster_bytes = size_t(1) << 26;
// Boundary pixels farther than this from the origin lie outside any image;
// the limit keeps every step of the walk, and a box's width and height, far
// from the ends of int.
const long long max_coordinate = 1LL << 29;

// Calls add(x, y) for every boundary pixel in walking order, starting at
// (x, y). The walk keeps the region on its left; each step names the pixel
// on that side, and at an inner turn the corner pixel is added too, so
// consecutive points always share an edge. Other characters are skipped.
template <class Int, class Add> void polygon(Int x, Int y, const std::string &outline, Add add)
{
    char prev = '2';
    for (char c : outline) {
        switch (c) {
        case '0':
            if (prev == '1')
                add(x - 1, y);
            y -= 1;
            add(x - 1, y);
            break;
        case '1':
            if (prev == '2')
                add(x, y);
            x -= 1;
            add(x, y);
            break;
        case '2':
            if (prev == '3')
                add(x, y - 1);
            add(x, y);
            y += 1;
            break;
        case '3':
            if (prev == '0')
                add(x - 1, y - 1);
            add(x, y - 1);
            x += 1;
            break;
        default:
            continue;
        }
        prev = c;
    }
}

// The inclusive box of a raster: its start point and every boundary pixel.
struct box {
    int left, top, right, bottom;
};

// Where a walk goes, in 64 bits so that no outline can overflow it: the box of
// the start and every boundary pixel, and the number of boundary points
// before repeats are dropped.
struct extent {
    long long left, top, right, bottom;
    size_t points;

    long long width() const { return right - left + 1; }
    long long height() const { return bottom - top + 1; }
};

inline extent measure(int x, int y, const std::string &outline)
{
    extent e{x, y, x, y, 0};
    polygon<long long>(x, y, outline, [&e](long long px, long long py) {
        e.left = px < e.left ? px : e.left;
        e.top = py < e.top ? py : e.top;
        e.right = px > e.right ? px : e.right;
        e.bottom = py > e.bottom ? py : e.bottom;
        ++e.points;
    });
    return e;
}

// Whether the walk can be taken in int and its boundary kept (point_bytes:
// the size of one stored point).
inline bool walk_fits(const extent &e, size_t point_bytes)
{
    return e.left >= -max_coordinate && e.top >= -max_coordinate && e.right <= max_coordinate &&
           e.bottom <= max_coordinate && e.points <= max_raster_bytes / point_bytes;
}

// Whether a walk surely fits without measuring it: no step takes it farther
// from its start than the outline is long, and a step adds at most two points.
inline bool surely_fits(int x, int y, const std::string &outline, size_t point_bytes)
{
    const long long n = static_cast<long long>(outline.size());
    const long long ax = x < 0 ? -static_cast<long long>(x) : x;
    const long long ay = y < 0 ? -static_cast<long long>(y) : y;
    return ax + n + 1 <= max_coordinate && ay + n + 1 <= max_coordinate &&
           2 * outline.size() <= max_raster_bytes / point_bytes;
}

// Whether the outline holds a step: a walk with one always leaves a boundary
// point, so a raster without points but with steps was found damaged.
inline bool has_step(const std::string &outline)
{
    return outline.find_first_of("0123") != std::string::npos;
}

// The one message of a raster left empty.
inline void report_empty(std::ostream &err, int x, int y, int z, int t, const extent &e)
{
    err << "ROI at " << x << " " << y << " " << z << " " << t << ": outline spans " << e.width()
        << " x " << e.height() << " pixels; left empty" << std::endl;
}

// Calls append(x, y) for every boundary pixel, dropping a point equal to the
// one before (the walk's closing point usually repeats the first), and
// widens b to take in each point appended.
template <class Append>
void boundary_points(int x, int y, const std::string &outline, box &b, Append append)
{
    bool any = false;
    int last_x = 0, last_y = 0;
    polygon(x, y, outline, [&](int px, int py) {
        if (any && px == last_x && py == last_y)
            return;
        any = true;
        last_x = px;
        last_y = py;
        append(px, py);
        b.left = px < b.left ? px : b.left;
        b.top = py < b.top ? py : b.top;
        b.right = px > b.right ? px : b.right;
        b.bottom = py > b.bottom ? py : b.bottom;
    });
}

// Sets row y of a w x h mask to value from column x rightwards, stopping
// before the first boundary byte or at the edge (tested before the byte).
inline void fill_row(unsigned char *mask, int w, int h, int x, int y, unsigned char value)
{
    if (!mask || y < 0 || y >= h || x < 0)
        return;
    unsigned char *row = mask + static_cast<size_t>(y) * w;
    for (int col = x; col < w && row[col] != boundary; ++col)
        row[col] = value;
}

// Fills a cleared w x h mask with 1 for the region the outline encloses
// (holes included) and 0 elsewhere; (x, y) is the start relative to the box.
// The walk marks every boundary pixel; the inside is then filled row by row
// by parity: every vertical step is a crossing, so a pixel is inside when an
// odd number of down and up edges lie at or left of it. (Filling runs from
// each down edge to the next boundary byte as the walk goes would miss pixels
// beside a deep pocket of background whose far side the walk marked earlier;
// counting crossings does not depend on the order of the walk.)
// Returns the number of pixels set; with sums, also adds up the columns and
// the rows of the pixels set (for a centroid).
struct pixel_sums {
    long long x = 0, y = 0;
};
inline size_t fill(unsigned char *mask, int w, int h, int x, int y, const std::string &outline,
                   pixel_sums *sums = nullptr)
{
    const unsigned char crossing = 4;
    auto m = [mask, w](int px, int py) -> unsigned char & {
        return mask[static_cast<size_t>(py) * w + px];
    };
    auto cross = [&m, w, h](int px, int py) {
        if (px >= 0 && px < w && py >= 0 && py < h)
            m(px, py) ^= crossing;
    };
    // Every marked pixel is a boundary point, which lies inside the box.
    for (char c : outline) {
        switch (c) {
        case '0':
            y -= 1;
            m(x - 1, y) |= boundary;
            cross(x, y);
            break;
        case '1':
            x -= 1;
            m(x, y) |= boundary;
            break;
        case '2':
            m(x, y) |= boundary;
            cross(x, y);
            y += 1;
            break;
        case '3':
            m(x, y - 1) |= boundary;
            x += 1;
            break;
        default:
            break;
        }
    }
    size_t count = 0;
    for (int row = 0; row < h; ++row) {
        unsigned char *p = mask + static_cast<size_t>(row) * w;
        unsigned inside = 0;
        size_t in_row = 0;
        long long cols = 0;
        for (int col = 0; col < w; ++col) {
            const unsigned v = p[col];
            inside ^= (v & crossing) >> 2;
            const unsigned set = inside | ((v & boundary) >> 1);
            p[col] = static_cast<unsigned char>(set);
            in_row += set;
            cols += set ? col : 0;
        }
        count += in_row;
        if (sums) {
            sums->x += cols;
            sums->y += static_cast<long long>(in_row) * row;
        }
    }
    return count;
}

} // namespace outline_walk
