#include "stats/traffic.h"

#include <algorithm>
#include <cstdio>
#include <unordered_set>

namespace zelpan {

uint64_t record_ms(const uint8_t* r) {
    return uint64_t(record_seconds(r)) * 1000 + record_microseconds(r) / 1000;
}

bool record_source(const uint8_t* r, MacAddress& out) {
    if (record_length(r) < 12) return false;
    std::copy_n(record_bytes(r) + 6, 6, out.begin());
    return true;
}

namespace {

uint64_t mac_key(const MacAddress& a) {
    uint64_t k = 0;
    for (uint8_t b : a) k = k << 8 | b;
    return k;
}

// Collects source addresses in order of first appearance.
struct SourceList {
    std::vector<MacAddress>& out;
    std::unordered_set<uint64_t> seen;
    uint64_t last = UINT64_MAX;  // runs of one sender are the common case
    void add(const uint8_t* r) {
        MacAddress a;
        if (!record_source(r, a)) return;
        uint64_t k = mac_key(a);
        if (k == last) return;
        last = k;
        if (seen.insert(k).second) out.push_back(a);
    }
};

// The end of the second that holds t, for a current second ending at end < t.
uint64_t advance_end(uint64_t end, uint64_t t) { return end + (t - end + 999) / 1000 * 1000; }

}  // namespace

std::vector<MacAddress> SourceAddresses(const FrameStore& store, int link_type) {
    std::vector<MacAddress> out;
    if (link_type != 1) return out;
    SourceList list{out, {}};
    const uint8_t* r = store.first();
    for (uint32_t i = 0; r && i < store.frame_count(); ++i, r = store.next(r, i)) list.add(r);
    return out;
}

std::string SourceText(const MacAddress& a) {
    char buf[18];
    std::snprintf(buf, sizeof buf, "%02X:%02X:%02X:%02X:%02X:%02X", a[0], a[1], a[2], a[3], a[4], a[5]);
    return buf;
}

bool ParseSourceText(const std::string& text, MacAddress& out) {
    if (text.size() != 17) return false;
    auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    for (int k = 0; k < 6; ++k) {
        int hi = digit(text[size_t(k) * 3]), lo = digit(text[size_t(k) * 3 + 1]);
        if (hi < 0 || lo < 0) return false;
        if (k < 5 && text[size_t(k) * 3 + 2] != ':') return false;
        out[size_t(k)] = uint8_t(hi << 4 | lo);
    }
    return true;
}

TrafficResults ComputeTraffic(const FrameStore& store, int link_type) {
    TrafficResults r;
    SourceList sources{r.sources, {}};
    uint64_t end = 0, frames = 0, bytes = 0;
    auto close = [&](int32_t frame_number) {
        if (frames > r.peak_fps) r.peak_fps = frames, r.peak_fps_frame = frame_number;
        if (bytes > r.peak_bps) r.peak_bps = bytes, r.peak_bps_frame = frame_number;
    };
    const uint8_t* rec = store.first();
    uint32_t n = store.frame_count();
    uint32_t i = 0;
    for (; rec && i < n; ++i, rec = store.next(rec, i)) {
        uint64_t t = record_ms(rec);
        uint32_t len = record_length(rec);
        if (i == 0) {
            r.first_time = t;
            end = t + 1000;
        }
        if (t <= end) {
            frames += 1;
            bytes += len;
        } else {
            // The frame being read is the i-th (0-based), so the closed second's
            // last frame has number i.
            close(int32_t(i));
            frames = 1;
            bytes = len;
            end = advance_end(end, t);
        }
        r.total_frames += 1;
        r.total_bytes += len;
        r.last_time = t;
        if (link_type == 1) sources.add(rec);
    }
    if (i > 0) close(int32_t(i));
    // Time stamps running backwards give no span rather than a wrapped one.
    r.span = r.last_time > r.first_time ? r.last_time - r.first_time : 0;
    return r;
}

std::string TrafficFrameText(const TrafficResults& r) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%lld : MAX FPS %lld(%d)", (long long)r.total_frames, (long long)r.peak_fps,
                  r.peak_fps_frame);
    return buf;
}

std::string TrafficByteText(const TrafficResults& r) {
    char buf[96];
    std::snprintf(buf, sizeof buf, "%lld : MAX BPS %lld(%d)", (long long)r.total_bytes, (long long)r.peak_bps,
                  r.peak_bps_frame);
    return buf;
}

std::string SpanText(uint64_t span) {
    char buf[64];
    uint64_t s = span / 1000;
    std::snprintf(buf, sizeof buf, "%lld:%02d:%02d.%03d", (long long)(s / 3600), int(s / 60 % 60), int(s % 60),
                  int(span % 1000));
    return buf;
}

