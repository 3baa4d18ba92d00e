// Reading and writing a curation for the command-line tools.
#include "curation_io.h"

#include "OXEL_roidb"
#include "roi_file.h"
#include "keygen.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <unordered_set>

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
    c.db = std::make_unique<roidb_plus>("");
    if (!c.db->load(path)) {
        err << "Cannot open " << path << std::endl;
        return false;
    }
    return true;
}

namespace
{

bool fits(int t, int z, int x, int y)
{
    return t <= 0xFFFF && z <= 0xFFFF && x <= 0xFFFF && y <= 0xFFFF;
}

uint64_t packed(int t, int z, int x, int y)
{
    return static_cast<uint64_t>(t) << 48 | static_cast<uint64_t>(z) << 32 |
           static_cast<uint64_t>(x) << 16 | static_cast<uint64_t>(y);
}

} // namespace

bool read_lineage(const std::string &path, curation &c, std::ostream &err)
{
    // Every position of the database in a hash set: a lineage file names
    // each ROI at least once, and hashing numbers beats the ordered map's
    // string comparisons.
    // Positions with a field beyond 16 bits go by their key.
    std::unordered_set<uint64_t> positions;
    std::unordered_set<std::string> wide;
    positions.reserve(c.db->count());
    for (const auto &entry : c.db->rois()) {
        const roi &r = entry.second;
        if (r.t() < 0 || r.z() < 0 || r.x() < 0 || r.y() < 0)
            continue;
        if (fits(r.t(), r.z(), r.x(), r.y()))
            positions.insert(packed(r.t(), r.z(), r.x(), r.y()));
        else
            wide.insert(keygen(r));
    }
    auto exists = [&positions, &wide](const std::string &key) {
        if (!is_position_key(key))
            return false;
        const pos4i p = decode(key);
        if (!fits(p.t(), p.z(), p.x(), p.y()))
            return wide.count(key) != 0;
        return positions.count(packed(p.t(), p.z(), p.x(), p.y())) != 0;
    };
    return lineage_file::read(path, c.db->name(), exists, c.lineage, err) ==
           lineage_file::read_result::read;
}

bool write_rois(const std::string &path, curation &c, std::ostream &err)
{
    text_file_writer out;
    if (out.open(path)) {
        out.write_line(c.db->name());
        for (const auto &entry : c.db->rois())
            out.write_roi(entry.second);
        if (out.commit())
            return true;
    }
    err << "Cannot open " << path << std::endl;
    return false;
}

} // namespace tools
