// The automatic unit-making and linking pass.
#include "unit_maker.h"

#include "keygen.h"
#include "roidb_plus.h"

#include <algorithm> // std::sort
#include <utility>   // std::pair
#include <vector>

unit_maker::unit_maker(roidb_plus &db, q_roiimgdb &rasters, const key_set &removed, int z_min,
                       int z_max)
    : _db(db), _rasters(rasters), _removed(removed), _z_min(z_min), _z_max(z_max)
{
}

int unit_maker::make_units(int t, lineage::tables &u, const std::function<bool()> &keep_going)
{
    if (!_in_units_known) {
        for (const auto &entry : u.members_head)
            _in_units.insert(entry.first);
        _in_units_known = true;
    }
    // A search of its own for each time point: the planes it gathers, and the
    // rasters it holds, are let go once the time point is grouped.
    tracker search(_db, _rasters, _removed, _z_min, _z_max);
    search.let_events_run = let_events_run;
    search.units = &u;
    int made = 0;
    for (int z = _z_min; z <= _z_max; ++z) {
        if (keep_going && !keep_going())
            break;
        std::vector<std::pair<std::string, roi>> plane;
        roidb_plus::iterator iter;
        _db.seek_iter(t, z, 0, iter);
        roi r;
        while (_db.find_plus_iter(t, z, r, iter))
            plane.emplace_back(keygen(r), r);
        std::sort(plane.begin(), plane.end(),
                  [](const auto &a, const auto &b) { return a.first < b.first; });
        for (auto &[key, source] : plane) {
            if (_in_units.count(key) || _removed.count(key))
                continue;
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
        }
        if (let_events_run)
            let_events_run();
    }
    return made;
}

int unit_maker::link_time_point(int t, lineage::tables &u)
{
    int added = 0;
    for (const auto &[child, parent] : lineage::link_candidates(_db, _rasters, u.head_members, t)) {
        if (lineage::has_link(u.linkage, child, parent))
            continue;
        if (lineage::is_link(_db, _rasters, u.head_members, parent, child)) {
            lineage::add_link(u, child, parent);
            ++added;
        }
    }
    return added;
}
