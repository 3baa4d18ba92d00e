// What needs a second look in a lineage: doubtful units (two or more parent
// links), dead ends (no child before the last time point) and unlinked units
// (no parent after the first time point). One rule for every list and picture.
#pragma once

#include "lineage.h"

#include <cstddef> // std::size_t

namespace lineage
{

enum unit_mark : unsigned char { mark_doubtful = 1, mark_dead_end = 2, mark_unlinked = 4 };

// The marks of a unit of time point t that is the child in parent_entries
// link entries (a link entered twice counts twice, as the doubt search counts)
// and has children one time point later (children() of it is not empty).
unsigned char marks_of(int t, std::size_t parent_entries, bool has_children, int t_min, int t_max);

bool is_doubtful(const key_multimap &linkage, const std::string &head);
bool is_dead_end(const key_multimap &linkage, const std::string &head, int t_max);
bool is_unlinked(const key_multimap &linkage, const std::string &head, int t_min);

struct marked_units {
    key_set doubtful, dead_ends, unlinked;
};

// Every unit's marks in one pass over the units and one over the links.
// Units come from the head table itself, so a head at x = 0, y = 0 on plane 0
// (which units(t) skips) is not lost.
marked_units find_marked_units(const key_multimap &head_members, const key_multimap &linkage,
                               int t_min, int t_max);

} // namespace lineage
