// One region found by the detector.
#include "roi.h"

#include <charconv> // std::to_chars
#include <cstring>  // std::memcpy
#include <utility>  // std::move

namespace spotscan {

namespace {

// Next direction from the incoming direction d and the four pixels around
// the corner: index d + 4·UL + 8·UR + 16·DL + 32·DR. At a diagonal contact
// the walk turns back to its own pixel, so that pixels touching only at a
// corner stay apart, as 4-connected labelling keeps them. -1: never reached.
// clang-format off
const signed char next_direction[64] = {
    -1, -1, -1, -1, // none
    -1, -1, -1,  0, // UL
    -1, -1,  3, -1, // UR
    -1, -1, -1,  3, // UL UR
     1, -1, -1, -1, // DL
     0, -1, -1, -1, // UL DL
     1, -1,  3, -1, // UR DL
     3, -1, -1, -1, // UL UR DL
    -1,  2, -1, -1, // DR
    -1,  2, -1,  0, // UL DR
    -1, -1,  2, -1, // UR DR
    -1, -1, -1,  2, // UL UR DR
    -1,  1, -1, -1, // DL DR
    -1,  0, -1, -1, // UL DL DR
    -1, -1,  1, -1, // UR DL DR
    -1, -1, -1, -1, // all
};
// clang-format on

const int step_x[4] = {0, -1, 0, 1};
const int step_y[4] = {-1, 0, 1, 0};

// Pixels cx - 1 (bit 0) and cx (bit 1) of a row of the bit plane.
inline unsigned pixel_pair(const uint64_t *row, int cx)
{
    const unsigned b = static_cast<unsigned>(cx + 63);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    // The words' bytes lie in pixel order: one load covers both pixels.
    uint16_t two;
    std::memcpy(&two, reinterpret_cast<const unsigned char *>(row) + (b >> 3), sizeof two);
    return (two >> (b & 7)) & 3u;
#else
    uint64_t w = row[b >> 6] >> (b & 63);
    if ((b & 63) == 63)
        w |= row[(b >> 6) + 1] << 1;
    return static_cast<unsigned>(w & 3);
#endif
}

void append_number(int v, std::string &out)
{
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

} // namespace

void trace_outline(const bitPlane &plane, int x, int y, std::string &digits)
{
    const uint64_t *const *rows = plane.rows();
    // Digits gather in a small buffer that is appended in pieces.
    char buf[1024];
    char *p = buf;
    int cx = x, cy = y, d = 2;
    for (;;) {
        cx += step_x[d];
        cy += step_y[d];
        *p++ = static_cast<char>('0' + d);
        if (p == buf + sizeof buf) {
            digits.append(buf, sizeof buf);
            p = buf;
        }
        const unsigned index = static_cast<unsigned>(d) | pixel_pair(rows[cy - 1], cx) << 2 |
                               pixel_pair(rows[cy], cx) << 4;
        d = next_direction[index];
        if (d < 0 || (cx == x && cy == y && d == 2))
            break;
    }
    digits.append(buf, static_cast<size_t>(p - buf));
}

namespace {

// One of two walks along the same outline: from its corner in direction d,
// until it stands on the other walk's corner about to go the other's way.
struct walk {
    int cx, cy, d;
    int end_x, end_y, end_d;
    char *p;
    char *end;
    std::string *out;
    char *buf;

    bool step(const uint64_t *const *rows)
    {
        cx += step_x[d];
        cy += step_y[d];
        *p++ = static_cast<char>('0' + d);
        if (p == end) {
            out->append(buf, static_cast<size_t>(p - buf));
            p = buf;
        }
        const unsigned index = static_cast<unsigned>(d) | pixel_pair(rows[cy - 1], cx) << 2 |
                               pixel_pair(rows[cy], cx) << 4;
        d = next_direction[index];
        return d >= 0 && !(cx == end_x && cy == end_y && d == end_d);
    }
};

} // namespace

void trace_outline(const bitPlane &plane, int x, int y, int bottom_x, int bottom_y,
                   std::string &digits, std::string &scratch)
{
    const uint64_t *const *rows = plane.rows();
    // The outline passes the lower left corner of (bottom_x, bottom_y)
    // going right: one walk from the start to there, another from there
    // back to the start, in step with each other so that the processor
    // works on both at once.
    char first[512], second[512];
    scratch.clear();
    walk a{x, y, 2, bottom_x, bottom_y + 1, 3, first, first + sizeof first, &digits, first};
    walk b{bottom_x, bottom_y + 1, 3, x, y, 2, second, second + sizeof second, &scratch, second};
    bool on_a = true, on_b = true;
    while (on_a && on_b) {
        on_a = a.step(rows);
        on_b = b.step(rows);
    }
    while (on_a)
        on_a = a.step(rows);
    while (on_b)
        on_b = b.step(rows);
    digits.append(first, static_cast<size_t>(a.p - first));
    digits += scratch;
    digits.append(second, static_cast<size_t>(b.p - second));
}

void print_start(int x, int y, std::string &out)
{
    append_number(x, out);
    out.push_back(' ');
    append_number(y, out);
    out.push_back(' ');
}

roi::roi() : _x(0), _y(0), _digits() {}

roi::roi(int x, int y, std::string digits) : _x(x), _y(y), _digits(std::move(digits)) {}

void roi::follow(const bitPlane &plane, int x, int y)
{
    _x = x;
    _y = y;
    _digits.clear();
    trace_outline(plane, x, y, _digits);
}

void roi::print(std::string &out) const
{
    print_start(_x, _y, out);
    out += _digits;
    out.push_back('\n');
}

} // namespace spotscan
