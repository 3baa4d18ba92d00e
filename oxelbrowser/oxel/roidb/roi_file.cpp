// Fast reading and safe writing of ROI database files.
#include "roi_file.h"

#include "roidb.h"

#include <cerrno>   // errno, EINTR
#include <climits>  // INT_MAX
#include <cstdlib>  // realpath, mkstemp, free
#include <fcntl.h>  // open
#include <sys/stat.h> // stat, fchmod, umask
#include <unistd.h> // read, write, close, fsync, unlink

static const size_t read_chunk = 1 << 20;
static const size_t write_chunk = 1 << 20;

static bool is_space(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

roi_file_reader::roi_file_reader()
    : _fd(-1), _failed(true), _buf(new char[read_chunk]), _pos(0), _len(0)
{
}

roi_file_reader::~roi_file_reader()
{
    if (_fd >= 0)
        ::close(_fd);
    delete[] _buf;
}

bool roi_file_reader::open(const std::string &filename)
{
    if (_fd >= 0)
        ::close(_fd);
    _pos = _len = 0;
    _fd = ::open(filename.c_str(), O_RDONLY | O_CLOEXEC);
    _failed = _fd < 0;
    // A folder opens but cannot be read as text.
    struct stat st;
    if (!_failed && (fstat(_fd, &st) != 0 || S_ISDIR(st.st_mode))) {
        ::close(_fd);
        _fd = -1;
        _failed = true;
    }
    return !_failed;
}

int roi_file_reader::refill()
{
    if (_fd < 0)
        return -1;
    ssize_t n;
    do {
        n = ::read(_fd, _buf, read_chunk);
    } while (n < 0 && errno == EINTR);
    if (n <= 0) {
        ::close(_fd);
        _fd = -1;
        return -1;
    }
    _pos = 0;
    _len = static_cast<size_t>(n);
    return static_cast<unsigned char>(_buf[0]);
}

bool roi_file_reader::skip_space()
{
    int c;
    while ((c = peek()) >= 0 && is_space(c))
        advance();
    return c >= 0;
}

bool roi_file_reader::read_word(std::string &word)
{
    if (_failed || !skip_space()) {
        _failed = true;
        return false;
    }
    word.clear();
    int c;
    while ((c = peek()) >= 0 && !is_space(c)) {
        word.push_back(static_cast<char>(c));
        advance();
    }
    return true;
}

bool roi_file_reader::read_int(int &value)
{
    if (_failed || !skip_space()) {
        _failed = true;
        return false;
    }
    bool negative = false;
    int c = peek();
    if (c == '-' || c == '+') {
        negative = c == '-';
        advance();
        c = peek();
    }
    if (c < '0' || c > '9') {
        _failed = true;
        return false;
    }
    long long v = 0;
    while ((c = peek()) >= '0' && c <= '9') {
        v = v * 10 + (c - '0');
        if (v > static_cast<long long>(INT_MAX) + 1) {
            _failed = true;
            return false;
        }
        advance();
    }
    if (negative)
        v = -v;
    if (v > INT_MAX) {
        _failed = true;
        return false;
    }
    value = static_cast<int>(v);
    return true;
}

bool roi_file_reader::read_roi(roi &r)
{
    int x, y, z, t;
    std::string outline;
    if (!read_int(x) || !read_int(y) || !read_int(z) || !read_int(t) || !read_word(outline))
        return false;
    r = roi(x, y, z, t, std::move(outline));
    return true;
}

text_file_writer::text_file_writer() : _fd(-1), _failed(true) {}

text_file_writer::~text_file_writer()
{
    discard();
}

void text_file_writer::discard()
{
    if (_fd >= 0) {
        ::close(_fd);
        _fd = -1;
    }
    if (!_temp.empty()) {
        ::unlink(_temp.c_str());
        _temp.clear();
    }
    _buf.clear();
}

bool text_file_writer::open(const std::string &filename)
{
    discard();
    _failed = true;
    if (filename.empty())
        return false;

    // Saving through a symbolic link replaces the file it points to.
    _target = filename;
    struct stat st;
    bool exists = ::lstat(filename.c_str(), &st) == 0;
    if (exists && S_ISLNK(st.st_mode)) {
        if (char *real = ::realpath(filename.c_str(), nullptr)) {
            _target = real;
            std::free(real);
        }
    }
    exists = ::stat(_target.c_str(), &st) == 0;
    // A file the user may not write stays as it is, as it would with a plain open.
    if (exists && (!S_ISREG(st.st_mode) || ::access(_target.c_str(), W_OK) != 0))
        return false;

    std::string::size_type slash = _target.rfind('/');
    std::string dir = slash == std::string::npos ? std::string() : _target.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? _target : _target.substr(slash + 1);
    std::string pattern = dir + "." + base + ".XXXXXX";
    _fd = ::mkstemp(&pattern[0]);
    if (_fd < 0)
        return false;
    _temp = pattern;

    mode_t mode;
    if (exists) {
        mode = st.st_mode & 07777;
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    ::fchmod(_fd, mode);
    _failed = false;
    _buf.reserve(write_chunk + 4096);
    return true;
}

void text_file_writer::flush_buffer()
{
    const char *p = _buf.data();
    size_t left = _buf.size();
    while (!_failed && left > 0) {
        ssize_t n = ::write(_fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            _failed = true;
            break;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    _buf.clear();
}

void text_file_writer::write_line(const std::string &line)
{
    if (_failed)
        return;
    _buf += line;
    _buf.push_back('\n');
    if (_buf.size() >= write_chunk)
        flush_buffer();
}

void text_file_writer::write_roi(const roi &r)
{
    if (_failed)
        return;
    oxel_append_field(_buf, r.x(), 0);
    _buf.push_back(' ');
    oxel_append_field(_buf, r.y(), 0);
    _buf.push_back(' ');
    oxel_append_field(_buf, r.z(), 0);
    _buf.push_back(' ');
    oxel_append_field(_buf, r.t(), 0);
    _buf.push_back(' ');
    _buf += r.outline_ref();
    _buf.push_back('\n');
    if (_buf.size() >= write_chunk)
        flush_buffer();
}

bool text_file_writer::commit()
{
    if (_fd < 0)
        return false;
    if (!_failed)
        flush_buffer();
    if (!_failed && ::fsync(_fd) != 0)
        _failed = true;
    if (::close(_fd) != 0)
        _failed = true;
    _fd = -1;
    if (!_failed && ::rename(_temp.c_str(), _target.c_str()) != 0)
        _failed = true;
    if (_failed) {
        discard();
        return false;
    }
    _temp.clear();
    return true;
}
