// The main window: start-up state, slot table, colours, navigation.
#include "colour_table.h"
#include "window_fixture.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>

TEST_F(WindowTest, StartsClosedWithItsDefaults)
{
    EXPECT_EQ(w->windowTitle(), "Dozoriz Izudavov");
    EXPECT_GE(w->width(), 620);
    EXPECT_GE(w->height(), 878);
    EXPECT_EQ(w->tabWidget_control_panel->currentWidget(), w->file);
    EXPECT_EQ(w->tabWidget_control_panel->tabText(0), "File");
    EXPECT_EQ(w->tabWidget_control_panel->tabText(1), "KVR");
    EXPECT_EQ(w->lineEdit_time_point->text(), "0");
    EXPECT_EQ(w->lineEdit_focal_plane->text(), "0");
    EXPECT_EQ(w->lineEdit_dataset->text(), "dataset");
    for (QWidget *off : {static_cast<QWidget *>(w->slider_time_point),
                         static_cast<QWidget *>(w->slider_focal_plane),
                         static_cast<QWidget *>(w->lineEdit_time_point),
                         static_cast<QWidget *>(w->lineEdit_focal_plane),
                         static_cast<QWidget *>(w->pushButton_auto),
                         static_cast<QWidget *>(w->pushButton_forward_tracking),
                         static_cast<QWidget *>(w->pushButton_backward_tracking),
                         static_cast<QWidget *>(w->pushButton_z),
                         static_cast<QWidget *>(w->pushButton_stop),
                         static_cast<QWidget *>(w->pushButton_reset)})
        EXPECT_FALSE(off->isEnabled()) << off->objectName().toStdString();
    EXPECT_TRUE(w->lineEdit_dataset->isEnabled());
    EXPECT_EQ(w->m_max_time_point, 150);
    EXPECT_EQ(w->m_max_focal_plane, 55);
    EXPECT_EQ(w->m_cache_time, 10);
    EXPECT_EQ(w->m_roidb, nullptr);
    EXPECT_EQ(w->m_img_base.toStdString(), path("image") + "datasetdataset-img0");
    EXPECT_EQ(w->m_roi_base.toStdString(), path("LNK_") + "dataset/fwd/");
    EXPECT_TRUE(w->hasMouseTracking());
    EXPECT_TRUE(w->frame_canvas->hasMouseTracking());
    EXPECT_EQ(w->objectName(), "OXELBrowser");
}

