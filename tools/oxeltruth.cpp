// oxeltruth: a generated dataset's true lineage against a curation.
//
//   oxeltruth [--save-lineage FILE] DATASET_DIR ROI_FILE [LINEAGE_FILE]
//
// DATASET_DIR holds the generator's lineage.txt. Without LINEAGE_FILE the
// curation is the automatic one: every time point's units made and linked
// to the time point before, as "Make units" does; --save-lineage writes it.
// Prints how many true nuclei the units find, and the links, divisions, DET
// and TRA of the units' lineage against the true one.
#include "curation_io.h"
#include "q_roiimgdb.h"
#include "true_lineage.h"
#include "unit_maker.h"

#include <iostream>
#include <string>
#include <vector>

namespace
{

int usage()
{
    std::cerr << "usage: oxeltruth [--save-lineage FILE] DATASET_DIR ROI_FILE [LINEAGE_FILE]"
              << std::endl;
    return 2;
}

// The automatic units and links of the whole dataset.
void make_units(tools::curation &c)
{
    roidb_plus &db = *c.db;
    if (db.count() == 0)
        return;
    q_roiimgdb rasters;
    const lineage::key_set removed;
    unit_maker maker(db, rasters, removed, 0, db.z_max());
    lineage::key_set elite;
    lineage::tables u{c.lineage.head_members, c.lineage.members_head, c.lineage.linkage, elite};
    const auto keep_going = [] { return true; };
    for (int t = db.t_min(); t <= db.t_max(); ++t)
        maker.make_units(t, u, keep_going);
    for (int t = db.t_min() + 1; t <= db.t_max(); ++t)
        maker.link_time_point(t, u);
}

} // namespace

int main(int argc, char **argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    std::string save;
    if (args.size() >= 2 && args[0] == "--save-lineage") {
        save = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.size() < 2 || args.size() > 3 || (!save.empty() && args.size() == 3))
        return usage();

    std::vector<true_lineage::nucleus> truth;
    if (!true_lineage::read(args[0] + "/lineage.txt", truth, std::cerr))
        return 1;
    tools::curation c;
    if (!tools::read_rois(args[1], c, std::cerr))
        return 1;
    if (args.size() == 3) {
        if (!tools::read_lineage(args[2], c, std::cerr))
            return 1;
    } else {
        // The unit-making pass talks as it goes; only the table is wanted here.
        std::streambuf *talk = std::cout.rdbuf(nullptr);
        make_units(c);
        std::cout.rdbuf(talk);
        if (!save.empty() && !lineage_file::write(save, c.db->name(), c.lineage, std::cerr))
            return 1;
    }
    true_lineage::print(
        true_lineage::score_curation(truth, *c.db, c.lineage.members_head, c.lineage.linkage),
        std::cout);
    return 0;
}
