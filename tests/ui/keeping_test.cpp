// Keeping the work: the lineage file through Read Lineage and Save Lineage,
// the question before unsaved work would be lost (save, discard, cancel), and
// unsaved work left by a crash offered back at the next read.
#include "data_fixture.h"
#include "recovery.h"
#include "roidb_plus.h"

#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QUndoStack>

#include <algorithm> // std::is_sorted

namespace {

using answer = FileChooser::unsaved_answer;

class KeepingTest : public DataTest {
protected:
    std::vector<std::pair<std::string, std::string>> sorted(const lineage::key_multimap &m)
    {
        std::vector<std::pair<std::string, std::string>> v(m.begin(), m.end());
        std::sort(v.begin(), v.end());
        return v;
    }
    void press(const char *button) { w->findChild<QPushButton *>(button)->click(); }
    bool record_exists()
    {
        return QDir(QString::fromStdString(recovery::folder_for(path("obj.roi")))).exists();
    }
};

} // namespace

TEST_F(KeepingTest, ALineageSavedAndReadBackIsTheSameAndTheReadIsOneUndoableStep)
{
    w->makeUnits();
    ASSERT_FALSE(w->m_linkage_multimap.empty());
    key(Qt::Key_E);
    click(12, 12); // the unit of object A at t = 0 becomes elite
    ASSERT_EQ(w->m_elite_head_roi_set.size(), 1u);
    const auto units = sorted(w->m_head_members);
    const auto links = sorted(w->m_linkage_multimap);
    const auto elite = w->m_elite_head_roi_set;
    EXPECT_TRUE(w->unsaved(part_lineage));

    chooser->save_answer = QString::fromStdString(path("obj.lineage"));
    press("pushButton_save_lineage");
    EXPECT_EQ(chooser->last_start, QString::fromStdString(path("obj.lineage")));
    EXPECT_EQ(chooser->last_filter, "lineage file (*.lineage)");
    EXPECT_FALSE(w->unsaved(part_lineage));
    EXPECT_EQ(w->findChild<QLabel *>("label_unsaved")->text(), "");
    const std::string saved = slurp(path("obj.lineage"));
    EXPECT_EQ(saved.rfind("NAME obj\nUNIT ", 0), 0u) << saved;

    w->pushButton_reset_clicked();
    ASSERT_TRUE(w->m_head_members.empty());
    EXPECT_TRUE(w->unsaved(part_lineage));
    const int steps = w->undoStack()->count();

    chooser->open_answer = QString::fromStdString(path("obj.lineage"));
    press("pushButton_read_lineage");
    EXPECT_EQ(sorted(w->m_head_members), units);
    EXPECT_EQ(sorted(w->m_linkage_multimap), links);
    EXPECT_EQ(w->m_elite_head_roi_set, elite);
    EXPECT_EQ(w->m_members_head.size(), w->m_head_members.size());
    EXPECT_FALSE(w->unsaved(part_lineage)) << "what was read is what the file holds";
    EXPECT_EQ(w->undoStack()->count(), steps + 1) << "one step for the whole read";

    chooser->save_answer = QString::fromStdString(path("again.lineage"));
    press("pushButton_save_lineage");
    EXPECT_EQ(slurp(path("again.lineage")), saved) << "a read then a save writes the same file";

    w->undo();
    EXPECT_TRUE(w->m_head_members.empty());
    EXPECT_TRUE(w->m_elite_head_roi_set.empty());
    w->redo();
    EXPECT_EQ(sorted(w->m_head_members), units);

    // Another dataset's file and a missing one change nothing.
    write("other.lineage", "NAME other\nUNIT " + k(10, 10, 2, 0) + " " + k(10, 10, 2, 0) + "\n");
    ::testing::internal::CaptureStderr();
    chooser->open_answer = QString::fromStdString(path("other.lineage"));
    press("pushButton_read_lineage");
    chooser->open_answer = QString::fromStdString(path("none.lineage"));
    press("pushButton_read_lineage");
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("different dataset"), std::string::npos) << err;
    EXPECT_EQ(sorted(w->m_head_members), units);
    EXPECT_EQ(w->undoStack()->count(), steps + 1);
}

