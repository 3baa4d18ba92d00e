// Finds every 4-connected region of object pixels in an image, row by row,
// and traces its outline.
#pragma once

#include "bitPlane.h"
#include "image.h"
#include "lineWriter.h"
#include "roi.h"

#include <cstdint>
#include <vector>

// The detector keeps its own small classes apart from the browser's.
namespace spotscan {

class roiDetect {
public:
    roiDetect();

    // Row by row, top to bottom: begin, add_row for every row, end. The
    // rows are kept as one bit per pixel; the runs of object pixels of each
    // row are joined to the runs they touch in the row above.
    void begin(unsigned width, unsigned height_hint);
    // A row of grey values; those of threshold or more are object pixels.
    void add_row(const unsigned char *grey, int threshold);
    void end();

    // The whole image at once, every non-zero pixel an object pixel; the
    // regions are traced into rois() and counted into sizes().
    void detect(const image &img);

    // Regions found by end(), in row order of their first pixel.
    size_t count() const { return _regions.size(); }
    int x(size_t k) const { return static_cast<int>(_labels[_regions[k]].x); }
    int y(size_t k) const { return static_cast<int>(_labels[_regions[k]].y); }
    // Pixels of region k.
    size_t size(size_t k) const { return static_cast<size_t>(_labels[_regions[k]].count); }
    // Traces every region and writes its line, "x y digits", in order.
    void print(lineWriter &out) const;

    const std::vector<roi> &rois() const { return _rois; }
    // Pixel count of each region, in detection order.
    const std::vector<size_t> &sizes() const { return _sizes; }
    const bitPlane &plane() const { return _plane; }

private:
    struct run {
        int start, end; // first and last column
        uint32_t label;
    };
    // A set of runs known to be connected; region labels are merged into the
    // lowest, whose first run is then the region's first in row order.
    struct label {
        uint32_t parent;
        uint32_t x, y;  // where its first run starts
        uint64_t count; // pixels, while it is a root
    };

    void label_row(const uint64_t *row, unsigned y);
    uint32_t find(uint32_t a);
    uint32_t unite(uint32_t a, uint32_t b);

    bitPlane _plane;
    std::vector<run> _above, _here;
    std::vector<label> _labels;
    std::vector<uint32_t> _regions;
    std::vector<roi> _rois;
    std::vector<size_t> _sizes;
};

} // namespace spotscan
