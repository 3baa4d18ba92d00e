// File name extensions and the image formats they stand for.
#pragma once

#include <string>

// The detector keeps its own small classes apart from the browser's.
namespace spotscan {

class fileExt {
public:
    static const int tif = 1000;
    static const int jpg = 1001;

    // ext = the text after the last "." (the whole name when there is none).
    static void getExtension(const std::string &name, std::string &ext);
    // code = 1000 for TIFF names, 1001 for JPEG names; any other extension is
    // reported and leaves code as it was. Returns 1.
    static int chkExtension(const std::string &name, int &code);
};

} // namespace spotscan
