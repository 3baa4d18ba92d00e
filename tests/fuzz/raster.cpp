// Fuzz target: both rasters of one ROI, the library's and the browser's,
// from a start point (the first eight bytes) and an outline (the rest).
#include "OXEL_roiimg"
#include "fuzz_support.h"
#include "q_roiimg.h"

#include <cstring> // std::memcpy

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::quiet();
    int32_t start[2] = {0, 0};
    const size_t head = size < sizeof start ? size : sizeof start;
    std::memcpy(start, data, head);
    // Mostly digits, so that walks go somewhere; any other byte as it is.
    std::string outline;
    for (size_t i = head; i < size; ++i)
        outline.push_back(data[i] < 0x80 ? static_cast<char>('0' + data[i] % 4)
                                         : static_cast<char>(data[i]));
    const roi r(start[0], start[1], 3, 4, outline);

    roiimg lib(r);
    q_roiimg browser(r);
    lib.count_size();
    browser.count_size();
    fuzz::check(lib.size() == 0 && browser.size() == 0, "nothing is counted before mapping");
    lib.map();
    browser.map();

    fuzz::check(lib.top_left() == browser.top_left() &&
                    lib.bottom_right() == browser.bottom_right(),
                "both rasters take the same box");
    fuzz::check(lib.width() == browser.width() && lib.height() == browser.height(),
                "both rasters take the same size");
    fuzz::check(lib.size() == browser.size(), "both rasters set the same pixels");
    fuzz::check(static_cast<long long>(lib.width()) * lib.height() <= (1LL << 26),
                "no mask beyond the cap");
    const auto poly = lib.polygon();
    const QPolygon &points = browser.qpointarray();
    fuzz::check(poly.size() == static_cast<size_t>(points.size()),
                "both rasters keep the same boundary");
    qsizetype i = 0;
    for (const pos2i &p : poly) {
        fuzz::check(p.x() == points[i].x() && p.y() == points[i].y(), "boundary points agree");
        ++i;
    }

    // Pixel by pixel only where that stays quick; large masks by their size.
    if (static_cast<long long>(lib.width()) * lib.height() > (1LL << 20))
        return 0;
    long long set = 0;
    for (int y = 0; y < lib.height(); ++y)
        for (int x = 0; x < lib.width(); ++x) {
            const int v = lib.value(x, y);
            fuzz::check(v == 0 || v == 1, "a mapped mask holds 0 and 1");
            fuzz::check(v == browser.value(x, y), "both masks agree");
            set += v;
        }
    fuzz::check(set == lib.size(), "the size counts the set pixels");
    fuzz::check(shared_pixels(lib, lib) == lib.size(),
                "a raster shares all its pixels with itself");
    fuzz::check(is_overlap(&browser, &browser) == (browser.size() > 0), "overlap with itself");
    fuzz::check(q_shared_pixels(&browser, &browser) == browser.size(), "shared with itself");
    return 0;
}
