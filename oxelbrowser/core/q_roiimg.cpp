// The browser's raster of one ROI.
#include "q_roiimg.h"

#include "outline_walk.h"
#include "raster_arena.h"

#include <algorithm> // std::min, std::max
#include <cstring>   // std::memset
#include <iostream>
#include <new>     // std::nothrow
#include <utility> // std::move
#include <vector>

q_roiimg::q_roiimg(roi r) : q_roiimg(std::move(r), nullptr) {}

q_roiimg::q_roiimg(roi r, raster_arena *arena)
    : roi(std::move(r)), _top_left(_x, _y), _bottom_right(_x, _y), _width(1), _height(1), _cx(_x),
      _cy(_y), _image(nullptr), _size(0), _boundary_points(0), _walk_fits(false), _traced(true),
      _qpointarray(), _arena(arena)
{
    // A damaged outline whose walk leaves int or whose boundary exceeds the
    // cap keeps no points and the box of its start; map() leaves it empty.
    const outline_walk::extent e = outline_walk::measure(_x, _y, _outline);
    if (!outline_walk::walk_fits(e, sizeof(QPoint)))
        return;
    // The box is the walk's extent; the points wait until they are drawn.
    _walk_fits = true;
    _traced = false;
    _boundary_points = e.points;
    _top_left = pos2i(static_cast<int>(e.left), static_cast<int>(e.top));
    _bottom_right = pos2i(static_cast<int>(e.right), static_cast<int>(e.bottom));
    _width = _bottom_right.x() - _top_left.x() + 1;
    _height = _bottom_right.y() - _top_left.y() + 1;
}

q_roiimg::~q_roiimg()
{
    if (_arena)
        _arena->release(_image, static_cast<size_t>(_width) * static_cast<size_t>(_height));
    else
        delete[] _image;
}

// Null when no memory is left.
unsigned char *q_roiimg::_new_mask(size_t bytes, bool zeroed)
{
    unsigned char *mask = _arena ? static_cast<unsigned char *>(_arena->allocate(bytes))
                                 : new (std::nothrow) unsigned char[bytes];
    if (mask && zeroed)
        std::memset(mask, 0, bytes);
    return mask;
}

void q_roiimg::_add_point(int x, int y)
{
    if (!_qpointarray.isEmpty()) {
        const QPoint &last = _qpointarray.constLast();
        if (last.x() == x && last.y() == y)
            return;
    }
    _qpointarray.append(QPoint(x, y));
    if (x < _top_left.x() || y < _top_left.y())
        _top_left = pos2i(std::min(_top_left.x(), x), std::min(_top_left.y(), y));
    if (x > _bottom_right.x() || y > _bottom_right.y())
        _bottom_right = pos2i(std::max(_bottom_right.x(), x), std::max(_bottom_right.y(), y));
}

// The rules of _add_point(); the box is the walk's, measured already. The
// array is sized from the measured walk, exactly but for repeats.
void q_roiimg::_make_polygon() const
{
    _traced = true;
    _qpointarray.reserve(static_cast<qsizetype>(_boundary_points));
    outline_walk::box b{_top_left.x(), _top_left.y(), _bottom_right.x(), _bottom_right.y()};
    outline_walk::boundary_points(_x, _y, _outline, b,
                                  [this](int x, int y) { _qpointarray.append(QPoint(x, y)); });
}

void q_roiimg::draw(pos2i p)
{
    outline_walk::fill_row(_image, _width, _height, p.x(), p.y(), 1);
}

void q_roiimg::erase(pos2i p)
{
    outline_walk::fill_row(_image, _width, _height, p.x(), p.y(), 0);
}