TEST_F(WindowTest, WidgetsSitWhereTheFormPutsThem)
{
    const struct {
        const char *name;
        QRect geometry;
    } widgets[] = {{"frame_canvas", {10, 10, 601, 601}},
                   {"slider_time_point", {150, 620, 450, 20}},
                   {"lineEdit_dataset", {135, 670, 355, 25}},
                   {"tabWidget_control_panel", {10, 710, 600, 150}},
                   {"pushButton_restore", {420, 20, 100, 80}},
                   {"pushButton_reset", {488, 54, 70, 40}}};
    for (const auto &c : widgets) {
        QWidget *found = w->findChild<QWidget *>(c.name);
        ASSERT_NE(found, nullptr) << c.name;
        EXPECT_EQ(found->geometry(), c.geometry) << c.name;
    }
    EXPECT_EQ(w->pushButton_restore->text(), "Restore ROIs\nin the later \ntime points\nfrom current");
    EXPECT_EQ(w->pushButton_drop_false_positive->text(), "Drop\nFP");
    EXPECT_TRUE(w->pushButton_auto->isCheckable());
    EXPECT_EQ(w->textLabel3->buddy(), w->tabWidget_control_panel);
    EXPECT_EQ(w->pushButton_clean->focusPolicy(), Qt::NoFocus);
    EXPECT_EQ(w->frame_canvas->focusPolicy(), Qt::StrongFocus);
    EXPECT_EQ(w->lineEdit_dataset->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
}

TEST_F(WindowTest, SlotTableKeepsItsOrder)
{
    const char *table[] = {
        "setApplication", "initColors", "setMaxTimePoint", "setMinTimePoint", "setMaxFocalPlane",
        "setMinFocalPlane", "build_roidb", "build_imgdb", "build_q_roiimgdb", "drawROI",
        "drawLineage", "myPaint", "paintEvent", "setCurrentTimePoint", "setCurrentFocalPlane",
        "timeNext", "timePrev", "focusUp", "focusDown", "setDataset", "setManualEliteMode",
        "setLineageMode", "setShowTrackedRoisMode", "setAddLineageMode", "setRemoveLineageMode",
        "setMergeMode", "setSplitMode", "keyPressEvent", "wheelEvent", "mousePressEvent",
        "manualSplit", "mouseMoveEvent", "lineEdit_time_point_textChanged", "read_common",
        "pushButton_read_clicked", "close_common", "pushButton_close_clicked",
        "lineEdit_dataset_textChanged", "lineEdit_focal_plane_textChanged",
        "slider_time_point_valueChanged", "slider_focal_plane_valueChanged",
        "pushButton_auto_toggled", "pushButton_exit_clicked", "pushButton_forward_tracking_clicked",
        "pushButton_backward_tracking_clicked", "do_zTracking", "pushButton_z_clicked",
        "forwardTracking", "backwardTracking", "zTracking", "checkAdjacentFocalPlane",
        "pushButton_stop_clicked", "pushButton_reload_config_file_clicked",
        "pushButton_reset_clicked", "pushButton_save_roifile_clicked", "pushButton_clean_clicked",
        "pushButton_read_roifile_clicked", "makeLinkage", "release_child", "link",
        "search_doubt_units", "mergeUnits", "pushButton_restore_clicked",
        "pushButton_select_all_clicked", "pushButton_read_info_clicked",
        "pushButton_save_info_clicked", "pushButton_auto_split_toggled",
        "pushButton_drop_false_positive_clicked", "view", "pushButton_split_clicked", "splitROI",
        "pushButton_dead_end_clicked", "pushButton_unlinked_unit_clicked",
        "pushButton_read_FP_clicked", "pushButton_save_FP_clicked", "languageChange"};
    const QMetaObject &mo = OXELBrowser::staticMetaObject;
    EXPECT_STREQ(mo.className(), "OXELBrowser");
    EXPECT_EQ(mo.superClass(), &QWidget::staticMetaObject);
    std::vector<QMetaMethod> own;
    for (int i = mo.methodOffset(); i < mo.methodCount(); ++i)
        own.push_back(mo.method(i));
    ASSERT_EQ(own.size(), 76u) << "76 slots and nothing else: no signals, no invokables";
    for (size_t i = 0; i < own.size(); ++i) {
        EXPECT_EQ(own[i].methodType(), QMetaMethod::Slot) << i;
        EXPECT_EQ(own[i].name().toStdString(), table[i]) << "slot " << i;
        EXPECT_EQ(own[i].access(), i == 75 ? QMetaMethod::Protected : QMetaMethod::Public) << i;
    }
    EXPECT_EQ(own[30].methodSignature(), "manualSplit(std::string,std::set<std::string>,int,int,int)");
    EXPECT_EQ(own[50].methodSignature(),
              "checkAdjacentFocalPlane(roi&,int,int,std::set<std::string>*,double,double)");
    EXPECT_EQ(own[70].methodSignature(),
              "splitROI(std::string,pos3d,pos3d,std::list<roi>&,std::list<roi>&)");
    EXPECT_EQ(mo.propertyCount(), QWidget::staticMetaObject.propertyCount());

    // Reachable by name: the time point moves through a meta-object call.
    w->setMaxTimePoint(9);
    w->read_common();
    ASSERT_TRUE(QMetaObject::invokeMethod(w.get(), "setCurrentTimePoint", Q_ARG(int, 7)));
    EXPECT_EQ(w->m_time_point, 7);
}

TEST_F(WindowTest, ButtonsReachTheirSlots)
{
    // The auto toggle is one of the form's connections.
    w->read_common();
    w->pushButton_auto->setChecked(true);
    EXPECT_TRUE(w->m_auto);
    w->pushButton_auto->setChecked(false);
    EXPECT_FALSE(w->m_auto);
    // Typing the dataset name goes through its text connection.
    w->close_common();
    w->lineEdit_dataset->setText("embryo7");
    EXPECT_EQ(w->m_dataset, "embryo7");
    EXPECT_EQ(w->m_dataset3, "embryo7");
}

TEST_F(WindowTest, IconsAreRegistered)
{
    for (const char *name : {"filenew", "fileopen", "filesave", "print", "undo", "redo", "editcut",
                             "editcopy", "editpaste", "searchfind"}) {
        QImage icon(QString(":/images/") + name);
        ASSERT_FALSE(icon.isNull()) << name;
        EXPECT_EQ(icon.size(), QSize(22, 22)) << name;
        EXPECT_TRUE(icon.hasAlphaChannel()) << name;
    }
}

TEST_F(WindowTest, BuiltInColoursWithoutAFile)
{
    EXPECT_EQ(w->color[0], QColor("#a8a8ff"));
    EXPECT_EQ(w->color[95], QColor("#8effef"));
    EXPECT_EQ(w->color[47], QColor("#000000"));
    EXPECT_EQ(w->color[5], QColor("#ffffff"));
    ::testing::internal::CaptureStderr();
    w->pushButton_reload_config_file_clicked();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Cannot find the config file in your home directory.\n");
    EXPECT_EQ(w->color[0], QColor("#a8a8ff"));
}

TEST_F(WindowTest, ColourFileFromHomeReplacesTheWholeTable)
{
    write("home/.oxelbrowser", "DEFAULT blue\n");
    open_window();
    EXPECT_EQ(w->color[0], QColor(0, 0, 255));
    EXPECT_EQ(w->color[95], QColor(255, 255, 255)) << "codes the file leaves out are white";

    write("home/.oxelbrowser", "SELECTED #00ff00 SELECTED #0000ff");
    w->pushButton_reload_config_file_clicked();
    EXPECT_EQ(w->color[31], QColor(0, 0, 255));
    EXPECT_EQ(w->color[0], QColor(255, 255, 255));
}

TEST(ColourFile, KeysCombineTheirStateNames)
{
    EXPECT_EQ(colour_table::code_of_key("FORWARD"), 1);
    EXPECT_EQ(colour_table::code_of_key("FORWARD_BACKWARD"), 3);
    EXPECT_EQ(colour_table::code_of_key("FORWARDBACKWARD"), 3);
    EXPECT_EQ(colour_table::code_of_key("SELECTEDHIGHLIGHT"), 95);
    EXPECT_EQ(colour_table::code_of_key("ELITE+HIGHLIGHT"), 79);
    EXPECT_EQ(colour_table::code_of_key("SELECTED/REMOVED"), 63);
    EXPECT_EQ(colour_table::code_of_key("HIGHLIGHT"), 64);
    EXPECT_EQ(colour_table::code_of_key("whatever"), 0);
    EXPECT_EQ(colour_table::code_of_key("forward"), 0) << "names are case-sensitive";
}

TEST(ColourFile, ColourWordsAreHexOrWindowSystemNames)
{
    EXPECT_EQ(colour_table::colour_of_word("#f00"), QColor(255, 0, 0));
    EXPECT_EQ(colour_table::colour_of_word("#00ff00"), QColor(0, 255, 0));
    EXPECT_EQ(colour_table::colour_of_word("#fff000000"), QColor(255, 0, 0));
    EXPECT_EQ(colour_table::colour_of_word("#ffff00000000"), QColor(255, 0, 0));
    EXPECT_FALSE(colour_table::colour_of_word("#ff00ff00").isValid()) << "eight digits are no X11 form";
    EXPECT_EQ(colour_table::colour_of_word("gray50"), QColor(127, 127, 127));
    EXPECT_EQ(colour_table::colour_of_word("LightSlateBlue"), QColor(132, 112, 255));
    EXPECT_EQ(colour_table::colour_of_word("gray"), QColor(190, 190, 190)) << "the X11 grey";
    EXPECT_FALSE(colour_table::colour_of_word("notacolour").isValid());
}

TEST(ColourFile, ContentCases)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/colours";
    QColor table[colour_table::size];
    auto load = [&](const char *text) {
        std::ofstream(path.toStdString()) << text;
        colour_table::builtin(table);
        return colour_table::load_file(path, table);
    };
    EXPECT_TRUE(load(""));
    for (const QColor &c : table)
        EXPECT_EQ(c, QColor(255, 255, 255));
    EXPECT_TRUE(load("DEFAULT #0000ff FORWARD"));
    EXPECT_EQ(table[0], QColor(0, 0, 255));
    EXPECT_EQ(table[1], QColor(255, 255, 255)) << "a final key without a colour is dropped";
    EXPECT_TRUE(load("HIGHLIGHT\n#123456\nFORWARDBACKWARD\t#654321"));
    EXPECT_EQ(table[64], QColor("#123456"));
    EXPECT_EQ(table[3], QColor("#654321"));
    EXPECT_TRUE(load("REMOVED bogus"));
    EXPECT_FALSE(table[47].isValid()) << "a bad colour name is stored as an invalid colour";
    colour_table::builtin(table);
    EXPECT_FALSE(colour_table::load_file(dir.path() + "/absent", table));
    EXPECT_EQ(table[0], QColor("#a8a8ff")) << "a missing file leaves the table";
}

