// Folders of the cell-tracking community's interchange format: one label
// image per time point (maskTTT.tif, or man_trackTTT.tif in a reference
// folder) and a track table of "L B E P" lines (res_track.txt, or
// man_track.txt): label, first and last time point, parent label or 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace ctc
{

struct track {
    uint32_t label = 0;
    int begin = 0;
    int end = 0;
    uint32_t parent = 0;
};

// Where a folder keeps its files.
struct folder {
    std::string dir;
    std::string track_file;           // the table's path
    std::map<int, std::string> masks; // time point → label image's path
};

// The name of the label image of time point t in a folder this system writes.
std::string mask_name(int t);
const char *const track_file_name = "res_track.txt";

// Finds the table and label images of dir: res_track.txt with maskT.tif, or
// man_track.txt with man_trackT.tif. False with the reason in error.
bool open_folder(const std::string &dir, folder &out, std::string &error);

// Reads a track table; lines that are not four numbers (or name label 0, or
// end before they begin) are described in problems, one line each.
bool read_tracks(const std::string &path, std::vector<track> &out,
                 std::vector<std::string> &problems, std::string &error);
// Writes the tracks as "L B E P" lines beside path, then renames.
bool write_tracks(const std::string &path, const std::vector<track> &tracks, std::string &error);

// The labels present in every page of each label image: time point →
// labels in ascending order.
bool labels_by_time(const folder &f, std::map<int, std::vector<uint32_t>> &out, std::string &error);
// Appends the non-zero labels of count pixels to labels (some more than
// once: sort and make unique when done).
void add_labels(const uint32_t *pixels, size_t count, std::vector<uint32_t> &labels);

// The format's rules, one line per fault found: every label of the table is
// in the label images from B to E and nowhere else; a parent ends before its
// child begins; no label is listed twice. Empty when the folder is valid;
// false (error set) when it cannot be read at all.
bool validate(const std::string &dir, std::vector<std::string> &problems, std::string &error);
// The same rules on a table already read and the labels found by time point;
// table names the table file in the messages.
void check(const std::vector<track> &tracks, const std::map<int, std::vector<uint32_t>> &present,
           const std::string &table, std::vector<std::string> &problems);

} // namespace ctc