uint64_t UnitPeak(const TrafficResults& r, int unit) { return unit == UNIT_BYTE ? r.peak_bps : r.peak_fps; }
int32_t UnitPeakFrame(const TrafficResults& r, int unit) {
    return unit == UNIT_BYTE ? r.peak_bps_frame : r.peak_fps_frame;
}

uint64_t GridStep(uint64_t peak) {
    if (peak <= 1) return 0;
    for (uint64_t decade = 1; decade <= 100000; decade *= 10)
        for (uint64_t m : {1, 2, 5}) {
            uint64_t s = decade * m;
            uint64_t q = peak / s;
            if (q >= 1 && q <= 4) return s;
        }
    return 0;
}

std::vector<uint64_t> GridValues(uint64_t peak) {
    std::vector<uint64_t> out;
    uint64_t s = GridStep(peak);
    if (!s) return out;
    for (uint64_t k = 1; k <= peak / s; ++k) out.push_back(k * s);
    return out;
}

namespace {

void update_buttons(TrafficView& v) {
    v.left_enabled = v.factor > 1 && v.page > 0;
    v.right_enabled = v.factor > 1 && v.page < v.factor - 1;
}

}  // namespace

TrafficView InitialView(const TrafficResults& r) {
    TrafficView v;
    v.start = r.first_time;
    v.width = r.span;
    v.tick_step = r.span / 4;
    return v;
}

bool SetZoom(TrafficView& v, const TrafficResults& r, int factor) {
    if (factor == v.factor) return true;
    if (factor < 1 || r.span / uint64_t(factor) == 0) return false;
    int f0 = v.factor;
    v.width = r.span / uint64_t(factor);
    v.tick_step = r.span / (4 * uint64_t(factor));
    if (factor == 1) {
        v.start = r.first_time;
        v.page = 0;
    } else {
        v.page = factor > f0 ? v.page * (factor / f0) : v.page / (f0 / factor);
        v.page = std::clamp(v.page, 0, factor - 1);
        // Zooming out from a late page keeps the start; the view must not run past
        // the last frame.
        if (v.start < r.first_time) v.start = r.first_time;
        if (v.start + v.width > r.last_time) v.start = r.last_time - v.width;
    }
    v.factor = factor;
    update_buttons(v);
    return true;
}

void ScrollLeft(TrafficView& v, const TrafficResults& r) {
    if (r.span == 0 || v.page <= 0) return;
    --v.page;
    if (v.page == 0) v.start = r.first_time;
    else v.start = v.start - r.first_time > v.width ? v.start - v.width : r.first_time;
    update_buttons(v);
}

void ScrollRight(TrafficView& v, const TrafficResults& r) {
    if (r.span == 0 || v.page >= v.factor - 1) return;
    ++v.page;
    if (v.page == v.factor - 1) v.start = r.last_time - v.width;
    else v.start = std::min(v.start + v.width, r.last_time - v.width);
    update_buttons(v);
}

std::string TimeTickText(uint64_t ms) {
    char buf[64];
    uint64_t s = ms / 1000;
    int frac = int(ms % 1000);
    if (ms < 60000) std::snprintf(buf, sizeof buf, "%02d.%03d", int(s), frac);
    else if (ms < 3600000) std::snprintf(buf, sizeof buf, "%02d:%02d.%03d", int(s / 60), int(s % 60), frac);
    else std::snprintf(buf, sizeof buf, "%lld:%02d:%02d.%03d", (long long)(s / 3600), int(s / 60 % 60),
                       int(s % 60), frac);
    return buf;
}

std::vector<TimeTick> TimeTicks(const TrafficView& v, const TrafficResults& r) {
    std::vector<TimeTick> out;
    int n = r.span == 0 ? 1 : 5;
    out.reserve(size_t(n));
    for (int k = 0; k < n; ++k) {
        uint64_t t = v.start + uint64_t(k) * v.tick_step;
        out.push_back({t, TimeTickText(t - r.first_time)});
    }
    return out;
}

int GraphColumn(uint64_t t, const TrafficView& v, int columns) {
    if (columns <= 0 || t < v.start || t - v.start > v.width) return -1;
    if (v.width == 0) return 0;
    return int((t - v.start) * uint64_t(columns - 1) / v.width);
}

