// Tracking by overlap through time and planes.
#include "tracking.h"

#include "keygen.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

#include <algorithm> // std::min
#include <utility>   // std::move

tracker::tracker(roidb_plus &db, q_roiimgdb &rasters, const key_set &removed, int z_min, int z_max)
    : planes(std::make_shared<plane_map>()), _db(db), _rasters(rasters), _pin(rasters.hold()),
      _removed(removed), _z_min(z_min), _z_max(z_max)
{
}

const std::vector<tracker::candidate> &tracker::plane(int t, int z)
{
    auto found = planes->find({t, z});
    if (found != planes->end())
        return found->second;
    std::vector<candidate> rois;
    rois.reserve(64);
    roidb_plus::iterator iter;
    _db.seek_iter(t, z, 0, iter);
    roi r;
    while (_db.find_plus_iter(t, z, r, iter))
        rois.push_back({keygen(r), _rasters.qrimg(r)});
    return planes->emplace(std::make_pair(t, z), std::move(rois)).first->second;
}

static bool boxes_meet(const q_roiimg *a, const q_roiimg *b)
{
    return a->top_left().x() <= b->bottom_right().x() && b->top_left().x() <= a->bottom_right().x() &&
           a->top_left().y() <= b->bottom_right().y() && b->top_left().y() <= a->bottom_right().y();
}

bool tracker::passes(q_roiimg *from, const candidate &c, int from_t, int t, double mor_t,
                     double mor_z)
{
    if (mor_t == 0.0 && mor_z == 0.0)
        return is_overlap(from, c.raster);
    if (from->size() == 0 || c.raster->size() == 0)
        return false;
    const double sp = q_shared_pixels(from, c.raster);
    const double ratio = std::min(sp / from->size(), sp / c.raster->size());
    const double threshold = from_t == t ? mor_z : mor_t;
    return ratio > threshold;
}

void tracker::check_adjacent(roi &r_from, int t, int z, key_set &roiset, double mor_t, double mor_z)
{
    search(_rasters.qrimg(r_from), r_from.t(), t, z, roiset, mor_t, mor_z);
}

// ROIs whose boxes do not meet the source's share no pixel with it and can
// never pass, so only the others are visited; the set that results is the
// same whatever order the search takes.
void tracker::search(q_roiimg *from, int from_t, int t, int z, key_set &roiset, double mor_t,
                     double mor_z)
{
    for (const candidate &c : plane(t, z)) {
        if (!boxes_meet(from, c.raster))
            continue;
        if (let_events_run)
            let_events_run();
        if (_removed.count(c.key))
            continue;
        if (!passes(from, c, from_t, t, mor_t, mor_z) || roiset.count(c.key))
            continue;
        roiset.insert(c.key);
        changed = true;
        if (make_units && units) {
            lineage::add_member(*units, unit_head, c.key);
        }
        search(c.raster, t, t, z - 1, roiset, mor_t, mor_z);
        search(c.raster, t, t, z + 1, roiset, mor_t, mor_z);
    }
}

void tracker::track(int t, int into, const key_set &selected, key_set &target)
{
    for (int z = _z_min; z <= _z_max; ++z)
        for (const candidate &c : plane(t, z))
            if (selected.count(c.key) && !_removed.count(c.key))
                search(c.raster, t, t, z, target, 0.0, 0.0);
    for (int z = _z_min; z <= _z_max; ++z)
        for (const candidate &c : plane(t, z))
            if (target.count(c.key))
                search(c.raster, t, into, z, target, 0.0, 0.0);
}

void tracker::z_track(int t, key_set &selected)
{
    for (int z = _z_min; z <= _z_max; ++z)
        for (const candidate &c : plane(t, z)) {
            if (!selected.count(c.key) || _removed.count(c.key))
                continue;
            search(c.raster, t, t, z - 1, selected, 0.0, 0.5);
            search(c.raster, t, t, z + 1, selected, 0.0, 0.5);
        }
}
