// Finds and traces the regions of an image.
#include "roiDetect.h"

#include <cstdio>  // std::fwrite
#include <cstring> // std::memset
#include <string>
#include <utility> // std::pair

#ifdef __SSE2__
#include <emmintrin.h> // background bits sixteen pixels at a time
#endif

namespace spotscan {

roiDetect::roiDetect()
    : _img(nullptr), _marks(nullptr), _capacity(0), _width(0), _height(0), _words(0), _rois(), _sizes(), _filled(0)
{
}

roiDetect::~roiDetect()
{
    release_large(_marks);
}

void roiDetect::setImg(const image &img)
{
    _img = &img;
}

void roiDetect::setMem(int w, int h)
{
    _width = w;
    _height = h;
    _words = (static_cast<size_t>(w) + 63) / 64;
    const size_t need = _words * static_cast<size_t>(h);
    if (!_marks || need > _capacity) {
        release_large(_marks);
        _marks = static_cast<uint64_t *>(allocate_large(need * sizeof(uint64_t)));
        _capacity = need;
    }
    std::memset(_marks, 0, need * sizeof(uint64_t));
}

void roiDetect::setSeed()
{
    const int w = _width;
    for (int y = 0; y < _height; ++y) {
        const unsigned char *p = _img->row(static_cast<unsigned>(y));
        uint64_t *m = _marks + static_cast<size_t>(y) * _words;
        int x = 0;
#ifdef __SSE2__
        const __m128i zero = _mm_setzero_si128();
        for (; x + 64 <= w; x += 64) {
            uint64_t bits = 0;
            for (int k = 0; k < 4; ++k) {
                __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + x + 16 * k));
                uint32_t z = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, zero)));
                bits |= static_cast<uint64_t>(z) << (16 * k);
            }
            m[x >> 6] = bits;
        }
#endif
        for (; x < w; ++x)
            if (p[x] == 0)
                m[x >> 6] |= uint64_t(1) << (x & 63);
        // Padding past the last column counts as done.
        if (w & 63)
            m[_words - 1] |= ~uint64_t(0) << (w & 63);
    }
}

void roiDetect::mark_run(int y, int left, int right)
{
    uint64_t *m = _marks + static_cast<size_t>(y) * _words;
    int first = left >> 6, last = right >> 6;
    uint64_t lo = ~uint64_t(0) << (left & 63);
    uint64_t hi = ~uint64_t(0) >> (63 - (right & 63));
    if (first == last) {
        m[first] |= lo & hi;
        return;
    }
    m[first] |= lo;
    for (int i = first + 1; i < last; ++i)
        m[i] = ~uint64_t(0);
    m[last] |= hi;
}

// Scanline fill with an explicit stack of seeds: a region with many runs
// (a comb, a serpentine) needs no deeper call stack than a single pixel.
void roiDetect::delSeed(int x, int y, int v)
{
    const int w = _width, h = _height;
    auto fillable = [this, v](const unsigned char *row, int px, int py) {
        return row[px] == v && !marked(px, py);
    };
    std::vector<std::pair<int, int>> seeds{{x, y}};
    while (!seeds.empty()) {
        auto [sx, sy] = seeds.back();
        seeds.pop_back();
        if (sx < 0 || sy < 0 || sx >= w || sy >= h)
            continue;
        const unsigned char *row = _img->row(static_cast<unsigned>(sy));
        if (!fillable(row, sx, sy))
            continue;
        int left = sx, right = sx;
        while (left > 0 && fillable(row, left - 1, sy))
            --left;
        while (right < w - 1 && fillable(row, right + 1, sy))
            ++right;
        mark_run(sy, left, right);
        _filled += static_cast<size_t>(right - left + 1);
        // One seed for every stretch of fillable pixels above and below the run.
        for (int ny : {sy - 1, sy + 1}) {
            if (ny < 0 || ny >= h)
                continue;
            const unsigned char *nrow = _img->row(static_cast<unsigned>(ny));
            bool in_stretch = false;
            for (int c = left; c <= right; ++c) {
                bool f = fillable(nrow, c, ny);
                if (f && !in_stretch)
                    seeds.push_back({c, ny});
                in_stretch = f;
            }
        }
    }
}

void roiDetect::detect(const image &img)
{
    setImg(img);
    const int w = static_cast<int>(img.getX()), h = static_cast<int>(img.getY());
    _rois.clear();
    _sizes.clear();
    if (w <= 0 || h <= 0 || !img.allocated())
        return;
    setMem(w, h);
    setSeed();
    for (int y = 0; y < h; ++y) {
        uint64_t *m = _marks + static_cast<size_t>(y) * _words;
        for (size_t i = 0; i < _words; ++i) {
            // Every clear bit is a pixel of a region not found yet.
            while (m[i] != ~uint64_t(0)) {
                int x = static_cast<int>(i * 64) + __builtin_ctzll(~m[i]);
                int v = img.row(static_cast<unsigned>(y))[x];
                _filled = 0;
                delSeed(x, y, v);
                _sizes.push_back(_filled);
                _rois.emplace_back();
                _rois.back().follow(img, x, y, v);
            }
        }
    }
}

void roiDetect::print()
{
    std::string out;
    out.reserve(1 << 20);
    for (const roi &r : _rois) {
        r.print(out);
        if (out.size() >= (1 << 20)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
}

} // namespace spotscan
