// The image cache of one open dataset: pixmaps by (t, z), keeping the time
// points around the one most recently loaded.
#pragma once

#include <QPixmap>
#include <QString>

#include <map>
#include <string>

class ImageDB {
public:
    // The image of (t, z) from the file name, loaded on a miss; a null
    // pixmap ("Cannot find NAME" on standard error) when it cannot be loaded.
    // Asked again at once for the same missing image, it neither reads nor
    // reports again.
    QPixmap img(int t, int z, QString name, int cache_time);

    size_t size() const { return db.size(); }
    bool holds(int t, int z) const { return db.count(key(t, z)) != 0; }

private:
    static std::string key(int t, int z);

    std::map<std::string, QPixmap> db;
    std::string _last_missing;
};
