#pragma once
// Traffic statistics of one window's frames: frames and bytes per second over the
// capture, their peaks, the totals and the span, and what the traffic graph draws
// (per-second line, per-frame bars, axes, zoom and pages). Plain computations over
// the FrameStore; the page in ui/ only paints them.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "store/frame_store.h"

namespace zelpan {

using MacAddress = std::array<uint8_t, 6>;

// Capture time of a record in milliseconds.
uint64_t record_ms(const uint8_t* r);
// The Ethernet source address of a record (frame bytes 6..11); false when the
// frame is shorter than that.
bool record_source(const uint8_t* r, MacAddress& out);

// Ethernet source addresses in order of first appearance (none unless the link
// type is 1), as the two pages' source combos list them after "ALL".
std::vector<MacAddress> SourceAddresses(const FrameStore& store, int link_type);
// Six upper-case hex pairs joined by ":".
std::string SourceText(const MacAddress& a);
// Pairs of hex digits (either case) separated by ":"; false when the text is not one.
bool ParseSourceText(const std::string& text, MacAddress& out);

constexpr int TRAFFIC_SLOTS = 64;

// One 64th of the span, for the per-second line at zoom X1: the first and last
// second boundary that falls into it, and the line's height where it starts.
struct TrafficSlot {
    uint64_t start = 0;  // ms
    bool has_boundary = false;
    uint64_t first_time = 0, last_time = 0;
    uint64_t first_height = 0, last_height = 0;
    uint64_t start_height = 0;
};

struct TrafficResults {
    int64_t total_frames = 0;
    int64_t total_bytes = 0;
    uint64_t first_time = 0, last_time = 0, span = 0;  // ms
    uint64_t peak_fps = 0;
    int32_t peak_fps_frame = 0;  // number of the frame that ends the peak second
    uint64_t peak_bps = 0;
    int32_t peak_bps_frame = 0;
    std::vector<MacAddress> sources;
};

// One walk over the store. Seconds are 1000 ms counted from the first frame, each
// including its end; a tie keeps the earlier second as the peak.
TrafficResults ComputeTraffic(const FrameStore& store, int link_type);

// The page's three texts.
std::string TrafficFrameText(const TrafficResults& r);  // "%ld : MAX FPS %ld(%d)"
std::string TrafficByteText(const TrafficResults& r);   // "%ld : MAX BPS %ld(%d)"
std::string SpanText(uint64_t span_ms);                 // "%d:%02d:%02d.%03d"

enum TrafficUnit { UNIT_FRAME = 0, UNIT_BYTE = 1 };
uint64_t UnitPeak(const TrafficResults& r, int unit);
int32_t UnitPeakFrame(const TrafficResults& r, int unit);

// Value axis: the grid step for a peak (1, 2, 5, 10, ... 500000, the first giving
// 1 to 4 lines), 0 when none fits or the peak is 1 or less; the grid values.
uint64_t GridStep(uint64_t peak);
std::vector<uint64_t> GridValues(uint64_t peak);

// Zoom and page of the time axis.
constexpr int ZOOM_FACTORS[] = {1, 2, 4, 8, 16, 32, 64};
struct TrafficView {
    int factor = 1;
    int page = 0;
    uint64_t start = 0;      // ms
    uint64_t width = 0;      // span / factor
    uint64_t tick_step = 0;  // span / (4 factor)
    bool left_enabled = false, right_enabled = false;
};
// Page 0 of X1.
TrafficView InitialView(const TrafficResults& r);
// False when the zoom is refused (span / factor is 0); the view is then unchanged.
bool SetZoom(TrafficView& v, const TrafficResults& r, int factor);
void ScrollLeft(TrafficView& v, const TrafficResults& r);
void ScrollRight(TrafficView& v, const TrafficResults& r);

struct TimeTick {
    uint64_t time;  // ms
    std::string text;
};
// Time since the first frame: "%02d.%03d", "%02d:%02d.%03d" or "%d:%02d:%02d.%03d".
std::string TimeTickText(uint64_t since_first_ms);
// One tick when the span is 0, else five.
std::vector<TimeTick> TimeTicks(const TrafficView& v, const TrafficResults& r);

// What the graph draws for one unit, one source filter and one view.
enum BarColour : uint8_t { BAR_NORMAL = 0, BAR_MARKED = 1, BAR_PEAK = 2 };
struct Bar {
    uint64_t height;
    BarColour colour;
};
struct LinePoint {
    uint64_t time;  // ms
    uint64_t value;
};
struct TrafficGraph {
    // Per column of the graph, what frames drawn into it leave visible: heights
    // falling from the first entry, each painted in its colour from the next
    // entry's height up to its own (later frames are drawn over earlier ones).
    std::vector<std::vector<Bar>> columns;
    // The per-second line: from the first frame at 0, each second's total at its
    // end, empty seconds back at 0, ending at the last frame's time.
    std::vector<LinePoint> line;
};
// source: nullptr for all frames. columns: pixel columns across view.width.
TrafficGraph ComputeTrafficGraph(const FrameStore& store, const TrafficResults& r, int link_type, int unit,
                                 const MacAddress* source, const TrafficView& v, int columns);
// The column of time t, or -1 outside the view.
int GraphColumn(uint64_t t, const TrafficView& v, int columns);

// The line collected into the 64 slots (span of 64 ms or more), and the line drawn
// through them.
std::array<TrafficSlot, TRAFFIC_SLOTS> BuildTrafficSlots(const std::vector<LinePoint>& line,
                                                         const TrafficResults& r);
std::vector<LinePoint> SlotLine(const std::array<TrafficSlot, TRAFFIC_SLOTS>& slots,
                                const std::vector<LinePoint>& line);

}  // namespace zelpan
