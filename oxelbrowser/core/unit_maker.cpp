// The automatic unit-making and linking pass.
#include "unit_maker.h"

#include "box_grid.h"
#include "keygen.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

#include <algorithm> // std::sort, std::min
#include <map>
#include <set>
#include <utility> // std::pair
#include <vector>

unit_maker::unit_maker(roidb_plus &db, q_roiimgdb &rasters, const key_set &removed, int z_min,
                       int z_max, const unit_options &options)
    : _db(db), _rasters(rasters), _removed(removed), _z_min(z_min), _z_max(z_max), _options(options)
{
}

namespace
{

pixel_box box_of(const q_roiimg *r)
{
    return {r->top_left().x(), r->top_left().y(), r->bottom_right().x(), r->bottom_right().y()};
}

bool boxes_meet(const q_roiimg *a, const q_roiimg *b)
{
    return a->top_left().x() <= b->bottom_right().x() &&
           b->top_left().x() <= a->bottom_right().x() &&
           a->top_left().y() <= b->bottom_right().y() && b->top_left().y() <= a->bottom_right().y();
}

// A unit's member: its plane, raster, and the raster's box kept beside it,
// so that box tests do not reach into the raster.
struct member_raster {
    member_raster(int plane, q_roiimg *r) : z(plane), raster(r), box(box_of(r)) {}
    int z;
    q_roiimg *raster;
    pixel_box box;
};
// A unit's members, wherever they are kept.
struct unit_members {
    unit_members(const std::vector<member_raster> &v) : first(v.data()), last(v.data() + v.size())
    {
    }
    unit_members(const member_raster *f, const member_raster *l) : first(f), last(l) {}
    const member_raster *begin() const { return first; }
    const member_raster *end() const { return last; }
    const member_raster *first, *last;
};

// Whether some member of a shares a pixel with some member of b on one plane.
bool overlap(unit_members a, unit_members b)
{
    for (const member_raster &mb : b)
        for (const member_raster &m : a)
            if (m.z == mb.z && m.box.meets(mb.box) && is_overlap(m.raster, mb.raster))
                return true;
    return false;
}

// Pixels the two units share, summed over the planes they have in common.
long shared(unit_members a, unit_members b)
{
    long n = 0;
    for (const member_raster &mb : b)
        for (const member_raster &m : a)
            if (m.z == mb.z && m.box.meets(mb.box))
                n += q_shared_pixels(m.raster, mb.raster);
    return n;
}

long pixels(unit_members unit)
{
    long n = 0;
    for (const member_raster &m : unit)
        n += m.raster->size();
    return n;
}

// A pair that may link: the units' heads (the table's own keys) and members.
struct candidate {
    const std::string *child;
    const std::string *parent;
    unit_members child_members;
    unit_members parent_members;
};

// The rasters of a unit's members, gathered once per pass over a time point;
// valid while the caller holds a pin of the cache.
class unit_rasters
{
public:
    unit_rasters(roidb_plus &db, q_roiimgdb &rasters, const lineage::key_multimap &head_members)
        : _db(db), _rasters(rasters), _head_members(head_members)
    {
    }

    // Gathers the units of time points t_first to t_last in one walk of the
    // table, for candidates().
    void gather(int t_first, int t_last)
    {
        const auto end = _head_members.lower_bound(time_key(t_last + 1));
        std::vector<const std::string *> keys;
        std::vector<size_t> first_of_unit;
        for (auto it = _head_members.lower_bound(time_key(t_first)); it != end; ++it) {
            if (_gathered.empty() || *_gathered.back().head != it->first) {
                _gathered.push_back({&it->first, 0, 0});
                first_of_unit.push_back(keys.size());
            }
            keys.push_back(&it->second);
        }
        first_of_unit.push_back(keys.size());
        std::vector<const roi *> stored;
        _db.stored(keys, stored);
        std::vector<const roi *> present;
        present.reserve(stored.size());
        for (const roi *r : stored)
            if (r)
                present.push_back(r);
        std::vector<q_roiimg *> rasters;
        _rasters.qrimg(present, rasters);
        _members.reserve(present.size());
        for (size_t u = 0; u + 1 < first_of_unit.size(); ++u) {
            _gathered[u].first = _members.size();
            for (size_t i = first_of_unit[u]; i < first_of_unit[u + 1]; ++i)
                if (const roi *r = stored[i])
                    _members.emplace_back(r->z(), rasters[_members.size()]);
            _gathered[u].last = _members.size();
        }
        _by_address.reserve(_gathered.size());
        for (size_t u = 0; u < _gathered.size(); ++u)
            _by_address.emplace_back(_gathered[u].head, u);
        std::sort(_by_address.begin(), _by_address.end());
    }

