// Tracking and units on large data, in the window (offscreen): forward
// tracking over the whole range with Auto, z tracking of a full time point,
// the unit-making pass and linking every time point. Also reports how much of
// the time went into letting events run.
//
//   tracking_bench [ROI_FILE IMAGE_ROOT]   the generated large dataset, or a given one
#include "OXELBrowser.h"
#include "bench_data.h"
#include "huge_pages.h"
#include "keygen.h"
#include "roidb_plus.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <sstream>

namespace
{

double now_ms()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

struct Figures {
    double ms = 0, events_ms = 0;
};

template <class F> Figures measure(OXELBrowser &w, F f)
{
    const double events_before = w.eventMilliseconds();
    const double t0 = now_ms();
    f();
    return {now_ms() - t0, w.eventMilliseconds() - events_before};
}

void run(OXELBrowser &w, const std::string &label)
{
    const int t_min = w.m_min_time_point, t_max = w.m_max_time_point;
    const int steps = t_max - t_min;
    std::printf("%s: %zu ROIs, time points %d to %d\n", label.c_str(), w.m_roidb->count(), t_min,
                t_max);

    // Forward tracking from every ROI of the first time point, with Auto.
    roi r;
    for (int z = w.m_min_focal_plane; z <= w.m_max_focal_plane; ++z) {
        w.m_roidb->seek(t_min, z, 0);
        while (w.m_roidb->find_plus(t_min, z, r))
            w.m_selected_roi_set.insert(keygen(r));
    }
    const size_t per_time_point = w.m_selected_roi_set.size();
    w.pushButton_auto->setChecked(true);
    std::ostringstream quiet;
    std::streambuf *old = std::cout.rdbuf(quiet.rdbuf());
    Figures f = measure(w, [&] { w.pushButton_forward_tracking_clicked(); });
    std::cout.rdbuf(old);
    std::printf("  forward tracking, Auto, %d steps from %zu ROIs: %.0f ms (%.1f ms a step), "
                "%zu tracked; letting events run %.0f ms\n",
                steps, per_time_point, f.ms, f.ms / steps, w.m_fwd_roi_set.size(), f.events_ms);

    // z tracking of a full time point from one plane's selection.
    w.m_selected_roi_set.clear();
    int mid = w.m_min_focal_plane;
    size_t most = 0;
    for (int z = w.m_min_focal_plane; z <= w.m_max_focal_plane; ++z) {
        size_t n = 0;
        w.m_roidb->seek(t_min, z, 0);
        while (w.m_roidb->find_plus(t_min, z, r))
            ++n;
        if (n > most) {
            most = n;
            mid = z;
        }
    }
    w.setCurrentTimePoint(t_min);
    w.m_roidb->seek(t_min, mid, 0);
    while (w.m_roidb->find_plus(t_min, mid, r))
        w.m_selected_roi_set.insert(keygen(r));
    f = measure(w, [&] { w.do_zTracking(); });
    std::printf(
        "  z tracking of time point %d from the %zu ROIs of plane %d: %.0f ms, %zu selected; "
        "letting events run %.0f ms\n",
        t_min, most, mid, f.ms, w.m_selected_roi_set.size(), f.events_ms);

    old = std::cout.rdbuf(quiet.rdbuf());
    f = measure(w, [&] { w.makeUnits(); });
    std::cout.rdbuf(old);
    size_t unit_count = 0;
    for (int t = t_min; t <= t_max; ++t)
        unit_count += w.units(t).size();
    std::printf("  unit-making pass (with linking): %.0f ms, %zu units, %zu links; "
                "letting events run %.0f ms\n",
                f.ms, unit_count, w.m_linkage_multimap.size(), f.events_ms);

    old = std::cout.rdbuf(quiet.rdbuf());
    f = measure(w, [&] { w.pushButton_dead_end_clicked(); });
    Figures unlinked = measure(w, [&] { w.pushButton_unlinked_unit_clicked(); });
    QKeyEvent next(QEvent::KeyPress, Qt::Key_N, Qt::NoModifier);
    Figures queue = measure(w, [&] { w.keyPressEvent(&next); });
    Figures step = measure(w, [&] { w.keyPressEvent(&next); });
    std::cout.rdbuf(old);
    std::printf("  dead-end list: %.0f ms; unlinked list: %.0f ms; review queue built and first "
                "step: %.0f ms; a further step: %.1f ms\n",
                f.ms, unlinked.ms, queue.ms, step.ms);

    w.m_linkage_multimap.clear();
    f = measure(w, [&] {
        for (int t = t_min + 1; t <= t_max; ++t)
            w.makeLinkage(t);
    });
    std::printf("  makeLinkage over the range: %.0f ms, %zu links\n", f.ms,
                w.m_linkage_multimap.size());
}

} // namespace

int main(int argc, char **argv)
{
    // The browser runs with its heap on huge pages; so do its figures.
    restart_with_huge_pages(argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    std::string file, root;
    if (argc == 3) {
        file = argv[1];
        root = argv[2];
    } else {
        file = dir.path().toStdString() + "/large.roi";
        root = dir.path().toStdString() + "/image";
        benchdata::write_large_set(file);
    }
    qputenv("OXELBROWSER_IMAGE_ROOT", QByteArray::fromStdString(root));
    QApplication app(argc, argv);
    OXELBrowser w;
    w.show();
    // The generated set has no images: their messages are not the figures.
    std::cerr.setstate(std::ios::failbit);
    w.readRoiFile(QString::fromStdString(file));
    run(w, argc == 3 ? file : "generated 100 x 50 x 100");
    std::cerr.clear();
    return 0;
}
