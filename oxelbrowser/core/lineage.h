// Queries over units and their lineage links, on the window's tables:
// head → members (multimap), member → head (map), child → parent (multimap).
// All keys are browser keys, so every walk runs in key order.
#pragma once

#include "box_grid.h"
#include "change_log.h"

#include <functional>
#include <iosfwd>
#include <map>
#include <set>
#include <string>
#include <utility> // std::pair
#include <vector>

class q_roiimgdb;
class roidb_plus;

namespace lineage
{

using key_set = std::set<std::string>;
using key_map = std::map<std::string, std::string>;
using key_multimap = std::multimap<std::string, std::string>;

// The head of key's unit, or "N/A" when key belongs to no unit.
std::string head(const key_map &members_head, const std::string &key);
key_set members(const key_multimap &head_members, const std::string &head);
// Heads of the units of time point t.
key_set units(const key_multimap &head_members, int t);
key_set parents(const key_multimap &linkage, const std::string &key);
// Whether the link child → parent is held (at least once).
bool has_link(const key_multimap &linkage, const std::string &child, const std::string &parent);
// Children one time point after key.
key_set children(const key_multimap &linkage, const std::string &key);
// Ancestors of key down to time point end_t; each visited once, however
// many paths lead to it.
key_set upstream(const key_multimap &linkage, const std::string &key, int end_t);
// Whether one unit descends from the other.
bool reach(const key_multimap &linkage, const std::string &a, const std::string &b);

// Whether some member of parent overlaps some member of child on the same
// focal plane (any shared pixel).
bool is_link(roidb_plus &db, q_roiimgdb &rasters, const key_multimap &head_members,
             const std::string &parent, const std::string &child);

// Pairs (child unit of t, parent unit of t - 1) that have members on one
// plane whose boxes meet: the only pairs that can pass the link test. In key
// order of the child, then of the parent.
std::vector<std::pair<std::string, std::string>>
link_candidates(roidb_plus &db, q_roiimgdb &rasters, const key_multimap &head_members, int t);
// A unit's member as the candidate search sees it: its plane and box.
struct member_box {
    int z;
    pixel_box box;
};
// The same pairs, from the members' boxes that boxes_of(head, out) appends
// for a unit (for callers that hold the rasters of the units already).
std::vector<std::pair<std::string, std::string>> link_candidates(
    const key_multimap &head_members, int t,
    const std::function<void(const std::string &, std::vector<member_box> &)> &boxes_of);
// The same pairs as the table's own keys, the very strings boxes_of was
// called with: valid while the table is not edited.
std::vector<std::pair<const std::string *, const std::string *>> link_candidate_keys(
    const key_multimap &head_members, int t,
    const std::function<void(const std::string &, std::vector<member_box> &)> &boxes_of);
// The same from the heads of the units of t - 1 and of t, as units() gives
// them, by the table's own keys (for callers that walked the table already).
std::vector<std::pair<const std::string *, const std::string *>> link_candidate_keys(
    const std::vector<const std::string *> &parent_units,
    const std::vector<const std::string *> &child_units,
    const std::function<void(const std::string &, std::vector<member_box> &)> &boxes_of);

// The unit and lineage tables of the window, edited together. Edits made
// through the functions below are recorded in log when there is one.
struct tables {
    key_multimap &head_members;
    key_map &members_head;
    key_multimap &linkage;
    key_set &elite;
    change_log *log = nullptr;
};

// The single edits of the tables, each recorded.
// head -> member, and member -> head unless the member has a head already.
void add_member(tables &u, const std::string &head, const std::string &member);
// Every entry of the unit headed by head, and each member's own entry.
void erase_unit(tables &u, const std::string &head);
// One entry child -> parent, as it is (no test of the time points).
void add_link(tables &u, const std::string &child, const std::string &parent);
// One entry child -> parent if there is one.
bool erase_link(tables &u, const std::string &child, const std::string &parent);
void set_elite(tables &u, const std::string &head, bool elite);

// Adds child → parent for units one time point apart, in either order, with
// its trace line; "Cannot link A and B" otherwise. An existing link is kept
// silently.
void link(key_multimap &linkage, const std::string &unit1, const std::string &unit2,
          std::ostream &out);
void link(tables &u, const std::string &unit1, const std::string &unit2, std::ostream &out);
// Writes its trace line, then removes one copy of the link if there is one.
void release_child(key_multimap &linkage, const std::string &parent, const std::string &child,
                   std::ostream &out);
void release_child(tables &u, const std::string &parent, const std::string &child,
                   std::ostream &out);
// Joins two units of one time point under the smallest member key of a and
// moves the links of both to it; t_min and t_max bound the time points.
void merge_units(tables &u, const std::string &a, const std::string &b, int t_min, int t_max,
                 std::ostream &out);

} // namespace lineage
