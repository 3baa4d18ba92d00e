// Finding the errors of a lineage: unit centres, the doubt search, the
// lineage overlay of the canvas, and the review queue that walks through
// doubtful units, dead ends and unlinked units.
#pragma once

#include "OXEL_pos"
#include "lineage.h"

#include <map>
#include <string>
#include <vector>

class q_roiimgdb;
class roidb_plus;

namespace review {

// The pixel-weighted centre of a unit's members: each raster's centroid
// (x, y) and its plane z, weighted by its pixel count. Not finite for a key
// that heads no unit (its volume is 0).
pos3d centroid(roidb_plus &db, q_roiimgdb &rasters, const lineage::key_multimap &head_members,
               const std::string &head);
// The same point in unit space: z times 0.5, then divided by 0.105.
pos3d isotropic(pos3d g);
bool finite(pos3d p);

// Child heads with two or more link entries, in key order (a link entered
// twice counts twice).
lineage::key_set doubt_search(const lineage::key_multimap &linkage);

// What the canvas draws over the image for the lineage: circles at the
// units' centres and lines from each unit to its parents, in drawing order.
struct overlay {
    struct circle {
        int x, y; // the 5 x 5 box's corner
        const char *colour;
    };
    struct line {
        int x1, y1, x2, y2;
        const char *colour;
    };
    struct element {
        bool is_circle;
        circle c;
        line l;
    };
    std::vector<element> elements;
};

// Centre and plane extent of units, each computed once: valid while the
// units and their ROIs stay as they are (the caller clears it on a change).
class unit_views {
public:
    struct view {
        pos3d g;
        int z_min, z_max;
        bool usable; // the centre is finite
    };
    const view &get(roidb_plus &db, q_roiimgdb &rasters, const lineage::key_multimap &head_members,
                    const std::string &head);
    void clear() { _seen.clear(); }

private:
    std::map<std::string, view> _seen;
};

// The overlay of time point t seen on plane z: the previous time point's
// units (unless t is t_min), then each unit of t with its lines. Nothing when
// there is no link at all. Units whose centre is not finite are left out.
overlay lineage_overlay(roidb_plus &db, q_roiimgdb &rasters, const lineage::tables &u, int t,
                        int z, int t_min, unit_views &views);

// The review queue: doubtful units (two or more parents), then dead ends (no
// child before the last time point), then unlinked units (no parent after
// the first), each in key order, dismissed units left out.
enum class kind { doubt, dead_end, unlinked };
const char *kind_name(kind k);

struct entry {
    kind what;
    std::string head;
    bool operator<(const entry &other) const
    {
        return what != other.what ? what < other.what : head < other.head;
    }
    bool operator==(const entry &other) const
    {
        return what == other.what && head == other.head;
    }
};

std::vector<entry> build_queue(const lineage::key_multimap &head_members,
                               const lineage::key_multimap &linkage, int t_min, int t_max,
                               const lineage::key_set &dismissed);

} // namespace review
