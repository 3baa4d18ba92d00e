// The browser's plane-indexed ROI database.
#include "roidb_plus.h"

#include "keygen.h"
#include "roi_file.h"

#include <algorithm> // std::max, std::sort
#include <iostream>
#include <iterator> // std::prev, std::distance, std::advance
#include <tuple>    // std::tie
#include <utility>  // std::move
#include <vector>

namespace
{

bool shown(const pos4i &p)
{
    return p.x() >= 0 && p.y() >= 0 && p.z() >= 0 && p.t() >= 0;
}

} // namespace

roidb_plus::roidb_plus(std::string name)
    : roidb(std::move(name)), tz_xy_db(), tz_iter(tz_xy_db.end())
{
}

long long roidb_plus::plane_key(int t, int z)
{
    // t in the high half, z in the low one: one key per plane, for any t and z.
    return static_cast<long long>(static_cast<unsigned long long>(static_cast<unsigned int>(t))
                                      << 32 |
                                  static_cast<unsigned int>(z));
}

roidb_plus::roidb_plus(const roidb_plus &other)
    : roidb(other), tz_xy_db(other.tz_xy_db), tz_iter(tz_xy_db.end()), _unshown(other._unshown)
{
    point_at_own();
    tz_iter = same_place(other, other.tz_iter);
}

roidb_plus &roidb_plus::operator=(const roidb_plus &other)
{
    if (this == &other)
        return *this;
    roidb::operator=(other);
    tz_xy_db = other.tz_xy_db;
    point_at_own();
    tz_iter = same_place(other, other.tz_iter);
    _unshown = other._unshown;
    return *this;
}

void roidb_plus::point_at_own()
{
    for (auto &entry : tz_xy_db) {
        const roi &r = *entry.second.stored;
        entry.second.stored = &db.find(keygen(r))->second;
    }
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
    const bool in_a_plane = shown(r);
    const auto entered = db.emplace_hint(hint, std::move(key), std::move(r));
    if (db.size() == before)
        return;
    if (in_a_plane)
        tz_xy_db.emplace(plane_key(t, z), placed{pos2i(x, y), &entered->second});
    else
        ++_unshown;
}

void roidb_plus::read_plus(std::string filename)
{
    // The reader hands on only ROIs that can be stored.
    oxel_read_roi_file(filename, _name, [this](roi &&r) { index_and_enter(std::move(r)); });
}

// How many records a long read takes between two calls of its progress.
static const unsigned progress_every = 8192;

bool roidb_plus::load(const std::string &filename, const progress &keep_going)
{
    roi_file_reader in;
    std::string name;
    if (!in.open(filename) || !in.read_word(name))
        return false;
    _name = name;
    roi r;
    for (unsigned n = 1; in.read_roi(r); ++n) {
        index_and_enter(std::move(r));
        if (keep_going && n % progress_every == 0 && !keep_going(in.consumed(), in.file_size()))
            return false;
    }
    return true;
}

bool roidb_plus::read_range(const std::string &filename, int t_from, int t_end, std::string &name,
                            std::vector<roi> &rois, const progress &keep_going, bool &stopped)
{
    stopped = false;
    roi_file_reader in;
    if (!in.open(filename) || !in.read_word(name))
        return false;
    roi r;
    for (unsigned n = 1; in.read_roi(r); ++n) {
        if (t_from <= r.t() && r.t() <= t_end)
            rois.push_back(std::move(r));
        if (keep_going && n % progress_every == 0 && !keep_going(in.consumed(), in.file_size())) {
            stopped = true;
            return true;
        }
    }
    return true;
}

void roidb_plus::replace_plus(std::string filename, int t_from, int t_end)
{
    std::string name;
    std::vector<roi> incoming;
    bool stopped = false;
    if (!read_range(filename, t_from, t_end, name, incoming, progress(), stopped)) {
        std::cerr << "roidb: Cannot open " << filename << std::endl;
        return;
    }
    std::vector<roi> doomed;
    for (auto &e : db)
        if (e.second.t() >= t_from && e.second.t() <= t_end)
            doomed.push_back(e.second);
    for (const roi &r : doomed)
        remove(r);
    _name = name;
    for (roi &r : incoming)
        index_and_enter(std::move(r));
}

roidb_plus::replace_result roidb_plus::replace_checked(const std::string &filename, int t_from,
                                                       int t_end, const std::string &dataset,
                                                       const progress &keep_going)
{
    std::string name;
    std::vector<roi> incoming;
    bool stopped = false;
    if (!read_range(filename, t_from, t_end, name, incoming, keep_going, stopped))
        return replace_result::unreadable;
    if (stopped)
        return replace_result::stopped;
    if (name != dataset)
        return replace_result::different_dataset;
    std::vector<roi> doomed;
    for (auto &e : db)
        if (e.second.t() >= t_from && e.second.t() <= t_end)
            doomed.push_back(e.second);
    for (const roi &r : doomed)
        remove(r);
    for (roi &r : incoming)
        index_and_enter(std::move(r));
    return replace_result::replaced;
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
    r = *iter->second.stored;
    ++iter;
    return true;
}

