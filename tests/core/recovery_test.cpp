// The record of unsaved work: a base and a journal give back the state of
// every complete edit; a torn or damaged entry ends the replay; a discarded
// record leaves nothing behind; a process killed at random moments loses at
// most the edit it was making.
#include "journal_edits.h"
#include "recovery.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Everything a record gives back, comparable.
struct state_copy {
    std::vector<std::string> rois;
    lineage::key_set fp, elite, dismissed;
    std::vector<std::pair<std::string, std::string>> head_members, linkage, members_head;

    state_copy(const roidb_plus &db, const lineage::key_set &fp_, const lineage::key_multimap &hm,
               const lineage::key_map &mh, const lineage::key_multimap &ln,
               const lineage::key_set &el, const lineage::key_set &di)
        : fp(fp_), elite(el), dismissed(di), head_members(hm.begin(), hm.end()),
          linkage(ln.begin(), ln.end()), members_head(mh.begin(), mh.end())
    {
        for (const roi &r : db.rois_in(-1000, 1000))
            rois.push_back(keygen(r) + " " + r.outline());
        std::sort(head_members.begin(), head_members.end());
        std::sort(linkage.begin(), linkage.end());
    }
    bool operator==(const state_copy &o) const
    {
        return rois == o.rois && fp == o.fp && elite == o.elite && dismissed == o.dismissed &&
               head_members == o.head_members && linkage == o.linkage &&
               members_head == o.members_head;
    }
};

// The state after the first edits of a seed's sequence, made directly.
struct replay {
    roidb_plus db{""};
    lineage::key_set fp, elite, dismissed;
    lineage::key_multimap head_members, linkage;
    lineage::key_map members_head;
    lineage::tables units{head_members, members_head, linkage, elite};

    replay(const std::string &roi_file, unsigned seed, int edits)
    {
        db.load(roi_file);
        curation::state s{db, nullptr, fp, units, dismissed};
        std::mt19937 rng(seed);
        for (int i = 0; i < edits; ++i) {
            change_log log;
            journal_edit(rng, s, log);
        }
    }
    state_copy copy() const
    {
        return state_copy(db, fp, head_members, members_head, linkage, elite, dismissed);
    }
};

state_copy restored_copy(const recovery::restored &r)
{
    return state_copy(*r.db, r.fp, r.head_members, r.members_head, r.linkage, r.elite, r.dismissed);
}

class RecoveryTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::string roi_file;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        setenv("XDG_STATE_HOME", (dir.path() + "/state").toLocal8Bit().constData(), 1);
        roi_file = (dir.path() + "/jrn.roi").toStdString();
        std::ofstream(roi_file) << journal_dataset(400);
    }
    std::string journal_path() const
    {
        const std::string folder = recovery::folder_for(roi_file);
        std::ifstream current(folder + "/current");
        int generation = 0;
        current >> generation;
        return folder + "/journal-" + std::to_string(generation);
    }
    // Edits made and journalled as the browser makes them.
    void record_edits(unsigned seed, int edits)
    {
        replay live(roi_file, seed, 0);
        curation::state s{live.db, nullptr, live.fp, live.units, live.dismissed};
        recovery record(roi_file);
        std::ostringstream err;
        ASSERT_TRUE(record.rebase("jrn", live.fp, live.head_members, live.linkage, live.elite,
                                  live.dismissed, err))
            << err.str();
        std::mt19937 rng(seed);
        for (int i = 0; i < edits; ++i) {
            change_log log;
            journal_edit(rng, s, log);
            ASSERT_TRUE(record.append(log.changes(), err));
        }
    }
};

} // namespace

TEST_F(RecoveryTest, TheRecordGivesBackEveryEditAndACleanDiscardLeavesNothing)
{
    EXPECT_FALSE(recovery::holds_work(roi_file));
    record_edits(7, 60);
    ASSERT_TRUE(recovery::holds_work(roi_file));
    recovery::restored got;
    std::ostringstream err;
    ASSERT_TRUE(recovery::restore(roi_file, got, err)) << err.str();
    std::unique_ptr<roidb_plus> owned(got.db);
    EXPECT_EQ(got.edits, 60u);
    EXPECT_EQ(got.db->name(), "jrn");
    EXPECT_TRUE(restored_copy(got) == replay(roi_file, 7, 60).copy());
    EXPECT_FALSE(restored_copy(got) == replay(roi_file, 7, 59).copy()) << "the last edit counts";

    // The ROI file saved meanwhile does not change what the record holds.
    std::ofstream(roi_file) << "jrn\n";
    recovery::restored again;
    ASSERT_TRUE(recovery::restore(roi_file, again, err));
    std::unique_ptr<roidb_plus> owned_again(again.db);
    EXPECT_TRUE(restored_copy(again) == restored_copy(got));

    recovery(roi_file).discard();
    EXPECT_FALSE(recovery::holds_work(roi_file));
    EXPECT_FALSE(QDir(QString::fromStdString(recovery::folder_for(roi_file))).exists());
}

