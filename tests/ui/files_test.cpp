// "Read ROIs" and "Save ROIs", the per-plane outline files, and commands
// arriving while a long operation runs.
#include "keygen.h"
#include "roidb_plus.h"
#include "window_fixture.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <functional>
#include <sstream>

namespace {

void when_modal(std::function<void(QWidget *)> fn, int tries = 300)
{
    QTimer::singleShot(10, qApp, [fn, tries] {
        if (QWidget *m = QApplication::activeModalWidget())
            fn(m);
        else if (tries > 0)
            when_modal(fn, tries - 1);
    });
}

const char *two_time_points = "e1\n5 5 3 2 2301\n7 7 3 9 233011\n9 9 4 9 22330011\n";

} // namespace

TEST_F(WindowTest, ReadingAFileOpensItsDatasetAndRange)
{
    write("e1.roi", two_time_points);
    read_rois("e1.roi");
    ASSERT_NE(w->m_roidb, nullptr);
    EXPECT_EQ(w->m_dataset, "e1");
    EXPECT_EQ(w->lineEdit_dataset->text(), "e1");
    EXPECT_EQ(w->m_img_base.toStdString(), path("image") + "/e1/");
    EXPECT_EQ(w->m_min_time_point, 2);
    EXPECT_EQ(w->m_max_time_point, 9);
    EXPECT_EQ(w->m_time_point, 2) << "the slider's new minimum moves the position into the range";
    EXPECT_EQ(w->m_roidb->count(), 3u);
    EXPECT_TRUE(w->pushButton_forward_tracking->isEnabled());
    EXPECT_EQ(chooser->asked.back(), "Choose a filename to read");
    EXPECT_EQ(chooser->last_filter, "roi file (*.roi)");
    EXPECT_EQ(chooser->last_object, "open file dialog");
    EXPECT_EQ(chooser->last_start, dir.path() + "/dataset.roi");
}

TEST_F(WindowTest, SavingAndReadingBackKeepsEveryRoi)
{
    write("e1.roi", two_time_points);
    read_rois("e1.roi");
    chooser->save_answer = QString::fromStdString(path("copy.roi"));
    w->pushButton_save_roifile_clicked();
    EXPECT_EQ(slurp(path("copy.roi")), two_time_points);
    EXPECT_EQ(chooser->last_object, "save file dialog");
    EXPECT_EQ(chooser->asked.back(), "Choose a filename to save under");
    EXPECT_EQ(chooser->last_start, dir.path() + "/e1.roi");

    read_rois("copy.roi");
    EXPECT_EQ(w->m_dataset, "e1");
    EXPECT_EQ(w->m_roidb->find_plus(keygen(pos4i(9, 9, 4, 9))).outline(), "22330011");
}

TEST_F(WindowTest, DecliningTheOverwriteQuestionKeepsTheFile)
{
    write("e1.roi", two_time_points);
    read_rois("e1.roi");
    write("old.roi", "precious\n");
    chooser->save_answer = QString::fromStdString(path("old.roi"));
    chooser->overwrite = false;
    w->pushButton_save_roifile_clicked();
    EXPECT_EQ(slurp(path("old.roi")), "precious\n");
    EXPECT_TRUE(w->pushButton_save_roifile->isEnabled());
    EXPECT_EQ(chooser->asked.back(), "Overwrite File? -- OXELBrowser");
    EXPECT_EQ(chooser->last_question, "A file called " + QString::fromStdString(path("old.roi")) +
                                          " already exists. Do you want to overwrite it?");
    chooser->overwrite = true;
    w->pushButton_save_roifile->setEnabled(true);
    w->pushButton_save_roifile_clicked();
    EXPECT_EQ(slurp(path("old.roi")), two_time_points);
}

