// Fast reading and safe writing of ROI database files.
#include "roi_file.h"

#include "roidb.h"

#include <cerrno>     // errno, EINTR
#include <climits>    // INT_MAX
#include <dirent.h>   // opendir, readdir
#include <fcntl.h>    // open, O_TMPFILE, linkat
#include <random>     // std::random_device
#include <sys/stat.h> // stat, fchmod
#include <unistd.h>   // read, write, close, fsync, unlink, readlink, fchown

static const size_t read_chunk = 1 << 20;
static const size_t write_chunk = 1 << 20;

static bool is_space(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool oxel_roi_storable(const roi &r, std::string &problem)
{
    const int limit = oxel_max_coordinate;
    for (int v : {r.x(), r.y(), r.z(), r.t()})
        if (v < -limit || v > limit) {
            problem = "its position lies beyond " + std::to_string(limit);
            return false;
        }
    const std::string &outline = r.outline_ref();
    if (outline.empty()) {
        problem = "its outline is empty";
        return false;
    }
    for (char c : outline)
        if (is_space(static_cast<unsigned char>(c))) {
            problem = "its outline holds white space";
            return false;
        }
    return true;
}

roi_file_reader::roi_file_reader()
    : _fd(-1), _failed(true), _buf(nullptr), _size(0), _pos(0), _len(0), _refused(0), _consumed(0),
      _file_size(0)
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
    _refused = 0;
    _consumed = _file_size = 0;
    _fd = ::open(filename.c_str(), O_RDONLY | O_CLOEXEC);
    _failed = _fd < 0;
    // A folder opens but cannot be read as text.
    struct stat st;
    if (!_failed && (fstat(_fd, &st) != 0 || S_ISDIR(st.st_mode))) {
        ::close(_fd);
        _fd = -1;
        _failed = true;
    }
    if (_failed)
        return false;
    if (S_ISREG(st.st_mode) && st.st_size > 0)
        _file_size = static_cast<size_t>(st.st_size);
    // A small file (a selection, a colour list) needs no megabyte of buffer.
    size_t want = read_chunk;
    if (S_ISREG(st.st_mode) && st.st_size >= 0 && static_cast<size_t>(st.st_size) < read_chunk)
        want = static_cast<size_t>(st.st_size) + 4096;
    if (want != _size) {
        delete[] _buf;
        _buf = new char[want];
        _size = want;
    }
    return true;
}

int roi_file_reader::refill()
{
    if (_fd < 0)
        return -1;
    _consumed += _len;
    _pos = _len = 0;
    ssize_t n;
    do {
        n = ::read(_fd, _buf, _size);
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
    // Whole runs of the buffer at once: a word within one buffer (nearly
    // all) takes a single allocation of its own size.
    word.clear();
    for (;;) {
        const size_t start = _pos;
        while (_pos < _len && !is_space(static_cast<unsigned char>(_buf[_pos])))
            ++_pos;
        word.append(_buf + start, _pos - start);
        if (_pos < _len || refill() < 0)
            return true;
    }
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
    const int limit = oxel_max_coordinate;
    for (;;) {
        int x, y, z, t;
        std::string outline;
        if (!read_int(x) || !read_int(y) || !read_int(z) || !read_int(t) || !read_word(outline))
            return false;
        if (x < -limit || x > limit || y < -limit || y > limit || z < -limit || z > limit ||
            t < -limit || t > limit) {
            ++_refused;
            continue;
        }
        r = roi(x, y, z, t, std::move(outline));
        return true;
    }
}

namespace {

const char temp_tag[] = ".oxelsave-";
const size_t temp_suffix = 6;

// The file a name finally stands for: symbolic links followed, also when the
// last one names a file that does not exist yet.
std::string follow_links(const std::string &filename)
{
    std::string path = filename;
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st;
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        std::string link(4096, '\0');
        ssize_t n = ::readlink(path.c_str(), &link[0], link.size());
        if (n <= 0 || static_cast<size_t>(n) >= link.size())
            break;
        link.resize(static_cast<size_t>(n));
        if (link[0] != '/') {
            const std::string::size_type slash = path.rfind('/');
            if (slash != std::string::npos)
                link = path.substr(0, slash + 1) + link;
        }
        path = link;
    }
    return path;
}

std::string random_suffix()
{
    static const char letters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device device;
    std::string s;
    for (size_t i = 0; i < temp_suffix; ++i)
        s.push_back(letters[device() % (sizeof letters - 1)]);
    return s;
}

} // namespace

