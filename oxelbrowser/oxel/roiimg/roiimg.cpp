// Raster of one ROI.
#include "roiimg.h"

#include <algorithm> // std::min, std::max
#include <cstring>   // std::memset
#include <utility>   // std::move

// Mask values while mapping: the walk marks boundary pixels with 2 so that
// the row fills know where the region ends.
static const unsigned char boundary = 2;

roiimg::roiimg(roi r)
    : roi(std::move(r)), _top_left(_x, _y), _bottom_right(_x, _y), _width(1), _height(1),
      _image(nullptr), _size(0), _polygon()
{
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
    _top_left = pos2i(std::min(_top_left.x(), p.x()), std::min(_top_left.y(), p.y()));
    _bottom_right = pos2i(std::max(_bottom_right.x(), p.x()), std::max(_bottom_right.y(), p.y()));
}

// The walk keeps the region on its left; each step names the pixel on that
// side, and at an inner turn the corner pixel is added too, so consecutive
// polygon points always share an edge.
void roiimg::_make_polygon()
{
    int x = _x, y = _y;
    char prev = '2';
    _polygon.reserve(_outline.size() + _outline.size() / 4 + 1);
    for (char c : _outline) {
        switch (c) {
        case '0':
            if (prev == '1')
                add(pos2i(x - 1, y));
            y -= 1;
            add(pos2i(x - 1, y));
            break;
        case '1':
            if (prev == '2')
                add(pos2i(x, y));
            x -= 1;
            add(pos2i(x, y));
            break;
        case '2':
            if (prev == '3')
                add(pos2i(x, y - 1));
            add(pos2i(x, y));
            y += 1;
            break;
        case '3':
            if (prev == '0')
                add(pos2i(x - 1, y - 1));
            add(pos2i(x, y - 1));
            x += 1;
            break;
        default:
            continue;
        }
        prev = c;
    }
}

void roiimg::draw(pos2i p)
{
    if (p.y() < 0 || p.y() >= _height || p.x() < 0)
        return;
    unsigned char *row = _image + static_cast<size_t>(p.y()) * _width;
    for (int x = p.x(); x < _width && row[x] != boundary; ++x)
        row[x] = 1;
}

void roiimg::erase(pos2i p)
{
    if (p.y() < 0 || p.y() >= _height || p.x() < 0)
        return;
    unsigned char *row = _image + static_cast<size_t>(p.y()) * _width;
    for (int x = p.x(); x < _width && row[x] != boundary; ++x)
        row[x] = 0;
}

// The walk marks every boundary pixel; the inside is then filled row by row
// by parity: every vertical step of the outline is a crossing, so a pixel is
// inside when an odd number of down and up edges lie at or left of it. (Filling
// runs from each down edge to the next boundary byte, as the walk goes, misses
// pixels beside a deep pocket of background whose far side the walk has
// already marked; counting crossings does not depend on the order of the walk.)
void roiimg::map()
{
    if (_image)
        return;
    const int w = _width, h = _height;
    const size_t total = static_cast<size_t>(w) * h;
    _image = new unsigned char[total];
    std::memset(_image, 0, total);
    // Crossing marks share the mask bytes with the boundary marks.
    const unsigned char crossing = 4;
    auto m = [this, w](int x, int y) -> unsigned char & {
        return _image[static_cast<size_t>(y) * w + x];
    };
    auto cross = [&m, w, h, crossing](int x, int y) {
        if (x >= 0 && x < w && y >= 0 && y < h)
            m(x, y) ^= crossing;
    };

    int x = _x - _top_left.x(), y = _y - _top_left.y();
    for (char c : _outline) {
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
    for (int row = 0; row < h; ++row) {
        unsigned char *p = _image + static_cast<size_t>(row) * w;
        bool inside = false;
        for (int col = 0; col < w; ++col) {
            inside ^= (p[col] & crossing) != 0;
            p[col] = (inside || (p[col] & boundary)) ? 1 : 0;
        }
    }
    count_size();
}

void roiimg::count_size()
{
    int n = 0;
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
    const int ax = a.top_left().x(), ay = a.top_left().y();
    const int bx = b.top_left().x(), by = b.top_left().y();
    int count = 0;
    for (int y = top; y <= bottom; ++y)
        for (int x = left; x <= right; ++x)
            if (a.value(x - ax, y - ay) != 0 && b.value(x - bx, y - by) != 0)
                ++count;
    return count;
}