const roi *roidb_plus::next_stored(int t, int z, iterator &iter) const
{
    if (iter == tz_xy_db.end() || iter->first != plane_key(t, z))
        return nullptr;
    return (iter++)->second.stored;
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

const roi *roidb_plus::stored(const std::string &key) const
{
    const pos4i p = decode(key);
    std::string db_key;
    db_key.reserve(12);
    oxel_append_key_field(db_key, p.t());
    oxel_append_key_field(db_key, p.x());
    oxel_append_key_field(db_key, p.y());
    oxel_append_key_field(db_key, p.z());
    auto it = db.find(db_key);
    return it == db.end() ? nullptr : &it->second;
}

void roidb_plus::stored(const std::vector<const std::string *> &keys,
                        std::vector<const roi *> &out) const
{
    // Database keys order positions as (t, x, y, z) compare, field by field.
    struct wanted {
        int t, x, y, z;
        size_t index;
        bool operator<(const wanted &o) const
        {
            return std::tie(t, x, y, z) < std::tie(o.t, o.x, o.y, o.z);
        }
    };
    std::vector<wanted> order;
    order.reserve(keys.size());
    for (size_t i = 0; i < keys.size(); ++i) {
        const pos4i p = decode(*keys[i]);
        order.push_back({p.t(), p.x(), p.y(), p.z(), i});
    }
    std::sort(order.begin(), order.end());
    out.assign(keys.size(), nullptr);
    const auto db_key = [](const wanted &w) {
        std::string key;
        key.reserve(12);
        oxel_append_key_field(key, w.t);
        oxel_append_key_field(key, w.x);
        oxel_append_key_field(key, w.y);
        oxel_append_key_field(key, w.z);
        return key;
    };
    auto it = db.end();
    for (const wanted &w : order) {
        const auto before = [&w](const roi &r) {
            return std::make_tuple(r.t(), r.x(), r.y(), r.z()) < std::tie(w.t, w.x, w.y, w.z);
        };
        // A few steps forward when the next key is near; a search when it is not.
        int steps = 0;
        while (it != db.end() && before(it->second) && ++steps <= 8)
            ++it;
        if (it == db.end() || before(it->second))
            it = db.lower_bound(db_key(w));
        const auto at = [&w](const roi &r) {
            return r.t() == w.t && r.x() == w.x && r.y() == w.y && r.z() == w.z;
        };
        if (it != db.end() && at(it->second)) {
            out[w.index] = &it->second;
        } else {
            // Absent, as a rule; a search settles it whatever the order.
            auto found = db.find(db_key(w));
            if (found != db.end())
                out[w.index] = &found->second;
        }
    }
}

void roidb_plus::remove(std::string key)
{
    remove(roi(decode(key), ""));
}

void roidb_plus::remove(roi r)
{
    if (db.erase(keygen(r)) != 0 && !shown(r))
        --_unshown;
    auto range = tz_xy_db.equal_range(plane_key(r.t(), r.z()));
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second.at.x() == r.x() && it->second.at.y() == r.y()) {
            // The shared cursor never points at an erased entry.
            if (tz_iter == it)
                ++tz_iter;
            tz_xy_db.erase(it);
            break;
        }
    }
}

// Plane keys hold the time point in their high half, so they sort by it.
int roidb_plus::t_min()
{
    return tz_xy_db.empty() ? 0 : static_cast<int>(tz_xy_db.begin()->first >> 32);
}

int roidb_plus::t_max()
{
    return tz_xy_db.empty() ? 0 : static_cast<int>(tz_xy_db.rbegin()->first >> 32);
}

std::vector<roi> roidb_plus::rois_in(int t_from, int t_end) const
{
    std::vector<roi> out;
    for (const auto &e : db)
        if (e.second.t() >= t_from && e.second.t() <= t_end)
            out.push_back(e.second);
    return out;
}

int roidb_plus::z_max() const
{
    // One visit per plane: the index groups its entries by plane key, whose
    // low half is the plane.
    int highest = 0;
    for (auto it = tz_xy_db.begin(); it != tz_xy_db.end(); it = tz_xy_db.upper_bound(it->first))
        highest = std::max(highest,
                           static_cast<int>(static_cast<unsigned int>(it->first & 0xffffffffLL)));
    return highest;
}
