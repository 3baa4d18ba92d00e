// The split on generated doubtful units, with the real outline program: one
// automatic split of a unit of 10 members of about 300 pixels each, and an
// automatic run over 50 such doubts.
#include "bench_data.h"
#include "body.h"
#include "keygen.h"
#include "q_roiimgdb.h"
#include "review.h"
#include "roidb_plus.h"
#include "split.h"

#include <chrono>
#include <cstdio>
#include <set>
#include <sstream>

namespace
{

double now_ms()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

struct World {
    roidb_plus db{"split"};
    q_roiimgdb rasters;
    lineage::key_multimap head_members, linkage;
    lineage::key_map members_head;
    lineage::key_set elite;
    lineage::tables units{head_members, members_head, linkage, elite};
    std::ostringstream out, err;
    int calls = 0;

    split::context context()
    {
        split::context c{db, rasters, units, 0, 1, {}, out, err, {}, {}, {}};
        c.trace = [this](unsigned char *b, int w, int h, std::list<roi> &regions) {
            ++calls;
            return run_outline_program(OUTLINEGEN, b, w, h, err, regions);
        };
        return c;
    }
    std::string unit(const std::string &shape, int x, int y, int z_from, int z_to, int t)
    {
        const std::string head = keygen(pos4i(x, y, z_from, t));
        for (int z = z_from; z <= z_to; ++z) {
            const roi r(x, y, z, t, shape);
            db.entry_plus(r);
            head_members.emplace(head, keygen(r));
            members_head.emplace(keygen(r), head);
        }
        return head;
    }
    // Two elite parents, one above the other, and the doubtful unit of ten
    // members they grew into; k places it on a grid.
    std::string doubt(const std::string &disc, int k)
    {
        const int x = 20 + (k % 10) * 50, y = 20 + (k / 10) * 50;
        const std::string p1 = unit(disc, x, y, 0, 4, 0), p2 = unit(disc, x + 6, y, 5, 9, 0);
        const std::string d = unit(disc, x + 3, y, 0, 9, 1);
        linkage.emplace(d, p1);
        linkage.emplace(d, p2);
        elite.insert(p1);
        elite.insert(p2);
        return d;
    }
};

} // namespace

int main()
{
    // Radius 10: 317 pixels.
    const std::string disc = benchdata::disc_outlines()[5];
    {
        World w;
        const std::string d = w.doubt(disc, 0);
        split::context c = w.context();
        const double t0 = now_ms();
        const split::outcome done = split::decide(c, d);
        const double ms = now_ms() - t0;
        std::printf("one automatic split of a unit of 10 members of 317 pixels: %.1f ms, "
                    "%d outline program calls (%s)\n",
                    ms, w.calls, done == split::outcome::cut ? "cut" : "not cut");
    }
    {
        World w;
        for (int k = 0; k < 50; ++k)
            w.doubt(disc, k);
        split::context c = w.context();
        std::set<std::string> passed_over;
        int cut = 0, other = 0;
        const double t0 = now_ms();
        for (;;) {
            std::string next;
            for (const std::string &candidate : review::doubt_search(w.linkage))
                if (!passed_over.count(candidate)) {
                    next = candidate;
                    break;
                }
            if (next.empty())
                break;
            const split::outcome done = split::decide(c, next);
            if (done == split::outcome::cut)
                ++cut;
            else
                ++other;
            if (done == split::outcome::skipped || done == split::outcome::failed)
                passed_over.insert(next);
        }
        const double ms = now_ms() - t0;
        std::printf("automatic run over 50 doubtful units: %.0f ms (%.1f ms a unit), %d cut, "
                    "%d otherwise, %d outline program calls\n",
                    ms, ms / 50, cut, other, w.calls);
    }
    return 0;
}
