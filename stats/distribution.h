#pragma once
// The protocol distribution page's computations: the row texts of the distribution
// table that the layer-index pass built, the recount for one Ethernet source
// address, the mark condition text and the marking of the selected protocols.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "condition/layer_index.h"
#include "condition/search.h"
#include "stats/traffic.h"
#include "store/frame_store.h"

namespace zelpan {

// Column titles of the list, left to right.
extern const char* const DISTRIBUTION_COLUMNS[6];

struct DistributionTotals {
    uint64_t frames = 0, bytes = 0;                // every frame walked
    uint64_t chosen_frames = 0, chosen_bytes = 0;  // those of the chosen source (all without one)
};

// Sets every entry's frames and bytes back to its totals and counts the store's
// frames and bytes (the page's filling and the "ALL" choice).
DistributionTotals ResetDistribution(std::vector<DistributionEntry>& table, const FrameStore& store);
// Recounts for one source address: every entry's frames and bytes become those of
// the frames sent by source (by the top protocol of each frame's layer index).
DistributionTotals RecountDistribution(std::vector<DistributionEntry>& table, const FrameStore& store,
                                       const LayerIndexList& index, int link_type, const MacAddress& source);

// The six column texts of a row; all_frames is the number of frames walked.
std::array<std::string, 6> DistributionRowTexts(const DistributionEntry& e, uint64_t all_frames);
// The ﾌﾚｰﾑ and ﾊﾞｲﾄ fields: "%lu(%lu)".
std::string TotalPairText(uint64_t chosen, uint64_t all);
// "送信元ｱﾄﾞﾚｽ(%s)" with the combo's text.
std::string SourceConditionText(const std::string& combo_text);
// The read-only mark condition: "なし" without selected rows, else the source
// text && ﾌﾟﾛﾄｺﾙ(labels joined by " || ").
std::string MarkConditionText(const std::string& source_text, const std::vector<std::string>& labels);

// Marks every frame (up to the list's rows) whose top protocol is one of
// protocols and, when source is given, that source sent. Returns frames marked.
uint32_t MarkDistribution(SearchWindow& window, const LayerIndexList& index, const std::vector<int32_t>& protocols,
                          const MacAddress* source, int link_type);

}  // namespace zelpan
