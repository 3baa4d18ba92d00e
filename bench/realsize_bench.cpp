// Real-size data: z tracking, Make units and linking on a 4096 x 4096
// dataset of 5,000 ROIs per plane and 30 planes; resident memory after Make
// units on 1,000,000 ROIs; a plane step of a zoomed 2048 x 2048 view.
//
//   realsize_bench           runs everything (offscreen); times are processor time
//   realsize_bench core      the speed figures alone (for a profiler)
//   realsize_bench memory    the memory figure alone (run as a child)
//   realsize_bench zoomed    the zoomed plane step alone
//   realsize_bench linking   linking alone, ten times over (for a profiler)
#include "OXELBrowser.h"
#include "bench_data.h"
#include "keygen.h"
#include "lineage.h"
#include "q_roiimgdb.h"
#include "roidb_plus.h"
#include "tracking.h"
#include "unit_maker.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <ctime> // clock_gettime
#include <fstream>
#include <iostream>
#include <malloc.h>
#include <map>
#include <set>
#include <string>

namespace
{

// Processor time of this process: on a machine shared with other work, wall
// time would count the others' turns too.
double now_ms()
{
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

long rss_bytes()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6)) * 1024;
    return 0;
}

const int planes = 30;
const int per_plane = 5000;
const int side = 4096;

// Nuclei in columns on a 71 x 71 grid 57 pixels apart: each column holds
// nuclei five planes deep with a gap plane between them, each nucleus a
// disc a few pixels off its column's centre, moved a pixel per time point.
void fill(roidb_plus &db, int time_points)
{
    const std::vector<std::string> shapes = benchdata::disc_outlines();
    const int spacing = side / 72;
    for (int t = 0; t < time_points; ++t)
        for (int cell = 0; cell < per_plane; ++cell) {
            const int cx = 40 + (cell % 71) * spacing, cy = 40 + (cell / 71) * spacing;
            for (int z = 0; z < planes; ++z) {
                const unsigned nucleus = static_cast<unsigned>(cell * 7 + z / 6);
                const int jx = static_cast<int>(nucleus * 2654435761u % 9) - 4;
                const int jy = static_cast<int>(nucleus * 40503u % 9) - 4;
                const int depth = z % 6; // 0..4 the nucleus, 5 its neighbour below
                const int radius = 12 - (depth == 2 ? 0 : depth == 5 ? 5 : 2);
                db.entry_plus(
                    roi(cx + jx + t, cy + jy, z, t, shapes[static_cast<size_t>(radius - 5)]));
            }
        }
}

struct units {
    std::multimap<std::string, std::string> head_members, linkage;
    std::map<std::string, std::string> members_head;
    std::set<std::string> elite;
    lineage::tables tables{head_members, members_head, linkage, elite};
};

int memory_run()
{
    const long before = rss_bytes();
    roidb_plus db("memory");
    const int time_points = 7; // 7 x 30 x 5,000 = 1,050,000 ROIs
    fill(db, time_points);
    std::printf("after the data: resident %.0f MB\n", rss_bytes() / 1e6);
    q_roiimgdb rasters;
    const std::set<std::string> removed;
    units u;
    unit_maker maker(db, rasters, removed, 0, planes - 1);
    int made = 0;
    for (int t = 0; t < time_points; ++t) {
        made += maker.make_units(t, u.tables, [] { return true; });
        if (t > 0)
            maker.link_time_point(t, u.tables);
    }
    const long after = rss_bytes();
    {
        struct mallinfo2 mi = mallinfo2();
        std::printf("heap in use %.0f MB, free in heap %.0f MB, mmapped by the heap %.0f MB; "
                    "rasters %zu alive, %.0f MB, in %.0f MB of their own blocks\n",
                    mi.uordblks / 1e6, mi.fordblks / 1e6, mi.hblkhd / 1e6, rasters.live(),
                    rasters.bytes() / 1e6, rasters.reserved() / 1e6);
    }
    std::printf("Make units and linking on %zu ROIs: resident memory %.0f MB (%.0f MB before "
                "the data), %d units, %zu links\n",
                db.count(), after / 1e6, before / 1e6, made, u.linkage.size());
    return 0;
}

