// The plane-indexed database: plane walks, removal, ranges, file replacement.
#include "roidb_plus.h"

#include "keygen.h"

#include <gtest/gtest.h>

#include <algorithm> // std::count, std::is_sorted, std::reverse, std::rotate
#include <cstdio>    // std::remove
#include <fstream>
#include <memory>     // std::unique_ptr
#include <sys/stat.h> // mkdir
#include <unistd.h>   // getpid
#include <vector>

namespace
{

std::string temp_path(const std::string &name)
{
    return ::testing::TempDir() + "plus_" + std::to_string(getpid()) + "_" + name;
}

std::vector<roi> walk(roidb_plus &db, int t, int z)
{
    std::vector<roi> out;
    roi r;
    db.seek(t, z, 0);
    while (db.find_plus(t, z, r))
        out.push_back(r);
    return out;
}

} // namespace

TEST(PlaneIndex, EmptyDatabase)
{
    roidb_plus db("empty");
    EXPECT_EQ(db.t_min(), 0);
    EXPECT_EQ(db.t_max(), 0);
    EXPECT_TRUE(walk(db, 0, 0).empty());
}

TEST(PlaneIndex, WalkReturnsAPlanesRoisInEntryOrderWithOutlines)
{
    roidb_plus db("walk");
    db.entry_plus(roi(50, 50, 5, 7, "c"));
    db.entry_plus(roi(10, 10, 5, 7, "a"));
    db.entry_plus(roi(30, 30, 6, 7, "other_plane"));
    db.entry_plus(roi(20, 20, 5, 7, "b"));
    db.entry_plus(roi(10, 10, 5, 8, "other_time"));
    std::vector<roi> plane = walk(db, 7, 5);
    ASSERT_EQ(plane.size(), 3u);
    EXPECT_TRUE(plane[0] == roi(50, 50, 5, 7, "c"));
    EXPECT_TRUE(plane[1] == roi(10, 10, 5, 7, "a"));
    EXPECT_TRUE(plane[2] == roi(20, 20, 5, 7, "b"));
    EXPECT_EQ(walk(db, 7, 6).size(), 1u);
    EXPECT_TRUE(walk(db, 7, 4).empty());
}

TEST(PlaneIndex, NonZeroSeekKeepsTheCursorAndIteratorsAreIndependent)
{
    roidb_plus db("cursor");
    for (int i = 0; i < 4; ++i)
        db.entry_plus(roi(i, i, 2, 3, std::to_string(i)));
    roi r;
    db.seek(3, 2, 0);
    ASSERT_TRUE(db.find_plus(3, 2, r));
    EXPECT_EQ(r.outline(), "0");
    db.seek(3, 2, 1);
    ASSERT_TRUE(db.find_plus(3, 2, r));
    EXPECT_EQ(r.outline(), "1") << "a non-zero pos continues where the walk stopped";

    roidb_plus::iterator a, b;
    db.seek_iter(3, 2, 0, a);
    db.seek_iter(3, 2, 0, b);
    ASSERT_TRUE(db.find_plus_iter(3, 2, r, a));
    ASSERT_TRUE(db.find_plus_iter(3, 2, r, a));
    EXPECT_EQ(r.outline(), "1");
    ASSERT_TRUE(db.find_plus_iter(3, 2, r, b));
    EXPECT_EQ(r.outline(), "0") << "the second iterator has its own place";
}

TEST(PlaneIndex, RemoveByKeyAndByRoiKeepsMapAndIndexTogether)
{
    roidb_plus db("rm");
    db.entry_plus(roi(1, 1, 0, 0, "a"));
    db.entry_plus(roi(2, 2, 0, 0, "b"));
    db.entry_plus(roi(3, 3, 0, 0, "c"));
    db.remove(keygen(pos4i(2, 2, 0, 0)));
    db.remove(roi(3, 3, 0, 0, "whatever"));
    db.remove(roi(9, 9, 0, 0, "absent"));
    std::vector<roi> plane = walk(db, 0, 0);
    ASSERT_EQ(plane.size(), 1u);
    EXPECT_EQ(plane[0].outline(), "a");
    EXPECT_EQ(db.count(), 1u);
    EXPECT_EQ(db.find_plus(keygen(pos4i(2, 2, 0, 0))).outline(), "");
    EXPECT_EQ(db.find_plus(keygen(pos4i(1, 1, 0, 0))).outline(), "a");
}

