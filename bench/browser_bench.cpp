// The browser on large data: opening a ROI file of 1,000,000 ROIs, rendering
// a plane of 300 ROIs first and from the cache, stepping through 50 planes.
//
//   browser_bench            runs everything (offscreen)
#include "OXELBrowser.h"
#include "bench_data.h"
#include "huge_pages.h"
#include "roidb_plus.h"

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <fstream>
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
    std::system((std::string("'") + argv[0] + "' write '" + big + "'").c_str());

    QApplication app(argc, argv);
    qputenv("OXELBROWSER_IMAGE_ROOT", QByteArray::fromStdString(base + "/image"));
    OXELBrowser w;
    w.show();

    long rss0, peak0, rss1, peak1;
    memory(rss0, peak0);
    double t0 = now_ms();
    w.readRoiFile(QString::fromStdString(big));
    double open_ms = now_ms() - t0;
    memory(rss1, peak1);
    std::printf("open 1,000,000 ROIs: %.0f ms = %.0f ROIs/s; memory grew %.0f bytes/ROI (peak %.0f)\n",
                open_ms, million / open_ms * 1000.0, double(rss1 - rss0) / million,
                double(peak1 - rss0) / million);

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
    return 0;
}