    // The members of the unit headed by head, looked up on the first request.
    const std::vector<member_raster> &of(const std::string &head)
    {
        auto found = _units.find(head);
        if (found != _units.end())
            return found->second;
        std::vector<member_raster> members;
        auto range = _head_members.equal_range(head);
        for (auto it = range.first; it != range.second; ++it)
            if (const roi *r = _db.stored(it->second))
                members.push_back({r->z(), _rasters.qrimg(*r)});
        return _units.emplace(head, std::move(members)).first->second;
    }

    long pixels(const std::string &head) { return ::pixels(of(head)); }

    // lineage::link_candidate_keys from the units gathered here, each pair
    // with its units' members, so that the tests after look nothing up.
    std::vector<candidate> candidates(int t)
    {
        // The heads of t - 1 and of t as lineage::units gives them: all but
        // the one at (0, 0) of plane 0.
        std::vector<const std::string *> parents, children;
        const std::string parent_origin = keygen(pos4i(0, 0, 0, t - 1));
        const std::string child_origin = keygen(pos4i(0, 0, 0, t));
        const std::string child_time = time_key(t);
        for (const gathered_unit &g : _gathered) {
            if (*g.head < child_time) {
                if (*g.head > parent_origin)
                    parents.push_back(g.head);
            } else if (*g.head > child_origin) {
                children.push_back(g.head);
            }
        }
        const auto pairs = lineage::link_candidate_keys(
            parents, children,
            [this](const std::string &head, std::vector<lineage::member_box> &out) {
                for (const member_raster &m : gathered(head))
                    out.push_back({m.z, m.box});
            });
        std::vector<candidate> out;
        out.reserve(pairs.size());
        for (const auto &[child, parent] : pairs)
            out.push_back({child, parent, gathered(*child), gathered(*parent)});
        return out;
    }

private:
    struct gathered_unit {
        const std::string *head; // the table's own key
        size_t first, last;      // its members in _members
    };

    // A gathered unit by its head: the candidate search hands back the
    // table's own strings, found by address; any other by key.
    unit_members gathered(const std::string &head)
    {
        size_t u = _gathered.size();
        auto at = std::lower_bound(_by_address.begin(), _by_address.end(),
                                   std::make_pair(&head, size_t(0)));
        if (at != _by_address.end() && at->first == &head) {
            u = at->second;
        } else {
            auto by_key = std::lower_bound(
                _gathered.begin(), _gathered.end(), head,
                [](const gathered_unit &g, const std::string &key) { return *g.head < key; });
            if (by_key != _gathered.end() && *by_key->head == head)
                u = static_cast<size_t>(by_key - _gathered.begin());
        }
        if (u == _gathered.size())
            return unit_members(of(head));
        const member_raster *base = _members.data();
        return {base + _gathered[u].first, base + _gathered[u].last};
    }

    roidb_plus &_db;
    q_roiimgdb &_rasters;
    const lineage::key_multimap &_head_members;
    // In key order; valid while the table is not edited.
    std::vector<gathered_unit> _gathered;
    std::vector<member_raster> _members;
    std::vector<std::pair<const std::string *, size_t>> _by_address;
    std::map<std::string, std::vector<member_raster>> _units;
};

} // namespace