TEST_F(WindowTest, RealOverwriteQuestionAnsweredNo)
{
    write("e1.roi", two_time_points);
    read_rois("e1.roi");
    write("old.roi", "precious\n");
    w->setFileChooser(std::make_unique<DialogFileChooser>());
    const QString target = QString::fromStdString(path("old.roi"));
    QString question_caption, question_text;
    when_modal([&](QWidget *m) {
        auto *d = qobject_cast<QFileDialog *>(m);
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->objectName(), "save file dialog");
        EXPECT_EQ(d->windowTitle(), "Choose a filename to save under");
        // Typed into the name field, as a user would (a programmatic selection
        // does not reach the field while it has the focus).
        auto *name = d->findChild<QLineEdit *>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText(target);
        when_modal([&](QWidget *q) {
            auto *box = qobject_cast<QMessageBox *>(q);
            ASSERT_NE(box, nullptr);
            question_caption = box->windowTitle();
            question_text = box->text();
            box->reject();
        });
        static_cast<QDialog *>(d)->accept();
    });
    w->pushButton_save_roifile_clicked();
    EXPECT_EQ(question_caption, "Overwrite File? -- OXELBrowser");
    EXPECT_EQ(question_text.toStdString(),
              ("A file called " + target + " already exists. Do you want to overwrite it?").toStdString());
    EXPECT_EQ(slurp(path("old.roi")), "precious\n");
    EXPECT_TRUE(w->pushButton_save_roifile->isEnabled());
}

TEST_F(WindowTest, CancelledOrMissingFilesChangeNothing)
{
    write("e1.roi", two_time_points);
    read_rois("e1.roi");
    roidb_plus *open = w->m_roidb;

    chooser->open_answer = "";
    w->pushButton_read_roifile_clicked();
    EXPECT_EQ(w->m_roidb, open);

    ::testing::internal::CaptureStderr();
    read_rois("absent.roi");
    EXPECT_EQ(::testing::internal::GetCapturedStderr().rfind(
                  "No such file or directory: " + path("absent.roi") + "\n", 0),
              0u);
    EXPECT_EQ(w->m_roidb, open) << "the open dataset stays";
    EXPECT_EQ(w->m_dataset, "e1");

    chooser->save_answer = "";
    w->pushButton_save_roifile_clicked();
    EXPECT_TRUE(w->pushButton_save_roifile->isEnabled());

    // A folder chosen as the file, or a file naming no dataset: the open
    // dataset and its unsaved marks stay.
    w->m_removed_roi_set.insert("unsaved");
    QDir().mkpath(QString::fromStdString(path("folder.roi")));
    write("blank.roi", "   \n");
    write("slash.roi", "../up\n1 1 0 0 2301\n");
    for (const char *bad : {"folder.roi", "blank.roi", "slash.roi"}) {
        ::testing::internal::CaptureStderr();
        read_rois(bad);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("Cannot open " + path(bad)), std::string::npos) << err;
        EXPECT_EQ(w->m_roidb, open) << bad;
        EXPECT_EQ(w->m_roidb->count(), 3u);
        EXPECT_EQ(w->m_dataset, "e1");
        EXPECT_EQ(w->m_removed_roi_set.count("unsaved"), 1u);
    }
}

TEST_F(WindowTest, MissingFileBeforeAnyReadLeavesTheRange)
{
    ::testing::internal::CaptureStderr();
    read_rois("absent.roi");
    ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(w->m_roidb, nullptr);
    EXPECT_EQ(w->m_max_time_point, 150);
}

TEST_F(WindowTest, CommandLineFileOpensLikeReadRois)
{
    write("e1.roi", two_time_points);
    w->readRoiFile(QString::fromStdString(path("e1.roi")));
    ASSERT_NE(w->m_roidb, nullptr);
    EXPECT_EQ(w->m_dataset, "e1");
    EXPECT_EQ(w->m_max_time_point, 9);
}

