// Traffic statistics (seconds, peaks, axes, zoom and pages, the graph) and the
// protocol distribution (rows, recounts per source, marking).
#include <gtest/gtest.h>

#include "condition/layer_index.h"
#include "condition/search.h"
#include "stats/distribution.h"
#include "stats/traffic.h"
#include "tests/stream_frames.h"
#include "tests/support.h"

using namespace zelpan;

namespace {

constexpr uint64_t T0 = 1700000000000ull;  // ms

// A UDP frame from source MAC ...:src padded to length bytes.
zt::Frame sized(uint8_t src, size_t length = 46) {
    zt::Frame f = zt::udp_to(9);
    f[11] = src;
    if (f.size() < length) f.resize(length, 0);
    return f;
}

// Frames at T0 + the given offsets and of the given lengths (46 bytes at least).
void store_at(FrameStore& s, const std::vector<uint64_t>& offsets, const std::vector<size_t>& lengths = {}) {
    std::vector<zt::Timed> frames;
    for (size_t k = 0; k < offsets.size(); ++k)
        frames.push_back({T0 + offsets[k], sized(0x55, k < lengths.size() ? lengths[k] : 46)});
    zt::fill_store(s, frames);
}

}  // namespace

// ---- seconds and peaks ----

struct SecondCase {
    const char* name;
    std::vector<uint64_t> offsets;
    std::vector<size_t> lengths;
    uint64_t peak_fps;
    int32_t peak_fps_frame;
    uint64_t peak_bps;
    int32_t peak_bps_frame;
    uint64_t span;
};

TEST(TrafficSeconds, BoundariesAndPeaks) {
    const SecondCase cases[] = {
        // A second includes its end: 0 and 1000 are one second, 1001 the next.
        {"three frames", {0, 1000, 1001}, {60, 60, 200}, 2, 2, 200, 3, 1001},
        {"one frame", {500}, {80}, 1, 1, 80, 1, 0},
        // Equal seconds: the earlier stays the peak.
        {"tie", {0, 500, 1500, 1600}, {50, 50, 50, 50}, 2, 2, 100, 2, 1600},
        {"later second larger", {0, 1500, 1600, 1700}, {}, 3, 4, 138, 4, 1700},
        {"ends on a boundary", {0, 1000, 2000, 2001}, {}, 2, 2, 92, 2, 2001},
        // Seconds after a gap are counted from the first frame, not from the gap.
        {"gap", {0, 5500, 6000, 6001}, {}, 2, 3, 92, 3, 6001},
        {"bytes peak elsewhere", {0, 10, 1500}, {42, 42, 1500}, 2, 2, 1500, 3, 1500},
    };
    for (const SecondCase& c : cases) {
        SCOPED_TRACE(c.name);
        FrameStore s;
        store_at(s, c.offsets, c.lengths);
        TrafficResults r = ComputeTraffic(s, 1);
        EXPECT_EQ(r.total_frames, int64_t(c.offsets.size()));
        EXPECT_EQ(r.peak_fps, c.peak_fps);
        EXPECT_EQ(r.peak_fps_frame, c.peak_fps_frame);
        EXPECT_EQ(r.peak_bps, c.peak_bps);
        EXPECT_EQ(r.peak_bps_frame, c.peak_bps_frame);
        EXPECT_EQ(r.span, c.span);
        EXPECT_EQ(r.first_time, T0 + c.offsets.front());
    }
}

TEST(TrafficSeconds, TextsAndTotals) {
    FrameStore s;
    store_at(s, {0, 1000, 3723004}, {100, 200, 300});
    TrafficResults r = ComputeTraffic(s, 1);
    EXPECT_EQ(TrafficFrameText(r), "3 : MAX FPS 2(2)");
    // The last second ties with the first: the first stays.
    EXPECT_EQ(TrafficByteText(r), "600 : MAX BPS 300(2)");
    EXPECT_EQ(SpanText(r.span), "1:02:03.004");
    EXPECT_EQ(SpanText(0), "0:00:00.000");
    // Microseconds below a millisecond do not count.
    FrameStore t;
    zt::Frame f = sized(1);
    t.allocate(1024);
    t.append(1700000000, 999, f.data(), uint32_t(f.size()));
    t.append(1700000001, 999, f.data(), uint32_t(f.size()));
    EXPECT_EQ(ComputeTraffic(t, 1).span, 1000u);
    // An empty window.
    FrameStore e;
    e.allocate(64);
    TrafficResults none = ComputeTraffic(e, 1);
    EXPECT_EQ(TrafficFrameText(none), "0 : MAX FPS 0(0)");
}

