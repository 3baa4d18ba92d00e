// Units and lineage: queries, links, merging.
#include "keygen.h"
#include "lineage.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

#include <gtest/gtest.h>

#include <QRect>

#include <map>
#include <random>
#include <sstream>

using namespace lineage;

namespace {

std::string key(int t, int z, int x, int y)
{
    return keygen(pos4i(x, y, z, t));
}

struct Units {
    key_multimap head_members;
    key_map members_head;
    key_multimap linkage;
    key_set elite;
    tables all{head_members, members_head, linkage, elite};

    void unit(const std::string &head, std::initializer_list<std::string> members)
    {
        for (const std::string &m : members) {
            head_members.emplace(head, m);
            members_head.emplace(m, head);
        }
    }
};

} // namespace

TEST(Lineage, UnitsOfATimePointAreEachHeadOnce)
{
    Units u;
    std::string a = key(3, 1, 5, 5), b = key(3, 2, 9, 9), c = key(2, 1, 1, 1), d = key(4, 0, 1, 1);
    u.unit(a, {a, key(3, 2, 5, 5), key(3, 3, 5, 5)});
    u.unit(b, {b});
    u.unit(c, {c});
    u.unit(d, {d});
    EXPECT_EQ(units(u.head_members, 3), (key_set{a, b}));
    EXPECT_EQ(head(u.members_head, key(3, 3, 5, 5)), a);
    EXPECT_EQ(head(u.members_head, key(7, 7, 7, 7)), "N/A");
    EXPECT_EQ(members(u.head_members, a).size(), 3u);
}

TEST(Lineage, LinkingBothWaysAddsOneEntry)
{
    Units u;
    std::string p = key(1, 0, 1, 1), c = key(2, 0, 1, 1), same = key(1, 5, 5, 5);
    std::ostringstream out;
    link(u.linkage, p, c, out);
    link(u.linkage, c, p, out);
    EXPECT_EQ(u.linkage.size(), 1u);
    EXPECT_EQ(out.str(), "(" + p + ") --- (" + c + ")\n");
    std::ostringstream refused;
    link(u.linkage, p, same, refused);
    EXPECT_EQ(refused.str(), "Cannot link " + p + " and " + same + "\n");
    EXPECT_EQ(u.linkage.size(), 1u);
}

TEST(Lineage, TwoLinkagesThenOneReleaseLeavesOne)
{
    Units u;
    std::string p = key(1, 0, 1, 1), c = key(2, 0, 1, 1);
    u.linkage.emplace(c, p);
    u.linkage.emplace(c, p);
    std::ostringstream out;
    release_child(u.linkage, p, c, out);
    EXPECT_EQ(u.linkage.size(), 1u);
    EXPECT_EQ(out.str(), "(" + p + ") -x- (" + c + ")\n");
    release_child(u.linkage, key(1, 9, 9, 9), c, out);
    EXPECT_EQ(u.linkage.size(), 1u) << "a missing link only writes its line";
}

TEST(Lineage, ReachFollowsDescentOnly)
{
    Units u;
    std::string g = key(0, 0, 0, 0), p = key(1, 0, 0, 1), s1 = key(2, 0, 0, 1), s2 = key(2, 0, 0, 2),
                k = key(3, 0, 0, 1);
    u.linkage.emplace(p, g);
    u.linkage.emplace(s1, p);
    u.linkage.emplace(s2, p);
    u.linkage.emplace(k, s1);
    EXPECT_TRUE(reach(u.linkage, k, g));
    EXPECT_TRUE(reach(u.linkage, g, k));
    EXPECT_FALSE(reach(u.linkage, s1, s2)) << "sisters";
    EXPECT_FALSE(reach(u.linkage, s1, s1));
    EXPECT_FALSE(reach(u.linkage, k, s2)) << "niece and aunt";
    EXPECT_EQ(children(u.linkage, p), (key_set{s1, s2}));
    EXPECT_EQ(parents(u.linkage, s1), key_set{p});
    EXPECT_TRUE(upstream(u.linkage, k, 3).empty());
    EXPECT_EQ(upstream(u.linkage, k, 1), (key_set{s1, p}));
}

// A ladder where every unit has two parents: 2^60 paths to the top, which a
// walk without a visited set would never finish.
TEST(Lineage, AncestorsThroughManyPathsAreVisitedOnce)
{
    Units u;
    const int levels = 60;
    for (int t = 1; t < levels; ++t)
        for (int x : {0, 1})
            for (int px : {0, 1})
                u.linkage.emplace(key(t, 0, x, 0), key(t - 1, 0, px, 0));
    key_set all = upstream(u.linkage, key(levels - 1, 0, 0, 0), 0);
    EXPECT_EQ(all.size(), static_cast<size_t>(2 * (levels - 1)));
    EXPECT_TRUE(reach(u.linkage, key(levels - 1, 0, 1, 0), key(0, 0, 0, 0)));
}

