// The browser's ROI database: the keyed database plus an index from image
// plane (t, z) to the positions of that plane's ROIs.
#pragma once

#include "OXEL_roidb"

#include <map>
#include <string>

class roidb_plus : public roidb {
public:
    using index_type = std::multimap<std::string, pos2i, std::less<std::string>,
                                     oxel::node_pool_allocator<std::pair<const std::string, pos2i>>>;
    using iterator = index_type::iterator;

    roidb_plus(std::string name);

    // Indexes r under its plane, then enters it (a position already held is
    // neither replaced nor indexed twice).
    void entry_plus(roi r);
    void read_plus(std::string filename);
    // Replaces every ROI with t_from <= t <= t_end by those of the file.
    void replace_plus(std::string filename, int t_from, int t_end);

    // Plane walk: seek(t, z, 0), then find_plus(t, z, r) until false. A
    // non-zero pos leaves the cursor where it is.
    void seek(int t, int z, int pos);
    void seek_iter(int t, int z, int pos, iterator &iter);
    bool find_plus(int t, int z, roi &r);
    bool find_plus_iter(int t, int z, roi &r, iterator &iter);

    // By browser key: the stored ROI (empty outline when absent), removal.
    roi find_plus(std::string key);
    void remove(std::string key);
    void remove(roi r);

    int t_min();
    int t_max();

    // Number of ROIs held.
    size_t count() const { return db.size(); }
    // Every ROI in database key order (t, x, y, z), for walks that need no
    // look-up per ROI.
    const map_type &rois() const { return db; }

private:
    std::string plane_key(int t, int z);
    bool next_in_plane(int t, int z, roi &r, iterator &iter);

    index_type tz_xy_db;
    iterator tz_iter;
};
