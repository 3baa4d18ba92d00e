// The automatic pass that groups each object's ROIs of a time point into a
// unit and links the units of consecutive time points: shared by the window's
// "Make units" and the command-line tools.
#pragma once

#include "lineage.h"
#include "tracking.h"

#include <functional>
#include <string>

class q_roiimgdb;
class roidb_plus;

class unit_maker
{
public:
    unit_maker(roidb_plus &db, q_roiimgdb &rasters, const key_set &removed, int z_min, int z_max);

    // Called between ROIs, so the window can handle input meanwhile.
    std::function<void()> let_events_run;
    // Called with each new unit's head before its search, so the window can
    // keep its record of the ROI heading the unit being made.
    std::function<void(const roi &)> on_new_head;

    // For every ROI of time point t not yet in a unit (in key order, removed
    // ones left out): the ROI heads a new unit, and the search over the
    // neighbouring planes (more than half of the larger raster in common)
    // records what belongs to it. No ROI joins two units. Returns the number
    // of units made; stops early (false from keep_going) leave the time point
    // partly grouped.
    int make_units(int t, lineage::tables &u, const std::function<bool()> &keep_going);

    // Links every unit of t to every overlapping unit of t - 1, leaving out
    // links already present. Returns the number of links added.
    int link_time_point(int t, lineage::tables &u);

private:
    roidb_plus &_db;
    q_roiimgdb &_rasters;
    const key_set &_removed;
    int _z_min;
    int _z_max;
    // Every ROI already in a unit, kept across time points of one pass.
    key_set _in_units;
    bool _in_units_known = false;
};
