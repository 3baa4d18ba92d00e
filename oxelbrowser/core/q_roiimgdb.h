// The raster cache of the open dataset, by position. It keeps the rasters of
// the seven time points around the latest miss in its window, and bounds the
// memory of the rasters that no running command holds.
#pragma once

#include "q_roiimg.h"
#include "raster_arena.h"

#include <cstddef> // size_t
#include <map>
#include <memory> // std::shared_ptr, std::unique_ptr
#include <string>
#include <unordered_map>
#include <utility> // std::move
#include <vector>

class q_roiimgdb
{
public:
    // Memory the cache may keep in rasters beyond those a running command
    // holds, unless the window's settings say otherwise ("cache/rasters"):
    // the whole time window of a few hundred ROIs a plane, or about half a
    // time point of 5,000 a plane.
    static const size_t default_budget = size_t(64) << 20;

    // While any pin of the cache lives, every raster it has handed out stays
    // valid. A command that keeps raster pointers across further requests,
    // or across letting events run, holds one for as long as it keeps them;
    // without a pin a pointer is good only until the next request or
    // removal. When the last pin goes, what is over the budget is freed.
    // Pins may outlive the cache.
    class pin
    {
    public:
        pin() = default;
        pin(const pin &) = default;
        pin(pin &&) = default;
        pin &operator=(const pin &) = default;
        pin &operator=(pin &&) = default;
        ~pin();

    private:
        friend class q_roiimgdb;
        explicit pin(std::shared_ptr<q_roiimgdb *> token) : _token(std::move(token)) {}
        std::shared_ptr<q_roiimgdb *> _token;
    };

    q_roiimgdb();
    explicit q_roiimgdb(size_t budget);
    ~q_roiimgdb();
    q_roiimgdb(const q_roiimgdb &) = delete;
    q_roiimgdb &operator=(const q_roiimgdb &) = delete;

    // The mapped raster of r, made on the first request.
    q_roiimg *qrimg(const roi &r);
    // The same for many ROIs at once, out[i] for rois[i] (none null): a time
    // point's worth is found faster than one by one.
    void qrimg(const std::vector<const roi *> &rois, std::vector<q_roiimg *> &out);
    // Drops the raster at the position, so that the next request rasterises afresh.
    void remove(pos4i p);
    pin hold();

    // Rasters in the time window (for inspection).
    size_t size() const { return _in_window; }
    bool holds(const std::string &key) const;
    // Rasters alive, and the memory they take.
    size_t live() const { return _in_window + _in_retired + _dropped.size(); }
    size_t bytes() const { return _bytes; }
    // The memory taken from the system for them. Rasters of a time point lie
    // apart from the rest of the heap and are freed newest first, so this
    // follows bytes(); a raster removed on its own leaves a hole until the
    // rest of its block goes, or its time point does.
    size_t reserved() const;

private:
    // A raster's place within its time point.
    struct place {
        int z, x, y;
        bool operator==(const place &o) const { return z == o.z && x == o.x && y == o.y; }
    };
    struct place_hash {
        size_t operator()(const place &p) const;
    };
    using time_point_rasters = std::unordered_map<place, q_roiimg *, place_hash>;
    // By time point, so that a window of time points is a range of entries.
    using raster_map = std::map<int, time_point_rasters>;

    static place place_of(const pos4i &p) { return {p.z(), p.x(), p.y()}; }
    bool pinned() const { return _pins.use_count() > 1; }
    void evict_outside(int t);
    // Frees what no command holds until the memory is within the budget.
    void trim(int t, const q_roiimg *keep);
    void trim_unpinned(int t, const q_roiimg *keep);
    void free_over_budget(int t, const q_roiimg *keep);
    q_roiimg *make(const roi &r);
    void release(q_roiimg *raster);
    void destroy(q_roiimg *raster);
    void drop(q_roiimg *raster);
    // Takes the raster at p out of rasters (null when absent).
    static q_roiimg *take(raster_map &rasters, const pos4i &p, size_t &count);

    raster_map db;
    // Evicted rasters of unchanged ROIs, handed out again on their next request.
    raster_map _retired;
    size_t _in_window = 0;
    size_t _in_retired = 0;
    // Rasters of removed or changed ROIs, kept while a command may hold them.
    std::vector<q_roiimg *> _dropped;
    // The time point of the latest miss, which the budget keeps closest.
    int _latest = 0;
    // The memory of each time point's rasters; gone when none is alive.
    std::map<int, std::unique_ptr<raster_arena>> _arenas;
    std::shared_ptr<q_roiimgdb *> _pins;
    size_t _budget;
    size_t _bytes;
};
