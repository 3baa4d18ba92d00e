// Writing a curation as a folder of the interchange format.
#include "ctc_export.h"

#include "ctc_folder.h"
#include "curation_graph.h"
#include "keygen.h"
#include "roi_pixels.h"
#include "roidb_plus.h"

#include <algorithm> // std::max, std::min, std::fill, std::sort
#include <cerrno>    // errno, EEXIST
#include <cstdio>    // std::rename, std::remove
#include <cstdlib>   // mkdtemp
#include <dirent.h>  // opendir
#include <fstream>
#include <map>
#include <ostream>
#include <set>
#include <sys/stat.h> // mkdir, stat
#include <unistd.h>   // rmdir
#include <vector>

namespace ctc
{

namespace
{

std::string three(int n)
{
    return digit3(n);
}

bool exists(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// The size of the dataset's images and how many planes a time point has:
// root/name/TTT-ZZZ.jpg, looked for at time point t.
bool dataset_images(const std::string &root, const std::string &name, int t, int &width,
                    int &height, int &planes)
{
    if (root.empty())
        return false;
    const std::string base = root + "/" + name + "/" + three(t) + "-";
    planes = 0;
    while (planes < 1000 && exists(base + three(planes) + ".jpg"))
        ++planes;
    return planes > 0 && jpeg_size(base + "000.jpg", width, height);
}

// Removes a folder of files this export made.
void remove_folder(const std::string &dir, const std::vector<std::string> &names)
{
    for (const std::string &n : names)
        std::remove((dir + "/" + n).c_str());
    ::rmdir(dir.c_str());
}

} // namespace

bool jpeg_size(const std::string &path, int &width, int &height)
{
    std::ifstream in(path, std::ios::binary);
    auto byte = [&in]() { return in.get(); };
    if (byte() != 0xFF || byte() != 0xD8)
        return false;
    for (;;) {
        int c = byte();
        while (c == 0xFF)
            c = byte();
        if (c < 0 || c == 0xD9 || c == 0xDA)
            return false;
        const int len = (byte() << 8) | byte();
        if (!in || len < 2)
            return false;
        // Start-of-frame markers: every one but the huffman, arithmetic and
        // restart tables that share their range.
        if (c >= 0xC0 && c <= 0xCF && c != 0xC4 && c != 0xC8 && c != 0xCC) {
            byte(); // precision
            height = (byte() << 8) | byte();
            width = (byte() << 8) | byte();
            return in && width > 0 && height > 0;
        }
        in.seekg(len - 2, std::ios::cur);
    }
}

bool export_folder(roidb_plus &db, const lineage::key_map &members_head,
                   const lineage::key_multimap &linkage, const lineage::key_set &left_out,
                   const std::string &dataset, const std::string &out_dir,
                   const export_options &options, std::ostream &out, std::ostream &err,
                   export_summary *summary_out)
{
    export_summary summary;
    const curation_graph g = build_graph(db, members_head, linkage, left_out);
    summary.units = g.units;
    summary.lone_rois = g.lone_rois;
    summary.left_out_rois = g.left_out_rois;

    // One parent each: the first in key order.
    std::vector<uint32_t> kept_children(g.objects.size(), 0);
    for (const curation_graph::object &o : g.objects) {
        if (o.parents.empty())
            continue;
        ++kept_children[o.parents[0]];
        if (o.parents.size() == 1)
            continue;
        ++summary.multi_parent;
        err << "Unit " << o.head << " has " << o.parents.size() << " parents (";
        for (size_t k = 0; k < o.parents.size(); ++k)
            err << (k ? " " : "") << g.objects[o.parents[k]].head;
        err << "); written with its first parent " << g.objects[o.parents[0]].head << std::endl;
    }

    // Tracks, numbered in key order of the heads that begin them: a unit
    // continues its parent's track when it is that parent's only child.
    std::vector<uint32_t> track_of(g.objects.size(), 0);
    std::vector<track> tracks;
    for (uint32_t i = 0; i < g.objects.size(); ++i) {
        const curation_graph::object &o = g.objects[i];
        const uint32_t parent = o.parents.empty() ? curation_graph::none : o.parents[0];
        if (parent != curation_graph::none && kept_children[parent] == 1) {
            track_of[i] = track_of[parent];
            tracks[track_of[i]].end = o.t;
            continue;
        }
        track_of[i] = static_cast<uint32_t>(tracks.size());
        track tr;
        tr.label = static_cast<uint32_t>(tracks.size() + 1);
        tr.begin = tr.end = o.t;
        tr.parent = parent == curation_graph::none ? 0 : tracks[track_of[parent]].label;
        tracks.push_back(tr);
    }
    summary.tracks = tracks.size();
    if (tracks.size() > 65535) {
        err << "Cannot export " << tracks.size() << " tracks: the label images hold at most 65535"
            << std::endl;
        return false;
    }

    // The label images' size.
    int img_w = 0, img_h = 0, img_planes = 0;
    const bool have_images = g.first_t >= 0 && dataset_images(options.image_root, dataset,
                                                              g.first_t, img_w, img_h, img_planes);
    summary.width = options.width > 0 ? options.width : have_images ? img_w : g.right + 1;
    summary.height = options.height > 0 ? options.height : have_images ? img_h : g.bottom + 1;
    summary.planes = std::max(have_images ? img_planes : 0, g.max_z + 1);
    summary.time_points = g.max_t + 1;
    if (summary.time_points > 0 && (summary.width <= 0 || summary.height <= 0)) {
        err << "Cannot export: the label images would have no pixels" << std::endl;
        return false;
    }

    // Everything goes to a folder inside out_dir first.
    struct stat st;
    const bool made_out_dir = ::mkdir(out_dir.c_str(), 0777) == 0;
    if (!made_out_dir &&
        (errno != EEXIST || ::stat(out_dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))) {
        err << "Cannot create the folder " << out_dir << std::endl;
        return false;
    }
    std::string temp = out_dir + "/.export-XXXXXX";
    std::vector<std::string> names;
    // What this export wrote goes, and so does the folder made for it.
    const auto give_up = [&] {
        if (!temp.empty())
            remove_folder(temp, names);
        if (made_out_dir)
            ::rmdir(out_dir.c_str());
        return false;
    };
    if (!::mkdtemp(&temp[0])) {
        err << "Cannot write into " << out_dir << std::endl;
        temp.clear();
        return give_up();
    }

    // The label images, plane by plane into one page whose painted boxes are
    // cleared again after writing. Pixels are counted by label as they are
    // painted and taken over, so the labels present at each time point are
    // known without reading the files back.
    const int w = summary.width, h = summary.height;
    std::vector<uint16_t> page(static_cast<size_t>(w) * h, 0);
    std::vector<size_t> pixels_of(tracks.size() + 1, 0);
    std::vector<uint32_t> painted_labels;
    struct box {
        int left, top, right, bottom;
    };
    std::vector<box> painted;
    std::vector<unsigned char> used_rows(static_cast<size_t>(h), 0);
    std::map<int, std::vector<uint32_t>> present;
    roi_pixels pixels;
    label_tiff::writer mask;
    std::string error;
    std::vector<std::vector<const roi *>> by_plane;
    const size_t pages = static_cast<size_t>(summary.time_points) * summary.planes;
    size_t pages_done = 0;
    for (int t = 0; t < summary.time_points; ++t) {
        names.push_back(mask_name(t));
        if (!mask.open(temp + "/" + names.back(), w, h, summary.planes, options.how, error)) {
            err << "Cannot write " << out_dir << "/" << names.back() << ": " << error << std::endl;
            return give_up();
        }
        rois_of_time_point(db, t, by_plane);
        for (int z = 0; z < summary.planes; ++z) {
            if (options.let_events_run)
                options.let_events_run();
            static const std::vector<const roi *> no_rois;
            for (const roi *rp : z < static_cast<int>(by_plane.size()) ? by_plane[z] : no_rois) {
                const roi &r = *rp;
                const uint32_t o = g.object_at(r);
                if (o == curation_graph::none)
                    continue;
                const uint16_t label = static_cast<uint16_t>(tracks[track_of[o]].label);
                if (pixels_of[label] == 0)
                    painted_labels.push_back(label);
                pixels.make(r);
                const int x0 = std::max(0, -pixels.left()), y0 = std::max(0, -pixels.top());
                const int x1 = std::min(pixels.width(), w - pixels.left());
                const int y1 = std::min(pixels.height(), h - pixels.top());
                size_t inside = 0;
                for (int y = y0; y < y1; ++y) {
                    const unsigned char *m = pixels.row(y);
                    uint16_t *row =
                        page.data() + static_cast<size_t>(pixels.top() + y) * w + pixels.left();
                    for (int x = x0; x < x1; ++x) {
                        if (!m[x])
                            continue;
                        ++inside;
                        const uint16_t old = row[x];
                        if (old == label)
                            continue;
                        if (old != 0) {
                            ++summary.overlap_pixels;
                            --pixels_of[old];
                        }
                        ++pixels_of[label];
                        row[x] = label;
                    }
                }
                summary.clipped_rois += inside < pixels.size();
                if (x0 < x1 && y0 < y1)
                    painted.push_back(box{pixels.left() + x0, pixels.top() + y0,
                                          pixels.left() + x1 - 1, pixels.top() + y1 - 1});
            }
            for (const box &b : painted)
                std::fill(used_rows.begin() + b.top, used_rows.begin() + b.bottom + 1, 1);
            if (!mask.write_page(page.data(), error, &used_rows)) {
                err << "Cannot write " << out_dir << "/" << names.back() << ": " << error
                    << std::endl;
                return give_up();
            }
            // The writer may have changed the page: clear every painted box.
            for (const box &b : painted)
                for (int y = b.top; y <= b.bottom; ++y)
                    std::fill(page.begin() + static_cast<ptrdiff_t>(y) * w + b.left,
                              page.begin() + static_cast<ptrdiff_t>(y) * w + b.right + 1, 0);
            painted.clear();
            std::fill(used_rows.begin(), used_rows.end(), 0);
            ++pages_done;
            if (options.keep_going && !options.keep_going(pages_done, pages)) {
                mask.close(error); // the half-written file goes with the folder
                return give_up();
            }
        }
        if (!mask.close(error)) {
            err << "Cannot write " << out_dir << "/" << names.back() << ": " << error << std::endl;
            return give_up();
        }
        std::vector<uint32_t> &labels = present[t];
        for (uint32_t label : painted_labels)
            if (pixels_of[label] > 0)
                labels.push_back(label);
        std::sort(labels.begin(), labels.end());
        for (uint32_t label : painted_labels)
            pixels_of[label] = 0;
        painted_labels.clear();
    }
    names.push_back(track_file_name);
    if (!write_tracks(temp + "/" + track_file_name, tracks, error)) {
        err << error << std::endl;
        return give_up();
    }

    // The format's rules on what was written.
    std::vector<std::string> problems;
    check(tracks, present, track_file_name, problems);
    if (!problems.empty()) {
        for (const std::string &p : problems)
            err << p << std::endl;
        err << "Export to " << out_dir << " breaks the format's rules (" << problems.size()
            << (problems.size() == 1 ? " fault" : " faults") << "); nothing was replaced"
            << std::endl;
        return give_up();
    }

    // Label images of an earlier, longer export would break the folder.
    const std::set<std::string> fresh(names.begin(), names.end());
    if (DIR *d = ::opendir(out_dir.c_str())) {
        std::vector<std::string> stale;
        while (dirent *e = ::readdir(d)) {
            const std::string n = e->d_name;
            if (n.size() > 8 && n.compare(0, 4, "mask") == 0 &&
                n.compare(n.size() - 4, 4, ".tif") == 0 && fresh.count(n) == 0)
                stale.push_back(n);
        }
        ::closedir(d);
        for (const std::string &n : stale)
            std::remove((out_dir + "/" + n).c_str());
    }
    for (const std::string &n : names)
        if (std::rename((temp + "/" + n).c_str(), (out_dir + "/" + n).c_str()) != 0) {
            err << "Cannot move " << n << " into " << out_dir << std::endl;
            return give_up();
        }
    ::rmdir(temp.c_str());

    out << "Exported " << summary.units + summary.lone_rois << " objects (" << summary.units
        << " units, " << summary.lone_rois << " ROIs of no unit) in " << summary.tracks
        << " tracks: time points 0 to " << summary.time_points - 1 << ", " << w << " x " << h
        << " pixels, " << summary.planes << " planes, to " << out_dir;
    if (summary.left_out_rois > 0)
        out << "; " << summary.left_out_rois << " false positives left out";
    out << std::endl;
    if (summary.multi_parent > 0)
        err << summary.multi_parent
            << (summary.multi_parent == 1 ? " unit with more than one parent was"
                                          : " units with more than one parent were")
            << " written with the first parent" << std::endl;
    if (summary.overlap_pixels > 0)
        err << summary.overlap_pixels << " pixels belong to two objects; the later one keeps them"
            << std::endl;
    if (summary.clipped_rois > 0)
        err << summary.clipped_rois << " ROIs reach outside the " << w << " x " << h
            << " label images and were cut" << std::endl;
    if (summary_out)
        *summary_out = summary;
    return true;
}

} // namespace ctc
