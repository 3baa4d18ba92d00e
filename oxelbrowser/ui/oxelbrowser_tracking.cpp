// Forward, backward and z tracking, the Auto and Stop buttons, and the
// unit-making pass that groups each object's ROIs of a time point into a unit.
#include "OXELBrowser.h"
#include "keygen.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"
#include "tracking.h"
#include "unit_maker.h"

#include <QPushButton>

#include <cstdlib> // std::abs
#include <iostream>
#include <iterator> // std::next
#include <memory>   // std::unique_ptr
#include <vector>

tracker OXELBrowser::makeTracker()
{
    tracker t(*m_roidb, *m_q_roiimgdb, m_removed_roi_set, m_min_focal_plane, m_max_focal_plane);
    t.let_events_run = [this] { letEventsRunNow(false); };
    t.units = &m_units;
    t.make_units = m_make_units;
    t.unit_head = keygen(m_unit_roi_head);
    if (m_step_planes)
        t.planes = m_step_planes;
    return t;
}

void OXELBrowser::setTrackingButtons(bool enabled)
{
    pushButton_forward_tracking->setEnabled(enabled);
    pushButton_backward_tracking->setEnabled(enabled);
    pushButton_z->setEnabled(enabled);
}

void OXELBrowser::checkAdjacentFocalPlane(roi &r_from, int t, int z, std::set<std::string> *roiset,
                                          double mor_t, double mor_z)
{
    if (!m_roidb || !m_q_roiimgdb || !roiset)
        return;
    tracker search = makeTracker();
    search.check_adjacent(r_from, t, z, *roiset, mor_t, mor_z);
    if (search.changed)
        dirty = true;
}

void OXELBrowser::forwardTracking(int t)
{
    if (!m_roidb || !m_q_roiimgdb)
        return;
    tracker search = makeTracker();
    search.track(t, t + 1, m_selected_roi_set, m_fwd_roi_set);
    if (search.changed)
        dirty = true;
}

void OXELBrowser::backwardTracking(int start_time_point)
{
    if (!m_roidb || !m_q_roiimgdb)
        return;
    tracker search = makeTracker();
    search.track(start_time_point, start_time_point - 1, m_selected_roi_set, m_bwd_roi_set);
    if (search.changed)
        dirty = true;
}

void OXELBrowser::zTracking(int t)
{
    if (!m_roidb || !m_q_roiimgdb)
        return;
    tracker search = makeTracker();
    search.z_track(t, m_selected_roi_set);
    if (search.changed)
        dirty = true;
}

// One step into the next (or previous) time point, repeated while Auto is on;
// reaching the end of the range switches Auto off.
void OXELBrowser::trackingSteps(bool forward)
{
    if (!m_roidb || !beginBusy())
        return;
    setTrackingButtons(false);
    setCursor(Qt::WaitCursor);
    // The planes of the time point a step arrives at are where the next one
    // starts: they are gathered once for the run, and their rasters are held
    // for as long.
    const q_roiimgdb::pin keep = m_q_roiimgdb ? m_q_roiimgdb->hold() : q_roiimgdb::pin();
    m_step_planes = std::make_shared<tracker::plane_map>();
    std::set<std::string> &tracked = forward ? m_fwd_roi_set : m_bwd_roi_set;
    const size_t tracked_before = tracked.size();
    const int from = m_time_point;
    const int end = forward ? m_max_time_point : m_min_time_point;
    // A run with Auto shows how far it has got; Cancel ends it as Stop does.
    std::unique_ptr<progress_scope> progress;
    if (m_auto)
        progress = std::make_unique<progress_scope>(
            *this, forward ? tr("Forward tracking...") : tr("Backward tracking..."),
            std::abs(end - from));
    do {
        if (forward) {
            timeNext();
            forwardTracking(m_time_point - 1);
        } else {
            timePrev();
            backwardTracking(m_time_point + 1);
        }
        if (m_time_point == (forward ? m_max_time_point : m_min_time_point))
            pushButton_auto->setChecked(false);
        for (auto it = m_step_planes->begin(); it != m_step_planes->end();)
            it = it->first.first == m_time_point ? std::next(it) : m_step_planes->erase(it);
        if (progress)
            progress->step(std::abs(m_time_point - from));
        dirty = true;
        repaintNow();
        letEventsRunNow(true);
    } while (m_auto);
    progress.reset();
    showStatus((forward ? tr("Forward tracking to time point %1: %2 ROIs tracked, %3 new")
                        : tr("Backward tracking to time point %1: %2 ROIs tracked, %3 new"))
                   .arg(m_time_point)
                   .arg(tracked.size())
                   .arg(tracked.size() - tracked_before));
    m_step_planes.reset();
    setCursor(Qt::ArrowCursor);
    setTrackingButtons(true);
    endBusy();
}

