// Finds and traces the regions of an image, row by row.
#include "roiDetect.h"

#include <algorithm>  // std::push_heap, std::pop_heap
#include <cstddef>    // std::ptrdiff_t
#include <functional> // std::greater
#include <limits>     // std::numeric_limits
#include <new>        // std::bad_alloc
#include <utility>    // std::swap

namespace spotscan {

namespace {

const uint32_t none = std::numeric_limits<uint32_t>::max();

} // namespace

roiDetect::roiDetect()
    : _plane(), _out(nullptr), _tracing(true), _above(), _here(), _labels(), _base(0), _waiting(),
      _texts(), _scratch(), _waiting_bytes(0), _next(0), _count(0), _rois(), _sizes()
{
}

void roiDetect::begin(unsigned width, unsigned height_hint, lineWriter *out)
{
    _plane.reset(width, height_hint);
    _out = out;
    _above.clear();
    _here.clear();
    _labels.clear();
    _base = 0;
    _waiting.clear();
    _texts.clear();
    _waiting_bytes = 0;
    _next = 0;
    _count = 0;
    _rois.clear();
    _sizes.clear();
}

void roiDetect::add_row(const unsigned char *grey, int threshold)
{
    _plane.add_row(grey, threshold);
    const unsigned y = _plane.height() - 1;
    label_row(_plane.row(static_cast<int>(y)), y);
}

uint32_t roiDetect::find(uint32_t a)
{
    while (at(a).parent != a) {
        at(a).parent = at(at(a).parent).parent;
        a = at(a).parent;
    }
    return a;
}

uint32_t roiDetect::unite(uint32_t a, uint32_t b)
{
    if (a > b)
        std::swap(a, b);
    at(b).parent = a;
    at(a).count += at(b).count;
    if (at(b).last_row > at(a).last_row)
        at(a).last_row = at(b).last_row;
    return a;
}

void roiDetect::label_row(const uint64_t *row, unsigned y)
{
    // The runs of this row, from the transitions of its bits.
    _here.clear();
    const size_t last = (static_cast<size_t>(_plane.width()) + 63) / 64;
    uint64_t before = 0;
    bool open = false;
    int start = 0;
    for (size_t i = 1; i <= last; ++i) {
        const uint64_t w = row[i];
        if (w == 0) {
            before = 0;
            continue;
        }
        uint64_t starts = w & ~((w << 1) | (before >> 63));
        uint64_t ends = w & ~((w >> 1) | (row[i + 1] << 63));
        before = w;
        const int base = static_cast<int>((i - 1) * 64);
        for (;;) {
            if (!open) {
                if (!starts)
                    break;
                start = base + __builtin_ctzll(starts);
                starts &= starts - 1;
                open = true;
            }
            if (!ends)
                break;
            _here.push_back({start, base + __builtin_ctzll(ends), 0, false});
            ends &= ends - 1;
            open = false;
        }
    }

    // Each run joins the runs of the row above that share a column with it.
    size_t p = 0;
    const size_t n_above = _above.size();
    for (run &r : _here) {
        while (p < n_above && _above[p].end < r.start)
            ++p;
        uint32_t lab = none;
        for (size_t q = p; q < n_above && _above[q].start <= r.end; ++q) {
            _above[q].continued = true;
            const uint32_t other = find(_above[q].label);
            if (lab == none)
                lab = other;
            else if (other != lab)
                lab = unite(lab, other);
        }
        if (lab == none) {
            if (_base + _labels.size() >= none - 1)
                throw std::bad_alloc();
            lab = _base + static_cast<uint32_t>(_labels.size());
            _labels.push_back({lab, static_cast<uint32_t>(r.start), y, y, 0, false});
        }
        r.label = lab;
        at(lab).last_row = y;
        at(lab).count += static_cast<uint64_t>(r.end - r.start + 1);
    }

    // A region of the row above with no run in this row is whole.
    for (const run &a : _above) {
        if (a.continued)
            continue;
        const uint32_t r = find(a.label);
        if (!at(r).closed && at(r).last_row != y)
            close(r, a.start);
    }
    std::swap(_above, _here);
    hand_on();
    // Regions still growing started no higher than the oldest of them.
    _plane.drop_rows_before(_next < _base + _labels.size() ? at(_next).y : y + 1);
    // Labels below the next to hand on are never looked at again: a run's
    // label leads only to labels as low as its region's, which still grows.
    const size_t done = _next - _base;
    if (done >= 4096 && done >= _labels.size() / 2) {
        _labels.erase(_labels.begin(), _labels.begin() + static_cast<std::ptrdiff_t>(done));
        _base = _next;
    }
}

// The first run of r's lowest row starts at bottom_x.
void roiDetect::close(uint32_t r, int bottom_x)
{
    label &l = at(r);
    l.closed = true;
    if (!_tracing)
        return;
    const int x = static_cast<int>(l.x), y = static_cast<int>(l.y);
    const int bottom_y = static_cast<int>(l.last_row);
    if (r == _next) {
        // Its turn already: traced straight into the output.
        if (_out) {
            std::string &buf = _out->buffer();
            print_start(x, y, buf);
            trace_outline(_plane, x, y, bottom_x, bottom_y, buf, _scratch);
            buf.push_back('\n');
            _out->wrote();
        } else {
            std::string digits;
            trace_outline(_plane, x, y, bottom_x, bottom_y, digits, _scratch);
            _rois.emplace_back(x, y, std::move(digits));
            _sizes.push_back(static_cast<size_t>(l.count));
        }
        ++_count;
        ++_next;
        return;
    }
    const size_t at = _texts.size();
    trace_outline(_plane, x, y, bottom_x, bottom_y, _texts, _scratch);
    const size_t length = _texts.size() - at;
    if (length > std::numeric_limits<uint32_t>::max())
        throw std::bad_alloc();
    _waiting.push_back({r, static_cast<uint32_t>(length), at});
    std::push_heap(_waiting.begin(), _waiting.end(), std::greater<waiting>());
    _waiting_bytes += length;
}

// The digits of regions handed on leave gaps: once the gaps outweigh what
// still waits, the waiting digits move together.
void roiDetect::compact_texts()
{
    if (_waiting.empty()) {
        _texts.clear();
        return;
    }
    if (_texts.size() < 2 * _waiting_bytes + (size_t(1) << 16))
        return;
    std::string packed;
    packed.reserve(2 * _waiting_bytes);
    for (waiting &w : _waiting) {
        const size_t at = packed.size();
        packed.append(_texts, w.at, w.length);
        w.at = at;
    }
    _texts.swap(packed);
}

void roiDetect::hand_on(uint32_t r, const char *digits, size_t n)
{
    const label &l = at(r);
    ++_count;
    if (_out) {
        std::string &buf = _out->buffer();
        print_start(static_cast<int>(l.x), static_cast<int>(l.y), buf);
        buf.append(digits, n);
        buf.push_back('\n');
        _out->wrote();
    } else {
        _rois.emplace_back(static_cast<int>(l.x), static_cast<int>(l.y), std::string(digits, n));
        _sizes.push_back(static_cast<size_t>(l.count));
    }
}

void roiDetect::hand_on()
{
    const uint32_t n = _base + static_cast<uint32_t>(_labels.size());
    while (_next < n) {
        const label &l = at(_next);
        if (l.parent == _next) {
            if (!l.closed)
                break; // still growing: every later region waits for it
            if (_tracing) {
                std::pop_heap(_waiting.begin(), _waiting.end(), std::greater<waiting>());
                const waiting w = _waiting.back();
                _waiting.pop_back();
                _waiting_bytes -= w.length;
                hand_on(_next, _texts.data() + w.at, w.length);
            } else {
                ++_count;
            }
        }
        ++_next;
    }
    compact_texts();
}

void roiDetect::end()
{
    for (const run &a : _above) {
        const uint32_t r = find(a.label);
        if (!at(r).closed)
            close(r, a.start);
    }
    hand_on();
    std::vector<run>().swap(_above);
    std::vector<run>().swap(_here);
    std::vector<label>().swap(_labels);
    std::string().swap(_texts);
    _plane.clear();
}

void roiDetect::detect(const image &img)
{
    const unsigned w = img.getX(), h = img.getY();
    begin(img.allocated() ? w : 0, h, nullptr);
    if (img.allocated() && w > 0)
        for (unsigned y = 0; y < h; ++y)
            add_row(img.row(y), 1);
    end();
}

} // namespace spotscan
