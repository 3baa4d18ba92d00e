// An 8-bit single-channel raster.
#include "image.h"

#include <cstdlib>    // posix_memalign, std::free
#include <new>        // std::bad_alloc
#include <sys/mman.h> // madvise
#include <utility>    // std::swap

namespace spotscan {

static const size_t huge_page = 2u << 20;

void *allocate_large(size_t bytes)
{
    void *p = nullptr;
    if (bytes == 0)
        bytes = 1;
    if (bytes >= 2 * huge_page) {
        size_t rounded = (bytes + huge_page - 1) / huge_page * huge_page;
        if (posix_memalign(&p, huge_page, rounded) != 0)
            throw std::bad_alloc();
        madvise(p, rounded, MADV_HUGEPAGE);
        return p;
    }
    p = std::malloc(bytes);
    if (!p)
        throw std::bad_alloc();
    return p;
}

void release_large(void *p)
{
    std::free(p);
}

image::image() : _allocated(false), _pixels(nullptr), _width(0), _height(0) {}

image::~image()
{
    free();
}

void image::free()
{
    if (_allocated)
        release_large(_pixels);
    _pixels = nullptr;
    _allocated = false;
    _width = _height = 0;
}

void image::swap(image &other)
{
    std::swap(_allocated, other._allocated);
    std::swap(_pixels, other._pixels);
    std::swap(_width, other._width);
    std::swap(_height, other._height);
}

void image::setSize(unsigned w, unsigned h)
{
    if (_allocated && w == _width && h == _height)
        return;
    free();
    _pixels = static_cast<unsigned char *>(allocate_large(static_cast<size_t>(w) * h));
    _allocated = true;
    _width = w;
    _height = h;
}

int image::setPixel(unsigned x, unsigned y, unsigned char v)
{
    if (!_allocated || x >= _width || y >= _height)
        return 0;
    _pixels[static_cast<size_t>(y) * _width + x] = v;
    return 1;
}

unsigned char image::getPixel(int x, int y) const
{
    if (!_allocated || _width == 0 || _height == 0)
        return 0;
    if (x < 0)
        x = 0;
    if (y < 0)
        y = 0;
    if (static_cast<unsigned>(x) >= _width)
        x = static_cast<int>(_width) - 1;
    if (static_cast<unsigned>(y) >= _height)
        y = static_cast<int>(_height) - 1;
    return _pixels[static_cast<size_t>(y) * _width + static_cast<unsigned>(x)];
}

} // namespace spotscan
