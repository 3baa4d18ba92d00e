// Names of files derived from an input file's name.
#pragma once

#include <string>

// The detector keeps its own small classes apart from the browser's.
namespace spotscan {

class fileTool {
public:
    // name = incoming name (only when path has a folder) + the base name of
    // path without ".raw", tagged with kind and n.
    static void create(std::string &path, std::string &name, const std::string &kind, const int &n);
};

} // namespace spotscan
