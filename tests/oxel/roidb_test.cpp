// ROI keys, the keyed database and its file.
#include "OXEL_roidb"
#include "roi_file.h"

#include <gtest/gtest.h>

#include <algorithm> // std::count
#include <csignal>   // std::signal, SIGXFSZ
#include <cstdio>    // std::remove
#include <fstream>
#include <iterator> // std::istreambuf_iterator
#include <map>
#include <random>
#include <sstream>
#include <type_traits> // std::is_same
#include <utility>     // std::move
#include <sys/resource.h> // setrlimit
#include <sys/stat.h>     // chmod, stat
#include <unistd.h>       // getpid

namespace {

std::string temp_path(const std::string &name)
{
    return ::testing::TempDir() + "roidb_" + std::to_string(getpid()) + "_" + name;
}

std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Exposes the map for comparison, as a program built on the library would.
class inspectable_roidb : public roidb {
public:
    using roidb::roidb;
    const std::map<std::string, roi> &map() const { return db; }
    static constexpr bool map_is_standard =
        std::is_same<decltype(db), std::map<std::string, roi>>::value;
};

// What a program written against the plain map type does with it.
std::string outlines_in_order(const std::map<std::string, roi> &rois)
{
    std::string out;
    for (const auto &entry : rois)
        out += entry.second.outline() + ";";
    return out;
}

} // namespace

TEST(DatabaseKeys, FieldsArePaddedToThreeWithTheSignInside)
{
    roidb db("k");
    const struct {
        int value;
        const char *text;
    } cases[] = {{5, "005"},  {42, "042"},  {999, "999"},   {1000, "1000"},
                 {-5, "0-5"}, {-42, "-42"}, {-123, "-123"}, {0, "000"}};
    for (const auto &c : cases) {
        EXPECT_EQ(db.digit(3, c.value), c.text) << c.value;
        std::ostringstream ref;
        ref.width(3);
        ref.fill('0');
        ref << c.value;
        EXPECT_EQ(db.digit(3, c.value), ref.str()) << "same as a padded stream";
    }
    EXPECT_EQ(db.digit(5, 42), "00042");
    EXPECT_EQ(db.keygen(pos4i(0, 0, 0, 0)), "000000000000");
    EXPECT_EQ(db.keygen(pos4i(12, 345, 6, 7)), "007012345006");
}

TEST(DatabaseKeys, LargeFieldsCarryTheirDigitCountAndSortAfterThreeDigits)
{
    roidb db("k");
    EXPECT_EQ(db.keygen(pos4i(999, 999, 999, 999)), "999999999999") << "0 to 999 as ever";
    EXPECT_EQ(db.keygen(pos4i(1000, 5, 6, 7)), "007A1000005006");
    EXPECT_EQ(db.keygen(pos4i(12345, 5, 6, 1000)), "A1000B12345005006");
    EXPECT_EQ(db.keygen(pos4i(2147483647, 0, 0, 0)), "000G2147483647000000");
    // Without the digit count 1000 at x and 100 at x, 0 at y read the same:
    // 007 1000 000 ... and 007 100 000 0...
    EXPECT_NE(db.keygen(pos4i(1000, 0, 5, 7)), db.keygen(pos4i(100, 0, 5, 7)));

    // String order is the order of the values, whatever their size and sign.
    const int values[] = {-2147483647 - 1, -123456, -1000, -999, -42, -5, -1, 0, 5, 42, 999,
                          1000, 1001, 9999, 10000, 99999, 100000, 1234567, 2147483647};
    std::string before;
    for (int v : values) {
        std::string field;
        oxel_append_key_field(field, v);
        std::string::size_type at = 0;
        EXPECT_EQ(oxel_read_key_field(field + "tail", at), v) << field;
        EXPECT_EQ(at, field.size()) << "the field ends where it says: " << field;
        EXPECT_LT(before, field) << v;
        before = field;
    }
}

TEST(DatabaseKeys, DatabaseOrderHoldsForTimePointsOfAThousandAndMore)
{
    inspectable_roidb db("order");
    db.entry(roi(5, 5, 5, 1000, "23"));
    db.entry(roi(1500, 5, 5, 999, "23"));
    db.entry(roi(5, 5, 5, 999, "23"));
    db.entry(roi(5, 5, 5, 10000, "23"));
    std::vector<int> order;
    for (const auto &e : db.map())
        order.push_back(e.second.t() * 10000 + e.second.x());
    EXPECT_EQ(order, (std::vector<int>{9990005, 9991500, 10000005, 100000005}));
    std::string path = temp_path("large.roi");
    db.write(path);
    EXPECT_EQ(slurp(path), "order\n5 5 5 999 23\n1500 5 5 999 23\n5 5 5 1000 23\n"
                           "5 5 5 10000 23\n");
    inspectable_roidb back("");
    back.read(path);
    EXPECT_EQ(back.map().size(), 4u);
    roi r(1500, 5, 5, 999, "");
    EXPECT_TRUE(back.find(r));
    std::remove(path.c_str());
}

