// The browser's raster of one ROI.
#include "q_roiimg.h"

#include "outline_walk.h"

#include <algorithm> // std::min, std::max
#include <cstring>   // std::memset
#include <iostream>
#include <new>     // std::nothrow
#include <utility> // std::move

q_roiimg::q_roiimg(roi r)
    : roi(std::move(r)), _top_left(_x, _y), _bottom_right(_x, _y), _width(1), _height(1), _cx(_x),
      _cy(_y), _image(nullptr), _size(0), _qpointarray()
{
    // A damaged outline whose walk leaves int or whose boundary exceeds the
    // cap keeps no points and the box of its start; map() leaves it empty.
    const outline_walk::extent e = outline_walk::measure(_x, _y, _outline);
    if (!outline_walk::walk_fits(e, sizeof(QPoint)))
        return;
    // The array is sized from the measured walk, exactly but for repeats.
    _qpointarray.reserve(static_cast<qsizetype>(e.points));
    _make_polygon();
    _width = _bottom_right.x() - _top_left.x() + 1;
    _height = _bottom_right.y() - _top_left.y() + 1;
}

q_roiimg::~q_roiimg()
{
    delete[] _image;
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

// The rules of _add_point(), with the box kept in locals while walking.
void q_roiimg::_make_polygon()
{
    outline_walk::box b{_top_left.x(), _top_left.y(), _bottom_right.x(), _bottom_right.y()};
    outline_walk::boundary_points(_x, _y, _outline, b,
                                  [this](int x, int y) { _qpointarray.append(QPoint(x, y)); });
    _top_left = pos2i(b.left, b.top);
    _bottom_right = pos2i(b.right, b.bottom);
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
    const bool walked = !_qpointarray.isEmpty() || !outline_walk::has_step(_outline);
    const size_t total = static_cast<size_t>(_width) * _height;
    if (walked && total <= outline_walk::max_raster_bytes)
        _image = new (std::nothrow) unsigned char[total];
    if (!_image) {
        outline_walk::report_empty(std::cerr, _x, _y, _z, _t,
                                   outline_walk::measure(_x, _y, _outline));
        _bottom_right = _top_left;
        _width = _height = 1;
        _image = new unsigned char[1]();
        count_size();
        return;
    }
    std::memset(_image, 0, total);
    outline_walk::fill(_image, _width, _height, _x - _top_left.x(), _y - _top_left.y(), _outline);
    count_size();
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

namespace {

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

// Visits the pixels of the common box in row order; stops when visit returns false.
template <class Visit> void scan_common(const q_roiimg &a, const q_roiimg &b, Visit visit)
{
    overlap_box box;
    if (!intersect(a, b, box))
        return;
    // In 64 bits: a box may end at the last int, where an int loop never would.
    const long long ax = a.top_left().x(), ay = a.top_left().y();
    const long long bx = b.top_left().x(), by = b.top_left().y();
    for (long long y = box.top; y <= box.bottom; ++y)
        for (long long x = box.left; x <= box.right; ++x)
            if (a.value(static_cast<int>(x - ax), static_cast<int>(y - ay)) != 0 &&
                b.value(static_cast<int>(x - bx), static_cast<int>(y - by)) != 0)
                if (!visit())
                    return;
}

} // namespace

int q_shared_pixels(q_roiimg *a, q_roiimg *b)
{
    int count = 0;
    scan_common(*a, *b, [&count] {
        ++count;
        return true;
    });
    return count;
}

bool is_overlap(q_roiimg *a, q_roiimg *b)
{
    bool found = false;
    scan_common(*a, *b, [&found] {
        found = true;
        return false;
    });
    return found;
}
