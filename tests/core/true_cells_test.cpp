// The scoring behind docs/curation.md's figures: ROIs given to the true cell
// that holds their pixels, links judged against cells and divisions, and
// purity from units that mix cells.
#include "true_cells.h"

#include "keygen.h"
#include "roidb_plus.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace
{

roi rect(int x, int y, int w, int h, int z, int t)
{
    return roi(x, y, z, t,
               std::string(h, '2') + std::string(w, '3') + std::string(h, '0') +
                   std::string(w, '1'));
}

// Cell 1 stays at (10, 10); cell 2 at (40, 10) divides into 3 and 4 at t = 1.
const char truth_text[] = "# t id parent x y z radius\n"
                          "# packed cells: a plane is 2 px deep\n"
                          "0 1 0 10 10 2 8\n"
                          "0 2 0 40 10 2 8\n"
                          "1 1 0 11 10 2 8\n"
                          "1 3 2 35 10 2 5\n"
                          "1 4 2 46 10 2 5\n";

struct Scored : ::testing::Test {
    QTemporaryDir dir;
    testsupport::true_cells truth;
    roidb_plus db{"t"};

    void SetUp() override
    {
        const std::string path = dir.path().toStdString() + "/lineage.txt";
        std::ofstream(path) << truth_text;
        std::ostringstream err;
        ASSERT_TRUE(truth.read(path, err)) << err.str();
        ASSERT_TRUE(truth.packed());
    }
    std::string add(const roi &r)
    {
        db.entry_plus(r);
        return keygen(r);
    }
};

} // namespace

TEST_F(Scored, LinksAreRightForOneCellOrAMotherAndDaughter)
{
    const std::string a0 = add(rect(7, 7, 6, 6, 2, 0));  // cell 1
    const std::string b0 = add(rect(37, 7, 6, 6, 2, 0)); // cell 2
    const std::string a1 = add(rect(8, 7, 6, 6, 2, 1));  // cell 1
    const std::string d3 = add(rect(33, 8, 4, 4, 2, 1)); // daughter 3
    const std::string d4 = add(rect(44, 8, 4, 4, 2, 1)); // daughter 4
    const testsupport::roi_cells cells = testsupport::assign(db, truth);
    EXPECT_EQ(cells.at(a0).cell, 1);
    EXPECT_EQ(cells.at(b0).cell, 2);
    EXPECT_EQ(cells.at(d3).cell, 3);
    EXPECT_EQ(cells.at(d4).cell, 4);
    EXPECT_EQ(cells.at(d4).pixels, 16);

    std::multimap<std::string, std::string> units, links;
    for (const std::string &k : {a0, b0, a1, d3, d4})
        units.emplace(k, k);
    links.emplace(a1, a0); // right
    links.emplace(d3, b0); // right: a division
    links.emplace(a1, b0); // wrong: a neighbour
    const testsupport::curation_score s = testsupport::score(cells, units, links, truth);
    EXPECT_EQ(s.links, 3u);
    EXPECT_EQ(s.links_judged, 3u);
    EXPECT_EQ(s.links_right, 2u);
    EXPECT_EQ(s.true_links, 3u) << "1 to 1, 2 to 3, 2 to 4";
    EXPECT_EQ(s.true_links_found, 2u);
    EXPECT_DOUBLE_EQ(s.precision(), 2.0 / 3);
    EXPECT_DOUBLE_EQ(s.recall(), 2.0 / 3);
    EXPECT_EQ(s.small_units, 5u);
    EXPECT_DOUBLE_EQ(s.purity, 1.0);
    EXPECT_DOUBLE_EQ(s.completeness, 1.0);
}

// One unit holding a ROI of each of two cells stands for the larger; the
// smaller one's pixels count against purity and completeness.
TEST_F(Scored, AUnitMixingCellsStandsForTheLargerOne)
{
    const std::string a0 = add(rect(7, 7, 6, 6, 2, 0));  // 36 pixels of cell 1
    const std::string b0 = add(rect(38, 8, 4, 4, 2, 0)); // 16 pixels of cell 2
    std::multimap<std::string, std::string> units{{a0, a0}, {a0, b0}}, links;
    const testsupport::curation_score s =
        testsupport::score(testsupport::assign(db, truth), units, links, truth);
    EXPECT_EQ(s.units, 1u);
    EXPECT_DOUBLE_EQ(s.purity, 36.0 / 52);
    EXPECT_DOUBLE_EQ(s.completeness, 1.0) << "each cell's pixels lie in one unit";
    EXPECT_EQ(s.true_links, 0u);
    EXPECT_DOUBLE_EQ(s.recall(), 1.0) << "nothing to find";
}
