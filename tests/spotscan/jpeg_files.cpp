// JPEG files made for the detector's tests.
#include "jpeg_files.h"

#include <cstdio>
#include <cstdlib> // std::free
#include <fstream>
#include <jpeglib.h>

namespace jpegfiles {

namespace {

std::string compress(unsigned width, unsigned height, int components, J_COLOR_SPACE space,
                     bool progressive, int quality, const std::vector<JSAMPLE> &pixels)
{
    unsigned char *mem = nullptr;
    unsigned long size = 0;
    jpeg_compress_struct c;
    jpeg_error_mgr e;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    jpeg_mem_dest(&c, &mem, &size);
    c.image_width = width;
    c.image_height = height;
    c.input_components = components;
    c.in_color_space = space;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    const size_t stride = static_cast<size_t>(width) * components;
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&pixels[c.next_scanline * stride]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    std::string bytes(reinterpret_cast<const char *>(mem), size);
    std::free(mem);
    return bytes;
}

void put16(std::string &s, unsigned v)
{
    s.push_back(static_cast<char>(v >> 8));
    s.push_back(static_cast<char>(v & 255));
}

} // namespace

std::string encode(const grey &g, bool colour, bool progressive, int quality, std::mt19937 *rng)
{
    if (!colour)
        return compress(g.width, g.height, 1, JCS_GRAYSCALE, progressive, quality, g.px);
    std::vector<JSAMPLE> rgb(g.px.size() * 3);
    for (size_t i = 0; i < g.px.size(); ++i) {
        rgb[3 * i] = static_cast<JSAMPLE>(rng ? (*rng)() & 255 : g.px[i]);
        rgb[3 * i + 1] = static_cast<JSAMPLE>(rng ? (*rng)() & 255 : g.px[i]);
        rgb[3 * i + 2] = g.px[i];
    }
    return compress(g.width, g.height, 3, JCS_RGB, progressive, quality, rgb);
}

std::string encode_cmyk(unsigned width, unsigned height)
{
    std::vector<JSAMPLE> cmyk(static_cast<size_t>(width) * height * 4, 200);
    return compress(width, height, 4, JCS_CMYK, false, 90, cmyk);
}

std::string flat(unsigned width, unsigned height, long blocks)
{
    std::string s("\xff\xd8", 2);
    // Quantisation table 0, all ones.
    s += std::string("\xff\xdb", 2);
    put16(s, 67);
    s += std::string(1, '\0') + std::string(64, '\1');
    // Baseline frame: 8 bits, one component, no subsampling.
    s += std::string("\xff\xc0", 2);
    put16(s, 11);
    s.push_back(8);
    put16(s, height);
    put16(s, width);
    s += std::string("\x01\x01\x11\x00", 4);
    // Huffman tables with one one-bit code each: DC difference 0, end of block.
    for (const char *table : {"\x00", "\x10"}) {
        s += std::string("\xff\xc4", 2);
        put16(s, 20);
        s += std::string(table, 1) + std::string(1, '\1') + std::string(15, '\0') +
             std::string(1, '\0');
    }
    s += std::string("\xff\xda", 2);
    put16(s, 8);
    s += std::string("\x01\x01\x00\x00\x3f\x00", 6);
    const long all = static_cast<long>((width + 7) / 8) * ((height + 7) / 8);
    const long n = blocks < 0 ? all : blocks;
    s += std::string(static_cast<size_t>((2 * n + 7) / 8), '\0');
    s += std::string("\xff\xd9", 2);
    return s;
}

size_t find_marker(const std::string &jpeg, unsigned char code)
{
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (static_cast<unsigned char>(jpeg[i]) == 0xff &&
            static_cast<unsigned char>(jpeg[i + 1]) == code)
            return i;
    return std::string::npos;
}

std::string with_size(std::string jpeg, unsigned width, unsigned height)
{
    size_t sof = find_marker(jpeg, 0xc0);
    if (sof == std::string::npos)
        sof = find_marker(jpeg, 0xc2);
    if (sof == std::string::npos)
        return jpeg;
    jpeg[sof + 5] = static_cast<char>(height >> 8);
    jpeg[sof + 6] = static_cast<char>(height & 255);
    jpeg[sof + 7] = static_cast<char>(width >> 8);
    jpeg[sof + 8] = static_cast<char>(width & 255);
    return jpeg;
}

std::string with_bytes_before(std::string jpeg, size_t at, const std::string &junk)
{
    return jpeg.insert(at, junk);
}

bool write_file(const std::string &path, const std::string &bytes)
{
    std::ofstream f(path, std::ios::binary);
    f << bytes;
    f.close();
    return static_cast<bool>(f);
}

} // namespace jpegfiles
