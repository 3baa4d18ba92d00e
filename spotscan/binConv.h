// Binarisation of an image read from a file.
#pragma once

#include "image.h"

#include <string>

// The detector keeps its own small classes apart from the browser's.
namespace spotscan {

class binConv {
public:
    // Reads name into img, then every value below threshold becomes 0 and
    // every other value 255.
    static void convert(int threshold, std::string &name, image &img);
};

} // namespace spotscan
