// Forward, backward and z tracking, the Auto and Stop buttons, and the
// unit-making pass that groups each object's ROIs of a time point into a unit.
#include "OXELBrowser.h"
#include "keygen.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"
#include "tracking.h"

#include <QPushButton>

#include <algorithm> // std::sort
#include <iterator>  // std::next
#include <iostream>
#include <vector>

tracker OXELBrowser::makeTracker()
{
    tracker t(*m_roidb, *m_q_roiimgdb, m_removed_roi_set, m_min_focal_plane, m_max_focal_plane);
    t.let_events_run = [this] { letEventsRunNow(false); };
    t.head_members = &m_head_members;
    t.members_head = &m_members_head;
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
        dirty = true;
        repaintNow();
        letEventsRunNow(true);
    } while (m_auto);
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
    zTracking(m_time_point);
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
    m_stop_requested = true;
    pushButton_auto->setChecked(false);
}

// For every time point of the range and every ROI not yet in a unit (in key
// order, removed ones left out): the ROI heads a new unit, and the search over
// the neighbouring planes (more than half of the larger raster in common)
// records what belongs to it. A scratch set holding every ROI already in a
// unit keeps any ROI from joining two units. Then every time point is linked
// to the one before.
void OXELBrowser::makeUnits()
{
    if (!m_roidb || !m_q_roiimgdb || !beginBusy())
        return;
    setTrackingButtons(false);
    setCursor(Qt::WaitCursor);
    m_stop_requested = false;
    std::set<std::string> in_units;
    for (const auto &entry : m_members_head)
        in_units.insert(entry.first);
    // One search for the whole pass, so each plane is gathered once.
    tracker search = makeTracker();

    for (int t = m_min_time_point; t <= m_max_time_point && !m_stop_requested; ++t) {
        int made = 0;
        for (int z = m_min_focal_plane; z <= m_max_focal_plane && !m_stop_requested; ++z) {
            std::vector<std::pair<std::string, roi>> plane;
            roi r;
            m_roidb->seek(t, z, 0);
            while (m_roidb->find_plus(t, z, r))
                plane.emplace_back(keygen(r), r);
            std::sort(plane.begin(), plane.end(),
                      [](const auto &a, const auto &b) { return a.first < b.first; });
            for (auto &[key, source] : plane) {
                if (in_units.count(key) || m_removed_roi_set.count(key))
                    continue;
                m_unit_roi_head = source;
                m_head_members.emplace(key, key);
                m_members_head.emplace(key, key);
                in_units.insert(key);
                m_make_units = true;
                search.make_units = true;
                search.unit_head = key;
                search.check_adjacent(source, t, z - 1, in_units, 0.0, 0.5);
                search.check_adjacent(source, t, z + 1, in_units, 0.0, 0.5);
                search.make_units = false;
                m_make_units = false;
                ++made;
            }
            letEventsRunNow(false);
        }
        std::cout << "units t=" << t << " n=" << made << std::endl;
        letEventsRunNow(true);
    }
    for (int t = m_min_time_point + 1; t <= m_max_time_point && !m_stop_requested; ++t) {
        makeLinkage(t);
        letEventsRunNow(false);
    }
    m_make_units = false;
    dirty = true;
    repaintNow();
    setCursor(Qt::ArrowCursor);
    setTrackingButtons(true);
    endBusy();
}

void OXELBrowser::linkCurrentTimePoint()
{
    if (!m_roidb || m_busy)
        return;
    makeLinkage(m_time_point);
    dirty = true;
    repaintNow();
}
