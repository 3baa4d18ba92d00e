// Reading and writing images by their file name's extension.
#pragma once

#include "image.h"

#include <string>

// The detector keeps its own small classes apart from the browser's.
namespace spotscan {

class imageIO {
public:
    // JPEG names are decoded; TIFF names read nothing; any other name ends
    // the program with status -1.
    static int read(image &img, std::string &name);
    // One-component images as they are; three-component ones by their blue
    // component. A file that cannot be opened or decoded is reported and
    // returns 0, img as it was.
    static int readjpg(image &img, std::string &name);
    static int write(image &img, std::string &name);
    // An RGB JPEG at quality 100, baseline.
    static int writejpg(image &img, std::string &name);
};

} // namespace spotscan