TEST_F(WindowTest, PositionIsClampedSteppedAndTyped)
{
    w->read_common();
    EXPECT_EQ(w->m_time_point, 0);
    EXPECT_EQ(w->m_focal_plane, 20);
    w->setCurrentTimePoint(-5);
    EXPECT_EQ(w->m_time_point, 0);
    w->setCurrentTimePoint(400);
    EXPECT_EQ(w->m_time_point, 150);
    EXPECT_EQ(w->slider_time_point->value(), 150);
    EXPECT_EQ(w->lineEdit_time_point->text(), "150");
    w->timeNext();
    EXPECT_EQ(w->m_time_point, 150) << "no step past the last time point";
    w->timePrev();
    EXPECT_EQ(w->m_time_point, 149);

    w->setCurrentFocalPlane(0);
    w->focusUp();
    EXPECT_EQ(w->m_focal_plane, 0) << "no step above the lowest plane";
    w->focusDown();
    EXPECT_EQ(w->m_focal_plane, 1);

    w->lineEdit_time_point->setText("abc");
    EXPECT_EQ(w->m_time_point, 149) << "a word keeps the position";
    w->lineEdit_time_point->setText("42");
    EXPECT_EQ(w->m_time_point, 42);
    EXPECT_EQ(w->slider_time_point->value(), 42);
    w->lineEdit_time_point->setText("");
    EXPECT_EQ(w->m_time_point, 0) << "an empty field goes to time point 0";
    w->lineEdit_focal_plane->setText("999");
    EXPECT_EQ(w->m_focal_plane, 55);
    w->slider_focal_plane->setValue(12);
    EXPECT_EQ(w->m_focal_plane, 12);
    EXPECT_EQ(w->lineEdit_focal_plane->text(), "12");
}

