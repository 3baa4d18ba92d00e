// The main window's frame: construction, start-up defaults, texts, shut-down.
#include "ImageDB.h"
#include "OXELBrowser.h"
#include "q_roiimgdb.h"
#include "body.h"
#include "recovery.h"
#include "roidb_plus.h"
#include "ui_oxelbrowser.h"
#include "unit_settings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QKeySequence>
#include <QShortcut>
#include <QUndoStack>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

#include <cstdlib> // std::getenv
#include <iostream>

// The collection of ten 22 x 22 icons, registered once with the first window.
static void register_images()
{
    Q_INIT_RESOURCE(images);
}

OXELBrowser::OXELBrowser(QWidget *parent, const char *name, Qt::WindowFlags fl)
    : QWidget(parent, fl), newVariable(0), m_auto_split(false), m_remove_lineage_mode(false),
      m_add_lineage_mode(false), dirty(false), m_show_tracked_rois_mode(false),
      m_lineage_mode(false), m_manual_elite(false), m_app(nullptr), m_max_focal_plane(0),
      m_min_focal_plane(0), m_max_time_point(0), m_min_time_point(0), m_roidb(nullptr),
      m_imgdb(nullptr), m_time_point(0), m_focal_plane(0), m_cache_time(10), m_auto(false),
      m_q_roiimgdb(nullptr), m_make_units(false), m_auto_make_units(false),
      m_show_centroid(false), m_merge_mode(false), m_split_mode(false), ui(new Ui::OXELBrowser),
      m_chooser(new DialogFileChooser), m_busy(false), m_paint_held(0), m_prev_t(-1), m_prev_z(-1),
      m_stop_requested(false), m_event_ms(0.0)
{
    register_images();
    setObjectName(name ? QString::fromLatin1(name) : QStringLiteral("OXELBrowser"));
    ui->setupUi(this);
    textLabel3 = ui->textLabel3;
    textLabel4 = ui->textLabel4;
    lineEdit_time_point = ui->lineEdit_time_point;
    lineEdit_focal_plane = ui->lineEdit_focal_plane;
    slider_focal_plane = ui->slider_focal_plane;
    slider_time_point = ui->slider_time_point;
    lineEdit_dataset = ui->lineEdit_dataset;
    frame_canvas = ui->frame_canvas;
    tabWidget_control_panel = ui->tabWidget_control_panel;
    file = ui->file;
    pushButton_read_roifile = ui->pushButton_read_roifile;
    pushButton_read_info = ui->pushButton_read_info;
    pushButton_save_info = ui->pushButton_save_info;
    pushButton_save_roifile = ui->pushButton_save_roifile;
    pushButton_drop_false_positive = ui->pushButton_drop_false_positive;
    pushButton_clean = ui->pushButton_clean;
    pushButton_restore = ui->pushButton_restore;
    pushButton_exit = ui->pushButton_exit;
    pushButton_read_FP = ui->pushButton_read_FP;
    pushButton_save_FP = ui->pushButton_save_FP;
    mainPage = ui->mainPage;
    pushButton_z = ui->pushButton_z;
    pushButton_stop = ui->pushButton_stop;
    pushButton_reset = ui->pushButton_reset;
    pushButton_select_all = ui->pushButton_select_all;
    pushButton_backward_tracking = ui->pushButton_backward_tracking;
    pushButton_auto = ui->pushButton_auto;
    pushButton_forward_tracking = ui->pushButton_forward_tracking;

    // Beside the designed commands: the unit-making pass and the export.
    connect(ui->pushButton_make_units, &QPushButton::clicked, this, [this] { makeUnits(); });
    connect(ui->pushButton_export, &QPushButton::clicked, this, [this] { exportCuration(); });
    // Keeping the work: the lineage file.
    connect(ui->pushButton_read_lineage, &QPushButton::clicked, this, [this] { readLineageFile(); });
    connect(ui->pushButton_save_lineage, &QPushButton::clicked, this, [this] { saveLineageFile(); });
    // Cutting falsely grouped units.
    connect(ui->pushButton_split, &QPushButton::clicked, this,
            &OXELBrowser::pushButton_split_clicked);
    connect(ui->pushButton_auto_split, &QPushButton::toggled, this,
            &OXELBrowser::pushButton_auto_split_toggled);
    m_outline_tracer = [](unsigned char *block, int width, int height, std::list<roi> &regions) {
        return makeROIsChecked(block, width, height, regions);
    };
    // Finding the errors: the review lists and the review queue.
    connect(ui->pushButton_dead_end, &QPushButton::clicked, this,
            &OXELBrowser::pushButton_dead_end_clicked);
    connect(ui->pushButton_unlinked_unit, &QPushButton::clicked, this,
            &OXELBrowser::pushButton_unlinked_unit_clicked);
    connect(ui->pushButton_review, &QPushButton::clicked, this,
            [this] { pushButton_review_clicked(); });
    // Undo and redo.
    m_undo = new QUndoStack(this);
    auto *undo_key = new QShortcut(QKeySequence::Undo, this);
    connect(undo_key, &QShortcut::activated, this, [this] { undo(); });
    for (const QKeySequence &keys : {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z),
                                     QKeySequence(Qt::CTRL | Qt::Key_Y)}) {
        auto *redo_key = new QShortcut(keys, this);
        connect(redo_key, &QShortcut::activated, this, [this] { redo(); });
    }
    // Typed numbers and names take effect when editing ends.
    connect(lineEdit_time_point, &QLineEdit::editingFinished, this,
            [this] { applyTypedTimePoint(); });
    connect(lineEdit_focal_plane, &QLineEdit::editingFinished, this,
            [this] { applyTypedFocalPlane(); });
    connect(lineEdit_dataset, &QLineEdit::editingFinished, this, [this] {
        if (lineEdit_dataset->text().isEmpty())
            setDataset(std::string());
    });
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);
    // The lineage tree window.
    connect(ui->pushButton_lineage_tree, &QPushButton::clicked, this,
            [this] { toggleLineageTree(); });
    // The rules of the unit pass.
    m_unit_options = loadUnitOptions();
    connect(ui->pushButton_unit_settings, &QPushButton::clicked, this, [this] {
        UnitSettingsDialog dialog(m_unit_options, this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        m_unit_options = dialog.options();
        saveUnitOptions(m_unit_options);
    });

    // The status line and progress below the tabs, the canvas' scroll bars,
    // and the designed geometry that resizing starts from.
    createStatusLine();
    layoutWindow();

    languageChange();
    resize(QSize(620, 878).expandedTo(minimumSizeHint()));
    init();
}

