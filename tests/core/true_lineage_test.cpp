// A generated dataset's true lineage: reading the generator's file, and
// scoring units and links against it on hand-built cases.
#include "true_lineage.h"

#include "curation_fixture.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <unistd.h> // getpid

using fixture::curation;
using true_lineage::nucleus;

namespace
{

nucleus at(int t, int id, int parent, double x, double y, double z)
{
    nucleus n;
    n.t = t;
    n.id = id;
    n.parent = parent;
    n.x = x;
    n.y = y;
    n.z = z;
    n.radius = 3;
    return n;
}

true_lineage::score score(const std::vector<nucleus> &truth, curation &c)
{
    return true_lineage::score_curation(truth, c.db, c.lin.members_head, c.lin.linkage);
}

// Nucleus 1 at t 0 and 1, dividing into 2 and 3 at t 2.
const std::vector<nucleus> dividing = {at(0, 1, 0, 11, 11, 1), at(1, 1, 0, 12, 11, 1),
                                       at(2, 2, 1, 12, 11, 1), at(2, 3, 1, 31, 11, 1)};

// Units of 4 x 3 rectangles on planes 0 to 2 over each nucleus, linked as
// the nuclei are.
curation matching_units()
{
    curation c;
    const std::string a = c.unit(0, 10, 10, 0, 3), b = c.unit(1, 11, 10, 0, 3);
    const std::string d = c.unit(2, 11, 10, 0, 3), e = c.unit(2, 30, 10, 0, 3);
    c.link(b, a);
    c.link(d, b);
    c.link(e, b);
    return c;
}

} // namespace

TEST(TrueLineage, UnitsThatFollowTheNucleiScoreOne)
{
    curation c = matching_units();
    const auto s = score(dividing, c);
    EXPECT_EQ(s.nuclei, 4u);
    EXPECT_EQ(s.found, 4u);
    EXPECT_EQ(s.units, 4u);
    EXPECT_EQ(s.empty_units + s.shared_units, 0u);
    EXPECT_EQ(s.measures.found_links, 3u);
    EXPECT_EQ(s.measures.found_divisions, 1u);
    EXPECT_EQ(s.measures.graph.det, 1.0);
    EXPECT_EQ(s.measures.graph.tra, 1.0);
}

TEST(TrueLineage, CapsOfNucleiAndMergedSistersAreCounted)
{
    // The daughters in one unit, and a one-plane unit over the first nucleus
    // that holds no centre (its ROI lies on plane 4, two planes up).
    curation c;
    const std::string a = c.unit(0, 10, 10, 0, 3), b = c.unit(1, 11, 10, 0, 3);
    const std::string both = c.unit(2, 11, 10, 0, 3, 24, 3);
    const std::string cap = c.unit(0, 10, 10, 4, 1);
    c.link(b, a);
    c.link(both, b);
    const auto s = score(dividing, c);
    EXPECT_EQ(s.found, 4u);
    EXPECT_EQ(s.empty_units, 1u);
    EXPECT_EQ(s.shared_units, 1u);
    const auto &g = s.measures.graph;
    EXPECT_EQ(g.fp, 1u);
    EXPECT_EQ(g.ns, 1u);
    EXPECT_EQ(g.fn, 0u);
    // 4 nuclei, 3 true links: AOGM 5 + 1 + 1.5 (a daughter's link) + 1 (the
    // other's is a continuation) against 40 + 4.5.
    EXPECT_EQ(g.ea, 1u);
    EXPECT_EQ(g.ec, 1u);
    EXPECT_DOUBLE_EQ(g.tra, 1.0 - 8.5 / 44.5);
}

TEST(TrueLineage, ACentreIsLookedForUpToTwoPlanesAway)
{
    curation c;
    c.unit(0, 10, 10, 3, 1); // two planes above the centre's plane 1
    c.unit(0, 40, 10, 4, 1); // three planes above
    const auto s = score({at(0, 1, 0, 11, 11, 1), at(0, 2, 0, 41, 11, 1)}, c);
    EXPECT_EQ(s.found, 1u);
    EXPECT_EQ(s.measures.graph.fn, 1u);
    EXPECT_EQ(s.measures.graph.fp, 1u);
}

TEST(TrueLineage, TheGeneratorsFileIsReadAndBadLinesCounted)
{
    const std::string path =
        ::testing::TempDir() + "truth_" + std::to_string(getpid()) + "_lineage.txt";
    std::ofstream(path) << "# t id parent x y z radius\n"
                        << "0 1 0 471.6 95.3 21.5 11.0\n"
                        << "0 2 0 oops\n"
                        << "1 3 1 10 20 3 5\n"
                        << "1 4 1 10 20 3 5 extra\n";
    std::vector<nucleus> got;
    std::ostringstream err;
    ASSERT_TRUE(true_lineage::read(path, got, err));
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].id, 1);
    EXPECT_DOUBLE_EQ(got[0].x, 471.6);
    EXPECT_DOUBLE_EQ(got[0].z, 21.5);
    EXPECT_EQ(got[1].t, 1);
    EXPECT_EQ(got[1].parent, 1);
    EXPECT_EQ(err.str(), path + ": left out 2 malformed lines (first at line 3)\n");

    err.str("");
    EXPECT_FALSE(true_lineage::read(path + ".absent", got, err));
    EXPECT_EQ(err.str(), "Cannot open " + path + ".absent\n");
}