int unit_maker::make_units(int t, lineage::tables &u, const std::function<bool()> &keep_going)
{
    // The search never leaves time point t, so only its ROIs in units matter.
    _in_units.clear();
    const auto first = u.members_head.lower_bound(time_key(t));
    const auto last = u.members_head.lower_bound(time_key(t + 1));
    for (auto it = first; it != last; ++it)
        _in_units.emplace_hint(_in_units.end(), it->first);
    // A search of its own for each time point: the planes it gathers, and the
    // rasters it holds, are let go once the time point is grouped.
    tracker search(_db, _rasters, _removed, _z_min, _z_max);
    search.let_events_run = let_events_run;
    search.units = &u;
    int made = 0;
    bool stopped = false;
    key_set caps;
    for (int z = _z_min; z <= _z_max; ++z) {
        if (keep_going && !keep_going()) {
            stopped = true;
            break;
        }
        std::vector<std::pair<std::string, const roi *>> plane;
        roidb_plus::iterator iter;
        _db.seek_iter(t, z, 0, iter);
        while (const roi *r = _db.next_stored(t, z, iter))
            plane.emplace_back(keygen(*r), r);
        std::sort(plane.begin(), plane.end(),
                  [](const auto &a, const auto &b) { return a.first < b.first; });
        for (auto &[key, stored] : plane) {
            if (_in_units.count(key) || _removed.count(key))
                continue;
            roi source = *stored;
            if (on_new_head)
                on_new_head(source);
            lineage::add_member(u, key, key);
            _in_units.insert(key);
            search.make_units = true;
            search.unit_head = key;
            search.check_adjacent(source, t, z - 1, _in_units, 0.0, 0.5);
            search.check_adjacent(source, t, z + 1, _in_units, 0.0, 0.5);
            search.make_units = false;
            ++made;
            if ((_options.attach_caps || _options.stack_caps) && u.head_members.count(key) <= 2)
                caps.insert(key);
        }
        if (let_events_run)
            let_events_run();
    }
    key_set().swap(_in_units);
    if (stopped || caps.empty())
        return made;
    if (_options.attach_caps)
        made -= attach_caps(t, caps, u);
    if (_options.stack_caps) {
        // Stacks keep the smallest head of their caps, so the caps left
        // after stacking are found among the first ones.
        const auto small = [&u](const key_set &heads) {
            key_set out;
            for (const std::string &head : heads) {
                const size_t n = u.head_members.count(head);
                if (n >= 1 && n <= 2)
                    out.insert(head);
            }
            return out;
        };
        made -= stack_caps(t, small(caps), u);
        if (_options.attach_caps)
            made -= attach_caps(t, small(caps), u, true);
    }
    return made;
}

int unit_maker::stack_caps(int t, const key_set &caps, lineage::tables &u)
{
    const q_roiimgdb::pin keep = _rasters.hold();
    key_set parents_linked;
    for (const auto &link : u.linkage)
        parents_linked.insert(link.second);
    // The origin's unit is never linked (see attach_caps): it takes part in no stack.
    const std::string origin = keygen(pos4i(0, 0, 0, t));
    std::vector<const std::string *> stackable;
    for (const std::string &cap : caps) {
        const size_t n = u.head_members.count(cap);
        if (n >= 1 && n <= 2 && cap != origin && u.linkage.count(cap) == 0 &&
            parents_linked.count(cap) == 0)
            stackable.push_back(&cap);
    }
    unit_rasters units(_db, _rasters, u.head_members);
    // Each cap's members by plane, and the pairs of caps one of whose ROIs
    // covers more than stack_cover of the smaller of the two ROIs on the
    // plane next to it.
    std::map<int, std::vector<std::pair<q_roiimg *, size_t>>> by_plane;
    std::vector<std::set<int>> planes(stackable.size());
    for (size_t i = 0; i < stackable.size(); ++i)
        for (const member_raster &m : units.of(*stackable[i])) {
            by_plane[m.z].emplace_back(m.raster, i);
            planes[i].insert(m.z);
        }
    struct pair_of_caps {
        long shared;
        size_t a, b;
    };
    std::vector<pair_of_caps> pairs;
    std::vector<std::uint32_t> meeting;
    for (const auto &[z, below] : by_plane) {
        auto above = by_plane.find(z + 1);
        if (above == by_plane.end())
            continue;
        // Only the ROIs above whose boxes meet a ROI below can share pixels with it.
        std::vector<pixel_box> boxes;
        boxes.reserve(above->second.size());
        for (const auto &piece : above->second)
            boxes.push_back(box_of(piece.first));
        const box_grid grid(std::move(boxes));
        for (const auto &[lower, a] : below) {
            grid.query(box_of(lower), meeting);
            for (std::uint32_t k : meeting) {
                const auto &[upper, b] = above->second[k];
                if (a == b)
                    continue;
                const long sp = q_shared_pixels(lower, upper);
                const long smaller = std::min(lower->size(), upper->size());
                if (sp > 0 && static_cast<double>(sp) > _options.stack_cover * smaller)
                    pairs.push_back({sp, std::min(a, b), std::max(a, b)});
            }
        }
    }
    // The best covered pairs join first; a stack keeps one ROI a plane.
    std::sort(pairs.begin(), pairs.end(), [](const pair_of_caps &x, const pair_of_caps &y) {
        if (x.shared != y.shared)
            return x.shared > y.shared;
        return x.a != y.a ? x.a < y.a : x.b < y.b;
    });
    std::vector<size_t> stack_of(stackable.size());
    for (size_t i = 0; i < stack_of.size(); ++i)
        stack_of[i] = i;
    const auto root = [&stack_of](size_t i) {
        while (stack_of[i] != i)
            i = stack_of[i] = stack_of[stack_of[i]];
        return i;
    };
    for (const pair_of_caps &p : pairs) {
        size_t a = root(p.a), b = root(p.b);
        if (a == b)
            continue;
        if (b < a)
            std::swap(a, b);
        bool apart = true;
        for (int z : planes[b])
            if (planes[a].count(z))
                apart = false;
        if (!apart)
            continue;
        planes[a].insert(planes[b].begin(), planes[b].end());
        stack_of[b] = a;
    }
    // A stack keeps the smallest head among its caps (stackable is in key order).
    int joined = 0;
    for (size_t i = 0; i < stackable.size(); ++i) {
        const size_t top = root(i);
        if (top == i)
            continue;
        const std::string cap = *stackable[i];
        const key_set members = lineage::members(u.head_members, cap);
        lineage::erase_unit(u, cap);
        for (const std::string &member : members)
            lineage::add_member(u, *stackable[top], member);
        ++joined;
    }
    return joined;
}

