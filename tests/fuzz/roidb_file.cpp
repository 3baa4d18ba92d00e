// Fuzz target: the ROI database file, read by the library and by the
// browser's plane-indexed reader, each ROI then walked plane by plane and
// rasterised as the canvas would.
#include "OXEL_roidb"
#include "roi_file.h"
#include "fuzz_support.h"
#include "outline_walk.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

#include <map>
#include <utility> // std::pair

namespace
{

struct open_roidb : roidb {
    using roidb::roidb;
    const map_type &map() const { return db; }
};

struct open_plus : roidb_plus {
    using roidb_plus::roidb_plus;
    const map_type &map() const { return db; }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    fuzz::quiet();
    const std::string path = fuzz::as_file(data, size, "db.roi");

    open_roidb plain("");
    plain.read(path);
    open_plus indexed("");
    indexed.read_plus(path);
    fuzz::check(plain.map() == indexed.map(), "both readers read the same ROIs");
    fuzz::check(plain.name() == indexed.name(), "both readers read the same name");

    // Every ROI read can be stored; one at a position that can be shown (no
    // coordinate below 0) is found again by a walk of its plane, the others
    // are held and counted but listed by no plane.
    std::map<std::pair<int, int>, size_t> planes;
    std::string problem;
    size_t unshown = 0;
    for (const auto &e : indexed.map()) {
        fuzz::check(oxel_roi_storable(e.second, problem), "every ROI read is storable");
        const roi &r = e.second;
        if (r.x() < 0 || r.y() < 0 || r.z() < 0 || r.t() < 0)
            ++unshown;
        else
            ++planes[{r.t(), r.z()}];
    }
    fuzz::check(indexed.unshown() == unshown, "ROIs that cannot be shown are counted");
    const size_t budget = size_t(64) << 20;
    q_roiimgdb rasters(budget);
    for (const auto &p : planes) {
        size_t found = 0;
        roi r;
        indexed.seek(p.first.first, p.first.second, 0);
        while (indexed.find_plus(p.first.first, p.first.second, r)) {
            ++found;
            q_roiimg *raster = rasters.qrimg(r);
            fuzz::check(raster->size() >= 0 && raster->value(0, 0) >= 0, "a raster is mapped");
        }
        fuzz::check(found == p.second, "a plane walk finds every ROI of the plane");
    }
    // Beyond the budget at most the raster just made, itself within the cap.
    fuzz::check(rasters.bytes() <= budget + 2 * outline_walk::max_raster_bytes + 2 * size + 4096,
                "the cache keeps its budget");

    // Replacing a range of time points keeps the other ones.
    if (!indexed.map().empty()) {
        const int t = indexed.t_min();
        open_plus copy(indexed);
        copy.replace_plus(path, t, t);
        fuzz::check(copy.map() == indexed.map(),
                    "replacing a range by the same file changes nothing");
    }
    return 0;
}
