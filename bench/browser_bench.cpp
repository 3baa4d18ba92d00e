// The browser on large data: opening a ROI file of 1,000,000 ROIs, rendering
// a plane of 300 ROIs first and from the cache, stepping through 50 planes.
//
//   browser_bench            runs everything (offscreen)
#include "OXELBrowser.h"
#include "bench_data.h"
#include "huge_pages.h"
#include "review.h"
#include "roidb_plus.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

namespace {

double now_ms()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Resident and peak resident memory of this process, in bytes.
void memory(long &rss, long &peak)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    rss = peak = 0;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            rss = std::stol(line.substr(6)) * 1024;
        if (line.rfind("VmHWM:", 0) == 0)
            peak = std::stol(line.substr(6)) * 1024;
    }
}

void write_roi_file(const std::string &path, const std::string &name, const std::vector<roi> &rois)
{
    roidb db(name);
    for (const roi &r : rois)
        db.entry(r);
    db.write(path);
}

} // namespace

int main(int argc, char **argv)
{
    // The browser runs with its heap on huge pages; so do its figures.
    restart_with_huge_pages(argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString();
    const size_t million = 1000000;

    // The big file is written by a child run, so this process's peak memory
    // measures the opening alone.
    if (argc == 3 && std::string(argv[1]) == "write") {
        write_roi_file(argv[2], "big", benchdata::dataset(million));
        return 0;
    }
    const std::string big = base + "/big.roi";
    if (argc == 1)
        std::system((std::string("'") + argv[0] + "' write '" + big + "'").c_str());

    QApplication app(argc, argv);
    qputenv("OXELBROWSER_IMAGE_ROOT", QByteArray::fromStdString(base + "/image"));
    OXELBrowser w;
    w.show();

    // "browser_bench lineage" runs the lineage drawing alone (for profiling).
    const bool lineage_only = argc == 2 && std::string(argv[1]) == "lineage";
    long rss0, peak0, rss1, peak1;
    double t0 = 0;
    if (!lineage_only) {
        memory(rss0, peak0);
        t0 = now_ms();
        w.readRoiFile(QString::fromStdString(big));
        double open_ms = now_ms() - t0;
        memory(rss1, peak1);
        std::printf(
            "open 1,000,000 ROIs: %.0f ms = %.0f ROIs/s; memory grew %.0f bytes/ROI (peak %.0f)\n",
            open_ms, million / open_ms * 1000.0, double(rss1 - rss0) / million,
            double(peak1 - rss0) / million);
    }

    // One plane of 300 nuclei on a 600 x 600 image, and 50 planes to step through.
    std::vector<std::string> shapes = benchdata::disc_outlines();
    std::vector<roi> plane;
    for (int z = 0; z < 50; ++z)
        for (int k = 0; k < 300; ++k)
            plane.push_back(roi(15 + (k % 20) * 29, 15 + (k / 20) * 38, z, 0,
                                shapes[static_cast<size_t>(k) % shapes.size()]));
    write_roi_file(base + "/dense.roi", "dense", plane);
    QDir().mkpath(QString::fromStdString(base + "/image/dense"));
    QImage img(600, 600, QImage::Format_Grayscale8);
    img.fill(40);
    for (int z = 0; z < 50; ++z) {
        char name[32];
        std::snprintf(name, sizeof name, "/000-%03d.jpg", z);
        img.save(QString::fromStdString(base + "/image/dense" + name), "JPEG", 90);
    }
    w.readRoiFile(QString::fromStdString(base + "/dense.roi"));
    w.setCurrentFocalPlane(10);
    w.setCurrentFocalPlane(0); // image loaded, rasters of plane 0 made

    // A first render rasterises the plane; later ones draw stored outlines.
    w.readRoiFile(QString::fromStdString(base + "/dense.roi"));
    w.setCurrentFocalPlane(1);
    w.dirty = true;
    t0 = now_ms();
    w.setCurrentFocalPlane(0);
    double first_ms = now_ms() - t0;
    const int repeats = 50;
    t0 = now_ms();
    for (int i = 0; i < repeats; ++i) {
        // As every command does after a change.
        w.dirty = true;
        w.repaint();
    }
    double cached_ms = (now_ms() - t0) / repeats;
    std::printf("plane of 300 ROIs: first render %.1f ms (image cached, rasters new), cached %.2f ms\n",
                first_ms, cached_ms);

    w.readRoiFile(QString::fromStdString(base + "/dense.roi"));
    t0 = now_ms();
    for (int z = 0; z < 50; ++z)
        w.setCurrentFocalPlane(z);
    double step_new = now_ms() - t0;
    t0 = now_ms();
    for (int z = 49; z >= 0; --z)
        w.setCurrentFocalPlane(z);
    double step_cached = now_ms() - t0;
    std::printf("50 planes of 300 ROIs: %.1f ms per plane the first time (JPEG and rasters), "
                "%.1f ms per plane again\n",
                step_new / 50, step_cached / 50);

    // The lineage drawn over a plane of 300 ROIs: two time points of the same
    // nuclei a pixel apart on 10 planes, grouped and linked, viewed with C on.
    std::vector<roi> two;
    for (int t = 0; t < 2; ++t)
        for (int z = 0; z < 10; ++z)
            for (int k = 0; k < 300; ++k)
                two.push_back(roi(15 + (k % 20) * 29 + t, 15 + (k / 20) * 38, z, t,
                                  shapes[static_cast<size_t>(k) % shapes.size()]));
    write_roi_file(base + "/linked.roi", "linked", two);
    QDir().mkpath(QString::fromStdString(base + "/image/linked"));
    for (int t = 0; t < 2; ++t)
        for (int z = 0; z < 10; ++z) {
            char name[32];
            std::snprintf(name, sizeof name, "/%03d-%03d.jpg", t, z);
            img.save(QString::fromStdString(base + "/image/linked" + name), "JPEG", 90);
        }
    w.readRoiFile(QString::fromStdString(base + "/linked.roi"));
    std::streambuf *out = std::cout.rdbuf(nullptr);
    w.makeUnits();
    std::cout.rdbuf(out);
    w.setCurrentTimePoint(1);
    w.setCurrentFocalPlane(5);
    auto render = [&w] {
        const double start = now_ms();
        for (int i = 0; i < repeats; ++i) {
            w.dirty = true;
            w.repaint();
        }
        return (now_ms() - start) / repeats;
    };
    const double without = render();
    w.m_show_centroid = true;
    const double with_lineage = render();
    {
        const lineage::tables u{w.m_head_members, w.m_members_head, w.m_linkage_multimap,
                                w.m_elite_head_roi_set};
        const double start = now_ms();
        size_t n = 0;
        for (int i = 0; i < repeats; ++i) {
            review::unit_views fresh;
            n += review::lineage_overlay(*w.m_roidb, *w.m_q_roiimgdb, u, 1, 5, 0, fresh)
                     .elements.size();
        }
        std::printf("overlay plan alone, centres computed afresh: %.2f ms (%zu elements)\n", (now_ms() - start) / repeats, n / repeats);
    }
    std::printf("plane of 300 ROIs with %zu links: render %.2f ms, %.2f ms with the lineage drawn\n",
                w.m_linkage_multimap.size(), without, with_lineage);
    return 0;
}
