// The lineage file: its text, round trips, and every kind of line a read leaves out.
#include "lineage_file.h"

#include "keygen.h"

#include <gtest/gtest.h>

#include <csignal> // SIGXFSZ
#include <filesystem> // directory_iterator, remove_all
#include <fstream>
#include <random>
#include <sstream>
#include <sys/resource.h> // setrlimit
#include <sys/stat.h>     // mkdir
#include <unistd.h>       // getpid

namespace
{

std::string temp_path(const std::string &name)
{
    return ::testing::TempDir() + "lineage_" + std::to_string(getpid()) + "_" + name;
}

std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string key(int t, int z, int x, int y)
{
    return keygen(pos4i(x, y, z, t));
}

// Every well-formed key names a ROI, except those listed.
lineage_file::key_test all_but(std::set<std::string> absent = {})
{
    return [absent](const std::string &k) { return absent.count(k) == 0; };
}

void add_unit(lineage_file::contents &c, const std::string &head, std::vector<std::string> members)
{
    for (const std::string &m : members) {
        c.head_members.emplace(head, m);
        c.members_head[m] = head;
    }
}

bool same(const lineage_file::contents &a, const lineage_file::contents &b)
{
    return a.head_members == b.head_members && a.members_head == b.members_head &&
           a.linkage == b.linkage && a.elite == b.elite && a.dismissed == b.dismissed;
}

} // namespace

TEST(LineageFile, WritesUnitsLinksAndMarksInKeyOrder)
{
    lineage_file::contents c;
    // Members entered out of key order, one of them twice.
    c.head_members.emplace("001002003004", "001004003004");
    c.head_members.emplace("001002003004", "001002003004");
    c.head_members.emplace("001002003004", "001003003004");
    c.head_members.emplace("001002003004", "001003003004");
    c.head_members.emplace("000005005005", "000005005005");
    c.linkage.emplace("001002003004", "000005005005");
    c.linkage.emplace("001002003004", "000005005005");
    c.elite.insert("000005005005");
    c.dismissed.insert("001002003004");
    const std::string path = temp_path("order.lineage");
    std::ostringstream err;
    ASSERT_TRUE(lineage_file::write(path, "e1", c, err));
    EXPECT_EQ(slurp(path), "NAME e1\n"
                           "UNIT 000005005005 000005005005\n"
                           "UNIT 001002003004 001002003004 001003003004 001004003004\n"
                           "LINK 001002003004 000005005005\n"
                           "LINK 001002003004 000005005005\n"
                           "ELITE 000005005005\n"
                           "DISMISS 001002003004\n");
    EXPECT_EQ(err.str(), "");

    ASSERT_TRUE(lineage_file::write(path, "e1", lineage_file::contents{}, err));
    EXPECT_EQ(slurp(path), "NAME e1\n");
}

TEST(LineageFile, ReadThenSaveGivesTheSameFileAndTables)
{
    // A generated lineage: units of one to four planes, links to one or two
    // parents, some links twice (as linking a time point twice leaves them),
    // elite and dismissed units.
    std::mt19937 rng(7);
    lineage_file::contents c;
    std::vector<std::vector<std::string>> heads(6);
    for (int t = 0; t < 6; ++t)
        for (int u = 0; u < 40; ++u) {
            const int x = static_cast<int>(rng() % 900), y = static_cast<int>(rng() % 900);
            const int planes = 1 + static_cast<int>(rng() % 4);
            std::vector<std::string> members;
            for (int z = 0; z < planes; ++z)
                members.push_back(key(t, 10 + z, x, y));
            add_unit(c, members[0], members);
            heads[t].push_back(members[0]);
            if (t > 0) {
                const std::string &parent = heads[t - 1][rng() % heads[t - 1].size()];
                c.linkage.emplace(members[0], parent);
                if (rng() % 5 == 0)
                    c.linkage.emplace(members[0], heads[t - 1][rng() % heads[t - 1].size()]);
                if (rng() % 7 == 0)
                    c.linkage.emplace(members[0], parent);
            }
            if (rng() % 6 == 0)
                c.elite.insert(members[0]);
            if (rng() % 9 == 0)
                c.dismissed.insert(members[0]);
        }
    const std::string first = temp_path("gen1.lineage"), second = temp_path("gen2.lineage");
    std::ostringstream err;
    ASSERT_TRUE(lineage_file::write(first, "gen", c, err));

    lineage_file::contents back;
    ASSERT_EQ(lineage_file::read(first, "gen", all_but(), back, err),
              lineage_file::read_result::read);
    EXPECT_TRUE(same(back, c));
    ASSERT_TRUE(lineage_file::write(second, "gen", back, err));
    EXPECT_EQ(slurp(second), slurp(first));
    EXPECT_EQ(err.str(), "") << "nothing was left out";
}

