// Files of ROI keys for a dataset: the selection ("info", tag SELECT) and the
// false positives (tag FP). A NAME line, then one line per key in key order.
#pragma once

#include <iosfwd>
#include <set>
#include <string>

namespace key_files {

// Writes "NAME dataset", then "TAG key" per key, beside the old file and
// renamed over it only when complete; "Cannot open NAME" on err otherwise.
bool write(const std::string &path, const std::string &dataset, const std::string &tag,
           const std::set<std::string> &keys, std::ostream &err);

enum class read_result { missing, unreadable, read };

// Adds the values of the file's TAG lines to keys. A NAME other than the
// dataset ends reading ("different dataset"); other tags are skipped; a tag
// without its value ends the file. Missing or unreadable files are
// reported with the browser's messages.
read_result read(const std::string &path, const std::string &dataset, const std::string &tag,
                 std::set<std::string> &keys, std::ostream &err);

} // namespace key_files
