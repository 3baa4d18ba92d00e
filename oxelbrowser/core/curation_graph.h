// A curation as a graph of objects: each unit, and each ROI of no unit, is
// one object at its time point; links between units are its edges. Shared by
// the export and the measures.
#pragma once

#include "OXEL_roi"
#include "lineage.h"

#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>
#include <vector>

class roidb_plus;

struct curation_graph {
    static constexpr uint32_t none = std::numeric_limits<uint32_t>::max();

    struct object {
        std::string head; // the unit's head, or the ROI's own key
        int t = 0;
        bool unit = false;
        size_t rois = 0;
        std::vector<uint32_t> parents;  // in key order of their heads
        std::vector<uint32_t> children; // in key order of their heads
    };

    std::vector<object> objects; // in key order of their heads
    size_t units = 0;
    size_t lone_rois = 0;
    size_t left_out_rois = 0;
    // Over the ROIs of the objects: the last time point and plane, the
    // right and bottom edge of their pixels, the first time point.
    int max_t = -1, max_z = -1, right = -1, bottom = -1, first_t = -1;

    // The object of a ROI of the database; none when it was left out.
    uint32_t object_at(const roi &r) const;

    std::unordered_map<std::string, uint32_t> index;    // head → object
    std::unordered_map<uint64_t, uint32_t> by_position; // ROI position → object
};

// Every ROI of db except those in left_out belongs to the object of its unit
// (members_head) or is an object of its own. Edges are the links whose both
// ends head units of the graph one time point apart, each pair once.
// Without extent, right and bottom stay -1.
curation_graph build_graph(roidb_plus &db, const lineage::key_map &members_head,
                           const lineage::key_multimap &linkage, const lineage::key_set &left_out,
                           bool extent = true);
