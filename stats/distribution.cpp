#include "stats/distribution.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zelpan {

const char* const DISTRIBUTION_COLUMNS[6] = {"ﾌﾟﾛﾄｺﾙ", "比率", "ﾌﾚｰﾑ数", "ﾊﾞｲﾄ数", "ﾌﾚｰﾑ数小計", "ﾊﾞｲﾄ数小計"};

namespace {

// Entry of a top protocol: ProtocolIds are small, so a table answers directly.
class EntryMap {
public:
    explicit EntryMap(const std::vector<DistributionEntry>& table) : table_(table) {
        std::fill(std::begin(slot_), std::end(slot_), -1);
        for (size_t k = 0; k < table.size(); ++k) {
            int32_t p = table[k].top_protocol;
            if (p >= 0 && p < 256 && slot_[p] < 0) slot_[p] = int32_t(k);
        }
    }
    int32_t find(int32_t protocol) const {
        if (protocol >= 0 && protocol < 256) return slot_[protocol];
        for (size_t k = 0; k < table_.size(); ++k)
            if (table_[k].top_protocol == protocol) return int32_t(k);
        return -1;
    }

private:
    const std::vector<DistributionEntry>& table_;
    int32_t slot_[256];
};

}  // namespace

DistributionTotals ResetDistribution(std::vector<DistributionEntry>& table, const FrameStore& store) {
    for (DistributionEntry& e : table) {
        e.frames = e.total_frames;
        e.bytes = e.total_bytes;
    }
    DistributionTotals t;
    const uint8_t* r = store.first();
    for (uint32_t i = 0; r && i < store.frame_count(); ++i, r = store.next(r, i)) {
        t.frames += 1;
        t.bytes += record_length(r);
    }
    t.chosen_frames = t.frames;
    t.chosen_bytes = t.bytes;
    return t;
}

DistributionTotals RecountDistribution(std::vector<DistributionEntry>& table, const FrameStore& store,
                                       const LayerIndexList& index, int link_type, const MacAddress& source) {
    for (DistributionEntry& e : table) e.frames = e.bytes = 0;
    EntryMap entries(table);
    DistributionTotals t;
    const uint8_t* r = store.first();
    for (uint32_t i = 0; r && i < store.frame_count(); ++i, r = store.next(r, i)) {
        uint32_t len = record_length(r);
        t.frames += 1;
        t.bytes += len;
        MacAddress a;
        if (link_type != 1 || !record_source(r, a) || a != source) continue;
        t.chosen_frames += 1;
        t.chosen_bytes += len;
        if (i >= index.size() || index.label(i).empty()) continue;
        int32_t k = entries.find(index.top_protocol(i));
        if (k < 0) continue;
        table[size_t(k)].frames += 1;
        table[size_t(k)].bytes += len;
    }
    return t;
}

std::array<std::string, 6> DistributionRowTexts(const DistributionEntry& e, uint64_t all_frames) {
    std::array<std::string, 6> out;
    char buf[64];
    out[0].assign(e.label, strnlen(e.label, sizeof e.label));
    // No frames walked: no share rather than a division by zero.
    double ratio = all_frames ? double(e.frames) / double(all_frames) * 100.0 : 0.0;
    std::snprintf(buf, sizeof buf, "%.2f %%", ratio);
    out[1] = buf;
    const uint32_t values[4] = {e.frames, e.bytes, e.total_frames, e.total_bytes};
    for (int k = 0; k < 4; ++k) {
        std::snprintf(buf, sizeof buf, "%lu", (unsigned long)values[k]);
        out[size_t(k) + 2] = buf;
    }
    return out;
}

std::string TotalPairText(uint64_t chosen, uint64_t all) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%llu(%llu)", (unsigned long long)chosen, (unsigned long long)all);
    return buf;
}

std::string SourceConditionText(const std::string& combo_text) { return "送信元ｱﾄﾞﾚｽ(" + combo_text + ")"; }

std::string MarkConditionText(const std::string& source_text, const std::vector<std::string>& labels) {
    if (labels.empty()) return "なし";
    std::string t = source_text + " && ﾌﾟﾛﾄｺﾙ(";
    for (size_t k = 0; k < labels.size(); ++k) {
        if (k) t += " || ";
        t += labels[k];
    }
    return t + ")";
}

uint32_t MarkDistribution(SearchWindow& window, const LayerIndexList& index, const std::vector<int32_t>& protocols,
                          const MacAddress* source, int link_type) {
    FrameStore* store = window.frame_store();
    if (!store || protocols.empty()) return 0;
    uint32_t rows = uint32_t(std::max(window.row_count(), 0));
    uint32_t n = std::min(rows, store->frame_count());
    uint32_t marked = 0;
    const uint8_t* r = store->first();
    for (uint32_t i = 0; r && i < n; ++i, r = store->next(r, i)) {
        if (i >= index.size() || index.label(i).empty()) continue;
        if (std::find(protocols.begin(), protocols.end(), index.top_protocol(i)) == protocols.end()) continue;
        if (source) {
            MacAddress a;
            if (link_type != 1 || !record_source(r, a) || a != *source) continue;
        }
        window.show_marked(int32_t(i), true);
        store->set_marked(i, true);
        ++marked;
    }
    return marked;
}

}  // namespace zelpan
