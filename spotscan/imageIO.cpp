// Reading and writing images.
#include "imageIO.h"

#include "fileExt.h"
#include "jpegScan.h"

#include <cstdio>  // FILE, fopen
#include <cstdlib> // std::exit
#include <cstring> // std::memcpy
#include <iostream>
#include <jpeglib.h>
#include <vector>

namespace spotscan {

namespace {

// Decoded rows straight into an image.
class imageRows : public rowReceiver {
public:
    explicit imageRows(image &img) : _img(img), _y(0) {}
    void size(unsigned width, unsigned height) override { _img.setSize(width, height); }
    void row(const unsigned char *grey) override { std::memcpy(_img.row(_y++), grey, _img.getX()); }

private:
    image &_img;
    unsigned _y;
};

} // namespace

int imageIO::read(image &img, std::string &name)
{
    int code = 0;
    fileExt::chkExtension(name, code);
    if (code == fileExt::jpg)
        return readjpg(img, name);
    if (code == fileExt::tif)
        return 1;
    std::cerr << "unknown format (not tif or jpg)" << std::endl;
    std::exit(-1);
}

int imageIO::readjpg(image &img, std::string &name)
{
    FILE *file = std::fopen(name.c_str(), "rb");
    if (!file) {
        std::cerr << "cannot open " << name << "\n";
        return 0;
    }
    image decoded;
    imageRows rows(decoded);
    jpegResult r = read_jpeg_rows(file, rows);
    std::fclose(file);
    if (!r.ok()) {
        std::cerr << "cannot read " << name << ": " << r.error << "\n";
        return 0;
    }
    img.swap(decoded);
    return 1;
}

int imageIO::write(image &img, std::string &name)
{
    int code = 0;
    fileExt::chkExtension(name, code);
    if (code == fileExt::jpg)
        return writejpg(img, name);
    if (code == fileExt::tif)
        return 1;
    std::cerr << "unknown format (not tif or jpg)" << std::endl;
    return 1;
}

int imageIO::writejpg(image &img, std::string &name)
{
    if (img.getX() == 0 || img.getY() == 0) {
        std::cerr << "cannot write an empty image to " << name << "\n";
        return 0;
    }
    FILE *file = std::fopen(name.c_str(), "wb");
    if (!file) {
        std::cerr << "cannot open " << name << "\n";
        return 0;
    }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = img.getX();
    cinfo.image_height = img.getY();
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 100, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> line(static_cast<size_t>(img.getX()) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        int y = static_cast<int>(cinfo.next_scanline);
        for (unsigned x = 0; x < img.getX(); ++x) {
            line[3 * x] = img.getPixelR(static_cast<int>(x), y);
            line[3 * x + 1] = img.getPixelG(static_cast<int>(x), y);
            line[3 * x + 2] = img.getPixelB(static_cast<int>(x), y);
        }
        JSAMPROW rows[1] = {line.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    bool ok = std::fflush(file) == 0 && !std::ferror(file);
    ok = std::fclose(file) == 0 && ok;
    if (!ok) {
        std::cerr << "cannot open " << name << "\n";
        return 0;
    }
    return 1;
}

} // namespace spotscan
