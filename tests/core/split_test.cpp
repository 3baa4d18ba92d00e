// Cutting falsely grouped units: the cutting plane's geometry, the pieces,
// every case of the decision and the guards that keep a failed split from
// changing anything. Units are built by hand; a fake tracer (the tests' own
// outline tracer) stands in for the outline program unless a test needs it.
#include "split.h"

#include "blobs.h"
#include "body.h"
#include "keygen.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using lineage::key_map;
using lineage::key_multimap;
using lineage::key_set;

namespace
{

roi rect(int x, int y, int w, int h, int z, int t)
{
    return roi(x, y, z, t,
               std::string(h, '2') + std::string(w, '3') + std::string(h, '0') +
                   std::string(w, '1'));
}

// Every connected region of the block, traced by the tests' own tracer.
bool trace_block(unsigned char *block, int width, int height, std::list<roi> &regions)
{
    for (const testsupport::Bitmap &part :
         testsupport::components(testsupport::from_bytes(block, width, height))) {
        const testsupport::Outline o = testsupport::trace(part);
        regions.push_back(roi(o.x, o.y, 0, 0, o.digits));
    }
    return true;
}

struct World {
    roidb_plus db{"s"};
    q_roiimgdb rasters;
    key_multimap head_members, linkage;
    key_map members_head;
    key_set elite;
    lineage::tables units{head_members, members_head, linkage, elite};
    std::ostringstream out, err;
    int calls = 0;
    int fail_on_call = 0; // 0: never
    std::vector<std::pair<std::string, std::string>> pieces;

    split::context context()
    {
        split::context c{db, rasters, units, 0, 2, {}, out, err, {}, {}, {}};
        c.trace = [this](unsigned char *b, int w, int h, std::list<roi> &regions) {
            return ++calls != fail_on_call && trace_block(b, w, h, regions);
        };
        c.on_piece = [this](const std::string &p, const std::string &from) {
            pieces.emplace_back(p, from);
        };
        return c;
    }
    std::string unit(std::initializer_list<roi> rois)
    {
        const std::string head = keygen(*rois.begin());
        for (const roi &r : rois) {
            db.entry_plus(r);
            head_members.emplace(head, keygen(r));
            members_head.emplace(keygen(r), head);
        }
        return head;
    }
    // A square of side s on each of the planes, at time point t.
    std::string stack(int x, int y, int s, std::initializer_list<int> planes, int t)
    {
        std::string head;
        for (int z : planes) {
            const roi r = rect(x, y, s, s, z, t);
            if (head.empty())
                head = keygen(r);
            db.entry_plus(r);
            head_members.emplace(head, keygen(r));
            members_head.emplace(keygen(r), head);
        }
        return head;
    }
    void link(const std::string &parent, const std::string &child)
    {
        linkage.emplace(child, parent);
    }
    key_set planes_of(const std::string &head)
    {
        key_set planes;
        for (const std::string &m : lineage::members(head_members, head))
            planes.insert(std::to_string(decode(m).z()));
        return planes;
    }
    std::vector<std::string> all_keys()
    {
        std::vector<std::string> keys;
        for (int t = 0; t <= 2; ++t)
            for (int z = 0; z <= 9; ++z) {
                roidb_plus::iterator it;
                db.seek_iter(t, z, 0, it);
                roi r;
                while (db.find_plus_iter(t, z, r, it))
                    keys.push_back(keygen(r) + r.outline());
            }
        return keys;
    }
};

} // namespace

// A voxel spans plane heights z to z + 1; a plane through either end does
// not cut it, and the side flags follow the lower end.
TEST(SplitGeometry, APlaneThroughAVoxelsEndDoesNotCutIt)
{
    World w;
    const std::string u = w.stack(0, 0, 2, {3}, 1); // 4 voxels on plane 3
    split::context c = w.context();
    const pos3d up(0, 0, 1);
    const double f = split::plane_factor;
    bool plus = false, minus = false;
    EXPECT_EQ(split::cross_section_size(c, u, up, pos3d(0, 0, 3 * f), plus, minus), 0u);
    EXPECT_TRUE(plus);
    EXPECT_FALSE(minus);
    plus = minus = false;
    EXPECT_EQ(split::cross_section_size(c, u, up, pos3d(0, 0, 4 * f), plus, minus), 0u);
    EXPECT_FALSE(plus);
    EXPECT_TRUE(minus);
    plus = minus = false;
    EXPECT_EQ(split::cross_section_size(c, u, up * 7, pos3d(0, 0, 3.5 * f), plus, minus), 4u)
        << "the normal's length does not matter";
    EXPECT_TRUE(minus);
}

