// Synthetic ROIs of nucleus size for the benchmarks.
#pragma once

#include "OXEL_roi"
#include "OXEL_roidb"
#include "blobs.h"

#include <malloc.h> // mallinfo2: heap bytes in use
#include <random>
#include <string>
#include <vector>

namespace benchdata
{

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

// The large set of the tracking and unit benchmarks, written to path: 100
// time points x 50 planes x 100 discs of radius 10, objects five planes deep,
// every other one shifted so that neighbours in z overlap by less than half;
// a pixel's drift a time point. 500,000 ROIs.
inline void write_large_set(const std::string &path)
{
    const std::vector<std::string> shapes = disc_outlines();
    const std::string &disc = shapes[5]; // radius 10
    roidb db("large");
    for (int t = 0; t < 100; ++t)
        for (int z = 0; z < 50; ++z)
            for (int cell = 0; cell < 100; ++cell) {
                const int shift = (z / 5) % 2 ? 14 : 0;
                const int x = 20 + (cell % 10) * 60 + shift + t % 20;
                const int y = 20 + (cell / 10) * 60;
                db.entry(roi(x, y, z, t, disc));
            }
    db.write(path);
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
