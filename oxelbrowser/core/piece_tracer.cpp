// The detector's region finding and tracing behind a small interface.
#include "piece_tracer.h"

#include "image.h"
#include "roiDetect.h"

struct piece_tracer::detector {
    spotscan::image block;
    spotscan::roiDetect finder;
};

piece_tracer::piece_tracer() : _detector(new detector) {}

piece_tracer::~piece_tracer() = default;

void piece_tracer::trace(const unsigned char *mask, int width, int height,
                         std::vector<traced_piece> &out)
{
    out.clear();
    if (width <= 0 || height <= 0)
        return;
    spotscan::image &block = _detector->block;
    block.setSize(static_cast<unsigned>(width), static_cast<unsigned>(height));
    for (int y = 0; y < height; ++y) {
        unsigned char *row = block.row(static_cast<unsigned>(y));
        const unsigned char *src = mask + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x)
            row[x] = src[x] ? 255 : 0;
    }
    spotscan::roiDetect &finder = _detector->finder;
    finder.detect(block);
    out.resize(finder.rois().size());
    for (size_t k = 0; k < out.size(); ++k) {
        const spotscan::roi &r = finder.rois()[k];
        out[k].x = r.x();
        out[k].y = r.y();
        out[k].outline = r.digits();
        out[k].pixels = finder.sizes()[k];
    }
}
