// Reader of the per-plane ROI outline files of a dataset. The file does not
// carry its time point and plane: both come from the file's name.
#pragma once

#include "OXEL_roi"

#include <fstream>
#include <string>

class iroifstream : public std::ifstream {
public:
    iroifstream();
    ~iroifstream() override;

    // Opens name for reading; a name too short to carry t and z, or a file
    // that cannot be opened, leaves the stream failed.
    void open(std::string name);
    // Skips the three header words.
    void seek_roi();
    // Reads one record; r changes only for a complete "COutline:" record
    // whose start lies within 10,000,000 of the origin.
    iroifstream &operator>>(roi &r);

private:
    bool name2tz(std::string name, int &t, int &z);

    std::string filename;
};
