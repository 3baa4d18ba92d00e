// The record of unsaved work: base files and an append-only journal.
#include "recovery.h"

#include "curation.h"
#include "key_files.h"
#include "lineage_file.h"
#include "roidb_plus.h"

#include <algorithm> // std::max
#include <cerrno>
#include <climits> // PATH_MAX
#include <cstdint>
#include <cstdio>  // std::rename, std::remove
#include <cstdlib> // std::getenv, realpath
#include <cstring> // std::strerror
#include <fcntl.h>
#include <linux/fs.h> // FICLONE
#include <sys/ioctl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

uint64_t fnv1a(const std::string &text)
{
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

std::string hex(uint64_t v)
{
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

std::string absolute(const std::string &path)
{
    char resolved[PATH_MAX];
    if (realpath(path.c_str(), resolved))
        return resolved;
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

bool make_folders(const std::string &path)
{
    for (size_t slash = 1; slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

bool write_all(int fd, const char *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

void sync_folder(const std::string &folder)
{
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        ::close(fd);
    }
}

// A copy of the file, on the disk before it returns: a clone sharing the
// blocks where the file system allows it, else the bytes copied. Never a
// hard link: a program that rewrites the ROI file in place would change the
// base with it.
bool keep_copy(const std::string &from, const std::string &to)
{
    std::remove(to.c_str());
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = out >= 0;
    if (ok && ioctl(out, FICLONE, in) != 0) {
        char buf[1 << 16];
        while (ok) {
            const ssize_t n = ::read(in, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                ok = n == 0;
                break;
            }
            ok = write_all(out, buf, static_cast<size_t>(n));
        }
    }
    ::close(in);
    if (out >= 0) {
        ok = ok && fsync(out) == 0;
        ::close(out);
    }
    return ok;
}

std::string file(const std::string &folder, const char *what, int generation)
{
    return folder + "/" + what + "-" + std::to_string(generation);
}

int current_generation(const std::string &folder)
{
    std::ifstream in(folder + "/current");
    int generation = 0;
    return (in >> generation) ? generation : 0;
}

// The complete entries of a journal: "E size hash", a line end, size bytes.
// Anything else (zeros laid out ahead, an entry cut short) ends them; end
// is where the last complete one ends.
std::vector<std::string> entries(const std::string &journal, long long *end = nullptr)
{
    std::ifstream in(journal, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> out;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t line_end = text.find('\n', pos);
        if (line_end == std::string::npos)
            break;
        std::istringstream header(text.substr(pos, line_end - pos));
        std::string tag, hash;
        size_t size = 0;
        if (!(header >> tag >> size >> hash) || tag != "E" || size > text.size() - line_end - 1)
            break;
        std::string payload = text.substr(line_end + 1, size);
        if (hex(fnv1a(payload)) != hash)
            break;
        out.push_back(std::move(payload));
        pos = line_end + 1 + size;
    }
    if (end)
        *end = static_cast<long long>(pos);
    return out;
}

} // namespace

std::string recovery::folder_for(const std::string &roi_path)
{
    const char *state = std::getenv("XDG_STATE_HOME");
    std::string root;
    if (state && state[0] == '/') {
        root = state;
    } else {
        const char *home = std::getenv("HOME");
        root = std::string(home && *home ? home : "/tmp") + "/.local/state";
    }
    return root + "/oxelbrowser/" + hex(fnv1a(absolute(roi_path)));
}

recovery::recovery(const std::string &roi_path)
    : _folder(folder_for(roi_path)), _roi_path(absolute(roi_path)),
      _generation(current_generation(_folder))
{
    // A record already there is carried on (its journal takes the new edits).
    if (_generation > 0) {
        const std::string journal = file(_folder, "journal", _generation);
        _journal = ::open(journal.c_str(), O_WRONLY | O_CLOEXEC);
        entries(journal, &_end);
        struct stat st {};
        _laid_out = _journal >= 0 && fstat(_journal, &st) == 0 ? st.st_size : 0;
    }
}

recovery::~recovery()
{
    if (_journal >= 0)
        ::close(_journal);
}

bool recovery::rebase(const std::string &dataset, const lineage::key_set &fp,
                      const lineage::key_multimap &head_members,
                      const lineage::key_multimap &linkage, const lineage::key_set &elite,
                      const lineage::key_set &dismissed, std::ostream &err)
{
    const int next = _generation + 1;
    std::ostringstream quiet;
    bool ok = make_folders(_folder) && keep_copy(_roi_path, file(_folder, "base-roi", next)) &&
              key_files::write(file(_folder, "base-fp", next), dataset, "FP", fp, quiet) &&
              lineage_file::write(file(_folder, "base-lineage", next), dataset, head_members,
                                  linkage, elite, dismissed, quiet);
    int journal = -1;
    if (ok) {
        journal = ::open(file(_folder, "journal", next).c_str(),
                         O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ok = journal >= 0 && fsync(journal) == 0;
    }
    if (ok) {
        // The new generation counts from the moment "current" names it.
        const std::string current = _folder + "/current", temp = current + ".new";
        std::ofstream(temp) << next << '\n' << _roi_path << '\n';
        const int fd = ::open(temp.c_str(), O_RDONLY | O_CLOEXEC);
        ok = fd >= 0 && fsync(fd) == 0;
        if (fd >= 0)
            ::close(fd);
        ok = ok && std::rename(temp.c_str(), current.c_str()) == 0;
        sync_folder(_folder);
    }
    if (!ok) {
        if (journal >= 0)
            ::close(journal);
        for (const char *what : {"base-roi", "base-fp", "base-lineage", "journal"})
            std::remove(file(_folder, what, next).c_str());
        err << "Cannot keep a record of unsaved work in " << _folder << std::endl;
        return false;
    }
    if (_journal >= 0)
        ::close(_journal);
    _journal = journal;
    _end = _laid_out = 0;
    for (const char *what : {"base-roi", "base-fp", "base-lineage", "journal"})
        std::remove(file(_folder, what, _generation).c_str());
    _generation = next;
    return true;
}

bool recovery::append(const std::vector<change> &changes, std::ostream &err)
{
    if (_journal < 0)
        return false;
    const std::string text = curation::to_text(changes);
    const std::string entry =
        "E " + std::to_string(text.size()) + " " + hex(fnv1a(text)) + "\n" + text;
    if (!write_entry(entry)) {
        err << "Cannot write the record of unsaved work in " << _folder << ": "
            << std::strerror(errno) << std::endl;
        return false;
    }
    return true;
}

bool recovery::write_entry(const std::string &entry)
{
    const long long size = static_cast<long long>(entry.size());
    // Small entries go into zeros laid out a mebibyte at a time, so that the
    // flush after each one need not record a new file size.
    constexpr long long step = 1 << 20;
    if (_end + size > _laid_out && size < step) {
        static const char zeros[1 << 16] = {};
        const long long target = (_end + size + step - 1) / step * step;
        for (long long at = _laid_out; at < target; at += sizeof zeros)
            if (pwrite(_journal, zeros, sizeof zeros, at) != static_cast<ssize_t>(sizeof zeros))
                return false;
        if (fdatasync(_journal) != 0)
            return false;
        _laid_out = target;
    }
    const char *data = entry.data();
    long long at = _end, left = size;
    while (left > 0) {
        const ssize_t n = pwrite(_journal, data, static_cast<size_t>(left), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        at += n;
        left -= n;
    }
    if (fdatasync(_journal) != 0)
        return false;
    _end += size;
    _laid_out = std::max(_laid_out, _end);
    return true;
}

void recovery::discard()
{
    if (_journal >= 0)
        ::close(_journal);
    _journal = -1;
    for (const char *what : {"base-roi", "base-fp", "base-lineage", "journal"})
        std::remove(file(_folder, what, _generation).c_str());
    std::remove((_folder + "/current").c_str());
    rmdir(_folder.c_str());
    _generation = 0;
}

bool recovery::holds_work(const std::string &roi_path)
{
    const std::string folder = folder_for(roi_path);
    const int generation = current_generation(folder);
    return generation > 0 && !entries(file(folder, "journal", generation)).empty();
}

bool recovery::restore(const std::string &roi_path, restored &out, std::ostream &err)
{
    const std::string folder = folder_for(roi_path);
    const int generation = current_generation(folder);
    if (generation == 0)
        return false;
    auto *db = new roidb_plus("");
    if (!db->load(file(folder, "base-roi", generation))) {
        delete db;
        err << "The record of unsaved work in " << folder << " is damaged" << std::endl;
        return false;
    }
    out.db = db;
    std::ostringstream quiet;
    key_files::read(file(folder, "base-fp", generation), db->name(), "FP", out.fp, quiet);
    lineage_file::contents lineage;
    lineage_file::read(
        file(folder, "base-lineage", generation), db->name(),
        [db](const std::string &key) { return db->stored(key) != nullptr; }, lineage, quiet);
    out.head_members = std::move(lineage.head_members);
    out.members_head = std::move(lineage.members_head);
    out.linkage = std::move(lineage.linkage);
    out.elite = std::move(lineage.elite);
    out.dismissed = std::move(lineage.dismissed);

    lineage::tables units{out.head_members, out.members_head, out.linkage, out.elite};
    curation::state state{*db, nullptr, out.fp, units, out.dismissed};
    for (const std::string &payload : entries(file(folder, "journal", generation))) {
        std::vector<change> changes;
        if (!curation::from_text(payload, changes))
            break;
        curation::apply(state, changes, true);
        ++out.edits;
    }
    return true;
}