TEST_F(WindowTest, PerPlaneOutlineFilesBuildTheDatabase)
{
    const char *header = "h1 h2 h3\n";
    write("LNK_dataset/fwd/000-001.fwd", std::string(header) +
                                             "c 1 2 3 4 0.5 6 7 COutline: 10 20 2301\n"
                                             "c 1 2 3 4 0.5 6 7 COutline: 0 0 2301\n"
                                             "c 1 2 3 4 0.5 6 7 Outline: 30 30 2301\n");
    write("LNK_dataset/fwd/001-000.fwd", std::string(header) + "c 1 2 3 4 0.5 6 7 COutline: 5 0 23\n");
    w->setMaxTimePoint(1);
    w->setMaxFocalPlane(1);
    ::testing::internal::CaptureStderr();
    w->pushButton_read_clicked();
    std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_NE(w->m_roidb, nullptr);
    EXPECT_EQ(w->m_roidb->count(), 2u) << "the ROI at (0, 0) and the unmarked record stay out";
    EXPECT_EQ(w->m_roidb->find_plus(keygen(pos4i(10, 20, 1, 0))).outline(), "2301");
    EXPECT_EQ(w->m_roidb->find_plus(keygen(pos4i(5, 0, 0, 1))).outline(), "23");
    EXPECT_NE(err.find("Cannot open " + path("LNK_") + "dataset/fwd/000-000.fwd"), std::string::npos);
}

// While the database is being built, events run; a "Read ROIs" arriving then
// must not free the database under the builder.
TEST_F(WindowTest, ReadArrivingDuringABuildIsIgnored)
{
    write("e1.roi", two_time_points);
    w->setMaxTimePoint(3);
    w->setMaxFocalPlane(3);
    chooser->open_answer = QString::fromStdString(path("e1.roi"));
    int fired = 0;
    QTimer::singleShot(0, w.get(), [&] {
        ++fired;
        EXPECT_TRUE(w->busy());
        w->pushButton_read_roifile_clicked();
        w->pushButton_read_clicked();
        w->pushButton_close_clicked();
    });
    ::testing::internal::CaptureStderr();
    w->pushButton_read_clicked();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(fired, 1);
    ASSERT_NE(w->m_roidb, nullptr);
    EXPECT_EQ(w->m_dataset, "dataset") << "the file was not read in the middle of the build";
    EXPECT_NE(err.find("Busy"), std::string::npos);
    EXPECT_FALSE(w->busy());
    read_rois("e1.roi");
    EXPECT_EQ(w->m_dataset, "e1") << "once the build is over the command works";
}

// Each read sets both ranges from its file: the planes widen to the file's
// highest (here 69), and the position ends inside the new time range even
// when the old one lay wholly after it.
TEST_F(WindowTest, EachReadSetsTheRangesAndKeepsThePositionInside)
{
    std::string late = "late\n";
    for (int t = 50; t <= 60; ++t)
        late += "5 5 69 " + std::to_string(t) + " 2301\n";
    write("late.roi", late);
    read_rois("late.roi");
    EXPECT_EQ(w->m_min_time_point, 50);
    EXPECT_EQ(w->m_max_focal_plane, 69);
    w->setCurrentFocalPlane(69);
    EXPECT_EQ(w->m_focal_plane, 69) << "the deepest plane can be shown";
    w->setCurrentTimePoint(60);

    write("early.roi", "early\n5 5 3 0 2301\n5 5 3 5 2301\n");
    read_rois("early.roi");
    EXPECT_EQ(w->m_min_time_point, 0);
    EXPECT_EQ(w->m_max_time_point, 5);
    EXPECT_EQ(w->m_time_point, 0);
    EXPECT_EQ(w->slider_time_point->value(), 0);
    EXPECT_EQ(w->lineEdit_time_point->text(), "0");
    EXPECT_EQ(w->m_max_focal_plane, 55) << "back to the usual planes";
    EXPECT_EQ(w->m_focal_plane, 20);
}

