// Reading and writing a curation for the command-line tools.
#include "curation_io.h"

#include "OXEL_roidb"
#include "keygen.h"
#include "roi_pixels.h"

#include <algorithm> // std::sort
#include <ostream>
#include <tuple> // std::tie
#include <vector>

namespace tools
{

std::string lineage_beside(const std::string &roi_file)
{
    const std::string ext = ".roi";
    if (roi_file.size() > ext.size() &&
        roi_file.compare(roi_file.size() - ext.size(), ext.size(), ext) == 0)
        return roi_file.substr(0, roi_file.size() - ext.size()) + ".lineage";
    return roi_file + ".lineage";
}

bool read_rois(const std::string &path, curation &c, std::ostream &err)
{
    roi_file_reader probe;
    if (!probe.open(path)) {
        err << "Cannot open " << path << std::endl;
        return false;
    }
    c.db = std::make_unique<roidb_plus>("");
    c.db->read_plus(path);
    return true;
}

bool read_lineage(const std::string &path, curation &c, std::ostream &err)
{
    roidb_plus &db = *c.db;
    auto exists = [&db](const std::string &key) {
        roi r(decode(key), "");
        return db.find(r);
    };
    return lineage_file::read(path, db.name(), exists, c.lineage, err) ==
           lineage_file::read_result::read;
}

bool write_rois(const std::string &path, curation &c, std::ostream &err)
{
    std::vector<roi> rois;
    rois.reserve(c.db->count());
    for_each_roi_by_plane(*c.db, [&rois](const roi &r) { rois.push_back(r); });
    // Database key order: t, x, y, z.
    std::sort(rois.begin(), rois.end(), [](const roi &a, const roi &b) {
        const int at = a.t(), ax = a.x(), ay = a.y(), az = a.z();
        const int bt = b.t(), bx = b.x(), by = b.y(), bz = b.z();
        return std::tie(at, ax, ay, az) < std::tie(bt, bx, by, bz);
    });
    text_file_writer out;
    if (out.open(path)) {
        out.write_line(c.db->name());
        for (const roi &r : rois)
            out.write_roi(r);
        if (out.commit())
            return true;
    }
    err << "Cannot open " << path << std::endl;
    return false;
}

} // namespace tools