TEST(Lineage, MergeTakesTheSmallestMemberOfTheFirstUnitAndMovesLinks)
{
    Units u;
    std::string a = key(5, 3, 50, 50), a2 = key(5, 4, 50, 50);
    std::string b = key(5, 1, 10, 10); // smaller than every member of a
    std::string p = key(4, 3, 50, 50), q = key(4, 1, 10, 10), c = key(6, 2, 30, 30);
    u.unit(a, {a, a2});
    u.unit(b, {b});
    u.linkage.emplace(a, p);
    u.linkage.emplace(b, q);
    u.linkage.emplace(c, b);
    u.elite.insert(a);
    std::ostringstream out;
    merge_units(u.all, a, b, 0, 10, out);
    EXPECT_EQ(u.members_head.at(b), a) << "head: smallest member of a, though b has a smaller key";
    EXPECT_EQ(members(u.head_members, a), (key_set{a, a2, b}));
    EXPECT_EQ(u.head_members.count(b), 0u);
    EXPECT_EQ(parents(u.linkage, a), (key_set{p, q}));
    EXPECT_EQ(children(u.linkage, a), key_set{c});
    EXPECT_TRUE(u.elite.empty());
    EXPECT_EQ(out.str().rfind("mergeUnits: " + a + " " + b + "\n", 0), 0u);
}

TEST(Lineage, MergeAtTheEndsOfTheRangeLeavesOuterLinks)
{
    Units u;
    std::string a = key(0, 1, 1, 1), b = key(0, 2, 2, 2), ghost_child = key(1, 0, 0, 0);
    u.unit(a, {a});
    u.unit(b, {b});
    u.linkage.emplace(ghost_child, b);
    std::ostringstream out;
    merge_units(u.all, a, b, 0, 0, out); // first and last time point at once
    EXPECT_EQ(out.str(), "mergeUnits: " + a + " " + b + "\n") << "no link read or moved";
    EXPECT_EQ(u.linkage.count(ghost_child), 1u);
    EXPECT_EQ(u.members_head.at(b), a);
}

TEST(Lineage, MergeAcrossTimePointsChangesNothing)
{
    Units u;
    std::string a = key(1, 0, 1, 1), b = key(2, 0, 1, 1);
    u.unit(a, {a});
    u.unit(b, {b});
    std::ostringstream out;
    merge_units(u.all, a, b, 0, 9, out);
    EXPECT_EQ(out.str(), "mergeUnits: " + a + " " + b + "\nCannot merge units in different time points: " +
                             a + " " + b + "\n");
    EXPECT_EQ(u.head_members.size(), 2u);

    std::ostringstream self;
    merge_units(u.all, a, a, 0, 9, self);
    EXPECT_EQ(u.head_members.size(), 2u) << "a unit merged with itself stays as it was";
}

// Merging two keys that head no unit must leave every link in place.
TEST(UnitMerge, KeysThatHeadNoUnitChangeNothing)
{
    key_multimap head_members, linkage;
    key_map members_head;
    key_set elite;
    lineage::tables u{head_members, members_head, linkage, elite};
    const std::string a = key(5, 0, 1, 1), b = key(5, 0, 2, 2), p = key(4, 0, 1, 1), c = key(6, 0, 1, 1);
    linkage.emplace(a, p);
    linkage.emplace(c, b);
    std::ostringstream out;
    lineage::merge_units(u, a, b, 0, 10, out);
    EXPECT_EQ(linkage.size(), 2u) << out.str();
    EXPECT_TRUE(head_members.empty());
    EXPECT_EQ(out.str().rfind("mergeUnits: " + a + " " + b + "\n", 0), 0u);
    EXPECT_EQ(out.str().find("-x-"), std::string::npos);
}

TEST(Linking, CandidatesAreThePairsWhoseMembersBoxesMeetOnAPlane)
{
    // Crowded planes (the grid answers) and a few units beyond x = 1000 and at
    // time point 1000: the candidates are exactly the pairs a look at every
    // pair of members finds, in key order of the child, then the parent.
    std::mt19937 rng(11);
    for (int t : {1, 1000}) {
        roidb_plus db("link");
        q_roiimgdb rasters;
        key_multimap head_members;
        for (int tt : {t - 1, t})
            for (int u = 0; u < 300; ++u) {
                const int x = static_cast<int>(rng() % 1400), y = static_cast<int>(rng() % 300);
                const int w = 3 + static_cast<int>(rng() % 12), h = 3 + static_cast<int>(rng() % 12);
                std::string head;
                for (int z = 0; z < 3; ++z) {
                    if (rng() % 4 == 0 && z > 0)
                        continue;
                    const roi r(x + z, y, z, tt,
                                std::string(h, '2') + std::string(w, '3') + std::string(h, '0') +
                                    std::string(w, '1'));
                    db.entry_plus(r);
                    if (head.empty())
                        head = keygen(r);
                    head_members.emplace(head, keygen(r));
                }
            }
        // Each member's plane and box, looked up once.
        std::map<std::string, std::pair<int, QRect>> placed;
        {
            const q_roiimgdb::pin keep = rasters.hold();
            for (const auto &entry : head_members) {
                roi r = db.find_plus(entry.second);
                const q_roiimg *raster = rasters.qrimg(r);
                placed[entry.second] = {r.z(), QRect(QPoint(raster->top_left().x(), raster->top_left().y()),
                                                     QPoint(raster->bottom_right().x(),
                                                            raster->bottom_right().y()))};
            }
        }
        std::vector<std::pair<std::string, std::string>> expected;
        for (const std::string &cu : units(head_members, t)) {
            key_set found;
            for (const std::string &pu : units(head_members, t - 1))
                for (const std::string &cm : members(head_members, cu))
                    for (const std::string &pm : members(head_members, pu))
                        if (placed[cm].first == placed[pm].first &&
                            placed[cm].second.intersects(placed[pm].second))
                            found.insert(pu);
            for (const std::string &pu : found)
                expected.emplace_back(cu, pu);
        }
        ASSERT_GT(expected.size(), 50u) << "the planes are crowded";
        EXPECT_EQ(link_candidates(db, rasters, head_members, t), expected) << "t = " << t;
    }
}
