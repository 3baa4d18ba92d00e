// roi_area: reads a ROI file with the installed data-model libraries and
// prints each ROI's position and area in pixels.
#include <OXEL_roidb>
#include <OXEL_roiimg>
#include <iostream>
#include <map>
#include <string>

// The database's map is open to classes built on it.
class roi_file : public roidb
{
public:
    roi_file() : roidb("") {}
    const std::map<std::string, roi> &rois() const { return db; }
};

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::cerr << "usage: roi_area FILE.roi" << std::endl;
        return 2;
    }
    roi_file file;
    file.read(argv[1]);
    for (const auto &entry : file.rois()) {
        roiimg raster(entry.second);
        raster.map();
        std::cout << entry.second.x() << ' ' << entry.second.y() << ' ' << entry.second.z() << ' '
                  << entry.second.t() << ' ' << raster.size() << '\n';
    }
    return 0;
}