// Pixels sit at z times 4.761904761904762, unit centres at z times 0.5 then
// divided by 0.105: two numbers that differ in the last bit on many planes.
TEST(SplitGeometry, EachZFormulaWhereItBelongs)
{
    int z = 1;
    while (z * 0.5 / 0.105 == z * split::plane_factor)
        ++z;
    World w;
    const std::string u = w.stack(0, 0, 1, {z}, 1);
    split::context c = w.context();
    EXPECT_EQ(split::unit_centre(c, u).z(), z * 0.5 / 0.105);
    // A plane at the pixel's own lower end (by the pixel formula) cuts nothing.
    bool plus = false, minus = false;
    EXPECT_EQ(split::cross_section_size(c, u, pos3d(0, 0, 1), pos3d(0, 0, z * split::plane_factor),
                                        plus, minus),
              0u);
    EXPECT_TRUE(plus);
    EXPECT_FALSE(minus) << "exactly on the end: distance 0 is the plus side";
}

// A unit that no position can leave with pixels on both sides ends the search
// with no cut instead of restarting for ever.
TEST(SplitGeometry, SearchesThatCannotCutEnd)
{
    World w;
    const std::string pixel = w.stack(5, 5, 1, {0}, 1);
    const std::string block = w.stack(20, 20, 3, {0}, 1);
    split::context c = w.context();
    EXPECT_FALSE(
        split::search_cutting_position(c, pixel, pos3d(1, 0, 0), pos3d(5, 5, 0), 30).found);
    // A plane parallel to the block's one plane leaves it wholly on one side
    // wherever it lies: the restarts towards its centre are bounded.
    EXPECT_FALSE(
        split::search_cutting_position(c, block, pos3d(0, 0, 1), pos3d(21, 21, 500), 2).found);
    EXPECT_FALSE(
        split::search_cutting_position(c, block, pos3d(0, 0, 0), pos3d(21, 21, 0), 5).found)
        << "a zero normal";
    const double nan = std::nan("");
    EXPECT_FALSE(
        split::search_cutting_position(c, block, pos3d(nan, 0, 0), pos3d(21, 21, 0), 5).found);
    EXPECT_FALSE(split::search_cutting_position(c, keygen(pos4i(1, 1, 0, 1)), pos3d(1, 0, 0),
                                                pos3d(0, 0, 0), 5)
                     .found)
        << "a key that heads no unit";
    EXPECT_NE(w.err.str().find("no plane"), std::string::npos);
}

// The smallest cross-section that leaves pixels on both sides wins; of equal
// ones the more negative offset; with width 0 only the start is tried.
TEST(SplitGeometry, TheSearchFindsTheNeckOfTwoObjects)
{
    World w;
    // Two big objects on planes 0-1 and 3-4, joined on plane 2 by a neck.
    const std::string u =
        w.unit({rect(0, 0, 8, 8, 0, 1), rect(0, 0, 8, 8, 1, 1), rect(3, 3, 2, 2, 2, 1),
                rect(0, 0, 8, 8, 3, 1), rect(0, 0, 8, 8, 4, 1)});
    split::context c = w.context();
    const double f = split::plane_factor;
    const split::search_result found =
        split::search_cutting_position(c, u, pos3d(0, 0, 1), pos3d(4, 4, 2.2 * f), 30);
    ASSERT_TRUE(found.found);
    EXPECT_GT(found.point.z(), 2 * f);
    EXPECT_LT(found.point.z(), 3 * f) << "through the neck";
    EXPECT_NE(w.out.str().find("s=4 ("), std::string::npos) << "trace lines of each position";

    w.out.str("");
    const split::search_result only =
        split::search_cutting_position(c, u, pos3d(0, 0, 1), pos3d(4, 4, 1.5 * f), 0);
    EXPECT_TRUE(only.found);
    EXPECT_EQ(only.point.z(), 1.5 * f);
    EXPECT_EQ(
        w.out.str(), "s=64 (4 4 " + [&] {
            std::ostringstream s;
            s << 1.5 * f;
            return s.str();
        }() + ")\n");
}

