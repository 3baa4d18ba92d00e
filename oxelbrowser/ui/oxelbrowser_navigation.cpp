// Position, ranges, dataset name, and opening and closing a dataset.
#include "ImageDB.h"
#include "OXEL_roiio"
#include "OXELBrowser.h"
#include "recovery.h"
#include "dataset_name.h"
#include "keygen.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

#include <QCoreApplication>
#include <QFrame>
#include <QSettings>
#include <QSignalBlocker>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>

#include <iostream>

namespace {

int clamp_to(int v, int low, int high)
{
    if (v < low)
        return low;
    if (v > high)
        return high;
    return v;
}

// Writes the number only when the text differs, so the field's change signal
// does not lead back here for nothing.
void show_number(QLineEdit *field, int v)
{
    const QString text = QString::number(v);
    if (field->text() != text)
        field->setText(text);
}

// A cache's memory budget from the settings ("cache/images" and
// "cache/rasters", in MiB), else its default.
size_t cache_budget(const char *key, size_t fallback)
{
    const QString org = QCoreApplication::organizationName();
    const QString app = QCoreApplication::applicationName();
    const QSettings settings(org.isEmpty() ? QStringLiteral("oxelbrowser") : org,
                             app.isEmpty() ? QStringLiteral("oxelbrowser") : app);
    bool ok = false;
    const qlonglong mib = settings.value(QString::fromLatin1(key)).toLongLong(&ok);
    if (!ok || mib <= 0)
        return fallback;
    return static_cast<size_t>(mib) << 20;
}

} // namespace

// The slider's and the field's change signals would only lead back here with
// the same value (and render the plane again each time), so they are held
// back while the setter shows the new position.
void OXELBrowser::setCurrentTimePoint(int t)
{
    m_time_point = clamp_to(t, m_min_time_point, m_max_time_point);
    {
        const QSignalBlocker slider(slider_time_point), field(lineEdit_time_point);
        slider_time_point->setValue(m_time_point);
        show_number(lineEdit_time_point, m_time_point);
    }
    dirty = true;
    repaintNow();
}

void OXELBrowser::setCurrentFocalPlane(int z)
{
    m_focal_plane = clamp_to(z, m_min_focal_plane, m_max_focal_plane);
    {
        const QSignalBlocker slider(slider_focal_plane), field(lineEdit_focal_plane);
        slider_focal_plane->setValue(m_focal_plane);
        show_number(lineEdit_focal_plane, m_focal_plane);
    }
    dirty = true;
    repaintNow();
}

void OXELBrowser::timeNext()
{
    if (m_time_point + 1 <= m_max_time_point)
        setCurrentTimePoint(m_time_point + 1);
}

void OXELBrowser::timePrev()
{
    if (m_time_point - 1 >= m_min_time_point)
        setCurrentTimePoint(m_time_point - 1);
}

void OXELBrowser::focusUp()
{
    if (m_focal_plane > m_min_focal_plane)
        setCurrentFocalPlane(m_focal_plane - 1);
}

void OXELBrowser::focusDown()
{
    if (m_focal_plane < m_max_focal_plane)
        setCurrentFocalPlane(m_focal_plane + 1);
}

void OXELBrowser::slider_time_point_valueChanged(int v)
{
    setCurrentTimePoint(v);
}

void OXELBrowser::slider_focal_plane_valueChanged(int v)
{
    setCurrentFocalPlane(v);
}

// A number parsed from a field: 0 when it is empty, the old value when it
// does not parse.
static int typed_number(const QString &text, int old)
{
    if (text.isEmpty())
        return 0;
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    return ok ? v : old;
}

// While the user types into a field, the view waits for the end of editing
// (Return or leaving the field): "15" must not show 1 on its way.
void OXELBrowser::lineEdit_time_point_textChanged(const QString &text)
{
    if (lineEdit_time_point->hasFocus())
        return;
    setCurrentTimePoint(
        clamp_to(typed_number(text, m_time_point), m_min_time_point, m_max_time_point));
}

