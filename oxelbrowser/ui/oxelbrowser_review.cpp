// Finding the errors: unit centres, the doubt search, the lineage drawn over
// the canvas, the dead-end and unlinked-unit lists, and the review queue.
#include "OXELBrowser.h"
#include "keygen.h"
#include "lineage_marks.h"
#include "lineage_tree_window.h"
#include "review.h"
#include "ui_oxelbrowser.h"

#include <QColor>
#include <QLabel>
#include <QPainter>
#include <QPen>
#include <QPixmap>

#include <algorithm> // std::lower_bound
#include <iostream>
#include <limits>

pos3d OXELBrowser::g(std::string key)
{
    if (!m_roidb || !m_q_roiimgdb) {
        const double nan = std::numeric_limits<double>::quiet_NaN();
        return pos3d(nan, nan, nan);
    }
    return review::centroid(*m_roidb, *m_q_roiimgdb, m_head_members, key);
}

pos3d OXELBrowser::E_g(std::string key)
{
    return review::isotropic(g(key));
}

void OXELBrowser::search_doubt_units()
{
    m_falsely_grouped_units_candidates = review::doubt_search(m_linkage_multimap);
}

// Drawn after the outlines, with a painter of its own on the same pixmap.
void OXELBrowser::drawLineage(QPixmap &dic)
{
    if (!m_roidb || !m_q_roiimgdb || m_linkage_multimap.empty() || dic.isNull())
        return;
    const lineage::tables &u = m_units;
    // Centres are kept between paints until units or ROIs change.
    if (m_unit_views_generation != m_lineage_generation) {
        m_unit_views.clear();
        m_unit_views_generation = m_lineage_generation;
    }
    const review::overlay plan = review::lineage_overlay(
        *m_roidb, *m_q_roiimgdb, u, m_time_point, m_focal_plane, m_min_time_point, m_unit_views);
    QPainter painter(&dic);
    for (const review::overlay::element &e : plan.elements) {
        if (e.is_circle) {
            painter.setPen(QPen(QColor(e.c.colour), 1, Qt::SolidLine));
            painter.drawChord(e.c.x, e.c.y, 5, 5, 0, 5760);
        } else {
            painter.setPen(QPen(QColor(e.l.colour), 1, Qt::SolidLine));
            painter.drawLine(e.l.x1, e.l.y1, e.l.x2, e.l.y2);
        }
    }
    painter.end();
}

// The first unit of a review list: earliest time point, then smallest head
// key. A head at x = 0, y = 0 on plane 0 is found too (the list is taken from
// the unit table itself).
void OXELBrowser::showFirstOf(const lineage::key_set &heads, int t_from, int t_to,
                              const char *label)
{
    for (const std::string &head : heads) {
        const pos4i p = decode(head);
        if (p.t() < t_from || p.t() > t_to)
            continue;
        std::cout << label << head << std::endl;
        setCurrentTimePoint(p.t());
        setCurrentFocalPlane(p.z());
        dirty = true;
        repaintNow();
        letEventsRun();
        return;
    }
    std::cout << label << "none" << std::endl;
}

void OXELBrowser::pushButton_dead_end_clicked()
{
    // Like the time keys, ignored while Auto is on or an operation runs.
    if (refusedAsBusy() || m_auto)
        return;
    const lineage::marked_units marked = lineage::find_marked_units(
        m_head_members, m_linkage_multimap, m_min_time_point, m_max_time_point);
    showFirstOf(marked.dead_ends, m_min_time_point, m_max_time_point - 1, "Dead-end branch: ");
}

void OXELBrowser::pushButton_unlinked_unit_clicked()
{
    if (refusedAsBusy() || m_auto)
        return;
    const lineage::marked_units marked = lineage::find_marked_units(
        m_head_members, m_linkage_multimap, m_min_time_point, m_max_time_point);
    showFirstOf(marked.unlinked, m_min_time_point + 1, m_max_time_point, "Unlinked unit: ");
}

// The queue is made again whenever the links changed since it was made; the
// unit on view keeps its place (or the place it would have).
void OXELBrowser::refreshReviewQueue()
{
    if (m_review_generation == m_lineage_generation && m_review_built)
        return;
    const std::vector<review::entry> old = m_review_queue;
    const bool had_current = m_review_pos >= 0 && m_review_pos < static_cast<int>(old.size());
    m_review_queue = review::build_queue(m_head_members, m_linkage_multimap, m_min_time_point,
                                         m_max_time_point, m_dismissed_units);
    m_review_generation = m_lineage_generation;
    m_review_built = true;
    if (!had_current) {
        m_review_pos = -1;
        return;
    }
    const review::entry &current = old[static_cast<size_t>(m_review_pos)];
    auto at = std::lower_bound(m_review_queue.begin(), m_review_queue.end(), current);
    const int index = static_cast<int>(at - m_review_queue.begin());
    // Gone from the queue: the next step goes to what followed it.
    m_review_pos = (at != m_review_queue.end() && *at == current) ? index : index - 1;
}

void OXELBrowser::showReviewCount()
{
    const int total = static_cast<int>(m_review_queue.size());
    if (!m_review_unit.empty() && m_review_pos >= 0 && m_review_pos < total)
        ui->label_review->setText(tr("Review %1/%2").arg(m_review_pos + 1).arg(total));
    else
        ui->label_review->setText(tr("Review: %1 left").arg(total));
}

void OXELBrowser::reviewStep(int direction)
{
    if (!m_roidb || refusedAsBusy() || m_auto)
        return;
    refreshReviewQueue();
    const int total = static_cast<int>(m_review_queue.size());
    if (total == 0) {
        m_review_pos = -1;
        m_review_unit.clear();
        std::cout << "Review: nothing left" << std::endl;
        showReviewCount();
        dirty = true;
        repaintNow();
        return;
    }
    // Round the queue: after the last comes the first again.
    m_review_pos =
        ((m_review_pos < 0 && direction < 0 ? 0 : m_review_pos) + direction + total) % total;
    const review::entry &e = m_review_queue[static_cast<size_t>(m_review_pos)];
    std::cout << review::kind_name(e.what) << " " << m_review_pos + 1 << "/" << total << ": "
              << e.head << std::endl;
    m_review_unit = e.head;
    showReviewCount();
    if (m_tree)
        m_tree->highlight(e.head);
    view(e.head);
}

void OXELBrowser::dismissReviewUnit()
{
    if (!m_roidb || refusedAsBusy() || m_review_unit.empty())
        return;
    {
        const EditScope edit(*this, "Dismiss from review");
        curation::set_mark(m_dismissed_units, m_units.log, m_review_unit, true,
                           change::dismiss_add, change::dismiss_remove);
    }
    std::cout << "dismissed: " << m_review_unit << std::endl;
    m_review_built = false;
    refreshReviewQueue();
    m_review_unit.clear();
    showReviewCount();
    dirty = true;
    repaintNow();
}

void OXELBrowser::pushButton_review_clicked()
{
    reviewStep(+1);
}
