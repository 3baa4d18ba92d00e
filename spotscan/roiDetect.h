// Finds every 4-connected region of object pixels in an image, row by row,
// and traces its outline.
#pragma once

#include "bitPlane.h"
#include "image.h"
#include "lineWriter.h"
#include "roi.h"

#include <cstdint>
#include <string>
#include <vector>

// The detector keeps its own small classes apart from the browser's.
namespace spotscan {

class roiDetect {
public:
    roiDetect();

    // Row by row, top to bottom: begin, add_row for every row, end. The
    // runs of object pixels of each row are joined to the runs they touch in
    // the row above. A region is traced as soon as a row passes without it,
    // and regions come out in row order of their first pixel: as lines
    // "x y digits" to out when it is given, else into rois() and sizes().
    // Only the rows of regions still growing are kept, one bit per pixel.
    void begin(unsigned width, unsigned height_hint, lineWriter *out = nullptr);
    // A row of grey values; those of threshold or more are object pixels.
    void add_row(const unsigned char *grey, int threshold);
    void end();

    // The whole image at once, every non-zero pixel an object pixel.
    void detect(const image &img);

    // Whether regions are traced (the default); without, only their first
    // pixels and sizes are found (to time the labelling on its own).
    void set_tracing(bool on) { _tracing = on; }

    // Regions handed on so far.
    size_t count() const { return _count; }
    const std::vector<roi> &rois() const { return _rois; }
    // Pixel count of each region, in detection order.
    const std::vector<size_t> &sizes() const { return _sizes; }

private:
    struct run {
        int start, end; // first and last column
        uint32_t label;
        bool continued; // a run of the next row touches it
    };
    // A set of runs known to be connected. Labels are merged into the
    // lowest, whose first run is then the region's first in row order.
    struct label {
        uint32_t parent;
        uint32_t x, y;     // where its first run starts
        uint32_t last_row; // the last row with a run of it, while it is a root
        uint64_t count;    // pixels, while it is a root
        bool closed;       // a row has passed without it: the region is whole
    };

    label &at(uint32_t l) { return _labels[l - _base]; }
    void label_row(const uint64_t *row, unsigned y);
    uint32_t find(uint32_t a);
    uint32_t unite(uint32_t a, uint32_t b);
    void close(uint32_t r, int bottom_x);
    void hand_on();
    void hand_on(uint32_t r, const char *digits, size_t n);

    bitPlane _plane;
    lineWriter *_out;
    bool _tracing;
    std::vector<run> _above, _here;
    // Labels from _base on; those below the next to hand on are let go.
    std::vector<label> _labels;
    uint32_t _base;
    // Regions traced while an older one still grows wait for their turn:
    // their digits in _texts, in a heap with the lowest label on top.
    struct waiting {
        uint32_t label;
        uint32_t length;
        size_t at;
        bool operator>(const waiting &o) const { return label > o.label; }
    };
    void compact_texts();
    std::vector<waiting> _waiting;
    std::string _texts;
    std::string _scratch;
    size_t _waiting_bytes;
    uint32_t _next; // lowest label not handed on or merged yet
    size_t _count;
    std::vector<roi> _rois;
    std::vector<size_t> _sizes;
};

} // namespace spotscan
