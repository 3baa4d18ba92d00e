// Synthetic ROIs of nucleus size for the benchmarks.
#pragma once

#include "OXEL_roi"
#include "blobs.h"

#include <malloc.h> // mallinfo2: heap bytes in use
#include <random>
#include <string>
#include <vector>

namespace benchdata {

// Outlines of discs with radius 5 to 15, traced as the detector does.
inline std::vector<std::string> disc_outlines()
{
    std::vector<std::string> out;
    for (int radius = 5; radius <= 15; ++radius) {
        int side = 2 * radius + 1;
        testsupport::Bitmap b(side, side);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                if ((x - radius) * (x - radius) + (y - radius) * (y - radius) <= radius * radius)
                    b.at(x, y) = 1;
        out.push_back(testsupport::trace(b).digits);
    }
    return out;
}

// n ROIs spread over 150 time points and 50 planes of a 1000 x 1000 image,
// at distinct positions.
inline std::vector<roi> dataset(size_t n, unsigned seed = 1)
{
    std::vector<std::string> shapes = disc_outlines();
    std::mt19937 rng(seed);
    std::vector<roi> out;
    out.reserve(n);
    const size_t per_plane = (n + 150 * 50 - 1) / (150 * 50);
    for (size_t i = 0; i < n; ++i) {
        size_t plane = i / per_plane, k = i % per_plane;
        int t = static_cast<int>(plane / 50), z = static_cast<int>(plane % 50);
        // A grid of cells 40 pixels apart, shuffled a little inside each cell.
        int cx = static_cast<int>(k % 24) * 40 + 20 + static_cast<int>(rng() % 5);
        int cy = static_cast<int>(k / 24) * 40 + 20 + static_cast<int>(rng() % 5);
        const std::string &shape = shapes[rng() % shapes.size()];
        out.push_back(roi(cx, cy, z, t, shape));
    }
    return out;
}

inline size_t heap_in_use()
{
    return mallinfo2().uordblks;
}

} // namespace benchdata
