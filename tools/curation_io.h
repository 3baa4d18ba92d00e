// Reading and writing a curation for the command-line tools: a ROI file with
// its lineage file, or a folder of the interchange format.
#pragma once

#include "lineage_file.h"
#include "roidb_plus.h"

#include <iosfwd>
#include <memory>
#include <string>

namespace tools
{

struct curation {
    std::unique_ptr<roidb_plus> db;
    lineage_file::contents lineage;
};

// The lineage file that goes with a ROI file: NAME.lineage for NAME.roi,
// else the ROI file's name with .lineage added.
std::string lineage_beside(const std::string &roi_file);

// Reads a ROI file (its first word names the dataset); false with a message
// on err when it cannot be opened or names no dataset.
bool read_rois(const std::string &path, curation &c, std::ostream &err);

// Reads the lineage file of c's dataset; false with a message on err when it
// is missing, unreadable or another dataset's.
bool read_lineage(const std::string &path, curation &c, std::ostream &err);

// Writes c's ROIs as a ROI file in database key order, beside the target
// and renamed over it; "Cannot open PATH" on err otherwise.
bool write_rois(const std::string &path, curation &c, std::ostream &err);

} // namespace tools
