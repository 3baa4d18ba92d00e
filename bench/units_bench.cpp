// The unit rules' cost: the window's Make units (offscreen) with each rule
// and with all of them, and oxelunits as a whole process, on the generated
// large set (500,000 ROIs) or a given ROI file. Wall and processor time
// both: on a shared host the wall time says more about the neighbours.
//
//   units_bench [ROI_FILE]   a given ROI file (the large set is written
//                            there first when it does not exist)
#include "OXELBrowser.h"
#include "bench_data.h"
#include "huge_pages.h"
#include "roidb_plus.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QUndoStack>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/resource.h> // getrusage
#include <time.h>         // clock_gettime
#include <vector>

namespace
{

double now_ms()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Processor time of this process, or of its finished children, in ms.
double cpu_ms()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double children_cpu_ms()
{
    rusage ru{};
    getrusage(RUSAGE_CHILDREN, &ru);
    return (ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e3 +
           (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e3;
}

struct rules {
    const char *name;
    unit_options options;
    const char *flags;
};

std::vector<rules> all_rules()
{
    unit_options ratio, caps, stacked, best;
    ratio.link_ratio = unit_options::recommended().link_ratio;
    caps.attach_caps = true;
    caps.cap_cover = unit_options::recommended().cap_cover;
    stacked = caps;
    stacked.stack_caps = true;
    stacked.stack_cover = unit_options::recommended().stack_cover;
    best.best_parent = true;
    return {{"defaults", unit_options(), ""},
            {"link ratio", ratio, ""},
            {"cap attachment", caps, ""},
            {"caps attached, stacked", stacked, ""},
            {"best parent only", best, ""},
            {"recommended", unit_options::recommended(), " --recommended"},
            // Once more at the end: later runs in one window drift, and this
            // shows by how much.
            {"defaults again", unit_options(), ""}};
}

} // namespace

int main(int argc, char **argv)
{
    restart_with_huge_pages(argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    std::string file = argc == 2 ? argv[1] : dir.path().toStdString() + "/large.roi";
    if (argc != 2 || !QFile::exists(QString::fromStdString(file)))
        benchdata::write_large_set(file);
    qputenv("OXELBROWSER_IMAGE_ROOT", QByteArray::fromStdString(dir.path().toStdString()));
    QApplication app(argc, argv);
    OXELBrowser w;
    w.show();
    std::cerr.setstate(std::ios::failbit); // no images: their messages are not the figures
    w.readRoiFile(QString::fromStdString(file));
    std::cerr.clear();
    std::printf("%s: %zu ROIs\n", file.c_str(), w.m_roidb ? w.m_roidb->count() : size_t(0));

    std::ostringstream quiet;
    for (const rules &r : all_rules()) {
        w.m_unit_options = r.options;
        std::streambuf *old = std::cout.rdbuf(quiet.rdbuf());
        const double t0 = now_ms(), c0 = cpu_ms();
        w.makeUnits();
        const double ms = now_ms() - t0, cpu = cpu_ms() - c0;
        std::cout.rdbuf(old);
        std::printf("  Make units, %-24s %7.0f ms (processor %7.0f ms), %zu member entries, "
                    "%zu links\n",
                    r.name, ms, cpu, w.m_head_members.size(), w.m_linkage_multimap.size());
        std::fflush(stdout);
        w.undoStack()->undo();
    }
    for (const rules &r : all_rules()) {
        if ((r.options != unit_options() && r.options != unit_options::recommended()) ||
            std::string(r.name) == "defaults again")
            continue;
        const std::string command = std::string(OXELUNITS) + " " + file + " " +
                                    dir.path().toStdString() + "/out.lineage" + r.flags +
                                    " > /dev/null";
        const double t0 = now_ms(), c0 = children_cpu_ms();
        const int status = std::system(command.c_str());
        std::printf("  oxelunits%-16s %7.0f ms (processor %7.0f ms), status %d\n", r.flags,
                    now_ms() - t0, children_cpu_ms() - c0, status);
        std::fflush(stdout);
    }
    return 0;
}
