// The raster cache of the open dataset, keyed by browser key. It keeps the
// rasters of the seven time points around the latest miss in its map, and
// bounds the memory of the rasters that no running command holds.
#pragma once

#include "q_roiimg.h"

#include <cstddef> // size_t
#include <map>
#include <memory> // std::shared_ptr
#include <string>
#include <utility> // std::move
#include <vector>

class q_roiimgdb {
public:
    // Memory the cache may keep in rasters beyond those a running command
    // holds, unless the window's settings say otherwise ("cache/rasters").
    static const size_t default_budget = size_t(256) << 20;

    // While any pin of the cache lives, every raster it has handed out stays
    // valid. A command that keeps raster pointers across further requests,
    // or across letting events run, holds one for as long as it keeps them;
    // without a pin a pointer is good only until the next request or
    // removal. Pins may outlive the cache.
    class pin {
    public:
        pin() = default;

    private:
        friend class q_roiimgdb;
        explicit pin(std::shared_ptr<int> token) : _token(std::move(token)) {}
        std::shared_ptr<int> _token;
    };

    q_roiimgdb();
    explicit q_roiimgdb(size_t budget);
    ~q_roiimgdb();
    q_roiimgdb(const q_roiimgdb &) = delete;
    q_roiimgdb &operator=(const q_roiimgdb &) = delete;

    // The mapped raster of r, made on the first request.
    q_roiimg *qrimg(roi &r);
    // Drops the raster at the position, so that the next request rasterises afresh.
    void remove(pos4i p);
    pin hold();

    // Rasters in the time window (for inspection).
    size_t size() const { return db.size(); }
    bool holds(const std::string &key) const { return db.count(key) != 0; }
    // Rasters alive, and the memory they take.
    size_t live() const { return db.size() + _retired.size() + _dropped.size(); }
    size_t bytes() const { return _bytes; }

private:
    using raster_map = std::map<std::string, q_roiimg *>;

    bool pinned() const { return _pins.use_count() > 1; }
    void evict_outside(int t);
    // Frees what no command holds until the memory is within the budget.
    void trim(int t, const std::string &keep);
    void release(q_roiimg *raster);
    void drop(q_roiimg *raster);

    raster_map db;
    // Evicted rasters of unchanged ROIs, handed out again on their next request.
    raster_map _retired;
    // Rasters of removed or changed ROIs, kept while a command may hold them.
    std::vector<q_roiimg *> _dropped;
    std::shared_ptr<int> _pins;
    size_t _budget;
    size_t _bytes;
};