TEST(PlaneIndex, RemovingUnderTheCursorLeavesAUsableWalk)
{
    roidb_plus db("cur");
    db.entry_plus(roi(1, 1, 0, 0, "a"));
    db.entry_plus(roi(2, 2, 0, 0, "b"));
    roi r;
    db.seek(0, 0, 0);
    db.remove(roi(1, 1, 0, 0, ""));
    ASSERT_TRUE(db.find_plus(0, 0, r));
    EXPECT_EQ(r.outline(), "b");
    EXPECT_FALSE(db.find_plus(0, 0, r));
}

TEST(PlaneIndex, EnteringAPositionTwiceKeepsOneIndexEntry)
{
    roidb_plus db("twice");
    db.entry_plus(roi(1, 1, 0, 0, "first"));
    db.entry_plus(roi(1, 1, 0, 0, "second"));
    std::vector<roi> plane = walk(db, 0, 0);
    ASSERT_EQ(plane.size(), 1u);
    EXPECT_EQ(plane[0].outline(), "first");
}

TEST(PlaneIndex, TimeRange)
{
    roidb_plus db("range");
    db.entry_plus(roi(900, 900, 50, 41, "x"));
    db.entry_plus(roi(0, 0, 0, 3, "y"));
    db.entry_plus(roi(5, 5, 9, 20, "z"));
    EXPECT_EQ(db.t_min(), 3);
    EXPECT_EQ(db.t_max(), 41);
}

TEST(PlaneIndex, ReadPlusIndexesEveryRoiOfTheFile)
{
    std::string path = temp_path("read.roi");
    std::ofstream(path) << "ds\n1 1 0 2 a\n2 2 0 2 b\n3 3 1 2 c\n";
    roidb_plus db("");
    db.read_plus(path);
    EXPECT_EQ(db.name(), "ds");
    EXPECT_EQ(walk(db, 2, 0).size(), 2u);
    EXPECT_EQ(walk(db, 2, 1).size(), 1u);

    roidb_plus missing("keep");
    ::testing::internal::CaptureStderr();
    missing.read_plus("/nonexistent.roi");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "roidb: Cannot open /nonexistent.roi\n");
}

TEST(PlaneIndex, ReplacePlusSwapsOnlyTheRange)
{
    roidb_plus db("rep");
    db.entry_plus(roi(1, 1, 0, 9, "before"));
    db.entry_plus(roi(1, 1, 0, 10, "old10"));
    db.entry_plus(roi(2, 2, 0, 11, "old11-not-in-file"));
    db.entry_plus(roi(1, 1, 0, 13, "after"));
    std::string path = temp_path("replace.roi");
    std::ofstream(path)
        << "rep\n1 1 0 9 file9\n1 1 0 10 file10\n5 5 0 12 file12\n1 1 0 13 file13\n";
    db.replace_plus(path, 10, 12);

    EXPECT_EQ(db.find_plus(keygen(pos4i(1, 1, 0, 9))).outline(), "before");
    EXPECT_EQ(db.find_plus(keygen(pos4i(1, 1, 0, 10))).outline(), "file10");
    EXPECT_EQ(db.find_plus(keygen(pos4i(2, 2, 0, 11))).outline(), "");
    EXPECT_EQ(db.find_plus(keygen(pos4i(5, 5, 0, 12))).outline(), "file12");
    EXPECT_EQ(db.find_plus(keygen(pos4i(1, 1, 0, 13))).outline(), "after");
    EXPECT_TRUE(walk(db, 11, 0).empty());
    EXPECT_EQ(walk(db, 10, 0).size(), 1u);
    EXPECT_EQ(db.count(), 4u);

    // An unreadable file changes nothing (the range is not emptied first).
    ::testing::internal::CaptureStderr();
    db.replace_plus("/nonexistent.roi", 10, 12);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "roidb: Cannot open /nonexistent.roi\n");
    EXPECT_EQ(db.count(), 4u);
    EXPECT_EQ(db.find_plus(keygen(pos4i(1, 1, 0, 10))).outline(), "file10");
}

