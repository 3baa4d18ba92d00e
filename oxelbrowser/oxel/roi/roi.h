// The ROI record: where an outline starts (x, y, plane z, time point t) and the
// outline itself as a chain of direction digits.
#pragma once

#include "OXEL_pos"

#include <iosfwd>
#include <string>

class OXEL_EXPORT roi : public pos4i {
public:
    roi();
    roi(const roi &other);
    roi(pos4i p, std::string outline);
    roi(int x, int y, int z, int t, std::string outline);

    std::string outline() const { return _outline; }
    // Reads the outline without copying it (for hot loops).
    const std::string &outline_ref() const { return _outline; }

    bool operator==(roi other) const;
    roi operator=(roi other);

protected:
    std::string _outline;
};

// Text form: "x y z t outline", single blanks, no line end.
OXEL_EXPORT std::ostream &operator<<(std::ostream &out, const roi &r);
OXEL_EXPORT std::istream &operator>>(std::istream &in, roi &r);
