// Folders of the interchange format: names, the track table, the rules.
#include "ctc_folder.h"

#include "OXEL_roidb"
#include "label_tiff.h"

#include <algorithm> // std::sort, std::unique, std::binary_search
#include <cstdio>    // std::snprintf
#include <dirent.h>  // opendir
#include <fstream>
#include <sstream>
#include <sys/stat.h> // stat
#include <unordered_map>

namespace ctc
{

namespace
{

std::string base_name(const std::string &path)
{
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// t of PREFIX + digits + ".tif"; -1 for any other name.
int time_of(const std::string &name, const std::string &prefix)
{
    const std::string ext = ".tif";
    if (name.size() <= prefix.size() + ext.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        name.compare(name.size() - ext.size(), ext.size(), ext) != 0)
        return -1;
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - ext.size());
    if (digits.size() > 6)
        return -1;
    for (char c : digits)
        if (c < '0' || c > '9')
            return -1;
    return std::stoi(digits);
}

bool is_file(const std::string &path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// "first T" or "T" of a list of time points, for the rules' messages.
std::string times_text(const std::vector<int> &times)
{
    if (times.size() == 1)
        return "time point " + std::to_string(times[0]);
    return std::to_string(times.size()) + " time points, the first " + std::to_string(times[0]);
}

} // namespace

std::string mask_name(int t)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "mask%03d.tif", t);
    return buf;
}

bool open_folder(const std::string &dir, folder &out, std::string &error)
{
    out = folder();
    out.dir = dir;
    DIR *d = ::opendir(dir.c_str());
    if (!d) {
        error = "Cannot open " + dir;
        return false;
    }
    std::map<int, std::string> res, man;
    while (dirent *e = ::readdir(d)) {
        const std::string name = e->d_name;
        int t = time_of(name, "mask");
        if (t >= 0)
            res[t] = dir + "/" + name;
        t = time_of(name, "man_track");
        if (t >= 0)
            man[t] = dir + "/" + name;
    }
    ::closedir(d);
    if (is_file(dir + "/res_track.txt")) {
        out.track_file = dir + "/res_track.txt";
        out.masks.swap(res);
    } else if (is_file(dir + "/man_track.txt")) {
        out.track_file = dir + "/man_track.txt";
        out.masks.swap(man);
    } else {
        error = dir + " holds neither res_track.txt nor man_track.txt";
        return false;
    }
    return true;
}

bool read_tracks(const std::string &path, std::vector<track> &out,
                 std::vector<std::string> &problems, std::string &error)
{
    std::ifstream in(path);
    if (!in) {
        error = "Cannot open " + path;
        return false;
    }
    out.clear();
    const std::string name = base_name(path);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::istringstream words(line);
        long long l, b, e, p;
        std::string rest;
        if (line.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        if (!(words >> l >> b >> e >> p) || (words >> rest) || l < 0 || b < 0 || e < 0 || p < 0 ||
            l > UINT32_MAX || p > UINT32_MAX || b > 99999 || e > 99999) {
            problems.push_back(name + " line " + std::to_string(number) +
                               ": not four numbers L B E P");
            continue;
        }
        if (l == 0) {
            problems.push_back(name + " line " + std::to_string(number) +
                               ": label 0 is the background");
            continue;
        }
        if (b > e) {
            problems.push_back(name + " line " + std::to_string(number) + ": label " +
                               std::to_string(l) + " ends at " + std::to_string(e) +
                               " before it begins at " + std::to_string(b));
            continue;
        }
        out.push_back(track{static_cast<uint32_t>(l), static_cast<int>(b), static_cast<int>(e),
                            static_cast<uint32_t>(p)});
    }
    if (in.bad()) {
        error = "Cannot read " + path;
        return false;
    }
    return true;
}

bool write_tracks(const std::string &path, const std::vector<track> &tracks, std::string &error)
{
    text_file_writer out;
    if (!out.open(path)) {
        error = "Cannot open " + path;
        return false;
    }
    std::string line;
    for (const track &tr : tracks) {
        line = std::to_string(tr.label) + " " + std::to_string(tr.begin) + " " +
               std::to_string(tr.end) + " " + std::to_string(tr.parent);
        out.write_line(line);
    }
    if (!out.commit()) {
        error = "Cannot open " + path;
        return false;
    }
    return true;
}