text_file_writer::text_file_writer()
    : _fd(-1), _failed(true), _unnamed(false), _exists(false), _mode(0), _uid(0), _gid(0)
{
}

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

// A killed save leaves at most a temporary of this target: the next save
// removes every one that is ours.
void text_file_writer::remove_stale_temps()
{
    const std::string prefix = "." + _base + temp_tag;
    DIR *dir = ::opendir(_dir.empty() ? "." : _dir.c_str());
    if (!dir)
        return;
    while (struct dirent *e = ::readdir(dir)) {
        const std::string name = e->d_name;
        if (name.size() != prefix.size() + temp_suffix ||
            name.compare(0, prefix.size(), prefix) != 0)
            continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && st.st_uid == ::geteuid())
            ::unlinkat(::dirfd(dir), e->d_name, 0);
    }
    ::closedir(dir);
}

bool text_file_writer::open(const std::string &filename)
{
    discard();
    _failed = true;
    _unnamed = false;
    _problem.clear();
    if (filename.empty())
        return false;

    // Saving through a symbolic link replaces the file it points to.
    _target = follow_links(filename);
    struct stat st;
    _exists = ::stat(_target.c_str(), &st) == 0;
    // A file the user may not write stays as it is, as it would with a plain open.
    if (_exists && (!S_ISREG(st.st_mode) || ::access(_target.c_str(), W_OK) != 0))
        return false;
    _mode = _exists ? st.st_mode & 07777 : 0;
    _uid = _exists ? st.st_uid : 0;
    _gid = _exists ? st.st_gid : 0;

    const std::string::size_type slash = _target.rfind('/');
    _dir = slash == std::string::npos ? std::string() : _target.substr(0, slash + 1);
    _base = slash == std::string::npos ? _target : _target.substr(slash + 1);
    if (_base.empty())
        return false;
    remove_stale_temps();

    // The old file's content stays private until it is complete; a new file
    // is made as a plain open would make it, the process's umask applied.
    const mode_t create_mode = _exists ? 0600 : 0666;
    auto refused = [](int e) { return e == EACCES || e == EPERM || e == EROFS; };
    int error = 0;
#ifdef O_TMPFILE
    if (::access("/proc/self/fd", X_OK) == 0) {
        _fd = ::open(_dir.empty() ? "." : _dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC,
                     create_mode);
        _unnamed = _fd >= 0;
        error = _fd >= 0 ? 0 : errno;
    }
#endif
    // File systems without unnamed files: a named temporary.
    for (int tries = 0; _fd < 0 && !refused(error) && tries < 100; ++tries) {
        std::string name = _dir + "." + _base + temp_tag + random_suffix();
        _fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, create_mode);
        error = _fd >= 0 ? 0 : errno;
        if (_fd >= 0)
            _temp = name;
        else if (error != EEXIST)
            break;
    }
    if (_fd < 0) {
        if (refused(error))
            _problem = "The folder " + (_dir.empty() ? std::string(".") : _dir) +
                       " is not writable: a save writes beside the file and renames it over it" +
                       (_exists ? "; " + filename + " is left as it was" : std::string());
        return false;
    }
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

// Gives the unnamed file a name beside its target, for the rename.
bool text_file_writer::name_temp()
{
    const std::string self = "/proc/self/fd/" + std::to_string(_fd);
    for (int tries = 0; tries < 100; ++tries) {
        std::string name = _dir + "." + _base + temp_tag + random_suffix();
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            _temp = name;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

bool text_file_writer::commit()
{
    if (_fd < 0)
        return false;
    if (!_failed)
        flush_buffer();
    if (!_failed && ::fsync(_fd) != 0)
        _failed = true;
    if (!_failed && _exists) {
        // The owner first: changing it clears the set-id bits that the mode restores.
        if (::fchown(_fd, _uid, _gid) != 0 && ::fchown(_fd, static_cast<uid_t>(-1), _gid) != 0) {
            // Not allowed to give the file away: it stays the user's own.
        }
        if (::fchmod(_fd, _mode) != 0)
            _failed = true;
    }
    if (!_failed && _unnamed && !name_temp())
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
    // The rename reaches the disk only with its folder.
    int dir = ::open(_dir.empty() ? "." : _dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    bool flushed = dir >= 0 && ::fsync(dir) == 0;
    if (dir >= 0)
        ::close(dir);
    if (!flushed) {
        _problem = "The folder of " + _target + " could not be flushed to the disk";
        return false;
    }
    return true;
}
