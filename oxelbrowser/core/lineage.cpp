// Queries over units and their lineage links.
#include "lineage.h"

#include "box_grid.h"
#include "keygen.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

#include <algorithm> // std::sort, std::unique
#include <cstdint>
#include <ostream>

namespace lineage
{

std::string head(const key_map &members_head, const std::string &key)
{
    auto it = members_head.find(key);
    return it == members_head.end() ? std::string("N/A") : it->second;
}

key_set members(const key_multimap &head_members, const std::string &head_key)
{
    key_set out;
    auto range = head_members.equal_range(head_key);
    for (auto it = range.first; it != range.second; ++it)
        out.insert(it->second);
    return out;
}

key_set units(const key_multimap &head_members, int t)
{
    key_set out;
    auto end = head_members.lower_bound(keygen(pos4i(0, 0, 0, t + 1)));
    for (auto it = head_members.upper_bound(keygen(pos4i(0, 0, 0, t))); it != end; ++it)
        out.insert(it->first);
    return out;
}

key_set parents(const key_multimap &linkage, const std::string &key)
{
    return members(linkage, key);
}

bool has_link(const key_multimap &linkage, const std::string &child, const std::string &parent)
{
    auto range = linkage.equal_range(child);
    for (auto it = range.first; it != range.second; ++it)
        if (it->second == parent)
            return true;
    return false;
}

key_set children(const key_multimap &linkage, const std::string &key)
{
    key_set out;
    const int t = decode(key).t();
    auto end = linkage.lower_bound(keygen(pos4i(0, 0, 0, t + 2)));
    for (auto it = linkage.lower_bound(keygen(pos4i(0, 0, 0, t + 1))); it != end; ++it)
        if (it->second == key)
            out.insert(it->first);
    return out;
}

static void collect_upstream(const key_multimap &linkage, const std::string &key, int end_t,
                             key_set &out)
{
    if (decode(key).t() <= end_t)
        return;
    auto range = linkage.equal_range(key);
    for (auto it = range.first; it != range.second; ++it)
        if (out.insert(it->second).second)
            collect_upstream(linkage, it->second, end_t, out);
}

key_set upstream(const key_multimap &linkage, const std::string &key, int end_t)
{
    key_set out;
    collect_upstream(linkage, key, end_t, out);
    return out;
}

bool reach(const key_multimap &linkage, const std::string &a, const std::string &b)
{
    const int ta = decode(a).t(), tb = decode(b).t();
    if (ta == tb)
        return false;
    const std::string &from = ta > tb ? a : b;
    const std::string &to = ta > tb ? b : a;
    return upstream(linkage, from, decode(to).t()).count(to) != 0;
}

bool is_link(roidb_plus &db, q_roiimgdb &rasters, const key_multimap &head_members,
             const std::string &parent, const std::string &child)
{
    const q_roiimgdb::pin keep = rasters.hold();
    // Members absent from the database have no pixels and overlap nothing.
    std::vector<const roi *> parent_members;
    for (const std::string &pm : members(head_members, parent))
        if (const roi *p = db.stored(pm))
            parent_members.push_back(p);
    for (const std::string &cm : members(head_members, child)) {
        const roi *c = db.stored(cm);
        if (!c)
            continue;
        q_roiimg *child_raster = nullptr;
        for (const roi *p : parent_members) {
            if (p->z() != c->z())
                continue;
            if (!child_raster)
                child_raster = rasters.qrimg(*c);
            if (is_overlap(rasters.qrimg(*p), child_raster))
                return true;
        }
    }
    return false;
}

std::vector<std::pair<std::string, std::string>>
link_candidates(roidb_plus &db, q_roiimgdb &rasters, const key_multimap &head_members, int t)
{
    const q_roiimgdb::pin keep = rasters.hold();
    return link_candidates(
        head_members, t, [&](const std::string &head, std::vector<member_box> &out) {
            for (const std::string &m : members(head_members, head))
                if (const roi *r = db.stored(m)) { // absent: no pixels
                    const q_roiimg *raster = rasters.qrimg(*r);
                    out.push_back({r->z(),
                                   {raster->top_left().x(), raster->top_left().y(),
                                    raster->bottom_right().x(), raster->bottom_right().y()}});
                }
        });
}

// The heads of the units of time point t, as units() gives them, by the
// table's own keys (one per unit), without copying them.
static std::vector<const std::string *> unit_heads(const key_multimap &head_members, int t)
{
    std::vector<const std::string *> out;
    auto end = head_members.lower_bound(keygen(pos4i(0, 0, 0, t + 1)));
    for (auto it = head_members.upper_bound(keygen(pos4i(0, 0, 0, t))); it != end; ++it)
        if (out.empty() || *out.back() != it->first)
            out.push_back(&it->first);
    return out;
}

std::vector<std::pair<std::string, std::string>>
link_candidates(const key_multimap &head_members, int t,
                const std::function<void(const std::string &, std::vector<member_box> &)> &boxes_of)
{
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto &[child, parent] : link_candidate_keys(head_members, t, boxes_of))
        out.emplace_back(*child, *parent);
    return out;
}

