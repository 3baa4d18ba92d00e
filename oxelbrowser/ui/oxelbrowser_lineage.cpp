// Units and their lineage: queries, links, navigation to a unit.
#include "OXELBrowser.h"
#include "keygen.h"
#include "lineage.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

#include <iostream>

std::string OXELBrowser::head(roi r)
{
    return head(keygen(r));
}

std::string OXELBrowser::head(std::string key)
{
    return lineage::head(m_members_head, key);
}

std::set<std::string> OXELBrowser::member(std::string key)
{
    return lineage::members(m_head_members, key);
}

std::set<std::string> OXELBrowser::units(int t)
{
    return lineage::units(m_head_members, t);
}

std::set<std::string> OXELBrowser::parents(std::string key)
{
    return lineage::parents(m_linkage_multimap, key);
}

std::set<std::string> OXELBrowser::children(std::string key)
{
    return lineage::children(m_linkage_multimap, key);
}

std::set<std::string> OXELBrowser::upstream_units(std::string key, int end_t)
{
    return lineage::upstream(m_linkage_multimap, key, end_t);
}

std::set<std::string> OXELBrowser::subset_of_unit_from(std::string key)
{
    return lineage::upstream(m_linkage_multimap, key, m_min_time_point);
}

std::set<std::string> OXELBrowser::subset_of_elite_unit_from(std::string key)
{
    std::set<std::string> out;
    if (isElite(key))
        out.insert(key);
    for (const std::string &k : subset_of_unit_from(key))
        if (isElite(k))
            out.insert(k);
    return out;
}

bool OXELBrowser::reach(std::string a, std::string b)
{
    return lineage::reach(m_linkage_multimap, a, b);
}

int OXELBrowser::z_min(std::string unit)
{
    std::set<std::string> m = member(unit);
    return m.empty() ? 0 : decode(*m.begin()).z();
}

int OXELBrowser::z_max(std::string unit)
{
    std::set<std::string> m = member(unit);
    return m.empty() ? 0 : decode(*m.rbegin()).z();
}

bool OXELBrowser::isElite(std::string key)
{
    return m_elite_head_roi_set.count(key) != 0;
}

bool OXELBrowser::isLink(std::string parent, std::string child)
{
    if (!m_roidb || !m_q_roiimgdb)
        return false;
    return lineage::is_link(*m_roidb, *m_q_roiimgdb, m_head_members, parent, child);
}

// Every unit of t against every unit of t - 1, in key order; pairs whose
// members' boxes never meet on a plane cannot pass the link test and are
// not tried.
void OXELBrowser::makeLinkage(int t)
{
    if (!m_roidb || !m_q_roiimgdb)
        return;
    const EditScope edit(*this, "Link a time point");
    for (const auto &[cu, pu] : lineage::link_candidates(*m_roidb, *m_q_roiimgdb, m_head_members, t))
        if (isLink(pu, cu))
            lineage::add_link(m_units, cu, pu);
    lineageChanged();
}

void OXELBrowser::link(std::string unit1, std::string unit2)
{
    const EditScope edit(*this, "Link");
    lineage::link(m_units, unit1, unit2, std::cout);
    lineageChanged();
}

void OXELBrowser::release_child(std::string parent, std::string child)
{
    const EditScope edit(*this, "Remove a link");
    lineage::release_child(m_units, parent, child, std::cout);
    lineageChanged();
}

void OXELBrowser::mergeUnits(std::string a, std::string b)
{
    const EditScope edit(*this, "Merge units");
    lineage::merge_units(m_units, a, b, m_min_time_point, m_max_time_point, std::cout);
    lineageChanged();
}

void OXELBrowser::view(std::string key)
{
    if (key == "N/A") {
        std::cerr << "view: N/A is not a unit" << std::endl;
        return;
    }
    pos4i p = decode(key);
    setCurrentTimePoint(p.t());
    setCurrentFocalPlane(p.z());
    dirty = true;
    repaintNow();
    letEventsRun();
}

int OXELBrowser::ID(std::string a)
{
    const int t = decode(a).t();
    std::vector<std::string> &keys = m_ids[t];
    for (size_t i = 0; i < keys.size(); ++i)
        if (keys[i] == a)
            return 1000 * t + static_cast<int>(i);
    keys.push_back(a);
    return 1000 * t + static_cast<int>(keys.size() - 1);
}
