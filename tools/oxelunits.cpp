// oxelunits: the automatic unit pass of "Make units" without a display, for
// batches of datasets.
//
//   oxelunits ROI_FILE OUT.lineage [--link-ratio R] [--attach-caps C]
//             [--stack-caps S] [--best-parent] [--recommended]
//
// Groups each object's ROIs of every time point into a unit, links every time
// point to the one before, and writes the units and links as a lineage file
// (written beside OUT.lineage and renamed over it when complete). Exit status
// 0 when written, 1 when the ROI file cannot be read or holds no ROI, or the
// lineage file cannot be written (an old OUT.lineage is then left as it was), 2 on a
// wrong command line.
#include "lineage_file.h"
#include "program_info.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"
#include "unit_maker.h"

#include <iostream>
#include <string>
#include <vector>

namespace
{

int usage(const std::string &why)
{
    if (!why.empty())
        std::cerr << "oxelunits: " << why << std::endl;
    std::cerr << "usage: oxelunits ROI_FILE OUT.lineage " << unit_flags_usage << std::endl;
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string help =
        std::string("usage: oxelunits ROI_FILE OUT.lineage ") + unit_flags_usage +
        "\n"
        "The units and links of \"Make units\", written as a lineage file.\n"
        "  --link-ratio R   link units only when their shared pixels exceed R x the\n"
        "                   smaller unit's pixels\n"
        "  --attach-caps C  a unit of one or two ROIs joins the unit whose ROI on the\n"
        "                   plane above or below covers more than C of its pixels,\n"
        "                   unless that unit has a ROI on the cap's own plane\n"
        "  --stack-caps S   units of one or two ROIs still on their own join each other\n"
        "                   where a ROI of one, on the plane above or below, covers\n"
        "                   more than S of the smaller ROI's pixels; with --attach-caps\n"
        "                   the small units left then attach again, also to a unit two\n"
        "                   planes away that has no ROI on the plane between, where\n"
        "                   another ROI covers them (drawn together with a neighbour)\n"
        "  --best-parent    keep only parents sharing at least half of the best's pixels\n"
        "  --recommended    for packed cells: link ratio 0.3, caps attached above 0.3,\n"
        "                   caps stacked above 0.5, best parent only\n";
    if (oxel_program_info(argc, argv, "oxelunits", help.c_str()))
        return 0;
    std::vector<std::string> args(argv + 1, argv + argc);
    unit_options options;
    std::string error;
    if (!take_unit_flags(args, options, error))
        return usage(error);
    for (const std::string &a : args)
        if (a.size() > 1 && a[0] == '-')
            return usage("unknown option " + a);
    if (args.size() != 2)
        return usage(std::string());

    roidb_plus db("");
    if (!db.load(args[0])) {
        std::cerr << "oxelunits: cannot read the ROI file " << args[0] << std::endl;
        return 1;
    }
    // A file that holds no ROI is most likely not the one meant: an earlier
    // lineage file is worth more than an empty one.
    if (db.count() == 0) {
        std::cerr << "oxelunits: no ROIs in " << args[0] << "; nothing written" << std::endl;
        return 1;
    }
    lineage::key_multimap head_members, linkage;
    lineage::key_map members_head;
    lineage::key_set elite;
    lineage::tables u{head_members, members_head, linkage, elite};
    size_t links = 0;
    {
        q_roiimgdb rasters;
        const lineage::key_set removed;
        unit_maker maker(db, rasters, removed, 0, db.z_max(), options);
        // Linked as soon as grouped, as in the window: the rasters of both
        // time points are still in the cache.
        for (int t = db.t_min(); t <= db.t_max(); ++t) {
            maker.make_units(t, u, nullptr);
            if (t > db.t_min())
                links += static_cast<size_t>(maker.link_time_point(t, u));
        }
    }
    if (!lineage_file::write(args[1], db.name(), head_members, linkage, elite, lineage::key_set(),
                             std::cerr))
        return 1;
    size_t units = 0;
    for (auto it = head_members.begin(); it != head_members.end();
         it = head_members.upper_bound(it->first))
        ++units;
    std::cout << "oxelunits: " << db.count() << " ROIs, " << units << " units, " << links
              << " links (" << options.describe() << ") in " << args[1] << std::endl;
    return 0;
}
