// The raster cache of the open dataset.
#include "q_roiimgdb.h"

#include "keygen.h"

#include <algorithm> // std::sort
#include <cstdlib>   // std::abs
#include <utility>   // std::pair

namespace {

// What a raster takes: the object, its outline, mask and point array, and
// the cache's entry for it.
size_t cost(const q_roiimg *r)
{
    return sizeof(q_roiimg) + r->outline_ref().capacity() +
           static_cast<size_t>(r->width()) * static_cast<size_t>(r->height()) +
           static_cast<size_t>(r->qpointarray().capacity()) * sizeof(QPoint) + 128;
}

} // namespace

q_roiimgdb::q_roiimgdb() : q_roiimgdb(default_budget) {}

q_roiimgdb::q_roiimgdb(size_t budget)
    : db(), _retired(), _dropped(), _pins(std::make_shared<int>(0)), _budget(budget), _bytes(0)
{
}

q_roiimgdb::~q_roiimgdb()
{
    for (auto &e : db)
        delete e.second;
    for (auto &e : _retired)
        delete e.second;
    for (q_roiimg *r : _dropped)
        delete r;
}

q_roiimgdb::pin q_roiimgdb::hold()
{
    return pin(_pins);
}

void q_roiimgdb::release(q_roiimg *raster)
{
    _bytes -= cost(raster);
    delete raster;
}

// A raster that no longer describes its ROI: freed at once unless a command
// may still hold it.
void q_roiimgdb::drop(q_roiimg *raster)
{
    if (pinned())
        _dropped.push_back(raster);
    else
        release(raster);
}

q_roiimg *q_roiimgdb::qrimg(roi &r)
{
    const std::string key = keygen(r);
    auto hit = db.find(key);
    if (hit != db.end()) {
        if (hit->second->outline_ref() == r.outline_ref())
            return hit->second;
        // The ROI at this position changed: its old raster no longer describes it.
        drop(hit->second);
        db.erase(hit);
    }

    q_roiimg *raster = nullptr;
    auto old = _retired.find(key);
    if (old != _retired.end()) {
        if (old->second->outline_ref() == r.outline_ref())
            raster = old->second;
        else
            drop(old->second);
        _retired.erase(old);
    }
    if (!raster) {
        raster = new q_roiimg(r);
        raster->map();
        _bytes += cost(raster);
    }
    evict_outside(r.t());
    db.emplace(key, raster);
    trim(r.t(), key);
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
    auto retire = [this](raster_map::iterator from, raster_map::iterator to) {
        for (auto it = from; it != to; ++it)
            _retired.emplace(it->first, it->second);
        db.erase(from, to);
    };
    retire(db.lower_bound(keygen(pos4i(0, 0, 0, 0))), db.lower_bound(key_min));
    retire(db.lower_bound(key_max), db.end());
}

// Over the budget and with no command running: the dropped rasters go, then
// the retired ones and, if that is not enough, those of the window, farthest
// in time from the latest miss first, down to three quarters of the budget,
// so that the ordering is paid once for many misses. The raster just handed
// out stays.
void q_roiimgdb::trim(int t, const std::string &keep)
{
    if (pinned())
        return;
    for (q_roiimg *r : _dropped)
        release(r);
    _dropped.clear();
    if (_bytes <= _budget)
        return;
    for (raster_map *from : {&_retired, &db}) {
        std::vector<std::pair<int, raster_map::iterator>> order;
        order.reserve(from->size());
        for (auto it = from->begin(); it != from->end(); ++it)
            if (it->first != keep)
                order.emplace_back(std::abs(it->second->t() - t), it);
        std::sort(order.begin(), order.end(),
                  [](const auto &a, const auto &b) { return a.first > b.first; });
        for (auto &entry : order) {
            if (_bytes <= _budget / 4 * 3)
                return;
            release(entry.second->second);
            from->erase(entry.second);
        }
    }
}

void q_roiimgdb::remove(pos4i p)
{
    const std::string key = keygen(p);
    auto it = db.find(key);
    if (it != db.end()) {
        drop(it->second);
        db.erase(it);
    }
    auto old = _retired.find(key);
    if (old != _retired.end()) {
        drop(old->second);
        _retired.erase(old);
    }
}