void q_roiimg::map()
{
    if (_image)
        return;
    const size_t total = static_cast<size_t>(_width) * _height;
    if (_walk_fits && total <= outline_walk::max_raster_bytes)
        _image = _new_mask(total, false);
    if (!_image) {
        outline_walk::report_empty(std::cerr, _x, _y, _z, _t,
                                   outline_walk::measure(_x, _y, _outline));
        _bottom_right = _top_left;
        _width = _height = 1;
        _image = _new_mask(1, true);
        if (!_image)
            throw std::bad_alloc();
        count_size();
        return;
    }
    std::memset(_image, 0, total);
    // The fill leaves every byte 0 or 1 and counts as it goes, as count_size would.
    outline_walk::pixel_sums sums;
    const size_t n = outline_walk::fill(_image, _width, _height, _x - _top_left.x(),
                                        _y - _top_left.y(), _outline, &sums);
    _size = static_cast<int>(n);
    _cx = _top_left.x() + (n ? static_cast<double>(sums.x) / static_cast<double>(n) : 0.0);
    _cy = _top_left.y() + (n ? static_cast<double>(sums.y) / static_cast<double>(n) : 0.0);
}

void q_roiimg::count_size()
{
    long long n = 0, sum_x = 0, sum_y = 0;
    if (!_image) {
        _size = 0;
        return;
    }
    for (int y = 0; y < _height; ++y) {
        unsigned char *row = _image + static_cast<size_t>(y) * _width;
        for (int x = 0; x < _width; ++x) {
            if (row[x]) {
                row[x] = 1;
                ++n;
                sum_x += x;
                sum_y += y;
            }
        }
    }
    _size = static_cast<int>(n);
    // Pixel (x, y) counts at x, y, not at its centre.
    _cx = _top_left.x() + (n ? static_cast<double>(sum_x) / n : 0.0);
    _cy = _top_left.y() + (n ? static_cast<double>(sum_y) / n : 0.0);
}

namespace
{

struct overlap_box {
    int left, top, right, bottom;
};

bool intersect(const q_roiimg &a, const q_roiimg &b, overlap_box &box)
{
    box.left = std::max(a.top_left().x(), b.top_left().x());
    box.top = std::max(a.top_left().y(), b.top_left().y());
    box.right = std::min(a.bottom_right().x(), b.bottom_right().x());
    box.bottom = std::min(a.bottom_right().y(), b.bottom_right().y());
    return box.left <= box.right && box.top <= box.bottom;
}

// Calls row(pa, pb, n) for each row of the common box, with the n mask bytes
// of each raster there, top to bottom; stops when row returns false.
template <class Row> void scan_common(const q_roiimg &a, const q_roiimg &b, Row row)
{
    overlap_box box;
    if (!intersect(a, b, box))
        return;
    // Box-relative offsets in 64 bits: a box may end at the last int.
    const long long n = static_cast<long long>(box.right) - box.left + 1;
    const long long ax = static_cast<long long>(box.left) - a.top_left().x();
    const long long bx = static_cast<long long>(box.left) - b.top_left().x();
    // A raster not yet mapped counts as set all over its box (as value() says).
    std::vector<unsigned char> all_set;
    if (!a.mask() || !b.mask())
        all_set.assign(static_cast<size_t>(n), 1);
    for (long long y = box.top; y <= box.bottom; ++y) {
        const unsigned char *pa =
            a.mask() ? a.mask() + (y - a.top_left().y()) * static_cast<long long>(a.width()) + ax
                     : all_set.data();
        const unsigned char *pb =
            b.mask() ? b.mask() + (y - b.top_left().y()) * static_cast<long long>(b.width()) + bx
                     : all_set.data();
        if (!row(pa, pb, static_cast<size_t>(n)))
            return;
    }
}

} // namespace

// Mask bytes are 0 or 1 once mapped, so a product counts a pixel set in both.
int q_shared_pixels(q_roiimg *a, q_roiimg *b)
{
    int count = 0;
    scan_common(*a, *b, [&count](const unsigned char *pa, const unsigned char *pb, size_t n) {
        unsigned in_row = 0;
        for (size_t i = 0; i < n; ++i)
            in_row += static_cast<unsigned>(pa[i] & pb[i]);
        count += static_cast<int>(in_row);
        return true;
    });
    return count;
}

bool is_overlap(q_roiimg *a, q_roiimg *b)
{
    bool found = false;
    scan_common(*a, *b, [&found](const unsigned char *pa, const unsigned char *pb, size_t n) {
        unsigned any = 0;
        for (size_t i = 0; i < n; ++i)
            any |= static_cast<unsigned>(pa[i] & pb[i]);
        found = any != 0;
        return !found;
    });
    return found;
}
