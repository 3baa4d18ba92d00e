// The unit pass's rules measured against generated datasets' true cells:
// the plain pass, a sweep of each rule on its own, sweeps of the rules
// together and around the recommended values. Prints one table row per run and writes the rows as
// tab-separated values for the plot (docs/plot-curation.gp).
//
//   curation_sweep OUT.tsv KIND DATASET_DIR ROI_FILE [KIND DATASET_DIR ROI_FILE ...]
//
// DATASET_DIR holds oxelgen's lineage.txt; ROI_FILE the ROIs found in its
// images (oxelroi).
#include "q_roiimgdb.h"
#include "roidb_plus.h"
#include "true_cells.h"
#include "unit_maker.h"

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace
{

struct run {
    std::string sweep; // which rule varies: plain, ratio, caps, best, combined
    unit_options options;
};

std::vector<run> runs()
{
    std::vector<run> out{{"plain", unit_options()}};
    for (double r : {0.01, 0.05, 0.1, 0.2, 0.3, 0.4, 0.5, 0.6}) {
        unit_options o;
        o.link_ratio = r;
        out.push_back({"ratio", o});
    }
    for (double c : {0.1, 0.3, 0.5, 0.7, 0.9}) {
        unit_options o;
        o.attach_caps = true;
        o.cap_cover = c;
        out.push_back({"caps", o});
    }
    unit_options best;
    best.best_parent = true;
    out.push_back({"best", best});
    // Link ratio with best parent only, caps left alone.
    for (double r : {0.1, 0.2, 0.3, 0.4, 0.5}) {
        unit_options o = best;
        o.link_ratio = r;
        out.push_back({"links", o});
    }
    // Link ratio 0.5 and best parent only with each cap cover.
    unit_options links = best;
    links.link_ratio = 0.5;
    for (double c : {0.1, 0.3, 0.5, 0.7, 0.9}) {
        unit_options o = links;
        o.attach_caps = true;
        o.cap_cover = c;
        out.push_back({"combined", o});
    }
    // Cap stacking on its own, then on top of the three rules above.
    for (double s : {0.3, 0.5, 0.7}) {
        unit_options o;
        o.stack_caps = true;
        o.stack_cover = s;
        out.push_back({"stack", o});
    }
    for (double s : {0.1, 0.3, 0.5, 0.7, 0.9}) {
        unit_options o = links;
        o.attach_caps = true;
        o.stack_caps = true;
        o.stack_cover = s;
        out.push_back({"stacked", o});
    }
    // Around the recommended values: link ratio and cap cover with stacking.
    for (double r : {0.2, 0.3, 0.4, 0.5})
        for (double c : {0.2, 0.3, 0.5}) {
            unit_options o = unit_options::recommended();
            o.link_ratio = r;
            o.cap_cover = c;
            if (o != unit_options::recommended())
                out.push_back({"tuned", o});
        }
    out.push_back({"recommended", unit_options::recommended()});
    return out;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 5 || (argc - 2) % 3 != 0) {
        std::cerr << "usage: curation_sweep OUT.tsv KIND DATASET_DIR ROI_FILE ..." << std::endl;
        return 2;
    }
    std::ofstream tsv(argv[1]);
    tsv << "kind\tsweep\tratio\tcaps\tcover\tbest\tprecision\trecall\tpurity\tcompleteness"
           "\tsmall\tunits\tlinks\tms\tstack\tstack_cover\n";
    std::printf("| kind | rules | link precision | link recall | purity | completeness | caps on "
                "their own | units | links | ms |\n|---|---|---|---|---|---|---|---|---|---|\n");
    for (int a = 2; a + 2 < argc; a += 3) {
        const std::string kind = argv[a];
        testsupport::true_cells truth;
        if (!truth.read(std::string(argv[a + 1]) + "/lineage.txt", std::cerr))
            return 1;
        roidb_plus db("");
        if (!db.load(argv[a + 2])) {
            std::cerr << "cannot read " << argv[a + 2] << std::endl;
            return 1;
        }
        const testsupport::roi_cells cells = testsupport::assign(db, truth);
        q_roiimgdb rasters;
        const lineage::key_set removed;
        for (const run &r : runs()) {
            lineage::key_multimap head_members, linkage;
            lineage::key_map members_head;
            lineage::key_set elite;
            lineage::tables u{head_members, members_head, linkage, elite};
            const auto start = std::chrono::steady_clock::now();
            {
                unit_maker maker(db, rasters, removed, 0, db.z_max(), r.options);
                for (int t = db.t_min(); t <= db.t_max(); ++t)
                    maker.make_units(t, u, nullptr);
                for (int t = db.t_min() + 1; t <= db.t_max(); ++t)
                    maker.link_time_point(t, u);
            }
            const double ms =
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count();
            const testsupport::curation_score s =
                testsupport::score(cells, head_members, linkage, truth);
            const unit_options &o = r.options;
            std::printf("| %s | %s | %.4f | %.4f | %.4f | %.4f | %.3f | %zu | %zu | %.0f |\n",
                        kind.c_str(), o.describe().c_str(), s.precision(), s.recall(), s.purity,
                        s.completeness, s.small_share(), s.units, s.links, ms);
            std::fflush(stdout);
            tsv << kind << '\t' << r.sweep << '\t' << o.link_ratio << '\t' << o.attach_caps << '\t'
                << o.cap_cover << '\t' << o.best_parent << '\t' << s.precision() << '\t'
                << s.recall() << '\t' << s.purity << '\t' << s.completeness << '\t'
                << s.small_share() << '\t' << s.units << '\t' << s.links << '\t' << ms << '\t'
                << o.stack_caps << '\t' << o.stack_cover << '\n';
        }
    }
    return 0;
}
