// Fast reading and safe writing of the ROI database file's text, shared by
// the database and the browser's own files.
#pragma once

#include "OXEL_roi"

#include <string>
#include <sys/types.h> // mode_t, uid_t, gid_t

// Positions beyond this lie outside any image: records that hold one are
// refused on reading and on entry, so that no later arithmetic can overflow.
const int oxel_max_coordinate = 10000000;

// Whether r can be stored and read back as written: its position within
// the limit above, its outline non-empty and free of white space. problem
// says why not.
bool oxel_roi_storable(const roi &r, std::string &problem);

// Splits a file at white space exactly as formatted stream extraction does,
// without the cost of a stream. Once a read fails, every later read fails.
class roi_file_reader {
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
class text_file_writer {
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
