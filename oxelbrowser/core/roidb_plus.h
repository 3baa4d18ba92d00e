// The browser's ROI database: the keyed database plus an index from image
// plane (t, z) to the positions of that plane's ROIs.
#pragma once

#include "OXEL_roidb"
#include "node_pool.h"

#include <cstddef>    // size_t
#include <functional> // std::function
#include <map>
#include <string>
#include <vector>

class roidb_plus : public roidb
{
public:
    // A ROI listed by a plane: its position and the stored ROI itself.
    struct placed {
        pos2i at;
        const roi *stored;
    };
    // Plane index: a plane (t, z) as one number, to its ROIs.
    using index_type = std::multimap<long long, placed, std::less<long long>,
                                     oxel::node_pool_allocator<std::pair<const long long, placed>>>;
    using iterator = index_type::iterator;

    roidb_plus(std::string name);
    // A copy walks its own index: its cursor stands where the source's stood.
    roidb_plus(const roidb_plus &other);
    roidb_plus &operator=(const roidb_plus &other);

    // Indexes r under its plane, then enters it (a position already held is
    // neither replaced nor indexed twice; a ROI that would not read back as
    // written is refused, as by entry). A ROI at a negative position cannot
    // be shown: it is held and written back, but no plane lists it.
    void entry_plus(roi r);
    void read_plus(std::string filename);
    // write, telling whether the file was written whole.
    bool save(const std::string &filename) { return write_file(filename); }
    // Called now and then during a long read with the bytes read so far and
    // the file's size; false stops the read.
    using progress = std::function<bool(size_t done, size_t total)>;
    // Reads a ROI file as read_plus does; false, with nothing read, when the
    // file cannot be opened or names no dataset, and false when keep_going
    // stopped it (what was read by then stays).
    bool load(const std::string &filename, const progress &keep_going = progress());
    // Replaces every ROI with t_from <= t <= t_end by those of the file. A
    // file that cannot be read changes nothing ("roidb: Cannot open NAME").
    void replace_plus(std::string filename, int t_from, int t_end);
    enum class replace_result { replaced, unreadable, different_dataset, stopped };
    // replace_plus for a file that must name the given dataset: the file is
    // read whole before anything changes, and the name stays. Stopped by
    // keep_going, it changes nothing.
    replace_result replace_checked(const std::string &filename, int t_from, int t_end,
                                   const std::string &dataset,
                                   const progress &keep_going = progress());

    // Plane walk: seek(t, z, 0), then find_plus(t, z, r) until false. A
    // non-zero pos leaves the cursor where it is.
    void seek(int t, int z, int pos);
    void seek_iter(int t, int z, int pos, iterator &iter);
    bool find_plus(int t, int z, roi &r);
    bool find_plus_iter(int t, int z, roi &r, iterator &iter);
    // The plane walk without copies: the next stored ROI of plane (t, z), or
    // null at the plane's end. Valid until the ROI is removed.
    const roi *next_stored(int t, int z, iterator &iter) const;

    // By browser key: the stored ROI (empty outline when absent), removal.
    roi find_plus(std::string key);
    // The stored ROI itself, without a copy; null when absent. Valid until
    // the ROI is removed.
    const roi *stored(const std::string &key) const;
    // The same for many browser keys at once: out[i] for keys[i]. One walk
    // of the database in its own order instead of a search per key, for
    // callers that look up a time point's worth of ROIs.
    void stored(const std::vector<const std::string *> &keys, std::vector<const roi *> &out) const;
    void remove(std::string key);
    void remove(roi r);

    // Smallest and largest time point of the ROIs that planes list; 0 when none.
    int t_min();
    int t_max();
    // The ROIs with t_from <= t <= t_end, in database-key order.
    std::vector<roi> rois_in(int t_from, int t_end) const;
    // Highest focal plane of any ROI; 0 when the database is empty.
    int z_max() const;

    // Number of ROIs held.
    size_t count() const { return db.size(); }
    // Number of ROIs held at a negative position (in no plane).
    size_t unshown() const { return _unshown; }
    // Every ROI in database key order (t, x, y, z), for walks that need no
    // look-up per ROI.
    const map_type &rois() const { return db; }

private:
    // The ROIs of the file with t_from <= t <= t_end, and its name; false
    // when the file cannot be opened or names nothing.
    static bool read_range(const std::string &filename, int t_from, int t_end, std::string &name,
                           std::vector<roi> &rois, const progress &keep_going, bool &stopped);
    void index_and_enter(roi r);
    // The entry of this index that matches the other index's entry at it.
    iterator same_place(const roidb_plus &other, index_type::const_iterator it);
    // Points every entry of the index at this database's own ROI.
    void point_at_own();
    static long long plane_key(int t, int z);
    bool next_in_plane(int t, int z, roi &r, iterator &iter);

    index_type tz_xy_db;
    iterator tz_iter;
    size_t _unshown = 0;
};
