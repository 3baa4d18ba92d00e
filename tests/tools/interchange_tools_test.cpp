// oxelctc and oxelcompare run as a user would: arguments, files, messages,
// exit status.
#include "curation_fixture.h"
#include "process.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using testsupport::run_program;

namespace
{

std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The value of a table row without a measure name ("DET", "TRA").
double measure(const std::string &table, const std::string &name)
{
    std::istringstream lines(table);
    std::string line, first, value;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        if (words >> first >> value && first == name)
            return std::stod(value);
    }
    return -1;
}

class InterchangeTools : public ::testing::Test
{
protected:
    QTemporaryDir dir;

    std::string path(const std::string &name) const
    {
        return dir.path().toStdString() + "/" + name;
    }

    // A generated curation written as NAME.roi and NAME.lineage.
    void write_curation(const std::string &name, fixture::curation &c)
    {
        c.db.setName("cur");
        c.db.write(path(name + ".roi"));
        std::ostringstream err;
        ASSERT_TRUE(lineage_file::write(path(name + ".lineage"), "cur", c.lin, err)) << err.str();
    }
};

} // namespace

TEST_F(InterchangeTools, ExportValidateImportAndCompareAgree)
{
    fixture::curation c = fixture::generated(6, 7);
    write_curation("gen", c);

    auto exported =
        run_program(OXELCTC, {"export", path("gen.roi"), path("gen.lineage"), path("res")});
    ASSERT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(exported.err, "");
    EXPECT_EQ(exported.out.rfind("Exported ", 0), 0u) << exported.out;
    EXPECT_TRUE(QFile::exists(QString::fromStdString(path("res/mask006.tif"))));

    auto valid = run_program(OXELCTC, {"validate", path("res")});
    EXPECT_EQ(valid.status, 0);
    EXPECT_EQ(valid.out, path("res") + ": valid\n");

    auto imported = run_program(
        OXELCTC, {"import", path("res"), "cur", path("back.roi"), path("back.lineage")});
    ASSERT_EQ(imported.status, 0) << imported.err;
    EXPECT_EQ(imported.err, "");
    EXPECT_EQ(slurp(path("back.roi")), slurp(path("gen.roi")));
    EXPECT_EQ(slurp(path("back.lineage")), slurp(path("gen.lineage")));

    // The same curation from its files and from the folder: a perfect score.
    auto same = run_program(OXELCOMPARE, {path("gen.roi"), path("res")});
    ASSERT_EQ(same.status, 0) << same.err;
    EXPECT_NE(same.out.find("\nDET                          1.0000  NS 0, FN 0, FP 0\n"),
              std::string::npos)
        << same.out;
    EXPECT_NE(same.out.find("\nTRA                          1.0000  ED 0, EA 0, EC 0\n"),
              std::string::npos);
}

