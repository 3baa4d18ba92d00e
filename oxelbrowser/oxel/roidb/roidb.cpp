// The keyed ROI database and its file.
#include "roidb.h"

#include "roi_file.h"

#include <algorithm> // std::min
#include <climits>   // INT_MAX, INT_MIN
#include <cstdlib> // std::atoi
#include <cstring> // std::strlen
#include <iostream>
#include <iterator> // std::prev
#include <utility> // std::move

void oxel_append_field(std::string &out, int value, int width)
{
    char digits[16];
    int n = 0;
    // Work on the magnitude as unsigned so that INT_MIN is printed correctly.
    unsigned int u = value < 0 ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
    do {
        digits[n++] = static_cast<char>('0' + u % 10);
        u /= 10;
    } while (u != 0);
    if (value < 0)
        digits[n++] = '-';
    // The fill goes before the whole number, sign included (width 3: -5 -> 0-5).
    for (int i = n; i < width; ++i)
        out.push_back('0');
    while (n > 0)
        out.push_back(digits[--n]);
}

namespace
{

// Letters of the long and the negative key fields.
const char long_first = 'A';   // four digits
const char negative_last = 'J'; // one digit

unsigned int magnitude(int value)
{
    return value < 0 ? 0u - static_cast<unsigned int>(value) : static_cast<unsigned int>(value);
}

} // namespace

void oxel_append_key_field(std::string &out, int value)
{
    if (value >= 0 && value < 1000) {
        oxel_append_field(out, value, 3);
        return;
    }
    char digits[16];
    int n = 0;
    for (unsigned int u = magnitude(value); u != 0; u /= 10)
        digits[n++] = static_cast<char>('0' + u % 10);
    if (value > 0) {
        out.push_back(static_cast<char>(long_first + (n - 4)));
        while (n > 0)
            out.push_back(digits[--n]);
        return;
    }
    // Larger magnitudes must sort first: fewer letters, complemented digits.
    out.push_back('-');
    out.push_back(static_cast<char>(negative_last - (n - 1)));
    while (n > 0)
        out.push_back(static_cast<char>('9' - (digits[--n] - '0')));
}

int oxel_read_key_field(const std::string &key, std::string::size_type &pos)
{
    const std::string::size_type size = key.size();
    if (pos >= size)
        return 0;
    const char first = key[pos];
    const bool negative = first == '-' && pos + 1 < size && key[pos + 1] >= 'A' &&
                          key[pos + 1] <= negative_last;
    const bool large = first >= long_first && first <= 'G';
    if (!negative && !large) {
        const std::string::size_type start = pos;
        pos = std::min(size, pos + 3);
        return std::atoi(key.substr(start, pos - start).c_str());
    }
    const int count = negative ? negative_last - key[pos + 1] + 1 : first - long_first + 4;
    pos += negative ? 2 : 1;
    long long v = 0;
    for (int i = 0; i < count && pos < size; ++i, ++pos) {
        const int d = key[pos] - '0';
        if (d < 0 || d > 9)
            break;
        v = v * 10 + (negative ? 9 - d : d);
    }
    if (negative)
        v = -v;
    return v > INT_MAX ? INT_MAX : v < INT_MIN ? INT_MIN : static_cast<int>(v);
}

roidb::roidb(std::string name) : _name(std::move(name)), db() {}

void roidb::setName(std::string name)
{
    _name = std::move(name);
}

std::string roidb::name()
{
    return _name;
}

bool roidb::storable(const roi &r)
{
    std::string problem;
    if (oxel_roi_storable(r, problem))
        return true;
    std::cerr << "roidb: ROI " << r.x() << " " << r.y() << " " << r.z() << " " << r.t()
              << " refused: " << problem << std::endl;
    return false;
}

void roidb::entry(roi r)
{
    if (storable(r))
        db.emplace(keygen(r), std::move(r));
}

bool roidb::find(roi &r)
{
    auto it = db.find(keygen(r));
    if (it == db.end())
        return false;
    r = it->second;
    return true;
}

std::string roidb::keygen(pos4i pos)
{
    std::string key;
    key.reserve(12);
    oxel_append_key_field(key, pos.t());
    oxel_append_key_field(key, pos.x());
    oxel_append_key_field(key, pos.y());
    oxel_append_key_field(key, pos.z());
    return key;
}

std::string roidb::digit(int d, int x)
{
    std::string s;
    oxel_append_field(s, x, d);
    return s;
}

void roidb::read(std::string filename)
{
    // The reader hands on only ROIs that can be stored.
    oxel_read_roi_file(filename, _name, [this](roi &&r) {
        std::string key = keygen(r);
        // Files list their ROIs in key order, so most entries go at the end.
        auto hint = db.end();
        if (!db.empty() && !(std::prev(hint)->first < key))
            hint = db.lower_bound(key);
        db.emplace_hint(hint, std::move(key), std::move(r));
    });
}

void roidb::write(std::string filename)
{
    write_file(filename);
}

bool roidb::write_file(const std::string &filename)
{
    // The name is the file's first word: anything else would not read back.
    bool one_word = !_name.empty();
    for (unsigned char c : _name)
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f')
            one_word = false;
    if (!one_word) {
        std::cerr << "roidb: the name \"" << _name << "\" is not one word; " << filename
                  << " is not written" << std::endl;
        return false;
    }
    roi_file_writer out;
    bool done = out.open(filename);
    if (done) {
        out.write_line(_name);
        for (auto &entry : db)
            out.write_roi(entry.second);
        done = out.commit();
    }
    if (!done) {
        std::cerr << "Cannot open " << filename << std::endl;
        if (!out.problem().empty())
            std::cerr << out.problem() << std::endl;
    }
    return done;
}
