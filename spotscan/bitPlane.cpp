// A binary image, one bit per pixel, kept for the rows still needed.
#include "bitPlane.h"

#include <algorithm> // std::min, std::max
#include <cstring>   // std::memcpy

#ifdef __SSE2__
#include <emmintrin.h> // sixteen grey values compared at a time
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h> // thirty-two at a time
#endif

namespace spotscan {

namespace {

#if defined(__x86_64__) && defined(__GNUC__)
// Sixty-four grey values to bits at a time where the processor can; the
// thresholding then costs half as much as with sixteen.
__attribute__((target("avx2"))) unsigned threshold_avx2(const unsigned char *grey, unsigned w,
                                                        unsigned char t, uint64_t *out)
{
    const __m256i tv = _mm256_set1_epi8(static_cast<char>(t));
    unsigned x = 0;
    for (; x + 64 <= w; x += 64) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(grey + x));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(grey + x + 32));
        // max(v, t) == v exactly when v >= t
        const uint32_t lo = static_cast<uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(a, tv), a)));
        const uint32_t hi = static_cast<uint32_t>(
            _mm256_movemask_epi8(_mm256_cmpeq_epi8(_mm256_max_epu8(b, tv), b)));
        *out++ = lo | static_cast<uint64_t>(hi) << 32;
    }
    return x;
}

// (Asked before main: the processor model may not be known yet.)
const bool has_avx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
#endif

// Room for this many rows at first; it doubles whenever rows that are still
// needed fill it (a region as tall as the image keeps every row).
const size_t first_capacity = 64;

} // namespace

bitPlane::bitPlane()
    : _width(0), _words(3), _height_hint(0), _rows(), _room(), _capacity(0), _first(0), _blank(3, 0)
{
    _rows.assign(2, _blank.data());
}

void bitPlane::clear()
{
    std::vector<uint64_t>().swap(_room);
    _capacity = 0;
    _first = 0;
    _rows.assign(2, _blank.data());
}

void bitPlane::reset(unsigned width, unsigned height_hint)
{
    clear();
    _width = width;
    _words = width / 64 + 3;
    _height_hint = height_hint;
    _blank.assign(_words, 0);
    _rows.assign(2, _blank.data());
}

void bitPlane::grow()
{
    size_t capacity = _capacity == 0 ? first_capacity : 2 * _capacity;
    if (_height_hint > 0)
        capacity = std::min<size_t>(capacity, std::max<size_t>(_height_hint, _capacity + 1));
    std::vector<uint64_t> room(capacity * _words);
    const unsigned end = height();
    for (unsigned y = _first; y < end; ++y) {
        uint64_t *to = &room[(y % capacity) * _words];
        std::memcpy(to, _rows[y + 1], _words * sizeof(uint64_t));
        _rows[y + 1] = to;
    }
    _room.swap(room);
    _capacity = capacity;
}

void bitPlane::drop_rows_before(unsigned y)
{
    y = std::min(y, height());
    for (; _first < y; ++_first)
        _rows[_first + 1] = _blank.data();
}

void bitPlane::add_row(const unsigned char *grey, int threshold)
{
    // Each step either completes or throws leaving the plane as it was.
    const unsigned y = height();
    if (y - _first >= _capacity)
        grow();
    _rows.push_back(_blank.data());
    uint64_t *row = &_room[(y % _capacity) * _words];
    _rows[y + 1] = row;

    row[0] = 0;
    uint64_t *out = row + 1;
    uint64_t *const end = row + _words;
    const unsigned w = _width;
    unsigned x = 0;
    if (threshold > 255) {
        while (out < end)
            *out++ = 0;
        return;
    }
    const unsigned char t = static_cast<unsigned char>(threshold < 0 ? 0 : threshold);
#if defined(__x86_64__) && defined(__GNUC__)
    if (has_avx2) {
        x = threshold_avx2(grey, w, t, out);
        out += x / 64;
    }
#endif
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
