// The lineage tree on a large generated lineage (100,000 units, 99,000
// links): laying it out, its memory, an edit's update, and repainting the
// visible region of the tree window at every zoom (offscreen).
//
//   tree_bench [PICTURE.png]   also writes the whole tree as PNG, to look at
#include "bench_data.h"
#include "colour_table.h"
#include "huge_pages.h"
#include "keygen.h"
#include "lineage_tree.h"
#include "lineage_tree_view.h"
#include "lineage_tree_window.h"

#include <QApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>  // clock_gettime
#include <memory> // std::make_unique
#include <random>
#include <vector>

namespace
{

double now_ms()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

struct Lineage {
    lineage::key_multimap head_members, linkage;
    lineage::key_set elite, root;
    int t_min = 0, t_max = 99, time_point = 50;
    std::vector<std::vector<std::string>> heads; // by time point
};

// 100 time points of 1000 units of three planes each; from the second time
// point on every unit has one parent: mostly the same cell one time point
// earlier, one in ten another unit of that time point (divisions and dead ends).
void generate(Lineage &g)
{
    std::mt19937 rng(7);
    g.heads.assign(100, {});
    for (int t = 0; t < 100; ++t)
        for (int i = 0; i < 1000; ++i) {
            const int x = (i % 40) * 24, y = (i / 40) * 38, z = static_cast<int>(rng() % 40);
            const std::string h = keygen(pos4i(x, y, z, t));
            for (int k = 0; k < 3; ++k)
                g.head_members.emplace(h, keygen(pos4i(x, y, z + k, t)));
            g.heads[t].push_back(h);
            if (t > 0) {
                const int parent = rng() % 10 == 0 ? static_cast<int>(rng() % 1000) : i;
                g.linkage.emplace(h, g.heads[t - 1][parent]);
            }
        }
}

// Processor time of this thread: on a host shared with other work the wall
// clock also counts the time the thread waited for a processor.
double cpu_ms()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Stats {
    double median, worst, cpu_median, cpu_worst;
};

template <class F> Stats repeat(int n, F f)
{
    std::vector<double> ms, cpu;
    for (int i = 0; i < n; ++i) {
        const double t0 = now_ms(), c0 = cpu_ms();
        f();
        ms.push_back(now_ms() - t0);
        cpu.push_back(cpu_ms() - c0);
    }
    std::sort(ms.begin(), ms.end());
    std::sort(cpu.begin(), cpu.end());
    return {ms[ms.size() / 2], ms.back(), cpu[cpu.size() / 2], cpu.back()};
}

} // namespace

