// Measures of a candidate curation against a reference.
#include "curation_compare.h"

#include "curation_graph.h"
#include "keygen.h"
#include "roi_pixels.h"
#include "roidb_plus.h"

#include <algorithm> // std::max, std::min
#include <cmath>     // NAN, std::isnan
#include <cstdio>    // std::snprintf
#include <map>
#include <memory> // std::unique_ptr
#include <ostream>
#include <thread>
#include <unordered_map>
#include <vector>

namespace curation_compare
{

namespace
{

uint64_t pair_key(uint32_t r, uint32_t c)
{
    return static_cast<uint64_t>(r) << 32 | c;
}

std::string ratio(size_t part, size_t whole)
{
    if (whole == 0)
        return "n/a";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", static_cast<double>(part) / static_cast<double>(whole));
    return buf;
}

std::string number(double v)
{
    if (std::isnan(v))
        return "n/a";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.4f", v);
    return buf;
}

} // namespace

void score(graph_match &g)
{
    const double cost_d = w_ns * g.ns + w_fn * g.fn + w_fp * g.fp;
    const double cost = cost_d + w_ed * g.ed + w_ea * g.ea + w_ec * g.ec;
    const double from_nothing_d = w_fn * g.reference_vertices;
    const double from_nothing = from_nothing_d + w_ea * g.reference_edges;
    g.det = from_nothing_d > 0 ? 1.0 - std::min(cost_d, from_nothing_d) / from_nothing_d : NAN;
    g.tra = from_nothing > 0 && g.reference_vertices > 0
                ? 1.0 - std::min(cost, from_nothing) / from_nothing
                : NAN;
}

namespace
{

// The overlaps of the ROIs of some time points: the candidate ROIs of a plane
// painted into a canvas of their plane-local numbers, the reference ROIs
// read against it.
struct overlap_counter {
    overlap_counter(const curation_graph &r_graph, const curation_graph &c_graph, roidb_plus &r_db,
                    roidb_plus &c_db)
        : gr(r_graph), gc(c_graph), reference(r_db), candidate(c_db),
          reference_size(r_graph.objects.size(), 0)
    {
    }

    const curation_graph &gr, &gc;
    roidb_plus &reference, &candidate;

    std::unordered_map<uint64_t, size_t> overlap; // (reference, candidate object) → pixels
    std::unordered_map<uint64_t, size_t> pairs;   // (reference, candidate object) → matched ROIs
    std::vector<size_t> reference_size;           // by reference object: pixels
    size_t matched_rois = 0, extra_rois = 0;

    struct painted {
        uint32_t object;
        int left, top, right, bottom;
        bool matched;
    };
    int w = 0, h = 0;
    std::vector<int32_t> canvas;
    roi_pixels px;
    std::vector<painted> plane;
    std::vector<std::pair<int32_t, size_t>> hits;
    std::vector<std::vector<const roi *>> reference_planes, candidate_planes;

    // Makes the canvas cover the current raster, keeping what is painted.
    void cover()
    {
        const int need_w = std::max(w, px.left() + px.width());
        const int need_h = std::max(h, px.top() + px.height());
        if (need_w == w && need_h == h)
            return;
        const int new_w = std::max(need_w, w + w / 2), new_h = std::max(need_h, h + h / 2);
        std::vector<int32_t> grown(static_cast<size_t>(new_w) * new_h, -1);
        for (int y = 0; y < h; ++y)
            std::copy(canvas.begin() + static_cast<ptrdiff_t>(y) * w,
                      canvas.begin() + static_cast<ptrdiff_t>(y + 1) * w,
                      grown.begin() + static_cast<ptrdiff_t>(y) * new_w);
        canvas.swap(grown);
        w = new_w;
        h = new_h;
    }