void OXELBrowser::lineEdit_focal_plane_textChanged(const QString &text)
{
    if (lineEdit_focal_plane->hasFocus())
        return;
    setCurrentFocalPlane(typed_number(text, m_focal_plane));
}

void OXELBrowser::applyTypedTimePoint()
{
    setCurrentTimePoint(clamp_to(typed_number(lineEdit_time_point->text(), m_time_point),
                                 m_min_time_point, m_max_time_point));
}

void OXELBrowser::applyTypedFocalPlane()
{
    setCurrentFocalPlane(typed_number(lineEdit_focal_plane->text(), m_focal_plane));
}

// A name that would not read back from the files that hold it, or would lead
// outside the image root, is refused; the field shows the name kept.
void OXELBrowser::setDataset(std::string name)
{
    const std::string problem = dataset_name_problem(name);
    if (!problem.empty()) {
        std::cerr << "Dataset name \"" << name << "\" " << problem << "; \""
                  << m_dataset.toStdString() << "\" is kept" << std::endl;
        const QSignalBlocker field(lineEdit_dataset);
        lineEdit_dataset->setText(m_dataset);
        return;
    }
    m_dataset = QString::fromStdString(name);
    if (lineEdit_dataset->text() != m_dataset)
        lineEdit_dataset->setText(m_dataset);
    dirty = true;
    repaintNow();
}

void OXELBrowser::lineEdit_dataset_textChanged(const QString &text)
{
    // An empty field is a name being typed; editing ends with a name or the old one.
    if (text.isEmpty() && lineEdit_dataset->hasFocus())
        return;
    setDataset(text.toStdString());
    if (m_dataset == text)
        m_dataset1 = m_dataset2 = m_dataset3 = text;
}

std::string OXELBrowser::make_img_base(std::string name)
{
    return imageRoot().toStdString() + "/" + name + "/";
}

std::string OXELBrowser::digit3(int a)
{
    return ::digit3(a);
}

void OXELBrowser::pushButton_auto_toggled(bool on)
{
    m_auto = on;
}

void OXELBrowser::read_common()
{
    setCurrentTimePoint(0);
    setCurrentFocalPlane(20);
    m_auto = m_auto_make_units = m_make_units = m_manual_elite = m_lineage_mode = false;
    m_show_tracked_rois_mode = m_add_lineage_mode = m_remove_lineage_mode = m_auto_split = false;
    m_show_centroid = m_merge_mode = m_split_mode = dirty = false;
    // What the window shows matches the cleared flags: Auto up, no mode cursor.
    {
        const QSignalBlocker auto_button(pushButton_auto);
        pushButton_auto->setChecked(false);
    }
    unsetCursor();
    m_selected_roi_set.clear();
    m_removed_roi_set.clear();
    m_mouse_over_roi_set.clear();
    m_fwd_roi_set.clear();
    m_bwd_roi_set.clear();
    m_make_unit_roi_set.clear();
    m_smallest_enclosing_circle.clear();
    m_linkage_set.clear();
    m_lineage_mode_roi_set.clear();
    m_split_parents.clear();
    m_elite_head_roi_set.clear();
    m_head_members.clear();
    m_members_head.clear();
    m_linkage_multimap.clear();
    m_review_queue.clear();
    m_review_pos = -1;
    m_review_unit.clear();
    m_dismissed_units.clear();
    clearUndoHistory();
    lineageChanged();
    showReviewCount();
    lineEdit_dataset->setEnabled(false);
    for (QWidget *w : {static_cast<QWidget *>(lineEdit_focal_plane),
                       static_cast<QWidget *>(lineEdit_time_point),
                       static_cast<QWidget *>(slider_time_point),
                       static_cast<QWidget *>(slider_focal_plane),
                       static_cast<QWidget *>(pushButton_auto),
                       static_cast<QWidget *>(pushButton_forward_tracking),
                       static_cast<QWidget *>(pushButton_backward_tracking),
                       static_cast<QWidget *>(pushButton_z), static_cast<QWidget *>(pushButton_reset),
                       static_cast<QWidget *>(pushButton_stop)})
        w->setEnabled(true);
}