// Each member is cut along the plane; a member wholly on one side comes back
// whole on that side, and a side without pixels is not sent to the tracer.
TEST(SplitGeometry, PiecesKeepTheirPlaneAndASideWithoutPixelsIsNotTraced)
{
    World w;
    const std::string u = w.unit({rect(10, 10, 6, 4, 0, 1), rect(10, 10, 6, 4, 1, 1)});
    split::context c = w.context();
    std::list<roi> plus, minus;
    // A vertical plane at x = 13: pixels 13-15 plus, 10-12 minus.
    ASSERT_TRUE(split::split_rois(c, u, pos3d(1, 0, 0), pos3d(13, 0, 0), plus, minus));
    ASSERT_EQ(plus.size(), 2u);
    ASSERT_EQ(minus.size(), 2u);
    EXPECT_EQ(keygen(plus.front()), keygen(pos4i(13, 10, 0, 1)));
    EXPECT_EQ(plus.front().outline(), rect(0, 0, 3, 4, 0, 0).outline());
    EXPECT_EQ(keygen(minus.back()), keygen(pos4i(10, 10, 1, 1)));
    EXPECT_EQ(w.calls, 4);
    EXPECT_NE(w.out.str().find("roi_plus: 13 10 0 1 "), std::string::npos);

    plus.clear();
    minus.clear();
    w.calls = 0;
    ASSERT_TRUE(split::split_rois(c, u, pos3d(1, 0, 0), pos3d(100, 0, 0), plus, minus));
    EXPECT_TRUE(plus.empty());
    ASSERT_EQ(minus.size(), 2u);
    EXPECT_EQ(minus.front().outline(), rect(0, 0, 6, 4, 0, 0).outline()) << "whole";
    EXPECT_EQ(w.calls, 2) << "the empty plus blocks were not sent";
}

// Two parents whose elite lines agree (here: no elite unit at all) are one
// object: they are merged, and nothing is cut.
TEST(SplitDecision, ParentsWithTheSameEliteLineAreMerged)
{
    World w;
    const std::string p1 = w.stack(0, 0, 4, {0}, 0), p2 = w.stack(10, 0, 4, {0}, 0);
    const std::string d = w.stack(0, 0, 14, {0}, 1);
    w.link(p1, d);
    w.link(p2, d);
    split::context c = w.context();
    EXPECT_EQ(split::decide(c, d), split::outcome::merged);
    EXPECT_EQ(w.out.str().rfind("Merge units: " + p1 + " " + p2 + "\n", 0), 0u) << w.out.str();
    EXPECT_EQ(lineage::members(w.head_members, p1).size(), 2u);
    EXPECT_EQ(lineage::parents(w.linkage, d), key_set{p1});
}

// Case 1: p1 has two children (the doubt and a sister with p1 as its only
// parent), p2 only the doubt: the doubt keeps p2 alone.
TEST(SplitDecision, CaseOneReleasesTheParentWithTwoChildren)
{
    World w;
    const std::string p1 = w.stack(0, 0, 4, {0}, 0), p2 = w.stack(10, 0, 4, {0}, 0);
    const std::string d = w.stack(0, 0, 14, {0}, 1), s = w.stack(30, 30, 4, {0}, 1);
    const std::string c2 = w.stack(0, 0, 14, {0}, 2);
    w.link(p1, d);
    w.link(p2, d);
    w.link(p1, s);
    w.link(d, c2);
    w.elite = {p1, p2};
    split::context c = w.context();
    EXPECT_EQ(split::decide(c, d), split::outcome::relinked);
    EXPECT_NE(w.out.str().find("Falsely grouped unit: " + d + "\np1(" + p1 + "): sisters: " + d +
                               " " + s + "\np2(" + p2 + "): sisters: " + d + "\nsplit: case 1\n"),
              std::string::npos)
        << w.out.str();
    EXPECT_EQ(lineage::parents(w.linkage, d), key_set{p2});
    EXPECT_EQ(lineage::parents(w.linkage, s), key_set{p1});
}

