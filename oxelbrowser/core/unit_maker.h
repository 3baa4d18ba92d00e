// The automatic pass that groups each object's ROIs of a time point into a
// unit and links the units of consecutive time points: shared by the window's
// "Make units" and the command-line tools.
#pragma once

#include "lineage.h"
#include "tracking.h"
#include "unit_options.h"

#include <functional>
#include <string>

class q_roiimgdb;
class roidb_plus;

class unit_maker
{
public:
    unit_maker(roidb_plus &db, q_roiimgdb &rasters, const key_set &removed, int z_min, int z_max,
               const unit_options &options = unit_options());
    // The removed set is kept by reference: a temporary would not outlive the maker.
    unit_maker(roidb_plus &, q_roiimgdb &, key_set &&, int, int,
               const unit_options & = unit_options()) = delete;

    // Called between ROIs, so the window can handle input meanwhile.
    std::function<void()> let_events_run;
    // Called with each new unit's head before its search, so the window can
    // keep its record of the ROI heading the unit being made.
    std::function<void(const roi &)> on_new_head;

    // For every ROI of time point t not yet in a unit (in key order, removed
    // ones left out): the ROI heads a new unit, and the search over the
    // neighbouring planes (more than half of the larger raster in common)
    // records what belongs to it. No ROI joins two units. With cap
    // attachment, the units of one or two ROIs made here then join their
    // neighbours (see attach_caps). Returns the number of units made and not
    // joined to another; stops early (false from keep_going) leave the time
    // point partly grouped, without attaching. With cap stacking, the units
    // of one or two ROIs still on their own then join each other (see
    // stack_caps), and with cap attachment the small ones left are
    // attached again, this time also across one plane.
    int make_units(int t, lineage::tables &u, const std::function<bool()> &keep_going);

    // Links every unit of t to every overlapping unit of t - 1 that passes
    // the link ratio, keeping only the best parents when that rule is on;
    // links already present are left out. Returns the number of links added.
    int link_time_point(int t, lineage::tables &u);

    // Cap attachment on the given units of time point t, all of one or two
    // ROIs: each joins the unit of three or more ROIs of t whose member on
    // the plane next to one of its members covers more than cap_cover of
    // its pixels and that holds no ROI on the cap's planes (a unit keeps one
    // ROI a plane: a piece beside one of its ROIs is another object's); of
    // several, the one sharing the most pixels with it, ties to the smaller
    // head. The unit headed at (0, 0) of plane 0, which linking leaves out,
    // takes no caps. Every cap of a round is judged on the units as the
    // round found them, so the order of the caps does not matter; of caps of
    // one round that would put two ROIs on one plane of a unit, the one
    // sharing the most pixels with it joins (ties to the smaller key).
    // Rounds repeat while a cap joins, since a joined cap brings its unit
    // next to caps farther out. The joined unit keeps its head. Returns the
    // number of caps that joined. With across_gap, a member two planes from
    // a cap's ROI counts too when its unit has no ROI on the plane between
    // and some other ROI there covers more than cap_cover of the cap's ROI
    // (a plane where the object was drawn together with a neighbour).
    int attach_caps(int t, const key_set &caps, lineage::tables &u, bool across_gap = false);

    // Cap stacking on the given units of time point t, all of one or two
    // ROIs: two of them join where a ROI of one, on the plane next to a ROI
    // of the other, covers more than stack_cover of the smaller of the two
    // ROIs. The best covered pairs join first, and a stack never holds two
    // ROIs on one plane; a stack keeps the smallest head of its caps. Caps
    // with links, and the unit headed at (0, 0) of plane 0, stay as they
    // are. Returns the number of caps that joined another.
    int stack_caps(int t, const key_set &caps, lineage::tables &u);

    const unit_options &options() const { return _options; }

private:
    roidb_plus &_db;
    q_roiimgdb &_rasters;
    const key_set &_removed;
    int _z_min;
    int _z_max;
    unit_options _options;
    // The ROIs of the time point being grouped that are in a unit already.
    key_set _in_units;
};
