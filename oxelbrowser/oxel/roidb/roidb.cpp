// The keyed ROI database and its file.
#include "roidb.h"

#include "roi_file.h"

#include <cstring> // std::strlen
#include <iostream>
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
    oxel_append_field(key, pos.t(), 3);
    oxel_append_field(key, pos.x(), 3);
    oxel_append_field(key, pos.y(), 3);
    oxel_append_field(key, pos.z(), 3);
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
    read_with(filename, [this](roi &&r) { db.emplace(keygen(r), std::move(r)); });
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