std::vector<std::pair<const std::string *, const std::string *>> link_candidate_keys(
    const key_multimap &head_members, int t,
    const std::function<void(const std::string &, std::vector<member_box> &)> &boxes_of)
{
    return link_candidate_keys(unit_heads(head_members, t - 1), unit_heads(head_members, t),
                               boxes_of);
}

std::vector<std::pair<const std::string *, const std::string *>> link_candidate_keys(
    const std::vector<const std::string *> &parent_units,
    const std::vector<const std::string *> &child_units,
    const std::function<void(const std::string &, std::vector<member_box> &)> &boxes_of)
{
    struct plane_of_parents {
        std::vector<pixel_box> boxes;
        std::vector<std::uint32_t> units; // index in parent_units
        box_grid grid;
    };
    std::map<int, plane_of_parents> parents_by_plane;
    std::vector<member_box> member_boxes;
    for (std::uint32_t i = 0; i < parent_units.size(); ++i) {
        member_boxes.clear();
        boxes_of(*parent_units[i], member_boxes);
        for (const member_box &m : member_boxes) {
            plane_of_parents &plane = parents_by_plane[m.z];
            plane.boxes.push_back(m.box);
            plane.units.push_back(i);
        }
    }
    for (auto &entry : parents_by_plane)
        entry.second.grid = box_grid(entry.second.boxes);
    std::vector<std::pair<const std::string *, const std::string *>> out;
    std::vector<std::uint32_t> meeting;
    std::vector<std::uint32_t> found;
    for (const std::string *child : child_units) {
        member_boxes.clear();
        boxes_of(*child, member_boxes);
        found.clear();
        for (const member_box &m : member_boxes) {
            auto plane = parents_by_plane.find(m.z);
            if (plane == parents_by_plane.end())
                continue;
            plane->second.grid.query(m.box, meeting);
            for (std::uint32_t i : meeting)
                found.push_back(plane->second.units[i]);
        }
        // parent_units is in key order, and so are its indices.
        std::sort(found.begin(), found.end());
        found.erase(std::unique(found.begin(), found.end()), found.end());
        for (std::uint32_t pu : found)
            out.emplace_back(child, parent_units[pu]);
    }
    return out;
}

void add_member(tables &u, const std::string &head, const std::string &member)
{
    u.head_members.emplace(head, member);
    if (u.log)
        u.log->add(change::member_add, head, member);
    if (u.members_head.emplace(member, head).second && u.log)
        u.log->add(change::head_add, member, head);
}

void erase_unit(tables &u, const std::string &head_key)
{
    // The key may live in an entry erased below.
    const std::string head = head_key;
    auto range = u.head_members.equal_range(head);
    for (auto it = range.first; it != range.second; ++it) {
        auto own = u.members_head.find(it->second);
        if (own != u.members_head.end()) {
            if (u.log)
                u.log->add(change::head_remove, own->first, own->second);
            u.members_head.erase(own);
        }
    }
    range = u.head_members.equal_range(head);
    if (u.log)
        for (auto it = range.first; it != range.second; ++it)
            u.log->add(change::member_remove, head, it->second);
    u.head_members.erase(range.first, range.second);
}

void add_link(tables &u, const std::string &child, const std::string &parent)
{
    // Passes link a time point's children in key order: the end is the place,
    // as a rule (else the hint is ignored, and the entry goes where emplace puts it).
    u.linkage.emplace_hint(u.linkage.end(), child, parent);
    if (u.log)
        u.log->add(change::link_add, child, parent);
}

bool erase_link(tables &u, const std::string &child, const std::string &parent)
{
    auto range = u.linkage.equal_range(child);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == parent) {
            // child and parent may be the erased entry's own strings.
            if (u.log)
                u.log->add(change::link_remove, child, parent);
            u.linkage.erase(it);
            return true;
        }
    }
    return false;
}

void set_elite(tables &u, const std::string &head, bool elite)
{
    if (elite) {
        if (u.elite.insert(head).second && u.log)
            u.log->add(change::elite_add, head);
        return;
    }
    // head may be the erased entry's own string.
    const auto it = u.elite.find(head);
    if (it == u.elite.end())
        return;
    if (u.log)
        u.log->add(change::elite_remove, head);
    u.elite.erase(it);
}

