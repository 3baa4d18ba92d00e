// Reading a folder of the interchange format into ROIs and a lineage.
#include "ctc_import.h"

#include "ctc_folder.h"
#include "keygen.h"
#include "label_tiff.h"
#include "piece_tracer.h"
#include "roidb_plus.h"

#include <algorithm> // std::sort, std::min, std::max
#include <atomic>
#include <map>
#include <ostream>
#include <thread>
#include <unordered_map>
#include <utility> // std::pair
#include <vector>

namespace ctc
{

namespace
{

struct label_box {
    uint32_t label;
    int left, top, right, bottom;
};

// Every label of a page with its box, in ascending label order. Pages are
// mostly background: blocks of eight background pixels are passed over at
// once, and a box grows once per run of one label.
void boxes_of(const uint32_t *page, int w, int h, std::vector<label_box> &out)
{
    out.clear();
    std::unordered_map<uint32_t, size_t> at;
    uint32_t last = 0;
    size_t last_at = 0;
    for (int y = 0; y < h; ++y) {
        const uint32_t *row = page + static_cast<size_t>(y) * w;
        int x = 0;
        while (x < w) {
            if (x + 8 <= w) {
                uint32_t any = 0;
                for (int k = 0; k < 8; ++k)
                    any |= row[x + k];
                if (any == 0) {
                    x += 8;
                    continue;
                }
            }
            const uint32_t v = row[x];
            if (v == 0) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < w && row[x] == v)
                ++x;
            if (v != last || out.empty()) {
                auto found = at.emplace(v, out.size());
                if (found.second)
                    out.push_back(label_box{v, start, y, x - 1, y});
                last = v;
                last_at = found.first->second;
            }
            label_box &b = out[last_at];
            b.left = std::min(b.left, start);
            b.right = std::max(b.right, x - 1);
            b.bottom = y;
        }
    }
    std::sort(out.begin(), out.end(),
              [](const label_box &a, const label_box &b) { return a.label < b.label; });
}

// What one label image holds: its labels, and the ROIs of each label's
// pieces in the order traced (plane by plane, labels in ascending order).
struct traced {
    std::string error; // why the image could not be read
    std::vector<uint32_t> labels;
    std::vector<std::pair<uint32_t, roi>> rois;
};

traced trace_time_point(int t, const std::string &path)
{
    traced out;
    label_tiff::reader in;
    std::vector<uint32_t> page;
    piece_tracer tracer;
    std::vector<label_box> boxes;
    std::vector<unsigned char> mask;
    std::vector<traced_piece> pieces;
    if (!in.open(path, out.error))
        return out;
    for (int z = 0; in.next_page(page, out.error); ++z) {
        const int w = in.width(), h = in.height();
        if (w > 1000 || h > 1000 || z >= 1000) {
            out.error = path + " is " + std::to_string(w) + " x " + std::to_string(h) + " with " +
                        std::to_string(z + 1) +
                        " pages or more, beyond the browser's keys (0 to 999)";
            return out;
        }
        boxes_of(page.data(), w, h, boxes);
        for (const label_box &b : boxes) {
            out.labels.push_back(b.label);
            const int bw = b.right - b.left + 1, bh = b.bottom - b.top + 1;
            mask.resize(static_cast<size_t>(bw) * bh);
            for (int y = 0; y < bh; ++y) {
                const uint32_t *src = page.data() + static_cast<size_t>(b.top + y) * w + b.left;
                unsigned char *dst = mask.data() + static_cast<size_t>(y) * bw;
                for (int x = 0; x < bw; ++x)
                    dst[x] = src[x] == b.label;
            }
            tracer.trace(mask.data(), bw, bh, pieces);
            for (traced_piece &p : pieces)
                out.rois.emplace_back(b.label,
                                      roi(b.left + p.x, b.top + p.y, z, t, std::move(p.outline)));
        }
    }
    std::sort(out.labels.begin(), out.labels.end());
    out.labels.erase(std::unique(out.labels.begin(), out.labels.end()), out.labels.end());
    return out;
}

} // namespace

