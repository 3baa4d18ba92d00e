// The keyed ROI database of one dataset and its text file.
#pragma once

#include "OXEL_roi"

#include <map>
#include <string>

class OXEL_EXPORT roidb {
public:
    using map_type = std::map<std::string, roi>;

    roidb(std::string name);

    void setName(std::string name);
    std::string name();

    // Keeps the first ROI entered for a position. A ROI that would not read
    // back as written (position beyond oxel_max_coordinate, outline empty
    // or holding white space) is refused with a line on standard error.
    void entry(roi r);
    // Fills r with the stored ROI at r's position; false (r untouched) if absent.
    bool find(roi &r);

    // Database key: t, x, y, z as key fields (oxel_append_key_field).
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
    // Says why r cannot be stored, if it cannot.
    static bool storable(const roi &r);

    std::string _name;
    std::map<std::string, roi> db;
};
