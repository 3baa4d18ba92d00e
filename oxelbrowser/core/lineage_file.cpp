// The lineage file.
#include "lineage_file.h"

#include "OXEL_roidb"
#include "keygen.h"
#include "roi_file.h"

#include <algorithm> // std::sort, std::unique, std::max
#include <cerrno>    // errno, EINTR
#include <fcntl.h>   // open
#include <ostream>
#include <sys/stat.h> // stat
#include <unistd.h>   // read, close
#include <vector>

namespace lineage_file
{

namespace
{

const char *const kind_text[] = {
    "naming ROIs not in the database",
    "with a member already in a unit",
    "linking time points not one apart",
    "malformed",
};
enum kind { unknown_key, member_twice, link_gap, malformed, kinds };

bool is_key(const std::string &word)
{
    return is_position_key(word);
}

int time_of(const std::string &key)
{
    return decode(key).t();
}

// The file's bytes; false when it cannot be opened or read as a file.
bool slurp(const std::string &path, std::string &text)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct stat st;
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        ::close(fd);
        return false;
    }
    text.clear();
    char buf[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return false;
        }
        if (n == 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    return true;
}

void split_words(const std::string &text, size_t begin, size_t end, std::vector<std::string> &out)
{
    out.clear();
    size_t i = begin;
    while (i < end) {
        while (i < end && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r'))
            ++i;
        size_t start = i;
        while (i < end && text[i] != ' ' && text[i] != '\t' && text[i] != '\r')
            ++i;
        if (i > start)
            out.emplace_back(text, start, i - start);
    }
}

// Passes on how far the work got, about a thousand times over the whole and
// once at its end, so that a large file is not slowed by the asking.
class reporter
{
public:
    reporter(const progress &keep_going, size_t total)
        : _keep_going(keep_going), _total(total), _stride(std::max<size_t>(1, (total + 999) / 1000))
    {
    }
    // False when the work is to stop.
    bool at(size_t done)
    {
        if (!_keep_going || (done < _next && done < _total) || (_told && done == _last))
            return true;
        _next = done + _stride;
        _last = done;
        _told = true;
        return _keep_going(done, _total);
    }

private:
    const progress &_keep_going;
    size_t _total, _stride, _next = 0, _last = 0;
    bool _told = false;
};

} // namespace

bool write(const std::string &path, const std::string &dataset,
           const lineage::key_multimap &head_members, const lineage::key_multimap &linkage,
           const lineage::key_set &elite, const lineage::key_set &dismissed, std::ostream &err,
           const progress &keep_going)
{
    // Entries written of all; the file is not committed once told to stop.
    size_t done = 0;
    reporter report(keep_going,
                    head_members.size() + linkage.size() + elite.size() + dismissed.size());
    text_file_writer out;
    if (!out.open(path)) {
        err << "Cannot open " << path << std::endl;
        return false;
    }
    out.write_line("NAME " + dataset);
    std::vector<const std::string *> members;
    std::string line;
    for (auto it = head_members.begin(); it != head_members.end();) {
        const std::string &head = it->first;
        members.clear();
        for (; it != head_members.end() && it->first == head; ++it, ++done)
            members.push_back(&it->second);
        std::sort(members.begin(), members.end(),
                  [](const std::string *a, const std::string *b) { return *a < *b; });
        members.erase(
            std::unique(members.begin(), members.end(),
                        [](const std::string *a, const std::string *b) { return *a == *b; }),
            members.end());
        line = "UNIT " + head;
        for (const std::string *m : members) {
            line += ' ';
            line += *m;
        }
        out.write_line(line);
        if (!report.at(done))
            return false;
    }
    for (const auto &link : linkage) {
        out.write_line("LINK " + link.first + " " + link.second);
        if (!report.at(++done))
            return false;
    }
    for (const std::string &head : elite) {
        out.write_line("ELITE " + head);
        if (!report.at(++done))
            return false;
    }
    for (const std::string &head : dismissed) {
        out.write_line("DISMISS " + head);
        if (!report.at(++done))
            return false;
    }
    if (!report.at(done))
        return false;
    if (!out.commit()) {
        err << "Cannot open " << path << std::endl;
        return false;
    }
    return true;
}

bool write(const std::string &path, const std::string &dataset, const contents &c,
           std::ostream &err, const progress &keep_going)
{
    return write(path, dataset, c.head_members, c.linkage, c.elite, c.dismissed, err, keep_going);
}

read_result read(const std::string &path, const std::string &dataset, const key_test &exists,
                 contents &into, std::ostream &err, const progress &keep_going)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0) {
        err << "No such file or directory: " << path << std::endl;
        return read_result::missing;
    }
    std::string text;
    if (!slurp(path, text)) {
        err << "Cannot open " << path << std::endl;
        return read_result::unreadable;
    }

    contents got;
    size_t left_out[kinds] = {0, 0, 0, 0};
    size_t first_line[kinds] = {0, 0, 0, 0};
    auto leave_out = [&](kind k, size_t line_number) {
        if (left_out[k]++ == 0)
            first_line[k] = line_number;
    };

    bool named = false;
    std::vector<std::string> w;
    size_t line_number = 0;
    reporter report(keep_going, text.size());
    for (size_t pos = 0; pos < text.size();) {
        if (!report.at(pos))
            return read_result::stopped;
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        ++line_number;
        split_words(text, pos, end, w);
        pos = end + 1;
        if (w.empty())
            continue;

        if (!named) {
            if (w[0] != "NAME" || w.size() != 2) {
                err << "Not a lineage file: " << path << std::endl;
                return read_result::not_lineage;
            }
            if (w[1] != dataset) {
                err << "different dataset" << std::endl;
                return read_result::other_dataset;
            }
            named = true;
            continue;
        }

        const std::string &tag = w[0];
        bool keys_only = true;
        for (size_t i = 1; i < w.size(); ++i)
            keys_only = keys_only && is_key(w[i]);
        bool known = true;
        for (size_t i = 1; i < w.size() && known; ++i)
            known = exists(w[i]);

        if (tag == "UNIT") {
            if (w.size() < 3 || !keys_only) {
                leave_out(malformed, line_number);
                continue;
            }
            const std::string &head = w[1];
            std::vector<std::string> members(w.begin() + 2, w.end());
            std::sort(members.begin(), members.end());
            bool well_formed =
                std::adjacent_find(members.begin(), members.end()) == members.end() &&
                std::binary_search(members.begin(), members.end(), head);
            for (const std::string &m : members)
                well_formed = well_formed && time_of(m) == time_of(head);
            if (!well_formed) {
                leave_out(malformed, line_number);
                continue;
            }
            if (!known) {
                leave_out(unknown_key, line_number);
                continue;
            }
            bool taken = false;
            for (const std::string &m : members)
                taken = taken || got.members_head.count(m) != 0;
            if (taken) {
                leave_out(member_twice, line_number);
                continue;
            }
            auto hint = got.head_members.end();
            for (std::string &m : members) {
                got.members_head.emplace(m, head);
                hint = got.head_members.emplace_hint(hint, head, std::move(m));
                ++hint;
            }
        } else if (tag == "LINK") {
            if (w.size() != 3 || !keys_only) {
                leave_out(malformed, line_number);
            } else if (!known) {
                leave_out(unknown_key, line_number);
            } else if (time_of(w[1]) != time_of(w[2]) + 1) {
                leave_out(link_gap, line_number);
            } else {
                got.linkage.emplace_hint(got.linkage.end(), w[1], w[2]);
            }
        } else if (tag == "ELITE" || tag == "DISMISS") {
            if (w.size() != 2 || !keys_only)
                leave_out(malformed, line_number);
            else if (!known)
                leave_out(unknown_key, line_number);
            else
                (tag == "ELITE" ? got.elite : got.dismissed).insert(w[1]);
        } else {
            leave_out(malformed, line_number);
        }
    }
    if (!named) {
        err << "Not a lineage file: " << path << std::endl;
        return read_result::not_lineage;
    }
    if (!report.at(text.size()))
        return read_result::stopped;

    size_t total = 0;
    for (size_t n : left_out)
        total += n;
    if (total > 0) {
        err << "Lineage file " << path << ": left out " << total
            << (total == 1 ? " line" : " lines");
        const char *sep = ": ";
        for (int k = 0; k < kinds; ++k) {
            if (left_out[k] == 0)
                continue;
            err << sep << left_out[k] << " " << kind_text[k] << " (first at line " << first_line[k]
                << ")";
            sep = ", ";
        }
        err << std::endl;
    }
    into = std::move(got);
    return read_result::read;
}

} // namespace lineage_file
