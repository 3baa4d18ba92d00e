// The image cache of one open dataset.
#include "ImageDB.h"

#include <iostream>

ImageDB::ImageDB(size_t budget) : _budget(budget) {}

QPixmap ImageDB::img(int t, int z, QString name, int)
{
    const plane k(t, z);
    auto hit = db.find(k);
    if (hit != db.end()) {
        _uses.splice(_uses.begin(), _uses, hit->second.use);
        return hit->second.pixmap;
    }

    if (_missing && k == _last_missing)
        return QPixmap();
    QPixmap pixmap;
    if (!pixmap.load(name)) {
        std::cerr << "Cannot find " << name.toStdString() << std::endl;
        _last_missing = k;
        _missing = true;
        return QPixmap();
    }
    _missing = false;
    const size_t bytes = static_cast<size_t>(pixmap.width()) *
                         static_cast<size_t>(pixmap.height()) *
                         static_cast<size_t>(pixmap.depth() > 0 ? pixmap.depth() : 32) / 8;
    while (!_uses.empty() && _bytes + bytes > _budget) {
        auto last = db.find(_uses.back());
        _bytes -= last->second.bytes;
        db.erase(last);
        _uses.pop_back();
    }
    _uses.push_front(k);
    db.emplace(k, entry{pixmap, bytes, _uses.begin()});
    _bytes += bytes;
    return pixmap;
}