TEST(TrafficSeconds, SourceAddressesInOrderOfAppearance) {
    FrameStore s;
    zt::fill_store(s, {{T0, sized(3)}, {T0, sized(1)}, {T0 + 1, sized(3)}, {T0 + 2, sized(2)}, {T0 + 3, sized(1)}});
    TrafficResults r = ComputeTraffic(s, 1);
    std::vector<std::string> texts;
    for (const MacAddress& a : r.sources) texts.push_back(SourceText(a));
    EXPECT_EQ(texts, (std::vector<std::string>{"00:11:22:33:44:03", "00:11:22:33:44:01", "00:11:22:33:44:02"}));
    EXPECT_EQ(SourceAddresses(s, 1), r.sources);
    // Only Ethernet windows offer addresses.
    EXPECT_TRUE(ComputeTraffic(s, 0).sources.empty());
    EXPECT_TRUE(SourceAddresses(s, 9).empty());

    MacAddress a;
    ASSERT_TRUE(ParseSourceText("0a:1B:2c:3D:4e:5F", a));
    EXPECT_EQ(SourceText(a), "0A:1B:2C:3D:4E:5F");
    for (const char* bad : {"", "0A:1B:2C:3D:4E", "0A-1B-2C-3D-4E-5F", "0A:1B:2C:3D:4E:5G", "0A:1B:2C:3D:4E:5F:"})
        EXPECT_FALSE(ParseSourceText(bad, a)) << bad;
}

// ---- value and time axes ----

TEST(TrafficAxes, GridStepSeries) {
    struct {
        uint64_t peak, step;
        std::vector<uint64_t> lines;
    } cases[] = {
        {0, 0, {}},
        {1, 0, {}},
        {2, 1, {1, 2}},
        {3, 1, {1, 2, 3}},
        {4, 1, {1, 2, 3, 4}},
        {5, 2, {2, 4}},
        {9, 2, {2, 4, 6, 8}},
        {10, 5, {5, 10}},
        {24, 5, {5, 10, 15, 20}},
        {25, 10, {10, 20}},
        {99, 20, {20, 40, 60, 80}},
        {2000000, 500000, {500000, 1000000, 1500000, 2000000}},
        {2500000, 0, {}},  // beyond the series
    };
    for (const auto& c : cases) {
        EXPECT_EQ(GridStep(c.peak), c.step) << c.peak;
        EXPECT_EQ(GridValues(c.peak), c.lines) << c.peak;
    }
}

TEST(TrafficAxes, TimeTickTexts) {
    struct {
        uint64_t ms;
        const char* text;
    } cases[] = {
        {0, "00.000"},           {1234, "01.234"},          {59999, "59.999"},        {60000, "01:00.000"},
        {3599999, "59:59.999"},  {3600000, "1:00:00.000"},  {90061001, "25:01:01.001"},
    };
    for (const auto& c : cases) EXPECT_EQ(TimeTickText(c.ms), c.text) << c.ms;
}

// ---- zoom and pages ----

TrafficResults span_results(uint64_t span) {
    TrafficResults r;
    r.first_time = T0;
    r.last_time = T0 + span;
    r.span = span;
    return r;
}

TEST(TrafficView, OneFrameRefusesZoom) {
    TrafficResults r = span_results(0);
    TrafficView v = InitialView(r);
    EXPECT_FALSE(v.left_enabled);
    EXPECT_FALSE(v.right_enabled);
    for (int f : {2, 4, 64}) EXPECT_FALSE(SetZoom(v, r, f)) << f;
    EXPECT_EQ(v.factor, 1);
    std::vector<TimeTick> ticks = TimeTicks(v, r);
    ASSERT_EQ(ticks.size(), 1u);
    EXPECT_EQ(ticks[0].text, "00.000");
    ScrollRight(v, r);
    EXPECT_EQ(v.page, 0);
}

TEST(TrafficView, ZoomRefusedWhenTheViewWouldBeEmpty) {
    TrafficResults r = span_results(63);
    TrafficView v = InitialView(r);
    ASSERT_TRUE(SetZoom(v, r, 32));  // 63 / 32 = 1 ms
    EXPECT_EQ(v.width, 1u);
    EXPECT_FALSE(SetZoom(v, r, 64));  // 63 / 64 = 0
    EXPECT_EQ(v.factor, 32);
    EXPECT_EQ(v.width, 1u);
}

