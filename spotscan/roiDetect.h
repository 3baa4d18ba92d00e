// Finds every 4-connected region of equal non-zero value in an image and
// traces its outline.
#pragma once

#include "image.h"
#include "roi.h"

#include <cstdint>
#include <vector>

// The detector keeps its own small classes apart from the browser's.
namespace spotscan {

class roiDetect {
public:
    roiDetect();
    ~roiDetect();
    roiDetect(const roiDetect &) = delete;
    roiDetect &operator=(const roiDetect &) = delete;

    // The image to analyse; it is read in place and must outlive detect().
    void setImg(const image &img);
    // Allocates the marks on first use (again when the size grows), then clears them.
    void setMem(int w, int h);
    // Marks every background (value 0) pixel as done.
    void setSeed();
    // Marks the 4-connected region of value v through (x, y) as found.
    void delSeed(int x, int y, int v);
    // Finds and traces the regions in raster order of their first pixel.
    void detect(const image &img);
    // One line per region, in detection order, to standard output.
    void print();

    const std::vector<roi> &rois() const { return _rois; }
    // Pixel count of each region, in detection order.
    const std::vector<size_t> &sizes() const { return _sizes; }

private:
    // One mark bit per pixel (set: background or already in a found region);
    // each row is padded to whole words with set bits.
    bool marked(int x, int y) const
    {
        return (_marks[static_cast<size_t>(y) * _words + (x >> 6)] >> (x & 63)) & 1u;
    }
    void mark_run(int y, int left, int right);

    const image *_img;
    uint64_t *_marks;
    size_t _capacity;
    int _width;
    int _height;
    size_t _words;
    std::vector<roi> _rois;
    std::vector<size_t> _sizes;
    size_t _filled;
};

} // namespace spotscan
