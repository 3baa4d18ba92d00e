// The ROI record and its text form.
#include "roi.h"

#include <istream>
#include <ostream>
#include <utility> // std::move

roi::roi() : pos4i(), _outline() {}
roi::roi(const roi &other) : pos4i(other), _outline(other._outline) {}
roi::roi(pos4i p, std::string outline) : pos4i(p), _outline(std::move(outline)) {}
roi::roi(int x, int y, int z, int t, std::string outline)
    : pos4i(x, y, z, t), _outline(std::move(outline))
{
}

bool roi::operator==(roi other) const
{
    return pos4i::operator==(other) && _outline == other._outline;
}

roi roi::operator=(roi other)
{
    pos4i::operator=(other);
    _outline = std::move(other._outline);
    return *this;
}

std::ostream &operator<<(std::ostream &out, const roi &r)
{
    out << r.x() << ' ' << r.y() << ' ' << r.z() << ' ' << r.t() << ' ' << r.outline_ref();
    return out;
}

std::istream &operator>>(std::istream &in, roi &r)
{
    // Fields read so far are kept in locals; the target changes only as a whole.
    int x = 0, y = 0, z = 0, t = 0;
    std::string outline;
    in >> x >> y >> z >> t >> outline;
    if (!in.fail())
        r = roi(x, y, z, t, outline);
    return in;
}