// Read ROIs and closing the window ask before unsaved work goes: cancel keeps
// everything, save goes through each part's own save, a save left undone
// counts as cancel, and discard goes on.
TEST_F(KeepingTest, TheUnsavedQuestionSavesDiscardsOrCancels)
{
    const std::string marked = k(40, 40, 3, 0);
    click(45, 45, Qt::RightButton);
    ASSERT_EQ(w->m_removed_roi_set, std::set<std::string>{marked});

    chooser->unsaved = answer::cancel;
    chooser->open_answer = QString::fromStdString(path("obj.roi"));
    chooser->asked.clear();
    ::testing::internal::CaptureStderr();
    w->pushButton_read_roifile_clicked();
    EXPECT_FALSE(w->close()) << "closing is cancelled too";
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(chooser->asked.size(), 3u); // the file dialog, then two questions
    EXPECT_EQ(chooser->asked[1], "Unsaved Changes -- OXELBrowser");
    EXPECT_NE(chooser->last_question.indexOf("false positives"), -1);
    EXPECT_NE(err.find("Read ROIs: cancelled, nothing was lost"), std::string::npos) << err;
    EXPECT_EQ(w->m_removed_roi_set, std::set<std::string>{marked});
    EXPECT_TRUE(w->isVisible());
    EXPECT_TRUE(w->unsaved(part_fp));

    // Save, but the FP dialog is cancelled: nothing happens.
    chooser->unsaved = answer::save;
    chooser->save_answer.clear();
    w->pushButton_read_roifile_clicked();
    EXPECT_EQ(w->m_removed_roi_set, std::set<std::string>{marked});
    EXPECT_TRUE(w->unsaved(part_fp));

    // Save: the marks go to their file, then the ROI file is read.
    chooser->save_answer = QString::fromStdString(path("obj.fp"));
    w->pushButton_read_roifile_clicked();
    EXPECT_EQ(slurp(path("obj.fp")), "NAME obj\nFP " + marked + "\n");
    EXPECT_TRUE(w->m_removed_roi_set.empty()) << "the file was read again";
    EXPECT_FALSE(w->unsaved(part_fp | part_rois | part_lineage));

    // Discard: the read goes on and the marks are gone.
    click(45, 45, Qt::RightButton);
    chooser->unsaved = answer::discard;
    w->pushButton_read_roifile_clicked();
    EXPECT_TRUE(w->m_removed_roi_set.empty());
    EXPECT_TRUE(w->close());
}

// A crash keeps the unsaved work on record; the next read of the ROI file
// offers it back, and recovering gives every edit; a clean save and close
// leaves no record.
TEST_F(KeepingTest, UnsavedWorkLeftByACrashIsOfferedBackAtTheNextRead)
{
    click(45, 45, Qt::RightButton);
    w->pushButton_drop_false_positive_clicked();
    w->makeUnits();
    key(Qt::Key_E);
    click(12, 12);
    w->undo();
    const std::vector<roi> rois = w->m_roidb->rois_in(0, 2);
    const auto units = sorted(w->m_head_members);
    const auto links = sorted(w->m_linkage_multimap);
    ASSERT_TRUE(record_exists());
    // The window goes without its question, as in a crash.
    w.reset();
    ASSERT_TRUE(recovery::holds_work(path("obj.roi")));

    open_window();
    chooser->overwrite = true; // "&Recover"
    ::testing::internal::CaptureStdout();
    read_rois("obj.roi");
    const std::string out = ::testing::internal::GetCapturedStdout();
    ASSERT_FALSE(chooser->asked.empty());
    EXPECT_EQ(chooser->asked.back(), "Recover Unsaved Work? -- OXELBrowser");
    EXPECT_NE(out.find("Recovered 5 edits of unsaved work"), std::string::npos) << out;
    EXPECT_EQ(w->m_roidb->rois_in(0, 2).size(), rois.size());
    EXPECT_EQ(w->m_roidb->stored(k(40, 40, 3, 0)), nullptr) << "the dropped ROI stays dropped";
    EXPECT_EQ(sorted(w->m_head_members), units);
    EXPECT_EQ(sorted(w->m_linkage_multimap), links);
    EXPECT_TRUE(w->m_elite_head_roi_set.empty()) << "the undone elite mark stays undone";
    EXPECT_TRUE(w->unsaved(part_rois) && w->unsaved(part_lineage));

    // Everything saved, then closed: no record is left behind.
    chooser->overwrite = true;
    chooser->save_answer = QString::fromStdString(path("obj.roi"));
    w->pushButton_save_roifile_clicked();
    chooser->save_answer = QString::fromStdString(path("obj.fp"));
    w->pushButton_save_FP_clicked();
    chooser->save_answer = QString::fromStdString(path("obj.lineage"));
    press("pushButton_save_lineage");
    EXPECT_FALSE(w->unsaved(part_rois | part_fp | part_lineage));
    EXPECT_FALSE(recovery::holds_work(path("obj.roi")));
    EXPECT_TRUE(w->close());
    w.reset();
    EXPECT_FALSE(record_exists());
}

TEST_F(KeepingTest, DecliningRecoveryReadsTheFileAndRemovesTheRecord)
{
    click(45, 45, Qt::RightButton);
    w.reset();
    open_window();
    chooser->overwrite = false; // "&Discard"
    read_rois("obj.roi");
    EXPECT_TRUE(w->m_removed_roi_set.empty());
    EXPECT_FALSE(recovery::holds_work(path("obj.roi")));
    EXPECT_FALSE(w->unsaved(part_fp));
}