// Case 2: both parents have the same two children: the pairs with the
// smaller total distance are linked; on a tie, p1 to the second child.
TEST(SplitDecision, CaseTwoPairsParentsAndChildrenByDistance)
{
    for (const bool crossed : {true, false}) {
        World w;
        const std::string p1 = w.stack(0, 0, 4, {0}, 0), p2 = w.stack(40, 0, 4, {0}, 0);
        // cx (smaller key) near p2 when crossed, else at the same distance from both.
        const std::string cx = w.stack(crossed ? 38 : 20, 0, 4, {0}, 1);
        const std::string cy = w.stack(crossed ? 2 : 20, 20, 4, {0}, 1);
        const std::string next = w.stack(20, 0, 4, {0}, 2);
        for (const std::string &p : {p1, p2})
            for (const std::string &ch : {cx, cy})
                w.link(p, ch);
        const std::string d = cx < cy ? cx : cy;
        w.link(d, next);
        w.elite = {p1, p2};
        split::context c = w.context();
        EXPECT_EQ(split::decide(c, d), split::outcome::relinked);
        EXPECT_NE(w.out.str().find("split: case 2\n"), std::string::npos);
        const std::string first = std::min(cx, cy), second = std::max(cx, cy);
        if (crossed) {
            EXPECT_EQ(lineage::parents(w.linkage, cx), key_set{p2});
            EXPECT_EQ(lineage::parents(w.linkage, cy), key_set{p1});
        } else {
            EXPECT_EQ(lineage::parents(w.linkage, second), key_set{p1}) << "tie: p1 to the second";
            EXPECT_EQ(lineage::parents(w.linkage, first), key_set{p2});
        }
    }
}

// An elite doubt unit is never cut: the link from the farther parent goes
// (p1's when both are as far).
TEST(SplitDecision, AnEliteUnitLosesTheFartherParent)
{
    for (const int p2x : {30, 20}) {
        World w;
        const std::string p1 = w.stack(0, 0, 4, {0}, 0), p2 = w.stack(p2x, 0, 4, {0}, 0);
        const std::string d = w.stack(10, 0, 4, {0}, 1);
        w.link(p1, d);
        w.link(p2, d);
        w.elite = {p1, p2, d};
        split::context c = w.context();
        EXPECT_EQ(split::decide(c, d), split::outcome::relinked);
        EXPECT_EQ(lineage::parents(w.linkage, d), key_set{p2x == 30 ? p1 : p2});
        EXPECT_EQ(lineage::members(w.head_members, d).size(), 1u) << "not cut";
    }
}

// Case 3: two objects of one unit, one above the other, are cut apart; each
// parent goes to the piece on its side, the child to both, marks follow.
TEST(SplitDecision, CaseThreeCutsTheUnitAndLinksEachSide)
{
    World w;
    const std::string p1 = w.stack(0, 0, 8, {0, 1}, 0), p2 = w.stack(0, 0, 8, {3, 4}, 0);
    const std::string d =
        w.unit({rect(0, 0, 8, 8, 0, 1), rect(0, 0, 8, 8, 1, 1), rect(3, 3, 2, 2, 2, 1),
                rect(0, 0, 8, 8, 3, 1), rect(0, 0, 8, 8, 4, 1)});
    const std::string child = w.stack(0, 0, 8, {0, 1, 2, 3, 4}, 2);
    w.link(p1, d);
    w.link(p2, d);
    w.link(d, child);
    w.elite = {p1, p2};
    split::context c = w.context();
    ASSERT_EQ(split::decide(c, d), split::outcome::cut) << w.err.str();
    EXPECT_NE(w.out.str().find("split: case 3\n"), std::string::npos);
    EXPECT_FALSE(w.units.head_members.count(d) && lineage::members(w.head_members, d).size() == 5)
        << "the old unit is gone";
    const key_set new_parents_of_child = lineage::parents(w.linkage, child);
    ASSERT_EQ(new_parents_of_child.size(), 2u) << "the one child goes to both pieces";
    std::string low, high;
    for (const std::string &piece : new_parents_of_child)
        (w.planes_of(piece).count("0") ? low : high) = piece;
    EXPECT_EQ(w.planes_of(low), (key_set{"0", "1", "2"}));
    EXPECT_EQ(w.planes_of(high), (key_set{"3", "4"}));
    EXPECT_EQ(lineage::parents(w.linkage, low), key_set{p1});
    EXPECT_EQ(lineage::parents(w.linkage, high), key_set{p2});
    EXPECT_EQ(w.pieces.size(), 5u);
    EXPECT_EQ(w.db.count(), 4u + 5u + 5u) << "parents, pieces, child";
}