TEST(Database, FirstRoiAtAPositionStays)
{
    roidb db("d");
    db.entry(roi(1, 2, 3, 4, "first"));
    db.entry(roi(1, 2, 3, 4, "second"));
    roi r(1, 2, 3, 4, "");
    EXPECT_TRUE(db.find(r));
    EXPECT_EQ(r.outline(), "first");

    roi absent(9, 9, 9, 9, "keep");
    EXPECT_FALSE(db.find(absent));
    EXPECT_EQ(absent.outline(), "keep");
}

TEST(DatabaseFile, EmptyDatabaseIsOneLine)
{
    roidb db("embryo1");
    std::string path = temp_path("empty.roi");
    db.write(path);
    EXPECT_EQ(slurp(path), "embryo1\n");
}

TEST(DatabaseFile, LinesFollowKeyOrderTimeFirst)
{
    roidb db("order");
    db.entry(roi(40, 8, 5, 7, "330"));
    db.entry(roi(500, 500, 1, 3, "2301"));
    db.entry(roi(12, 34, 5, 7, "301"));
    std::string path = temp_path("order.roi");
    db.write(path);
    EXPECT_EQ(slurp(path), "order\n500 500 1 3 2301\n12 34 5 7 301\n40 8 5 7 330\n");
}

TEST(DatabaseFile, RandomDatabasesSurviveWriteAndRead)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 20; ++round) {
        inspectable_roidb db("set" + std::to_string(round));
        std::uniform_int_distribution<int> coord(0, 999), len(1, 40), dig(0, 3);
        int n = std::uniform_int_distribution<int>(0, 300)(rng);
        for (int i = 0; i < n; ++i) {
            std::string outline;
            for (int k = len(rng); k > 0; --k)
                outline.push_back(static_cast<char>('0' + dig(rng)));
            db.entry(roi(coord(rng), coord(rng), coord(rng) % 60, coord(rng) % 150, outline));
        }
        std::string path = temp_path("round.roi");
        db.write(path);
        inspectable_roidb back("");
        back.read(path);
        EXPECT_EQ(back.name(), db.name());
        EXPECT_TRUE(back.map() == db.map());

        // The text is exactly the stream form of each record.
        std::ostringstream expect;
        expect << db.name() << '\n';
        for (auto e : db.map())
            expect << e.second << '\n';
        EXPECT_EQ(slurp(path), expect.str());
    }
}

TEST(DatabaseFile, ReadingMergesAndKeepsHeldRois)
{
    std::string path = temp_path("merge.roi");
    std::ofstream(path) << "fromfile\n1 1 1 1 file\n2 2 2 2 file\n";
    inspectable_roidb db("mine");
    db.entry(roi(1, 1, 1, 1, "held"));
    db.read(path);
    EXPECT_EQ(db.name(), "fromfile");
    EXPECT_EQ(db.map().size(), 2u);
    roi r(1, 1, 1, 1, "");
    db.find(r);
    EXPECT_EQ(r.outline(), "held");
}

TEST(DatabaseFile, MalformedLineEndsReadingKeepingWhatCameBefore)
{
    std::string path = temp_path("bad.roi");
    std::ofstream(path) << "bad\n1 1 1 1 a\n2 2 2 2 b\n3 3 3 3 c\n4 4 x 4 d\n5 5 5 5 e\n";
    inspectable_roidb db("");
    db.read(path);
    EXPECT_EQ(db.map().size(), 3u);

    std::ofstream(path) << "trunc\n1 1 1 1 a\n2 2 2";
    inspectable_roidb db2("");
    db2.read(path);
    EXPECT_EQ(db2.map().size(), 1u);

    std::ofstream(path) << "huge\n1 1 1 1 a\n99999999999 2 2 2 b\n";
    inspectable_roidb db3("");
    db3.read(path);
    EXPECT_EQ(db3.map().size(), 1u) << "a number out of range ends reading";

    std::ofstream(path, std::ios::binary) << std::string("bin\n\0\xff\x01 7 7 7 7 q", 18);
    inspectable_roidb db4("");
    db4.read(path);
    EXPECT_EQ(db4.map().size(), 0u);
}