bool import_folder(const std::string &dir, roidb_plus &db, lineage_file::contents &lineage,
                   std::ostream &err, import_summary *summary_out)
{
    import_summary summary;
    folder f;
    std::string error;
    if (!open_folder(dir, f, error)) {
        err << error << std::endl;
        return false;
    }
    std::vector<track> tracks;
    std::vector<std::string> problems;
    if (!read_tracks(f.track_file, tracks, problems, error)) {
        err << error << std::endl;
        return false;
    }
    if (!f.masks.empty() && f.masks.rbegin()->first > 999) {
        err << "Cannot import " << dir << ": time point " << f.masks.rbegin()->first
            << " is beyond the browser's keys (0 to 999)" << std::endl;
        return false;
    }

    // Each label image traced on its own, on several threads; the database
    // and the units are filled in time-point order only once every image
    // was read, so a failure changes nothing.
    std::vector<std::pair<int, std::string>> images(f.masks.begin(), f.masks.end());
    std::vector<traced> results(images.size());
    std::atomic<size_t> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
        for (size_t i; !failed && (i = next.fetch_add(1)) < images.size();) {
            results[i] = trace_time_point(images[i].first, images[i].second);
            if (!results[i].error.empty())
                failed = true;
        }
    };
    const unsigned threads = std::max(1u, std::min(4u, std::thread::hardware_concurrency()));
    std::vector<std::thread> helpers;
    for (unsigned k = 1; k < threads; ++k)
        helpers.emplace_back(work);
    work();
    for (std::thread &helper : helpers)
        helper.join();
    for (const traced &r : results)
        if (!r.error.empty()) {
            err << "Cannot import " << dir << ": " << r.error << std::endl;
            return false;
        }

    // (time point, label) → member keys, in the order traced.
    std::map<std::pair<int, uint32_t>, std::vector<std::string>> objects;
    std::map<int, std::vector<uint32_t>> present;
    for (size_t i = 0; i < images.size(); ++i) {
        const int t = images[i].first;
        present[t] = std::move(results[i].labels);
        for (auto &piece : results[i].rois) {
            roi &r = piece.second;
            objects[{t, piece.first}].push_back(keygen(r));
            db.entry_plus(std::move(r));
            ++summary.rois;
        }
        results[i] = traced();
    }
    check(tracks, present, f.track_file.substr(f.track_file.rfind('/') + 1), problems);
    for (const std::string &p : problems)
        err << p << std::endl;
    summary.problems = problems.size();

    // Units: the head is the smallest member key.
    std::map<std::pair<int, uint32_t>, std::string> head_of;
    for (auto &o : objects) {
        std::vector<std::string> &members = o.second;
        std::sort(members.begin(), members.end());
        const std::string &head = members.front();
        head_of[o.first] = head;
        for (const std::string &k : members) {
            lineage.head_members.emplace(head, k);
            lineage.members_head.emplace(k, head);
        }
        ++summary.units;
    }

    // Links: along each track, and from its first unit to the parent's last.
    std::unordered_map<uint32_t, const track *> by_label;
    for (const track &tr : tracks)
        by_label.emplace(tr.label, &tr);
    auto link = [&](int child_t, uint32_t child, int parent_t, uint32_t parent) {
        auto c = head_of.find({child_t, child});
        auto p = head_of.find({parent_t, parent});
        if (c == head_of.end() || p == head_of.end())
            return;
        lineage.linkage.emplace(c->second, p->second);
        ++summary.links;
    };
    for (const track &tr : tracks) {
        for (int t = tr.begin + 1; t <= tr.end; ++t)
            link(t, tr.label, t - 1, tr.label);
        if (tr.parent == 0)
            continue;
        auto p = by_label.find(tr.parent);
        if (p == by_label.end())
            continue;
        if (p->second->end + 1 == tr.begin) {
            link(tr.begin, tr.label, p->second->end, tr.parent);
        } else {
            ++summary.skipped_links;
            err << "label " << tr.label << " begins at " << tr.begin
                << ", not one time point after "
                << "its parent " << tr.parent << " ends at " << p->second->end
                << ": the lineage has no link for it" << std::endl;
        }
    }
    // Links of one child in key order of the parents, as the lineage file keeps them.
    lineage::key_multimap sorted;
    for (auto it = lineage.linkage.begin(); it != lineage.linkage.end();) {
        auto range = lineage.linkage.equal_range(it->first);
        std::vector<std::string> parents;
        for (auto p = range.first; p != range.second; ++p)
            parents.push_back(p->second);
        std::sort(parents.begin(), parents.end());
        for (const std::string &p : parents)
            sorted.emplace_hint(sorted.end(), it->first, p);
        it = range.second;
    }
    lineage.linkage.swap(sorted);

    if (summary_out)
        *summary_out = summary;
    return true;
}

} // namespace ctc