TEST(TrafficView, PagesConvertAndScroll) {
    TrafficResults r = span_results(1000);
    TrafficView v = InitialView(r);
    EXPECT_EQ(v.width, 1000u);
    EXPECT_EQ(v.tick_step, 250u);
    ASSERT_TRUE(SetZoom(v, r, 4));
    EXPECT_EQ(v.width, 250u);
    EXPECT_EQ(v.tick_step, 62u);
    EXPECT_EQ(v.start, T0);
    EXPECT_FALSE(v.left_enabled);
    EXPECT_TRUE(v.right_enabled);

    struct Step {
        bool right;
        int page;
        uint64_t start;
        bool left_on, right_on;
    } steps[] = {
        {true, 1, T0 + 250, true, true},  {true, 2, T0 + 500, true, true},
        {true, 3, T0 + 750, true, false},  // the last page ends at the last frame
        {true, 3, T0 + 750, true, false},  // nowhere further
        {false, 2, T0 + 500, true, true},  {false, 1, T0 + 250, true, true},
        {false, 0, T0, false, true},       {false, 0, T0, false, true},
    };
    for (const Step& s : steps) {
        s.right ? ScrollRight(v, r) : ScrollLeft(v, r);
        EXPECT_EQ(v.page, s.page);
        EXPECT_EQ(v.start, s.start);
        EXPECT_EQ(v.left_enabled, s.left_on);
        EXPECT_EQ(v.right_enabled, s.right_on);
    }
    // Page 2 of X4, zoomed in to X16: page 8, same start.
    ScrollRight(v, r);
    ScrollRight(v, r);
    ASSERT_TRUE(SetZoom(v, r, 16));
    EXPECT_EQ(v.page, 8);
    EXPECT_EQ(v.start, T0 + 500);
    EXPECT_EQ(v.width, 62u);
    std::vector<TimeTick> ticks = TimeTicks(v, r);
    ASSERT_EQ(ticks.size(), 5u);
    EXPECT_EQ(ticks[1].time, T0 + 515);  // tick step 1000 / 64 = 15
    EXPECT_EQ(ticks[1].text, "00.515");
    // Out again to X2: page 8 / 8 = 1, the last page.
    ASSERT_TRUE(SetZoom(v, r, 2));
    EXPECT_EQ(v.page, 1);
    EXPECT_EQ(v.start, T0 + 500);
    EXPECT_TRUE(v.left_enabled);
    EXPECT_FALSE(v.right_enabled);
    // X1 starts at the first frame, page 0, no scrolling.
    ASSERT_TRUE(SetZoom(v, r, 1));
    EXPECT_EQ(v.page, 0);
    EXPECT_EQ(v.start, T0);
    EXPECT_FALSE(v.left_enabled || v.right_enabled);
}

TEST(TrafficView, ZoomingOutFromALatePageStaysInsideTheCapture) {
    TrafficResults r = span_results(1000);
    TrafficView v = InitialView(r);
    ASSERT_TRUE(SetZoom(v, r, 4));
    for (int k = 0; k < 3; ++k) ScrollRight(v, r);
    ASSERT_EQ(v.start, T0 + 750);
    ASSERT_TRUE(SetZoom(v, r, 2));
    EXPECT_EQ(v.page, 1);
    EXPECT_EQ(v.start + v.width, r.last_time);
}

// ---- the graph ----

