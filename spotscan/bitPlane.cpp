// A binary image, one bit per pixel, that grows a row at a time.
#include "bitPlane.h"

#include "image.h" // allocate_large

#include <algorithm> // std::min
#include <cstring>   // std::memset

#ifdef __SSE2__
#include <emmintrin.h> // sixteen grey values compared at a time
#endif

namespace spotscan {

namespace {

// Chunks of about this size: large enough for huge pages, small enough that
// an image which ends early has not asked for much.
const size_t chunk_bytes = size_t(2) << 20;

} // namespace

bitPlane::bitPlane()
    : _width(0), _words(0), _rows(2, nullptr), _chunks(), _chunk_rows(0), _free_rows(0),
      _next(nullptr), _blank()
{
}

bitPlane::~bitPlane()
{
    clear();
}

void bitPlane::clear()
{
    for (void *c : _chunks)
        release_large(c);
    _chunks.clear();
    _rows.assign(2, _blank.empty() ? nullptr : _blank.data());
    _free_rows = 0;
    _next = nullptr;
}

void bitPlane::reset(unsigned width, unsigned height_hint)
{
    clear();
    _width = width;
    _words = width / 64 + 3;
    _blank.assign(_words, 0);
    _rows.assign(2, _blank.data());
    const size_t row_bytes = _words * sizeof(uint64_t);
    _chunk_rows = std::max<size_t>(1, chunk_bytes / row_bytes);
    if (height_hint > 0)
        _chunk_rows = std::min<size_t>(_chunk_rows, height_hint);
}

void bitPlane::add_row(const unsigned char *grey, int threshold)
{
    // Each step either completes or throws leaving the plane as it was.
    if (_free_rows == 0) {
        _chunks.push_back(nullptr);
        _chunks.back() = allocate_large(_chunk_rows * _words * sizeof(uint64_t));
        _next = static_cast<uint64_t *>(_chunks.back());
        _free_rows = _chunk_rows;
    }
    _rows.push_back(_blank.data());
    uint64_t *row = _next;
    _next += _words;
    --_free_rows;
    _rows[_rows.size() - 2] = row;

    row[0] = 0;
    uint64_t *out = row + 1;
    const unsigned w = _width;
    unsigned x = 0;
    if (threshold > 255) {
        std::memset(out, 0, (_words - 1) * sizeof(uint64_t));
        return;
    }
    const unsigned char t = static_cast<unsigned char>(threshold < 0 ? 0 : threshold);
#ifdef __SSE2__
    const __m128i tv = _mm_set1_epi8(static_cast<char>(t));
    for (; x + 64 <= w; x += 64) {
        uint64_t bits = 0;
        for (int k = 0; k < 4; ++k) {
            __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(grey + x + 16 * k));
            // max(v, t) == v exactly when v >= t
            __m128i ge = _mm_cmpeq_epi8(_mm_max_epu8(v, tv), v);
            bits |= static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(ge))) << (16 * k);
        }
        *out++ = bits;
    }
#endif
    while (x < w) {
        uint64_t bits = 0;
        const unsigned n = std::min(64u, w - x);
        for (unsigned k = 0; k < n; ++k)
            bits |= static_cast<uint64_t>(grey[x + k] >= t) << k;
        *out++ = bits;
        x += n;
    }
    uint64_t *end = row + _words;
    while (out < end)
        *out++ = 0;
}

bool bitPlane::in(int x, int y) const
{
    if (x < 0 || y < 0 || static_cast<unsigned>(x) >= _width ||
        static_cast<unsigned>(y) >= height())
        return false;
    const unsigned b = static_cast<unsigned>(x) + 64;
    return (row(y)[b >> 6] >> (b & 63)) & 1u;
}

} // namespace spotscan