TEST(LineageFile, AnotherDatasetsFileIsRefusedAndChangesNothing)
{
    const std::string path = temp_path("other.lineage");
    std::ofstream(path) << "NAME e2\nUNIT 000000000001 000000000001\n";
    lineage_file::contents held;
    add_unit(held, "005005005005", {"005005005005"});
    const lineage_file::contents before = held;
    std::ostringstream err;
    EXPECT_EQ(lineage_file::read(path, "e1", all_but(), held, err),
              lineage_file::read_result::other_dataset);
    EXPECT_EQ(err.str(), "different dataset\n");
    EXPECT_TRUE(same(held, before));
}

TEST(LineageFile, FilesThatCannotBeReadAreReportedAndChangeNothing)
{
    lineage_file::contents held;
    add_unit(held, "005005005005", {"005005005005"});
    const lineage_file::contents before = held;

    std::ostringstream err;
    const std::string missing = temp_path("absent.lineage");
    EXPECT_EQ(lineage_file::read(missing, "e1", all_but(), held, err),
              lineage_file::read_result::missing);
    EXPECT_EQ(err.str(), "No such file or directory: " + missing + "\n");

    const std::string folder = temp_path("folder.lineage");
    ::mkdir(folder.c_str(), 0755);
    err.str("");
    EXPECT_EQ(lineage_file::read(folder, "e1", all_but(), held, err),
              lineage_file::read_result::unreadable);
    EXPECT_EQ(err.str(), "Cannot open " + folder + "\n");

    // Something else: no NAME line first (an empty file, a ROI file).
    for (const char *text :
         {"", "\n\n", "e1\n5 5 3 2 2301\n", "UNIT 000000000001 000000000001\n"}) {
        const std::string other = temp_path("not.lineage");
        std::ofstream(other) << text;
        err.str("");
        EXPECT_EQ(lineage_file::read(other, "e1", all_but(), held, err),
                  lineage_file::read_result::not_lineage)
            << text;
        EXPECT_EQ(err.str(), "Not a lineage file: " + other + "\n");
    }
    EXPECT_TRUE(same(held, before));
}

