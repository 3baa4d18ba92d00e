// oxelunits as a batch job runs it: the lineage file of the core pass for
// each set of rules, and a message with a non-zero status for a wrong command
// line or a file it cannot read or write; oxelgen's packed-cells mode.
#include "lineage_file.h"
#include "process.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"
#include "true_lineage.h"
#include "unit_maker.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

using testsupport::run_program;

namespace
{

std::string slurp(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string rect_line(int x, int y, int w, int h, int z, int t)
{
    return std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + " " +
           std::to_string(t) + " " + std::string(h, '2') + std::string(w, '3') +
           std::string(h, '0') + std::string(w, '1') + "\n";
}

// Stacks of rectangles that drift, jitter from plane to plane and crowd one
// another, so that links and caps of every kind occur.
std::string crowded_roi_file(unsigned seed)
{
    std::mt19937 rng(seed);
    auto pick = [&](int lo, int hi) {
        return lo + static_cast<int>(rng() % unsigned(hi - lo + 1));
    };
    struct stack {
        int x, y, z0, depth;
    };
    std::vector<stack> stacks;
    for (int i = 0; i < 40; ++i)
        stacks.push_back({pick(4, 60), pick(4, 60), pick(1, 8), pick(1, 5)});
    std::string text = "crowd\n";
    for (int t = 0; t < 4; ++t)
        for (stack &s : stacks) {
            for (int z = s.z0; z < s.z0 + s.depth; ++z)
                text +=
                    rect_line(s.x + pick(-2, 2), s.y + pick(-2, 2), pick(3, 12), pick(3, 12), z, t);
            s.x = std::clamp(s.x + pick(-4, 4), 4, 70);
            s.y = std::clamp(s.y + pick(-4, 4), 4, 70);
        }
    return text;
}

class UnitsTool : public ::testing::Test
{
protected:
    QTemporaryDir dir;

    std::string path(const std::string &name) const
    {
        return dir.path().toStdString() + "/" + name;
    }
    void write(const std::string &name, const std::string &text)
    {
        std::ofstream(path(name), std::ios::binary) << text;
    }
};

} // namespace

// The file holds the core pass's units and links with the same rules: read
// back, entry for entry.
TEST_F(UnitsTool, WritesTheCorePassesUnitsAndLinksForEachSetOfRules)
{
    write("crowd.roi", crowded_roi_file(5));
    const std::vector<std::pair<std::vector<std::string>, unit_options>> cases = [] {
        unit_options ratio, caps, stacked, best;
        ratio.link_ratio = 0.15;
        caps.attach_caps = true;
        caps.cap_cover = 0.3;
        stacked.stack_caps = true;
        stacked.stack_cover = 0.4;
        best.best_parent = true;
        return std::vector<std::pair<std::vector<std::string>, unit_options>>{
            {{}, unit_options()},          {{"--link-ratio", "0.15"}, ratio},
            {{"--attach-caps=0.3"}, caps}, {{"--stack-caps", "0.4"}, stacked},
            {{"--best-parent"}, best},     {{"--recommended"}, unit_options::recommended()}};
    }();
    std::set<std::string> files;
    for (const auto &[flags, options] : cases) {
        std::vector<std::string> args{path("crowd.roi"), path("out.lineage")};
        args.insert(args.end(), flags.begin(), flags.end());
        const auto r = run_program(OXELUNITS, args);
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out.rfind("oxelunits: ", 0), 0u) << "one summary line: " << r.out;
        EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1) << r.out;

        roidb_plus db("");
        ASSERT_TRUE(db.load(path("crowd.roi")));
        lineage::key_multimap head_members, linkage;
        lineage::key_map members_head;
        lineage::key_set elite;
        lineage::tables u{head_members, members_head, linkage, elite};
        q_roiimgdb rasters;
        const lineage::key_set removed;
        unit_maker maker(db, rasters, removed, 0, db.z_max(), options);
        for (int t = 0; t <= 3; ++t)
            maker.make_units(t, u, nullptr);
        for (int t = 1; t <= 3; ++t)
            maker.link_time_point(t, u);

        lineage_file::contents back;
        std::ostringstream err;
        ASSERT_EQ(
            lineage_file::read(
                path("out.lineage"), "crowd", [](const std::string &) { return true; }, back, err),
            lineage_file::read_result::read)
            << err.str();
        // Entries of one head compare in key order: the file lists members so.
        using entries = std::set<std::pair<std::string, std::string>>;
        EXPECT_EQ(entries(back.head_members.begin(), back.head_members.end()),
                  entries(head_members.begin(), head_members.end()))
            << options.describe();
        EXPECT_EQ(back.head_members.size(), head_members.size());
        EXPECT_EQ(back.members_head, members_head);
        EXPECT_EQ(back.linkage, linkage) << options.describe();
        EXPECT_GT(linkage.size(), 20u);
        files.insert(slurp(path("out.lineage")));
    }
    EXPECT_EQ(files.size(), cases.size()) << "each rule changes this dataset's lineage";
}

