// Raster of one ROI.
#include "roiimg.h"

#include "outline_walk.h"

#include <algorithm> // std::min, std::max
#include <cstring>   // std::memset
#include <iostream>
#include <new>     // std::nothrow
#include <utility> // std::move

// A damaged outline whose walk leaves int or whose boundary exceeds the cap
// keeps no polygon and the box of its start point; map() leaves it empty.
roiimg::roiimg(roi r)
    : roi(std::move(r)), _top_left(_x, _y), _bottom_right(_x, _y), _width(1), _height(1),
      _image(nullptr), _size(0), _polygon()
{
    if (!outline_walk::surely_fits(_x, _y, _outline, sizeof(pos2i)) &&
        !outline_walk::walk_fits(outline_walk::measure(_x, _y, _outline), sizeof(pos2i)))
        return;
    _make_polygon();
    _width = _bottom_right.x() - _top_left.x() + 1;
    _height = _bottom_right.y() - _top_left.y() + 1;
}

roiimg::~roiimg()
{
    delete[] _image;
}

void roiimg::add(pos2i p)
{
    if (!_polygon.empty() && _polygon.back() == p)
        return;
    _polygon.push_back(p);
    if (p.x() < _top_left.x() || p.y() < _top_left.y())
        _top_left = pos2i(std::min(_top_left.x(), p.x()), std::min(_top_left.y(), p.y()));
    if (p.x() > _bottom_right.x() || p.y() > _bottom_right.y())
        _bottom_right = pos2i(std::max(_bottom_right.x(), p.x()), std::max(_bottom_right.y(), p.y()));
}

// The rules of add(), with the box kept in locals while walking.
void roiimg::_make_polygon()
{
    _polygon.reserve(_outline.size() + _outline.size() / 4 + 1);
    outline_walk::box b{_top_left.x(), _top_left.y(), _bottom_right.x(), _bottom_right.y()};
    outline_walk::boundary_points(_x, _y, _outline, b, [this](int x, int y) { _polygon.emplace_back(x, y); });
    _top_left = pos2i(b.left, b.top);
    _bottom_right = pos2i(b.right, b.bottom);
}

void roiimg::draw(pos2i p)
{
    outline_walk::fill_row(_image, _width, _height, p.x(), p.y(), 1);
}

void roiimg::erase(pos2i p)
{
    outline_walk::fill_row(_image, _width, _height, p.x(), p.y(), 0);
}

void roiimg::map()
{
    if (_image)
        return;
    const bool walked = !_polygon.empty() || !outline_walk::has_step(_outline);
    const size_t total = static_cast<size_t>(_width) * _height;
    if (walked && total <= outline_walk::max_raster_bytes)
        _image = new (std::nothrow) unsigned char[total];
    if (!_image) {
        outline_walk::report_empty(std::cerr, _x, _y, _z, _t,
                                   outline_walk::measure(_x, _y, _outline));
        _bottom_right = _top_left;
        _width = _height = 1;
        _image = new unsigned char[1]();
        _size = 0;
        return;
    }
    std::memset(_image, 0, total);
    // The fill leaves only 0 and 1 and counts them, which is all count_size() would do.
    _size = static_cast<int>(
        outline_walk::fill(_image, _width, _height, _x - _top_left.x(), _y - _top_left.y(), _outline));
}

void roiimg::count_size()
{
    int n = 0;
    if (!_image) {
        _size = 0;
        return;
    }
    const size_t total = static_cast<size_t>(_width) * _height;
    for (size_t i = 0; i < total; ++i) {
        if (_image[i]) {
            _image[i] = 1;
            ++n;
        }
    }
    _size = n;
}

int roiimg::value(int x, int y)
{
    if (!_image)
        return -1;
    if (x < 0 || x >= _width || y < 0 || y >= _height)
        return 0;
    return _image[static_cast<size_t>(y) * _width + x];
}

int shared_pixels(roiimg &a, roiimg &b)
{
    const int left = std::max(a.top_left().x(), b.top_left().x());
    const int top = std::max(a.top_left().y(), b.top_left().y());
    const int right = std::min(a.bottom_right().x(), b.bottom_right().x());
    const int bottom = std::min(a.bottom_right().y(), b.bottom_right().y());
    if (left > right || top > bottom)
        return 0;
    // In 64 bits: a box may end at the last int, where an int loop never would.
    const long long ax = a.top_left().x(), ay = a.top_left().y();
    const long long bx = b.top_left().x(), by = b.top_left().y();
    int count = 0;
    for (long long y = top; y <= bottom; ++y)
        for (long long x = left; x <= right; ++x)
            if (a.value(static_cast<int>(x - ax), static_cast<int>(y - ay)) != 0 &&
                b.value(static_cast<int>(x - bx), static_cast<int>(y - by)) != 0)
                ++count;
    return count;
}
