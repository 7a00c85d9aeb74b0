#include "condition/layer_index.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "store/decode_passes.h"

namespace zelpan {

void LayerIndexBuilder::begin(const FrameStore& store) {
    x_.store_ = &store;
    x_.first_.clear();
    x_.label_.clear();
    x_.offset_.clear();
    x_.protocol_.clear();
    x_.wide_frames_.clear();
    x_.wide_layers_.clear();
    x_.label_ids_.clear();
    x_.labels_.clear();
    x_.distribution_.clear();
    std::fill(std::begin(label_cache_), std::end(label_cache_), UINT32_MAX);
    std::fill(std::begin(entry_of_), std::end(entry_of_), -1);
    uint32_t n = store.frame_count();
    x_.first_.reserve(size_t(n) + 1);
    x_.label_.reserve(n);
    // Most frames carry three to five layers; growth beyond is geometric.
    x_.offset_.reserve(size_t(n) * 4);
    x_.protocol_.reserve(size_t(n) * 4);
}

void LayerIndexBuilder::add(const uint8_t* record, const FrameLayerIndex& ix) {
    uint32_t i = x_.size();
    uint32_t base = uint32_t(x_.offset_.size());
    x_.first_.push_back(base);
    int count = ix.count < 0 ? 0 : ix.count > MAX_LAYERS ? MAX_LAYERS : ix.count;
    const uint8_t* bytes = record_bytes(record);

    bool wide = false;
    for (int k = 0; k < count; ++k) {
        const LayerEntry& e = ix.entries[k];
        if (!e.start || e.start < bytes || e.start - bytes > 0xFFFE || e.protocol < 0 ||
            e.protocol >= LayerIndexList::WIDE_MARK)
            wide = true;
    }
    if (!wide) {
        for (int k = 0; k < count; ++k) {
            x_.offset_.push_back(uint16_t(ix.entries[k].start - bytes));
            x_.protocol_.push_back(uint8_t(ix.entries[k].protocol));
        }
    } else {
        x_.wide_frames_.push_back({i, uint32_t(x_.wide_layers_.size())});
        for (int k = 0; k < count; ++k) {
            const LayerEntry& e = ix.entries[k];
            x_.wide_layers_.push_back({e.offset, e.protocol, e.start == nullptr});
            x_.offset_.push_back(0);
            x_.protocol_.push_back(LayerIndexList::WIDE_MARK);
        }
    }

    std::string_view label(ix.label, count ? strnlen(ix.label, sizeof ix.label - 1) : 0);
    int top = count ? ix.entries[count - 1].protocol : 0;
    x_.label_.push_back(intern(label, top));

    if (!label.empty()) count_frame(label, top, record_length(record));
}

void LayerIndexBuilder::finish() {
    x_.first_.push_back(uint32_t(x_.offset_.size()));
    x_.offset_.shrink_to_fit();
    x_.protocol_.shrink_to_fit();
    x_.first_.shrink_to_fit();
    x_.label_.shrink_to_fit();
    x_.wide_frames_.shrink_to_fit();
    x_.wide_layers_.shrink_to_fit();
}

uint32_t LayerIndexBuilder::intern(std::string_view label, int top) {
    // Consecutive frames with one top protocol nearly always share the label.
    uint32_t& cached = label_cache_[uint32_t(top) & 0xFF];
    if (cached != UINT32_MAX && x_.labels_[cached] == label) return cached;
    auto it = x_.label_ids_.find(label);
    uint32_t id;
    if (it != x_.label_ids_.end()) {
        id = it->second;
    } else {
        id = uint32_t(x_.labels_.size());
        x_.labels_.emplace_back(label);
        x_.label_ids_.emplace(std::string_view(x_.labels_.back()), id);
    }
    cached = id;
    return id;
}

void LayerIndexBuilder::count_frame(std::string_view label, int top, uint32_t length) {
    auto& table = x_.distribution_;
    int32_t slot = -1;
    if (top >= 0 && top < 256) {
        slot = entry_of_[top];
    } else {
        for (size_t k = 0; k < table.size(); ++k)
            if (table[k].top_protocol == top) slot = int32_t(k);
    }
    if (slot < 0) {
        DistributionEntry e{};
        std::memcpy(e.label, label.data(), std::min(label.size(), sizeof e.label - 1));
        e.top_protocol = top;
        slot = int32_t(table.size());
        table.push_back(e);
        if (top >= 0 && top < 256) entry_of_[top] = slot;
    }
    DistributionEntry& e = table[size_t(slot)];
    e.total_frames += 1;
    e.total_bytes += length;
    // Until a source address is chosen, the shown counts are the totals.
    e.frames = e.total_frames;
    e.bytes = e.total_bytes;
}


namespace {

// One range of the layer-index pass: each frame's index, added to the list in
// frame order when the range is taken.
class LayerRange : public RangeWork {
public:
    explicit LayerRange(LayerIndexBuilder& b) : b_(b) {}
    void decode(DecodeContext& c, uint32_t first, uint32_t count, const uint8_t* r) override {
        if (ix_.size() < count) ix_.resize(count);
        records_.clear();
        for (uint32_t i = 0; r && i < count; ++i) {
            FrameLayerIndex& ix = ix_[i];
            ix.reset();
            c.layer_index = &ix;
            decode_frame(0, r, c.link_type, int32_t(first + i + 1));
            records_.push_back(r);
            r += RECORD_HEADER + record_length(r);
        }
        c.layer_index = nullptr;
    }
    void take(uint32_t, uint32_t) override {
        for (size_t i = 0; i < records_.size(); ++i) b_.add(records_[i], ix_[i]);
        records_.clear();
    }
    void reset() override { records_.clear(); }

private:
    LayerIndexBuilder& b_;
    std::vector<FrameLayerIndex> ix_;
    std::vector<const uint8_t*> records_;
};

}  // namespace

void BuildLayerIndexes(DecodeContext& ctx, const FrameStore& store, LayerIndexList& out) {
    LayerIndexBuilder b(out);
    b.begin(store);
    ctx.mode = MODE_LAYER_INDEX;
    ctx.layer_index = nullptr;
    RunRangePass(ctx, store, store.frame_count(), [&] { return std::make_unique<LayerRange>(b); });
    b.finish();
    ctx.mode = MODE_DISPLAY;
}

const LayerIndexList::WideFrame* LayerIndexList::wide_frame(uint32_t i) const {
    auto it = std::lower_bound(wide_frames_.begin(), wide_frames_.end(), i,
                               [](const WideFrame& w, uint32_t f) { return w.frame < f; });
    return it != wide_frames_.end() && it->frame == i ? &*it : nullptr;
}

bool LayerIndexList::view(uint32_t i, FrameLayerIndex& out) const {
    const uint8_t* r = i < size() && store_ ? store_->at(i) : nullptr;
    if (!r) {
        out.reset();
        return false;
    }
    uint32_t a = first_[i];
    int count = int(first_[i + 1] - a);
    out.count = count;
    out.frame = count ? r : nullptr;
    std::string_view l = labels_[label_[i]];
    std::memcpy(out.label, l.data(), l.size());
    out.label[l.size()] = 0;
    if (count && protocol_[a] == WIDE_MARK) {
        const WideFrame* w = wide_frame(i);
        for (int k = 0; k < count; ++k) {
            const WideLayer& e = wide_layers_[w->first + uint32_t(k)];
            out.entries[k].start = e.null_start ? nullptr : r + e.offset;
            out.entries[k].protocol = e.protocol;
            out.entries[k].offset = e.offset;
        }
    } else {
        const uint8_t* bytes = record_bytes(r);
        for (int k = 0; k < count; ++k) {
            uint32_t off = offset_[a + uint32_t(k)];
            out.entries[k].start = bytes + off;
            out.entries[k].protocol = protocol_[a + uint32_t(k)];
            out.entries[k].offset = int32_t(off) + RECORD_HEADER;
        }
    }
    out.top_protocol = count ? out.entries[count - 1].protocol : 0;
    return true;
}

int LayerIndexList::top_protocol(uint32_t i) const {
    if (i >= size()) return 0;
    uint32_t a = first_[i], b = first_[i + 1];
    if (a == b) return 0;
    if (protocol_[a] != WIDE_MARK) return protocol_[b - 1];
    const WideFrame* w = wide_frame(i);
    return wide_layers_[w->first + (b - a) - 1].protocol;
}

std::string_view LayerIndexList::label(uint32_t i) const {
    if (i >= size()) return {};
    return labels_[label_[i]];
}

size_t LayerIndexList::memory_bytes() const {
    size_t m = first_.capacity() * sizeof(uint32_t) + label_.capacity() * sizeof(uint32_t) +
               offset_.capacity() * sizeof(uint16_t) + protocol_.capacity() +
               wide_frames_.capacity() * sizeof(WideFrame) + wide_layers_.capacity() * sizeof(WideLayer) +
               distribution_.capacity() * sizeof(DistributionEntry);
    for (const std::string& s : labels_) m += sizeof(std::string) + (s.capacity() > 15 ? s.capacity() + 1 : 0);
    // Hash nodes (key, value, link, cached hash) and the bucket array.
    m += label_ids_.size() * (sizeof(std::string_view) + sizeof(uint32_t) + 2 * sizeof(void*)) +
         label_ids_.bucket_count() * sizeof(void*);
    return m;
}

}  // namespace zelpan
