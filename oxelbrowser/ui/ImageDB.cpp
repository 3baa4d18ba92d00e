// The image cache of one open dataset.
#include "ImageDB.h"

#include "keygen.h"

#include <iostream>

std::string ImageDB::key(int t, int z)
{
    return keygen(pos4i(0, 0, z, t));
}

QPixmap ImageDB::img(int t, int z, QString name, int cache_time)
{
    const std::string k = key(t, z);
    auto hit = db.find(k);
    if (hit != db.end())
        return hit->second;

    if (k == _last_missing)
        return QPixmap();
    QPixmap pixmap;
    if (!pixmap.load(name)) {
        std::cerr << "Cannot find " << name.toStdString() << std::endl;
        _last_missing = k;
        return QPixmap();
    }
    _last_missing.clear();
    // Keys begin with the time point: everything outside the window goes.
    const std::string key_min = key(t - cache_time, 0);
    const std::string key_max = key(t + cache_time, 0);
    db.erase(db.begin(), db.lower_bound(key_min));
    db.erase(db.upper_bound(key_max), db.end());
    db.emplace(k, pixmap);
    return pixmap;
}