void OXELBrowser::pushButton_forward_tracking_clicked()
{
    trackingSteps(true);
}

void OXELBrowser::pushButton_backward_tracking_clicked()
{
    trackingSteps(false);
}

void OXELBrowser::do_zTracking()
{
    if (!m_roidb || !beginBusy())
        return;
    setTrackingButtons(false);
    setCursor(Qt::WaitCursor);
    const size_t selected_before = m_selected_roi_set.size();
    zTracking(m_time_point);
    showStatus(tr("Z: %1 ROIs selected, %2 new")
                   .arg(m_selected_roi_set.size())
                   .arg(m_selected_roi_set.size() - selected_before));
    dirty = true;
    repaintNow();
    letEventsRunNow(true);
    setCursor(Qt::ArrowCursor);
    setTrackingButtons(true);
    endBusy();
}

void OXELBrowser::pushButton_z_clicked()
{
    do_zTracking();
}

void OXELBrowser::pushButton_stop_clicked()
{
    stopRunningOperation();
}

// Groups each object's ROIs of every time point into a unit and links every
// time point to the one before, leaving out links already present. Stop (or
// Exit) ends the pass at its next plane; the time points grouped whole by
// then are linked, and a line says how far the pass got.
void OXELBrowser::makeUnits()
{
    if (!m_roidb || !m_q_roiimgdb || !beginBusy())
        return;
    setTrackingButtons(false);
    setCursor(Qt::WaitCursor);
    unit_maker maker(*m_roidb, *m_q_roiimgdb, m_removed_roi_set, m_min_focal_plane,
                     m_max_focal_plane, m_unit_options);
    maker.let_events_run = [this] { letEventsRunNow(false); };
    maker.on_new_head = [this](const roi &r) { m_unit_roi_head = r; };
    const EditScope edit(*this, "Make units");
    lineage::tables &u = m_units;
    const auto keep_going = [this] { return !m_stop_requested; };

    // Each time point is linked to the one before as soon as it is grouped,
    // while the rasters of both are still in the cache; a time point's links
    // depend only on its own units and those before, so the tables come out
    // as when all are grouped first. Two steps of progress per time point.
    int grouped_to = m_min_time_point - 1, units_made = 0;
    int linked_to = m_min_time_point, links = 0;
    const long long span = m_max_time_point - m_min_time_point + 1;
    progress_scope progress(*this, tr("Make units..."), 2 * span);
    m_make_units = true;
    for (int t = m_min_time_point; t <= m_max_time_point && !m_stop_requested; ++t) {
        progress.step(2LL * (t - m_min_time_point));
        const int made = maker.make_units(t, u, keep_going);
        units_made += made;
        if (m_stop_requested) {
            std::cout << "units t=" << t << " n=" << made << " (stopped)" << std::endl;
            break;
        }
        std::cout << "units t=" << t << " n=" << made << std::endl;
        grouped_to = t;
        if (t > m_min_time_point) {
            // A time point grouped whole is linked even when Stop comes meanwhile.
            progress.step(2LL * (t - m_min_time_point) + 1);
            links += maker.link_time_point(t, u);
            linked_to = t;
        }
        letEventsRunNow(true);
    }
    m_make_units = false;
    const bool stopped = m_stop_requested;
    m_stop_requested = false;
    if (!stopped) {
        showStatus(tr("Make units: %1 units made, %2 links added").arg(units_made).arg(links));
    } else {
        std::cout << "Make units stopped: units of time points " << m_min_time_point << " to "
                  << grouped_to << " made whole, " << links << " links added up to time point "
                  << linked_to << std::endl;
    }
    dirty = true;
    repaintNow();
    setCursor(Qt::ArrowCursor);
    setTrackingButtons(true);
    endBusy();
    lineageChanged();
}

void OXELBrowser::linkCurrentTimePoint()
{
    if (!m_roidb || !m_q_roiimgdb || !beginBusy())
        return;
    unit_maker maker(*m_roidb, *m_q_roiimgdb, m_removed_roi_set, m_min_focal_plane,
                     m_max_focal_plane, m_unit_options);
    {
        const EditScope edit(*this, "Link a time point");
        maker.link_time_point(m_time_point, m_units);
    }
    lineageChanged();
    endBusy();
    dirty = true;
    repaintNow();
}