bool labels_by_time(const folder &f, std::map<int, std::vector<uint32_t>> &out, std::string &error)
{
    out.clear();
    label_tiff::reader in;
    std::vector<uint32_t> page;
    for (const auto &mask : f.masks) {
        if (!in.open(mask.second, error))
            return false;
        std::vector<uint32_t> &labels = out[mask.first];
        error.clear();
        while (in.next_page(page, error))
            add_labels(page.data(), page.size(), labels);
        if (!error.empty())
            return false;
        std::sort(labels.begin(), labels.end());
        labels.erase(std::unique(labels.begin(), labels.end()), labels.end());
    }
    return true;
}

void add_labels(const uint32_t *pixels, size_t count, std::vector<uint32_t> &labels)
{
    uint32_t last = 0;
    for (size_t i = 0; i < count; ++i) {
        const uint32_t v = pixels[i];
        if (v == last)
            continue;
        last = v;
        if (v != 0 && std::find(labels.end() - std::min<size_t>(labels.size(), 8), labels.end(),
                                v) == labels.end())
            labels.push_back(v);
    }
}

bool validate(const std::string &dir, std::vector<std::string> &problems, std::string &error)
{
    folder f;
    if (!open_folder(dir, f, error))
        return false;
    std::vector<track> tracks;
    if (!read_tracks(f.track_file, tracks, problems, error))
        return false;
    std::map<int, std::vector<uint32_t>> present;
    if (!labels_by_time(f, present, error))
        return false;
    check(tracks, present, base_name(f.track_file), problems);
    return true;
}

void check(const std::vector<track> &tracks, const std::map<int, std::vector<uint32_t>> &present,
           const std::string &table, std::vector<std::string> &problems)
{
    // No label twice; every parent listed and ended before its child begins.
    std::unordered_map<uint32_t, size_t> by_label;
    for (size_t i = 0; i < tracks.size(); ++i)
        if (!by_label.emplace(tracks[i].label, i).second)
            problems.push_back("label " + std::to_string(tracks[i].label) + " is listed twice in " +
                               table);
    for (const track &tr : tracks) {
        if (tr.parent == 0)
            continue;
        auto p = by_label.find(tr.parent);
        if (p == by_label.end()) {
            problems.push_back("label " + std::to_string(tr.label) + ": parent " +
                               std::to_string(tr.parent) + " is not in " + table);
        } else if (tracks[p->second].end >= tr.begin) {
            problems.push_back("label " + std::to_string(tr.label) + ": parent " +
                               std::to_string(tr.parent) + " ends at " +
                               std::to_string(tracks[p->second].end) + ", not before " +
                               std::to_string(tr.label) + " begins at " + std::to_string(tr.begin));
        }
    }

    // Each label in the label images from B to E and nowhere else.
    auto has = [&present](int t, uint32_t label) {
        auto it = present.find(t);
        return it != present.end() &&
               std::binary_search(it->second.begin(), it->second.end(), label);
    };
    for (size_t i = 0; i < tracks.size(); ++i) {
        const track &tr = tracks[i];
        if (by_label[tr.label] != i)
            continue;
        std::vector<int> missing;
        for (int t = tr.begin; t <= tr.end; ++t)
            if (!has(t, tr.label))
                missing.push_back(t);
        if (!missing.empty())
            problems.push_back("label " + std::to_string(tr.label) + " (" +
                               std::to_string(tr.begin) + " to " + std::to_string(tr.end) +
                               ") is missing from " + times_text(missing));
    }
    std::map<uint32_t, std::vector<int>> outside, unlisted;
    for (const auto &at : present)
        for (uint32_t label : at.second) {
            auto it = by_label.find(label);
            if (it == by_label.end())
                unlisted[label].push_back(at.first);
            else if (at.first < tracks[it->second].begin || at.first > tracks[it->second].end)
                outside[label].push_back(at.first);
        }
    for (const auto &o : outside) {
        const track &tr = tracks[by_label[o.first]];
        problems.push_back("label " + std::to_string(o.first) + " (" + std::to_string(tr.begin) +
                           " to " + std::to_string(tr.end) + ") is also in " +
                           times_text(o.second));
    }
    for (const auto &u : unlisted)
        problems.push_back("label " + std::to_string(u.first) + " is not in " + table + " but in " +
                           times_text(u.second));
}

} // namespace ctc
