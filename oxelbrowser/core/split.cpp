// Cutting falsely grouped units: geometry, pieces and the repair decision.
#include "split.h"

#include "body.h"
#include "curation.h"
#include "keygen.h"
#include "q_roiimgdb.h"
#include "review.h"
#include "roidb_plus.h"

#include <cmath> // std::isfinite
#include <ostream>
#include <set>
#include <vector>

namespace split
{

namespace
{

// A voxel of the unit: pixel (x, y) on plane z.
struct voxel {
    int x, y, z;
};

std::vector<voxel> unit_voxels(context &c, const std::string &doubt)
{
    std::vector<voxel> out;
    for (const std::string &key : lineage::members(c.units.head_members, doubt)) {
        const roi *stored = c.db.stored(key);
        if (!stored)
            continue;
        roi r = *stored;
        const q_roiimg *raster = c.rasters.qrimg(r);
        const int left = raster->top_left().x(), top = raster->top_left().y();
        for (int j = 0; j < raster->height(); ++j)
            for (int i = 0; i < raster->width(); ++i)
                if (raster->value(i, j) != 0)
                    out.push_back({left + i, top + j, r.z()});
    }
    return out;
}

unsigned int cross_section(const std::vector<voxel> &voxels, pos3d nom, pos3d point, bool &plus,
                           bool &minus)
{
    unsigned int count = 0;
    for (const voxel &v : voxels) {
        const pos3d low(v.x, v.y, v.z * plane_factor), high(v.x, v.y, (v.z + 1) * plane_factor);
        const double cos1 = inner_product(low - point, nom);
        const double cos2 = inner_product(high - point, nom);
        if (cos1 * cos2 < 0)
            ++count;
        if (cos1 >= 0)
            plus = true;
        else
            minus = true;
    }
    return count;
}

// The normal made a unit vector; false when it has no direction.
bool unit_normal(pos3d normal, pos3d &nom)
{
    const double length = normal.size();
    if (!(length > 0) || !std::isfinite(length))
        return false;
    nom = normal / length;
    return review::finite(nom);
}

struct piece {
    roi r;
    std::string from; // the member it was cut from
};

bool cut_members(context &c, const std::string &doubt, pos3d normal, pos3d point,
                 std::vector<piece> &plus, std::vector<piece> &minus)
{
    pos3d nom;
    if (!unit_normal(normal, nom))
        return true;
    for (const std::string &key : lineage::members(c.units.head_members, doubt)) {
        if (c.let_events_run)
            c.let_events_run();
        const roi *stored = c.db.stored(key);
        if (!stored)
            continue;
        roi r = *stored;
        const q_roiimg *raster = c.rasters.qrimg(r);
        const int w = raster->width(), h = raster->height();
        const int left = raster->top_left().x(), top = raster->top_left().y();
        std::vector<unsigned char> block_plus(static_cast<size_t>(w) * h, 0);
        std::vector<unsigned char> block_minus(block_plus.size(), 0);
        bool any_plus = false, any_minus = false;
        for (int j = 0; j < h; ++j)
            for (int i = 0; i < w; ++i) {
                if (raster->value(i, j) == 0)
                    continue;
                const pos3d p(left + i, top + j, r.z() * plane_factor);
                // A distance that is not a number counts as minus.
                if (inner_product(p - point, nom) >= 0) {
                    block_plus[static_cast<size_t>(j) * w + i] = 1;
                    any_plus = true;
                } else {
                    block_minus[static_cast<size_t>(j) * w + i] = 1;
                    any_minus = true;
                }
            }
        const struct {
            std::vector<unsigned char> *block;
            bool any;
            std::vector<piece> *into;
            const char *label;
        } sides[] = {{&block_plus, any_plus, &plus, "roi_plus: "},
                     {&block_minus, any_minus, &minus, "roi_minus: "}};
        for (const auto &side : sides) {
            if (!side.any)
                continue;
            std::list<roi> regions;
            if (!c.trace(side.block->data(), w, h, regions))
                return false;
            for (const roi &region : regions) {
                roi cut(pos4i(region.x() + left, region.y() + top, r.z(), r.t()), region.outline());
                c.out << side.label << cut << std::endl;
                side.into->push_back({cut, key});
            }
        }
    }
    return true;
}

double side_of(pos3d p, pos3d point, pos3d nom)
{
    return inner_product(p - point, nom);
}

void release(context &c, const std::string &parent, const std::string &child)
{
    lineage::release_child(c.units, parent, child, c.out);
}

void link(context &c, const std::string &a, const std::string &b)
{
    if (!a.empty() && !b.empty())
        lineage::link(c.units, a, b, c.out);
}

// Replaces the unit by the pieces and links them. Everything that can fail
// is checked before the first change.
bool rebuild(context &c, const std::string &doubt, const std::string &p1, const std::string &p2,
             pos3d eg1, pos3d eg2, pos3d normal, pos3d point, const std::vector<piece> &plus,
             const std::vector<piece> &minus, std::string &head_plus, std::string &head_minus)
{
    if (plus.empty() && minus.empty()) {
        c.err << "split: the cut gave no pieces of " << doubt << "; nothing changed" << std::endl;
        return false;
    }
    const lineage::key_set members = lineage::members(c.units.head_members, doubt);
    std::set<std::string> piece_keys;
    for (const std::vector<piece> *side : {&plus, &minus})
        for (const piece &p : *side) {
            const std::string key = keygen(p.r);
            if (!piece_keys.insert(key).second || (c.db.stored(key) && !members.count(key))) {
                c.err << "split: the piece " << key << " of " << doubt
                      << " would take the place of another ROI; nothing changed" << std::endl;
                return false;
            }
        }

    // The old unit goes, with its ROIs and rasters.
    lineage::erase_unit(c.units, doubt);
    for (const std::string &m : members)
        curation::remove_roi(c.db, &c.rasters, c.units.log, m);
    release(c, p1, doubt);
    release(c, p2, doubt);
    const lineage::key_set other_parents = lineage::parents(c.units.linkage, doubt);
    for (const std::string &q : other_parents)
        release(c, q, doubt);
    const bool has_children = decode(doubt).t() < c.t_max;
    const lineage::key_set doubt_children =
        has_children ? lineage::children(c.units.linkage, doubt) : lineage::key_set();
    for (const std::string &child : doubt_children)
        release(c, doubt, child);

    // The pieces, as two new units.
    head_plus = plus.empty() ? std::string() : keygen(plus.front().r);
    head_minus = minus.empty() ? std::string() : keygen(minus.front().r);
    for (const auto &[side, head] :
         {std::make_pair(&plus, head_plus), std::make_pair(&minus, head_minus)})
        for (const piece &p : *side) {
            const std::string key = keygen(p.r);
            curation::enter_roi(c.db, c.units.log, p.r);
            lineage::add_member(c.units, head, key);
            if (c.on_piece)
                c.on_piece(key, p.from);
        }

    // Each parent to the piece on its side; on one side, the nearer parent
    // to the piece across the cut.
    pos3d nom;
    unit_normal(normal, nom);
    const double s1 = side_of(eg1, point, nom), s2 = side_of(eg2, point, nom);
    if (s1 * s2 < 0) {
        if (s1 > 0) {
            link(c, p1, head_plus);
            link(c, p2, head_minus);
        } else {
            link(c, p1, head_minus);
            link(c, p2, head_plus);
        }
    } else {
        // Both on one side (the side of p1's centre): the parent nearer to
        // the cut point goes across it; p2 counts as nearer on a tie.
        const bool plus_side = s1 > 0;
        const bool p1_nearer = (eg2 - point).size() > (eg1 - point).size();
        const std::string &common = plus_side ? head_plus : head_minus;
        const std::string &across = plus_side ? head_minus : head_plus;
        link(c, p1, p1_nearer ? across : common);
        link(c, p2, p1_nearer ? common : across);
    }
    for (const std::string &q : other_parents)
        link(c, q, side_of(unit_centre(c, q), point, nom) > 0 ? head_plus : head_minus);

    if (has_children) {
        if (doubt_children.size() == 1) {
            link(c, head_plus, *doubt_children.begin());
            link(c, head_minus, *doubt_children.begin());
        } else {
            for (const std::string &child : doubt_children) {
                if (!head_plus.empty() &&
                    lineage::is_link(c.db, c.rasters, c.units.head_members, head_plus, child))
                    link(c, head_plus, child);
                else if (!head_minus.empty() &&
                         lineage::is_link(c.db, c.rasters, c.units.head_members, head_minus, child))
                    link(c, head_minus, child);
            }
        }
    }
    lineage::set_elite(c.units, doubt, false);
    if (c.on_change)
        c.on_change();
    return true;
}

// The plane split of a doubtful unit between its parents p1 and p2, from
// start with the given search width.
cut_result plane_split(context &c, const std::string &doubt, const std::string &p1,
                       const std::string &p2, pos3d normal, pos3d start, int width)
{
    const pos3d eg1 = unit_centre(c, p1), eg2 = unit_centre(c, p2);
    const search_result found = search_cutting_position(c, doubt, normal, start, width);
    if (!found.found) {
        c.err << "split: " << doubt << " is skipped" << std::endl;
        return {outcome::skipped, {}, {}};
    }
    std::vector<piece> plus, minus;
    if (!cut_members(c, doubt, normal, found.point, plus, minus)) {
        c.err << "split: the outline program failed; " << doubt << " is left as it was"
              << std::endl;
        return {outcome::failed, {}, {}};
    }
    cut_result result{outcome::cut, {}, {}};
    if (!rebuild(c, doubt, p1, p2, eg1, eg2, normal, found.point, plus, minus, result.head_plus,
                 result.head_minus))
        return {outcome::skipped, {}, {}};
    return result;
}

// Drops the last keys of the larger set until both have the same size.
void trim_to(lineage::key_set &a, size_t size)
{
    while (a.size() > size)
        a.erase(std::prev(a.end()));
}

lineage::key_set elite_line(context &c, const std::string &key)
{
    lineage::key_set out;
    if (c.units.elite.count(key))
        out.insert(key);
    for (const std::string &k : lineage::upstream(c.units.linkage, key, c.t_min))
        if (c.units.elite.count(k))
            out.insert(k);
    return out;
}

void write_set(std::ostream &out, const lineage::key_set &s)
{
    bool first = true;
    for (const std::string &e : s) {
        if (!first)
            out << ' ';
        out << e;
        first = false;
    }
}

} // namespace

unsigned int cross_section_size(context &c, const std::string &doubt, pos3d normal, pos3d point,
                                bool &plus, bool &minus)
{
    pos3d nom;
    if (!unit_normal(normal, nom))
        nom = normal; // no direction: every distance is not a number
    return cross_section(unit_voxels(c, doubt), nom, point, plus, minus);
}

search_result search_cutting_position(context &c, const std::string &doubt, pos3d normal,
                                      pos3d start, int width)
{
    // A few restarts towards the centre are enough: each halves the way.
    const int max_restarts = 8;
    pos3d nom;
    const std::vector<voxel> voxels = unit_voxels(c, doubt);
    const pos3d centre = unit_centre(c, doubt);
    if (!unit_normal(normal, nom) || voxels.empty() || !review::finite(centre) ||
        !review::finite(start)) {
        c.err << "split: no plane can cut " << doubt << " (no direction between its parents, "
              << "or no pixels)" << std::endl;
        return {false, start};
    }
    pos3d from = start;
    for (int attempt = 0; attempt <= max_restarts; ++attempt) {
        unsigned int min_size = 0xffff;
        bool ok = false;
        pos3d min_pos = from;
        for (int i = -width; i <= width; ++i) {
            if (c.let_events_run)
                c.let_events_run();
            bool plus = false, minus = false;
            const pos3d p = from + nom * i;
            const unsigned int s = cross_section(voxels, nom, p, plus, minus);
            c.out << "s=" << s << " (" << p << ")" << std::endl;
            if (s < min_size && plus && minus) {
                min_size = s;
                min_pos = p;
                ok = true;
            }
        }
        if (ok)
            return {true, min_pos};
        const pos3d next = (centre + from) / 2;
        if ((next - from).size() < 1e-9)
            break;
        from = next;
    }
    c.err << "split: no plane leaves pixels of " << doubt << " on both sides" << std::endl;
    return {false, start};
}

bool split_rois(context &c, const std::string &doubt, pos3d normal, pos3d point,
                std::list<roi> &plus, std::list<roi> &minus)
{
    std::vector<piece> p, m;
    if (!cut_members(c, doubt, normal, point, p, m))
        return false;
    for (const piece &x : p)
        plus.push_back(x.r);
    for (const piece &x : m)
        minus.push_back(x.r);
    return true;
}

pos3d unit_centre(context &c, const std::string &head)
{
    return review::isotropic(review::centroid(c.db, c.rasters, c.units.head_members, head));
}

outcome decide(context &c, const std::string &doubt)
{
    const lineage::key_set doubt_parents = lineage::parents(c.units.linkage, doubt);
    if (doubt_parents.size() < 2) {
        c.err << "split: " << doubt << " has fewer than two parents; skipped" << std::endl;
        return outcome::skipped;
    }
    auto it = doubt_parents.begin();
    const std::string p1 = *it++;
    const std::string p2 = *it;

    lineage::key_set e1 = elite_line(c, p1), e2 = elite_line(c, p2);
    if (e1.size() > e2.size())
        trim_to(e1, e2.size());
    else
        trim_to(e2, e1.size());
    if (e1 == e2) {
        c.out << "Merge units: " << p1 << " " << p2 << std::endl;
        lineage::merge_units(c.units, p1, p2, c.t_min, c.t_max, c.out);
        if (c.on_change)
            c.on_change();
        return outcome::merged;
    }

    c.out << "Falsely grouped unit: " << doubt << std::endl;
    const lineage::key_set sisters1 = lineage::children(c.units.linkage, p1);
    const lineage::key_set sisters2 = lineage::children(c.units.linkage, p2);
    c.out << "p1(" << p1 << "): sisters: ";
    write_set(c.out, sisters1);
    c.out << std::endl << "p2(" << p2 << "): sisters: ";
    write_set(c.out, sisters2);
    c.out << std::endl;
    const size_t kids = lineage::children(c.units.linkage, doubt).size();
    const size_t parents_now = doubt_parents.size();

    bool plane_pending = false;
    outcome result = outcome::relinked;
    if (kids == 1 && parents_now == 2 && sisters1.size() * sisters2.size() == 2) {
        c.out << "split: case 1" << std::endl;
        const std::string releaser = sisters1.size() == 2 ? p1 : p2;
        const lineage::key_set &sisters = sisters1.size() == 2 ? sisters1 : sisters2;
        std::string other_sister;
        for (const std::string &s : sisters)
            if (s != doubt)
                other_sister = s;
        if (!other_sister.empty() && lineage::parents(c.units.linkage, other_sister).size() == 1 &&
            !lineage::children(c.units.linkage, other_sister).count(doubt))
            release(c, releaser, doubt);
        else
            plane_pending = true;
    } else if (kids == 1 && parents_now == 2 && sisters1.size() == 2 && sisters2.size() == 2 &&
               sisters1 == sisters2) {
        c.out << "split: case 2" << std::endl;
        const std::string cx = *sisters1.begin(), cy = *std::next(sisters1.begin());
        const pos3d egp1 = unit_centre(c, p1), egp2 = unit_centre(c, p2);
        const pos3d egcx = unit_centre(c, cx), egcy = unit_centre(c, cy);
        release(c, p1, cx);
        release(c, p1, cy);
        release(c, p2, cx);
        release(c, p2, cy);
        const double straight = (egp1 - egcx).size() + (egp2 - egcy).size();
        const double crossed = (egp1 - egcy).size() + (egp2 - egcx).size();
        if (crossed > straight) {
            link(c, p1, cx);
            link(c, p2, cy);
        } else {
            link(c, p1, cy);
            link(c, p2, cx);
        }
        if (c.on_change)
            c.on_change();
        return outcome::relinked;
    } else {
        plane_pending = true;
    }

    // An elite unit is never cut: the link from the farther parent goes.
    if (c.units.elite.count(doubt)) {
        const pos3d eg = unit_centre(c, doubt);
        const double d1 = (unit_centre(c, p1) - eg).size(), d2 = (unit_centre(c, p2) - eg).size();
        release(c, d2 <= d1 ? p1 : p2, doubt);
        if (c.on_change)
            c.on_change();
        return outcome::relinked;
    }
    if (!plane_pending) {
        if (c.on_change)
            c.on_change();
        return result;
    }

    c.out << "split: case 3" << std::endl;
    const pos3d eg1 = unit_centre(c, p1), eg2 = unit_centre(c, p2);
    const pos3d normal = (eg1 - eg2) / (eg1 - eg2).size();
    return plane_split(c, doubt, p1, p2, normal, (eg1 + eg2) / 2, 30).what;
}

cut_result manual(context &c, const std::string &doubt, const std::string &p1,
                  const std::string &p2, int x, int y, int z)
{
    const pos3d eg1 = unit_centre(c, p1), eg2 = unit_centre(c, p2);
    const pos3d normal = (eg1 - eg2) / (eg1 - eg2).size();
    const pos3d point(x, y, z * 0.5 / 0.105);
    c.out << " E_normal: (" << normal.x() << "," << normal.y() << "," << normal.z() << ")"
          << std::endl;
    c.out << "      E_m: (" << point.x() << "," << point.y() << "," << point.z() << ")"
          << std::endl;
    return plane_split(c, doubt, p1, p2, normal, point, 20);
}

} // namespace split
