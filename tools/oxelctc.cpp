// oxelctc: a curation in the cell-tracking community's interchange format.
//
//   oxelctc export [OPTIONS] ROI_FILE LINEAGE_FILE OUT_DIR
//       one 16-bit label image per time point (maskTTT.tif, a page per plane)
//       and res_track.txt; the folder is checked by the format's rules
//       before it replaces anything in OUT_DIR. Options:
//         --size WxH          the label images' size (default: the dataset's
//                             images, else the extent of the ROIs)
//         --image-root DIR    where DIR/NAME/TTT-ZZZ.jpg are (default:
//                             $OXELBROWSER_IMAGE_ROOT, else /image)
//         --fp FP_FILE        false positives to leave out
//         --compression none|packbits|deflate|lzw   (default deflate)
//   oxelctc import CTC_DIR IMAGE_NAME OUT.roi OUT.lineage
//       ROIs traced from the label images, one unit per label and time point,
//       the tracks as links; IMAGE_NAME names the dataset
//   oxelctc validate DIR
//       the format's rules; one line per fault, exit status 1 if any
#include "ctc_export.h"
#include "ctc_folder.h"
#include "ctc_import.h"
#include "curation_io.h"
#include "key_files.h"

#include <cstdlib> // std::getenv
#include <cstring> // std::strcmp
#include <iostream>
#include <string>
#include <vector>

namespace
{

int usage()
{
    std::cerr << "usage: oxelctc export [--size WxH] [--image-root DIR] [--fp FP_FILE]\n"
                 "                      [--compression none|packbits|deflate|lzw]\n"
                 "                      ROI_FILE LINEAGE_FILE OUT_DIR\n"
                 "       oxelctc import CTC_DIR IMAGE_NAME OUT.roi OUT.lineage\n"
                 "       oxelctc validate DIR\n";
    return 2;
}

bool parse_size(const std::string &text, int &w, int &h)
{
    const auto x = text.find('x');
    if (x == std::string::npos || x == 0 || x + 1 >= text.size())
        return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (i != x && (text[i] < '0' || text[i] > '9'))
            return false;
    if (x > 5 || text.size() - x - 1 > 5)
        return false;
    w = std::stoi(text.substr(0, x));
    h = std::stoi(text.substr(x + 1));
    return w > 0 && h > 0;
}

int export_command(const std::vector<std::string> &args)
{
    ctc::export_options options;
    const char *root = std::getenv("OXELBROWSER_IMAGE_ROOT");
    options.image_root = root && *root ? root : "/image";
    std::string fp_file;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &a = args[i];
        const bool has_value = i + 1 < args.size();
        if (a == "--size" && has_value) {
            if (!parse_size(args[++i], options.width, options.height)) {
                std::cerr << "oxelctc: --size wants WIDTHxHEIGHT, not " << args[i] << std::endl;
                return 2;
            }
        } else if (a == "--image-root" && has_value) {
            options.image_root = args[++i];
        } else if (a == "--fp" && has_value) {
            fp_file = args[++i];
        } else if (a == "--compression" && has_value) {
            const std::string &how = args[++i];
            if (how == "none")
                options.how = label_tiff::compression::none;
            else if (how == "packbits")
                options.how = label_tiff::compression::packbits;
            else if (how == "deflate")
                options.how = label_tiff::compression::deflate;
            else if (how == "lzw")
                options.how = label_tiff::compression::lzw;
            else
                return usage();
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            return usage();
        } else {
            files.push_back(a);
        }
    }
    if (files.size() != 3)
        return usage();

    tools::curation c;
    if (!tools::read_rois(files[0], c, std::cerr) || !tools::read_lineage(files[1], c, std::cerr))
        return 1;
    std::set<std::string> false_positives;
    if (!fp_file.empty() && key_files::read(fp_file, c.db->name(), "FP", false_positives,
                                            std::cerr) != key_files::read_result::read)
        return 1;
    return ctc::export_folder(*c.db, c.lineage.members_head, c.lineage.linkage, false_positives,
                              c.db->name(), files[2], options, std::cout, std::cerr)
               ? 0
               : 1;
}

int import_command(const std::vector<std::string> &args)
{
    if (args.size() != 4)
        return usage();
    const std::string &name = args[1];
    if (name.empty() || name.find_first_of(" \t\n") != std::string::npos) {
        std::cerr << "oxelctc: the dataset name is one word" << std::endl;
        return 2;
    }
    tools::curation c;
    c.db = std::make_unique<roidb_plus>(name);
    ctc::import_summary s;
    if (!ctc::import_folder(args[0], *c.db, c.lineage, std::cerr, &s))
        return 1;
    if (!tools::write_rois(args[2], c, std::cerr) ||
        !lineage_file::write(args[3], name, c.lineage, std::cerr))
        return 1;
    std::cout << "Imported " << s.rois << " ROIs in " << s.units << " units with " << s.links
              << " links from " << args[0];
    if (s.problems > 0)
        std::cout << "; the folder breaks the format's rules " << s.problems
                  << (s.problems == 1 ? " time" : " times");
    std::cout << std::endl;
    return 0;
}

int validate_command(const std::vector<std::string> &args)
{
    if (args.size() != 1)
        return usage();
    std::vector<std::string> problems;
    std::string error;
    if (!ctc::validate(args[0], problems, error)) {
        std::cerr << error << std::endl;
        return 1;
    }
    for (const std::string &p : problems)
        std::cout << p << '\n';
    if (problems.empty())
        std::cout << args[0] << ": valid" << std::endl;
    else
        std::cout << args[0] << ": " << problems.size()
                  << (problems.size() == 1 ? " fault" : " faults") << std::endl;
    return problems.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2)
        return usage();
    const std::string command = argv[1];
    const std::vector<std::string> args(argv + 2, argv + argc);
    if (command == "export")
        return export_command(args);
    if (command == "import")
        return import_command(args);
    if (command == "validate")
        return validate_command(args);
    return usage();
}
