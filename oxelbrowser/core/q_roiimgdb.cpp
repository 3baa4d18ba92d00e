// The raster cache of the open dataset.
#include "q_roiimgdb.h"

#include "keygen.h"

#include <algorithm> // std::stable_sort, std::sort
#include <cstdint>   // std::uint64_t
#include <cstdlib>   // std::llabs
#include <new>       // placement new, std::bad_alloc
#include <utility>   // std::pair

#ifdef __GLIBC__
#include <malloc.h> // malloc_trim
#endif

namespace
{

// What a raster takes: the object, its outline and mask, and the cache's
// entry for it. The point array is traced only for the ROIs drawn, a plane's
// worth, and is left out so that a raster counts the same from start to end.
size_t cost(const q_roiimg *r)
{
    return sizeof(q_roiimg) + r->outline_ref().capacity() +
           static_cast<size_t>(r->width()) * static_cast<size_t>(r->height()) + 64;
}

} // namespace

size_t q_roiimgdb::place_hash::operator()(const place &p) const
{
    // Positions of a plane differ in x and y by small amounts: mix them well.
    std::uint64_t h = static_cast<std::uint32_t>(p.x) * 0x9E3779B97F4A7C15ULL;
    h ^= (static_cast<std::uint64_t>(static_cast<std::uint32_t>(p.y)) << 32 |
          static_cast<std::uint32_t>(p.z)) *
         0xC2B2AE3D27D4EB4FULL;
    return static_cast<size_t>(h ^ (h >> 29));
}

q_roiimgdb::pin::~pin()
{
    // The last pin but the cache's own: no command holds the rasters now.
    if (_token && _token.use_count() == 2 && *_token)
        (*_token)->trim_unpinned((*_token)->_latest, nullptr);
}

q_roiimgdb::q_roiimgdb() : q_roiimgdb(default_budget) {}

q_roiimgdb::q_roiimgdb(size_t budget)
    : db(), _retired(), _dropped(), _arenas(), _pins(std::make_shared<q_roiimgdb *>(this)),
      _budget(budget), _bytes(0)
{
}

q_roiimgdb::~q_roiimgdb()
{
    *_pins = nullptr;
    for (raster_map *rasters : {&db, &_retired})
        for (auto &time_point : *rasters)
            for (auto &e : time_point.second)
                destroy(e.second);
    for (q_roiimg *r : _dropped)
        destroy(r);
}

size_t q_roiimgdb::reserved() const
{
    size_t total = 0;
    for (const auto &arena : _arenas)
        total += arena.second->mapped();
    return total;
}

// A mapped raster in its time point's arena.
q_roiimg *q_roiimgdb::make(const roi &r)
{
    std::unique_ptr<raster_arena> &arena = _arenas[r.t()];
    if (!arena)
        arena = std::make_unique<raster_arena>();
    void *room = arena->allocate(sizeof(q_roiimg));
    q_roiimg *raster = nullptr;
    try {
        if (!room)
            throw std::bad_alloc();
        raster = new (room) q_roiimg(r, arena.get());
        raster->map();
    } catch (...) {
        if (raster)
            raster->~q_roiimg();
        arena->release(room, sizeof(q_roiimg));
        if (arena->empty())
            _arenas.erase(r.t());
        throw;
    }
    return raster;
}

void q_roiimgdb::destroy(q_roiimg *raster)
{
    auto arena = _arenas.find(raster->t());
    raster->~q_roiimg();
    arena->second->release(raster, sizeof(q_roiimg));
    if (arena->second->empty())
        _arenas.erase(arena);
}

q_roiimgdb::pin q_roiimgdb::hold()
{
    return pin(_pins);
}

bool q_roiimgdb::holds(const std::string &key) const
{
    const pos4i p = decode(key);
    auto time_point = db.find(p.t());
    return time_point != db.end() && time_point->second.count(place_of(p)) != 0;
}

