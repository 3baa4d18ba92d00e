// How far a candidate curation is from a reference one: detection of ROIs,
// units, links and divisions, and the community's two graph-matching
// measures, detection accuracy (DET) and tracking accuracy (TRA).
#pragma once

#include "lineage.h"

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

class roidb_plus;

namespace curation_compare
{

// One side: its ROIs and the window's unit and link tables.
struct side {
    roidb_plus &db;
    const lineage::key_map &members_head;
    const lineage::key_multimap &linkage;
};

// Counts of the operations that turn the candidate graph into the reference
// one, and the measures made from them.
struct graph_match {
    size_t reference_vertices = 0, reference_edges = 0;
    size_t ns = 0; // splits: a candidate object matching k > 1 reference objects needs k - 1
    size_t fn = 0; // reference objects no candidate object matches
    size_t fp = 0; // candidate objects matching no reference object
    size_t ed = 0; // candidate links to delete
    size_t ea = 0; // reference links to add
    size_t ec = 0; // links whose kind (continuation or division) must change
    double det = 0, tra = 0; // NaN when the reference has no object
};

struct result {
    // ROIs: a candidate ROI matches a reference ROI of the same plane when it
    // covers more than half of the reference ROI's pixels.
    size_t reference_rois = 0, candidate_rois = 0;
    size_t matched_rois = 0, missed_rois = 0, extra_rois = 0;
    // Units (a ROI of no unit is a unit of one): over matched ROI pairs,
    // purity is the share of candidate ROIs lying in their unit's majority
    // reference unit; completeness the share of reference ROIs found in their
    // unit's majority candidate unit. Exact: reference units whose ROIs are
    // exactly the matches of one candidate unit's ROIs.
    size_t reference_units = 0, candidate_units = 0, exact_units = 0;
    double purity = 0, completeness = 0;
    // Links between matched units (objects matched as for DET below).
    size_t candidate_links = 0, correct_links = 0; // candidate links with both ends matched
    size_t reference_links = 0, found_links = 0;   // reference links with both ends matched
    // Divisions: units with two or more children. A reference division is
    // found when its match is a candidate division with at least two of its
    // children matching children of the reference one.
    size_t reference_divisions = 0, candidate_divisions = 0, found_divisions = 0,
           correct_divisions = 0;
    graph_match graph;
};

// Weights of the published measures.
const double w_ns = 5, w_fn = 10, w_fp = 1, w_ed = 1, w_ea = 1.5, w_ec = 1;

// Objects (units and ROIs of no unit, as in the export) match when the
// candidate object covers more than half of the reference object's pixels
// over all planes; overlaps are counted plane by plane. Links are edges of
// kind continuation when the parent has one child, else division.
result compare(side reference, side candidate);

// DET and TRA from counts: 1 - min(cost, cost of building the reference
// from nothing) / that cost.
void score(graph_match &g);

// A graph as the measures see it: vertices by number, each with its parents.
struct graph {
    static constexpr uint32_t none = 0xFFFFFFFFu;
    std::vector<std::vector<uint32_t>> parents;
};

// The graph operations, DET and TRA, the links and the divisions of r, from
// two graphs and the candidate vertex each reference vertex matches (or none).
void score_graphs(const graph &reference, const graph &candidate,
                  const std::vector<uint32_t> &match, result &r);

// The table oxelcompare prints.
void print(const result &r, std::ostream &out);
// Its rows for links, divisions, DET and TRA; and one row of the table.
void print_graph_rows(const result &r, std::ostream &out);
void print_row(std::ostream &out, const char *what, const char *measure, const std::string &value,
               const std::string &detail);

} // namespace curation_compare
