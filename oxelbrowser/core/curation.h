// The curated state as one whole (the ROI database, the false-positive marks,
// the unit and lineage tables and the units dismissed from review), its
// recorded edits, and undoing and redoing them.
#pragma once

#include "change_log.h"
#include "lineage.h"

#include <iosfwd>
#include <string>
#include <vector>

class q_roiimgdb;
class roi;
class roidb_plus;

namespace curation {

struct state {
    roidb_plus &db;
    q_roiimgdb *rasters; // rasters of removed ROIs are dropped; may be null
    lineage::key_set &fp;
    lineage::tables &units; // its log is not used by apply
    lineage::key_set &dismissed;
};

// ROI edits, recorded in log when there is one.
void enter_roi(roidb_plus &db, change_log *log, const roi &r);
bool remove_roi(roidb_plus &db, q_roiimgdb *rasters, change_log *log, const std::string &key);
void set_mark(lineage::key_set &marks, change_log *log, const std::string &key, bool on,
              change::kind add, change::kind remove);

// Applies recorded changes again (forward) or takes them back (in reverse
// order, each inverted).
void apply(state &s, const std::vector<change> &changes, bool forward);

// Text form of changes, one line each, for the crash journal.
void write(std::ostream &out, const std::vector<change> &changes);
// Reads what write wrote; false (changes incomplete) at anything else.
bool read(std::istream &in, std::vector<change> &changes);

} // namespace curation
