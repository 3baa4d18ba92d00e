// Cutting falsely grouped units apart: the split button, auto split, and the
// manual split of split mode; the geometry and the decision live in the core.
#include "OXELBrowser.h"
#include "body.h"
#include "keygen.h"
#include "split.h"

#include <QPushButton>

#include <iostream>
#include <limits>

split::context OXELBrowser::splitContext(lineage::tables &u)
{
    split::context c{*m_roidb,
                     *m_q_roiimgdb,
                     u,
                     m_min_time_point,
                     m_max_time_point,
                     m_outline_tracer,
                     std::cout,
                     std::cerr,
                     [this] { letEventsRunNow(false); },
                     {},
                     [this] { lineageChanged(); }};
    // A piece keeps the selection and the tracking marks of the ROI it was
    // cut from, so that Clean Up does not take what a split just made.
    c.on_piece = [this](const std::string &piece, const std::string &from) {
        for (std::set<std::string> *marks : {&m_selected_roi_set, &m_fwd_roi_set, &m_bwd_roi_set})
            if (marks->count(from))
                marks->insert(piece);
    };
    return c;
}

unsigned int OXELBrowser::cross_section_size(std::string doubt, pos3d E_normal, pos3d E_pos,
                                             bool &plus, bool &minus)
{
    if (!m_roidb || !m_q_roiimgdb)
        return 0;
    split::context c = splitContext(m_units);
    return split::cross_section_size(c, doubt, E_normal, E_pos, plus, minus);
}

// The cut position, or a point that is not a number when no plane leaves
// pixels on both sides.
pos3d OXELBrowser::search_cutting_position(std::string doubt, pos3d E_normal, pos3d E_pos,
                                           int SEARCH_WIDTH)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (!m_roidb || !m_q_roiimgdb)
        return pos3d(nan, nan, nan);
    split::context c = splitContext(m_units);
    const split::search_result found =
        split::search_cutting_position(c, doubt, E_normal, E_pos, SEARCH_WIDTH);
    return found.found ? found.point : pos3d(nan, nan, nan);
}

// Both lists stay empty when the outline program failed.
void OXELBrowser::splitROI(std::string doubt, pos3d E_normal, pos3d E_pos, std::list<roi> &plus,
                           std::list<roi> &minus)
{
    if (!m_roidb || !m_q_roiimgdb)
        return;
    split::context c = splitContext(m_units);
    std::list<roi> p, m;
    if (!split::split_rois(c, doubt, E_normal, E_pos, p, m)) {
        std::cerr << "split: the outline program failed" << std::endl;
        return;
    }
    plus.splice(plus.end(), p);
    minus.splice(minus.end(), m);
}

void OXELBrowser::pushButton_auto_split_toggled(bool on)
{
    m_auto_split = on;
}

// One doubtful unit, or (with Auto split on) one after another until none is
// left, Stop or Exit. A unit that cannot be processed is passed over for the
// rest of the run, so the run never turns on one unit for ever.
void OXELBrowser::pushButton_split_clicked()
{
    if (!m_roidb || !m_q_roiimgdb || !beginBusy())
        return;
    setCursor(Qt::WaitCursor);
    if (m_auto_split && m_elite_head_roi_set.empty())
        std::cout << "Auto split: no elite unit; doubtful units will merge their parents"
                  << std::endl;
    std::set<std::string> passed_over;
    const EditScope edit(*this, "Split");
    split::context c = splitContext(m_units);
    // The doubtful units at the start set the bar's length (a cut may make more).
    search_doubt_units();
    const long long doubtful = static_cast<long long>(m_falsely_grouped_units_candidates.size());
    long long processed = 0;
    progress_scope progress(*this, m_auto_split ? tr("Auto split...") : tr("Split..."),
                            m_auto_split ? doubtful : 0);
    do {
        search_doubt_units();
        std::string doubt;
        for (const std::string &candidate : m_falsely_grouped_units_candidates)
            if (!passed_over.count(candidate)) {
                doubt = candidate;
                break;
            }
        if (doubt.empty()) {
            std::cout << "Doubt units: none" << std::endl;
            break;
        }
        const split::outcome done = split::decide(c, doubt);
        if (done == split::outcome::skipped)
            passed_over.insert(doubt);
        progress.step(++processed);
        dirty = true;
        repaintNow();
        letEventsRunNow(true);
        // The program that failed once fails again: the run ends.
        if (done == split::outcome::failed)
            break;
    } while (m_auto_split && !m_stop_requested);
    showStatus(tr("Split: %1 doubtful units processed, %2 passed over")
                   .arg(processed)
                   .arg(passed_over.size()));
    setCursor(Qt::ArrowCursor);
    dirty = true;
    repaintNow();
    endBusy();
    letEventsRun();
}

void OXELBrowser::manualSplit(std::string doubt, std::set<std::string> parent_set, int x, int y,
                              int z)
{
    if (!m_roidb || !m_q_roiimgdb)
        return;
    std::cout << "manual split mode:" << std::endl;
    std::cout << "    doubt: " << doubt << std::endl;
    std::cout << "  parents: " << parent_set << std::endl;
    if (member(doubt).empty()) {
        std::cerr << "manual split: " << doubt << " is no longer a unit; nothing is cut"
                  << std::endl;
        return;
    }
    if (parent_set.size() < 2) {
        std::cerr << "manual split: two parents are needed; nothing is cut" << std::endl;
        return;
    }
    if (!beginBusy())
        return;
    setCursor(Qt::WaitCursor);
    auto it = parent_set.begin();
    const std::string p1 = *it++;
    const std::string p2 = *it;
    const EditScope edit(*this, "Manual split");
    split::context c = splitContext(m_units);
    const split::cut_result cut = split::manual(c, doubt, p1, p2, x, y, z);
    // The lineage root named the unit just dissolved: it follows a piece.
    if (cut.what == split::outcome::cut && m_lineage_mode_roi_set.count(doubt)) {
        m_lineage_mode_roi_set.clear();
        const std::string &piece = cut.head_plus.empty() ? cut.head_minus : cut.head_plus;
        if (!piece.empty())
            m_lineage_mode_roi_set.insert(piece);
    }
    setCursor(Qt::ArrowCursor);
    dirty = true;
    repaintNow();
    endBusy();
}
