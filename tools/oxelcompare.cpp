// oxelcompare: how far a candidate curation is from a reference one.
//
//   oxelcompare REFERENCE CANDIDATE
//
// Each side is a folder of the interchange format, or a ROI file with its
// lineage file (NAME.lineage beside NAME.roi), or ROI_FILE:LINEAGE_FILE.
// Prints a table: detection of ROIs, units, links, divisions, DET and TRA.
#include "ctc_import.h"
#include "curation_compare.h"
#include "curation_io.h"

#include <iostream>
#include <sstream>
#include <string>
#include <sys/stat.h> // stat
#include <thread>

namespace
{

bool is_dir(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool is_file(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool load(const std::string &arg, tools::curation &c, std::ostream &err)
{
    if (is_dir(arg)) {
        c.db = std::make_unique<roidb_plus>("folder");
        return ctc::import_folder(arg, *c.db, c.lineage, err);
    }
    std::string roi_file = arg, lineage = tools::lineage_beside(arg);
    const auto colon = arg.rfind(':');
    if (colon != std::string::npos && !is_file(arg) && is_file(arg.substr(0, colon))) {
        roi_file = arg.substr(0, colon);
        lineage = arg.substr(colon + 1);
    }
    if (!tools::read_rois(roi_file, c, err))
        return false;
    if (!is_file(lineage) && lineage == tools::lineage_beside(roi_file)) {
        err << "oxelcompare: no lineage file " << lineage << "; every ROI of " << roi_file
            << " is a unit of its own" << std::endl;
        return true;
    }
    return tools::read_lineage(lineage, c, err);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::cerr << "usage: oxelcompare REFERENCE CANDIDATE\n"
                     "  each a folder of the interchange format, a ROI file with its lineage\n"
                     "  file beside it (NAME.lineage), or ROI_FILE:LINEAGE_FILE"
                  << std::endl;
        return 2;
    }
    // The two sides are read at once, each on its own thread; their messages
    // follow in order.
    tools::curation reference, candidate;
    std::ostringstream reference_err, candidate_err;
    bool reference_ok = false;
    std::thread reading([&] { reference_ok = load(argv[1], reference, reference_err); });
    const bool candidate_ok = load(argv[2], candidate, candidate_err);
    reading.join();
    std::cerr << reference_err.str() << candidate_err.str();
    if (!reference_ok || !candidate_ok)
        return 1;
    std::cout << "reference  " << argv[1] << "\ncandidate  " << argv[2] << "\n\n";
    curation_compare::print(
        curation_compare::compare(
            {*reference.db, reference.lineage.members_head, reference.lineage.linkage},
            {*candidate.db, candidate.lineage.members_head, candidate.lineage.linkage}),
        std::cout);
    return 0;
}