    void time_point(int t)
    {
        static const std::vector<const roi *> no_rois;
        rois_of_time_point(reference, t, reference_planes);
        rois_of_time_point(candidate, t, candidate_planes);
        const size_t planes = std::max(reference_planes.size(), candidate_planes.size());
        for (size_t z = 0; z < planes; ++z) {
            plane.clear();
            for (const roi *cp : z < candidate_planes.size() ? candidate_planes[z] : no_rois) {
                const uint32_t co = gc.object_at(*cp);
                if (co == curation_graph::none)
                    continue;
                px.make(*cp);
                cover();
                const int32_t k = static_cast<int32_t>(plane.size());
                plane.push_back(painted{co, px.left(), px.top(), px.left() + px.width() - 1,
                                        px.top() + px.height() - 1, false});
                for (int y = std::max(0, -px.top()); y < px.height(); ++y) {
                    const unsigned char *m = px.row(y);
                    int32_t *row = canvas.data() + static_cast<size_t>(px.top() + y) * w;
                    for (int x = std::max(0, -px.left()); x < px.width(); ++x)
                        if (m[x])
                            row[px.left() + x] = k;
                }
            }
            for (const roi *rp : z < reference_planes.size() ? reference_planes[z] : no_rois) {
                const uint32_t ro = gr.object_at(*rp);
                if (ro == curation_graph::none)
                    continue;
                px.make(*rp);
                reference_size[ro] += px.size();
                hits.clear();
                const int x_end = std::min(px.width(), w - px.left());
                if (!plane.empty())
                    for (int y = std::max(0, -px.top()); y < px.height() && px.top() + y < h; ++y) {
                        const unsigned char *m = px.row(y);
                        const int32_t *row = canvas.data() + static_cast<size_t>(px.top() + y) * w;
                        for (int x = std::max(0, -px.left()); x < x_end; ++x) {
                            if (!m[x] || row[px.left() + x] < 0)
                                continue;
                            const int32_t k = row[px.left() + x];
                            auto hit = std::find_if(hits.begin(), hits.end(),
                                                    [k](const auto &e) { return e.first == k; });
                            if (hit == hits.end())
                                hits.push_back({k, 1});
                            else
                                ++hit->second;
                        }
                    }
                bool matched = false;
                for (const auto &hit : hits) {
                    painted &c = plane[static_cast<size_t>(hit.first)];
                    overlap[pair_key(ro, c.object)] += hit.second;
                    if (2 * hit.second > px.size()) {
                        matched = true;
                        c.matched = true;
                        ++pairs[pair_key(ro, c.object)];
                    }
                }
                matched_rois += matched;
            }
            for (const painted &c : plane) {
                extra_rois += !c.matched;
                const int left = std::max(c.left, 0), right = c.right;
                for (int y = std::max(c.top, 0); y <= c.bottom && left <= right; ++y)
                    std::fill(canvas.begin() + static_cast<ptrdiff_t>(y) * w + left,
                              canvas.begin() + static_cast<ptrdiff_t>(y) * w + right + 1, -1);
            }
        }
    }
};

} // namespace

void score_graphs(const graph &reference, const graph &candidate,
                  const std::vector<uint32_t> &match, result &res)
{
    const size_t nr = reference.parents.size(), nc = candidate.parents.size();
    std::vector<std::vector<uint32_t>> reference_children(nr), candidate_children(nc);
    for (uint32_t c = 0; c < nr; ++c)
        for (uint32_t p : reference.parents[c])
            reference_children[p].push_back(c);
    for (uint32_t c = 0; c < nc; ++c)
        for (uint32_t p : candidate.parents[c])
            candidate_children[p].push_back(c);
    // Continuation when the parent has one child, else division.
    auto continues = [](const std::vector<std::vector<uint32_t>> &children, uint32_t parent) {
        return children[parent].size() == 1;
    };

    graph_match &g = res.graph;
    g = graph_match();
    g.reference_vertices = nr;
    std::vector<size_t> matched_by(nc, 0);
    for (uint32_t m : match) {
        if (m == graph::none)
            ++g.fn;
        else
            ++matched_by[m];
    }
    for (size_t n : matched_by) {
        g.fp += n == 0;
        g.ns += n > 1 ? n - 1 : 0;
    }

    // Edges: a reference link maps onto the candidate link between the
    // matches of its ends; one reference link per candidate link is carried
    // over (one of the same kind when there is one), the rest are added.
    res.reference_links = res.found_links = res.candidate_links = res.correct_links = 0;
    std::map<std::pair<uint32_t, uint32_t>, std::vector<bool>> mapped; // candidate link → kinds
    for (uint32_t c = 0; c < nc; ++c)
        for (uint32_t p : candidate.parents[c])
            mapped[{c, p}];
    for (uint32_t c = 0; c < nr; ++c)
        for (uint32_t p : reference.parents[c]) {
            ++g.reference_edges;
            const bool ends_matched = match[c] != graph::none && match[p] != graph::none;
            auto link = ends_matched ? mapped.find({match[c], match[p]}) : mapped.end();
            if (ends_matched)
                ++res.reference_links;
            if (link == mapped.end()) {
                ++g.ea;
                continue;
            }
            ++res.found_links;
            link->second.push_back(continues(reference_children, p));
        }
    for (const auto &link : mapped) {
        const uint32_t c = link.first.first, p = link.first.second;
        const std::vector<bool> &kinds = link.second;
        if (matched_by[c] > 0 && matched_by[p] > 0) {
            ++res.candidate_links;
            res.correct_links += !kinds.empty();
        }
        if (kinds.empty()) {
            ++g.ed;
            continue;
        }
        g.ea += kinds.size() - 1;
        const bool kind = continues(candidate_children, p);
        g.ec += std::find(kinds.begin(), kinds.end(), kind) == kinds.end();
    }
    score(g);

    // Divisions.
    res.reference_divisions = res.candidate_divisions = 0;
    res.found_divisions = res.correct_divisions = 0;
    std::vector<bool> division_found(nc, false);
    for (const std::vector<uint32_t> &children : candidate_children)
        res.candidate_divisions += children.size() >= 2;
    for (uint32_t p = 0; p < nr; ++p) {
        const std::vector<uint32_t> &children = reference_children[p];
        if (children.size() < 2)
            continue;
        ++res.reference_divisions;
        const uint32_t cp = match[p];
        if (cp == graph::none || candidate_children[cp].size() < 2)
            continue;
        size_t kept = 0;
        for (uint32_t c : children)
            kept += match[c] != graph::none &&
                    std::find(candidate_children[cp].begin(), candidate_children[cp].end(),
                              match[c]) != candidate_children[cp].end();
        if (kept >= 2) {
            ++res.found_divisions;
            division_found[cp] = true;
        }
    }
    for (bool f : division_found)
        res.correct_divisions += f;
}

result compare(side reference, side candidate)
{
    // Both graphs at once; the pixels' extent is not needed here.
    const lineage::key_set nothing_left_out;
    curation_graph gr;
    std::thread other([&] {
        gr = build_graph(reference.db, reference.members_head, reference.linkage, nothing_left_out,
                         false);
    });
    const curation_graph gc = build_graph(candidate.db, candidate.members_head, candidate.linkage,
                                          nothing_left_out, false);
    other.join();
    result res;
    res.reference_rois = reference.db.count();
    res.candidate_rois = candidate.db.count();
    res.reference_units = gr.objects.size();
    res.candidate_units = gc.objects.size();

    // Time points are counted on several threads, each taking every n-th.
    std::vector<size_t> reference_size(gr.objects.size(), 0);
    int t_first = 1000, t_last = -1;
    for (roidb_plus *db : {&reference.db, &candidate.db})
        if (db->count() > 0) {
            t_first = std::min(t_first, db->t_min());
            t_last = std::max(t_last, db->t_max());
        }
    const unsigned threads = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    std::vector<std::unique_ptr<overlap_counter>> counters;
    for (unsigned k = 0; k < threads; ++k)
        counters.emplace_back(new overlap_counter(gr, gc, reference.db, candidate.db));
    std::vector<std::thread> helpers;
    auto count = [&](unsigned k) {
        for (int t = t_first + static_cast<int>(k); t <= t_last; t += static_cast<int>(threads))
            counters[k]->time_point(t);
    };
    for (unsigned k = 1; k < threads; ++k)
        helpers.emplace_back(count, k);
    count(0);
    for (std::thread &helper : helpers)
        helper.join();
    std::unordered_map<uint64_t, size_t> overlap, pairs;
    for (auto &c : counters) {
        for (const auto &o : c->overlap)
            overlap[o.first] += o.second;
        for (const auto &p : c->pairs)
            pairs[p.first] += p.second;
        for (size_t i = 0; i < reference_size.size(); ++i)
            reference_size[i] += c->reference_size[i];
        res.matched_rois += c->matched_rois;
        res.extra_rois += c->extra_rois;
    }
    counters.clear();
    res.missed_rois = res.reference_rois - res.matched_rois;

    // Units over matched ROI pairs.
    std::vector<size_t> best_of_reference(gr.objects.size(), 0),
        best_of_candidate(gc.objects.size(), 0);
    std::vector<size_t> pairs_of_candidate(gc.objects.size(), 0);
    std::vector<uint32_t> best_candidate(gr.objects.size(), curation_graph::none);
    size_t all_pairs = 0;
    for (const auto &p : pairs) {
        const uint32_t ro = static_cast<uint32_t>(p.first >> 32),
                       co = static_cast<uint32_t>(p.first);
        all_pairs += p.second;
        pairs_of_candidate[co] += p.second;
        best_of_candidate[co] = std::max(best_of_candidate[co], p.second);
        if (p.second > best_of_reference[ro] ||
            (p.second == best_of_reference[ro] && co < best_candidate[ro])) {
            best_of_reference[ro] = p.second;
            best_candidate[ro] = co;
        }
    }
    size_t pure = 0, complete = 0;
    for (size_t n : best_of_candidate)
        pure += n;
    for (size_t n : best_of_reference)
        complete += n;
    res.purity = all_pairs ? static_cast<double>(pure) / all_pairs : NAN;
    res.completeness =
        res.reference_rois ? static_cast<double>(complete) / res.reference_rois : NAN;
    for (uint32_t ro = 0; ro < gr.objects.size(); ++ro) {
        const uint32_t co = best_candidate[ro];
        res.exact_units += co != curation_graph::none &&
                           best_of_reference[ro] == gr.objects[ro].rois &&
                           best_of_reference[ro] == gc.objects[co].rois &&
                           pairs_of_candidate[co] == best_of_reference[ro];
    }

    // Objects: a candidate object matches a reference object covering more
    // than half of its pixels; at most one can.
    std::vector<uint32_t> match(gr.objects.size(), graph::none);
    for (const auto &o : overlap) {
        const uint32_t ro = static_cast<uint32_t>(o.first >> 32),
                       co = static_cast<uint32_t>(o.first);
        if (2 * o.second > reference_size[ro])
            match[ro] = co;
    }
    graph reference_graph, candidate_graph;
    for (const curation_graph::object &o : gr.objects)
        reference_graph.parents.push_back(o.parents);
    for (const curation_graph::object &o : gc.objects)
        candidate_graph.parents.push_back(o.parents);
    score_graphs(reference_graph, candidate_graph, match, res);
    return res;
}

void print_row(std::ostream &out, const char *what, const char *measure, const std::string &value,
               const std::string &detail)
{
    char line[256];
    std::snprintf(line, sizeof line, "%-10s %-13s %10s  %s", what, measure, value.c_str(),
                  detail.c_str());
    std::string s = line;
    s.erase(s.find_last_not_of(' ') + 1);
    out << s << '\n';
}

void print(const result &r, std::ostream &out)
{
    auto row = [&out](const char *what, const char *measure, const std::string &value,
                      const std::string &detail) { print_row(out, what, measure, value, detail); };
    const std::string of_reference = "of " + std::to_string(r.reference_rois) + " reference ROIs";
    row("Detection", "matched", std::to_string(r.matched_rois), of_reference);
    row("", "missed", std::to_string(r.missed_rois), "");
    row("", "extra", std::to_string(r.extra_rois),
        "of " + std::to_string(r.candidate_rois) + " candidate ROIs");
    row("Units", "purity", number(r.purity), "");
    row("", "completeness", number(r.completeness),
        "over " + std::to_string(r.reference_units) + " reference and " +
            std::to_string(r.candidate_units) + " candidate units");
    row("", "exact", std::to_string(r.exact_units),
        "of " + std::to_string(r.reference_units) + " reference units");
    print_graph_rows(r, out);
}

void print_graph_rows(const result &r, std::ostream &out)
{
    const graph_match &g = r.graph;
    auto row = [&out](const char *what, const char *measure, const std::string &value,
                      const std::string &detail) { print_row(out, what, measure, value, detail); };
    row("Links", "precision", ratio(r.correct_links, r.candidate_links),
        std::to_string(r.correct_links) + " of " + std::to_string(r.candidate_links) +
            " between matched units");
    row("", "recall", ratio(r.found_links, r.reference_links),
        std::to_string(r.found_links) + " of " + std::to_string(r.reference_links));
    row("Divisions", "precision", ratio(r.correct_divisions, r.candidate_divisions),
        std::to_string(r.correct_divisions) + " of " + std::to_string(r.candidate_divisions));
    row("", "recall", ratio(r.found_divisions, r.reference_divisions),
        std::to_string(r.found_divisions) + " of " + std::to_string(r.reference_divisions));
    row("DET", "", number(g.det),
        "NS " + std::to_string(g.ns) + ", FN " + std::to_string(g.fn) + ", FP " +
            std::to_string(g.fp));
    row("TRA", "", number(g.tra),
        "ED " + std::to_string(g.ed) + ", EA " + std::to_string(g.ea) + ", EC " +
            std::to_string(g.ec));
    out.flush();
}

} // namespace curation_compare
