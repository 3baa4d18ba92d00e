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

namespace
{

pixel_box box_of(const q_roiimg *r)
{
    return {r->top_left().x(), r->top_left().y(), r->bottom_right().x(), r->bottom_right().y()};
}

} // namespace

const tracker::plane_rois &tracker::plane(int t, int z)
{
    auto found = planes->find({t, z});
    if (found != planes->end())
        return found->second;
    plane_rois p;
    p.rois.reserve(64);
    roidb_plus::iterator iter;
    _db.seek_iter(t, z, 0, iter);
    while (const roi *r = _db.next_stored(t, z, iter))
        p.rois.push_back({keygen(*r), _rasters.qrimg(*r)});
    std::vector<pixel_box> boxes;
    boxes.reserve(p.rois.size());
    for (const candidate &c : p.rois)
        boxes.push_back(box_of(c.raster));
    p.boxes = box_grid(std::move(boxes));
    return planes->emplace(std::make_pair(t, z), std::move(p)).first->second;
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

// Puts the search of plane (t, z) from a source on the stack. ROIs whose
// boxes do not meet the source's share no pixel with it and can never pass,
// so only the others are visited, in the plane's order.
void tracker::open(q_roiimg *from, int from_t, int t, int z)
{
    const plane_rois &p = plane(t, z);
    const std::size_t begin = _hits.size();
    p.boxes.query(box_of(from), _found);
    _hits.insert(_hits.end(), _found.begin(), _found.end());
    _stack.push_back({from, from_t, t, z, &p, begin, _hits.size(), begin, nullptr});
}

// The depth-first search: a ROI that joins is searched from at once, first
// through the plane below, then the plane above, before the next ROI of its
// plane is looked at; the stack stands in for the calls of a recursion.
void tracker::search(q_roiimg *from, int from_t, int t, int z, key_set &roiset, double mor_t,
                     double mor_z)
{
    const std::size_t bottom = _stack.size();
    open(from, from_t, t, z);
    while (_stack.size() > bottom) {
        const std::size_t top = _stack.size() - 1;
        if (q_roiimg *above = _stack[top].above) {
            _stack[top].above = nullptr;
            open(above, _stack[top].t, _stack[top].t, _stack[top].z + 1);
            continue;
        }
        bool added = false;
        while (_stack[top].next < _stack[top].end) {
            frame &f = _stack[top];
            const candidate &c = f.plane->rois[_hits[f.next++]];
            if (let_events_run)
                let_events_run();
            if (_removed.count(c.key) || roiset.count(c.key))
                continue;
            if (!passes(f.from, c, f.from_t, f.t, mor_t, mor_z))
                continue;
            roiset.insert(c.key);
            changed = true;
            if (make_units && units)
                lineage::add_member(*units, unit_head, c.key);
            f.above = c.raster;
            const int below = f.z - 1, at = f.t;
            open(c.raster, at, at, below);
            added = true;
            break;
        }
        if (!added) {
            _hits.resize(_stack[top].begin);
            _stack.pop_back();
        }
    }
}

// Whether keys holds a key of plane (t, z): a plane's keys sort together.
static bool holds_plane(const key_set &keys, int t, int z)
{
    auto first = keys.lower_bound(keygen(pos4i(0, 0, z, t)));
    return first != keys.end() && *first < keygen(pos4i(0, 0, z + 1, t));
}

void tracker::track(int t, int into, const key_set &selected, key_set &target)
{
    for (int z = _z_min; z <= _z_max; ++z)
        if (holds_plane(selected, t, z))
            for (const candidate &c : plane(t, z).rois)
                if (selected.count(c.key) && !_removed.count(c.key))
                    search(c.raster, t, t, z, target, 0.0, 0.0);
    for (int z = _z_min; z <= _z_max; ++z)
        if (holds_plane(target, t, z))
            for (const candidate &c : plane(t, z).rois)
                if (target.count(c.key))
                    search(c.raster, t, into, z, target, 0.0, 0.0);
}

void tracker::z_track(int t, key_set &selected)
{
    for (int z = _z_min; z <= _z_max; ++z) {
        // A plane without a selected ROI starts no search: it is not gathered.
        if (!holds_plane(selected, t, z))
            continue;
        for (const candidate &c : plane(t, z).rois) {
            if (!selected.count(c.key) || _removed.count(c.key))
                continue;
            search(c.raster, t, t, z - 1, selected, 0.0, 0.5);
            search(c.raster, t, t, z + 1, selected, 0.0, 0.5);
        }
    }
}
