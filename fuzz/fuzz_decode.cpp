// decode_frame on arbitrary bytes in every mode and link type. The first input
// byte picks the link type, the frame number and whether the frame goes into a
// detail tree or a text export (both take the same decoder paths, so one of them
// an input, as the fuzzer flips that bit as readily as any other); the rest is
// the frame. The summary and the layer index are made for every input. Any read
// past the captured bytes is caught: the record starts a buffer kept from input to
// input, and what lies behind it is poisoned for the sanitizer.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <sanitizer/asan_interface.h>
#include <vector>

#include "decode/engine.h"

using namespace zelpan;

namespace {
struct Discard : LineSink {
    size_t n = 0;
    void line(int indent, std::string_view text) override { n += size_t(indent) + text.size(); }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    // Bits 0-1 and 3 pick the link type: null, Ethernet, PPP, FDDI, then Linux
    // cooked v1 and v2, raw IP and raw IPv6.
    static const int32_t links[8] = {0, 1, 9, 10, 113, 276, 101, 229};
    int32_t link = links[(data[0] & 3) | (data[0] >> 1 & 4)];
    int frame_number = (data[0] & 4) ? 1 : 2;
    size_t n = size - 1;
    const size_t need = RECORD_HEADER + n;
    static std::vector<uint8_t> buffer;
    if (buffer.size() < need) {
        ASAN_UNPOISON_MEMORY_REGION(buffer.data(), buffer.size());
        std::vector<uint8_t>(std::max(need, buffer.size() * 2)).swap(buffer);
        ASAN_POISON_MEMORY_REGION(buffer.data(), buffer.size());
    }
    uint8_t* const rec = buffer.data();
    ASAN_UNPOISON_MEMORY_REGION(rec, need);
    write_record_header(rec, 1700000000, 123456, uint32_t(n), 0, 0);
    if (n) std::memcpy(rec + RECORD_HEADER, data + 1, n);

    static DecodeContext c;
    static DetailTree tree;
    static Discard sink;
    make_current(&c);
    c.link_type = link;

    c.mode = MODE_DISPLAY;  // summary
    c.layer_index = nullptr;
    clear_columns(c, 0);
    decode_frame(0, rec, link, frame_number);

    FrameLayerIndex ix;  // layer index
    c.mode = MODE_LAYER_INDEX;
    c.layer_index = &ix;
    decode_frame(0, rec, link, frame_number);
    for (int i = 0; i < ix.count; ++i)
        if (ix.entries[i].offset < RECORD_HEADER || ix.entries[i].offset > int32_t(RECORD_HEADER + n))
            __builtin_trap();  // a layer outside the frame

    c.layer_index = nullptr;
    if (data[0] & 16) {
        c.mode = MODE_DISPLAY;  // detail tree
        c.tree = &tree;
        tree.clear();
        decode_frame(ROOT_NODE, rec, link, frame_number);
        tree.finish();
        // Each lookup walks the whole tree, so a fixed number of bytes spread from the
        // first to the last keeps an input's cost in step with its size.
        const uint32_t probes = n < 8 ? uint32_t(n) : 8;
        for (uint32_t i = 0; i < probes; ++i)
            (void)tree.line_for_byte(probes < 2 ? 0 : uint32_t(uint64_t(n - 1) * i / (probes - 1)));
    } else {
        c.mode = MODE_TEXT_EXPORT;  // text export
        c.exporter = &sink;
        decode_frame(ROOT_NODE, rec, link, frame_number);
        c.exporter = nullptr;
    }
    make_current(nullptr);
    ASAN_POISON_MEMORY_REGION(rec, need);
    return 0;
}