TEST(PlaneIndex, CheckedReplaceRefusesAnotherDatasetOrAFolderAndKeepsEverything)
{
    roidb_plus db("rep");
    db.entry_plus(roi(1, 1, 0, 10, "old10"));
    db.entry_plus(roi(2, 2, 0, 11, "old11"));
    const std::string other = temp_path("other.roi");
    std::ofstream(other) << "elsewhere\n1 1 0 10 file10\n";
    EXPECT_EQ(db.replace_checked(other, 10, 12, "rep"),
              roidb_plus::replace_result::different_dataset);
    const std::string folder = temp_path("folder.roi");
    mkdir(folder.c_str(), 0755);
    EXPECT_EQ(db.replace_checked(folder, 10, 12, "rep"), roidb_plus::replace_result::unreadable);
    EXPECT_EQ(db.name(), "rep");
    EXPECT_EQ(db.count(), 2u);
    EXPECT_EQ(walk(db, 11, 0).size(), 1u);

    const std::string same = temp_path("same.roi");
    std::ofstream(same) << "rep\n1 1 0 10 file10\n";
    EXPECT_EQ(db.replace_checked(same, 10, 12, "rep"), roidb_plus::replace_result::replaced);
    EXPECT_EQ(db.count(), 1u);
    EXPECT_EQ(db.find_plus(keygen(pos4i(1, 1, 0, 10))).outline(), "file10");
}

TEST(PlaneIndex, LoadRefusesWhatNamesNoDatasetAndKnowsTheHighestPlane)
{
    roidb_plus db("");
    EXPECT_FALSE(db.load(temp_path("absent.roi")));
    const std::string empty = temp_path("empty.roi");
    std::ofstream(empty) << "  \n";
    EXPECT_FALSE(db.load(empty));
    EXPECT_EQ(db.z_max(), 0);

    const std::string file = temp_path("planes.roi");
    std::ofstream(file) << "deep\n1 1 3 0 2301\n1 1 69 4 2301\n7 7 12 2 2301\n";
    ASSERT_TRUE(db.load(file));
    EXPECT_EQ(db.name(), "deep");
    EXPECT_EQ(db.count(), 3u);
    EXPECT_EQ(db.z_max(), 69);
}

// A copy walks its own index from where the source's walk stood, and
// outlives the source.
TEST(PlaneIndex, ACopyWalksItsOwnIndex)
{
    auto source = std::make_unique<roidb_plus>("copy");
    for (int x = 1; x <= 3; ++x)
        source->entry_plus(roi(x, x, 5, 7, "2301"));
    source->entry_plus(roi(9, 9, 6, 7, "2301"));
    roi r;
    source->seek(7, 5, 0);
    ASSERT_TRUE(source->find_plus(7, 5, r));
    EXPECT_EQ(r.x(), 1);

    roidb_plus copy(*source);
    roidb_plus assigned("other");
    assigned = *source;
    source.reset();
    for (roidb_plus *db : {&copy, &assigned}) {
        std::vector<int> rest;
        while (db->find_plus(7, 5, r))
            rest.push_back(r.x());
        EXPECT_EQ(rest, (std::vector<int>{2, 3})) << "the walk goes on where it stood";
        EXPECT_EQ(walk(*db, 7, 5).size(), 3u);
        EXPECT_EQ(walk(*db, 7, 6).size(), 1u);
        // The walk without copies hands out the copy's own ROIs.
        roidb_plus::iterator it;
        db->seek_iter(7, 6, 0, it);
        const roi *stored = db->next_stored(7, 6, it);
        ASSERT_NE(stored, nullptr);
        EXPECT_EQ(stored, db->stored(keygen(roi(9, 9, 6, 7, ""))));
        EXPECT_EQ(stored->outline(), "2301");
        EXPECT_EQ(db->next_stored(7, 6, it), nullptr);
    }
    // After a removal, a walk never meets the removed ROI.
    copy.remove(roi(2, 2, 5, 7, ""));
    roidb_plus::iterator it;
    copy.seek_iter(7, 5, 0, it);
    std::vector<int> xs;
    while (const roi *stored = copy.next_stored(7, 5, it))
        xs.push_back(stored->x());
    EXPECT_EQ(xs, (std::vector<int>{1, 3}));
}

