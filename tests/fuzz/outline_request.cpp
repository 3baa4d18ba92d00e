// Fuzz target: the outline program's request, then its regions.
#include "fuzz_support.h"
#include "image.h"
#include "request.h"
#include "roiDetect.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::quiet();
    const std::string in(reinterpret_cast<const char *>(data), size);
    spotscan::image block;
    std::string problem;
    if (!outlinegen::parse_request(in, block, problem)) {
        fuzz::check(!problem.empty(), "a refused request says why");
        return 0;
    }
    fuzz::check(block.getX() >= 1 && block.getY() >= 1 && block.getX() <= 16384 &&
                    block.getY() <= 16384,
                "the block size is in range");
    // Only as many pixels as the request spelt out.
    fuzz::check(static_cast<size_t>(block.getX()) * block.getY() <= size,
                "every pixel was written");
    spotscan::roiDetect detector;
    detector.detect(block);
    fuzz::check(detector.rois().size() <= static_cast<size_t>(block.getX()) * block.getY(),
                "no more regions than pixels");
    return 0;
}