TEST(TrafficGraph, RunningCountsColoursAndTheLine) {
    FrameStore s;
    // Second 1: frames 1-3 (source 1, 2, 1); second 2 empty; second 3: frames 4-5.
    zt::fill_store(s, {{T0, sized(1)},
                       {T0 + 100, sized(2)},
                       {T0 + 200, sized(1)},
                       {T0 + 2500, sized(1)},
                       {T0 + 2600, sized(2)}});
    s.set_marked(1, true);
    TrafficResults r = ComputeTraffic(s, 1);
    ASSERT_EQ(r.peak_fps_frame, 3);
    TrafficView v = InitialView(r);
    // One column per 100 ms: 2600 ms over 27 columns.
    TrafficGraph g = ComputeTrafficGraph(s, r, 1, UNIT_FRAME, nullptr, v, 27);
    ASSERT_EQ(g.columns.size(), 27u);
    auto col = [&](int c) { return g.columns[size_t(c)]; };
    ASSERT_EQ(col(0).size(), 1u);
    EXPECT_EQ(col(0)[0].height, 1u);
    EXPECT_EQ(col(1)[0].height, 2u);
    EXPECT_EQ(col(1)[0].colour, BAR_MARKED);
    EXPECT_EQ(col(2)[0].height, 3u);
    EXPECT_EQ(col(2)[0].colour, BAR_PEAK);
    EXPECT_EQ(col(25)[0].height, 1u);
    EXPECT_EQ(col(26)[0].height, 2u);
    EXPECT_TRUE(col(10).empty());
    std::vector<std::pair<uint64_t, uint64_t>> line;
    for (const LinePoint& p : g.line) line.push_back({p.time - T0, p.value});
    EXPECT_EQ(line, (std::vector<std::pair<uint64_t, uint64_t>>{{0, 0}, {1000, 3}, {2000, 0}, {2600, 2}}));

    // Source 1 only: other frames neither counted nor drawn; the peaks stay.
    MacAddress one;
    ASSERT_TRUE(ParseSourceText("00:11:22:33:44:01", one));
    g = ComputeTrafficGraph(s, r, 1, UNIT_FRAME, &one, v, 27);
    EXPECT_TRUE(col(1).empty());
    EXPECT_EQ(col(2)[0].height, 2u);
    EXPECT_EQ(col(2)[0].colour, BAR_PEAK);
    EXPECT_TRUE(col(26).empty());
    line.clear();
    for (const LinePoint& p : g.line) line.push_back({p.time - T0, p.value});
    EXPECT_EQ(line, (std::vector<std::pair<uint64_t, uint64_t>>{{0, 0}, {1000, 2}, {2000, 0}, {2600, 1}}));
    EXPECT_EQ(r.peak_fps, 3u);

    // Bytes: heights are the running byte counts.
    g = ComputeTrafficGraph(s, r, 1, UNIT_BYTE, nullptr, v, 27);
    EXPECT_EQ(col(2)[0].height, 3u * 46);
}

TEST(TrafficGraph, LaterBarsCoverEarlierOnesInAColumn) {
    FrameStore s;
    // Two seconds' frames fall into one column: 3 frames, then 1 after the boundary.
    zt::fill_store(s, {{T0, sized(1)}, {T0 + 990, sized(1)}, {T0 + 1000, sized(1)}, {T0 + 1001, sized(1)},
                       {T0 + 10000, sized(1)}});
    s.set_marked(3, true);
    TrafficResults r = ComputeTraffic(s, 1);
    TrafficView v = InitialView(r);
    TrafficGraph g = ComputeTrafficGraph(s, r, 1, UNIT_FRAME, nullptr, v, 3);
    // Column 0: heights 1, 2, 3 drawn, then the marked 1 over the bottom.
    const std::vector<Bar>& c = g.columns[0];
    ASSERT_EQ(c.size(), 2u);
    EXPECT_EQ(c[0].height, 3u);
    EXPECT_EQ(c[0].colour, BAR_PEAK);
    EXPECT_EQ(c[1].height, 1u);
    EXPECT_EQ(c[1].colour, BAR_MARKED);
    // Zoomed to the last quarter, only the last frame is inside.
    ASSERT_TRUE(SetZoom(v, r, 4));
    for (int k = 0; k < 3; ++k) ScrollRight(v, r);
    g = ComputeTrafficGraph(s, r, 1, UNIT_FRAME, nullptr, v, 3);
    EXPECT_TRUE(g.columns[0].empty());
    ASSERT_EQ(g.columns[2].size(), 1u);
}

TEST(TrafficGraph, SlotsKeepFirstAndLastBoundaryAndInterpolate) {
    TrafficResults r = span_results(6400);  // slots of 100 ms
    std::vector<LinePoint> line = {{T0, 0},          {T0 + 1000, 8},  {T0 + 1050, 2}, {T0 + 1090, 6},
                                   {T0 + 3000, 0},   {T0 + 6400, 4}};
    auto slots = BuildTrafficSlots(line, r);
    EXPECT_EQ(slots[0].start, T0);
    EXPECT_EQ(slots[63].start, T0 + 6300);
    const TrafficSlot& s10 = slots[10];
    ASSERT_TRUE(s10.has_boundary);
    EXPECT_EQ(s10.first_time, T0 + 1000);
    EXPECT_EQ(s10.first_height, 8u);
    EXPECT_EQ(s10.last_time, T0 + 1090);
    EXPECT_EQ(s10.last_height, 6u);
    EXPECT_FALSE(slots[5].has_boundary);
    EXPECT_EQ(slots[5].start_height, 4u);  // halfway from 0 to 8
    EXPECT_EQ(slots[20].start_height, 4u);  // 910 of 1910 ms from 6 down to 0
    EXPECT_EQ(slots[30].start_height, 0u);
    EXPECT_TRUE(slots[30].has_boundary);
    EXPECT_FALSE(slots[63].has_boundary);  // the end point is not a boundary
    std::vector<LinePoint> drawn = SlotLine(slots, line);
    EXPECT_EQ(drawn.front().time, T0);
    EXPECT_EQ(drawn.back().time, T0 + 6400);
    EXPECT_EQ(drawn.back().value, 4u);
    EXPECT_LE(drawn.size(), size_t(TRAFFIC_SLOTS * 3 + 1));
    for (size_t k = 1; k < drawn.size(); ++k) EXPECT_LE(drawn[k - 1].time, drawn[k].time);
}