void core_figures()
{
    roidb_plus db("dense");
    double t0 = now_ms();
    fill(db, 2);
    std::printf("dataset: %zu ROIs (%d per plane, %d planes, 2 time points, %d x %d) made in "
                "%.0f ms\n",
                db.count(), per_plane, planes, side, side, now_ms() - t0);
    const std::set<std::string> removed;
    {
        // z tracking from a whole plane: every ROI of plane 15 selected.
        q_roiimgdb rasters;
        tracker track(db, rasters, removed, 0, planes - 1);
        key_set selected;
        roidb_plus::iterator iter;
        db.seek_iter(0, 15, 0, iter);
        roi r;
        while (db.find_plus_iter(0, 15, r, iter))
            selected.insert(keygen(r));
        t0 = now_ms();
        track.z_track(0, selected);
        std::printf("z tracking of time point 0 from the %d ROIs of plane 15: %.0f ms (%zu "
                    "ROIs selected after)\n",
                    per_plane, now_ms() - t0, selected.size());
    }
    {
        // z tracking with every ROI of the time point selected.
        q_roiimgdb rasters;
        tracker track(db, rasters, removed, 0, planes - 1);
        key_set selected;
        for (int z = 0; z < planes; ++z) {
            roidb_plus::iterator iter;
            db.seek_iter(0, z, 0, iter);
            roi r;
            while (db.find_plus_iter(0, z, r, iter))
                selected.insert(keygen(r));
        }
        t0 = now_ms();
        track.z_track(0, selected);
        std::printf("z tracking of time point 0 with all its %zu ROIs selected: %.0f ms\n",
                    selected.size(), now_ms() - t0);
    }
    q_roiimgdb rasters;
    units u;
    unit_maker maker(db, rasters, removed, 0, planes - 1);
    t0 = now_ms();
    const int made0 = maker.make_units(0, u.tables, [] { return true; });
    const double make0 = now_ms() - t0;
    t0 = now_ms();
    const int made1 = maker.make_units(1, u.tables, [] { return true; });
    const double make1 = now_ms() - t0;
    std::printf("Make units, one time point of %d ROIs: %.0f ms (%d units), %.0f ms (%d units)\n",
                per_plane * planes, make0, made0, make1, made1);
    t0 = now_ms();
    const int links = maker.link_time_point(1, u.tables);
    std::printf("linking time points 1 and 0: %.0f ms (%d links; the cache's default budget "
                "keeps %zu of the 300000 rasters, the others are made again)\n",
                now_ms() - t0, links, rasters.live());

    // The same with a cache large enough to keep both time points' rasters.
    q_roiimgdb ample(size_t(1) << 30);
    units again;
    unit_maker warm(db, ample, removed, 0, planes - 1);
    warm.make_units(0, again.tables, [] { return true; });
    warm.make_units(1, again.tables, [] { return true; });
    t0 = now_ms();
    const int links_again = warm.link_time_point(1, again.tables);
    std::printf("linking time points 1 and 0 with their rasters kept: %.0f ms (%d links)\n",
                now_ms() - t0, links_again);
}

// Linking of two time points with their rasters kept, ten times over, so that
// a profile of the run is mostly linking.
void linking_alone()
{
    roidb_plus db("dense");
    fill(db, 2);
    const std::set<std::string> removed;
    q_roiimgdb ample(size_t(1) << 30);
    units u;
    unit_maker maker(db, ample, removed, 0, planes - 1);
    maker.make_units(0, u.tables, [] { return true; });
    maker.make_units(1, u.tables, [] { return true; });
    double total = 0;
    int links = 0;
    for (int round = 0; round < 10; ++round) {
        u.linkage.clear();
        const double t0 = now_ms();
        links = maker.link_time_point(1, u.tables);
        total += now_ms() - t0;
    }
    std::printf("linking time points 1 and 0 with their rasters kept: %.0f ms on average over "
                "10 rounds (%d links)\n",
                total / 10, links);
}

// A plane step while the view is zoomed in: 2048 x 2048 images, 2,000 ROIs
// per plane, 10 planes.
void zoomed_step(const std::string &base)
{
    const std::vector<std::string> shapes = benchdata::disc_outlines();
    roidb file("zoomed");
    for (int z = 0; z < 10; ++z)
        for (int k = 0; k < 2000; ++k)
            file.entry(roi(20 + (k % 45) * 45, 20 + (k / 45) * 45, z, 0,
                           shapes[static_cast<size_t>(k) % shapes.size()]));
    file.write(base + "/zoomed.roi");
    QDir().mkpath(QString::fromStdString(base + "/image/zoomed"));
    QImage img(2048, 2048, QImage::Format_Grayscale8);
    img.fill(40);
    for (int z = 0; z < 10; ++z) {
        char name[32];
        std::snprintf(name, sizeof name, "/000-%03d.jpg", z);
        img.save(QString::fromStdString(base + "/image/zoomed" + name), "JPEG", 90);
    }
    OXELBrowser w;
    w.show();
    w.readRoiFile(QString::fromStdString(base + "/zoomed.roi"));
    w.setCurrentFocalPlane(0);
    w.zoomCanvas(6, QPoint(300, 300)); // from the whole image to 2:1
    w.scrollCanvas(QPoint(400, 400));
    double t0 = now_ms();
    for (int z = 1; z < 10; ++z)
        w.setCurrentFocalPlane(z);
    const double first = (now_ms() - t0) / 9;
    t0 = now_ms();
    for (int z = 8; z >= 0; --z)
        w.setCurrentFocalPlane(z);
    const double again = (now_ms() - t0) / 9;
    std::printf("plane step at zoom %.2f on 2048 x 2048 images, 2,000 ROIs a plane: %.1f ms "
                "the first time (JPEG and rasters), %.1f ms again\n",
                w.canvasView().zoom(), first, again);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::string(argv[1]) == "memory")
        return memory_run();
    if (argc == 2 && std::string(argv[1]) == "core") {
        core_figures();
        return 0;
    }
    if (argc == 2 && std::string(argv[1]) == "linking") {
        linking_alone();
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const bool zoomed_only = argc == 2 && std::string(argv[1]) == "zoomed";
    if (!zoomed_only) {
        core_figures();
        std::fflush(stdout);
        std::system((std::string("'") + argv[0] + "' memory").c_str());
    }
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString();
    QApplication app(argc, argv);
    qputenv("OXELBROWSER_IMAGE_ROOT", QByteArray::fromStdString(base + "/image"));
    zoomed_step(base);
    return 0;
}
