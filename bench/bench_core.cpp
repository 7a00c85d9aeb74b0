// Load, summary pass and text export over the benchmark capture, beside a plain
// sequential read of the same file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <vector>

#include "bench/bench_common.h"
#include "store/capture_file.h"
#include "store/text_export.h"

using namespace zelpan;

static void BM_PlainRead(benchmark::State& state) {
    std::vector<char> buf(1 << 20);
    for (auto _ : state) {
        int fd = open(zbench::bench_capture().c_str(), O_RDONLY);
        size_t total = 0;
        ssize_t n;
        while ((n = read(fd, buf.data(), buf.size())) > 0) total += size_t(n);
        close(fd);
        benchmark::DoNotOptimize(total);
        state.counters["bytes"] = double(total);
    }
}
BENCHMARK(BM_PlainRead)->Unit(benchmark::kMillisecond);

static void BM_Load(benchmark::State& state) {
    for (auto _ : state) {
        FrameStore store;
        int32_t link = 1;
        std::string msg = LoadCaptureFile(zbench::bench_capture(), store, link);
        if (!msg.empty()) state.SkipWithError(msg.c_str());
        state.counters["frames"] = store.frame_count();
    }
}
BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);

namespace {
struct Loaded {
    FrameStore store;
    int32_t link = 1;
    Loaded() { LoadCaptureFile(zbench::bench_capture(), store, link); }
};
Loaded& loaded() {
    static Loaded l;
    return l;
}
}  // namespace

static void BM_SummaryPass(benchmark::State& state) {
    Loaded& f = loaded();
    DecodeContext c;
    c.mode = MODE_DISPLAY;
    c.link_type = f.link;
    make_current(&c);
    size_t chars = 0;
    for (auto _ : state) {
        const uint8_t* r = f.store.first();
        uint32_t n = f.store.frame_count();
        for (uint32_t i = 0; r && i < n; ++i, r = f.store.next(r, i)) {
            clear_columns(c, long(i));
            decode_frame(0, r, c.link_type, int32_t(i + 1));
            chars += c.columns[4][0];
        }
        state.counters["frames"] = n;
    }
    benchmark::DoNotOptimize(chars);
    make_current(nullptr);
}
BENCHMARK(BM_SummaryPass)->Unit(benchmark::kMillisecond);

static void BM_TextExport10k(benchmark::State& state) {
    Loaded& f = loaded();
    // The first 10,000 frames in a store of their own.
    FrameStore part;
    part.allocate(f.store.capacity());
    const uint8_t* r = f.store.first();
    for (uint32_t i = 0; r && i < 10000 && i < f.store.frame_count(); ++i, r = f.store.next(r, i))
        part.append(record_seconds(r), record_microseconds(r), record_bytes(r), record_length(r));
    DecodeContext c;
    c.mode = MODE_DISPLAY;
    c.link_type = f.link;
    make_current(&c);
    std::string out = "/tmp/zelpan_bench_export.txt";
    for (auto _ : state) {
        std::string msg = ExportFramesAsText(out, part, false);
        if (!msg.empty()) state.SkipWithError(msg.c_str());
    }
    make_current(nullptr);
    std::remove(out.c_str());
}
BENCHMARK(BM_TextExport10k)->Unit(benchmark::kMillisecond);