int main(int argc, char **argv)
{
    restart_with_huge_pages(argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    Lineage g;
    generate(g);
    const std::size_t units = g.heads.size() * g.heads[0].size();
    std::printf("lineage: %zu units, %zu links\n", units, g.linkage.size());

    // Laying out afresh, and the memory it keeps.
    const Stats build = repeat(5, [&] {
        lineage::tree_layout l;
        l.build(g.head_members, g.linkage, g.t_min, g.t_max);
    });
    const std::size_t heap0 = benchdata::heap_in_use();
    auto layout = std::make_unique<lineage::tree_layout>();
    layout->build(g.head_members, g.linkage, g.t_min, g.t_max);
    std::vector<unsigned char> states;
    lineage::node_states(*layout, g.heads[0][0], g.elite, states);
    const std::size_t heap1 = benchdata::heap_in_use();
    std::printf("layout afresh: %.0f ms median, %.0f ms worst (processor %.0f, %.0f); %.0f "
                "columns wide\n",
                build.median, build.worst, build.cpu_median, build.cpu_worst, layout->width());
    std::printf("memory: %.0f bytes per unit held (layout %.0f, states 1)\n",
                double(heap1 - heap0) / units, double(layout->memory()) / units);
    layout.reset();

    // The tree window on the lineage.
    QColor colours[128];
    LineageTreeWindow::source s{&g.head_members, &g.linkage, &g.elite,      &g.root,
                                &g.t_min,        &g.t_max,   &g.time_point, colours};
    colour_table::builtin(colours);
    LineageTreeWindow window(s, nullptr);
    window.resize(1200, 900);
    window.show();
    app.processEvents();
    window.refresh();
    app.processEvents();

    // An edit's update: one link released, then made again, at many places,
    // with the main window at the edit's time point. The window reads the time
    // points around it at once and everything once the user pauses; both are
    // measured, and the layout's part of the first alone.
    std::mt19937 rng(3);
    struct edit_at {
        int t;
        std::string child, parent;
    };
    std::vector<edit_at> edits;
    for (int k = 0; k < 20; ++k) {
        const int t = 1 + static_cast<int>(rng() % 99);
        const std::string child = g.heads[t][rng() % 1000];
        edits.push_back({t, child, g.linkage.find(child)->second});
    }
    auto apply = [&](std::size_t k) {
        const edit_at &e = edits[k / 2 % edits.size()];
        g.time_point = e.t;
        if (k % 2 == 0)
            g.linkage.erase(g.linkage.find(e.child));
        else
            g.linkage.emplace(e.child, e.parent);
    };
    std::size_t next = 0;
    bool all_near = true;
    const Stats near = repeat(40, [&] {
        apply(next++);
        window.refreshNear();
        all_near = all_near && window.lastUpdate().near && !window.lastUpdate().rebuilt;
    });
    next = 0;
    const Stats full = repeat(40, [&] {
        apply(next++);
        window.refresh();
    });
    lineage::tree_layout copy = window.layout();
    next = 0;
    const Stats near_layout = repeat(40, [&] {
        apply(next++);
        copy.update_near(g.head_members, g.linkage, g.t_min, g.t_max, g.time_point - 1,
                         g.time_point + 1);
    });
    std::printf("edit update near the time point%s: window %.1f ms median, %.1f ms worst "
                "(processor %.1f, %.1f); layout alone %.1f ms median (processor %.1f)\n",
                all_near ? "" : " (NOT ALWAYS NEAR)", near.median, near.worst, near.cpu_median,
                near.cpu_worst, near_layout.median, near_layout.cpu_median);
    std::printf("memory after the edits: %.0f bytes per unit (layout with its working space, "
                "states)\n",
                double(window.layout().memory() + window.states().capacity()) / units);
    std::printf("full reading after an edit: %.1f ms median, %.1f ms worst (processor %.1f, "
                "%.1f)\n",
                full.median, full.worst, full.cpu_median, full.cpu_worst);

    // Repainting the visible region, from the whole tree to the closest zoom,
    // in both directions and in columns only.
    LineageTreeView *view = window.view();
    g.root = {g.heads[40][17]};
    window.follow();
    view->setHighlight(window.layout().find(g.heads[40][17]));
    double worst = 0, worst_cpu = 0;
    for (int mode = 0; mode < 3; ++mode) {
        view->fit();
        const QPointF centre = QRectF(view->rect()).center();
        for (int step = 0; step <= 18; ++step) {
            // A pixel's pan before each repaint, so that the tree is drawn anew
            // each time as it is while the user drags or zooms.
            double sign = 1;
            const Stats paint = repeat(15, [&] {
                view->pan(QPointF(sign, 0));
                sign = -sign;
                view->repaint();
            });
            worst = std::max(worst, paint.worst);
            worst_cpu = std::max(worst_cpu, paint.cpu_worst);
            std::printf("repaint %s zoom %2d: %.3f x %.1f px per column x time point: %.2f ms "
                        "median, %.2f ms worst (processor %.2f, %.2f)\n",
                        mode == 0   ? "both   "
                        : mode == 1 ? "columns"
                                    : "rows   ",
                        step, view->columnScale(), view->rowScale(), paint.median, paint.worst,
                        paint.cpu_median, paint.cpu_worst);
            view->zoom(2.0, centre, mode != 2, mode != 1);
        }
    }
    std::printf("repaint: worst %.2f ms over every zoom (processor %.2f)\n", worst, worst_cpu);

    if (argc > 1) {
        view->fit();
        if (!view->exportPng(QString::fromLocal8Bit(argv[1])))
            return 1;
    }
    return 0;
}
