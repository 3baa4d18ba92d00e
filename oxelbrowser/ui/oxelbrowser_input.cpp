// Keys, wheel and mouse on the canvas, and the one-shot modes that decide
// what the next click on a ROI means.
#include "OXELBrowser.h"

#include <QFrame>
#include <QPushButton>
#include <QShowEvent>
#include <QTabBar>
#include <QTabWidget>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWheelEvent>

#include <cstdlib> // std::getenv
#include <iostream>

bool OXELBrowser::isSelected(std::string key)
{
    return m_selected_roi_set.count(key) != 0;
}

bool OXELBrowser::isFwdTracked(std::string key)
{
    return m_fwd_roi_set.count(key) != 0;
}

bool OXELBrowser::isBwdTracked(std::string key)
{
    return m_bwd_roi_set.count(key) != 0;
}

// A mode keeps the cursor from before it began and shows the pointing hand
// while it is on.
void OXELBrowser::switchMode(bool &flag, QCursor &prev_cursor, bool on)
{
    if (!flag)
        prev_cursor = cursor();
    flag = on;
    if (on)
        setCursor(Qt::PointingHandCursor);
    else
        setCursor(prev_cursor);
}

void OXELBrowser::setManualEliteMode(bool on)
{
    switchMode(m_manual_elite, m_mode_cursor[0], on);
}

void OXELBrowser::setLineageMode(bool on)
{
    switchMode(m_lineage_mode, m_mode_cursor[1], on);
}

void OXELBrowser::setShowTrackedRoisMode(bool on)
{
    m_show_tracked_rois_mode = on;
}

void OXELBrowser::setAddLineageMode(bool on)
{
    switchMode(m_add_lineage_mode, m_mode_cursor[2], on);
}

void OXELBrowser::setRemoveLineageMode(bool on)
{
    switchMode(m_remove_lineage_mode, m_mode_cursor[3], on);
}

void OXELBrowser::setMergeMode(bool on)
{
    switchMode(m_merge_mode, m_mode_cursor[4], on);
}

void OXELBrowser::setSplitMode(bool on)
{
    if (!on)
        m_split_parents.clear();
    switchMode(m_split_mode, m_mode_cursor[5], on);
}

void OXELBrowser::keyPressEvent(QKeyEvent *e)
{
    switch (e->key()) {
    case Qt::Key_A:
        if (!m_lineage_mode_roi_set.empty())
            setAddLineageMode(!m_add_lineage_mode);
        break;
    case Qt::Key_C:
        m_show_centroid = !m_show_centroid;
        dirty = true;
        repaintNow();
        break;
    case Qt::Key_D:
    case Qt::Key_Left:
        if (!m_auto)
            timePrev();
        break;
    case Qt::Key_E:
        setLineageMode(false);
        setManualEliteMode(!m_manual_elite);
        break;
    case Qt::Key_F:
    case Qt::Key_Right:
        if (!m_auto)
            timeNext();
        break;
    case Qt::Key_L:
    case Qt::Key_W:
        setManualEliteMode(false);
        if (!m_lineage_mode) {
            setLineageMode(true);
        } else {
            setLineageMode(false);
            m_lineage_mode_roi_set.clear();
            setAddLineageMode(false);
            setRemoveLineageMode(false);
            dirty = true;
            repaintNow();
        }
        break;
    case Qt::Key_M:
    case Qt::Key_X:
        setMergeMode(!m_merge_mode);
        break;
    case Qt::Key_R:
        setRemoveLineageMode(!m_remove_lineage_mode);
        break;
    case Qt::Key_S:
        if (!m_lineage_mode_roi_set.empty())
            setSplitMode(!m_split_mode);
        break;
    case Qt::Key_T:
        setShowTrackedRoisMode(!m_show_tracked_rois_mode);
        dirty = true;
        repaintNow();
        break;
    case Qt::Key_Z:
        do_zTracking();
        break;
    case Qt::Key_U:
        makeUnits();
        break;
    case Qt::Key_K:
        linkCurrentTimePoint();
        break;
    case Qt::Key_G:
        // Moving the view under a running operation would move its work too.
        if (!m_lineage_mode_roi_set.empty() && !refusedAsBusy())
            view(*m_lineage_mode_roi_set.begin());
        break;
    case Qt::Key_B:
        pushButton_dead_end_clicked();
        break;
    case Qt::Key_O:
        pushButton_unlinked_unit_clicked();
        break;
    case Qt::Key_N:
        reviewStep(+1);
        break;
    case Qt::Key_P:
        reviewStep(-1);
        break;
    case Qt::Key_I:
        dismissReviewUnit();
        break;
    case Qt::Key_Up:
        focusUp();
        break;
    case Qt::Key_Down:
        focusDown();
        break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        zoomCanvas(+1, viewportRect().center());
        break;
    case Qt::Key_Minus:
        zoomCanvas(-1, viewportRect().center());
        break;
    case Qt::Key_Home:
        fitCanvas();
        break;
    default:
        lineageTreeKey(e->key());
        break;
    }
    traceInput();
    letEventsRun();
}

