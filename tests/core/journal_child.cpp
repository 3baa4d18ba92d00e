// The process the crash-journal test kills: reads a ROI file, starts its
// record of unsaved work, then makes random edits one by one, writing each to
// the journal and then "done N" to standard output.
#include "journal_edits.h"
#include "recovery.h"

#include <cstdlib>
#include <iostream>

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::cerr << "usage: journal_child ROI_FILE SEED EDITS" << std::endl;
        return 2;
    }
    roidb_plus db("");
    if (!db.load(argv[1]))
        return 1;
    lineage::key_set fp, elite, dismissed;
    lineage::key_multimap head_members, linkage;
    lineage::key_map members_head;
    lineage::tables units{head_members, members_head, linkage, elite};
    curation::state s{db, nullptr, fp, units, dismissed};
    recovery record(argv[1]);
    if (!record.rebase(db.name(), fp, head_members, linkage, elite, dismissed, std::cerr))
        return 1;
    std::mt19937 rng(static_cast<unsigned>(std::atoi(argv[2])));
    const int edits = std::atoi(argv[3]);
    for (int i = 0; i < edits; ++i) {
        change_log log;
        journal_edit(rng, s, log);
        if (!record.append(log.changes(), std::cerr))
            return 1;
        std::cout << "done " << i << std::endl;
    }
    return 0;
}