TEST(DatabaseFile, ReadOfAMissingFileSaysSoAndChangesNothing)
{
    inspectable_roidb db("keep");
    db.entry(roi(1, 1, 1, 1, "a"));
    ::testing::internal::CaptureStderr();
    db.read("/nonexistent/x.roi");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "roidb: Cannot open /nonexistent/x.roi\n");
    EXPECT_EQ(db.name(), "keep");
    EXPECT_EQ(db.map().size(), 1u);
}

TEST(DatabaseFile, FailedWriteLeavesTheOldFileAndSaysSo)
{
    std::string path = temp_path("full.roi");
    std::ofstream(path) << "old\n1 1 1 1 a\n";

    roidb big("big");
    for (int i = 0; i < 20000; ++i)
        big.entry(roi(i % 1000, i / 1000, 0, 0, "2222222222333333333300000000001111111111"));

    // A file size limit makes the write fail part-way, as a full disk would.
    struct rlimit old_limit;
    getrlimit(RLIMIT_FSIZE, &old_limit);
    struct rlimit small = old_limit;
    small.rlim_cur = 4096;
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    ::testing::internal::CaptureStderr();
    big.write(path);
    std::string err = ::testing::internal::GetCapturedStderr();
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(err, "Cannot open " + path + "\n");
    EXPECT_EQ(slurp(path), "old\n1 1 1 1 a\n");

    ::testing::internal::CaptureStderr();
    big.write("/nonexistent/dir/x.roi");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Cannot open /nonexistent/dir/x.roi\n");
}