TEST_F(InterchangeTools, ExportLeavesOutFalsePositivesAndTakesAGivenSize)
{
    fixture::curation c;
    c.unit(0, 5, 5, 0, 1);
    c.db.entry_plus(fixture::rect(20, 5, 3, 3, 0, 0));
    write_curation("small", c);
    std::ofstream(path("small.fp")) << "NAME cur\nFP " << fixture::key(0, 0, 20, 5) << "\n";
    auto r = run_program(OXELCTC,
                         {"export", "--size", "64x32", "--fp", path("small.fp"), "--compression",
                          "packbits", path("small.roi"), path("small.lineage"), path("res")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Exported 1 objects (1 units, 0 ROIs of no unit) in 1 tracks: time points 0 "
                     "to 0, 64 x 32 pixels, 1 planes, to " +
                         path("res") + "; 1 false positives left out\n");
    EXPECT_EQ(slurp(path("res/res_track.txt")), "1 0 0 0\n");
}

TEST_F(InterchangeTools, AnotherDatasetsLineageIsRefused)
{
    fixture::curation c;
    c.unit(0, 5, 5, 0, 1);
    write_curation("a", c);
    std::ofstream(path("other.lineage")) << "NAME elsewhere\n";
    auto r = run_program(OXELCTC, {"export", path("a.roi"), path("other.lineage"), path("res")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "different dataset\n");
    EXPECT_FALSE(QFile::exists(QString::fromStdString(path("res"))));

    r = run_program(OXELCTC, {"export", path("absent.roi"), path("a.lineage"), path("res")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot open " + path("absent.roi") + "\n");
}

TEST_F(InterchangeTools, ValidateListsTheFaultsOfABrokenFolder)
{
    fixture::curation c;
    c.unit(0, 5, 5, 0, 1);
    write_curation("a", c);
    ASSERT_EQ(
        run_program(OXELCTC, {"export", path("a.roi"), path("a.lineage"), path("res")}).status, 0);
    std::ofstream(path("res/res_track.txt")) << "1 0 1 0\n";
    auto r = run_program(OXELCTC, {"validate", path("res")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "label 1 (0 to 1) is missing from time point 1\n" + path("res") + ": 1 fault\n");

    r = run_program(OXELCTC, {"validate", path("nothing")});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Cannot open " + path("nothing") + "\n");
}

TEST_F(InterchangeTools, WrongArgumentsShowTheUsage)
{
    for (const std::vector<std::string> &args : {std::vector<std::string>{},
                                                 {"export", "a.roi"},
                                                 {"import", "dir"},
                                                 {"frobnicate"},
                                                 {"export", "--size", "12", "a", "b", "c"},
                                                 {"export", "--colour", "a", "b", "c"}}) {
        auto r = run_program(OXELCTC, args);
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.err.find("usage: oxelctc export") != std::string::npos ||
                    r.err.find("--size wants WIDTHxHEIGHT") != std::string::npos)
            << r.err;
    }
    auto r = run_program(OXELCOMPARE, {"one"});
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err.rfind("usage: oxelcompare REFERENCE CANDIDATE", 0), 0u);
}

TEST_F(InterchangeTools, CompareTakesExplicitLineageFilesAndWorksWithoutOne)
{
    fixture::curation reference;
    const std::string p = reference.unit(0, 5, 5, 0, 1), a = reference.unit(1, 5, 5, 0, 1);
    reference.link(a, p);
    write_curation("ref", reference);
    QFile::rename(QString::fromStdString(path("ref.lineage")),
                  QString::fromStdString(path("elsewhere.lineage")));

    auto r = run_program(OXELCOMPARE,
                         {path("ref.roi") + ":" + path("elsewhere.lineage"), path("ref.roi")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "oxelcompare: no lineage file " + path("ref.lineage") + "; every ROI of " +
                         path("ref.roi") + " is a unit of its own\n");
    // Two objects matched, the reference link missing from the candidate.
    EXPECT_NE(r.out.find("\nDET                          1.0000  NS 0, FN 0, FP 0\n"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\nTRA                          0.9302  ED 0, EA 1, EC 0\n"),
              std::string::npos)
        << r.out;
}

TEST_F(InterchangeTools, TheTrueLineageOfAGeneratedDatasetScoresTheAutomaticUnits)
{
    // A small generated series, its ROIs from the detector, the automatic
    // units scored against the generator's own lineage.
    ASSERT_EQ(run_program(OXELGEN, {"dataset", path("img/gen"), "8", "12", "160", "3"}).status, 0);
    ASSERT_EQ(run_program(OXELROI, {path("img/gen"), path("gen.roi"), "gen"}).status, 0);
    auto r = run_program(OXELTRUTH,
                         {"--save-lineage", path("gen.lineage"), path("img/gen"), path("gen.roi")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    // Every nucleus of this set is detected on its own plane; the automatic
    // pass leaves single planes of a nucleus as units of their own, so DET
    // and TRA stay below 1.
    EXPECT_NE(r.out.find("\n           missed                 0\n"), std::string::npos) << r.out;
    const double det = measure(r.out, "DET"), tra = measure(r.out, "TRA");
    EXPECT_GT(det, 0.5) << r.out;
    EXPECT_LT(det, 1.0) << r.out;
    EXPECT_GT(tra, 0.4) << r.out;
    EXPECT_LT(tra, det) << "links cost beyond the objects";

    // The saved automatic lineage scores the same when given back.
    auto again = run_program(OXELTRUTH, {path("img/gen"), path("gen.roi"), path("gen.lineage")});
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(again.out, r.out);
}
