// Reader of the per-plane ROI outline files.
#include "roiio.h"

#include <cstdlib> // std::atoi

// The time point and plane sit in two three-character fields at fixed
// distances from the end of the name: "...TTT-ZZZ.ext".
static const std::string::size_type name_tail = 11;

iroifstream::iroifstream() : std::ifstream(), filename() {}

iroifstream::~iroifstream()
{
    if (is_open())
        close();
}

void iroifstream::open(std::string name)
{
    filename = name;
    if (name.size() < name_tail) {
        setstate(std::ios::failbit);
        return;
    }
    std::ifstream::open(name);
}

void iroifstream::seek_roi()
{
    std::istream &text = *this;
    std::string word;
    for (int i = 0; i < 3; ++i)
        text >> word;
}

iroifstream &iroifstream::operator>>(roi &r)
{
    std::istream &text = *this;
    std::string word;
    int n = 0;
    double real = 0.0;
    text >> word >> n >> n >> n >> n >> real >> n >> n;
    if (text.fail() || text.bad())
        return *this;

    std::string marker, outline;
    int x = 0, y = 0;
    text >> marker >> x >> y >> outline;
    if (marker != "COutline:" || text.fail())
        return *this;
    // A start beyond any image is no outline: the record is passed over.
    const int limit = 10000000;
    if (x < -limit || x > limit || y < -limit || y > limit)
        return *this;

    int t = 0, z = 0;
    if (!name2tz(filename, t, z)) {
        setstate(std::ios::failbit);
        return *this;
    }
    r = roi(x, y, z, t, outline);
    return *this;
}

namespace
{

// Where the run of digits that ends just before end begins.
std::string::size_type digits_before(const std::string &s, std::string::size_type end)
{
    while (end > 0 && s[end - 1] >= '0' && s[end - 1] <= '9')
        --end;
    return end;
}

} // namespace

bool iroifstream::name2tz(std::string name, int &t, int &z)
{
    const std::string::size_type l = name.size();
    if (l < name_tail)
        return false;
    // Time points and planes of 1000 and more are named with all their
    // digits ("...1000-005.ext"): such a longer field is read whole.
    const std::string::size_type z_end = l - 4, z_start = digits_before(name, z_end);
    if (z_start < z_end && z_start > 0 && name[z_start - 1] == '-') {
        const std::string::size_type t_end = z_start - 1, t_start = digits_before(name, t_end);
        if (t_start < t_end && (z_end - z_start > 3 || t_end - t_start > 3)) {
            t = std::atoi(name.substr(t_start, t_end - t_start).c_str());
            z = std::atoi(name.substr(z_start, z_end - z_start).c_str());
            return true;
        }
    }
    t = std::atoi(name.substr(l - 11, 3).c_str());
    z = std::atoi(name.substr(l - 7, 3).c_str());
    return true;
}
