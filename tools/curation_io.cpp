// Reading and writing a curation for the command-line tools.
#include "curation_io.h"

#include "OXEL_roidb"
#include "keygen.h"

#include <cstdint>
#include <ostream>
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
    std::unordered_set<uint64_t> positions;
    positions.reserve(c.db->count());
    for (const auto &entry : c.db->rois()) {
        const roi &r = entry.second;
        if (r.t() >= 0 && r.z() >= 0 && r.x() >= 0 && r.y() >= 0)
            positions.insert(packed(r.t(), r.z(), r.x(), r.y()));
    }
    auto exists = [&positions](const std::string &key) {
        if (key.size() != 12)
            return false;
        int field[4];
        for (int f = 0; f < 4; ++f) {
            field[f] = 0;
            for (int i = 3 * f; i < 3 * f + 3; ++i) {
                if (key[i] < '0' || key[i] > '9')
                    return false;
                field[f] = field[f] * 10 + (key[i] - '0');
            }
        }
        return positions.count(packed(field[0], field[1], field[2], field[3])) != 0;
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