TrafficGraph ComputeTrafficGraph(const FrameStore& store, const TrafficResults& r, int link_type, int unit,
                                 const MacAddress* source, const TrafficView& v, int columns) {
    TrafficGraph g;
    g.columns.resize(size_t(std::max(columns, 0)));
    const bool filter = source && link_type == 1;
    const int32_t peak_frame = UnitPeakFrame(r, unit);
    uint64_t end = 0, frames = 0, bytes = 0;
    auto value = [&] { return unit == UNIT_BYTE ? bytes : frames; };
    const uint8_t* rec = store.first();
    uint32_t n = store.frame_count();
    uint32_t i = 0;
    for (; rec && i < n; ++i, rec = store.next(rec, i)) {
        uint64_t t = record_ms(rec);
        uint32_t len = record_length(rec);
        bool counted = true;
        if (filter) {
            MacAddress a;
            counted = record_source(rec, a) && a == *source;
        }
        if (i == 0) {
            end = t + 1000;
            g.line.push_back({t, 0});
        }
        if (t > end) {
            g.line.push_back({end, value()});
            uint64_t next = advance_end(end, t);
            // Seconds without frames bring the line back to the baseline.
            if (next - end > 1000) {
                g.line.push_back({end + 1000, 0});
                if (next - end > 2000) g.line.push_back({next - 1000, 0});
            }
            end = next;
            frames = bytes = 0;
        }
        if (!counted) continue;
        frames += 1;
        bytes += len;
        int c = GraphColumn(t, v, columns);
        if (c < 0) continue;
        BarColour colour = int32_t(i + 1) == peak_frame    ? BAR_PEAK
                           : (record_flags(rec) & 1) != 0 ? BAR_MARKED
                                                          : BAR_NORMAL;
        std::vector<Bar>& col = g.columns[size_t(c)];
        uint64_t h = value();
        // A bar covers every lower part drawn before it.
        while (!col.empty() && col.back().height <= h) col.pop_back();
        col.push_back({h, colour});
    }
    if (i > 0) g.line.push_back({r.last_time, value()});
    return g;
}

std::array<TrafficSlot, TRAFFIC_SLOTS> BuildTrafficSlots(const std::vector<LinePoint>& line,
                                                         const TrafficResults& r) {
    std::array<TrafficSlot, TRAFFIC_SLOTS> slots{};
    const uint64_t w = r.span / TRAFFIC_SLOTS;
    for (int k = 0; k < TRAFFIC_SLOTS; ++k) slots[size_t(k)].start = r.first_time + uint64_t(k) * w;
    if (w == 0 || line.size() < 2) return slots;
    // Second boundaries: every point but the start and the end at the last frame.
    for (size_t j = 1; j + 1 < line.size(); ++j) {
        const LinePoint& p = line[j];
        if (p.time < r.first_time) continue;
        size_t k = std::min<uint64_t>((p.time - r.first_time) / w, TRAFFIC_SLOTS - 1);
        TrafficSlot& s = slots[k];
        if (!s.has_boundary) {
            s.has_boundary = true;
            s.first_time = p.time;
            s.first_height = p.value;
        }
        s.last_time = p.time;
        s.last_height = p.value;
    }
    // Each slot starts where the line is at its start time (points are in time order).
    size_t j = 0;
    for (TrafficSlot& s : slots) {
        while (j < line.size() && line[j].time <= s.start) ++j;
        if (j == 0) s.start_height = 0;
        else if (j == line.size()) s.start_height = line.back().value;
        else {
            const LinePoint& a = line[j - 1];
            const LinePoint& b = line[j];
            uint64_t dt = b.time - a.time;
            uint64_t x = s.start - a.time;
            // Linear between the neighbours, never below the baseline.
            s.start_height = b.value >= a.value ? a.value + (b.value - a.value) * x / dt
                                                : a.value - (a.value - b.value) * x / dt;
        }
    }
    return slots;
}

std::vector<LinePoint> SlotLine(const std::array<TrafficSlot, TRAFFIC_SLOTS>& slots,
                                const std::vector<LinePoint>& line) {
    // The points are counted first, so that the line is made in one piece.
    size_t count = 0;
    uint64_t last = 0;
    for (const TrafficSlot& s : slots) {
        if (count && last > s.start) continue;
        count += 1;
        last = s.start;
        if (!s.has_boundary) continue;
        count += 1;
        last = s.first_time;
        if (s.last_time != s.first_time) count += 1, last = s.last_time;
    }
    std::vector<LinePoint> out;
    out.reserve(count + (line.empty() ? 0 : 1));
    for (const TrafficSlot& s : slots) {
        if (!out.empty() && out.back().time > s.start) continue;
        out.push_back({s.start, s.start_height});
        if (!s.has_boundary) continue;
        out.push_back({s.first_time, s.first_height});
        if (s.last_time != s.first_time) out.push_back({s.last_time, s.last_height});
    }
    if (!line.empty()) out.push_back(line.back());
    return out;
}

}  // namespace zelpan