// Units on planes beyond 55 are grouped like any other.
TEST_F(WindowTest, MakeUnitsGroupsTheDeepPlanes)
{
    std::string deep = "deep\n";
    for (int t = 0; t <= 1; ++t)
        for (int z = 56; z <= 61; ++z)
            deep += "10 10 " + std::to_string(z) + " " + std::to_string(t) + " " +
                    std::string(6, '2') + std::string(6, '3') + std::string(6, '0') +
                    std::string(6, '1') + "\n";
    write("deep.roi", deep);
    read_rois("deep.roi");
    ::testing::internal::CaptureStdout();
    w->makeUnits();
    ::testing::internal::GetCapturedStdout();
    const std::string head0 = keygen(pos4i(10, 10, 56, 0));
    EXPECT_EQ(w->units(0), std::set<std::string>{head0});
    EXPECT_EQ(w->member(head0).size(), 6u);
    EXPECT_EQ(w->m_linkage_multimap.size(), 1u);
}

// A dataset name must read back from every file that holds it and stay
// inside the image root: names with white space or '/' are refused where
// they are typed, and an emptied field gets the old name back.
TEST_F(WindowTest, TheDatasetFieldRefusesNamesThatWouldNotReadBack)
{
    for (const char *bad : {"two words", "../up", "a/b"}) {
        ::testing::internal::CaptureStderr();
        w->lineEdit_dataset->setText(bad);
        const std::string err = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(err.find("Dataset name \"" + std::string(bad) + "\""), std::string::npos) << err;
        EXPECT_EQ(w->m_dataset, "dataset");
        EXPECT_EQ(w->lineEdit_dataset->text(), "dataset");
    }
    w->lineEdit_dataset->setText("e7");
    EXPECT_EQ(w->m_dataset, "e7");
    EXPECT_EQ(w->m_dataset1, "e7");

    QApplication::setActiveWindow(w.get());
    w->lineEdit_dataset->setFocus();
    ASSERT_TRUE(w->lineEdit_dataset->hasFocus());
    w->lineEdit_dataset->clear();
    EXPECT_EQ(w->m_dataset, "e7") << "an emptied field is a name being typed";
    ::testing::internal::CaptureStderr();
    QTest::keyClick(w->lineEdit_dataset, Qt::Key_Return);
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("is empty"), std::string::npos);
    EXPECT_EQ(w->lineEdit_dataset->text(), "e7");

    // And no key file is saved under a name that would not read back.
    chooser->save_answer = QString::fromStdString(path("sel.info"));
    w->m_dataset = "two words";
    ::testing::internal::CaptureStderr();
    w->pushButton_save_info_clicked();
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("Cannot save"), std::string::npos);
    EXPECT_FALSE(QFile::exists(chooser->save_answer));
}

// Typing "15" into the time field (range 2 to 19) shows 15 once editing
// ends, never 2 or 19 on the way.
TEST_F(WindowTest, TypedNumbersTakeEffectWhenEditingEnds)
{
    write("span.roi", "span\n5 5 3 2 2301\n5 5 3 19 2301\n");
    read_rois("span.roi");
    ASSERT_EQ(w->m_time_point, 2);
    QApplication::setActiveWindow(w.get());
    w->lineEdit_time_point->setFocus();
    ASSERT_TRUE(w->lineEdit_time_point->hasFocus());
    w->lineEdit_time_point->selectAll();
    QTest::keyClicks(w->lineEdit_time_point, "15");
    EXPECT_EQ(w->m_time_point, 2);
    EXPECT_EQ(w->lineEdit_time_point->text(), "15");
    QTest::keyClick(w->lineEdit_time_point, Qt::Key_Return);
    EXPECT_EQ(w->m_time_point, 15);
    EXPECT_EQ(w->slider_time_point->value(), 15);

    w->lineEdit_time_point->selectAll();
    QTest::keyClicks(w->lineEdit_time_point, "40");
    w->lineEdit_focal_plane->setFocus(); // leaving the field ends editing
    EXPECT_EQ(w->m_time_point, 19) << "clamped once editing ended";
    EXPECT_EQ(w->lineEdit_time_point->text(), "19");
}