TEST(LineageFile, BadLinesAreLeftOutAndCountedWithTheirFirstLineNumbers)
{
    const std::string a = key(1, 2, 10, 10), b = key(1, 3, 10, 10), c = key(1, 4, 10, 10);
    const std::string p = key(0, 2, 10, 10), q = key(0, 2, 50, 50);
    const std::string gone = key(1, 9, 99, 99), gone0 = key(0, 9, 99, 99);
    const std::string grand = key(2, 2, 10, 10);
    const std::string path = temp_path("bad.lineage");
    std::ofstream(path) << "NAME e1\n"                                  // 1
                        << "UNIT " << p << " " << p << "\n"             // 2 kept
                        << "UNIT " << a << " " << a << " " << b << "\n" // 3 kept
                        << "UNIT " << q << "\n"                         // 4 malformed: no member
                        << "UNIT " << c << " " << b << " " << c << "\n" // 5 b already in a unit
                        << "UNIT " << q << " " << q << " " << gone0 << "\n" // 6 unknown
                        << "UNIT " << q << " " << key(0, 3, 50, 50) << "\n" // 7 head not a member
                        << "UNIT " << q << " " << q << " " << a << "\n"     // 8 member at t 1
                        << "UNIT " << q << " " << q << " " << q << "\n"     // 9 member twice
                        << "LINK " << a << " " << p << "\n"                 // 10 kept
                        << "LINK " << p << " " << a << "\n"                 // 11 parent after child
                        << "LINK " << grand << " " << p << "\n"             // 12 two time points
                        << "LINK " << a << " " << gone << "\n"              // 13 unknown
                        << "LINK " << a << "\n"                             // 14 malformed
                        << "LINK " << a << " 12345\n"                       // 15 not a key
                        << "\n"                                             // 16 blank: ignored
                        << "ELITE " << a << "\n"                            // 17 kept
                        << "ELITE " << gone << "\n"                         // 18 unknown
                        << "ELITE " << a << " " << p << "\n"                // 19 malformed
                        << "DISMISS " << p << "\n"                          // 20 kept
                        << "DISMISS\n"                                      // 21 malformed
                        << "NAME e1\n"                                      // 22 malformed
                        << "SPLIT " << a << "\n"                            // 23 malformed
                        << "UNIT " << c << " " << c << "\n";                // 24 kept
    lineage_file::contents got;
    std::ostringstream err;
    ASSERT_EQ(lineage_file::read(path, "e1", all_but({gone, gone0}), got, err),
              lineage_file::read_result::read);

    lineage_file::contents want;
    add_unit(want, p, {p});
    add_unit(want, a, {a, b});
    add_unit(want, c, {c});
    want.linkage.emplace(a, p);
    want.elite.insert(a);
    want.dismissed.insert(p);
    EXPECT_TRUE(same(got, want));
    EXPECT_EQ(err.str(), "Lineage file " + path +
                             ": left out 16 lines: 3 naming ROIs not in the database (first at "
                             "line 6), 1 with a member already in a unit (first at line 5), 2 "
                             "linking time points not one apart (first at line 11), 10 malformed "
                             "(first at line 4)\n");
}

TEST(LineageFile, OneKindOfFaultGivesASingularSummary)
{
    const std::string path = temp_path("one.lineage");
    std::ofstream(path) << "NAME e1\nLINK 000001000000 000001000000\n";
    lineage_file::contents got;
    std::ostringstream err;
    ASSERT_EQ(lineage_file::read(path, "e1", all_but(), got, err), lineage_file::read_result::read);
    EXPECT_EQ(err.str(), "Lineage file " + path +
                             ": left out 1 line: 1 linking time points not one apart (first at "
                             "line 2)\n");
    EXPECT_TRUE(got.linkage.empty());
}

TEST(LineageFile, AFailedSaveIsReported)
{
    lineage_file::contents c;
    add_unit(c, "000000000001", {"000000000001"});
    std::ostringstream err;
    const std::string nowhere = temp_path("no/such/folder.lineage");
    EXPECT_FALSE(lineage_file::write(nowhere, "e1", c, err));
    EXPECT_EQ(err.str(), "Cannot open " + nowhere + "\n");
}

TEST(LineageFile, ASaveThatRunsOutOfSpaceLeavesTheOldFile)
{
    const std::string path = temp_path("full.lineage");
    std::ofstream(path) << "precious\n";
    lineage_file::contents c;
    for (int i = 0; i < 5000; ++i)
        add_unit(c, key(1, 1, i % 1000, i / 1000), {key(1, 1, i % 1000, i / 1000)});
    struct rlimit old_limit, small;
    getrlimit(RLIMIT_FSIZE, &old_limit);
    small = old_limit;
    small.rlim_cur = 4096;
    auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    std::ostringstream err;
    const bool ok = lineage_file::write(path, "e1", c, err);
    setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);
    EXPECT_FALSE(ok);
    EXPECT_EQ(err.str(), "Cannot open " + path + "\n");
    EXPECT_EQ(slurp(path), "precious\n");
}

