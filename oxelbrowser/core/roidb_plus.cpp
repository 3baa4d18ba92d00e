// The browser's plane-indexed ROI database.
#include "roidb_plus.h"

#include "keygen.h"

#include <iostream>
#include <iterator> // std::prev, std::distance, std::advance
#include <utility> // std::move
#include <vector>

roidb_plus::roidb_plus(std::string name)
    : roidb(std::move(name)), tz_xy_db(), tz_iter(tz_xy_db.end())
{
}

std::string roidb_plus::plane_key(int t, int z)
{
    return keygen(pos4i(0, 0, z, t));
}

roidb_plus::roidb_plus(const roidb_plus &other)
    : roidb(other), tz_xy_db(other.tz_xy_db), tz_iter(tz_xy_db.end())
{
    tz_iter = same_place(other, other.tz_iter);
}

roidb_plus &roidb_plus::operator=(const roidb_plus &other)
{
    if (this == &other)
        return *this;
    roidb::operator=(other);
    tz_xy_db = other.tz_xy_db;
    tz_iter = same_place(other, other.tz_iter);
    return *this;
}

roidb_plus::iterator roidb_plus::same_place(const roidb_plus &other, index_type::const_iterator it)
{
    if (it == other.tz_xy_db.end())
        return tz_xy_db.end();
    // Entries of one plane keep their order, so the place within the plane carries over.
    auto first = other.tz_xy_db.lower_bound(it->first);
    const auto offset = std::distance(first, it);
    auto mine = tz_xy_db.lower_bound(it->first);
    std::advance(mine, offset);
    return mine;
}

void roidb_plus::entry_plus(roi r)
{
    if (storable(r))
        index_and_enter(std::move(r));
}

void roidb_plus::index_and_enter(roi r)
{
    const int x = r.x(), y = r.y(), z = r.z(), t = r.t();
    std::string key = keygen(r);
    // Files list their ROIs in key order, so most entries go at the end.
    auto hint = db.end();
    if (!db.empty() && !(std::prev(hint)->first < key))
        hint = db.lower_bound(key);
    const size_t before = db.size();
    db.emplace_hint(hint, std::move(key), std::move(r));
    if (db.size() != before)
        tz_xy_db.emplace(plane_key(t, z), pos2i(x, y));
}

void roidb_plus::read_plus(std::string filename)
{
    // The reader hands on only ROIs that can be stored.
    read_with(filename, [this](roi &&r) { index_and_enter(std::move(r)); });
}

void roidb_plus::replace_plus(std::string filename, int t_from, int t_end)
{
    std::vector<roi> doomed;
    for (auto &e : db)
        if (e.second.t() >= t_from && e.second.t() <= t_end)
            doomed.push_back(e.second);
    for (const roi &r : doomed)
        remove(r);
    read_with(filename, [this, t_from, t_end](roi &&r) {
        if (t_from <= r.t() && r.t() <= t_end)
            index_and_enter(std::move(r));
    });
}

void roidb_plus::seek(int t, int z, int pos)
{
    if (pos == 0)
        tz_iter = tz_xy_db.lower_bound(plane_key(t, z));
}

void roidb_plus::seek_iter(int t, int z, int pos, iterator &iter)
{
    if (pos != 0)
        return;
    seek(t, z, pos);
    iter = tz_iter;
}

bool roidb_plus::next_in_plane(int t, int z, roi &r, iterator &iter)
{
    if (iter == tz_xy_db.end())
        return false;
    if (iter->first != plane_key(t, z))
        return false;
    r = roi(iter->second.x(), iter->second.y(), z, t, "");
    ++iter;
    return find(r);
}

bool roidb_plus::find_plus(int t, int z, roi &r)
{
    return next_in_plane(t, z, r, tz_iter);
}

bool roidb_plus::find_plus_iter(int t, int z, roi &r, iterator &iter)
{
    return next_in_plane(t, z, r, iter);
}

roi roidb_plus::find_plus(std::string key)
{
    roi r(decode(key), "");
    find(r);
    return r;
}

void roidb_plus::remove(std::string key)
{
    remove(roi(decode(key), ""));
}

void roidb_plus::remove(roi r)
{
    db.erase(keygen(r));
    auto range = tz_xy_db.equal_range(plane_key(r.t(), r.z()));
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second.x() == r.x() && it->second.y() == r.y()) {
            // The shared cursor never points at an erased entry.
            if (tz_iter == it)
                ++tz_iter;
            tz_xy_db.erase(it);
            break;
        }
    }
}

int roidb_plus::t_min()
{
    return db.empty() ? 0 : decode(db.begin()->first).t();
}

int roidb_plus::t_max()
{
    return db.empty() ? 0 : decode(db.rbegin()->first).t();
}
