// Random edits of a curated state, the same sequence for the same seed: what
// the crash-journal tests make, kill and replay.
#pragma once

#include "curation.h"
#include "keygen.h"
#include "roidb_plus.h"

#include <random>
#include <string>
#include <vector>

// A dataset of n ROIs over four time points, as ROI file text.
inline std::string journal_dataset(int n)
{
    std::string text = "jrn\n";
    for (int i = 0; i < n; ++i) {
        const int x = 10 + (i % 40) * 12, y = 10 + (i / 40 % 40) * 12;
        text += std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(i / 1600) + " " +
                std::to_string(i % 4) + " 22222222333333330000000011111111\n";
    }
    return text;
}

// One random edit: a mark, a ROI removed, a member, a link or an elite mark.
inline void journal_edit(std::mt19937 &rng, curation::state &s, change_log &log)
{
    const std::vector<roi> rois = s.db.rois_in(0, 3);
    if (rois.empty())
        return;
    auto any = [&] { return keygen(rois[rng() % rois.size()]); };
    s.units.log = &log;
    switch (rng() % 6) {
    case 0:
        curation::set_mark(s.fp, &log, any(), rng() % 2 == 0, change::fp_add, change::fp_remove);
        break;
    case 1:
        curation::remove_roi(s.db, nullptr, &log, any());
        break;
    case 2:
    case 3:
        lineage::add_member(s.units, any(), any());
        break;
    case 4:
        lineage::add_link(s.units, any(), any());
        break;
    case 5:
        lineage::set_elite(s.units, any(), rng() % 2 == 0);
        break;
    }
    s.units.log = nullptr;
}
