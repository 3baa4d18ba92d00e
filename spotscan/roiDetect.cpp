// Finds and traces the regions of an image.
#include "roiDetect.h"

#include <limits>  // std::numeric_limits
#include <new>     // std::bad_alloc
#include <utility> // std::swap

namespace spotscan {

roiDetect::roiDetect() : _plane(), _above(), _here(), _labels(), _regions(), _rois(), _sizes() {}

void roiDetect::begin(unsigned width, unsigned height_hint)
{
    _plane.reset(width, height_hint);
    _above.clear();
    _here.clear();
    _labels.clear();
    _regions.clear();
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
    while (_labels[a].parent != a) {
        _labels[a].parent = _labels[_labels[a].parent].parent;
        a = _labels[a].parent;
    }
    return a;
}

uint32_t roiDetect::unite(uint32_t a, uint32_t b)
{
    if (a > b)
        std::swap(a, b);
    _labels[b].parent = a;
    _labels[a].count += _labels[b].count;
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
            _here.push_back({start, base + __builtin_ctzll(ends), 0});
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
        uint32_t lab = std::numeric_limits<uint32_t>::max();
        for (size_t q = p; q < n_above && _above[q].start <= r.end; ++q) {
            const uint32_t other = find(_above[q].label);
            if (lab == std::numeric_limits<uint32_t>::max())
                lab = other;
            else if (other != lab)
                lab = unite(lab, other);
        }
        if (lab == std::numeric_limits<uint32_t>::max()) {
            if (_labels.size() >= std::numeric_limits<uint32_t>::max() - 1)
                throw std::bad_alloc();
            lab = static_cast<uint32_t>(_labels.size());
            _labels.push_back({lab, static_cast<uint32_t>(r.start), y, 0});
        }
        r.label = lab;
        _labels[lab].count += static_cast<uint64_t>(r.end - r.start + 1);
    }
    std::swap(_above, _here);
}

void roiDetect::end()
{
    std::vector<run>().swap(_above);
    std::vector<run>().swap(_here);
    _regions.clear();
    for (uint32_t l = 0; l < _labels.size(); ++l)
        if (_labels[l].parent == l)
            _regions.push_back(l);
}

void roiDetect::detect(const image &img)
{
    const unsigned w = img.getX(), h = img.getY();
    begin(img.allocated() ? w : 0, h);
    if (img.allocated() && w > 0)
        for (unsigned y = 0; y < h; ++y)
            add_row(img.row(y), 1);
    end();
    _rois.resize(count());
    _sizes.resize(count());
    for (size_t k = 0; k < count(); ++k) {
        _rois[k].follow(_plane, x(k), y(k));
        _sizes[k] = size(k);
    }
}

void roiDetect::print(lineWriter &out) const
{
    for (size_t k = 0; k < count(); ++k) {
        std::string &buf = out.buffer();
        print_start(x(k), y(k), buf);
        trace_outline(_plane, x(k), y(k), buf);
        buf.push_back('\n');
        out.wrote();
    }
}

} // namespace spotscan