// A split whose outline program fails part-way, or whose piece would take the
// place of another ROI, changes nothing at all.
namespace
{

struct Snapshot {
    std::vector<std::string> keys;
    key_multimap head_members, linkage;
    key_map members_head;
    explicit Snapshot(World &w)
        : keys(w.all_keys()), head_members(w.head_members), linkage(w.linkage),
          members_head(w.members_head)
    {
    }
    void expect_same(World &w, const char *what)
    {
        EXPECT_EQ(w.all_keys(), keys) << what;
        EXPECT_EQ(w.head_members, head_members) << what;
        EXPECT_EQ(w.members_head, members_head) << what;
        EXPECT_EQ(w.linkage, linkage) << what;
        EXPECT_FALSE(w.err.str().empty()) << what;
    }
};

} // namespace

TEST(SplitDecision, AFailedSplitLeavesEverythingAsItWas)
{
    {
        World w;
        const std::string p1 = w.stack(0, 0, 8, {0, 1}, 0), p2 = w.stack(0, 0, 8, {3, 4}, 0);
        const std::string d = w.stack(0, 0, 8, {0, 1, 2, 3, 4}, 1);
        w.link(p1, d);
        w.link(p2, d);
        w.elite = {p1, p2};
        w.fail_on_call = 2; // the second member's block
        Snapshot before(w);
        split::context c = w.context();
        EXPECT_EQ(split::decide(c, d), split::outcome::failed);
        before.expect_same(w, "the outline program failed");
    }
    {
        // Parents side by side: the manual cut runs between x = 14 and 15, so
        // the minus piece would start at (15, 10), where another ROI is.
        World w;
        const std::string p1 = w.stack(0, 10, 4, {0}, 0), p2 = w.stack(20, 10, 4, {0}, 0);
        const std::string d = w.unit({rect(10, 10, 6, 4, 0, 1)});
        w.db.entry_plus(rect(15, 10, 1, 1, 0, 1));
        w.link(p1, d);
        w.link(p2, d);
        Snapshot before(w);
        split::context c = w.context();
        EXPECT_EQ(split::manual(c, d, p1, p2, 13, 11, 0).what, split::outcome::skipped);
        before.expect_same(w, "a piece's place is taken");
        EXPECT_NE(w.err.str().find("would take the place of another ROI"), std::string::npos);
    }
}

TEST(SplitDecision, FewerThanTwoParentsIsSkipped)
{
    World w;
    const std::string p1 = w.stack(0, 0, 4, {0}, 0), d = w.stack(0, 0, 4, {0}, 1);
    w.link(p1, d);
    w.link(p1, d); // one parent linked twice: a doubt by its entries
    split::context c = w.context();
    EXPECT_EQ(split::decide(c, d), split::outcome::skipped);
    EXPECT_EQ(w.linkage.size(), 2u);
}

// The real outline program traces the pieces of a manual split.
TEST(SplitDecision, ManualSplitWithTheOutlineProgram)
{
    World w;
    const std::string p1 = w.stack(0, 0, 8, {0, 1}, 0), p2 = w.stack(0, 0, 8, {3, 4}, 0);
    const std::string d = w.stack(0, 0, 8, {0, 1, 2, 3, 4}, 1);
    w.link(p1, d);
    w.link(p2, d);
    split::context c = w.context();
    c.trace = [](unsigned char *b, int width, int height, std::list<roi> &regions) {
        std::ostringstream err;
        return run_outline_program(OUTLINEGEN, b, width, height, err, regions);
    };
    const split::cut_result cut = split::manual(c, d, p1, p2, 4, 4, 2);
    ASSERT_EQ(cut.what, split::outcome::cut) << w.err.str();
    EXPECT_NE(w.out.str().find(" E_normal: ("), std::string::npos);
    EXPECT_NE(w.out.str().find("      E_m: (4,4,"), std::string::npos);
    EXPECT_EQ(w.planes_of(cut.head_plus).size() + w.planes_of(cut.head_minus).size(), 5u);
}