// Ctrl and the wheel zoom about the pointer; Shift and the wheel, or a
// sideways wheel, scroll the image; the plain wheel changes the plane.
void OXELBrowser::wheelEvent(QWheelEvent *e)
{
    if (!m_imgdb)
        return;
    const QPoint delta = e->angleDelta();
    if (e->modifiers() & Qt::ControlModifier) {
        const int step = delta.y() != 0 ? delta.y() : delta.x();
        if (step == 0)
            return;
        const QPoint at = e->position().toPoint() - frame_canvas->pos();
        zoomCanvas(step > 0 ? +1 : -1,
                   viewportRect().contains(at) ? at : viewportRect().center());
        letEventsRun();
        return;
    }
    if ((e->modifiers() & Qt::ShiftModifier) || (delta.y() == 0 && delta.x() != 0)) {
        // One notch (120) scrolls a tenth of the canvas.
        const QSize v = m_view.viewport();
        const bool sideways = delta.y() == 0;
        const int notch = sideways ? delta.x() : delta.y();
        const int by = -notch * (sideways ? v.width() : v.height()) / 1200;
        scrollCanvas(sideways ? QPoint(by, 0) : QPoint(0, by));
        letEventsRun();
        return;
    }
    // Only a vertical wheel step changes the plane.
    const int step = delta.y();
    if (step == 0)
        return;
    if (step > 0)
        focusUp();
    else
        focusDown();
    letEventsRun();
}

// The head of key's unit; a ROI outside every unit is reported and gives
// an empty string, so that "N/A" never reaches an operation on units.
std::string OXELBrowser::unitOf(const std::string &key)
{
    const std::string h = head(key);
    if (h != "N/A")
        return h;
    std::cerr << "roi(" << key << ") belongs to no unit" << std::endl;
    return std::string();
}

// With $OXELBROWSER_TRACE_INPUT set, each key and press is followed by one
// line of what the window then shows, and the window's buttons and tabs are
// listed once when it first shows, for scripts that drive the browser.
bool OXELBrowser::tracingInput()
{
    static const bool on = [] {
        const char *v = std::getenv("OXELBROWSER_TRACE_INPUT");
        return v && *v && std::string(v) != "0";
    }();
    return on;
}

void OXELBrowser::traceInput()
{
    if (!tracingInput())
        return;
    std::cout << "view t=" << m_time_point << " z=" << m_focal_plane
              << " selected=" << m_selected_roi_set.size()
              << " removed=" << m_removed_roi_set.size()
              << " elite=" << m_elite_head_roi_set.size() << " zoom=" << m_view.zoom()
              << " scroll=" << m_view.scroll().x() << "," << m_view.scroll().y() << std::endl;
}

void OXELBrowser::showEvent(QShowEvent *e)
{
    QWidget::showEvent(e);
    static bool listed = false;
    if (!tracingInput() || listed)
        return;
    listed = true;
    // Centres in window coordinates, where a click lands on the widget.
    for (const QPushButton *button : findChildren<QPushButton *>()) {
        const QRect r(button->mapTo(this, QPoint(0, 0)), button->size());
        std::cout << "widget " << button->objectName().toStdString() << " " << r.center().x()
                  << " " << r.center().y() << std::endl;
    }
    QTabBar *tabs = tabWidget_control_panel->tabBar();
    for (int i = 0; i < tabs->count(); ++i) {
        const QRect r(tabs->mapTo(this, tabs->tabRect(i).topLeft()), tabs->tabRect(i).size());
        std::cout << "tab " << tabs->tabText(i).toStdString() << " " << r.center().x() << " "
                  << r.center().y() << std::endl;
    }
    // Where the canvas' top-left corner lies in the window.
    std::cout << "canvas " << frame_canvas->x() << " " << frame_canvas->y() << std::endl;
}

