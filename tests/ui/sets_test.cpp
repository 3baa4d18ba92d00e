// Reset, Select all, Clean Up, Drop FP, restore, and the info and FP files.
#include "keygen.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"
#include "window_fixture.h"

#include <QPushButton>
#include <QTimer>

#include <fstream>
#include <sstream>

// Four ROIs at time points 0 to 2 on plane 0 and 1.
class SetsTest : public WindowTest {
protected:
    std::string a, b, c, d;

    void SetUp() override
    {
        WindowTest::SetUp();
        write("s.roi", "s\n5 5 0 0 22330011\n9 9 1 0 22330011\n5 5 0 1 22330011\n5 5 0 2 22330011\n");
        for (int t = 0; t <= 2; ++t)
            for (int z : {0, 1})
                write_image("s", t, z, 20);
        read_rois("s.roi");
        ASSERT_NE(w->m_roidb, nullptr);
        w->setMaxFocalPlane(1);
        a = keygen(pos4i(5, 5, 0, 0));
        b = keygen(pos4i(9, 9, 1, 0));
        c = keygen(pos4i(5, 5, 0, 1));
        d = keygen(pos4i(5, 5, 0, 2));
    }
    size_t count() { return w->m_roidb->count(); }
};

TEST_F(SetsTest, CleanUpRightAfterReadingDeletesEverything)
{
    w->pushButton_clean_clicked();
    EXPECT_EQ(count(), 0u);
    EXPECT_EQ(w->m_time_point, 2) << "the view follows the work to the last time point";
}

TEST_F(SetsTest, CleanUpKeepsRoisTrackedBothWays)
{
    w->m_fwd_roi_set = {a, b, c};
    w->m_bwd_roi_set = {a, c, d};
    w->pushButton_clean_clicked();
    EXPECT_EQ(count(), 2u);
    EXPECT_EQ(w->m_roidb->find_plus(a).outline(), "22330011");
    EXPECT_EQ(w->m_roidb->find_plus(c).outline(), "22330011");
    EXPECT_EQ(w->m_roidb->find_plus(b).outline(), "") << "forward only";
    EXPECT_EQ(w->m_fwd_roi_set.size(), 3u) << "the tracking sets stay";
}

// Painting between two ROIs of the walk moves the database's shared cursor;
// the walk keeps its own, so no plane is left half cleaned.
TEST_F(SetsTest, CleanUpIsNotDisturbedByPaintingMeanwhile)
{
    std::string text = "s\n";
    for (int i = 0; i < 40; ++i)
        text += std::to_string(2 + 3 * i) + " 50 1 0 2301\n" + std::to_string(2 + 3 * i) + " 60 0 0 2301\n";
    write("many.roi", text);
    read_rois("many.roi");
    w->setMaxFocalPlane(1);
    int paints = 0;
    QTimer painter;
    QObject::connect(&painter, &QTimer::timeout, [&] {
        ++paints;
        w->dirty = true;
        w->repaint();
    });
    painter.start(0);
    w->pushButton_clean_clicked();
    painter.stop();
    EXPECT_EQ(w->m_roidb->count(), 0u);
}

TEST_F(SetsTest, DropFalsePositivesTwice)
{
    w->m_removed_roi_set = {a, d};
    q_roiimg *raster = nullptr;
    // The test keeps a raster across a command, as a running command would.
    const q_roiimgdb::pin keep = w->m_q_roiimgdb->hold();
    {
        roi r = w->m_roidb->find_plus(a);
        raster = w->m_q_roiimgdb->qrimg(r);
    }
    w->pushButton_drop_false_positive_clicked();
    EXPECT_EQ(count(), 2u);
    EXPECT_EQ(w->m_removed_roi_set.size(), 2u) << "the marks stay";
    EXPECT_FALSE(w->m_q_roiimgdb->holds(a)) << "the raster of a deleted ROI is dropped";
    EXPECT_EQ(raster->size(), 4) << "and stays valid while it is held";
    w->pushButton_drop_false_positive_clicked();
    EXPECT_EQ(count(), 2u);
}

