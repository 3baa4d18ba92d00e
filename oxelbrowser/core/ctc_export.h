// A curation (ROIs, units, links) written as a folder of the interchange
// format: one label image per time point and the track table. Shared by the
// browser's "Export…" and the command-line tool.
#pragma once

#include "label_tiff.h"
#include "lineage.h"

#include <functional> // std::function
#include <iosfwd>
#include <string>

class roidb_plus;

namespace ctc
{

struct export_options {
    // The label images' size; 0 takes it from the dataset's first image
    // (image_root/NAME/TTT-ZZZ.jpg) when there is one, else from the extent
    // of the ROIs.
    int width = 0;
    int height = 0;
    std::string image_root;
    label_tiff::compression how = label_tiff::compression::deflate;
    // Called between pages, so that a window can handle input meanwhile.
    std::function<void()> let_events_run;
    // Called after each page with the pages written and the pages in all;
    // false stops the export, which then leaves out_dir as it was and says
    // nothing on err.
    std::function<bool(size_t done, size_t total)> keep_going;
};

// What an export wrote.
struct export_summary {
    size_t units = 0;     // objects made of a unit
    size_t lone_rois = 0; // ROIs in no unit, written as objects of their own
    size_t tracks = 0;
    size_t left_out_rois = 0;  // the false positives and removed ROIs
    size_t multi_parent = 0;   // units written with their first parent only
    size_t overlap_pixels = 0; // pixels two objects claimed (the later one kept them)
    size_t clipped_rois = 0;   // ROIs reaching outside the label images
    int width = 0, height = 0, planes = 0, time_points = 0;
};

// Writes every ROI of db except those in left_out: the ROIs of one unit
// (members_head) as one object, each other ROI as an object of its own. A
// track is a chain of units each with one parent whose parent has one child;
// a division starts new tracks whose parent is the mother's track. A unit
// with several parents is written with the first in key order and listed on
// err. The folder is built beside out_dir's files, its labels as written are
// checked by the format's rules, and only then is it moved into out_dir (which is created if
// missing; label images of an earlier export that this one does not write are removed). On failure
// or a stop out_dir is as it was (a folder made for the export goes again) and the reason of a
// failure is on err.
bool export_folder(roidb_plus &db, const lineage::key_map &members_head,
                   const lineage::key_multimap &linkage, const lineage::key_set &left_out,
                   const std::string &dataset, const std::string &out_dir,
                   const export_options &options, std::ostream &out, std::ostream &err,
                   export_summary *summary = nullptr);

// The width and height of a JPEG file from its header; false if it is not one.
bool jpeg_size(const std::string &path, int &width, int &height);

} // namespace ctc
