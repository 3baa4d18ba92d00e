// Fast reading and safe writing of the ROI database file's text, shared by
// the database and the browser's own files.
#pragma once

#include "OXEL_roi"

#include <string>

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
    // x y z t outline; r changes only when all five were read.
    bool read_roi(roi &r);
    bool failed() const { return _failed; }

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
    size_t _pos;
    size_t _len;
};

// Writes a text file beside its target and renames it over the target only
// when every byte reached the disk, so a failed save never harms the old file.
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

private:
    void flush_buffer();
    void discard();

    int _fd;
    bool _failed;
    std::string _target;
    std::string _temp;
    std::string _buf;
};

// Kept under its historical name for the database file.
using roi_file_writer = text_file_writer;
