// The per-plane outline file reader.
#include "OXEL_roiio"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <unistd.h> // getpid

namespace {

std::string write_file(const std::string &name, const std::string &text)
{
    std::string path = ::testing::TempDir() + "roiio_" + std::to_string(getpid()) + "_" + name;
    std::ofstream(path) << text;
    return path;
}

const char *header = "H1 H2 H3\n";
const char *record = "comp 1 2 3 4 0.5 6 7 COutline: 10 20 0123\n";

} // namespace

TEST(OutlineFile, ReadsTimeAndPlaneFromTheName)
{
    iroifstream in;
    in.open(write_file("base012-005.txt", std::string(header) + record));
    ASSERT_TRUE(in.good());
    in.seek_roi();
    roi r;
    in >> r;
    EXPECT_TRUE(r == roi(10, 20, 5, 12, "0123"));
    roi after = r;
    in >> r;
    EXPECT_TRUE(in.fail());
    EXPECT_TRUE(r == after);
}

TEST(OutlineFile, HeaderOnlyYieldsNothing)
{
    iroifstream in;
    in.open(write_file("hdr000-000.txt", header));
    in.seek_roi();
    roi r(1, 1, 1, 1, "x");
    in >> r;
    EXPECT_TRUE(in.fail());
    EXPECT_TRUE(r == roi(1, 1, 1, 1, "x"));
}

TEST(OutlineFile, WrongMarkerSkipsTheRecordAndReadingGoesOn)
{
    iroifstream in;
    in.open(write_file("mark001-002.txt", std::string(header) +
                                              "comp 1 2 3 4 0.5 6 7 COutline 10 20 0123\n" + record));
    in.seek_roi();
    roi r;
    in >> r;
    EXPECT_TRUE(r == roi()) << "record without the exact marker leaves the target";
    EXPECT_TRUE(in.good());
    in >> r;
    EXPECT_TRUE(r == roi(10, 20, 2, 1, "0123"));
}

TEST(OutlineFile, TruncatedRecordEndsReading)
{
    iroifstream in;
    in.open(write_file("trunc003-004.txt", std::string(header) + record + "comp 1 2 3 4 0.5 6 7 COutline: 10"));
    in.seek_roi();
    roi r;
    in >> r;
    roi first = r;
    in >> r;
    EXPECT_TRUE(in.fail());
    EXPECT_TRUE(r == first);
}

TEST(OutlineFile, LetterInTheTimeFieldStopsItsNumber)
{
    iroifstream in;
    in.open(write_file("let0a2-007.txt", std::string(header) + record));
    in.seek_roi();
    roi r;
    in >> r;
    EXPECT_EQ(r.t(), 0);
    EXPECT_EQ(r.z(), 7);
}

TEST(OutlineFile, ShortOrMissingNamesFailWithoutReading)
{
    iroifstream shortname;
    shortname.open("a-001.txt");
    EXPECT_TRUE(shortname.fail());
    roi r(5, 5, 5, 5, "5");
    shortname >> r;
    EXPECT_TRUE(r == roi(5, 5, 5, 5, "5"));

    iroifstream missing;
    missing.open("/nonexistent/dir/file012-005.txt");
    EXPECT_TRUE(missing.fail());
}
