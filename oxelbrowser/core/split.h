// Cutting a falsely grouped unit in two: the cutting plane's geometry, the
// pieces traced by the outline program, and the decision that repairs the
// lineage around a doubtful unit (merge the parents, move a link, pair
// parents and children anew, or cut the unit by a plane).
#pragma once

#include "OXEL_pos"
#include "OXEL_roi"
#include "lineage.h"

#include <functional>
#include <iosfwd>
#include <list>
#include <string>

class q_roiimgdb;
class roidb_plus;

namespace split
{

// A pixel on plane z spans heights z to z + 1 of this many pixel widths.
// (The unit centres use 0.5 / 0.105 computed in that order, which differs
// from this constant in the last bit for many planes.)
constexpr double plane_factor = 4.761904761904762;

// Traces a pixel block into regions: false when the outline program failed
// (as opposed to a block without regions).
using tracer =
    std::function<bool(unsigned char *block, int width, int height, std::list<roi> &regions)>;

// Where the split works: the database, its rasters and the unit tables.
struct context {
    roidb_plus &db;
    q_roiimgdb &rasters;
    lineage::tables &units;
    int t_min;
    int t_max;
    tracer trace;
    // Trace lines of the split ("s=...", "roi_plus: ...", "split: case 1").
    std::ostream &out;
    // Refusals and failures, one line each.
    std::ostream &err;
    std::function<void()> let_events_run;
    // Called for each piece entered with the key of the ROI it was cut from,
    // so that marks can follow the piece.
    std::function<void(const std::string &piece, const std::string &from)> on_piece;
    // Called when the lineage changed.
    std::function<void()> on_change;
};

// Voxels of the unit that the plane (point, normal) cuts through: a pixel is
// the vertical segment from z to z + 1 plane heights, and counts when its two
// ends lie strictly on opposite sides. plus / minus are set (never cleared)
// when some voxel's lower end lies on that side (a distance that is not a
// number counts as minus).
unsigned int cross_section_size(context &c, const std::string &doubt, pos3d normal, pos3d point,
                                bool &plus, bool &minus);

// The plane position along the normal, within width steps either side of
// start, that cuts the fewest voxels and leaves voxels on both sides (ties:
// the more negative offset). When no position qualifies, the search starts
// again from the midpoint of its start and the unit's centre; it gives up
// (found false) after a few restarts or once the start stops moving, and at
// once for a normal that is zero or not a number.
struct search_result {
    bool found;
    pos3d point;
};
search_result search_cutting_position(context &c, const std::string &doubt, pos3d normal,
                                      pos3d start, int width);

// Every member ROI cut along the plane; each side's connected pieces traced
// by the outline program, in member order, with their plane and time point.
// A side without pixels is not sent. False when the program failed: the
// lists are then incomplete and must not be used.
bool split_rois(context &c, const std::string &doubt, pos3d normal, pos3d point,
                std::list<roi> &plus, std::list<roi> &minus);

// The unit's centre in unit space (z times 0.5, then divided by 0.105).
pos3d unit_centre(context &c, const std::string &head);

enum class outcome {
    merged,   // the two parents were one object
    relinked, // a link was released or parents and children paired anew
    cut,      // the unit was cut in two
    skipped,  // nothing could be done (reason on err)
    failed,   // the outline program failed; nothing changed
};

// The decision for one doubtful unit (a unit with two or more parents).
outcome decide(context &c, const std::string &doubt);

struct cut_result {
    outcome what;
    std::string head_plus, head_minus; // the new units (empty: none on that side)
};

// Cuts doubt by the plane through the point (x, y, z) clicked on the canvas,
// with the normal from parent p1's centre to p2's.
cut_result manual(context &c, const std::string &doubt, const std::string &p1,
                  const std::string &p2, int x, int y, int z);

} // namespace split
