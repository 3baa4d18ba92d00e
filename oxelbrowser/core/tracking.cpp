// Tracking by overlap through time and planes.
#include "tracking.h"

#include "keygen.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

#include <algorithm> // std::min
#include <vector>

tracker::tracker(roidb_plus &db, q_roiimgdb &rasters, const key_set &removed, int z_min, int z_max)
    : _db(db), _rasters(rasters), _removed(removed), _z_min(z_min), _z_max(z_max)
{
}

bool tracker::passes(roi &r_from, roi &r, int t, double mor_t, double mor_z)
{
    q_roiimg *from = _rasters.qrimg(r_from);
    q_roiimg *to = _rasters.qrimg(r);
    if (mor_t == 0.0 && mor_z == 0.0)
        return is_overlap(from, to);
    if (from->size() == 0 || to->size() == 0)
        return false;
    const double sp = q_shared_pixels(from, to);
    const double ratio = std::min(sp / from->size(), sp / to->size());
    const double threshold = r_from.t() == t ? mor_z : mor_t;
    return ratio > threshold;
}

void tracker::check_adjacent(roi &r_from, int t, int z, key_set &roiset, double mor_t, double mor_z)
{
    roidb_plus::iterator iter;
    _db.seek_iter(t, z, 0, iter);
    roi r;
    while (_db.find_plus_iter(t, z, r, iter)) {
        const std::string key = keygen(r);
        if (let_events_run)
            let_events_run();
        if (_removed.count(key))
            continue;
        if (!passes(r_from, r, t, mor_t, mor_z) || roiset.count(key))
            continue;
        roiset.insert(key);
        changed = true;
        if (make_units && head_members && members_head) {
            head_members->emplace(unit_head, key);
            members_head->emplace(key, unit_head);
        }
        check_adjacent(r, t, z - 1, roiset, mor_t, mor_z);
        check_adjacent(r, t, z + 1, roiset, mor_t, mor_z);
    }
}

void tracker::track(int t, int into, const key_set &selected, key_set &target)
{
    // The ROIs of a plane are taken first: the search below may add to the
    // very sets that are being looked up.
    auto plane_rois = [this](int pt, int pz) {
        std::vector<roi> rois;
        roidb_plus::iterator iter;
        _db.seek_iter(pt, pz, 0, iter);
        roi r;
        while (_db.find_plus_iter(pt, pz, r, iter))
            rois.push_back(r);
        return rois;
    };
    for (int z = _z_min; z <= _z_max; ++z)
        for (roi &r : plane_rois(t, z)) {
            const std::string key = keygen(r);
            if (selected.count(key) && !_removed.count(key))
                check_adjacent(r, t, z, target, 0.0, 0.0);
        }
    for (int z = _z_min; z <= _z_max; ++z)
        for (roi &r : plane_rois(t, z))
            if (target.count(keygen(r)))
                check_adjacent(r, into, z, target, 0.0, 0.0);
}

void tracker::z_track(int t, key_set &selected)
{
    for (int z = _z_min; z <= _z_max; ++z) {
        std::vector<roi> rois;
        roidb_plus::iterator iter;
        _db.seek_iter(t, z, 0, iter);
        roi r;
        while (_db.find_plus_iter(t, z, r, iter))
            rois.push_back(r);
        for (roi &source : rois) {
            const std::string key = keygen(source);
            if (!selected.count(key) || _removed.count(key))
                continue;
            check_adjacent(source, t, z - 1, selected, 0.0, 0.5);
            check_adjacent(source, t, z + 1, selected, 0.0, 0.5);
        }
    }
}
