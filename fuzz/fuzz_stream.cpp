// Statistics and TCP streams over arbitrary frames. Input: the first byte picks the
// link type (bits 0-1), what is made of the frames (bits 5-6: the traffic graph,
// the protocol distribution and its search, the TCP streams, or all three), the
// graph's zoom (bits 2-3) and unit (bit 4), and the first stream build's source
// choice (bits 2-4); then frames as [length: 2 bytes LE][time step in ms: 1 byte]
// [bytes], up to the end of the input. One choice of each per input, not every
// one: the fuzzer flips the bits as readily as any others, and an input that runs
// one part shows the fuzzer that part's paths alone.
#include <cstdint>
#include <string>

#include "condition/layer_index.h"
#include "condition/search.h"
#include "stats/distribution.h"
#include "stats/tcp_stream.h"
#include "stats/traffic.h"

using namespace zelpan;

namespace {

struct Discard : StreamOutput {
    std::string text;
    void chunk(const StreamChunk& c) override {
        text.clear();
        AppendStreamText(c, text);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    static const int links[4] = {1, 0, 9, 10};
    int link = links[data[0] & 3];
    FrameStore store;
    if (!store.allocate(uint32_t(STORE_HEAD + size * 2 + 64 * RECORD_HEADER))) return 0;
    uint64_t ms = 1700000000000ull;
    size_t at = 1;
    while (at + 3 <= size) {
        size_t n = size_t(data[at]) | size_t(data[at + 1]) << 8;
        ms += data[at + 2] * 7;
        at += 3;
        if (n > size - at) n = size - at;
        if (!store.append(uint32_t(ms / 1000), uint32_t(ms % 1000) * 1000, data + at, uint32_t(n))) break;
        at += n;
    }
    const int part = data[0] >> 5 & 3;
    const bool graph = part == 0 || part == 3, distribution = part == 1 || part == 3,
               streams = part == 2 || part == 3;
    DecodeContext ctx;
    ctx.link_type = link;
    LayerIndexList index;
    if (distribution || streams) BuildLayerIndexes(ctx, store, index);

    if (graph || distribution) {
        TrafficResults r = ComputeTraffic(store, link);
        if (graph) {
            TrafficView v = InitialView(r);
            static const int zooms[4] = {1, 4, 16, 64};
            SetZoom(v, r, zooms[data[0] >> 2 & 3]);
            ScrollRight(v, r);
            const int unit = data[0] & 16 ? UNIT_BYTE : UNIT_FRAME;
            TrafficGraph g =
                ComputeTrafficGraph(store, r, link, unit, r.sources.empty() ? nullptr : &r.sources[0], v, 97);
            SlotLine(BuildTrafficSlots(g.line, r), g.line);
            TimeTicks(v, r);
        }
        if (distribution) {
            std::vector<DistributionEntry> table = index.distribution();
            DistributionTotals t = ResetDistribution(table, store);
            if (!r.sources.empty()) t = RecountDistribution(table, store, index, link, r.sources.back());
            for (const DistributionEntry& e : table) DistributionRowTexts(e, t.frames);
            HeadlessSearchWindow w(store, ctx);
            std::vector<int32_t> protocols;
            for (const DistributionEntry& e : table) protocols.push_back(e.top_protocol);
            MarkDistribution(w, index, protocols, r.sources.empty() ? nullptr : &r.sources[0], link);
        }
    }
    if (!streams) return 0;

    // The stream of the first TCP frame as the dialog makes it: a first build, then
    // the later ones with the other source choices, which walk only up to the
    // connection's last frame. And one build from the last TCP frame, whose walk
    // back to the connection's first frame is the long one.
    static Discard out;  // its text keeps its room from input to input
    const int32_t rows = int32_t(store.frame_count());
    const int first_choice = (data[0] >> 2 & 7) % 3;
    TcpFrameInfo info;
    uint32_t first = 0;
    while (first < index.size() && !ReadTcpFrame(store, index, first, info)) ++first;
    if (first < index.size()) {
        TcpStreamBuilder b(store, index);
        for (int k = 0; k < 3; ++k) b.Build(int32_t(first), rows, (first_choice + k) % 3, out);
        uint32_t last = index.size() - 1;
        while (last > first && !ReadTcpFrame(store, index, last, info)) --last;
        if (last > first) TcpStreamBuilder(store, index).Build(int32_t(last), rows, first_choice, out);
    }
    return 0;
}