TEST(DatabaseFile, WriteReplacesAnExistingFileKeepingItsMode)
{
    std::string path = temp_path("mode.roi");
    std::ofstream(path) << "old\n";
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    roidb db("new");
    db.write(path);
    EXPECT_EQ(slurp(path), "new\n");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(Database, CopiesAreIndependentValues)
{
    inspectable_roidb a("a");
    for (int i = 0; i < 1000; ++i)
        a.entry(roi(i, i, 0, 0, std::to_string(i)));
    inspectable_roidb b(a);
    inspectable_roidb c("c");
    c = b;
    a.entry(roi(5000, 1, 1, 1, "only_in_a"));
    EXPECT_EQ(a.map().size(), 1001u);
    EXPECT_EQ(b.map().size(), 1000u);
    EXPECT_EQ(c.map().size(), 1000u);
    EXPECT_EQ(c.name(), "a");
    {
        inspectable_roidb gone(c);
    }
    roi r(999, 999, 0, 0, "");
    EXPECT_TRUE(c.find(r));
    EXPECT_EQ(r.outline(), "999") << "a destroyed copy takes nothing of the others with it";
}

TEST(Database, MapIsTheStandardOrderedMapByKey)
{
    static_assert(inspectable_roidb::map_is_standard, "db is std::map<std::string, roi>");
    inspectable_roidb db("m");
    db.entry(roi(2, 0, 0, 1, "b"));
    db.entry(roi(1, 0, 0, 1, "a"));
    db.entry(roi(9, 9, 9, 0, "first"));
    const std::map<std::string, roi> &bound = db.map();
    EXPECT_EQ(&bound, &db.map()) << "binds without a copy";
    EXPECT_EQ(outlines_in_order(db.map()), "first;a;b;");
    EXPECT_EQ(bound.begin()->first, db.keygen(pos4i(9, 9, 9, 0)));
}

TEST(Database, MovedFromDatabaseStaysUsable)
{
    const std::string path = temp_path("moved.roi");
    inspectable_roidb a("a");
    for (int i = 0; i < 500; ++i)
        a.entry(roi(i, 0, 0, 0, std::to_string(i)));
    inspectable_roidb b(std::move(a));
    EXPECT_EQ(b.map().size(), 500u);
    // The moved-from database takes entries, finds, writes and reads again.
    a.setName("again");
    for (int i = 0; i < 100; ++i)
        a.entry(roi(i, 1, 0, 0, "x" + std::to_string(i)));
    roi r(7, 1, 0, 0, "");
    EXPECT_TRUE(a.find(r));
    EXPECT_EQ(r.outline(), "x7");
    a.write(path);
    inspectable_roidb c("c");
    c = std::move(a);
    a.read(path);
    EXPECT_EQ(a.name(), "again");
    EXPECT_EQ(a.map().size(), 100u);
    EXPECT_EQ(a.map(), c.map());
    std::remove(path.c_str());
}

TEST(Database, CopyOutlivesItsSourceAndGrowsOnItsOwn)
{
    auto *source = new inspectable_roidb("s");
    for (int i = 0; i < 2000; ++i)
        source->entry(roi(i, i % 7, 0, 0, std::to_string(i)));
    inspectable_roidb copy(*source);
    inspectable_roidb assigned("x");
    assigned = *source;
    // The copies keep every node after the source has grown and is gone.
    for (int i = 0; i < 2000; i += 2)
        source->entry(roi(i + 5000, 0, 0, 0, "s"));
    delete source;
    for (int i = 0; i < 2000; ++i) {
        copy.entry(roi(i, 100, 0, 0, "c"));
        assigned.entry(roi(i, 200, 0, 0, "a"));
    }
    EXPECT_EQ(copy.map().size(), 4000u);
    EXPECT_EQ(assigned.map().size(), 4000u);
    roi r(1999, 1999 % 7, 0, 0, "");
    EXPECT_TRUE(copy.find(r));
    EXPECT_EQ(r.outline(), "1999");
    EXPECT_EQ(copy.map().count(copy.keygen(pos4i(1999, 200, 0, 0))), 0u);
}

// The name is the file's first word: a name that is empty or holds white
// space would not read back, so nothing is written and the old file stays.
TEST(RoiDatabase, WriteRefusesANameThatWouldNotReadBack)
{
    const std::string path = ::testing::TempDir() + "/named.roi";
    std::ofstream(path) << "old\n";
    for (const char *bad : {"", "two words", "tab\there"}) {
        roidb db(bad);
        db.entry(roi(1, 2, 3, 4, "2301"));
        ::testing::internal::CaptureStderr();
        db.write(path);
        EXPECT_NE(::testing::internal::GetCapturedStderr().find("is not one word"),
                  std::string::npos);
        std::ifstream in(path);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        EXPECT_EQ(text, "old\n") << bad;
    }
}

TEST(DatabaseFile, RecordsPlacedBeyondAnyImageAreNotRead)
{
    // The smallest file that once overflowed the rasters: 23 bytes.
    std::string path = temp_path("huge.roi");
    std::ofstream(path) << "ds\n2147483647 0 0 0 33\n";
    ASSERT_EQ(slurp(path).size(), 23u);
    inspectable_roidb db("");
    ::testing::internal::CaptureStderr();
    db.read(path);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "roidb: " + path + ": 1 ROIs placed beyond 10000000 were not read\n");
    EXPECT_TRUE(db.map().empty());

    // Only the records beyond the limit are left out; the limit itself is read.
    std::ofstream(path) << "ds\n1 1 1 1 a\n0 -10000001 0 0 b\n10000000 -10000000 3 4 c\n"
                           "5 5 5 20000000 d\n6 6 6 6 e\n";
    inspectable_roidb db2("");
    ::testing::internal::CaptureStderr();
    db2.read(path);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find(": 2 ROIs placed beyond"),
              std::string::npos);
    EXPECT_EQ(db2.map().size(), 3u);
    roi edge(10000000, -10000000, 3, 4, "");
    EXPECT_TRUE(db2.find(edge));
}

// A database file always reads back to exactly what was written: a ROI
// that could not is refused where it enters, with a line saying why.
TEST(Database, RoisThatWouldNotReadBackAreRefused)
{
    const struct {
        roi r;
        const char *problem;
    } cases[] = {
        {roi(1, 2, 3, 4, ""), "its outline is empty"},
        {roi(1, 2, 3, 5, "23 01"), "its outline holds white space"},
        {roi(1, 2, 3, 6, "2301\n"), "its outline holds white space"},
        {roi(10000001, 2, 3, 4, "2301"), "its position lies beyond 10000000"},
        {roi(1, 2, 3, -10000001, "2301"), "its position lies beyond 10000000"},
    };
    inspectable_roidb db("refuse");
    db.entry(roi(7, 7, 7, 7, "2301"));
    for (const auto &c : cases) {
        ::testing::internal::CaptureStderr();
        db.entry(c.r);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("refused: " + std::string(c.problem)), std::string::npos) << err;
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
    EXPECT_EQ(db.map().size(), 1u);

    std::string path = temp_path("refused.roi");
    db.write(path);
    inspectable_roidb back("");
    back.read(path);
    EXPECT_TRUE(back.map() == db.map());
    EXPECT_EQ(slurp(path), "refuse\n7 7 7 7 2301\n");
}
