// The raster cache of the open dataset, keyed by browser key. It keeps the
// rasters of the seven time points around the latest miss in its map; every
// raster it ever handed out stays valid until the cache is destroyed.
#pragma once

#include "q_roiimg.h"

#include <map>
#include <string>
#include <vector>

class q_roiimgdb {
public:
    q_roiimgdb();
    ~q_roiimgdb();
    q_roiimgdb(const q_roiimgdb &) = delete;
    q_roiimgdb &operator=(const q_roiimgdb &) = delete;

    // The mapped raster of r, made on the first request.
    q_roiimg *qrimg(roi &r);
    // Drops the raster at the position, so that the next request rasterises afresh.
    void remove(pos4i p);

    // Rasters in the time window (for inspection).
    size_t size() const { return db.size(); }
    bool holds(const std::string &key) const { return db.count(key) != 0; }

private:
    void evict_outside(int t);

    std::map<std::string, q_roiimg *> db;
    // Evicted rasters of unchanged ROIs, handed out again on their next request.
    std::map<std::string, q_roiimg *> _retired;
    // Rasters of removed or changed ROIs: kept alive, never handed out again.
    std::vector<q_roiimg *> _dropped;
};
