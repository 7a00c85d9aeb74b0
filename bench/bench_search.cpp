// The layer-index pass, a first search (index built on the way) and a repeated
// search over the kept index, on the benchmark capture. Each runs a fixed, small
// number of times: one pass over a million frames is long enough to time.
#include <benchmark/benchmark.h>

#include <memory>

#include "bench/bench_common.h"
#include "condition/layer_index.h"
#include "condition/search.h"
#include "store/capture_file.h"

using namespace zelpan;

namespace {

struct Capture {
    FrameStore store;
    DecodeContext context;
    std::string error;
    Capture() { error = LoadCaptureFile(zbench::bench_capture(), store, context.link_type); }
};
Capture& capture() {
    static Capture c;
    return c;
}

// SYN segments, marked all the way through (ﾏｰｸして検索終了).
SearchSettings syn_search() {
    SearchDialogState d;
    d.expression1 = "tcp[13] & 0x02 != 0";
    d.mark_all_and_finish = true;
    SearchSettings s;
    ConditionExpression c1, c2;
    ValidateSearch(d, c1, c2);
    StoreSearchSettings(d, c1, c2, s);
    return s;
}

struct CountingWindow : HeadlessSearchWindow {
    using HeadlessSearchWindow::HeadlessSearchWindow;
    long hits = 0;
    void show_marked(int32_t row, bool marked) override {
        if (marked) ++hits;
    }
};

}  // namespace

static void BM_LayerIndexPass(benchmark::State& state) {
    Capture& c = capture();
    if (!c.error.empty()) return state.SkipWithError(c.error.c_str());
    for (auto _ : state) {
        LayerIndexList list;
        BuildLayerIndexes(c.context, c.store, list);
        state.counters["frames"] = list.size();
        state.counters["bytes_per_frame"] = double(list.memory_bytes()) / double(list.size() ? list.size() : 1);
        state.counters["labels"] = double(list.label_count());
        state.counters["distribution_rows"] = double(list.distribution().size());
    }
}
BENCHMARK(BM_LayerIndexPass)->Unit(benchmark::kMillisecond)->Iterations(2);

static void BM_FirstSearch(benchmark::State& state) {
    Capture& c = capture();
    if (!c.error.empty()) return state.SkipWithError(c.error.c_str());
    SearchSettings s = syn_search();
    for (auto _ : state) {
        CountingWindow w(c.store, c.context);  // no index yet
        int r = RunSearch(&w, &s, false);
        if (r != SEARCH_MARKED && r != SEARCH_NOT_FOUND) state.SkipWithError("search failed");
        state.counters["hits"] = double(w.hits);
    }
}
BENCHMARK(BM_FirstSearch)->Unit(benchmark::kMillisecond)->Iterations(2);

static void BM_RepeatedSearch(benchmark::State& state) {
    Capture& c = capture();
    if (!c.error.empty()) return state.SkipWithError(c.error.c_str());
    SearchSettings s = syn_search();
    CountingWindow w(c.store, c.context);
    w.layer_indexes();  // built before timing; kept by the window
    for (auto _ : state) {
        w.hits = 0;
        int r = RunSearch(&w, &s, false);
        if (r != SEARCH_MARKED && r != SEARCH_NOT_FOUND) state.SkipWithError("search failed");
        state.counters["hits"] = double(w.hits);
    }
    // A repeated search reads the kept index and never decodes again.
    if (w.builds() != 1) state.SkipWithError("the layer index was built again");
    state.counters["index_builds"] = w.builds();
}
BENCHMARK(BM_RepeatedSearch)->Unit(benchmark::kMillisecond)->Iterations(5);