// Save Lineage and Read Lineage move the bar up to its end while they run
// (nothing else may start meanwhile); Cancel midway leaves the old file byte
// for byte with nothing beside it, and the tables, the undo history and the
// unsaved mark as they were.
TEST_F(KeepingTest, LineageSavesAndReadsShowProgressAndCancelMidwayChangesNothing)
{
    auto *bar = w->findChild<QProgressBar *>("progressBar_operation");
    auto *cancel = w->findChild<QPushButton *>("pushButton_cancel");
    ASSERT_NE(bar, nullptr);
    ASSERT_NE(cancel, nullptr);
    std::vector<int> values;
    bool shown = true, busy = true, cancel_midway = false;
    QObject::connect(bar, &QProgressBar::valueChanged, [&](int value) {
        if (value <= 0)
            return; // the bar made ready before it shows
        shown = shown && bar->isVisible() && cancel->isVisible();
        busy = busy && w->busy();
        values.push_back(value);
        if (cancel_midway && value < 1000)
            cancel->click();
    });
    auto rose_to_the_end = [&] {
        ASSERT_GE(values.size(), 3u) << "the bar moves more than once";
        EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
        EXPECT_EQ(values.back(), 1000);
        EXPECT_TRUE(shown) << "the bar and Cancel show while the file is gone through";
        EXPECT_TRUE(busy) << "no other command starts meanwhile";
        values.clear();
    };
    auto stopped_midway = [&] {
        ASSERT_EQ(values.size(), 1u);
        EXPECT_LT(values[0], 1000);
        EXPECT_FALSE(bar->isVisible());
        EXPECT_FALSE(w->busy());
        values.clear();
    };
    const QDir folder(dir.path());
    const auto entries = [&] {
        return folder.entryList(QDir::Hidden | QDir::AllEntries | QDir::NoDotAndDotDot);
    };

    w->makeUnits();
    key(Qt::Key_E);
    click(12, 12);
    const auto units = sorted(w->m_head_members);
    const auto links = sorted(w->m_linkage_multimap);
    const auto elite = w->m_elite_head_roi_set;
    ASSERT_EQ(elite.size(), 1u);
    values.clear(); // those of Make units
    const std::string file = path("obj.lineage");
    chooser->save_answer = chooser->open_answer = QString::fromStdString(file);
    press("pushButton_save_lineage");
    rose_to_the_end();
    EXPECT_FALSE(w->unsaved(part_lineage));
    const std::string saved = slurp(file);
    const QStringList names = entries();

    w->undo(); // the elite mark goes: the file would change
    ASSERT_TRUE(w->m_elite_head_roi_set.empty());
    chooser->overwrite = true;
    cancel_midway = true;
    ::testing::internal::CaptureStderr();
    press("pushButton_save_lineage");
    std::string err = ::testing::internal::GetCapturedStderr();
    stopped_midway();
    EXPECT_EQ(err, "Save Lineage stopped: " + file + " was not changed\n");
    EXPECT_EQ(w->statusText().toStdString(), "Save Lineage stopped: " + file + " was not changed");
    EXPECT_EQ(slurp(file), saved);
    EXPECT_EQ(entries(), names) << "no temporary is left beside the file";
    EXPECT_TRUE(w->unsaved(part_lineage));

    w->pushButton_reset_clicked();
    ASSERT_TRUE(w->m_head_members.empty());
    const int steps = w->undoStack()->count();
    ::testing::internal::CaptureStderr();
    press("pushButton_read_lineage");
    err = ::testing::internal::GetCapturedStderr();
    stopped_midway();
    EXPECT_EQ(err, "Read Lineage stopped: nothing was changed\n");
    EXPECT_EQ(w->statusText(), "Read Lineage stopped: nothing was changed");
    EXPECT_TRUE(w->m_head_members.empty() && w->m_members_head.empty());
    EXPECT_TRUE(w->m_linkage_multimap.empty() && w->m_elite_head_roi_set.empty());
    EXPECT_EQ(w->undoStack()->count(), steps);
    EXPECT_TRUE(w->unsaved(part_lineage));

    cancel_midway = false;
    press("pushButton_read_lineage");
    rose_to_the_end();
    EXPECT_EQ(sorted(w->m_head_members), units);
    EXPECT_EQ(sorted(w->m_linkage_multimap), links);
    EXPECT_EQ(w->m_elite_head_roi_set, elite);
    EXPECT_EQ(w->undoStack()->count(), steps + 1);
    EXPECT_FALSE(w->unsaved(part_lineage));
    std::set<std::string> heads;
    for (const auto &entry : units)
        heads.insert(entry.first);
    EXPECT_EQ(w->statusText(), QString("Read Lineage: %1 unit(s), %2 link(s) read from %3")
                                   .arg(heads.size())
                                   .arg(links.size())
                                   .arg(QString::fromStdString(file)));
}
