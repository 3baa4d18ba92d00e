// The changes one edit makes to the curated state (what the ROI, false-positive
// and lineage files hold), recorded one by one so that the edit can be undone,
// redone and written to the crash journal.
#pragma once

#include <cstddef> // size_t
#include <string>
#include <vector>

struct change {
    enum kind : unsigned char {
        roi_add,        // a: browser key, text: outline
        roi_remove,     // a: browser key, text: outline
        fp_add,         // a: key
        fp_remove,      // a: key
        member_add,     // a: head, b: member (an entry head -> member)
        member_remove,  // a: head, b: member
        head_add,       // a: member, b: head (an entry member -> head)
        head_remove,    // a: member, b: head
        link_add,       // a: child, b: parent
        link_remove,    // a: child, b: parent
        elite_add,      // a: head
        elite_remove,   // a: head
        dismiss_add,    // a: head
        dismiss_remove, // a: head
    };
    kind what;
    std::string a, b, text;

    // The change that takes this one back.
    change inverse() const;
};

// Which of the three files a change concerns.
enum file_part : unsigned { part_rois = 1, part_fp = 2, part_lineage = 4 };
unsigned part_of(change::kind k);

class change_log {
public:
    void add(change::kind what, const std::string &a, const std::string &b = std::string(),
             const std::string &text = std::string())
    {
        _changes.push_back({what, a, b, text});
        _parts |= part_of(what);
    }
    const std::vector<change> &changes() const { return _changes; }
    std::vector<change> take();
    bool empty() const { return _changes.empty(); }
    unsigned parts() const { return _parts; }

private:
    std::vector<change> _changes;
    unsigned _parts = 0;
};

// Memory the changes take, their strings included.
size_t bytes_of(const std::vector<change> &changes);
unsigned parts_of(const std::vector<change> &changes);
