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

// value in decimal, padded on the left with '0' to at least width
// characters (the fill goes before the sign), without the cost of a stream.
void oxel_append_field(std::string &out, int value, int width);

// One field of a key, shared by both key layouts. 0 to 999: three digits,
// as oxel_append_field(out, value, 3) writes them. 1000 and more: a capital
// letter that gives the number of digits ('A' four, 'B' five, ... 'G' ten),
// then the digits, so 1000 is A1000 and 12345 is B12345. Below 0: '-', a
// capital letter for the digit count in reverse ('J' one, 'I' two, ... 'A'
// ten), then the nine's complement of each digit of the magnitude, so -5 is
// -J4. Every field ends where its first character says, and fields compare
// as strings in the order of their values, so keys of any position stay
// unique, decode and sort by their fields.
void oxel_append_key_field(std::string &out, int value);
// The value of the key field that begins at pos; pos moves past it. Besides
// the forms above it reads any three characters as a decimal number (leading
// blanks and a sign taken, stopping at the first non-digit, no digits 0), and
// a key cut short gives what its characters hold (0 when none are left).
int oxel_read_key_field(const std::string &key, std::string::size_type &pos);