TEST_F(UnitsTool, AWrongCommandLineGetsTheUsageAndStatusTwoAndWritesNothing)
{
    write("crowd.roi", crowded_roi_file(1));
    const std::string in = path("crowd.roi"), out = path("out.lineage");
    const std::vector<std::pair<std::vector<std::string>, std::string>> bad = {
        {{}, ""},
        {{in}, ""},
        {{in, out, "extra"}, ""},
        {{in, out, "--link-ratio"}, "--link-ratio needs a value"},
        {{in, out, "--link-ratio", "1.5"}, "--link-ratio must lie from 0 to 1: 1.5"},
        {{in, out, "--attach-caps", "half"}, "--attach-caps: not a number: half"},
        {{in, out, "--best-parent=1"}, "--best-parent takes no value"},
        {{in, out, "--link"}, "unknown option --link"},
    };
    for (const auto &[args, why] : bad) {
        const auto r = run_program(OXELUNITS, args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find("usage: oxelunits ROI_FILE OUT.lineage [--link-ratio R]"),
                  std::string::npos)
            << r.err;
        if (!why.empty()) {
            EXPECT_EQ(r.err.rfind("oxelunits: " + why + "\n", 0), 0u) << r.err;
        }
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(QFile::exists(QString::fromStdString(out)));
    }
}

// A ROI file it cannot read or that holds no ROI, or a folder it cannot
// write to: status 1, a line that names the file, and an earlier lineage
// file as it was.
TEST_F(UnitsTool, FilesItCannotReadOrWriteLeaveTheOldLineageFile)
{
    write("old.lineage", "NAME crowd\nUNIT 001002003004\n");
    auto r = run_program(OXELUNITS, {path("missing.roi"), path("old.lineage")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("cannot read the ROI file " + path("missing.roi")), std::string::npos)
        << r.err;
    EXPECT_EQ(slurp(path("old.lineage")), "NAME crowd\nUNIT 001002003004\n");

    write("bad.roi", "crowd\n1 2 3\n");
    r = run_program(OXELUNITS, {path("bad.roi"), path("old.lineage")});
    EXPECT_EQ(r.status, 1) << r.out;
    EXPECT_NE(r.err.find("no ROIs in " + path("bad.roi") + "; nothing written"), std::string::npos)
        << r.err;
    EXPECT_EQ(slurp(path("old.lineage")), "NAME crowd\nUNIT 001002003004\n");

    write("crowd.roi", crowded_roi_file(2));
    r = run_program(OXELUNITS, {path("crowd.roi"), path("no/such/folder/out.lineage")});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Cannot open"), std::string::npos) << r.err;
}

// The packed-cells mode: every plane's image, the true lineage the scoring
// reads, cells that touch (spheres that overlap) and at
// least one division; the rims option and the separated-nuclei mode still
// run; sizes it cannot draw are refused.
TEST_F(UnitsTool, OxelgenDrawsPackedCellsThatTouchAndDivide)
{
    for (bool rims : {false, true}) {
        const std::string out = path(rims ? "rims" : "filled");
        std::vector<std::string> args{"cells", out, "12", "16", "96", "3"};
        if (rims)
            args.push_back("--rims");
        const auto r = run_program(OXELGEN, args);
        ASSERT_EQ(r.status, 0) << r.err;
        for (const char *image : {"/000-000.jpg", "/011-015.jpg"})
            EXPECT_TRUE(QFile::exists(QString::fromStdString(out + image))) << image;
        std::vector<true_lineage::nucleus> cells;
        std::ostringstream err;
        ASSERT_TRUE(true_lineage::read(out + "/lineage.txt", cells, err)) << err.str();
        EXPECT_EQ(err.str(), "");
        bool touch = false, divides = false;
        for (const auto &a : cells) {
            divides = divides || a.parent != 0;
            for (const auto &b : cells)
                // Planes are two pixels deep.
                if (a.t == 0 && b.t == 0 && a.id < b.id &&
                    std::hypot(a.x - b.x, a.y - b.y, 2 * (a.z - b.z)) < a.radius + b.radius)
                    touch = true;
        }
        EXPECT_TRUE(touch);
        EXPECT_TRUE(divides);
    }
    EXPECT_EQ(run_program(OXELGEN, {"dataset", path("nuclei"), "2", "6", "96", "1"}).status, 0);
    EXPECT_TRUE(QFile::exists(QString::fromStdString(path("nuclei/lineage.txt"))));
    EXPECT_NE(run_program(OXELGEN, {"cells", path("x"), "3", "4"}).status, 0) << "too few planes";
    EXPECT_NE(run_program(OXELGEN, {"cells", path("x"), "3", "16", "20"}).status, 0);
}
