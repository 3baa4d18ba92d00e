// An 8-bit single-channel raster.
#pragma once

#include <cstddef>

// The detector keeps its own small classes apart from the browser's.
namespace spotscan {

class image {
public:
    image();
    ~image();
    image(const image &) = delete;
    image &operator=(const image &) = delete;

    // Keeps the storage when the size is unchanged; otherwise reallocates
    // (contents undefined).
    void setSize(unsigned w, unsigned h);
    // Ignores coordinates outside the image (returns 0, else 1).
    int setPixel(unsigned x, unsigned y, unsigned char v);
    // Coordinates are clamped into the image.
    unsigned char getPixel(int x, int y) const;
    unsigned char getPixelI(int x, int y) const { return getPixel(x, y); }
    unsigned char getPixelR(int x, int y) const { return getPixel(x, y); }
    unsigned char getPixelG(int x, int y) const { return getPixel(x, y); }
    unsigned char getPixelB(int x, int y) const { return getPixel(x, y); }
    unsigned getX() const { return _width; }
    unsigned getY() const { return _height; }
    bool allocated() const { return _allocated; }
    void free();
    // Exchanges the pixels and sizes of two images.
    void swap(image &other);

    // Rows are stored one after the other so that decoding, thresholding and
    // the raster scans of the detector walk memory in order.
    unsigned char *row(unsigned y) { return _pixels + static_cast<size_t>(y) * _width; }
    const unsigned char *row(unsigned y) const { return _pixels + static_cast<size_t>(y) * _width; }
    unsigned char *data() { return _pixels; }
    const unsigned char *data() const { return _pixels; }

private:
    bool _allocated;
    unsigned char *_pixels;
    unsigned _width;
    unsigned _height;
};

// Large buffers for whole images: asks the kernel for huge pages, since the
// first touch of fresh memory costs as much as decoding it.
void *allocate_large(size_t bytes);
void release_large(void *p);

} // namespace spotscan