int unit_maker::attach_caps(int t, const key_set &caps, lineage::tables &u, bool across_gap)
{
    const q_roiimgdb::pin keep = _rasters.hold();
    // A cap with links would take them into another unit: it stays as it is.
    key_set parents_linked;
    for (const auto &link : u.linkage)
        parents_linked.insert(link.second);
    key_set waiting;
    for (const std::string &cap : caps) {
        const size_t n = u.head_members.count(cap);
        if (n >= 1 && n <= 2 && u.linkage.count(cap) == 0 && parents_linked.count(cap) == 0)
            waiting.insert(cap);
    }
    // The members of the units of three or more ROIs, by plane, and the
    // planes each such unit holds; a cap that joins one adds its members
    // under that unit's head. A unit's members never change otherwise, so
    // this is gathered once.
    unit_rasters units(_db, _rasters, u.head_members);
    std::map<int, std::vector<std::pair<q_roiimg *, const std::string *>>> by_plane;
    std::map<std::string, std::set<int>> planes_of;
    // Every head of t but the one at (0, 0) of plane 0: the units of a time
    // point leave that one out, so it is never linked, and caps that joined
    // it would lose their links.
    key_set heads;
    const std::string origin = keygen(pos4i(0, 0, 0, t));
    const auto last = u.head_members.lower_bound(keygen(pos4i(0, 0, 0, t + 1)));
    for (auto it = u.head_members.upper_bound(origin); it != last;
         it = u.head_members.upper_bound(it->first))
        heads.insert(it->first);
    for (const std::string &head : heads) {
        if (waiting.count(head) || u.head_members.count(head) < 3)
            continue;
        std::set<int> &planes = planes_of[head];
        for (const member_raster &m : units.of(head)) {
            by_plane[m.z].emplace_back(m.raster, &head);
            planes.insert(m.z);
        }
    }
    const auto holds_a_plane_of = [](const std::set<int> &planes,
                                     const std::vector<member_raster> &pieces) {
        for (const member_raster &piece : pieces)
            if (planes.count(piece.z))
                return true;
        return false;
    };
    // Whether a ROI of plane z of t (removed ones left out) covers more than
    // cap_cover of the given piece; each plane's ROIs are gathered once.
    std::map<int, std::vector<q_roiimg *>> all_of_plane;
    const auto covered_on = [&](int z, q_roiimg *piece) {
        auto plane = all_of_plane.find(z);
        if (plane == all_of_plane.end()) {
            plane = all_of_plane.emplace(z, std::vector<q_roiimg *>()).first;
            roidb_plus::iterator iter;
            _db.seek_iter(t, z, 0, iter);
            while (const roi *r = _db.next_stored(t, z, iter))
                if (!_removed.count(keygen(*r)))
                    plane->second.push_back(_rasters.qrimg(*r));
        }
        for (q_roiimg *raster : plane->second)
            if (boxes_meet(raster, piece) && static_cast<double>(q_shared_pixels(raster, piece)) >
                                                 _options.cap_cover * piece->size())
                return true;
        return false;
    };
    int joined = 0;
    while (!waiting.empty()) {
        struct move {
            const std::string *cap;
            const std::string *unit;
            long shared;
        };
        std::vector<move> moves;
        for (const std::string &cap : waiting) {
            const std::vector<member_raster> &pieces = units.of(cap);
            const long cap_pixels = units.pixels(cap);
            // Per member of a neighbouring unit: the cap's pixels it covers.
            std::map<q_roiimg *, long> cover;
            std::map<std::string, long> shared;
            std::map<q_roiimg *, const std::string *> owner;
            for (const member_raster &piece : pieces)
                for (int dz : {-2, -1, 1, 2}) {
                    if ((dz == -2 || dz == 2) && !across_gap)
                        continue;
                    auto plane = by_plane.find(piece.z + dz);
                    if (plane == by_plane.end())
                        continue;
                    for (const auto &[raster, head] : plane->second) {
                        if (!boxes_meet(raster, piece.raster))
                            continue;
                        // Across a plane only where the unit has no ROI of its own
                        // and another ROI covers the cap: the plane was drawn
                        // together with a neighbour.
                        if ((dz == -2 || dz == 2) && (planes_of[*head].count(piece.z + dz / 2) ||
                                                      !covered_on(piece.z + dz / 2, piece.raster)))
                            continue;
                        const long sp = q_shared_pixels(raster, piece.raster);
                        if (sp == 0)
                            continue;
                        cover[raster] += sp;
                        shared[*head] += sp;
                        owner[raster] = head;
                    }
                }
            // A unit that already holds a ROI on one of the cap's planes has
            // the cap beside it, not beyond its end: another object's piece.
            key_set qualified;
            for (const auto &[raster, covered] : cover)
                if (static_cast<double>(covered) > _options.cap_cover * cap_pixels &&
                    !holds_a_plane_of(planes_of[*owner[raster]], pieces))
                    qualified.insert(*owner[raster]);
            const std::string *best = nullptr;
            long most = 0;
            for (const std::string &head : qualified)
                if (!best || shared[head] > most) {
                    best = &*heads.find(head);
                    most = shared[head];
                }
            if (best)
                moves.push_back({&cap, best, most});
        }
        // Caps of one round that would put two ROIs on one plane of a unit:
        // the one sharing more pixels with it joins, ties to the smaller
        // key; the other is judged again next round.
        std::sort(moves.begin(), moves.end(), [](const move &a, const move &b) {
            if (*a.unit != *b.unit)
                return *a.unit < *b.unit;
            if (a.shared != b.shared)
                return a.shared > b.shared;
            return *a.cap < *b.cap;
        });
        std::vector<move> taken;
        for (const move &m : moves) {
            std::set<int> &planes = planes_of[*m.unit];
            const std::vector<member_raster> &pieces = units.of(*m.cap);
            if (holds_a_plane_of(planes, pieces))
                continue;
            for (const member_raster &piece : pieces) {
                planes.insert(piece.z);
                by_plane[piece.z].emplace_back(piece.raster, m.unit);
            }
            taken.push_back(m);
        }
        if (taken.empty())
            break;
        for (const move &m : taken) {
            const std::string cap = *m.cap;
            const key_set members = lineage::members(u.head_members, cap);
            lineage::erase_unit(u, cap);
            for (const std::string &member : members)
                lineage::add_member(u, *m.unit, member);
            waiting.erase(cap);
            ++joined;
        }
    }
    return joined;
}

