// Commands on whole sets of ROIs: Reset, Select all, Clean Up, Drop FP and
// restoring the later time points from a ROI file.
#include "OXELBrowser.h"
#include "keygen.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

#include <QApplication>
#include <QFile>

#include <cstdlib> // std::getenv
#include <iostream>
#include <map>

void OXELBrowser::pushButton_reset_clicked()
{
    if (!beginBusy())
        return;
    m_fwd_roi_set.clear();
    m_bwd_roi_set.clear();
    m_mouse_over_roi_set.clear();
    m_make_unit_roi_set.clear();
    {
        // The units, links and elite marks go as one edit that can be undone.
        const EditScope edit(*this, "Reset");
        while (!m_linkage_multimap.empty())
            lineage::erase_link(m_units, m_linkage_multimap.begin()->first,
                                m_linkage_multimap.begin()->second);
        while (!m_head_members.empty())
            lineage::erase_unit(m_units, m_head_members.begin()->first);
        // Members recorded under another unit keep an entry of their own.
        while (!m_members_head.empty()) {
            m_units.log->add(change::head_remove, m_members_head.begin()->first,
                             m_members_head.begin()->second);
            m_members_head.erase(m_members_head.begin());
        }
        while (!m_elite_head_roi_set.empty())
            lineage::set_elite(m_units, *m_elite_head_roi_set.begin(), false);
    }
    m_smallest_enclosing_circle.clear();
    m_linkage_set.clear();
    endBusy();
    lineageChanged();
    dirty = true;
    repaintNow();
}

void OXELBrowser::pushButton_select_all_clicked()
{
    if (!m_roidb)
        return;
    m_selected_roi_set.clear();
    roi r;
    for (int t = m_min_time_point; t <= m_max_time_point; ++t)
        for (int z = m_min_focal_plane; z <= m_max_focal_plane; ++z) {
            m_roidb->seek(t, z, 0);
            while (m_roidb->find_plus(t, z, r))
                m_selected_roi_set.insert(keygen(r));
        }
    dirty = true;
    repaintNow();
    letEventsRun();
}

void OXELBrowser::dropRoi(const std::string &key)
{
    const EditScope edit(*this, "Remove a ROI");
    curation::remove_roi(*m_roidb, m_q_roiimgdb, m_units.log, key);
    lineageChanged();
}

// Stop (or Exit) ends the command at its next ROI; what was removed by then
// stays removed.
void OXELBrowser::pushButton_clean_clicked()
{
    if (!m_roidb || !beginBusy())
        return;
    setCursor(Qt::WaitCursor);
    const EditScope edit(*this, "Clean Up");
    for (int t = m_min_time_point; t <= m_max_time_point && m_roidb && !m_stop_requested; ++t) {
        setCurrentTimePoint(t);
        dirty = true;
        repaintNow();
        letEventsRun();
        for (int z = m_min_focal_plane; z <= m_max_focal_plane && !m_stop_requested; ++z) {
            // The walk has its own cursor: painting in between moves the shared one.
            bool removed_any = true;
            while (removed_any && !m_stop_requested) {
                removed_any = false;
                roidb_plus::iterator iter;
                m_roidb->seek_iter(t, z, 0, iter);
                roi r;
                for (;;) {
                    letEventsRunNow(false);
                    if (m_stop_requested || !m_roidb->find_plus_iter(t, z, r, iter))
                        break;
                    const std::string key = keygen(r);
                    if (!isFwdTracked(key) || !isBwdTracked(key)) {
                        dropRoi(key);
                        removed_any = true;
                    }
                }
            }
        }
        if (m_stop_requested)
            std::cerr << "Clean Up stopped at time point " << t << std::endl;
        dirty = true;
        repaintNow();
        letEventsRun();
    }
    setCursor(Qt::ArrowCursor);
    endBusy();
}

void OXELBrowser::pushButton_drop_false_positive_clicked()
{
    if (!m_roidb || !beginBusy())
        return;
    setCursor(Qt::WaitCursor);
    {
        const EditScope edit(*this, "Drop FP");
        for (const std::string &key : m_removed_roi_set)
            dropRoi(key);
    }
    dirty = true;
    repaintNow();
    letEventsRun();
    setCursor(Qt::ArrowCursor);
    endBusy();
}

// The file is read whole before anything changes: a file that cannot be read,
// or that belongs to another dataset, leaves the database as it was.
void OXELBrowser::pushButton_restore_clicked()
{
    if (!m_roidb || refusedAsBusy())
        return;
    const QString name = m_chooser->openFileName(this, tr("Choose a filename to read"),
                                                 startName(".roi"), tr("roi file (*.roi)"),
                                                 "open file dialog");
    if (name.isEmpty() || !m_roidb || !beginBusy())
        return;
    const std::string path = name.toStdString();
    if (!QFile::exists(name)) {
        std::cerr << "No such file or directory: " << path << std::endl;
    } else {
        setCursor(Qt::WaitCursor);
        const std::vector<roi> before = m_roidb->rois_in(m_time_point, m_max_time_point);
        const auto result =
            m_roidb->replace_checked(path, m_time_point, m_max_time_point, m_roidb->name());
        if (result == roidb_plus::replace_result::replaced)
            recordReplacement(before, m_roidb->rois_in(m_time_point, m_max_time_point));
        switch (result) {
        case roidb_plus::replace_result::unreadable:
            std::cerr << "Cannot open " << path << std::endl;
            break;
        case roidb_plus::replace_result::different_dataset:
            std::cerr << "different dataset" << std::endl;
            break;
        case roidb_plus::replace_result::replaced:
            lineageChanged();
            break;
        }
        setCursor(Qt::ArrowCursor);
    }
    setMaxTimePoint(m_roidb->t_max());
    setMinTimePoint(m_roidb->t_min());
    // The position stays inside the range the database now spans.
    setCurrentTimePoint(m_time_point);
    endBusy();
}

// A restore's changes, as the ROIs of its time points before and after it
// (both in database-key order): those gone or changed, then those new or
// changed, one undoable edit.
void OXELBrowser::recordReplacement(const std::vector<roi> &before, const std::vector<roi> &after)
{
    const EditScope edit(*this, "Restore ROIs");
    std::map<std::string, const roi *> now;
    for (const roi &r : after)
        now.emplace(keygen(r), &r);
    std::map<std::string, const roi *> was;
    for (const roi &r : before) {
        const std::string key = keygen(r);
        was.emplace(key, &r);
        auto same = now.find(key);
        if (same == now.end() || same->second->outline_ref() != r.outline_ref())
            m_units.log->add(change::roi_remove, key, std::string(), r.outline());
    }
    for (const roi &r : after) {
        const std::string key = keygen(r);
        auto old = was.find(key);
        if (old == was.end() || old->second->outline_ref() != r.outline_ref())
            m_units.log->add(change::roi_add, key, std::string(), r.outline());
    }
}
