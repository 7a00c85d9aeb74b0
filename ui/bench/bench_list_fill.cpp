// The frame list over the 1,000,000-frame benchmark capture, offscreen: the bare
// summary pass for reference, the list fill (synchronous, and as the window does
// it from the event loop), the time to the first rows, and scrolling, selecting
// and drawing the dump on the full list. Run with QT_QPA_PLATFORM=offscreen.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <random>

#include "bench/bench_common.h"
#include "condition/search.h"
#include "store/capture_file.h"
#include "ui/app.h"
#include "ui/child_frame.h"
#include "ui/document.h"
#include "ui/dump_view.h"
#include "ui/list_view.h"
#include "ui/main_frame.h"
#include "ui/tree_view.h"

using namespace zelpan;

namespace {

struct Shell {
    CZelpanApp app;
    CMainFrame main;
    Shell() {
        app.hooks().information = [](QWidget*, const QString& text) {
            std::fprintf(stderr, "%s\n", text.toUtf8().constData());
        };
        main.resize(1280, 900);
        main.show();
    }
};
// Made on first use and left to the end of the process (the windows need the
// application object for as long as they exist).
Shell& shell() {
    static Shell* s = [] {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "zelpan_ui_bench";
        static char* argv[] = {name, nullptr};
        new QApplication(argc, argv);
        return new Shell;
    }();
    return *s;
}

void run_events_until(const std::function<bool()>& done) {
    while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// The window holding the capture with its list filled, made once.
CChildFrame* filled_window() {
    static CChildFrame* w = [] {
        CChildFrame* c = shell().main.openDocument(QString::fromStdString(zbench::bench_capture()));
        if (c) c->listView()->finishFill();
        return c;
    }();
    return w;
}

void memory_counters(benchmark::State& state, CChildFrame* w) {
    state.counters["rows"] = w->row_count();
    state.counters["list_MB"] = double(w->listView()->frameModel()->memoryBytes()) / 1e6;
    state.counters["store_MB"] = double(w->store().capacity()) / 1e6;
    state.counters["index_MB"] = double(w->store().index_memory()) / 1e6;
}

}  // namespace

// Loading the file into a store, for reference: the part of opening before any row.
static void BM_LoadAlone(benchmark::State& state) {
    for (auto _ : state) {
        FrameStore store;
        int32_t link = 1;
        std::string msg = LoadCaptureFile(zbench::bench_capture(), store, link);
        if (!msg.empty()) state.SkipWithError(msg.c_str());
        state.counters["frames"] = store.frame_count();
    }
}
BENCHMARK(BM_LoadAlone)->Unit(benchmark::kMillisecond)->Iterations(1);

static void BM_SummaryPassAlone(benchmark::State& state) {
    FrameStore store;
    int32_t link = 1;
    std::string msg = LoadCaptureFile(zbench::bench_capture(), store, link);
    if (!msg.empty()) state.SkipWithError(msg.c_str());
    DecodeContext c;
    c.mode = MODE_DISPLAY;
    c.link_type = link;
    make_current(&c);
    for (auto _ : state) {
        const uint8_t* r = store.first();
        for (uint32_t i = 0; r && i < store.frame_count(); r = store.next(r, ++i)) {
            clear_columns(c, long(i));
            decode_frame(0, r, link, int32_t(i + 1));
            benchmark::DoNotOptimize(c.columns[5][0]);
        }
    }
    state.counters["frames"] = store.frame_count();
}
BENCHMARK(BM_SummaryPassAlone)->Unit(benchmark::kMillisecond)->Iterations(1);

// Open as the user does: load, then the first slice of rows; the rest from the event loop.
static void BM_OpenFirstRowsThenAll(benchmark::State& state) {
    Shell& s = shell();
    for (auto _ : state) {
        QElapsedTimer t;
        t.start();
        CChildFrame* w = s.main.openDocument(QString::fromStdString(zbench::bench_capture()));
        if (!w) {
            state.SkipWithError("open failed");
            break;
        }
        double first = double(t.nsecsElapsed()) / 1e6;
        int first_rows = w->row_count();
        run_events_until([w] { return !w->listView()->filling(); });
        double all = double(t.nsecsElapsed()) / 1e6;
        state.counters["first_rows_ms"] = first;
        state.counters["first_rows"] = first_rows;
        state.counters["all_rows_ms"] = all;
        memory_counters(state, w);
        state.PauseTiming();
        w->subWindow()->close();
        run_events_until([&s] { return s.main.childWindows().isEmpty(); });
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenFirstRowsThenAll)->Unit(benchmark::kMillisecond)->Iterations(1);

// The fill alone on a loaded store, synchronously (no event loop between slices).
static void BM_ListFillSynchronous(benchmark::State& state) {
    CChildFrame* w = filled_window();
    if (!w) {
        state.SkipWithError("open failed");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        w->listView()->ClearAll();
        state.ResumeTiming();
        w->listView()->FillFromStore(true);
    }
    memory_counters(state, w);
}
BENCHMARK(BM_ListFillSynchronous)->Unit(benchmark::kMillisecond)->Iterations(1);

// Jump the list to random places and paint what shows.
static void BM_ScrollListAndPaint(benchmark::State& state) {
    CChildFrame* w = filled_window();
    if (!w) {
        state.SkipWithError("open failed");
        return;
    }
    CZelListvw* list = w->listView();
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> row(0, w->row_count() - 1);
    for (auto _ : state) {
        list->verticalScrollBar()->setValue(row(rng));
        benchmark::DoNotOptimize(list->viewport()->grab());
    }
}
BENCHMARK(BM_ScrollListAndPaint)->Unit(benchmark::kMicrosecond)->Iterations(200);

// Select a random row: decode it into the tree and show it in the dump.
static void BM_SelectRow(benchmark::State& state) {
    CChildFrame* w = filled_window();
    if (!w) {
        state.SkipWithError("open failed");
        return;
    }
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> row(0, w->row_count() - 1);
    for (auto _ : state) {
        w->listView()->SelectRow(row(rng), -1, -1, -1);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_SelectRow)->Unit(benchmark::kMicrosecond)->Iterations(500);

// Paint the dump of the selected frame with a highlighted line.
static void BM_DumpPaint(benchmark::State& state) {
    CChildFrame* w = filled_window();
    if (!w) {
        state.SkipWithError("open failed");
        return;
    }
    w->listView()->SelectRow(w->row_count() / 2, -1, 30, -1);
    CZelDumpvw* dump = w->dumpView();
    for (auto _ : state) benchmark::DoNotOptimize(dump->viewport()->grab());
    state.counters["frame_bytes"] = dump->length();
}
BENCHMARK(BM_DumpPaint)->Unit(benchmark::kMicrosecond)->Iterations(500);

// Mark every SYN segment in the filled window, as the search dialog's
// "mark all and finish" does: the first search builds the layer indexes, the
// repeated ones read them and mark the list's rows.
static void BM_WindowRepeatedSearch(benchmark::State& state) {
    CChildFrame* w = filled_window();
    if (!w) {
        state.SkipWithError("open failed");
        return;
    }
    SearchDialogState d;
    d.expression1 = "tcp[13] & 0x02 != 0";
    d.mark_all_and_finish = true;
    ConditionExpression c1, c2;
    if (!ValidateSearch(d, c1, c2).empty()) return state.SkipWithError("bad condition");
    SearchSettings s;
    StoreSearchSettings(d, c1, c2, s);
    QElapsedTimer t;
    t.start();
    RunSearch(w, &s, false);
    state.counters["first_search_ms"] = double(t.nsecsElapsed()) / 1e6;
    for (auto _ : state) {
        int r = RunSearch(w, &s, false);
        QCoreApplication::processEvents();
        if (r != SEARCH_MARKED) state.SkipWithError("nothing marked");
    }
}
BENCHMARK(BM_WindowRepeatedSearch)->Unit(benchmark::kMillisecond)->Iterations(5);
