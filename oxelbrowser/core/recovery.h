// Unsaved work kept on disk while the browser runs, so that a crash, a kill
// or a power cut loses at most the edit in progress: a copy of the state at
// the last read or save of the ROI file (the base), and a journal to which
// every edit since is appended, flushed to the disk before the edit counts
// as done. The record of a ROI file lives in $XDG_STATE_HOME/oxelbrowser/
// (by default ~/.local/state/oxelbrowser/), in a folder named after the
// file's path.
#pragma once

#include "change_log.h"
#include "lineage.h"

#include <iosfwd>
#include <string>
#include <vector>

class roidb_plus;

class recovery {
public:
    // The record's folder for a ROI file.
    static std::string folder_for(const std::string &roi_path);

    explicit recovery(const std::string &roi_path);
    ~recovery();
    recovery(const recovery &) = delete;
    recovery &operator=(const recovery &) = delete;

    // Starts the record afresh: the base is the ROI file as it is now (read
    // or just saved), with the marks and lineage of this moment; the journal
    // is empty. False (with a line on err) when the record cannot be written.
    bool rebase(const std::string &dataset, const lineage::key_set &fp,
                const lineage::key_multimap &head_members, const lineage::key_multimap &linkage,
                const lineage::key_set &elite, const lineage::key_set &dismissed,
                std::ostream &err);
    // Appends the changes of one edit (as they are to be applied forward) and
    // flushes them to the disk.
    bool append(const std::vector<change> &changes, std::ostream &err);
    // Removes the record (the work is saved, or thrown away).
    void discard();

    // Whether the file's record holds edits made after its base.
    static bool holds_work(const std::string &roi_path);

    struct restored {
        roidb_plus *db = nullptr;         // the base's ROIs with the edits applied
        lineage::key_set fp;
        lineage::key_multimap head_members, linkage;
        lineage::key_map members_head;
        lineage::key_set elite, dismissed;
        size_t edits = 0;                  // complete journal entries applied
    };
    // Rebuilds the state of the record: the base, then every complete entry
    // of the journal (an entry cut short by the crash is left out). The
    // caller owns out.db. False when the record is missing or damaged.
    static bool restore(const std::string &roi_path, restored &out, std::ostream &err);

private:
    bool write_entry(const std::string &entry);

    std::string _folder;
    std::string _roi_path;
    int _journal = -1;
    int _generation = 0;
    // Where the next entry goes, and how far the journal is laid out on the
    // disk already (zeros ahead of the entries, so that a small entry's
    // flush does not have to grow the file).
    long long _end = 0;
    long long _laid_out = 0;
};