// Keys of positions and time points of 1000 and more are read back as
// written; a link across 999 and 1000 is one time point apart, and a key
// of a negative position, which no file can name, is left out.
TEST(LineageFile, KeysBeyondNineHundredNinetyNineRoundTrip)
{
    lineage_file::contents c;
    const std::string a = key(999, 3, 1000, 2047), b = key(1000, 3, 1001, 2047);
    const std::string b2 = key(1000, 4, 12345, 5);
    add_unit(c, a, {a});
    add_unit(c, b, {b, b2});
    c.linkage.emplace(b, a);
    c.elite.insert(b);
    const std::string path = temp_path("wide.lineage");
    std::ostringstream err;
    ASSERT_TRUE(lineage_file::write(path, "wide", c, err));
    lineage_file::contents back;
    ASSERT_EQ(lineage_file::read(path, "wide", all_but(), back, err),
              lineage_file::read_result::read);
    EXPECT_TRUE(same(back, c));
    EXPECT_EQ(err.str(), "");

    std::ofstream(path, std::ios::app)
        << "UNIT " << key(-1, 0, 5, 5) << " " << key(-1, 0, 5, 5) << "\n";
    lineage_file::contents again;
    std::ostringstream err2;
    lineage_file::read(path, "wide", all_but(), again, err2);
    EXPECT_TRUE(same(again, c)) << "the negative key is not taken";
    EXPECT_NE(err2.str(), "") << "and its line is reported";
}

// A save and a read tell how far they got, entries written and bytes read,
// rising to the whole; stopped at the first step, midway or at the end, the
// save leaves the old file with no temporary beside it and the read leaves
// the tables it was to fill, and neither says anything.
TEST(LineageFile, ProgressRisesToTheWholeAndAStopChangesNothing)
{
    lineage_file::contents c;
    for (int i = 0; i < 2000; ++i) {
        const std::string head = key(1, 1, i % 1000, i / 1000);
        add_unit(c, head, {head, key(1, 2, i % 1000, i / 1000)});
        if (i % 3 == 0)
            c.linkage.emplace(head, key(0, 1, i % 1000, i / 1000));
    }
    c.elite.insert(key(1, 1, 0, 0));
    const size_t entries = c.head_members.size() + c.linkage.size() + c.elite.size();
    const std::string folder = temp_path("progress");
    ::mkdir(folder.c_str(), 0777);
    const std::string path = folder + "/p.lineage";
    std::ostringstream err;

    std::vector<std::pair<size_t, size_t>> seen;
    const lineage_file::progress record = [&seen](size_t done, size_t total) {
        seen.emplace_back(done, total);
        return true;
    };
    auto rises_to = [&seen](size_t whole) {
        ASSERT_GE(seen.size(), 10u) << "the bar moves more than once";
        EXPECT_LE(seen.size(), 1002u) << "a large file is not slowed by the asking";
        for (size_t i = 0; i < seen.size(); ++i) {
            EXPECT_EQ(seen[i].second, whole);
            if (i > 0) {
                EXPECT_GT(seen[i].first, seen[i - 1].first);
            }
        }
        EXPECT_EQ(seen.back().first, whole);
    };
    ASSERT_TRUE(lineage_file::write(path, "e1", c, err, record));
    rises_to(entries);
    const std::string written = slurp(path);

    seen.clear();
    lineage_file::contents back;
    ASSERT_EQ(lineage_file::read(path, "e1", all_but(), back, err, record),
              lineage_file::read_result::read);
    rises_to(written.size());
    EXPECT_TRUE(same(back, c));

    lineage_file::contents other = c;
    other.dismissed.insert(key(1, 1, 5, 0));
    lineage_file::contents held;
    add_unit(held, key(3, 3, 3, 3), {key(3, 3, 3, 3)});
    const lineage_file::contents before = held;
    const std::vector<std::pair<const char *, lineage_file::progress>> stops = {
        {"at the first step", [](size_t, size_t) { return false; }},
        {"midway", [](size_t done, size_t total) { return done < total / 2; }},
        {"at the end", [](size_t done, size_t total) { return done < total; }},
    };
    for (const auto &[when, stop] : stops) {
        SCOPED_TRACE(when);
        EXPECT_FALSE(lineage_file::write(path, "e1", other, err, stop));
        EXPECT_EQ(slurp(path), written);
        std::vector<std::string> names;
        for (const auto &entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        EXPECT_EQ(names, std::vector<std::string>{"p.lineage"}) << "no temporary is left";

        EXPECT_EQ(lineage_file::read(path, "e1", all_but(), held, err, stop),
                  lineage_file::read_result::stopped);
        EXPECT_TRUE(same(held, before));
    }
    EXPECT_EQ(err.str(), "");
    std::filesystem::remove_all(folder);
}
