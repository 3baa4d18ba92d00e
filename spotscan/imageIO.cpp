// Reading and writing images.
#include "imageIO.h"

#include "fileExt.h"

#include <cstdio>  // FILE, fopen
#include <cstdlib> // std::exit
#include <iostream>
#include <vector>

#include <jpeglib.h>

namespace spotscan {

namespace {

// Any warning of the JPEG library means corrupt or truncated data: the
// library's report, then a failed exit, so no outline is printed from garbage.
void warn_and_exit(j_common_ptr cinfo, int msg_level)
{
    if (msg_level < 0) {
        (*cinfo->err->output_message)(cinfo);
        jpeg_destroy(cinfo);
        std::exit(1);
    }
}

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
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jerr.emit_message = warn_and_exit;
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    const bool colour = cinfo.num_components == 3;
    if (colour)
        cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);

    const unsigned w = cinfo.output_width, h = cinfo.output_height;
    const int comps = cinfo.output_components;
    img.setSize(w, h);
    if (comps == 1) {
        // Decode straight into the image, a few rows per call.
        while (cinfo.output_scanline < h) {
            JSAMPROW rows[16];
            unsigned n = 0;
            for (; n < 16 && cinfo.output_scanline + n < h; ++n)
                rows[n] = img.row(cinfo.output_scanline + n);
            jpeg_read_scanlines(&cinfo, rows, n);
        }
    } else {
        const int pick = colour ? 2 : 0;
        std::vector<JSAMPLE> line(static_cast<size_t>(w) * comps);
        while (cinfo.output_scanline < h) {
            unsigned y = cinfo.output_scanline;
            JSAMPROW rows[1] = {line.data()};
            jpeg_read_scanlines(&cinfo, rows, 1);
            unsigned char *out = img.row(y);
            for (unsigned x = 0; x < w; ++x)
                out[x] = line[static_cast<size_t>(x) * comps + pick];
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
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
