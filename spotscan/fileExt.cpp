// File name extensions.
#include "fileExt.h"

#include <iostream>

namespace spotscan {

void fileExt::getExtension(const std::string &name, std::string &ext)
{
    std::string::size_type dot = name.rfind('.');
    ext = dot == std::string::npos ? name : name.substr(dot + 1);
}

int fileExt::chkExtension(const std::string &name, int &code)
{
    std::string ext;
    getExtension(name, ext);
    if (ext == "tif" || ext == "tiff" || ext == "TIF" || ext == "TIFF")
        code = tif;
    else if (ext == "jpg" || ext == "jpeg" || ext == "JPG" || ext == "JPEG")
        code = jpg;
    else
        std::cerr << "unknown file format (not tif or jpg)" << std::endl;
    return 1;
}

} // namespace spotscan
