// The image cache of one open dataset: pixmaps by (t, z), bounded by the
// memory they take, the least recently used going first.
#pragma once

#include <QPixmap>
#include <QString>

#include <cstddef> // size_t
#include <list>
#include <map>
#include <utility> // std::pair

class ImageDB {
public:
    // 1 GiB: some sixty 2048 x 2048 planes, or all planes of several time
    // points of the usual 1024-pixel images.
    static constexpr size_t default_budget = size_t(1) << 30;

    explicit ImageDB(size_t budget = default_budget);

    // The image of (t, z) from the file name, loaded on a miss; a null
    // pixmap ("Cannot find NAME" on standard error) when it cannot be loaded.
    // Asked again at once for the same missing image, it neither reads nor
    // reports again. Loading an image lets the least recently used ones go
    // until the cache is within its budget (the new image always stays);
    // cache_time, the design's window of time points, no longer bounds it.
    QPixmap img(int t, int z, QString name, int cache_time);

    size_t size() const { return db.size(); }
    bool holds(int t, int z) const { return db.count({t, z}) != 0; }
    // Memory the cached images take, and the most they may take.
    size_t bytes() const { return _bytes; }
    size_t budget() const { return _budget; }

private:
    using plane = std::pair<int, int>;
    struct entry {
        QPixmap pixmap;
        size_t bytes;
        std::list<plane>::iterator use;
    };

    // Most recently used first.
    std::list<plane> _uses;
    std::map<plane, entry> db;
    size_t _budget;
    size_t _bytes = 0;
    plane _last_missing{-1, -1};
    bool _missing = false;
};
