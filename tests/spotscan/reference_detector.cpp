// The detector as it was before it streamed, kept to compare with.
#include "reference_detector.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <jpeglib.h>
#include <utility>

namespace reference {

bool decode_jpeg(const std::string &bytes, greyImage &img)
{
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char *>(bytes.data()),
                 static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    const bool colour = cinfo.num_components == 3;
    if (colour)
        cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const unsigned w = cinfo.output_width, h = cinfo.output_height;
    const int comps = cinfo.output_components;
    img.width = w;
    img.height = h;
    img.px.assign(static_cast<size_t>(w) * h, 0);
    const int pick = colour ? 2 : 0;
    std::vector<JSAMPLE> line(static_cast<size_t>(w) * comps);
    while (cinfo.output_scanline < h) {
        unsigned y = cinfo.output_scanline;
        JSAMPROW rows[1] = {line.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
        for (unsigned x = 0; x < w; ++x)
            img.px[static_cast<size_t>(y) * w + x] = line[static_cast<size_t>(x) * comps + pick];
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

void binarise(greyImage &img, int threshold)
{
    for (unsigned char &p : img.px)
        p = p < threshold ? 0 : 255;
}

namespace {

const signed char next_direction[64] = {
    -1, -1, -1, -1, -1, -1, -1, 0,  -1, -1, 3,  -1, -1, -1, -1, 3,  1,  -1, -1, -1, 0, -1,
    -1, -1, 1,  -1, 3,  -1, 3,  -1, -1, -1, -1, 2,  -1, -1, -1, 2,  -1, 0,  -1, -1, 2, -1,
    -1, -1, -1, 2,  -1, 1,  -1, -1, -1, 0,  -1, -1, -1, -1, 1,  -1, -1, -1, -1, -1,
};
const int step_x[4] = {0, -1, 0, 1};
const int step_y[4] = {-1, 0, 1, 0};

std::string follow(const greyImage &img, int x, int y, int v)
{
    std::string digits;
    const int w = static_cast<int>(img.width), h = static_cast<int>(img.height);
    auto inside = [&img, w, h, v](int px, int py) {
        return px >= 0 && py >= 0 && px < w && py < h &&
               img.px[static_cast<size_t>(py) * w + px] == v;
    };
    int cx = x, cy = y, d = 2;
    do {
        cx += step_x[d];
        cy += step_y[d];
        digits.push_back(static_cast<char>('0' + d));
        int index = d + 4 * inside(cx - 1, cy - 1) + 8 * inside(cx, cy - 1) +
                    16 * inside(cx - 1, cy) + 32 * inside(cx, cy);
        d = next_direction[index];
    } while (d >= 0 && !(cx == x && cy == y && d == 2));
    return digits;
}

} // namespace

std::string detect_lines(const greyImage &img)
{
    const int w = static_cast<int>(img.width), h = static_cast<int>(img.height);
    std::string out;
    if (w <= 0 || h <= 0)
        return out;
    const size_t words = (static_cast<size_t>(w) + 63) / 64;
    std::vector<uint64_t> marks(words * static_cast<size_t>(h), 0);
    auto pixel = [&img, w](int x, int y) { return img.px[static_cast<size_t>(y) * w + x]; };
    auto marked = [&marks, words](int x, int y) {
        return (marks[static_cast<size_t>(y) * words + (x >> 6)] >> (x & 63)) & 1u;
    };
    auto mark = [&marks, words](int x, int y) {
        marks[static_cast<size_t>(y) * words + (x >> 6)] |= uint64_t(1) << (x & 63);
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (pixel(x, y) == 0)
                mark(x, y);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (marked(x, y))
                continue;
            const int v = pixel(x, y);
            // Scanline fill with an explicit stack of seeds.
            std::vector<std::pair<int, int>> seeds{{x, y}};
            while (!seeds.empty()) {
                auto [sx, sy] = seeds.back();
                seeds.pop_back();
                if (sx < 0 || sy < 0 || sx >= w || sy >= h || pixel(sx, sy) != v || marked(sx, sy))
                    continue;
                int left = sx, right = sx;
                while (left > 0 && pixel(left - 1, sy) == v && !marked(left - 1, sy))
                    --left;
                while (right < w - 1 && pixel(right + 1, sy) == v && !marked(right + 1, sy))
                    ++right;
                for (int c = left; c <= right; ++c)
                    mark(c, sy);
                for (int ny : {sy - 1, sy + 1}) {
                    if (ny < 0 || ny >= h)
                        continue;
                    bool in_stretch = false;
                    for (int c = left; c <= right; ++c) {
                        bool f = pixel(c, ny) == v && !marked(c, ny);
                        if (f && !in_stretch)
                            seeds.push_back({c, ny});
                        in_stretch = f;
                    }
                }
            }
            out += std::to_string(x) + " " + std::to_string(y) + " " + follow(img, x, y, v) + "\n";
        }
    return out;
}

} // namespace reference