TEST_F(SetsTest, ResetForgetsTrackingAndUnitsButKeepsTheSelection)
{
    w->m_selected_roi_set = {a};
    w->m_removed_roi_set = {b};
    w->m_fwd_roi_set = {a, c};
    w->m_head_members.emplace(a, a);
    w->m_members_head.emplace(a, a);
    w->m_linkage_multimap.emplace(c, a);
    w->m_lineage_mode_roi_set = {a};
    w->pushButton_reset_clicked();
    EXPECT_EQ(w->m_selected_roi_set.size(), 1u);
    EXPECT_EQ(w->m_removed_roi_set.size(), 1u);
    EXPECT_EQ(w->m_lineage_mode_roi_set.size(), 1u);
    EXPECT_TRUE(w->m_fwd_roi_set.empty());
    EXPECT_TRUE(w->m_head_members.empty());
    EXPECT_TRUE(w->m_linkage_multimap.empty());
}

TEST_F(SetsTest, SelectAllCoversTheRange)
{
    w->m_selected_roi_set = {"stale"};
    w->pushButton_select_all_clicked();
    EXPECT_EQ(w->m_selected_roi_set, (std::set<std::string>{a, b, c, d}));
    w->setMaxTimePoint(1);
    w->pushButton_select_all_clicked();
    EXPECT_EQ(w->m_selected_roi_set.size(), 3u);
}

TEST_F(SetsTest, RestoreReplacesTheCurrentAndLaterTimePoints)
{
    write("later.roi", "s\n1 1 0 0 ignored\n7 7 0 1 2301\n7 7 0 3 233011\n");
    w->setCurrentTimePoint(1);
    chooser->open_answer = QString::fromStdString(path("later.roi"));
    w->pushButton_restore_clicked();
    EXPECT_EQ(chooser->last_object, "open file dialog");
    EXPECT_EQ(chooser->asked.back(), "Choose a filename to read");
    EXPECT_EQ(w->m_roidb->find_plus(a).outline(), "22330011") << "time point 0 untouched";
    EXPECT_EQ(w->m_roidb->find_plus(keygen(pos4i(1, 1, 0, 0))).outline(), "");
    EXPECT_EQ(w->m_roidb->find_plus(c).outline(), "") << "replaced by the file's time point 1";
    EXPECT_EQ(w->m_roidb->find_plus(keygen(pos4i(7, 7, 0, 1))).outline(), "2301");
    EXPECT_EQ(w->m_roidb->find_plus(d).outline(), "");
    EXPECT_EQ(w->m_max_time_point, 1) << "the range comes from the database: 2 was emptied, 3 skipped";

    ::testing::internal::CaptureStderr();
    chooser->open_answer = QString::fromStdString(path("gone.roi"));
    w->pushButton_restore_clicked();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "No such file or directory: " + path("gone.roi") + "\n");
}

TEST_F(SetsTest, InfoFilesRoundTripAndRefuseOtherDatasets)
{
    w->m_selected_roi_set = {c, a};
    chooser->save_answer = QString::fromStdString(path("s.info"));
    w->pushButton_save_info_clicked();
    EXPECT_EQ(slurp(path("s.info")), "NAME s\nSELECT " + a + "\nSELECT " + c + "\n");
    EXPECT_EQ(chooser->last_object, "save info-file");
    EXPECT_EQ(chooser->last_filter, "info file (*.info)");
    EXPECT_EQ(chooser->last_start, dir.path() + "/s.info");

    w->m_selected_roi_set.clear();
    chooser->open_answer = QString::fromStdString(path("s.info"));
    w->pushButton_read_info_clicked();
    EXPECT_EQ(w->m_selected_roi_set, (std::set<std::string>{a, c}));
    EXPECT_EQ(chooser->last_object, "open info-file");

    write("other.info", "NAME t\nSELECT " + b + "\n");
    chooser->open_answer = QString::fromStdString(path("other.info"));
    ::testing::internal::CaptureStderr();
    w->pushButton_read_info_clicked();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "different dataset\n");
    EXPECT_FALSE(w->isSelected(b));

    write("mixed.info", "NAME s\nFP " + b + "\nSELECT " + d + "\n");
    chooser->open_answer = QString::fromStdString(path("mixed.info"));
    w->pushButton_read_info_clicked();
    EXPECT_TRUE(w->isSelected(d));
    EXPECT_FALSE(w->isSelected(b)) << "an FP line in an info file is ignored";
}

