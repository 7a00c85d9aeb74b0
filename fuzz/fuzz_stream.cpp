// Statistics and TCP streams over arbitrary frames. Input: the first byte picks the
// link type (as for fuzz_decode), then frames as [length: 2 bytes LE][time step
// in ms: 1 byte][bytes], up to the end of the input.
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
    DecodeContext ctx;
    ctx.link_type = link;
    LayerIndexList index;
    BuildLayerIndexes(ctx, store, index);

    TrafficResults r = ComputeTraffic(store, link);
    TrafficView v = InitialView(r);
    for (int f : {1, 4, 64}) {
        SetZoom(v, r, f);
        ScrollRight(v, r);
        for (int unit : {UNIT_FRAME, UNIT_BYTE}) {
            TrafficGraph g = ComputeTrafficGraph(store, r, link, unit, r.sources.empty() ? nullptr : &r.sources[0], v, 97);
            if (f == 1) SlotLine(BuildTrafficSlots(g.line, r), g.line);
        }
        TimeTicks(v, r);
    }
    std::vector<DistributionEntry> table = index.distribution();
    DistributionTotals t = ResetDistribution(table, store);
    if (!r.sources.empty()) t = RecountDistribution(table, store, index, link, r.sources.back());
    for (const DistributionEntry& e : table) DistributionRowTexts(e, t.frames);
    HeadlessSearchWindow w(store, ctx);
    std::vector<int32_t> protocols;
    for (const DistributionEntry& e : table) protocols.push_back(e.top_protocol);
    MarkDistribution(w, index, protocols, r.sources.empty() ? nullptr : &r.sources[0], link);

    // A stream from each of the first TCP frames, with every source choice.
    int built = 0;
    TcpFrameInfo info;
    static Discard out;  // its text keeps its room from input to input
    for (uint32_t i = 0; i < index.size() && built < 3; ++i) {
        if (!ReadTcpFrame(store, index, i, info)) continue;
        ++built;
        TcpStreamBuilder b(store, index);
        for (int choice = 0; choice < 3; ++choice) b.Build(int32_t(i), int32_t(store.frame_count()), choice, out);
    }
    return 0;
}
