// Unit centres, the doubt search, the lineage overlay and the review queue,
// on hand-built units.
#include "keygen.h"
#include "q_roiimgdb.h"
#include "review.h"
#include "roidb_plus.h"

#include <gtest/gtest.h>

#include <cstring> // std::strcmp

using lineage::key_map;
using lineage::key_multimap;
using lineage::key_set;

namespace {

// A w x h rectangle with its top-left pixel at (x, y).
roi rect(int x, int y, int w, int h, int z, int t)
{
    return roi(x, y, z, t,
               std::string(h, '2') + std::string(w, '3') + std::string(h, '0') + std::string(w, '1'));
}

struct Units {
    roidb_plus db{"u"};
    q_roiimgdb rasters;
    key_multimap head_members, linkage;
    key_map members_head;
    key_set elite;
    lineage::tables all{head_members, members_head, linkage, elite};

    // A unit of the given ROIs; its head is the first one's key.
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
    pos3d g(const std::string &head) { return review::centroid(db, rasters, head_members, head); }
    // Fresh for each overlay, as the window's is after any change.
    review::unit_views &views()
    {
        cache.clear();
        return cache;
    }
    review::unit_views cache;
};

} // namespace

// Each member counts with its pixels: 10 pixels of a 2 x 5 rectangle centred
// at (x + 0.5, y + 2) and 30 of a 5 x 6 one centred at (x + 2, y + 2.5).
TEST(UnitCentre, WeighsEachMemberByItsPixels)
{
    Units u;
    const std::string one = u.unit({rect(20, 30, 2, 5, 4, 0)});
    const pos3d g1 = u.g(one);
    EXPECT_DOUBLE_EQ(g1.x(), 20.5);
    EXPECT_DOUBLE_EQ(g1.y(), 32.0);
    EXPECT_DOUBLE_EQ(g1.z(), 4.0);

    const std::string two = u.unit({rect(0, 0, 2, 5, 2, 1), rect(4, 8, 5, 6, 3, 1)});
    const pos3d g2 = u.g(two);
    EXPECT_DOUBLE_EQ(g2.x(), (10 * 0.5 + 30 * 6.0) / 40);
    EXPECT_DOUBLE_EQ(g2.y(), (10 * 2.0 + 30 * 10.5) / 40);
    EXPECT_DOUBLE_EQ(g2.z(), 2.75);

    // Unit space multiplies by 0.5, then divides by 0.105: bit for bit that,
    // not the product with their ratio (the two differ in the last bit).
    const pos3d e = review::isotropic(g2);
    EXPECT_EQ(e.z(), 2.75 * 0.5 / 0.105);
    EXPECT_EQ(e.x(), g2.x());
    int differ = 0;
    for (int z = 0; z < 100; ++z)
        differ += review::isotropic(pos3d(0, 0, z)).z() != z * 4.761904761904762;
    EXPECT_GT(differ, 0);
}

TEST(UnitCentre, AKeyThatHeadsNoUnitHasNoFiniteCentre)
{
    Units u;
    EXPECT_FALSE(review::finite(u.g(keygen(pos4i(1, 1, 0, 0)))));
    EXPECT_TRUE(review::finite(u.g(u.unit({rect(3, 3, 2, 2, 0, 0)}))));
}

TEST(DoubtSearch, CountsLinkEntriesPerChild)
{
    const std::string u1 = "001000000001", u2 = "001000000002";
    const std::string p1 = "000000000001", p2 = "000000000002", p3 = "000000000003";
    EXPECT_TRUE(review::doubt_search({}).empty());
    EXPECT_EQ(review::doubt_search({{u1, p1}, {u1, p2}, {u2, p3}}), key_set{u1});
    EXPECT_EQ(review::doubt_search({{u1, p1}, {u1, p1}}), key_set{u1}) << "a link entered twice";
    EXPECT_EQ(review::doubt_search({{u1, p1}, {u1, p2}, {u1, p3}, {u2, p3}}), key_set{u1});
}

