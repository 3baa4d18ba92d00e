// spotscan: prints the outline of every bright object of one image.
#include "fileExt.h"
#include "jpegScan.h"
#include "lineWriter.h"

#include <cstdio>  // std::fopen
#include <cstring> // std::strerror
#include <iostream>
#include <new> // std::bad_alloc
#include <string>
#include <sys/stat.h> // fstat
#include <vector>

using namespace spotscan;

namespace {

// Grey values from this one up belong to objects.
const int threshold = 80;

int scan(const std::string &name)
{
    int code = 0;
    fileExt::chkExtension(name, code);
    if (code == fileExt::tif) {
        std::cerr << "cannot read " << name << ": TIFF images are not read, only JPEG" << std::endl;
        return 1;
    }
    if (code != fileExt::jpg) {
        std::cerr << "unknown format (not tif or jpg)" << std::endl;
        return -1;
    }
    // A folder opens for reading too, but holds no image.
    FILE *file = std::fopen(name.c_str(), "rb");
    struct stat st;
    if (file && (fstat(fileno(file), &st) != 0 || S_ISDIR(st.st_mode))) {
        std::fclose(file);
        file = nullptr;
    }
    if (!file) {
        std::cerr << "cannot open " << name << std::endl;
        return 1;
    }
    // Large reads: the decoder asks for the file a few kilobytes at a time.
    std::vector<char> buffer(size_t(1) << 18);
    std::setvbuf(file, buffer.data(), _IOFBF, buffer.size());
    lineWriter out(1);
    jpegResult r = detect_jpeg(file, threshold, out);
    std::fclose(file);
    if (!r.warning.empty())
        std::cerr << "warning: " << name << ": " << r.warning << std::endl;
    if (!r.ok()) {
        std::cerr << "cannot read " << name << ": " << r.error << std::endl;
        return 1;
    }
    if (!out.flush()) {
        std::cerr << "cannot write the outlines of " << name << ": " << std::strerror(out.error())
                  << std::endl;
        return 1;
    }
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::cerr << "usage: spotscan IMAGE.jpg" << std::endl;
        return 2;
    }
    try {
        return scan(argv[1]);
    } catch (const std::bad_alloc &) {
        std::cerr << "cannot read " << argv[1] << ": out of memory" << std::endl;
        return 1;
    }
}
