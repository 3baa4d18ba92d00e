// Unit centres, the doubt search, the lineage overlay and the review queue.
#include "review.h"

#include "keygen.h"
#include "lineage_marks.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

#include <algorithm> // std::min, std::max
#include <cmath>     // std::isfinite
#include <limits>

namespace review {

pos3d centroid(roidb_plus &db, q_roiimgdb &rasters, const lineage::key_multimap &head_members,
               const std::string &head)
{
    double sx = 0.0, sy = 0.0, sz = 0.0, volume = 0.0;
    auto range = head_members.equal_range(head);
    for (auto it = range.first; it != range.second; ++it) {
        const roi *r = db.stored(it->second);
        if (!r)
            continue;
        // The cache only reads the ROI it is given.
        const q_roiimg *raster = rasters.qrimg(const_cast<roi &>(*r));
        const double n = raster->size();
        const pos3d c = raster->centroid();
        sx += c.x() * n;
        sy += c.y() * n;
        sz += r->z() * n;
        volume += n;
    }
    if (volume == 0.0) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return pos3d(nan, nan, nan);
    }
    return pos3d(sx / volume, sy / volume, sz / volume);
}

pos3d isotropic(pos3d g)
{
    return pos3d(g.x(), g.y(), g.z() * 0.5 / 0.105);
}

bool finite(pos3d p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y()) && std::isfinite(p.z());
}

lineage::key_set doubt_search(const lineage::key_multimap &linkage)
{
    lineage::key_set out;
    if (linkage.empty())
        return out;
    auto it = linkage.begin();
    const std::string *previous = &it->first;
    for (++it; it != linkage.end(); ++it) {
        if (it->first == *previous)
            out.insert(out.end(), it->first);
        previous = &it->first;
    }
    return out;
}

namespace {

// Toward zero, as a conversion to int does; only for finite values.
int truncated(double v)
{
    return static_cast<int>(v);
}

overlay::element circle_at(const unit_views::view &v, const char *colour)
{
    overlay::element e{};
    e.is_circle = true;
    e.c = {truncated(v.g.x() - 2), truncated(v.g.y() - 2), colour};
    return e;
}

} // namespace

const unit_views::view &unit_views::get(roidb_plus &db, q_roiimgdb &rasters,
                                        const lineage::key_multimap &head_members,
                                        const std::string &head)
{
    auto found = _seen.find(head);
    if (found != _seen.end())
        return found->second;
    view v{centroid(db, rasters, head_members, head), 0, 0, false};
    auto range = head_members.equal_range(head);
    if (range.first != range.second) {
        v.z_min = std::numeric_limits<int>::max();
        v.z_max = std::numeric_limits<int>::min();
        for (auto it = range.first; it != range.second; ++it) {
            const int z = decode(it->second).z();
            v.z_min = std::min(v.z_min, z);
            v.z_max = std::max(v.z_max, z);
        }
    }
    v.usable = finite(v.g);
    return _seen.emplace(head, v).first->second;
}

overlay lineage_overlay(roidb_plus &db, q_roiimgdb &rasters, const lineage::tables &u, int t,
                        int z, int t_min, unit_views &views)
{
    overlay out;
    if (u.linkage.empty())
        return out;
    auto unit = [&](const std::string &head) -> const unit_views::view & {
        return views.get(db, rasters, u.head_members, head);
    };
    auto spans = [z](const unit_views::view &v) { return v.z_min <= z && z <= v.z_max; };
    if (t > t_min) {
        for (const std::string &head : lineage::units(u.head_members, t - 1)) {
            const unit_views::view &v = unit(head);
            if (v.usable)
                out.elements.push_back(circle_at(v, spans(v) ? "#4444ff" : "#222299"));
        }
    }
    for (const std::string &head : lineage::units(u.head_members, t)) {
        const unit_views::view &v = unit(head);
        if (!v.usable)
            continue;
        const bool on_view = spans(v);
        out.elements.push_back(circle_at(v, on_view ? "#ff0000" : "#990000"));
        for (const std::string &parent : lineage::parents(u.linkage, head)) {
            const unit_views::view &p = unit(parent);
            if (!p.usable)
                continue;
            overlay::element e{};
            e.is_circle = false;
            e.l = {truncated(v.g.x()), truncated(v.g.y()), truncated(p.g.x()), truncated(p.g.y()),
                   on_view ? "#ffffff" : "#999999"};
            out.elements.push_back(e);
        }
    }
    return out;
}

const char *kind_name(kind k)
{
    switch (k) {
    case kind::doubt:
        return "doubt";
    case kind::dead_end:
        return "dead end";
    case kind::unlinked:
        return "unlinked";
    }
    return "";
}

std::vector<entry> build_queue(const lineage::key_multimap &head_members,
                               const lineage::key_multimap &linkage, int t_min, int t_max,
                               const lineage::key_set &dismissed)
{
    const lineage::marked_units marked =
        lineage::find_marked_units(head_members, linkage, t_min, t_max);
    std::vector<entry> queue;
    auto add = [&](kind what, const lineage::key_set &heads) {
        for (const std::string &head : heads) {
            const int t = decode(head).t();
            if (t >= t_min && t <= t_max && !dismissed.count(head))
                queue.push_back({what, head});
        }
    };
    add(kind::doubt, marked.doubtful);
    add(kind::dead_end, marked.dead_ends);
    add(kind::unlinked, marked.unlinked);
    return queue;
}

} // namespace review