TEST_F(WindowTest, OpeningResetsStateAndClosingFreesIt)
{
    w->setMaxFocalPlane(10);
    w->m_selected_roi_set.insert("000000000000");
    w->m_linkage_multimap.emplace("a", "b");
    w->m_falsely_grouped_units_candidates.insert("kept");
    w->m_auto = true;
    w->read_common();
    EXPECT_EQ(w->m_focal_plane, 10) << "plane 20 clamped to a range ending at 10";
    EXPECT_TRUE(w->m_selected_roi_set.empty());
    EXPECT_TRUE(w->m_linkage_multimap.empty());
    EXPECT_EQ(w->m_falsely_grouped_units_candidates.size(), 1u);
    EXPECT_FALSE(w->m_auto);
    EXPECT_FALSE(w->lineEdit_dataset->isEnabled());
    EXPECT_TRUE(w->pushButton_forward_tracking->isEnabled());

    w->build_imgdb();
    w->build_q_roiimgdb();
    w->close_common();
    EXPECT_EQ(w->m_imgdb, nullptr);
    EXPECT_EQ(w->m_q_roiimgdb, nullptr);
    EXPECT_TRUE(w->lineEdit_dataset->isEnabled());
    EXPECT_FALSE(w->pushButton_z->isEnabled());
    EXPECT_TRUE(w->slider_time_point->isEnabled()) << "closing leaves the sliders enabled";
    EXPECT_EQ(w->m_focal_plane, 0);
}