// Circles at the truncated centres (toward zero: a box corner at -0.5 is 0,
// not -1), colours by whether the unit spans the plane on view, lines
// coloured by the child.
TEST(LineageOverlay, CirclesAndLinesInDrawingOrder)
{
    Units u;
    // Parent at t = 0 on planes 0-1, child at t = 1 on planes 3-5.
    const std::string parent = u.unit({rect(10, 20, 2, 2, 0, 0), rect(10, 20, 2, 2, 1, 0)});
    const std::string child =
        u.unit({rect(1, 1, 2, 1, 3, 1), rect(1, 1, 2, 1, 4, 1), rect(1, 1, 2, 1, 5, 1)});
    const std::string lonely = u.unit({rect(30, 30, 2, 2, 2, 1)});
    EXPECT_TRUE(review::lineage_overlay(u.db, u.rasters, u.all, 1, 2, 0, u.views()).elements.empty())
        << "nothing without a link";
    u.linkage.emplace(child, parent);

    // Units of t = 1 in key order: the lonely one (plane 2) before the child.
    const review::overlay on2 = review::lineage_overlay(u.db, u.rasters, u.all, 1, 2, 0, u.views());
    ASSERT_EQ(on2.elements.size(), 4u);
    const auto &prev = on2.elements[0];
    EXPECT_TRUE(prev.is_circle);
    EXPECT_EQ(prev.c.x, 8); // centre 10.5 - 2 = 8.5
    EXPECT_EQ(prev.c.y, 18);
    EXPECT_STREQ(prev.c.colour, "#222299") << "the parent lies off plane 2";
    EXPECT_STREQ(on2.elements[1].c.colour, "#ff0000") << "the lonely unit spans plane 2";
    const auto &cur = on2.elements[2];
    EXPECT_EQ(cur.c.x, 0);  // centre 1.5 - 2 = -0.5
    EXPECT_EQ(cur.c.y, -1); // centre 1 - 2
    EXPECT_STREQ(cur.c.colour, "#990000") << "planes 3-5 viewed on plane 2";
    const auto &line = on2.elements[3];
    ASSERT_FALSE(line.is_circle);
    EXPECT_EQ(line.l.x1, 1);
    EXPECT_EQ(line.l.y1, 1);
    EXPECT_EQ(line.l.x2, 10);
    EXPECT_EQ(line.l.y2, 20);
    EXPECT_STREQ(line.l.colour, "#999999") << "the child decides, whatever the parent's planes";
    (void)lonely;

    const review::overlay on4 = review::lineage_overlay(u.db, u.rasters, u.all, 1, 4, 0, u.views());
    EXPECT_STREQ(on4.elements[1].c.colour, "#990000");
    EXPECT_STREQ(on4.elements[2].c.colour, "#ff0000");
    EXPECT_STREQ(on4.elements[3].l.colour, "#ffffff");

    const review::overlay first = review::lineage_overlay(u.db, u.rasters, u.all, 1, 4, 1, u.views());
    EXPECT_EQ(first.elements.size(), 3u) << "no previous time point at the start of the range";

    // A parent that heads no unit (a stale link) has no line.
    u.linkage.emplace(child, keygen(pos4i(50, 50, 0, 0)));
    EXPECT_EQ(review::lineage_overlay(u.db, u.rasters, u.all, 1, 4, 0, u.views()).elements.size(), 4u);
}

// Doubtful units, then dead ends, then unlinked units, each in key order;
// dismissed units left out; the unit at x = 0, y = 0 on plane 0 kept.
TEST(ReviewQueue, OrderAndDismissal)
{
    Units u;
    const std::string a0 = u.unit({rect(0, 0, 2, 2, 0, 0)}); // 000000000000
    const std::string b0 = u.unit({rect(20, 20, 2, 2, 0, 0)});
    const std::string a1 = u.unit({rect(0, 0, 2, 2, 0, 1)}); // the quirk key of t = 1
    const std::string b1 = u.unit({rect(20, 20, 2, 2, 0, 1)});
    const std::string c2 = u.unit({rect(10, 10, 2, 2, 0, 2)});
    u.linkage.emplace(c2, a1);
    u.linkage.emplace(c2, b1);
    u.linkage.emplace(b1, b0);
    // a0: dead end (no child); a1: unlinked; c2: doubt.
    const auto queue = review::build_queue(u.head_members, u.linkage, 0, 2, {});
    ASSERT_EQ(queue.size(), 3u);
    EXPECT_EQ(queue[0].what, review::kind::doubt);
    EXPECT_EQ(queue[0].head, c2);
    EXPECT_EQ(queue[1].what, review::kind::dead_end);
    EXPECT_EQ(queue[1].head, a0);
    EXPECT_EQ(queue[2].what, review::kind::unlinked);
    EXPECT_EQ(queue[2].head, a1) << "the head at x = 0, y = 0 on plane 0 is not lost";
    EXPECT_EQ(std::strcmp(review::kind_name(queue[1].what), "dead end"), 0);

    const auto rest = review::build_queue(u.head_members, u.linkage, 0, 2, {a0});
    ASSERT_EQ(rest.size(), 2u);
    EXPECT_EQ(rest[1].head, a1);
    const auto one = review::build_queue(u.head_members, u.linkage, 2, 2, {});
    ASSERT_EQ(one.size(), 1u) << "a one-time-point range has neither dead ends nor unlinked units";
    EXPECT_EQ(one[0].head, c2);
}
