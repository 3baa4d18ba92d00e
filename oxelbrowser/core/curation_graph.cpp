// A curation as a graph of objects and links.
#include "curation_graph.h"

#include "keygen.h"
#include "roi_pixels.h"
#include "roidb_plus.h"

#include <algorithm> // std::sort, std::unique, std::max

namespace
{

// x, y, z and t below 65536 each, in one number.
uint64_t position_key(const roi &r)
{
    return static_cast<uint64_t>(static_cast<uint16_t>(r.t())) << 48 |
           static_cast<uint64_t>(static_cast<uint16_t>(r.z())) << 32 |
           static_cast<uint64_t>(static_cast<uint16_t>(r.x())) << 16 | static_cast<uint16_t>(r.y());
}

} // namespace

uint32_t curation_graph::object_at(const roi &r) const
{
    auto it = by_position.find(position_key(r));
    return it == by_position.end() ? none : it->second;
}

curation_graph build_graph(roidb_plus &db, const lineage::key_map &members_head,
                           const lineage::key_multimap &linkage, const lineage::key_set &left_out,
                           bool extent)
{
    curation_graph g;
    std::string key;
    std::vector<std::pair<uint64_t, uint32_t>> positions;
    positions.reserve(db.count());
    for (const auto &entry : db.rois()) {
        const roi &r = entry.second;
        key = keygen(r);
        if (left_out.count(key) != 0) {
            ++g.left_out_rois;
            continue;
        }
        auto h = members_head.find(key);
        const bool unit = h != members_head.end();
        const std::string &head = unit ? h->second : key;
        auto placed = g.index.emplace(head, static_cast<uint32_t>(g.objects.size()));
        if (placed.second) {
            curation_graph::object o;
            o.head = head;
            o.t = unit ? decode(head).t() : r.t();
            o.unit = unit;
            g.objects.push_back(std::move(o));
            ++(unit ? g.units : g.lone_rois);
        }
        ++g.objects[placed.first->second].rois;
        positions.emplace_back(position_key(r), placed.first->second);
        if (extent) {
            int left, top, right, bottom;
            roi_pixels::box_of(r, left, top, right, bottom);
            g.right = std::max(g.right, right);
            g.bottom = std::max(g.bottom, bottom);
        }
        g.max_t = std::max(g.max_t, r.t());
        g.max_z = std::max(g.max_z, r.z());
        if (g.first_t < 0)
            g.first_t = r.t();
    }

    // Objects in key order of their heads, so that numbering follows keys.
    std::vector<uint32_t> order(g.objects.size());
    for (uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&g](uint32_t a, uint32_t b) { return g.objects[a].head < g.objects[b].head; });
    std::vector<curation_graph::object> sorted;
    sorted.reserve(order.size());
    std::vector<uint32_t> new_index(order.size());
    for (uint32_t i = 0; i < order.size(); ++i) {
        new_index[order[i]] = i;
        sorted.push_back(std::move(g.objects[order[i]]));
    }
    g.objects.swap(sorted);
    for (uint32_t i = 0; i < g.objects.size(); ++i)
        g.index[g.objects[i].head] = i;
    g.by_position.reserve(positions.size());
    for (const auto &p : positions)
        g.by_position.emplace(p.first, new_index[p.second]);

    for (const auto &link : linkage) {
        auto c = g.index.find(link.first);
        auto p = g.index.find(link.second);
        if (c == g.index.end() || p == g.index.end())
            continue;
        curation_graph::object &child = g.objects[c->second];
        if (!child.unit || !g.objects[p->second].unit || g.objects[p->second].t + 1 != child.t)
            continue;
        child.parents.push_back(p->second);
    }
    for (uint32_t i = 0; i < g.objects.size(); ++i) {
        std::vector<uint32_t> &parents = g.objects[i].parents;
        std::sort(parents.begin(), parents.end());
        parents.erase(std::unique(parents.begin(), parents.end()), parents.end());
        for (uint32_t p : parents)
            g.objects[p].children.push_back(i);
    }
    return g;
}
