// Fast reading and safe writing of the ROI database file's text, shared by
// the database and the browser's own files.
#pragma once

#include "OXEL_roi"

#include <iostream>
#include <string>
#include <utility> // std::move
#include <sys/types.h> // mode_t, uid_t, gid_t

// Positions beyond this lie outside any image: records that hold one are
// refused on reading and on entry, so that no later arithmetic can overflow.
const int oxel_max_coordinate = 10000000;

// Whether r can be stored and read back as written: its position within
// the limit above, its outline non-empty and free of white space. problem
// says why not.
OXEL_EXPORT bool oxel_roi_storable(const roi &r, std::string &problem);

// Formatting shared by both key layouts, without the cost of a stream.
OXEL_EXPORT void oxel_append_field(std::string &out, int value, int width);

// One field of a key, shared by both key layouts. 0 to 999: three digits,
// as oxel_append_field(out, value, 3) writes them. 1000 and more: a capital
// letter that gives the number of digits ('A' four, 'B' five, ... 'G' ten),
// then the digits, so 1000 is A1000 and 12345 is B12345. Below 0: '-', a
// capital letter for the digit count in reverse ('J' one, 'I' two, ... 'A'
// ten), then the nine's complement of each digit of the magnitude, so -5 is
// -J4. Every field ends where its first character says, and fields compare
// as strings in the order of their values, so keys of any position stay
// unique, decode and sort by their fields.
OXEL_EXPORT void oxel_append_key_field(std::string &out, int value);
// The value of the key field that begins at pos; pos moves past it. Besides
// the forms above it reads any three characters as a decimal number (leading
// blanks and a sign taken, stopping at the first non-digit, no digits 0), and
// a key cut short gives what its characters hold (0 when none are left).
OXEL_EXPORT int oxel_read_key_field(const std::string &key, std::string::size_type &pos);

// Splits a file at white space exactly as formatted stream extraction does,
// without the cost of a stream. Once a read fails, every later read fails.
class OXEL_EXPORT roi_file_reader {
public:
    roi_file_reader();
    ~roi_file_reader();
    roi_file_reader(const roi_file_reader &) = delete;
    roi_file_reader &operator=(const roi_file_reader &) = delete;

    bool open(const std::string &filename);
    bool read_word(std::string &word);
    bool read_int(int &value);
    // x y z t outline; r changes only when all five were read. Records with
    // a position beyond oxel_max_coordinate are passed over and counted.
    bool read_roi(roi &r);
    bool failed() const { return _failed; }
    size_t refused() const { return _refused; }
    // Bytes read so far, and the file's size when opened (0 for other kinds
    // of file), so that a long read can show how far it has got.
    size_t consumed() const { return _consumed + _pos; }
    size_t file_size() const { return _file_size; }

private:
    int peek()
    {
        return _pos < _len ? static_cast<unsigned char>(_buf[_pos]) : refill();
    }
    int refill();
    void advance() { ++_pos; }
    bool skip_space();

    int _fd;
    bool _failed;
    char *_buf;
    size_t _size;
    size_t _pos;
    size_t _len;
    size_t _refused;
    size_t _consumed;
    size_t _file_size;
};

// Writes a text file beside its target and renames it over the target only
// when every byte reached the disk, so a failed save never harms the old file.
// The new file takes the old one's mode and, where allowed, its owner; a
// symbolic link is followed to the file it names. Where the file system
// allows, the file is written without a name until it is complete, so a save
// that is killed leaves nothing behind; temporaries that a killed save left
// beside the target are removed by the next save of it.
class OXEL_EXPORT text_file_writer {
public:
    text_file_writer();
    ~text_file_writer();
    text_file_writer(const text_file_writer &) = delete;
    text_file_writer &operator=(const text_file_writer &) = delete;

    bool open(const std::string &filename);
    void write_line(const std::string &line);
    // "x y z t outline" and a line end.
    void write_roi(const roi &r);
    // Finishes the file; false (old file untouched) if anything failed.
    bool commit();
    // After a failed open or commit: a line that says why, when the reason
    // is one the user can act on; otherwise empty.
    const std::string &problem() const { return _problem; }

private:
    void flush_buffer();
    void discard();
    bool name_temp();
    void remove_stale_temps();

    int _fd;
    bool _failed;
    bool _unnamed;
    bool _exists;
    mode_t _mode;
    uid_t _uid;
    gid_t _gid;
    std::string _target;
    std::string _dir;
    std::string _base;
    std::string _temp;
    std::string _buf;
    std::string _problem;
};

// Kept under its historical name for the database file.
using roi_file_writer = text_file_writer;

// Reads a database file: its first word becomes name, then each ROI goes to
// enter(roi) until a record fails to read. Every ROI handed on can be
// stored; records placed beyond any image are counted and said.
template <class Enter> void oxel_read_roi_file(const std::string &filename, std::string &name, Enter enter)
{
    roi_file_reader in;
    if (!in.open(filename)) {
        std::cerr << "roidb: Cannot open " << filename << std::endl;
        return;
    }
    in.read_word(name);
    roi r;
    while (in.read_roi(r))
        enter(std::move(r));
    if (in.refused())
        std::cerr << "roidb: " << filename << ": " << in.refused() << " ROIs placed beyond "
                  << oxel_max_coordinate << " were not read" << std::endl;
}
