// Test helpers for binary images: random blobs, an independent outline
// tracer, component counting and hole filling.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace testsupport {

// A binary image, row by row; non-zero is a region pixel.
struct Bitmap {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> px;

    Bitmap() = default;
    Bitmap(int w, int h) : width(w), height(h), px(static_cast<size_t>(w) * h, 0) {}
    bool in(int x, int y) const
    {
        return x >= 0 && y >= 0 && x < width && y < height && px[static_cast<size_t>(y) * width + x];
    }
    uint8_t &at(int x, int y) { return px[static_cast<size_t>(y) * width + x]; }
    int count() const;
};

struct Outline {
    int x = 0;
    int y = 0;
    std::string digits;
};

// A 4-connected blob grown at random from the centre, about `cells` pixels.
Bitmap random_blob(std::mt19937 &rng, int width, int height, int cells);
// Random pixels set with probability p.
Bitmap random_noise(std::mt19937 &rng, int width, int height, double p);
// The blob with every hole filled: background not reachable from outside
// through 8-connected background (a walk keeping 4-connected regions apart
// passes between diagonal neighbours).
Bitmap fill_holes(const Bitmap &b);
// 4-connected components, each as its own bitmap, in raster order of first pixel.
std::vector<Bitmap> components(const Bitmap &b);
// Outer outline of the region containing the first set pixel in raster order:
// from its top-left corner, first step down, region on the left.
Outline trace(const Bitmap &b);
// Marks a pixel block given as a flat byte array.
Bitmap from_bytes(const unsigned char *bytes, int width, int height);

} // namespace testsupport