void q_roiimgdb::release(q_roiimg *raster)
{
    _bytes -= cost(raster);
    destroy(raster);
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

q_roiimg *q_roiimgdb::take(raster_map &rasters, const pos4i &p, size_t &count)
{
    auto time_point = rasters.find(p.t());
    if (time_point == rasters.end())
        return nullptr;
    auto it = time_point->second.find(place_of(p));
    if (it == time_point->second.end())
        return nullptr;
    q_roiimg *raster = it->second;
    time_point->second.erase(it);
    --count;
    return raster;
}

void q_roiimgdb::qrimg(const std::vector<const roi *> &rois, std::vector<q_roiimg *> &out)
{
    // Nothing is freed before every raster is found.
    const pin keep = hold();
    out.assign(rois.size(), nullptr);
    // First every look-up in the window, then every check of an outline:
    // loops of loads that do not wait on one another, which the processor
    // overlaps, where one request at a time waits on each in turn.
    const time_point_rasters *window = nullptr;
    int window_t = 0;
    for (size_t i = 0; i < rois.size(); ++i) {
        const roi &r = *rois[i];
        if (!window || r.t() != window_t) {
            auto found = db.find(r.t());
            window = found == db.end() ? nullptr : &found->second;
            window_t = r.t();
        }
        if (!window)
            continue;
        auto hit = window->find(place{r.z(), r.x(), r.y()});
        if (hit != window->end())
            out[i] = hit->second;
    }
    const size_t near = 8, far = 16;
    for (size_t i = 0; i < rois.size(); ++i) {
        if (i + far < rois.size() && out[i + far]) {
            __builtin_prefetch(out[i + far]);
            __builtin_prefetch(rois[i + far]);
        }
        if (i + near < rois.size() && out[i + near]) {
            __builtin_prefetch(out[i + near]->outline_ref().data());
            __builtin_prefetch(rois[i + near]->outline_ref().data());
        }
        if (!out[i] || out[i]->outline_ref() != rois[i]->outline_ref())
            out[i] = qrimg(*rois[i]);
    }
}

q_roiimg *q_roiimgdb::qrimg(const roi &r)
{
    const int t = r.t();
    const place at{r.z(), r.x(), r.y()};
    auto window = db.find(t);
    if (window != db.end()) {
        auto hit = window->second.find(at);
        if (hit != window->second.end()) {
            if (hit->second->outline_ref() == r.outline_ref())
                return hit->second;
            // The ROI at this position changed: its old raster no longer describes it.
            drop(hit->second);
            window->second.erase(hit);
            --_in_window;
        }
    }

    const pos4i p(r.x(), r.y(), r.z(), t);
    q_roiimg *raster = take(_retired, p, _in_retired);
    if (raster && raster->outline_ref() != r.outline_ref()) {
        drop(raster);
        raster = nullptr;
    }
    if (!raster) {
        raster = make(r);
        _bytes += cost(raster);
    }
    _latest = t;
    evict_outside(t);
    db[t].emplace(at, raster);
    ++_in_window;
    trim(t, raster);
    return raster;
}

// Keeps time points t - 3 to t + 3 in the window.
void q_roiimgdb::evict_outside(int t)
{
    const long long low = t - 3LL < 0 ? 0 : t - 3LL, high = t + 3LL;
    // Most misses find the window in place already.
    if (db.empty() || (db.begin()->first >= low && db.rbegin()->first <= high))
        return;
    for (auto it = db.begin(); it != db.end();) {
        if (it->first >= low && it->first <= high) {
            ++it;
            continue;
        }
        time_point_rasters &into = _retired[it->first];
        const size_t n = it->second.size();
        if (into.empty())
            into.swap(it->second);
        else
            for (auto &e : it->second)
                into.emplace(e.first, e.second);
        _in_window -= n;
        _in_retired += n;
        it = db.erase(it);
    }
}

void q_roiimgdb::trim(int t, const q_roiimg *keep)
{
    if (!pinned())
        trim_unpinned(t, keep);
}

// With no command running: the dropped rasters go, then, over the budget,
// the retired ones and, if that is not enough, those of the window, farthest
// in time from t first, down to three quarters of the budget, so that the
// ordering is paid once for many misses. keep stays.
void q_roiimgdb::trim_unpinned(int t, const q_roiimg *keep)
{
    for (q_roiimg *r : _dropped)
        release(r);
    _dropped.clear();
    if (_bytes <= _budget)
        return;
    const size_t before = _bytes;
    free_over_budget(t, keep);
#ifdef __GLIBC__
    // The rasters' own blocks went back as they emptied; their outlines and
    // entries, freed in bulk, leave whole pages free amid the heap: hand
    // those back too, or the process keeps the memory of the largest command.
    if (before - _bytes >= size_t(16) << 20)
        malloc_trim(0);
#endif
}

// Within a time point the newest rasters go first, so that its arena's
// newest blocks empty and go back to the system.
void q_roiimgdb::free_over_budget(int t, const q_roiimg *keep)
{
    std::vector<q_roiimg *> newest_first;
    for (raster_map *from : {&_retired, &db}) {
        size_t &count = from == &db ? _in_window : _in_retired;
        std::vector<std::pair<long long, raster_map::iterator>> order;
        for (auto it = from->begin(); it != from->end(); ++it)
            order.emplace_back(std::llabs(static_cast<long long>(it->first) - t), it);
        std::stable_sort(order.begin(), order.end(),
                         [](const auto &a, const auto &b) { return a.first > b.first; });
        for (auto &entry : order) {
            time_point_rasters &rasters = entry.second->second;
            newest_first.clear();
            for (auto &e : rasters)
                if (e.second != keep)
                    newest_first.push_back(e.second);
            std::sort(newest_first.begin(), newest_first.end(),
                      [](const q_roiimg *a, const q_roiimg *b) {
                          return raster_arena::made_order(a) > raster_arena::made_order(b);
                      });
            for (q_roiimg *raster : newest_first) {
                if (_bytes <= _budget / 4 * 3)
                    break;
                rasters.erase(place{raster->z(), raster->x(), raster->y()});
                release(raster);
                --count;
            }
            if (rasters.empty())
                from->erase(entry.second);
            if (_bytes <= _budget / 4 * 3)
                return;
        }
    }
}

void q_roiimgdb::remove(pos4i p)
{
    if (q_roiimg *raster = take(db, p, _in_window))
        drop(raster);
    if (q_roiimg *raster = take(_retired, p, _in_retired))
        drop(raster);
}
