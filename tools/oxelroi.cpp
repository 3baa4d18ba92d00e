// oxelroi: runs spotscan on every image TTT-ZZZ.jpg of a dataset folder and
// writes one ROI database file of all their regions.
//
//   oxelroi DATASET_DIR OUT.roi [NAME]
//
// NAME (default: the folder's last component) is the database's name line;
// the detector is $SPOTSCAN, else the spotscan beside this program.
#include "OXEL_roidb"
#include "program_info.h"

#include <cstdio>   // popen
#include <cstdlib>  // std::getenv
#include <dirent.h> // opendir
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h> // readlink
#include <vector>

namespace {

// t and z from a name of the form TTT-ZZZ.jpg (each at least three digits,
// 1000 and more with all theirs); false for any other name.
bool plane_of(const std::string &name, int &t, int &z)
{
    const size_t dash = name.find('-');
    if (name.size() < 11 || name.compare(name.size() - 4, 4, ".jpg") != 0 ||
        dash == std::string::npos)
        return false;
    const std::string tt = name.substr(0, dash), zz = name.substr(dash + 1, name.size() - 4 - dash - 1);
    for (const std::string *field : {&tt, &zz}) {
        if (field->size() < 3 || field->size() > 7)
            return false;
        for (char c : *field)
            if (c < '0' || c > '9')
                return false;
    }
    t = std::stoi(tt);
    z = std::stoi(zz);
    return true;
}

std::string quoted(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string detector()
{
    if (const char *env = std::getenv("SPOTSCAN"))
        return env;
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string dir = n > 0 ? std::string(self, static_cast<size_t>(n)) : std::string();
    dir = dir.substr(0, dir.rfind('/'));
    return dir + "/../spotscan/spotscan";
}

} // namespace

int main(int argc, char **argv)
{
    if (oxel_program_info(argc, argv, "oxelroi",
                          "usage: oxelroi DATASET_DIR OUT.roi [NAME]\n"
                          "Runs spotscan on every TTT-ZZZ.jpg of the folder and writes one ROI file.\n"))
        return 0;
    if (argc < 3 || argc > 4) {
        std::cerr << "usage: oxelroi DATASET_DIR OUT.roi [NAME]" << std::endl;
        return 2;
    }
    std::string dir = argv[1];
    while (dir.size() > 1 && dir.back() == '/')
        dir.pop_back();
    std::string name = argc == 4 ? argv[3] : dir.substr(dir.rfind('/') + 1);

    DIR *d = opendir(dir.c_str());
    if (!d) {
        std::cerr << "oxelroi: cannot open " << dir << std::endl;
        return 1;
    }
    std::vector<std::string> images;
    while (dirent *e = readdir(d)) {
        int t, z;
        if (plane_of(e->d_name, t, z))
            images.push_back(e->d_name);
    }
    closedir(d);

    roidb db(name);
    const std::string spotscan = detector();
    size_t count = 0;
    for (const std::string &image : images) {
        int t = 0, z = 0;
        plane_of(image, t, z);
        FILE *out = popen((quoted(spotscan) + " " + quoted(dir + "/" + image)).c_str(), "r");
        if (!out) {
            std::cerr << "oxelroi: cannot run " << spotscan << std::endl;
            return 1;
        }
        std::string text;
        char buf[65536];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, out)) > 0)
            text.append(buf, n);
        if (pclose(out) != 0) {
            std::cerr << "oxelroi: spotscan failed on " << image << std::endl;
            return 1;
        }
        std::istringstream lines(text);
        int x, y;
        std::string outline;
        while (lines >> x >> y >> outline) {
            db.entry(roi(x, y, z, t, outline));
            ++count;
        }
    }
    db.write(argv[2]);
    std::cout << "oxelroi: " << count << " ROIs from " << images.size() << " images in " << argv[2]
              << std::endl;
    return 0;
}
