// Scoring a curation against a generated dataset's true lineage.
#include "true_lineage.h"

#include "curation_graph.h"
#include "roi_pixels.h"
#include "roidb_plus.h"

#include <cmath> // std::lround
#include <fstream>
#include <map>
#include <ostream>
#include <sstream>
#include <utility> // std::pair

namespace true_lineage
{

bool read(const std::string &path, std::vector<nucleus> &out, std::ostream &err)
{
    std::ifstream in(path);
    if (!in) {
        err << "Cannot open " << path << std::endl;
        return false;
    }
    out.clear();
    size_t bad = 0, first_bad = 0, number = 0;
    std::string line, rest;
    while (std::getline(in, line)) {
        ++number;
        const auto start = line.find_first_not_of(" \t\r");
        if (start == std::string::npos || line[start] == '#')
            continue;
        std::istringstream words(line);
        nucleus n;
        if (!(words >> n.t >> n.id >> n.parent >> n.x >> n.y >> n.z >> n.radius) ||
            (words >> rest) || n.t < 0 || n.t > 999) {
            if (bad++ == 0)
                first_bad = number;
            continue;
        }
        out.push_back(n);
    }
    if (bad > 0)
        err << path << ": left out " << bad << " malformed " << (bad == 1 ? "line" : "lines")
            << " (first at line " << first_bad << ")" << std::endl;
    return true;
}

score score_curation(const std::vector<nucleus> &truth, roidb_plus &db,
                     const lineage::key_map &members_head, const lineage::key_multimap &linkage)
{
    const lineage::key_set nothing_left_out;
    const curation_graph g = build_graph(db, members_head, linkage, nothing_left_out, false);
    score s;
    s.nuclei = truth.size();
    s.units = g.objects.size();

    // The unit of each nucleus.
    std::map<int, std::vector<size_t>> by_time;
    for (size_t i = 0; i < truth.size(); ++i)
        by_time[truth[i].t].push_back(i);
    std::vector<uint32_t> match(truth.size(), curation_compare::graph::none);
    std::vector<size_t> held(g.objects.size(), 0);
    std::vector<std::vector<const roi *>> planes;
    roi_pixels px;
    for (const auto &at : by_time) {
        rois_of_time_point(db, at.first, planes);
        for (size_t i : at.second) {
            const nucleus &n = truth[i];
            const int x = static_cast<int>(std::lround(n.x)),
                      y = static_cast<int>(std::lround(n.y));
            const int z0 = static_cast<int>(std::lround(n.z));
            for (int dz : {0, -1, 1, -2, 2}) {
                const int z = z0 + dz;
                if (z < 0 || z >= static_cast<int>(planes.size()))
                    continue;
                for (const roi *r : planes[static_cast<size_t>(z)]) {
                    int left, top, right, bottom;
                    roi_pixels::box_of(*r, left, top, right, bottom);
                    if (x < left || x > right || y < top || y > bottom)
                        continue;
                    px.make(*r);
                    if (!px.row(y - px.top())[x - px.left()])
                        continue;
                    match[i] = g.object_at(*r);
                    break;
                }
                if (match[i] != curation_compare::graph::none)
                    break;
            }
            if (match[i] != curation_compare::graph::none) {
                ++s.found;
                ++held[match[i]];
            }
        }
    }
    for (size_t n : held) {
        s.empty_units += n == 0;
        s.shared_units += n > 1;
    }

    // The graphs: nuclei with their true parents, units with their links.
    curation_compare::graph reference, candidate;
    std::map<std::pair<int, int>, uint32_t> vertex; // (t, id) → nucleus
    for (size_t i = 0; i < truth.size(); ++i)
        vertex[{truth[i].t, truth[i].id}] = static_cast<uint32_t>(i);
    reference.parents.resize(truth.size());
    for (size_t i = 0; i < truth.size(); ++i) {
        const nucleus &n = truth[i];
        auto same = vertex.find({n.t - 1, n.id});
        auto mother = n.parent != 0 ? vertex.find({n.t - 1, n.parent}) : vertex.end();
        if (same != vertex.end())
            reference.parents[i].push_back(same->second);
        else if (mother != vertex.end())
            reference.parents[i].push_back(mother->second);
    }
    for (const curation_graph::object &o : g.objects)
        candidate.parents.push_back(o.parents);
    curation_compare::score_graphs(reference, candidate, match, s.measures);
    return s;
}

void print(const score &s, std::ostream &out)
{
    using curation_compare::print_row;
    print_row(out, "Nuclei", "found", std::to_string(s.found),
              "of " + std::to_string(s.nuclei) + " true nuclei (a ROI holds the centre)");
    print_row(out, "", "missed", std::to_string(s.nuclei - s.found), "");
    print_row(out, "Units", "holding none", std::to_string(s.empty_units),
              "of " + std::to_string(s.units) + " units and ROIs of no unit");
    print_row(out, "", "holding more", std::to_string(s.shared_units),
              "hold the centres of two or more nuclei");
    curation_compare::print_graph_rows(s.measures, out);
}

} // namespace true_lineage
