#pragma once
// The layer indexes of one window's frames, built in one layer-index pass and kept
// compactly for the window's life: per frame the first-layer position and an
// interned label; per layer a 16-bit frame offset and an 8-bit ProtocolId. A full
// FrameLayerIndex of any frame is reconstituted on demand with pointers into the
// store. The protocol distribution is counted in the same pass.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "decode/engine.h"
#include "store/frame_store.h"

namespace zelpan {

// One row of the protocol distribution (one per distinct top protocol, in order of
// first appearance).
struct DistributionEntry {
    char label[32];         // label of the first frame with this top protocol
    int32_t top_protocol;
    uint32_t frames;        // frames of the chosen source address (all when none)
    uint32_t bytes;
    uint32_t total_frames;
    uint32_t total_bytes;
};
static_assert(sizeof(DistributionEntry) == 52);

class LayerIndexList {
public:
    LayerIndexList() = default;
    LayerIndexList(const LayerIndexList&) = delete;
    LayerIndexList& operator=(const LayerIndexList&) = delete;

    // Frames indexed.
    uint32_t size() const { return uint32_t(label_.size()); }
    const FrameStore* store() const { return store_; }

    // Fills out with frame i's index as the layer-index pass recorded it; false
    // (and out reset) when i is not indexed.
    bool view(uint32_t i, FrameLayerIndex& out) const;
    int layer_count(uint32_t i) const { return i < size() ? int(first_[i + 1] - first_[i]) : 0; }
    int top_protocol(uint32_t i) const;
    std::string_view label(uint32_t i) const;

    const std::vector<DistributionEntry>& distribution() const { return distribution_; }
    std::vector<DistributionEntry>& distribution() { return distribution_; }

    // Bytes held by the index (the distribution and label table included).
    size_t memory_bytes() const;
    // Distinct labels seen.
    size_t label_count() const { return labels_.size(); }

private:
    friend class LayerIndexBuilder;

    // A layer that the compact form cannot hold (a frame over 65534 bytes, a
    // start outside the frame, a ProtocolId above 254): kept whole.
    struct WideLayer {
        int32_t offset;    // start - record, as the engine records it
        int32_t protocol;
        bool null_start;
    };
    struct WideFrame {
        uint32_t frame;
        uint32_t first;  // into wide_layers_
    };
    static constexpr uint8_t WIDE_MARK = 0xFF;  // protocol byte of a wide frame's layers

    const WideFrame* wide_frame(uint32_t i) const;

    const FrameStore* store_ = nullptr;
    std::vector<uint32_t> first_;       // size()+1 entries: layers of frame i are [first_[i], first_[i+1])
    std::vector<uint32_t> label_;       // interned label id per frame
    std::vector<uint16_t> offset_;      // per layer: start - first frame byte
    std::vector<uint8_t> protocol_;     // per layer: ProtocolId, WIDE_MARK for wide frames
    std::vector<WideFrame> wide_frames_;  // in frame order
    std::vector<WideLayer> wide_layers_;
    std::deque<std::string> labels_;    // id -> text; stable, so the map can view it
    std::unordered_map<std::string_view, uint32_t> label_ids_;
    std::vector<DistributionEntry> distribution_;
};

// Fills a LayerIndexList frame by frame: begin, add every frame in order, finish.
class LayerIndexBuilder {
public:
    explicit LayerIndexBuilder(LayerIndexList& out) : x_(out) {}
    void begin(const FrameStore& store);
    // The next frame, at record, with the index its decode recorded.
    void add(const uint8_t* record, const FrameLayerIndex& ix);
    void finish();

private:
    uint32_t intern(std::string_view label, int top);
    void count_frame(std::string_view label, int top, uint32_t length);

    LayerIndexList& x_;
    uint32_t label_cache_[256] = {};
    int32_t entry_of_[256] = {};
};

// The layer-index pass over every frame of store, decoded with ctx (its link type),
// made current for the pass. ctx.mode is 1 afterwards and the previously current
// context is current again. Allocates only what the index keeps.
void BuildLayerIndexes(DecodeContext& ctx, const FrameStore& store, LayerIndexList& out);

}  // namespace zelpan
