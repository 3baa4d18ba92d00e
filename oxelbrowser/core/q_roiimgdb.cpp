// The raster cache of the open dataset.
#include "q_roiimgdb.h"

#include "keygen.h"

q_roiimgdb::q_roiimgdb() : db(), _retired(), _dropped() {}

q_roiimgdb::~q_roiimgdb()
{
    for (auto &e : db)
        delete e.second;
    for (auto &e : _retired)
        delete e.second;
    for (q_roiimg *r : _dropped)
        delete r;
}

q_roiimg *q_roiimgdb::qrimg(roi &r)
{
    const std::string key = keygen(r);
    auto hit = db.find(key);
    if (hit != db.end()) {
        if (hit->second->outline_ref() == r.outline_ref())
            return hit->second;
        // The ROI at this position changed: its old raster no longer describes it.
        _dropped.push_back(hit->second);
        db.erase(hit);
    }

    q_roiimg *raster = nullptr;
    auto old = _retired.find(key);
    if (old != _retired.end()) {
        if (old->second->outline_ref() == r.outline_ref())
            raster = old->second;
        else
            _dropped.push_back(old->second);
        _retired.erase(old);
    }
    if (!raster) {
        raster = new q_roiimg(r);
        raster->map();
    }
    evict_outside(r.t());
    db.emplace(key, raster);
    return raster;
}

// Keeps time points t - 3 to t + 3 in the map.
void q_roiimgdb::evict_outside(int t)
{
    const int tmin = t - 3 < 0 ? 0 : t - 3;
    const std::string key_min = keygen(pos4i(0, 0, 0, tmin));
    const std::string key_max = keygen(pos4i(0, 0, 0, t + 4));
    // Most misses find the map inside the window already.
    if (db.empty() || (!(db.begin()->first < key_min) && db.rbegin()->first < key_max))
        return;
    auto retire = [this](std::map<std::string, q_roiimg *>::iterator from,
                         std::map<std::string, q_roiimg *>::iterator to) {
        for (auto it = from; it != to; ++it)
            _retired.emplace(it->first, it->second);
        db.erase(from, to);
    };
    retire(db.lower_bound(keygen(pos4i(0, 0, 0, 0))), db.lower_bound(key_min));
    retire(db.lower_bound(key_max), db.end());
}

void q_roiimgdb::remove(pos4i p)
{
    const std::string key = keygen(p);
    auto it = db.find(key);
    if (it != db.end()) {
        _dropped.push_back(it->second);
        db.erase(it);
    }
    auto old = _retired.find(key);
    if (old != _retired.end()) {
        _dropped.push_back(old->second);
        _retired.erase(old);
    }
}