TEST(PlaneIndex, RoisThatWouldNotReadBackAreRefused)
{
    roidb_plus db("refuse");
    ::testing::internal::CaptureStderr();
    db.entry_plus(roi(1, 1, 0, 0, ""));
    db.entry_plus(roi(2, 2, 0, 0, "23 01"));
    db.entry_plus(roi(2147483647, 0, 0, 0, "33"));
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 3) << err;
    EXPECT_EQ(db.count(), 0u);
    EXPECT_TRUE(walk(db, 0, 0).empty()) << "nothing indexed either";
}

TEST(PlaneIndex, PlanesAndTimePointsOfAThousandAndMoreAreWalkedAndRanged)
{
    roidb_plus db("large");
    db.entry_plus(roi(1000, 20, 5, 1000, "a"));
    db.entry_plus(roi(999, 20, 5, 1000, "b"));
    db.entry_plus(roi(4095, 4095, 1000, 999, "c"));
    db.entry_plus(roi(5, 5, 0, 3, "d"));
    std::vector<roi> plane = walk(db, 1000, 5);
    ASSERT_EQ(plane.size(), 2u);
    EXPECT_EQ(plane[0].outline(), "a");
    EXPECT_EQ(walk(db, 999, 1000).size(), 1u);
    EXPECT_TRUE(walk(db, 100, 5).empty()) << "t = 1000 is not t = 100";
    EXPECT_EQ(db.t_min(), 3);
    EXPECT_EQ(db.t_max(), 1000);
    EXPECT_EQ(db.z_max(), 1000);
    EXPECT_EQ(db.find_plus(keygen(pos4i(1000, 20, 5, 1000))).outline(), "a");
    ASSERT_NE(db.stored(keygen(pos4i(4095, 4095, 1000, 999))), nullptr);
    db.remove(keygen(pos4i(1000, 20, 5, 1000)));
    EXPECT_EQ(walk(db, 1000, 5).size(), 1u) << "removal by key finds the large position";
    EXPECT_EQ(db.count(), 3u);
}

TEST(PlaneIndex, NegativePositionsAreHeldAndWrittenButInNoPlane)
{
    const std::string path = temp_path("negative.roi");
    std::ofstream(path) << "neg\n-5 10 2 0 2301\n10 10 2 0 2301\n10 -3 2 0 2301\n"
                           "10 10 -1 0 2301\n10 10 2 -4 2301\n20 20 2 0 2301\n";
    roidb_plus db("");
    ASSERT_TRUE(db.load(path));
    EXPECT_EQ(db.count(), 6u);
    EXPECT_EQ(db.unshown(), 4u);
    EXPECT_EQ(walk(db, 0, 2).size(), 2u) << "only the two at positive positions";
    EXPECT_TRUE(walk(db, 0, -1).empty());
    EXPECT_TRUE(walk(db, -4, 2).empty());
    EXPECT_EQ(db.t_min(), 0) << "the time range is that of the planes";
    const std::string out = temp_path("negative_out.roi");
    db.write(out);
    roidb_plus back("");
    ASSERT_TRUE(back.load(out));
    EXPECT_EQ(back.count(), 6u) << "every ROI is written back";
    roi r(-5, 10, 2, 0, "");
    EXPECT_TRUE(back.find(r));
    back.remove(roi(10, 10, 2, -4, ""));
    EXPECT_EQ(back.unshown(), 3u);
    std::remove(path.c_str());
    std::remove(out.c_str());
}

