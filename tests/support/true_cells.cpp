// Scoring units and links against a generated dataset's true cells.
#include "true_cells.h"

#include "keygen.h"
#include "q_roiimg.h"
#include "roidb_plus.h"

#include <cmath> // std::floor
#include <fstream>
#include <ostream>
#include <sstream>

namespace testsupport
{

bool true_cells::read(const std::string &path, std::ostream &err)
{
    std::ifstream in(path);
    if (!in) {
        err << "cannot read " << path << std::endl;
        return false;
    }
    _cells.clear();
    _by_time.clear();
    _packed = false;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.empty())
            continue;
        if (line[0] == '#') {
            const std::string tag = "# packed cells: a plane is ";
            if (line.rfind(tag, 0) == 0) {
                _packed = true;
                _depth = std::stod(line.substr(tag.size()));
            }
            continue;
        }
        std::istringstream words(line);
        true_cell c;
        if (!(words >> c.t >> c.id >> c.parent >> c.x >> c.y >> c.z >> c.r)) {
            err << path << ":" << number << ": malformed line" << std::endl;
            return false;
        }
        _cells.push_back(c);
    }
    const int side = 16;
    for (const true_cell &c : _cells) {
        const double r = reach(c);
        for (int by = static_cast<int>(std::floor((c.y - r) / side));
             by <= static_cast<int>(std::floor((c.y + r) / side)); ++by)
            for (int bx = static_cast<int>(std::floor((c.x - r) / side));
                 bx <= static_cast<int>(std::floor((c.x + r) / side)); ++bx)
                _by_time[c.t][{bx, by}].push_back(&c);
    }
    return true;
}

double true_cells::reach(const true_cell &c) const
{
    return _packed ? c.r : c.r + 1.5;
}

int true_cells::cell_at(int t, int x, int y, int z) const
{
    auto at = _by_time.find(t);
    if (at == _by_time.end())
        return 0;
    const int side = 16;
    auto bucket = at->second.find({static_cast<int>(std::floor(x / double(side))),
                                   static_cast<int>(std::floor(y / double(side)))});
    if (bucket == at->second.end())
        return 0;
    int best_id = 0;
    double best = 0;
    for (const true_cell *c : bucket->second) {
        const double dx = x - c->x, dy = y - c->y, dz = z - c->z;
        if (_packed) {
            const double d2 = dx * dx + dy * dy + dz * dz * _depth * _depth;
            if (d2 >= c->r * c->r)
                continue;
            const double power = d2 - c->r * c->r;
            if (best_id == 0 || power < best) {
                best = power;
                best_id = c->id;
            }
        } else {
            const double r = reach(*c);
            if (dx * dx + dy * dy > r * r || dz * dz > 16.0)
                continue;
            const double d = (dx * dx + dy * dy) / (r * r) + dz * dz / 16.0;
            if (best_id == 0 || d < best) {
                best = d;
                best_id = c->id;
            }
        }
    }
    return best_id;
}

namespace
{

// The cell that holds most of the ROI's pixels, and the ROI's pixel count.
roi_cell cell_of(roi r, const true_cells &truth)
{
    q_roiimg raster(r);
    raster.map();
    std::map<int, long> count;
    for (int y = 0; y < raster.height(); ++y)
        for (int x = 0; x < raster.width(); ++x)
            if (raster.value(x, y))
                ++count[truth.cell_at(r.t(), raster.top_left().x() + x, raster.top_left().y() + y,
                                      r.z())];
    roi_cell s;
    s.pixels = raster.size();
    long most = 0;
    for (const auto &[cell, n] : count)
        if (cell != 0 && n > most) {
            most = n;
            s.cell = cell;
        }
    return s;
}

} // namespace

roi_cells assign(roidb_plus &db, const true_cells &truth)
{
    roi_cells out;
    if (db.count() == 0)
        return out;
    for (int t = db.t_min(); t <= db.t_max(); ++t)
        for (int z = 0; z <= db.z_max(); ++z) {
            roidb_plus::iterator it;
            db.seek_iter(t, z, 0, it);
            roi r;
            while (db.find_plus_iter(t, z, r, it))
                out[keygen(r)] = cell_of(r, truth);
        }
    return out;
}

curation_score score(const roi_cells &cells,
                     const std::multimap<std::string, std::string> &head_members,
                     const std::multimap<std::string, std::string> &linkage,
                     const true_cells &truth)
{
    curation_score s;
    // The pixels of each cell's time point in ROIs, and the true links
    // between cells found in ROIs.
    std::map<std::pair<int, int>, long> cell_pixels;
    for (const auto &[key, share] : cells) {
        ++s.rois;
        if (share.cell) {
            ++s.rois_in_cells;
            cell_pixels[{decode(key).t(), share.cell}] += share.pixels;
        }
    }
    std::set<std::pair<int, std::pair<int, int>>> truth_links; // t of child, (parent, child)
    std::map<int, int> mother;
    for (const true_cell &c : truth.cells())
        mother[c.id] = c.parent;
    for (const auto &entry : cell_pixels) {
        const int t = entry.first.first, cell = entry.first.second;
        if (cell_pixels.count({t - 1, cell}))
            truth_links.insert({t, {cell, cell}});
        else if (mother[cell] && cell_pixels.count({t - 1, mother[cell]}))
            truth_links.insert({t, {mother[cell], cell}});
    }
    s.true_links = truth_links.size();

    // Each unit's cell, purity and completeness.
    std::map<std::string, int> unit_cell;
    std::map<std::pair<int, int>, std::map<std::string, long>> in_units; // (t, cell) → unit → px
    long pure = 0, judged = 0;
    for (auto it = head_members.begin(); it != head_members.end();) {
        const std::string head = it->first;
        std::map<int, long> count;
        for (; it != head_members.end() && it->first == head; ++it) {
            auto found = cells.find(it->second);
            const roi_cell share = found == cells.end() ? roi_cell() : found->second;
            if (share.cell)
                count[share.cell] += share.pixels;
        }
        ++s.units;
        if (head_members.count(head) <= 2)
            ++s.small_units;
        long most = 0, all = 0;
        int cell = 0;
        for (const auto &[c, n] : count) {
            all += n;
            if (n > most) {
                most = n;
                cell = c;
            }
            in_units[{decode(head).t(), c}][head] += n;
        }
        pure += most;
        judged += all;
        unit_cell[head] = cell;
    }
    s.purity = judged ? double(pure) / judged : 1.0;
    long complete = 0, total = 0;
    for (const auto &[cell, pixels] : cell_pixels) {
        total += pixels;
        long most = 0;
        for (const auto &entry : in_units[cell])
            most = std::max(most, entry.second);
        complete += most;
    }
    s.completeness = total ? double(complete) / total : 1.0;

    // Links.
    std::set<std::pair<int, std::pair<int, int>>> found;
    for (const auto &[child, parent] : linkage) {
        ++s.links;
        const int cc = unit_cell[child], pc = unit_cell[parent];
        if (!cc || !pc)
            continue;
        ++s.links_judged;
        const std::pair<int, std::pair<int, int>> link{decode(child).t(), {pc, cc}};
        if (truth_links.count(link)) {
            ++s.links_right;
            found.insert(link);
        }
    }
    s.true_links_found = found.size();
    return s;
}

} // namespace testsupport