// The parent and child of a link between units one time point apart, in
// either order; false (and the "Cannot link" line) otherwise.
static bool link_ends(const std::string &unit1, const std::string &unit2, std::string &parent,
                      std::string &child, std::ostream &out)
{
    const int t1 = decode(unit1).t(), t2 = decode(unit2).t();
    if (t2 == t1 + 1) {
        parent = unit1;
        child = unit2;
    } else if (t2 == t1 - 1) {
        parent = unit2;
        child = unit1;
    } else {
        out << "Cannot link " << unit1 << " and " << unit2 << std::endl;
        return false;
    }
    return true;
}

void link(key_multimap &linkage, const std::string &unit1, const std::string &unit2,
          std::ostream &out)
{
    std::string parent, child;
    if (!link_ends(unit1, unit2, parent, child, out) || has_link(linkage, child, parent))
        return;
    out << "(" << parent << ") --- (" << child << ")" << std::endl;
    linkage.emplace(child, parent);
}

void link(tables &u, const std::string &unit1, const std::string &unit2, std::ostream &out)
{
    std::string parent, child;
    if (!link_ends(unit1, unit2, parent, child, out) || has_link(u.linkage, child, parent))
        return;
    out << "(" << parent << ") --- (" << child << ")" << std::endl;
    add_link(u, child, parent);
}

void release_child(key_multimap &linkage, const std::string &parent, const std::string &child,
                   std::ostream &out)
{
    out << "(" << parent << ") -x- (" << child << ")" << std::endl;
    auto range = linkage.equal_range(child);
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == parent) {
            linkage.erase(it);
            return;
        }
    }
}

void release_child(tables &u, const std::string &parent, const std::string &child,
                   std::ostream &out)
{
    out << "(" << parent << ") -x- (" << child << ")" << std::endl;
    erase_link(u, child, parent);
}

void merge_units(tables &u, const std::string &a, const std::string &b, int t_min, int t_max,
                 std::ostream &out)
{
    out << "mergeUnits: " << a << " " << b << std::endl;
    const int t = decode(a).t();
    if (t != decode(b).t()) {
        out << "Cannot merge units in different time points: " << a << " " << b << std::endl;
        return;
    }
    // A unit merged with itself stays as it is (its members would be entered twice).
    if (a == b)
        return;
    // A key that heads no unit has no members to join: stop before any link moves.
    const key_set member_a = members(u.head_members, a);
    const key_set member_b = members(u.head_members, b);
    if (member_a.empty() || member_b.empty()) {
        out << "Cannot merge: " << (member_a.empty() ? a : b) << " heads no unit" << std::endl;
        return;
    }
    const bool has_parents = t > t_min, has_children = t < t_max;
    const key_set parents_a = has_parents ? parents(u.linkage, a) : key_set();
    const key_set parents_b = has_parents ? parents(u.linkage, b) : key_set();
    const key_set children_a = has_children ? children(u.linkage, a) : key_set();
    const key_set children_b = has_children ? children(u.linkage, b) : key_set();
    for (const std::string &p : parents_a)
        release_child(u, p, a, out);
    for (const std::string &p : parents_b)
        release_child(u, p, b, out);
    for (const std::string &c : children_a)
        release_child(u, a, c, out);
    for (const std::string &c : children_b)
        release_child(u, b, c, out);

    // Each member's own entry goes, whatever unit it names (a member recorded
    // in two units keeps the head it had).
    for (const key_set *group : {&member_a, &member_b})
        for (const std::string &m : *group) {
            auto own = u.members_head.find(m);
            if (own != u.members_head.end()) {
                if (u.log)
                    u.log->add(change::head_remove, own->first, own->second);
                u.members_head.erase(own);
            }
        }
    for (const std::string *h : {&a, &b}) {
        auto range = u.head_members.equal_range(*h);
        if (u.log)
            for (auto it = range.first; it != range.second; ++it)
                u.log->add(change::member_remove, *h, it->second);
        u.head_members.erase(range.first, range.second);
    }

    const std::string head = *member_a.begin();
    for (const key_set *group : {&member_a, &member_b})
        for (const std::string &m : *group)
            add_member(u, head, m);
    if (has_parents) {
        for (const std::string &p : parents_a)
            link(u, p, head, out);
        for (const std::string &p : parents_b)
            link(u, p, head, out);
    }
    if (has_children) {
        for (const std::string &c : children_a)
            link(u, head, c, out);
        for (const std::string &c : children_b)
            link(u, head, c, out);
    }
    set_elite(u, a, false);
    set_elite(u, b, false);
}

} // namespace lineage
