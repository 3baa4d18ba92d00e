// A folder of the interchange format read back as a curation: ROIs traced
// from the label images, one unit per label and time point, the tracks'
// links as lineage links.
#pragma once

#include "lineage_file.h"

#include <iosfwd>
#include <string>

class roidb_plus;

namespace ctc
{

struct import_summary {
    size_t rois = 0;
    size_t units = 0;
    size_t links = 0;
    size_t problems = 0;      // faults of the format's rules found on the way
    size_t skipped_links = 0; // parents that end earlier than one time point before their child
};

// Enters into db (which should be empty) one ROI per 4-connected piece of
// each label on each plane, and fills lineage with one unit per label and
// time point (its head the smallest member key), a link between the units of
// a label at consecutive time points, and a link from a track's first unit
// to its parent's last when that ends one time point before. Faults of the
// format's rules are reported on err and do not stop the import. False (the
// reason on err, db and lineage untouched) when the folder cannot be read or
// does not fit the browser's keys (coordinates, planes and time points below
// 1000).
bool import_folder(const std::string &dir, roidb_plus &db, lineage_file::contents &lineage,
                   std::ostream &err, import_summary *summary = nullptr);

} // namespace ctc