// A crash in the middle of a write leaves the last entry cut short or
// garbled: every complete entry before it still counts, and nothing after.
TEST_F(RecoveryTest, ATornOrDamagedEntryEndsTheReplay)
{
    record_edits(3, 20);
    const std::string journal = journal_path();
    std::ifstream in(journal, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Past the entries, the journal is laid out with zeros.
    text.erase(text.find_last_not_of('\0') + 1);
    // Where the last entry begins.
    const size_t last = text.rfind("\nE ") + 1;
    ASSERT_GT(last, 1u);
    for (size_t cut : {last + 1, last + 5, text.size() - 1}) {
        std::ofstream(journal, std::ios::binary | std::ios::trunc) << text.substr(0, cut);
        recovery::restored got;
        std::ostringstream err;
        ASSERT_TRUE(recovery::restore(roi_file, got, err));
        std::unique_ptr<roidb_plus> owned(got.db);
        EXPECT_EQ(got.edits, 19u) << "cut at " << cut;
        EXPECT_TRUE(restored_copy(got) == replay(roi_file, 3, 19).copy()) << "cut at " << cut;
    }
    // A session that carries on the record writes over the torn entry.
    {
        replay before(roi_file, 3, 19);
        change_log log;
        curation::set_mark(before.fp, &log, "no-such-key", true, change::fp_add, change::fp_remove);
        recovery carried(roi_file);
        std::ostringstream err;
        ASSERT_TRUE(carried.append(log.changes(), err));
        recovery::restored got;
        ASSERT_TRUE(recovery::restore(roi_file, got, err));
        std::unique_ptr<roidb_plus> owned(got.db);
        EXPECT_EQ(got.edits, 20u);
        EXPECT_TRUE(restored_copy(got) == before.copy());
    }
    // One byte changed in the payload of the tenth entry.
    std::string garbled = text;
    size_t entry = 0;
    for (int i = 0; i < 10; ++i)
        entry = garbled.find("\nE ", entry + 1);
    const size_t payload = garbled.find('\n', entry + 1) + 1;
    garbled[payload] = garbled[payload] == 'x' ? 'y' : 'x';
    std::ofstream(journal, std::ios::binary | std::ios::trunc) << garbled;
    recovery::restored got;
    std::ostringstream err;
    ASSERT_TRUE(recovery::restore(roi_file, got, err));
    std::unique_ptr<roidb_plus> owned(got.db);
    EXPECT_EQ(got.edits, 10u);
    EXPECT_TRUE(restored_copy(got) == replay(roi_file, 3, 10).copy());
}

TEST_F(RecoveryTest, ARecordThatCannotBeWrittenSaysSoAndLeavesNoHalfRecord)
{
    setenv("XDG_STATE_HOME", "/proc/no-such-place", 1);
    recovery record(roi_file);
    lineage::key_set none;
    lineage::key_multimap empty;
    std::ostringstream err;
    EXPECT_FALSE(record.rebase("jrn", none, empty, empty, none, none, err));
    EXPECT_NE(err.str().find("Cannot keep a record of unsaved work"), std::string::npos);
    EXPECT_FALSE(record.append({}, err));
    EXPECT_FALSE(recovery::holds_work(roi_file));
}

// A process making edits is killed with SIGKILL at random moments; the record
// it leaves gives back every edit it finished and never a part of one.
// OXEL_JOURNAL_KILL_TRIALS sets the number of trials (the benchmark runs 100).
TEST_F(RecoveryTest, KilledAtRandomTheRecordLosesAtMostTheEditInProgress)
{
    const char *env = std::getenv("OXEL_JOURNAL_KILL_TRIALS");
    const int trials = env ? std::max(1, std::atoi(env)) : 10;
    std::mt19937 rng(20261208);
    int intact = 0;
    for (int trial = 0; trial < trials; ++trial) {
        const unsigned seed = 100 + static_cast<unsigned>(trial);
        const int stop_after = static_cast<int>(rng() % 150);
        int pipe_fds[2];
        ASSERT_EQ(pipe(pipe_fds), 0);
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            dup2(pipe_fds[1], 1);
            close(pipe_fds[0]);
            const std::string seed_text = std::to_string(seed);
            execl(JOURNAL_CHILD, JOURNAL_CHILD, roi_file.c_str(), seed_text.c_str(), "100000",
                  static_cast<char *>(nullptr));
            _exit(127);
        }
        close(pipe_fds[1]);
        // Reads "done N" lines until the chosen one, then kills at once or a
        // moment later, in the middle of whatever the child is doing.
        std::string out;
        char buf[4096];
        int done = -1;
        while (done < stop_after) {
            const ssize_t n = read(pipe_fds[0], buf, sizeof buf);
            if (n <= 0)
                break;
            out.append(buf, static_cast<size_t>(n));
            const size_t at = out.rfind("done ");
            if (at != std::string::npos && out.find('\n', at) != std::string::npos)
                done = std::atoi(out.c_str() + at + 5);
        }
        if (rng() % 2)
            usleep(rng() % 2000);
        kill(pid, SIGKILL);
        int status = 0;
        waitpid(pid, &status, 0);
        ssize_t n;
        while ((n = read(pipe_fds[0], buf, sizeof buf)) > 0)
            out.append(buf, static_cast<size_t>(n));
        close(pipe_fds[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "trial " << trial << ": the child ended by itself";
        const size_t at = out.rfind("done ");
        ASSERT_NE(at, std::string::npos);
        const int finished = std::atoi(out.c_str() + at + 5) + 1;

        recovery::restored got;
        std::ostringstream err;
        ASSERT_TRUE(recovery::restore(roi_file, got, err)) << err.str();
        std::unique_ptr<roidb_plus> owned(got.db);
        // Every edit reported done is there; the one in progress may have
        // reached the disk before the kill, whole or not at all.
        ASSERT_TRUE(got.edits == static_cast<size_t>(finished) ||
                    got.edits == static_cast<size_t>(finished) + 1)
            << "trial " << trial << ": " << got.edits << " edits restored, " << finished
            << " reported done";
        ASSERT_TRUE(restored_copy(got) == replay(roi_file, seed, static_cast<int>(got.edits)).copy())
            << "trial " << trial;
        ++intact;
        recovery(roi_file).discard();
    }
    EXPECT_EQ(intact, trials);
}