// ---- distribution ----

namespace {

// Ethernet frames of four kinds from two sources.
zt::Frame arp_from(uint8_t src) {
    zt::Frame f = zt::hex("FFFFFFFFFFFF 001122334400 0806 0001 0800 06 04 0001 001122334400 0A000001 "
                          "000000000000 0A000002");
    f[11] = src;
    return f;
}

struct Dist {
    FrameStore store;
    DecodeContext context;
    LayerIndexList index;
    std::unique_ptr<HeadlessSearchWindow> window;
    explicit Dist(const std::vector<zt::Frame>& frames) {
        std::vector<zt::Timed> t;
        for (size_t k = 0; k < frames.size(); ++k) t.push_back({T0 + k, frames[k]});
        zt::fill_store(store, t);
        BuildLayerIndexes(context, store, index);
        window = std::make_unique<HeadlessSearchWindow>(store, context);
    }
    std::vector<std::string> labels() const {
        std::vector<std::string> out;
        for (const DistributionEntry& e : index.distribution()) out.push_back(e.label);
        return out;
    }
};

zt::Frame tcp_from(uint8_t src) {
    zt::Bytes8 f = zt::tcp_frame(zt::end4(src, 10, 0, 0, 1, 40000), zt::end4(9, 10, 0, 0, 2, 7777), 1, 1, "x");
    const uint8_t mac[6] = {0x00, 0x11, 0x22, 0x33, 0x44, src};
    std::copy(mac, mac + 6, f.begin() + 6);
    return f;
}

}  // namespace

TEST(Distribution, RowsInOrderOfFirstAppearance) {
    Dist d({sized(1), tcp_from(1), sized(2, 60), arp_from(2), tcp_from(2)});
    EXPECT_EQ(d.labels(), (std::vector<std::string>{"UDP", "TCP", "ARP"}));
    DistributionTotals t = ResetDistribution(d.index.distribution(), d.store);
    EXPECT_EQ(t.frames, 5u);
    EXPECT_EQ(t.chosen_frames, 5u);
    const auto& table = d.index.distribution();
    uint32_t tcp_len = uint32_t(tcp_from(1).size());
    EXPECT_EQ(DistributionRowTexts(table[0], t.frames),
              (std::array<std::string, 6>{"UDP", "40.00 %", "2", "106", "2", "106"}));
    EXPECT_EQ(DistributionRowTexts(table[1], t.frames)[3], std::to_string(2 * tcp_len));
    EXPECT_EQ(DistributionRowTexts(table[2], t.frames)[1], "20.00 %");
    EXPECT_EQ(TotalPairText(t.chosen_frames, t.frames), "5(5)");
    // A share with nothing walked is no share.
    EXPECT_EQ(DistributionRowTexts(table[0], 0)[1], "0.00 %");
    DistributionEntry third{};
    third.frames = 1;
    EXPECT_EQ(DistributionRowTexts(third, 3)[1], "33.33 %");
}

TEST(Distribution, RowLabelIsTheFirstFramesText) {
    // Two frames of one top protocol with different protocol texts: one row.
    LayerIndexList list;
    FrameStore store;
    zt::fill_store(store, {{T0, sized(1)}, {T0, sized(1)}, {T0, sized(1)}});
    LayerIndexBuilder b(list);
    b.begin(store);
    const char* texts[] = {"SSLv3", "TLSv1.2", ""};
    for (uint32_t i = 0; i < 3; ++i) {
        FrameLayerIndex ix;
        const uint8_t* r = store.at(i);
        ix.count = 1;
        ix.frame = r;
        std::snprintf(ix.label, sizeof ix.label, "%s", texts[i]);
        ix.entries[0] = {record_bytes(r) + 20, 68, 36};
        ix.top_protocol = 68;
        b.add(r, ix);
    }
    b.finish();
    ASSERT_EQ(list.distribution().size(), 1u);
    EXPECT_STREQ(list.distribution()[0].label, "SSLv3");
    EXPECT_EQ(list.distribution()[0].total_frames, 2u);  // the empty label is not counted
}