TEST_F(SetsTest, FalsePositiveFilesRoundTrip)
{
    w->m_removed_roi_set = {b};
    chooser->save_answer = QString::fromStdString(path("s.fp"));
    w->pushButton_save_FP_clicked();
    EXPECT_EQ(slurp(path("s.fp")), "NAME s\nFP " + b + "\n");
    EXPECT_EQ(chooser->last_object, "save false-positive ROIs file");
    EXPECT_EQ(chooser->last_filter, "fp file (*.fp)");

    w->m_removed_roi_set.clear();
    write("sel-in.fp", "NAME s\nSELECT " + a + "\nFP " + b + "\n");
    chooser->open_answer = QString::fromStdString(path("sel-in.fp"));
    w->pushButton_read_FP_clicked();
    EXPECT_EQ(w->m_removed_roi_set, std::set<std::string>{b}) << "a SELECT line is ignored";
    EXPECT_EQ(count(), 4u) << "reading marks, it does not delete";
    EXPECT_EQ(chooser->last_object, "open fp-file");
}

TEST_F(SetsTest, DecliningTheOverwriteKeepsTheFileAndTheButton)
{
    write("keep.fp", "precious\n");
    chooser->save_answer = QString::fromStdString(path("keep.fp"));
    chooser->overwrite = false;
    w->pushButton_save_FP_clicked();
    EXPECT_EQ(slurp(path("keep.fp")), "precious\n");
    EXPECT_TRUE(w->pushButton_save_FP->isEnabled());
    write("keep.info", "precious\n");
    chooser->save_answer = QString::fromStdString(path("keep.info"));
    w->pushButton_save_info_clicked();
    EXPECT_EQ(slurp(path("keep.info")), "precious\n");
    EXPECT_TRUE(w->pushButton_save_info->isEnabled());
}

TEST_F(WindowTest, SetCommandsWithoutADatasetDoNothing)
{
    w->m_removed_roi_set = {"000000001001"};
    w->pushButton_clean_clicked();
    w->pushButton_drop_false_positive_clicked();
    w->pushButton_restore_clicked();
    w->pushButton_select_all_clicked();
    w->pushButton_reset_clicked();
    EXPECT_EQ(w->m_roidb, nullptr);
    EXPECT_TRUE(chooser->asked.empty()) << "restore asks nothing without a database";
}

// Restore reads its file whole before it changes anything: a file that
// cannot be read, or that belongs to another dataset, leaves every ROI and
// the database's name as they were.
TEST_F(SetsTest, RestoreFromAFailingOrForeignFileChangesNothing)
{
    const size_t before = w->m_roidb->count();
    const std::string name = w->m_roidb->name();
    QDir().mkpath(QString::fromStdString(path("folder.roi")));
    write("other.roi", "another\n1 1 0 0 2301\n");
    for (const char *file : {"folder.roi", "other.roi"}) {
        chooser->open_answer = QString::fromStdString(path(file));
        ::testing::internal::CaptureStderr();
        w->pushButton_restore_clicked();
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(w->m_roidb->count(), before) << file;
        EXPECT_EQ(w->m_roidb->name(), name) << file;
        if (std::string(file) == "other.roi")
            EXPECT_NE(err.find("different dataset"), std::string::npos) << err;
        else
            EXPECT_NE(err.find("Cannot open " + path(file)), std::string::npos) << err;
    }
}
