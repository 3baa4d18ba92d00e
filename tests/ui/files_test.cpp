// "Read ROIs" and "Save ROIs", the per-plane outline files, and commands
// arriving while a long operation runs.
#include "keygen.h"
#include "roidb_plus.h"
#include "window_fixture.h"

#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
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

    // A folder chosen as the file: the reader's message, and a usable (empty) dataset.
    QDir().mkpath(QString::fromStdString(path("folder.roi")));
    ::testing::internal::CaptureStderr();
    read_rois("folder.roi");
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("roidb: Cannot open"), std::string::npos);
    ASSERT_NE(w->m_roidb, nullptr);
    EXPECT_EQ(w->m_roidb->count(), 0u);
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
