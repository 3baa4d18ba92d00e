// The keyed ROI database of one dataset and its text file.
#pragma once

#include "OXEL_roi"
#include "node_pool.h"
#include "roi_file.h"

#include <iostream>
#include <map>
#include <string>

class roidb {
public:
    // Ordered by key; nodes from a pool of the database's own.
    using map_type = std::map<std::string, roi, std::less<std::string>,
                              oxel::node_pool_allocator<std::pair<const std::string, roi>>>;

    roidb(std::string name);

    void setName(std::string name);
    std::string name();

    // Keeps the first ROI entered for a position. A ROI that would not read
    // back as written (position beyond oxel_max_coordinate, outline empty
    // or holding white space) is refused with a line on standard error.
    void entry(roi r);
    // Fills r with the stored ROI at r's position; false (r untouched) if absent.
    bool find(roi &r);

    // Database key: t, x, y, z as fields of at least three digits.
    std::string keygen(pos4i pos);
    // x in decimal, padded on the left with '0' to at least d characters.
    std::string digit(int d, int x);

    // Adds the ROIs of a database file; "roidb: Cannot open NAME" if unreadable.
    void read(std::string filename);
    // Replaces filename with the whole database. The old file survives a
    // failed write; the failure is reported as "Cannot open NAME".
    void write(std::string filename);

protected:
    // write, telling whether the file was written whole.
    bool write_file(const std::string &filename);
    // Reads a database file: its first word becomes the name, then each ROI
    // goes to enter(roi) until a record fails to read. Every ROI handed on
    // can be stored; records placed beyond any image are counted and said.
    template <class Enter> void read_with(const std::string &filename, Enter enter)
    {
        roi_file_reader in;
        if (!in.open(filename)) {
            std::cerr << "roidb: Cannot open " << filename << std::endl;
            return;
        }
        in.read_word(_name);
        roi r;
        while (in.read_roi(r))
            enter(std::move(r));
        if (in.refused())
            std::cerr << "roidb: " << filename << ": " << in.refused() << " ROIs placed beyond "
                      << oxel_max_coordinate << " were not read" << std::endl;
    }
    // Says why r cannot be stored, if it cannot.
    static bool storable(const roi &r);

    std::string _name;
    map_type db;
};

// Formatting shared by both key layouts, without the cost of a stream.
void oxel_append_field(std::string &out, int value, int width);