TEST(PlaneIndex, ALongReadReportsItsProgressAndCanBeStopped)
{
    const std::string path = temp_path("long.roi");
    {
        std::ofstream f(path);
        f << "long\n";
        for (int i = 0; i < 40000; ++i)
            f << i % 1000 << " " << i / 1000 << " 0 0 2301\n";
    }
    std::vector<size_t> seen;
    roidb_plus all("");
    EXPECT_TRUE(all.load(path, [&](size_t done, size_t total) {
        EXPECT_GT(total, 0u);
        EXPECT_LE(done, total);
        seen.push_back(done);
        return true;
    }));
    EXPECT_EQ(all.count(), 40000u);
    ASSERT_GE(seen.size(), 4u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));

    roidb_plus part("");
    EXPECT_FALSE(part.load(path, [](size_t, size_t) { return false; }));
    EXPECT_LT(part.count(), 40000u) << "stopped at the first call";

    roidb_plus db("long");
    db.entry_plus(roi(1, 1, 0, 0, "kept"));
    EXPECT_EQ(db.replace_checked(path, 0, 0, "long", [](size_t, size_t) { return false; }),
              roidb_plus::replace_result::stopped);
    EXPECT_EQ(db.count(), 1u) << "a stopped restore changes nothing";
    std::remove(path.c_str());
}

TEST(PlaneIndex, ManyKeysAtOnceFindWhatOneKeyAtATimeFinds)
{
    // Positions of every kind: dense runs, gaps that the walk must search
    // across, fields of a thousand and more, negative ones; asked for in
    // random order, with repeats and with keys of absent ROIs.
    roidb_plus db("many");
    std::vector<pos4i> held;
    for (int t : {0, 1, 999, 1000, 12345})
        for (int x : {0, 7, 8, 9, 500, 999, 1000, 4095})
            for (int z : {0, 3, 1000})
                held.emplace_back(x, x % 13 + 2, z, t);
    held.emplace_back(-5, 10, 2, 0);
    held.emplace_back(10, -3, 2, 0);
    held.emplace_back(10, 10, -1, 0);
    held.emplace_back(10, 10, 2, -4);
    for (const pos4i &p : held)
        db.entry_plus(roi(p.x(), p.y(), p.z(), p.t(), "2301"));
    ASSERT_EQ(db.count(), held.size());

    std::vector<std::string> keys;
    for (size_t i = 0; i < held.size(); i += 2)
        keys.push_back(keygen(held[i]));
    for (size_t i = 1; i < held.size(); i += 3) {
        const pos4i &p = held[i];
        keys.push_back(keygen(p));                                     // again
        keys.push_back(keygen(pos4i(p.x() + 1, p.y(), p.z(), p.t()))); // absent, or a neighbour
    }
    keys.push_back(keygen(pos4i(3, 3, 3, 77777)));   // beyond every ROI
    keys.push_back(keygen(pos4i(-100, 0, 0, -100))); // before every ROI
    std::reverse(keys.begin(), keys.end());
    std::rotate(keys.begin(), keys.begin() + static_cast<long>(keys.size() / 3), keys.end());

    std::vector<const std::string *> asked;
    for (const std::string &k : keys)
        asked.push_back(&k);
    std::vector<const roi *> found;
    db.stored(asked, found);
    ASSERT_EQ(found.size(), keys.size());
    size_t present = 0;
    for (size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(found[i], db.stored(keys[i])) << keys[i];
        present += found[i] != nullptr;
    }
    EXPECT_GT(present, keys.size() / 2);
    EXPECT_LT(present, keys.size());

    db.stored({}, found);
    EXPECT_TRUE(found.empty());
}
