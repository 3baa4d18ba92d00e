// The interchange format and the measures on the large generated set:
// export (from memory, as the browser does, and as oxelctc does from the
// files), import, validate, compare.
//
//   interchange_bench             every figure
//   interchange_bench write DIR   only DIR/large.roi and DIR/large.lineage
//   interchange_bench export      only the export from memory (for profiles)
#include "bench_data.h"
#include "ctc_export.h"
#include "ctc_folder.h"
#include "ctc_import.h"
#include "curation_compare.h"
#include "keygen.h"
#include "lineage_file.h"
#include "roidb_plus.h"

#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib> // std::system
#include <ctime>   // std::clock
#include <iostream>
#include <sstream>
#include <string>
#include <sys/resource.h> // getrusage
#include <sys/stat.h>     // stat

namespace
{

double now_ms()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// The tracking benchmark's large set: 100 time points x 50 planes x 100 ROIs
// on a 10 x 10 grid; each column of planes holds objects five planes deep,
// every other one shifted; everything drifts a pixel a time point. Each
// object of a time point is a unit, linked to itself one time point before.
void make_large(roidb_plus &db, lineage_file::contents &lin)
{
    std::vector<std::string> shapes = benchdata::disc_outlines();
    const std::string &disc = shapes[5]; // radius 10
    for (int t = 0; t < 100; ++t)
        for (int group = 0; group < 10; ++group)
            for (int cell = 0; cell < 100; ++cell) {
                const int shift = group % 2 ? 14 : 0;
                const int x = 20 + (cell % 10) * 60 + shift + t % 20;
                const int y = 20 + (cell / 10) * 60;
                const std::string head = keygen(pos4i(x, y, group * 5, t));
                for (int z = group * 5; z < group * 5 + 5; ++z) {
                    db.entry_plus(roi(x, y, z, t, disc));
                    const std::string k = keygen(pos4i(x, y, z, t));
                    lin.head_members.emplace(head, k);
                    lin.members_head.emplace(k, head);
                }
                if (t > 0) {
                    const int px = 20 + (cell % 10) * 60 + shift + (t - 1) % 20;
                    lin.linkage.emplace(head, keygen(pos4i(px, y, group * 5, t - 1)));
                }
            }
}

long long folder_bytes(const std::string &dir, int times)
{
    long long total = 0;
    struct stat st;
    for (int t = 0; t < times; ++t)
        if (::stat((dir + "/" + ctc::mask_name(t)).c_str(), &st) == 0)
            total += st.st_size;
    return total;
}

// CPU time of this process, in milliseconds (the build machine is shared:
// wall time depends on the other work on it).
double cpu_ms()
{
    return 1000.0 * static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

// Wall and CPU time of a child process, as "W ms (CPU C ms)".
std::string run(const std::string &command)
{
    struct rusage before, after;
    getrusage(RUSAGE_CHILDREN, &before);
    const double t0 = now_ms();
    if (std::system((command + " >/dev/null").c_str()) != 0)
        std::cerr << "failed: " << command << std::endl;
    const double wall = now_ms() - t0;
    getrusage(RUSAGE_CHILDREN, &after);
    auto ms = [](const timeval &tv) { return tv.tv_sec * 1000.0 + tv.tv_usec / 1000.0; };
    const double cpu =
        ms(after.ru_utime) + ms(after.ru_stime) - ms(before.ru_utime) - ms(before.ru_stime);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0f ms (CPU %.0f ms)", wall, cpu);
    return buf;
}

} // namespace

int main(int argc, char **argv)
{
    QTemporaryDir dir;
    const bool write_only = argc == 3 && std::string(argv[1]) == "write";
    const bool export_only = argc == 2 && std::string(argv[1]) == "export";
    const std::string d = write_only ? argv[2] : dir.path().toStdString();
    roidb_plus db("large");
    lineage_file::contents lin;
    make_large(db, lin);
    db.write(d + "/large.roi");
    lineage_file::write(d + "/large.lineage", "large", lin, std::cerr);
    std::printf("generated 100 x 50 x 100: %zu ROIs, %zu units, %zu links\n", db.count(),
                lin.members_head.size() / 5, lin.linkage.size());
    if (write_only)
        return 0;

    std::ostringstream quiet;
    const lineage::key_set none;
    for (auto how : {label_tiff::compression::deflate, label_tiff::compression::packbits,
                     label_tiff::compression::lzw}) {
        if (export_only && how != label_tiff::compression::deflate)
            break;
        ctc::export_options opt;
        opt.how = how;
        const char *name = how == label_tiff::compression::deflate    ? "deflate"
                           : how == label_tiff::compression::packbits ? "packbits"
                                                                      : "lzw";
        const double t0 = now_ms(), c0 = cpu_ms();
        ctc::export_summary s;
        if (!ctc::export_folder(db, lin.members_head, lin.linkage, none, "large",
                                d + "/res_" + name, opt, quiet, std::cerr, &s))
            return 1;
        std::printf("  export from memory (%s): %.0f ms (CPU %.0f ms), %zu tracks, %d x %d x %d, "
                    "%.1f MB of label images\n",
                    name, now_ms() - t0, cpu_ms() - c0, s.tracks, s.width, s.height, s.planes,
                    folder_bytes(d + "/res_" + name, s.time_points) / 1e6);
    }

    if (export_only)
        return 0;
    const std::string tools = OXEL_TOOLS;
    std::string figure =
        run(tools + "/oxelctc export " + d + "/large.roi " + d + "/large.lineage " + d + "/res");
    std::printf("  oxelctc export (reads both files): %s\n", figure.c_str());
    figure = run(tools + "/oxelctc validate " + d + "/res");
    std::printf("  oxelctc validate: %s\n", figure.c_str());
    figure = run(tools + "/oxelctc import " + d + "/res large " + d + "/back.roi " + d +
                 "/back.lineage");
    std::printf("  oxelctc import (writes both files): %s\n", figure.c_str());
    figure = run(tools + "/oxelcompare " + d + "/large.roi " + d + "/back.roi");
    std::printf("  oxelcompare, both sides ROI and lineage files: %s\n", figure.c_str());

    const double t0 = now_ms(), c0 = cpu_ms();
    auto r = curation_compare::compare({db, lin.members_head, lin.linkage},
                                       {db, lin.members_head, lin.linkage});
    std::printf("  compare in memory: %.0f ms (CPU %.0f ms), DET %.4f, TRA %.4f\n", now_ms() - t0,
                cpu_ms() - c0, r.graph.det, r.graph.tra);
    return 0;
}
