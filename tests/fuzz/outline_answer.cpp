// Fuzz target: the outline client's reading of an answer, for a block whose
// width and height are the first two bytes.
#include "body.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::quiet();
    const int width = size > 0 ? 1 + data[0] : 1;
    const int height = size > 1 ? 1 + data[1] : 1;
    const size_t head = size < 2 ? size : 2;
    const std::string answer(reinterpret_cast<const char *>(data) + head, size - head);
    std::list<roi> regions;
    std::string problem;
    if (!parse_outline_answer(answer, width, height, regions, problem)) {
        fuzz::check(regions.empty() && !problem.empty(),
                    "a failed answer gives nothing and says why");
        return 0;
    }
    fuzz::check(regions.size() <= static_cast<size_t>(width) * height,
                "no more regions than pixels");
    for (const roi &r : regions) {
        fuzz::check(r.x() >= 0 && r.x() < width && r.y() >= 0 && r.y() < height,
                    "inside the block");
        fuzz::check(!r.outline_ref().empty() &&
                        r.outline_ref().find_first_not_of("0123") == std::string::npos,
                    "outlines of the digits 0 to 3");
        fuzz::check(r.z() == 0 && r.t() == 0, "z and t are 0");
    }
    return 0;
}
