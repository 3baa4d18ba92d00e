// A generated dataset's true cells (oxelgen's lineage.txt) and how far a
// unit table and its links are from them: each ROI belongs to the cell that
// holds most of its pixels, by the generator's own rule.
#pragma once

#include <iosfwd>
#include <map>
#include <set>
#include <string>
#include <vector>

class roidb_plus;

namespace testsupport
{

struct true_cell {
    int t = 0, id = 0, parent = 0;
    double x = 0, y = 0, z = 0, r = 0;
};

class true_cells
{
public:
    // Reads lineage.txt; a "# packed cells: a plane is D px deep" comment
    // says the cells are packed (pixels go to the least power distance).
    // False with a message on err when the file cannot be read or has a
    // malformed line.
    bool read(const std::string &path, std::ostream &err);
    bool packed() const { return _packed; }
    const std::vector<true_cell> &cells() const { return _cells; }

    // The cell (its id) whose pixel (x, y) of plane z is at time point t; 0
    // when none. Separated nuclei: the nearest nucleus whose disc and
    // height (at most four planes) hold the pixel.
    int cell_at(int t, int x, int y, int z) const;

private:
    // The cells of each time point by 16-pixel square of the field that their
    // reach touches.
    using buckets = std::map<std::pair<int, int>, std::vector<const true_cell *>>;
    double reach(const true_cell &c) const;

    bool _packed = false;
    double _depth = 1.0;
    std::vector<true_cell> _cells;
    std::map<int, buckets> _by_time;
};

// Where each ROI belongs: the cell holding most of its pixels (0: none).
struct roi_cell {
    int cell = 0;
    long pixels = 0;
};
using roi_cells = std::map<std::string, roi_cell>;
roi_cells assign(roidb_plus &db, const true_cells &truth);

struct curation_score {
    size_t rois = 0, rois_in_cells = 0;
    size_t units = 0, small_units = 0; // small: one or two ROIs
    size_t links = 0, links_judged = 0, links_right = 0;
    size_t true_links = 0, true_links_found = 0;
    double purity = 0, completeness = 0;

    double precision() const { return links_judged ? double(links_right) / links_judged : 1.0; }
    double recall() const { return true_links ? double(true_links_found) / true_links : 1.0; }
    double small_share() const { return units ? double(small_units) / units : 0.0; }
};

// Scores the units (head → members) and links (child → parent) against the
// truth. A unit stands for the cell that holds most of its pixels. Purity:
// the pixels of units in their unit's cell, of all pixels in cells;
// completeness: the pixels of each true cell's time point in its largest
// unit, of all. Link precision: links whose units' cells are one cell, or
// mother and daughter, of the links between units of cells. Recall: true
// links (a cell to itself one time point on, a mother to her daughters,
// both with ROIs) joined by some link between units of those cells.
curation_score score(const roi_cells &cells,
                     const std::multimap<std::string, std::string> &head_members,
                     const std::multimap<std::string, std::string> &linkage,
                     const true_cells &truth);

} // namespace testsupport
