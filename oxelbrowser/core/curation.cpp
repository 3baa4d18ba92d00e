// Recorded edits of the curated state: ROI edits, undoing and redoing, and
// their text form.
#include "curation.h"

#include "keygen.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"

#include <istream>
#include <ostream>
#include <sstream>

change change::inverse() const
{
    static const kind opposite[] = {roi_remove,    roi_add,     fp_remove,      fp_add,
                                    member_remove, member_add,  head_remove,    head_add,
                                    link_remove,   link_add,    elite_remove,   elite_add,
                                    dismiss_remove, dismiss_add};
    return {opposite[what], a, b, text};
}

unsigned part_of(change::kind k)
{
    switch (k) {
    case change::roi_add:
    case change::roi_remove:
        return part_rois;
    case change::fp_add:
    case change::fp_remove:
        return part_fp;
    default:
        return part_lineage;
    }
}

std::vector<change> change_log::take()
{
    _parts = 0;
    return std::move(_changes);
}

size_t bytes_of(const std::vector<change> &changes)
{
    size_t n = changes.capacity() * sizeof(change);
    for (const change &c : changes)
        for (const std::string *s : {&c.a, &c.b, &c.text})
            if (s->capacity() > 15) // beyond the string's own room
                n += s->capacity() + 1;
    return n;
}

unsigned parts_of(const std::vector<change> &changes)
{
    unsigned parts = 0;
    for (const change &c : changes)
        parts |= part_of(c.what);
    return parts;
}

namespace curation {

void enter_roi(roidb_plus &db, change_log *log, const roi &r)
{
    const size_t before = db.count();
    db.entry_plus(r);
    if (log && db.count() != before)
        log->add(change::roi_add, keygen(r), std::string(), r.outline());
}

bool remove_roi(roidb_plus &db, q_roiimgdb *rasters, change_log *log, const std::string &key)
{
    const roi *stored = db.stored(key);
    if (!stored)
        return false;
    if (log)
        log->add(change::roi_remove, key, std::string(), stored->outline());
    db.remove(key);
    // A later ROI at the same position is rasterised afresh.
    if (rasters)
        rasters->remove(decode(key));
    return true;
}

void set_mark(lineage::key_set &marks, change_log *log, const std::string &key, bool on,
              change::kind add, change::kind remove)
{
    if (on ? marks.insert(key).second : marks.erase(key) != 0)
        if (log)
            log->add(on ? add : remove, key);
}

namespace {

void apply_one(state &s, const change &c)
{
    lineage::tables &u = s.units;
    switch (c.what) {
    case change::roi_add:
        s.db.entry_plus(roi(decode(c.a), c.text));
        break;
    case change::roi_remove:
        s.db.remove(c.a);
        if (s.rasters)
            s.rasters->remove(decode(c.a));
        break;
    case change::fp_add:
        s.fp.insert(c.a);
        break;
    case change::fp_remove:
        s.fp.erase(c.a);
        break;
    case change::member_add:
        u.head_members.emplace(c.a, c.b);
        break;
    case change::member_remove: {
        auto range = u.head_members.equal_range(c.a);
        for (auto it = range.first; it != range.second; ++it)
            if (it->second == c.b) {
                u.head_members.erase(it);
                break;
            }
        break;
    }
    case change::head_add:
        u.members_head.emplace(c.a, c.b);
        break;
    case change::head_remove:
        u.members_head.erase(c.a);
        break;
    case change::link_add:
        u.linkage.emplace(c.a, c.b);
        break;
    case change::link_remove: {
        auto range = u.linkage.equal_range(c.a);
        for (auto it = range.first; it != range.second; ++it)
            if (it->second == c.b) {
                u.linkage.erase(it);
                break;
            }
        break;
    }
    case change::elite_add:
        u.elite.insert(c.a);
        break;
    case change::elite_remove:
        u.elite.erase(c.a);
        break;
    case change::dismiss_add:
        s.dismissed.insert(c.a);
        break;
    case change::dismiss_remove:
        s.dismissed.erase(c.a);
        break;
    }
}

const char *const kind_words[] = {"roi+",  "roi-",  "fp+",    "fp-",    "member+",
                                  "member-", "head+", "head-",  "link+",  "link-",
                                  "elite+", "elite-", "dismiss+", "dismiss-"};

} // namespace

void apply(state &s, const std::vector<change> &changes, bool forward)
{
    if (forward) {
        for (const change &c : changes)
            apply_one(s, c);
    } else {
        for (auto it = changes.rbegin(); it != changes.rend(); ++it)
            apply_one(s, it->inverse());
    }
}

// "kind a b text", with "-" for an empty field (keys and outlines hold no
// white space).
void write(std::ostream &out, const std::vector<change> &changes)
{
    for (const change &c : changes)
        out << kind_words[c.what] << ' ' << (c.a.empty() ? "-" : c.a) << ' '
            << (c.b.empty() ? "-" : c.b) << ' ' << (c.text.empty() ? "-" : c.text) << '\n';
}

bool read(std::istream &in, std::vector<change> &changes)
{
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty())
            continue;
        std::istringstream fields(line);
        std::string word, a, b, text, extra;
        if (!(fields >> word >> a >> b >> text) || (fields >> extra))
            return false;
        int kind = -1;
        for (int k = 0; k <= change::dismiss_remove; ++k)
            if (word == kind_words[k])
                kind = k;
        if (kind < 0)
            return false;
        auto field = [](const std::string &f) { return f == "-" ? std::string() : f; };
        changes.push_back({static_cast<change::kind>(kind), field(a), field(b), field(text)});
    }
    return true;
}

} // namespace curation
