// Curations built by hand or generated, for the interchange and measure tests.
#pragma once

#include "blobs.h"
#include "ctc_export.h"
#include "keygen.h"
#include "lineage_file.h"
#include "roi_pixels.h"
#include "roidb_plus.h"

#include <map>
#include <ostream>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace fixture
{

inline std::string key(int t, int z, int x, int y)
{
    return keygen(pos4i(x, y, z, t));
}

// A w x h rectangle with its top-left pixel at (x, y).
inline roi rect(int x, int y, int w, int h, int z, int t)
{
    return roi(x, y, z, t,
               std::string(h, '2') + std::string(w, '3') + std::string(h, '0') +
                   std::string(w, '1'));
}

// A curation: ROIs and the window's tables.
struct curation {
    roidb_plus db{"cur"};
    lineage_file::contents lin;

    // A unit of rectangles on planes z0.. at time point t, headed by its first.
    std::string unit(int t, int x, int y, int z0, int planes, int w = 4, int h = 3)
    {
        const std::string head = key(t, z0, x, y);
        for (int z = z0; z < z0 + planes; ++z) {
            db.entry_plus(rect(x, y, w, h, z, t));
            lin.head_members.emplace(head, key(t, z, x, y));
            lin.members_head[key(t, z, x, y)] = head;
        }
        return head;
    }
    void link(const std::string &child, const std::string &parent)
    {
        lin.linkage.emplace(child, parent);
    }
    bool export_to(const std::string &dir, std::ostream &out, std::ostream &err,
                   const ctc::export_options &opt = {}, const lineage::key_set &left_out = {},
                   ctc::export_summary *summary = nullptr)
    {
        return ctc::export_folder(db, lin.members_head, lin.linkage, left_out, "cur", dir, opt, out,
                                  err, summary);
    }
};

// Cells on a grid of 24-pixel slots that drift, divide into neighbouring
// free slots and sometimes end; each a few planes deep, one random blob a
// plane; heads the smallest member keys, as the unit-making pass leaves them.
inline curation generated(unsigned seed, int times)
{
    std::mt19937 rng(seed);
    curation c;
    struct cell {
        int slot;
        std::string head;
    };
    const int side = 8;
    std::vector<cell> alive;
    std::vector<bool> used(side * side, false);
    auto place = [&](int t, int slot, const std::string &parent) {
        const int z0 = static_cast<int>(rng() % 3), planes = 1 + static_cast<int>(rng() % 3);
        std::string head;
        for (int z = z0; z < z0 + planes; ++z) {
            testsupport::Bitmap b = testsupport::fill_holes(
                testsupport::random_blob(rng, 18, 18, 30 + static_cast<int>(rng() % 120)));
            testsupport::Outline o = testsupport::trace(b);
            roi r(slot % side * 24 + 3 + t % 3 + o.x, slot / side * 24 + 3 + o.y, z, t, o.digits);
            const std::string k = keygen(r);
            c.db.entry_plus(r);
            if (head.empty())
                head = k;
            c.lin.head_members.emplace(head, k);
            c.lin.members_head[k] = head;
        }
        if (!parent.empty())
            c.link(head, parent);
        alive.push_back({slot, head});
    };
    for (int slot : {9, 14, 41, 54})
        place(0, slot, "");
    for (int t = 1; t < times; ++t) {
        std::vector<cell> before;
        before.swap(alive);
        std::fill(used.begin(), used.end(), false);
        for (const cell &cl : before)
            used[cl.slot] = true;
        for (const cell &cl : before) {
            // The first cell divides at once, so that every seed divides.
            const unsigned fate = t == 1 && &cl == &before[0] ? 1 : rng() % 10;
            if (fate == 0)
                continue; // ends
            std::vector<int> free;
            for (int d : {-side, side, -1, 1}) {
                const int n = cl.slot + d;
                if (n >= 0 && n < side * side && !used[n] &&
                    (d == side || d == -side || n / side == cl.slot / side))
                    free.push_back(n);
            }
            if (fate < 4 && free.size() >= 2) {
                used[free[0]] = used[free[1]] = true;
                place(t, free[0], cl.head);
                place(t, free[1], cl.head);
                used[cl.slot] = false;
            } else {
                place(t, cl.slot, cl.head);
            }
        }
    }
    return c;
}

// Units as sets of member keys, links as pairs of those sets: what the
// curation means whatever member heads it.
struct meaning {
    std::set<std::set<std::string>> units;
    std::multiset<std::pair<std::set<std::string>, std::set<std::string>>> links;
    std::map<std::string, std::string> rois; // key → outline
};

inline meaning meaning_of(roidb_plus &db, const lineage_file::contents &lin)
{
    meaning m;
    std::map<std::string, std::set<std::string>> members;
    for (const auto &e : lin.head_members)
        members[e.first].insert(e.second);
    for (const auto &u : members)
        m.units.insert(u.second);
    for (const auto &l : lin.linkage)
        m.links.insert({members[l.first], members[l.second]});
    for (const auto &entry : db.rois())
        m.rois[keygen(entry.second)] = entry.second.outline();
    return m;
}

} // namespace fixture