void OXELBrowser::mouseMoveEvent(QMouseEvent *e)
{
    if (!m_roidb || !m_q_roiimgdb)
        return;
    QPoint p;
    if (!imagePoint(e->position(), p))
        return;
    if (!m_mouse_over_roi_set.empty()) {
        m_mouse_over_roi_set.clear();
        dirty = true;
    }
    const std::string key = xyROI(p.x(), p.y());
    if (!key.empty()) {
        m_mouse_over_roi_set.insert(key);
        dirty = true;
    }
    repaintNow();
    letEventsRun();
}

void OXELBrowser::mousePressEvent(QMouseEvent *e)
{
    if (!m_roidb)
        return;
    // Presses beside the canvas pick nothing, even where a large image goes on;
    // on the canvas they land on the image pixel shown under the pointer.
    QPoint p;
    if (!imagePoint(e->position(), p))
        return;
    const std::string key = xyROI(p.x(), p.y());
    const bool left = e->button() == Qt::LeftButton;
    const std::string L = m_lineage_mode_roi_set.empty() ? std::string() : *m_lineage_mode_roi_set.begin();
    const bool editing = m_manual_elite || m_lineage_mode || m_remove_lineage_mode ||
                         m_add_lineage_mode || m_merge_mode || m_split_mode;

    if (key.empty() && !m_split_mode) {
        // nothing under the pointer
    } else if (editing && m_busy) {
        // Units and links must not change under a running operation.
        refusedAsBusy();
    } else if (m_manual_elite) {
        if (left) {
            const std::string h = unitOf(key);
            if (!h.empty()) {
                const EditScope edit(*this, "Elite mark");
                lineage::set_elite(m_units, h, !isElite(h));
            }
            lineageChanged();
            setManualEliteMode(false);
        }
    } else if (m_lineage_mode) {
        if (left) {
            const std::string h = unitOf(key);
            if (!h.empty()) {
                m_lineage_mode_roi_set.clear();
                m_lineage_mode_roi_set.insert(h);
            }
            setLineageMode(false);
        }
    } else if (m_remove_lineage_mode) {
        if (left) {
            const std::string h = unitOf(key);
            if (!h.empty()) {
                m_lineage_mode_roi_set.clear();
                m_lineage_mode_roi_set.insert(h);
                const EditScope edit(*this, "Remove links");
                for (const std::string &parent : parents(h))
                    release_child(parent, h);
            }
            setRemoveLineageMode(false);
        }
    } else if (m_add_lineage_mode) {
        if (left) {
            const std::string h = unitOf(key);
            if (!h.empty() && !L.empty())
                link(h, L);
            setAddLineageMode(false);
        }
    } else if (m_merge_mode) {
        if (left) {
            const std::string h = unitOf(key);
            const std::string hl = L.empty() ? std::string() : unitOf(L);
            if (!h.empty() && !hl.empty())
                mergeUnits(hl, h);
            setMergeMode(false);
        }
    } else if (m_split_mode) {
        if (m_split_parents.size() >= 2) {
            // Without a lineage root there is nothing to split: the mode ends.
            if (!L.empty())
                manualSplit(L, m_split_parents, p.x(), p.y(), m_focal_plane);
            m_split_parents.clear();
            setSplitMode(false);
        } else if (left && !key.empty()) {
            const std::string h = unitOf(key);
            if (!h.empty())
                m_split_parents.insert(h);
        }
    } else if (left) {
        if (!isSelected(key)) {
            m_selected_roi_set.insert(key);
            std::cerr << "roi(" << key << ") head(" << head(key) << ")" << std::endl;
        } else {
            m_selected_roi_set.erase(key);
        }
    } else if (e->button() == Qt::RightButton && !refusedAsBusy()) {
        // A false-positive mark is an edit, so it waits for no running operation.
        const EditScope edit(*this, "False-positive mark");
        curation::set_mark(m_removed_roi_set, m_units.log, key, !m_removed_roi_set.count(key),
                           change::fp_add, change::fp_remove);
    }
    dirty = true;
    repaintNow();
    traceInput();
    letEventsRun();
}
