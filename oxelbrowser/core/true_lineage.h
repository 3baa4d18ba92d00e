// The true lineage of a generated dataset (the generator's lineage.txt: one
// "t id parent x y z radius" line per nucleus and time point) and how far a
// curation's units and links are from it.
#pragma once

#include "curation_compare.h"
#include "lineage.h"

#include <iosfwd>
#include <string>
#include <vector>

class roidb_plus;

namespace true_lineage
{

struct nucleus {
    int t = 0;
    int id = 0;
    int parent = 0; // the mother's id on a daughter's lines, else 0
    double x = 0, y = 0, z = 0, radius = 0;
};

// Reads the file's nucleus lines ('#' begins a comment); malformed lines are
// counted on err with the first one's number. False when it cannot be read.
bool read(const std::string &path, std::vector<nucleus> &out, std::ostream &err);

struct score {
    size_t nuclei = 0;
    size_t found = 0;                  // nuclei whose centre lies in a ROI of the curation
    size_t units = 0;                  // units and ROIs of no unit
    size_t empty_units = 0;            // holding no nucleus's centre
    size_t shared_units = 0;           // holding the centres of two or more nuclei
    curation_compare::result measures; // links, divisions, DET and TRA
};

// A nucleus is found by the unit (or ROI of no unit) whose ROI holds its
// centre pixel on the nearest plane, looked for on its own plane first,
// then one and two planes away. True links join a nucleus to itself one time
// point later and a mother to her daughters. The measures follow from the
// graphs of nuclei and of units, matched that way.
score score_curation(const std::vector<nucleus> &truth, roidb_plus &db,
                     const lineage::key_map &members_head, const lineage::key_multimap &linkage);

void print(const score &s, std::ostream &out);

} // namespace true_lineage
