// Selection and false-positive files.
#include "key_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <unistd.h>

namespace {

std::string temp_path(const std::string &name)
{
    return ::testing::TempDir() + "keys_" + std::to_string(getpid()) + "_" + name;
}

std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

using keys = std::set<std::string>;

} // namespace

TEST(KeyFiles, WrittenInKeyOrderAfterTheName)
{
    std::string path = temp_path("sel.info");
    std::ostringstream err;
    ASSERT_TRUE(key_files::write(path, "e1", "SELECT", {"002000001001", "001005010010"}, err));
    EXPECT_EQ(slurp(path), "NAME e1\nSELECT 001005010010\nSELECT 002000001001\n");
    ASSERT_TRUE(key_files::write(path, "e1", "FP", {}, err));
    EXPECT_EQ(slurp(path), "NAME e1\n");
    EXPECT_EQ(err.str(), "");
}

TEST(KeyFiles, ReadingAddsTheTagsOwnLinesOnly)
{
    std::string path = temp_path("mixed");
    std::ofstream(path) << "NAME e1\nSELECT a\nFP b\nSELECT a\nOTHER x\nSELECT c\n";
    keys selected{"kept"}, marked;
    std::ostringstream err;
    EXPECT_EQ(key_files::read(path, "e1", "SELECT", selected, err), key_files::read_result::read);
    EXPECT_EQ(selected, (keys{"kept", "a", "c"}));
    key_files::read(path, "e1", "FP", marked, err);
    EXPECT_EQ(marked, keys{"b"});
    EXPECT_EQ(err.str(), "");
}

TEST(KeyFiles, AnotherDatasetStopsReadingWhereItsNameStands)
{
    std::string first = temp_path("other1");
    std::ofstream(first) << "NAME e2\nSELECT a\n";
    keys got;
    std::ostringstream err;
    key_files::read(first, "e1", "SELECT", got, err);
    EXPECT_TRUE(got.empty());
    EXPECT_EQ(err.str(), "different dataset\n");

    std::string later = temp_path("other2");
    std::ofstream(later) << "SELECT a\nNAME e2\nSELECT b\n";
    key_files::read(later, "e1", "SELECT", got, err);
    EXPECT_EQ(got, keys{"a"}) << "lines before the name stay";
}

TEST(KeyFiles, OddContentNeverBreaksReading)
{
    std::string path = temp_path("odd");
    std::ostringstream err;
    keys got;
    std::ofstream(path) << "NAME e1\nSELECT 123\nSELECT";
    key_files::read(path, "e1", "SELECT", got, err);
    EXPECT_EQ(got, keys{"123"}) << "a key of the wrong length is kept; a tag without value ends";

    std::ofstream(path, std::ios::binary) << std::string("\0\xff\x01NAME\0SELECT x\x80", 17);
    keys junk;
    key_files::read(path, "e1", "SELECT", junk, err);
    EXPECT_LE(junk.size(), 1u);

    std::ofstream big(path);
    big << "NAME e1\n";
    for (int i = 0; i < 200000; ++i)
        big << "SELECT " << 100000000000 + i << "\n";
    big.close();
    keys many;
    key_files::read(path, "e1", "SELECT", many, err);
    EXPECT_EQ(many.size(), 200000u);
}

TEST(KeyFiles, MissingAndUnreadableFilesAreReported)
{
    keys got;
    std::ostringstream err;
    EXPECT_EQ(key_files::read("/nonexistent/x.info", "e1", "SELECT", got, err),
              key_files::read_result::missing);
    EXPECT_EQ(err.str(), "No such file or directory: /nonexistent/x.info\n");
    std::ostringstream err2;
    EXPECT_EQ(key_files::read(::testing::TempDir(), "e1", "SELECT", got, err2),
              key_files::read_result::unreadable);
    EXPECT_EQ(err2.str(), "Cannot open " + ::testing::TempDir() + "\n");
}

TEST(KeyFiles, AFailedSaveKeepsTheOldFile)
{
    std::string path = temp_path("full.fp");
    std::ofstream(path) << "NAME e1\nFP old\n";
    keys many;
    for (int i = 0; i < 5000; ++i)
        many.insert(std::to_string(100000000000 + i));
    struct rlimit old_limit, small;
    getrlimit(RLIMIT_FSIZE, &old_limit);
    small = old_limit;
    small.rlim_cur = 4096;
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    std::ostringstream err;
    bool ok = key_files::write(path, "e1", "FP", many, err);
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(err.str(), "Cannot open " + path + "\n");
    EXPECT_EQ(slurp(path), "NAME e1\nFP old\n");
}
