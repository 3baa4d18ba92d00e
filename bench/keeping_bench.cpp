// Keeping the work on a large generated set (500,000 ROIs grouped into
// 100,000 units of five planes, each linked to the time point before): the
// crash journal's cost per edit, undo and redo of Make units, the undo
// history's memory for ordinary edits, and the lineage file's save and read.
#include "bench_data.h"
#include "curation.h"
#include "keygen.h"
#include "lineage_file.h"
#include "recovery.h"
#include "roidb_plus.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>
#include <unistd.h>

namespace {

double ms_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main()
{
    char folder[] = "/tmp/keeping-bench-XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    const std::string work = folder;
    setenv("XDG_STATE_HOME", (work + "/state").c_str(), 1);

    roidb_plus db("bench");
    const std::vector<roi> rois = benchdata::dataset(500000);
    for (const roi &r : rois)
        db.entry_plus(r);
    const std::string roi_file = work + "/bench.roi";
    db.save(roi_file);

    lineage::key_set fp, elite, dismissed;
    lineage::key_multimap head_members, linkage;
    lineage::key_map members_head;
    lineage::tables units{head_members, members_head, linkage, elite};
    curation::state s{db, nullptr, fp, units, dismissed};

    // Make units: the ROIs of one grid cell on five planes in a row form a
    // unit headed by the first; each unit links to its cell's unit of the
    // time point before.
    change_log make;
    units.log = &make;
    const size_t per_plane = (rois.size() + 150 * 50 - 1) / (150 * 50);
    std::map<std::tuple<int, size_t, int>, std::string> head_at; // t, cell, first plane
    for (size_t i = 0; i < rois.size(); ++i) {
        const pos4i p = decode(keygen(rois[i]));
        const auto column = std::make_tuple(p.t(), i % per_plane, p.z() / 5);
        const std::string key = keygen(rois[i]);
        const auto it = head_at.emplace(column, key).first;
        lineage::add_member(units, it->second, key);
    }
    size_t links = 0;
    for (const auto &[column, head] : head_at) {
        auto before = head_at.find(
            std::make_tuple(std::get<0>(column) - 1, std::get<1>(column), std::get<2>(column)));
        if (before != head_at.end()) {
            lineage::add_link(units, head, before->second);
            ++links;
        }
    }
    units.log = nullptr;
    std::vector<change> make_units = make.take();
    std::printf("dataset: %zu ROIs, %zu units, %zu links, Make units = %zu changes\n",
                rois.size(), head_at.size(), links, make_units.size());

    recovery record(roi_file);
    std::ostringstream err;
    auto start = std::chrono::steady_clock::now();
    if (!record.rebase("bench", fp, lineage::key_multimap(), lineage::key_multimap(), elite,
                       dismissed, err)) {
        std::fprintf(stderr, "%s", err.str().c_str());
        return 1;
    }
    std::printf("record started on reading (base copy, empty journal): %.1f ms\n", ms_since(start));

    start = std::chrono::steady_clock::now();
    record.append(make_units, err);
    std::printf("journal, Make units: %.0f ms\n", ms_since(start));

    // A link at a time, 200 times.
    std::vector<std::string> heads;
    for (const auto &entry : head_at)
        heads.push_back(entry.second);
    start = std::chrono::steady_clock::now();
    for (int i = 0; i < 200; ++i) {
        change_log one;
        units.log = &one;
        lineage::add_link(units, heads[static_cast<size_t>(i) * 7 + 1], heads[static_cast<size_t>(i) * 7]);
        units.log = nullptr;
        record.append(one.changes(), err);
    }
    std::printf("journal, one link: %.2f ms per edit (200 edits)\n", ms_since(start) / 200);

    start = std::chrono::steady_clock::now();
    curation::apply(s, make_units, false);
    std::printf("undo of Make units: %.0f ms (%zu units left)\n", ms_since(start),
                head_members.size());
    start = std::chrono::steady_clock::now();
    curation::apply(s, make_units, true);
    std::printf("redo of Make units: %.0f ms\n", ms_since(start));
    std::printf("undo history of Make units: %.1f MiB\n", bytes_of(make_units) / 1048576.0);

    // 50 ordinary edits: marks, links, elite marks, a ROI removed.
    const size_t heap_before = benchdata::heap_in_use();
    std::vector<std::vector<change>> history;
    size_t counted = 0;
    for (int i = 0; i < 50; ++i) {
        change_log one;
        units.log = &one;
        const std::string &a = heads[static_cast<size_t>(i) * 13 + 5];
        switch (i % 4) {
        case 0:
            curation::set_mark(fp, &one, a, true, change::fp_add, change::fp_remove);
            break;
        case 1:
            lineage::add_link(units, a, heads[static_cast<size_t>(i) * 13]);
            break;
        case 2:
            lineage::set_elite(units, a, true);
            break;
        case 3:
            curation::remove_roi(db, nullptr, &one, keygen(rois[static_cast<size_t>(i) * 997]));
            break;
        }
        units.log = nullptr;
        counted += bytes_of(one.changes());
        history.push_back(one.take());
    }
    std::printf("undo history of 50 ordinary edits: %.1f KiB counted, %.1f KiB of heap\n",
                counted / 1024.0, (benchdata::heap_in_use() - heap_before) / 1024.0);

    const std::string lineage_path = work + "/bench.lineage";
    start = std::chrono::steady_clock::now();
    lineage_file::write(lineage_path, "bench", head_members, linkage, elite, dismissed, err);
    std::printf("lineage save: %.0f ms\n", ms_since(start));
    lineage_file::contents read;
    start = std::chrono::steady_clock::now();
    lineage_file::read(
        lineage_path, "bench", [&db](const std::string &key) { return db.stored(key) != nullptr; },
        read, err);
    std::printf("lineage read: %.0f ms (%zu entries)\n", ms_since(start), read.head_members.size());

    start = std::chrono::steady_clock::now();
    recovery::restored got;
    recovery::restore(roi_file, got, err);
    std::printf("recovery of the record (base read, %zu edits replayed): %.0f ms\n", got.edits,
                ms_since(start));
    delete got.db;

    record.discard();
    std::system(("rm -rf " + work).c_str());
    return 0;
}
