// Tracking: the depth-first adjacency search over overlapping ROIs, and
// forward, backward and z tracking built on it. Works on the window's key
// sets; long searches call back to let pending events run.
#pragma once

#include "OXEL_roi"
#include "box_grid.h"
#include "lineage.h"
#include "q_roiimgdb.h"

#include <functional>
#include <map>
#include <memory> // std::shared_ptr
#include <set>
#include <string>
#include <utility> // std::pair
#include <vector>

class q_roiimg;
class roidb_plus;

using key_set = std::set<std::string>;

class tracker {
public:
    struct candidate {
        std::string key;
        q_roiimg *raster;
    };
    // The ROIs of one plane in the database's order, and their boxes indexed.
    struct plane_rois {
        std::vector<candidate> rois;
        box_grid boxes;
    };
    // The ROIs of each visited plane (t, z) with their rasters. Trackers of
    // one command may share it: no plane changes while a command runs. The
    // rasters stay valid while a pin of the cache lives: each tracker holds
    // one, and a command that keeps the planes between trackers holds its own.
    using plane_map = std::map<std::pair<int, int>, plane_rois>;

    tracker(roidb_plus &db, q_roiimgdb &rasters, const key_set &removed, int z_min, int z_max);

    // Called once per visited ROI, so the window can handle input meanwhile.
    std::function<void()> let_events_run;
    // Unit recording: every ROI the search adds joins the unit headed by
    // unit_head (its own head entry is kept if it has one).
    bool make_units = false;
    std::string unit_head;
    lineage::tables *units = nullptr;
    // Set when any key joined a set.
    bool changed = false;
    // Planes gathered by this tracker go to (and come from) this store.
    std::shared_ptr<plane_map> planes;

    // Adds to roiset every ROI of plane (t, z) that passes against r_from,
    // then searches on from each newly added ROI through planes z - 1 and
    // z + 1 (depth first, before the next ROI of the plane). Passing: any
    // common pixel when both ratios are 0; otherwise the shared pixels exceed
    // the ratio (mor_z within a time point, mor_t across) of the larger
    // raster. Removed ROIs never pass. The search keeps its own stack, so
    // chains of any length are followed.
    void check_adjacent(roi &r_from, int t, int z, key_set &roiset, double mor_t, double mor_z);
    // Seeds target with the selected ROIs of time point t and what overlaps
    // them there, then carries it into time point into.
    void track(int t, int into, const key_set &selected, key_set &target);
    // Spreads the selection of time point t over adjacent planes (ratio 0.5).
    void z_track(int t, key_set &selected);

private:
    // One plane being searched from one ROI: the ROIs whose boxes meet the
    // source's are hits[begin] to hits[end - 1]; after a ROI was added, the
    // search above it (z + 1) is still to come when above is set.
    struct frame {
        q_roiimg *from;
        int from_t, t, z;
        const plane_rois *plane;
        std::size_t begin, end, next;
        q_roiimg *above;
    };

    const plane_rois &plane(int t, int z);
    void search(q_roiimg *from, int from_t, int t, int z, key_set &roiset, double mor_t,
                double mor_z);
    void open(q_roiimg *from, int from_t, int t, int z);
    bool passes(q_roiimg *from, const candidate &c, int from_t, int t, double mor_t,
                double mor_z);

    roidb_plus &_db;
    q_roiimgdb &_rasters;
    q_roiimgdb::pin _pin;
    const key_set &_removed;
    int _z_min;
    int _z_max;
    std::vector<frame> _stack;
    std::vector<std::uint32_t> _hits;
    std::vector<std::uint32_t> _found;
};
