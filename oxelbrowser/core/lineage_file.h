// The lineage file: units, links, elite and dismissed marks of a dataset as
// text, in the style of the selection and false-positive files.
//
//   NAME dataset
//   UNIT head member …      one line per unit, members in key order
//   LINK child parent       one line per link entry
//   ELITE head
//   DISMISS head
#pragma once

#include "lineage.h"

#include <functional> // std::function
#include <iosfwd>
#include <string>

namespace lineage_file
{

// A lineage as the window holds it, plus the units dismissed from review.
struct contents {
    lineage::key_multimap head_members;
    lineage::key_map members_head;
    lineage::key_multimap linkage;
    lineage::key_set elite;
    lineage::key_set dismissed;
};

// How far a long read or write got: done of total (bytes read, or entries
// written); false stops it.
using progress = std::function<bool(size_t done, size_t total)>;

// Writes the file beside path and renames it over path only when complete;
// "Cannot open PATH" on err otherwise. A member listed twice under one head
// is written once. Stopped by keep_going, it gives false, says nothing and
// leaves path as it was.
bool write(const std::string &path, const std::string &dataset,
           const lineage::key_multimap &head_members, const lineage::key_multimap &linkage,
           const lineage::key_set &elite, const lineage::key_set &dismissed, std::ostream &err,
           const progress &keep_going = progress());
bool write(const std::string &path, const std::string &dataset, const contents &c,
           std::ostream &err, const progress &keep_going = progress());

enum class read_result { missing, unreadable, not_lineage, other_dataset, stopped, read };

// Whether a browser key names a ROI of the database.
using key_test = std::function<bool(const std::string &)>;

// Reads the file into into, which is replaced only when the result is read.
// Another dataset's file is refused ("different dataset"), as is a file that
// does not begin with a NAME line. Lines naming keys for which exists is
// false, units with a member already in an earlier unit, links whose child is
// not one time point after its parent, and malformed lines are left out; one
// summary line on err counts them by kind with the first line number of each.
// Stopped by keep_going (told the bytes gone through), it gives stopped and
// says nothing.
read_result read(const std::string &path, const std::string &dataset, const key_test &exists,
                 contents &into, std::ostream &err, const progress &keep_going = progress());

} // namespace lineage_file