OXELBrowser::~OXELBrowser()
{
    // QWidget's destructor still deletes the children after this one has
    // run; a line edit losing the focus then emits editingFinished. Nothing
    // of this window may answer by then.
    if (QCoreApplication *app = QCoreApplication::instance())
        app->removeEventFilter(this);
    for (QObject *child : findChildren<QObject *>())
        disconnect(child, nullptr, this, nullptr);
    releaseStatusLine();
    destroy();
    delete ui;
}

void OXELBrowser::init()
{
    for (QWidget *w : {static_cast<QWidget *>(pushButton_auto),
                       static_cast<QWidget *>(pushButton_forward_tracking),
                       static_cast<QWidget *>(pushButton_backward_tracking),
                       static_cast<QWidget *>(pushButton_z), static_cast<QWidget *>(pushButton_stop),
                       static_cast<QWidget *>(pushButton_reset),
                       static_cast<QWidget *>(lineEdit_focal_plane),
                       static_cast<QWidget *>(lineEdit_time_point),
                       static_cast<QWidget *>(slider_time_point),
                       static_cast<QWidget *>(slider_focal_plane)})
        w->setEnabled(false);
    m_roidb = nullptr;
    m_imgdb = nullptr;
    m_q_roiimgdb = nullptr;
    initColors();
    m_time_point = 0;
    m_focal_plane = 0;

    m_dataset = "dataset";
    m_roi_ext = "fwd";
    m_dic_base = imageRoot();
    m_dataset1 = m_dataset2 = m_dataset3 = m_dataset;
    m_org_dir = "";
    m_img_head = "-img0";
    const char *lnk = std::getenv("OXELBROWSER_LNK_BASE");
    m_lnk_base = lnk && *lnk ? QString::fromLocal8Bit(lnk) : QStringLiteral("/var/lib/oxelbrowser/LNK_");
    m_roi_ext_dir = "/" + m_roi_ext + "/";
    m_roi_ext1 = m_roi_ext;
    m_img_base = m_dic_base + m_dataset1 + m_org_dir + m_dataset2 + m_img_head;
    m_roi_base = m_lnk_base + m_dataset3 + m_roi_ext_dir;

    setMinTimePoint(0);
    setMaxTimePoint(150);
    setMinFocalPlane(0);
    setMaxFocalPlane(default_max_focal_plane);
    m_cache_time = 10;
    setDataset(m_dataset.toStdString());
    setMouseTracking(true);
    frame_canvas->setMouseTracking(true);
}

void OXELBrowser::destroy()
{
    // A clean save and exit leaves no record of unsaved work behind; unsaved
    // work stays on record for the next read of its ROI file.
    if (m_recovery && !unsaved(part_rois | part_fp | part_lineage))
        m_recovery->discard();
    m_recovery.reset();
    pushButton_close_clicked();
}

QString OXELBrowser::imageRoot()
{
    const char *root = std::getenv("OXELBROWSER_IMAGE_ROOT");
    return root && *root ? QString::fromLocal8Bit(root) : QStringLiteral("/image");
}

QApplication *OXELBrowser::application()
{
    return m_app ? m_app : qobject_cast<QApplication *>(QCoreApplication::instance());
}

void OXELBrowser::letEventsRun()
{
    letEventsRunNow(true);
}

