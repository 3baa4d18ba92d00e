// Reading and writing a curation for the command-line tools.
#include "curation_io.h"

#include "OXEL_roidb"
#include "keygen.h"

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
    // Every key of the database in a hash set: a lineage file names each ROI
    // at least once, and hashing beats the ordered map's string comparisons.
    std::unordered_set<std::string> keys;
    keys.reserve(c.db->count());
    for (const auto &entry : c.db->rois())
        keys.insert(keygen(entry.second));
    auto exists = [&keys](const std::string &key) { return keys.count(key) != 0; };
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
