// Outlines of the 4-connected pieces of a pixel mask, traced by the
// detector's own tracer: the one place that speaks to the detector's classes.
#pragma once

#include <cstddef>
#include <memory> // std::unique_ptr
#include <string>
#include <vector>

struct traced_piece {
    int x = 0; // start pixel, relative to the mask
    int y = 0;
    std::string outline;
    size_t pixels = 0;
};

class piece_tracer
{
public:
    piece_tracer();
    ~piece_tracer();
    piece_tracer(const piece_tracer &) = delete;
    piece_tracer &operator=(const piece_tracer &) = delete;

    // Replaces out with one piece per 4-connected region of non-zero bytes of
    // the width x height mask (row by row), in raster order of their first
    // pixel; each outline walks the region's outer boundary from the top-left
    // corner of that pixel, first step down, region on the left.
    void trace(const unsigned char *mask, int width, int height, std::vector<traced_piece> &out);

private:
    struct detector;
    std::unique_ptr<detector> _detector;
};