void OXELBrowser::letEventsRunNow(bool force)
{
    if (!application())
        return;
    if (!force && m_events_clock.isValid() && m_events_clock.elapsed() < 5)
        return;
    QElapsedTimer spent;
    spent.start();
    QCoreApplication::processEvents();
    m_event_ms += spent.nsecsElapsed() / 1e6;
    m_events_clock.start();
}

void OXELBrowser::repaintNow()
{
    repaint();
}

bool OXELBrowser::refusedAsBusy()
{
    if (!m_busy)
        return false;
    std::cerr << "Busy: the command is ignored; a running operation has not ended" << std::endl;
    return true;
}

bool OXELBrowser::beginBusy()
{
    if (refusedAsBusy())
        return false;
    m_busy = true;
    // A Stop pressed before this operation began is not meant for it.
    m_stop_requested = false;
    // The first chance of a long operation to let events run is always taken.
    m_events_clock.invalidate();
    return true;
}

void OXELBrowser::endBusy()
{
    m_busy = false;
}

void OXELBrowser::setApplication(QApplication *app)
{
    m_app = app;
}

void OXELBrowser::setMaxTimePoint(int t)
{
    m_max_time_point = t;
    slider_time_point->setMaximum(t);
}

void OXELBrowser::setMinTimePoint(int t)
{
    m_min_time_point = t;
    slider_time_point->setMinimum(t);
}

void OXELBrowser::setMaxFocalPlane(int z)
{
    m_max_focal_plane = z;
    slider_focal_plane->setMaximum(z);
}

void OXELBrowser::setMinFocalPlane(int z)
{
    m_min_focal_plane = z;
    slider_focal_plane->setMinimum(z);
}

void OXELBrowser::stopRunningOperation()
{
    m_stop_requested = true;
    pushButton_auto->setChecked(false);
    ui->pushButton_auto_split->setChecked(false);
}

void OXELBrowser::pushButton_exit_clicked()
{
    // A running operation is stopped without the question: its work so far
    // stays on record and is offered back at the next read.
    if (!m_busy) {
        if (!keepUnsavedWork(tr("Exit")))
            return;
        m_unsaved_answered = true;
    }
    // A running operation ends at its next step; the window closes after it.
    stopRunningOperation();
    if (QApplication *app = application())
        app->quit();
}

void OXELBrowser::closeEvent(QCloseEvent *e)
{
    // Closed from the title bar: a running operation ends at its next step,
    // so no loop runs on without a window.
    if (m_busy) {
        stopRunningOperation();
    } else if (!m_unsaved_answered && !keepUnsavedWork(tr("closing the window"))) {
        e->ignore();
        return;
    }
    QWidget::closeEvent(e);
}

void OXELBrowser::languageChange()
{
    ui->retranslateUi(this);
    setWindowTitle(tr("Dozoriz Izudavov"));
    tabWidget_control_panel->setTabText(tabWidget_control_panel->indexOf(file), tr("File"));
    tabWidget_control_panel->setTabText(tabWidget_control_panel->indexOf(mainPage), tr("KVR"));
}

void OXELBrowser::changeEvent(QEvent *e)
{
    if (e->type() == QEvent::LanguageChange)
        languageChange();
    QWidget::changeEvent(e);
}

// Keys of the canvas, whatever child of the window has the focus.
static bool is_window_key(int key)
{
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return true;
    switch (key) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_BracketLeft:
    case Qt::Key_BracketRight:
    case Qt::Key_Apostrophe:
    case Qt::Key_Plus:
    case Qt::Key_Minus:
    case Qt::Key_Equal:
    case Qt::Key_Home:
        return true;
    default:
        return false;
    }
}

bool OXELBrowser::isNumberFieldKey(QObject *watched, const QKeyEvent *e) const
{
    if (watched != lineEdit_time_point && watched != lineEdit_focal_plane)
        return false;
    const int key = e->key();
    return (key >= Qt::Key_0 && key <= Qt::Key_9) || key == Qt::Key_Backspace ||
           key == Qt::Key_Delete || key == Qt::Key_Home || key == Qt::Key_End ||
           key == Qt::Key_Return || key == Qt::Key_Enter;
}

// The number fields, the sliders and the buttons would otherwise swallow the
// canvas keys (letters, arrows) whenever they hold the focus. Digits and
// editing keys still reach the number fields, and everything reaches the
// dataset field, which is only open for typing while no dataset is.
bool OXELBrowser::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::KeyPress && watched != this) {
        auto *child = qobject_cast<QWidget *>(watched);
        auto *key = static_cast<QKeyEvent *>(e);
        const Qt::KeyboardModifiers chords =
            key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (child && child->window() == this && isAncestorOf(child) &&
            child != lineEdit_dataset && !chords && is_window_key(key->key()) &&
            !isNumberFieldKey(watched, key)) {
            keyPressEvent(key);
            return true;
        }
    }
    return QWidget::eventFilter(watched, e);
}

void OXELBrowser::setFileChooser(std::unique_ptr<FileChooser> chooser)
{
    m_chooser = std::move(chooser);
}