int unit_maker::link_time_point(int t, lineage::tables &u)
{
    int added = 0;
    const q_roiimgdb::pin keep = _rasters.hold();
    // Each unit's rasters are gathered once, for the candidates and their tests.
    unit_rasters units(_db, _rasters, u.head_members);
    units.gather(t - 1, t);
    const std::vector<candidate> pairs = units.candidates(t);
    if (_options.plain()) {
        // The plain test (lineage::is_link): any shared pixel on one plane.
        for (const candidate &c : pairs) {
            if (lineage::has_link(u.linkage, *c.child, *c.parent))
                continue;
            if (overlap(c.parent_members, c.child_members)) {
                lineage::add_link(u, *c.child, *c.parent);
                ++added;
            }
        }
        return added;
    }

    // The candidates come grouped by child; each child's parents are judged together.
    for (size_t first = 0; first < pairs.size();) {
        const std::string *child = pairs[first].child;
        const long child_pixels = pixels(pairs[first].child_members);
        size_t end = first;
        while (end < pairs.size() && pairs[end].child == child)
            ++end;
        std::vector<std::pair<const std::string *, long>> passing;
        long best = 0;
        for (size_t i = first; i < end; ++i) {
            const long sp = shared(pairs[i].parent_members, pairs[i].child_members);
            if (sp == 0)
                continue;
            const long smaller = std::min(pixels(pairs[i].parent_members), child_pixels);
            if (!(static_cast<double>(sp) > _options.link_ratio * static_cast<double>(smaller)))
                continue;
            passing.emplace_back(pairs[i].parent, sp);
            best = std::max(best, sp);
        }
        for (const auto &[parent, sp] : passing) {
            if (_options.best_parent && 2 * sp < best)
                continue;
            if (lineage::has_link(u.linkage, *child, *parent))
                continue;
            lineage::add_link(u, *child, *parent);
            ++added;
        }
        first = end;
    }
    return added;
}