TEST(Distribution, RecountForOneSource) {
    Dist d({sized(1), tcp_from(1), sized(2, 60), arp_from(2), tcp_from(1)});
    auto& table = d.index.distribution();
    MacAddress two;
    ASSERT_TRUE(ParseSourceText("00:11:22:33:44:02", two));
    DistributionTotals t = RecountDistribution(table, d.store, d.index, 1, two);
    EXPECT_EQ(TotalPairText(t.chosen_frames, t.frames), "2(5)");
    EXPECT_EQ(TotalPairText(t.chosen_bytes, t.bytes),
              std::to_string(60 + arp_from(2).size()) + "(" + std::to_string(t.bytes) + ")");
    EXPECT_EQ(DistributionRowTexts(table[0], t.frames),
              (std::array<std::string, 6>{"UDP", "20.00 %", "1", "60", "2", "106"}));
    // No TCP from this source: zeros, the subtotals keep their values.
    std::array<std::string, 6> tcp = DistributionRowTexts(table[1], t.frames);
    EXPECT_EQ(tcp[1], "0.00 %");
    EXPECT_EQ(tcp[2], "0");
    EXPECT_EQ(tcp[3], "0");
    EXPECT_EQ(tcp[4], "2");
    // Back to ALL: the totals again.
    t = ResetDistribution(table, d.store);
    EXPECT_EQ(DistributionRowTexts(table[1], t.frames)[2], "2");
    EXPECT_EQ(TotalPairText(t.chosen_frames, t.frames), "5(5)");
    // A source on a window that is not Ethernet matches nothing.
    t = RecountDistribution(table, d.store, d.index, 0, two);
    EXPECT_EQ(t.chosen_frames, 0u);
}

TEST(Distribution, MarkConditionText) {
    EXPECT_EQ(MarkConditionText(SourceConditionText("ALL"), {}), "なし");
    EXPECT_EQ(MarkConditionText(SourceConditionText("ALL"), {"UDP"}), "送信元ｱﾄﾞﾚｽ(ALL) && ﾌﾟﾛﾄｺﾙ(UDP)");
    EXPECT_EQ(MarkConditionText(SourceConditionText("00:11:22:33:44:02"), {"UDP", "ARP"}),
              "送信元ｱﾄﾞﾚｽ(00:11:22:33:44:02) && ﾌﾟﾛﾄｺﾙ(UDP || ARP)");
}

TEST(Distribution, MarkingSelectedRows) {
    auto marked = [](const FrameStore& s) {
        std::vector<uint32_t> out;
        for (uint32_t i = 0; i < s.frame_count(); ++i)
            if (s.marked(i)) out.push_back(i);
        return out;
    };
    {
        Dist d({sized(1), tcp_from(1), sized(2, 60), arp_from(2), tcp_from(2), sized(1)});
        const auto& table = d.index.distribution();
        // ALL with the UDP and ARP rows.
        EXPECT_EQ(MarkDistribution(*d.window, d.index, {table[0].top_protocol, table[2].top_protocol}, nullptr, 1),
                  4u);
        EXPECT_EQ(marked(d.store), (std::vector<uint32_t>{0, 2, 3, 5}));
        EXPECT_TRUE(d.window->shown_marked(3));
        EXPECT_FALSE(d.window->shown_marked(1));
    }
    {
        Dist d({sized(1), tcp_from(1), sized(2, 60), arp_from(2), tcp_from(2), sized(1)});
        const auto& table = d.index.distribution();
        MacAddress one;
        ASSERT_TRUE(ParseSourceText("00:11:22:33:44:01", one));
        MarkDistribution(*d.window, d.index, {table[0].top_protocol, table[1].top_protocol}, &one, 1);
        EXPECT_EQ(marked(d.store), (std::vector<uint32_t>{0, 1, 5}));
        // Nothing selected: nothing marked.
        EXPECT_EQ(MarkDistribution(*d.window, d.index, {}, nullptr, 1), 0u);
    }
}