void OXELBrowser::close_common()
{
    for (QWidget *w : {static_cast<QWidget *>(lineEdit_focal_plane),
                       static_cast<QWidget *>(lineEdit_time_point),
                       static_cast<QWidget *>(pushButton_auto),
                       static_cast<QWidget *>(pushButton_forward_tracking),
                       static_cast<QWidget *>(pushButton_backward_tracking),
                       static_cast<QWidget *>(pushButton_z), static_cast<QWidget *>(pushButton_reset),
                       static_cast<QWidget *>(pushButton_stop)})
        w->setEnabled(false);
    delete m_roidb;
    m_roidb = nullptr;
    delete m_imgdb;
    m_imgdb = nullptr;
    delete m_q_roiimgdb;
    m_q_roiimgdb = nullptr;
    lineEdit_dataset->setEnabled(true);
    setCurrentTimePoint(0);
    setCurrentFocalPlane(0);
    m_pix = QPixmap();
    frame_canvas->setAutoFillBackground(false);
    frame_canvas->setPalette(QPalette());
}

void OXELBrowser::pushButton_close_clicked()
{
    if (m_busy)
        return;
    close_common();
}

void OXELBrowser::build_imgdb()
{
    m_imgdb = new ImageDB(cache_budget("cache/images", ImageDB::default_budget));
    // A new dataset opens at 1:1, or whole if its images are larger than the canvas.
    m_view_fresh = true;
    m_image_size = QSize();
}

void OXELBrowser::build_q_roiimgdb()
{
    m_q_roiimgdb = new q_roiimgdb(cache_budget("cache/rasters", q_roiimgdb::default_budget));
}

void OXELBrowser::build_roidb()
{
    m_roidb = new roidb_plus(m_dataset.toStdString());
    roidb_plus *db = m_roidb;
    for (int t = m_min_time_point; t <= m_max_time_point && !m_stop_requested; ++t) {
        for (int z = m_min_focal_plane; z <= m_max_focal_plane && !m_stop_requested; ++z) {
            letEventsRun();
            const std::string name = m_roi_base.toStdString() + ::digit3(t) + "-" + ::digit3(z) +
                                     "." + m_roi_ext.toStdString();
            iroifstream in;
            in.open(name);
            if (in.fail()) {
                std::cerr << "Cannot open " << name << std::endl;
                continue;
            }
            in.seek_roi();
            // Each record starts from a default ROI: one the reader skips stays at (0, 0).
            for (;;) {
                roi r;
                in >> r;
                if (in.fail())
                    break;
                if (r.x() != 0 || r.y() != 0)
                    db->entry_plus(r);
            }
        }
    }
    if (m_stop_requested)
        std::cerr << "Reading the outline files stopped; the planes read so far are open"
                  << std::endl;
    dirty = true;
    repaintNow();
    letEventsRun();
}

void OXELBrowser::pushButton_read_clicked()
{
    if (refusedAsBusy() || !keepUnsavedWork(tr("Read")))
        return;
    if (!beginBusy())
        return;
    // Outline files have no ROI file to keep a record of unsaved work on.
    if (m_recovery)
        m_recovery->discard();
    m_recovery.reset();
    m_roi_path.clear();
    // The design builds over an open dataset; closing it first frees the old one.
    if (m_roidb || m_imgdb || m_q_roiimgdb)
        close_common();
    read_common();
    build_roidb();
    build_imgdb();
    build_q_roiimgdb();
    dirty = true;
    repaintNow();
    endBusy();
    letEventsRun();
}
