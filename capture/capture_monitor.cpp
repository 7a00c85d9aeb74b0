#include "capture/capture_monitor.h"

#include <cstdio>
#include <cstdlib>

namespace zelpan {

const char* const STOP_METHOD_ENTRIES[2] = {"手動", "時間"};
const char* const STOP_HOUR_ENTRIES[7] = {"00", "01", "02", "03", "04", "05", "06"};
const char* const STOP_MINUTE_ENTRIES[6] = {"00", "10", "20", "30", "40", "50"};
const char* const STOP_SECOND_ENTRIES[6] = {"00", "10", "20", "30", "40", "50"};
const char* const NAME_FORM_ENTRIES[3] = {"HHMMSSnn", "MMDDnnnn", "YYYYMMDD_HHMMSS-nn"};
const char* const NO_FILTER_ENTRY = "適用しない";

StopTimeSelection SelectStopTimeLists(uint32_t t) {
    StopTimeSelection s;
    s.seconds = int((t % 60) / 10);
    s.minutes = int(((t / 60) % 60) / 10);
    s.hours = int((t / 3600) % 24);
    if (s.hours >= 7) s.hours = 0;
    return s;
}

static uint32_t decimal(const std::string& text) { return uint32_t(std::strtoul(text.c_str(), nullptr, 10)); }

uint32_t StopTimeFromLists(const std::string& hours, const std::string& minutes, const std::string& seconds) {
    return decimal(hours) * 3600 + decimal(minutes) * 60 + decimal(seconds);
}

CaptureSettingsForm::CaptureSettingsForm(const CaptureSettings& stored)
    : auto_save(stored.auto_save == 1 ? 1 : 0),
      name_form(stored.name_form >= 0 && stored.name_form <= 2 ? stored.name_form : 0),
      stop_method(stored.stop_method == 1 ? 1 : 0),
      stop_time(stored.stop_time),
      selection(SelectStopTimeLists(stored.stop_time)) {
    hours_text = STOP_HOUR_ENTRIES[selection.hours];
    minutes_text = STOP_MINUTE_ENTRIES[selection.minutes];
    seconds_text = STOP_SECOND_ENTRIES[selection.seconds];
}

void CaptureSettingsForm::Recompute() { stop_time = StopTimeFromLists(hours_text, minutes_text, seconds_text); }

void CaptureSettingsForm::ChooseHours(int index) {
    if (index < 0 || index >= 7) return;
    selection.hours = index;
    hours_text = STOP_HOUR_ENTRIES[index];
    Recompute();
}

void CaptureSettingsForm::ChooseMinutes(int index) {
    if (index < 0 || index >= 6) return;
    selection.minutes = index;
    minutes_text = STOP_MINUTE_ENTRIES[index];
    Recompute();
}

void CaptureSettingsForm::ChooseSeconds(int index) {
    if (index < 0 || index >= 6) return;
    selection.seconds = index;
    seconds_text = STOP_SECOND_ENTRIES[index];
    Recompute();
}

bool CaptureSettingsForm::Confirm(CaptureSettings& engine) const {
    if (adapter.empty()) return false;
    engine.adapter = adapter;
    engine.filter = filter;
    engine.auto_save = auto_save;
    engine.name_form = name_form;
    engine.stop_method = stop_method == 1 && stop_time != 0 ? 1 : 0;
    engine.stop_time = stop_time;
    return true;
}

static std::string lu(const char* format, unsigned long v) {
    char text[48];
    std::snprintf(text, sizeof text, format, v);
    return text;
}

MonitorView InitialMonitorView() {
    MonitorView v;
    v.byte_label = "5000";
    v.frame_label = "500";
    v.elapsed = "00.00.00.000";
    v.bytes_per_second = v.max_bytes_per_second = v.frames_per_second = v.max_frames_per_second = "0";
    v.total_bytes = v.total_frames = "0";
    v.store_use = "      0.00 %";
    return v;
}

MonitorView RefreshMonitor(MonitorMarks& seen, const MonitorReadings& r) {
    MonitorView v;
    uint32_t bps = r.bytes_mark != 0 && r.bytes_mark != seen.bytes ? r.window_bytes : 0;
    seen.bytes = r.bytes_mark;
    uint32_t fps = r.frames_mark != 0 && r.frames_mark != seen.frames ? r.window_frames : 0;
    seen.frames = r.frames_mark;

    unsigned long tenths = (unsigned long)r.ticks * 5;
    unsigned long seconds = tenths / 10, minutes = seconds / 60, hours = minutes / 60;
    char elapsed[64];
    std::snprintf(elapsed, sizeof elapsed, "%02lu:%02lu:%02lu.%lu", hours % 24, minutes % 60, seconds % 60,
                  tenths % 10);
    v.elapsed = elapsed;

    // The counters are read without a lock; never show a wrapped difference.
    uint64_t headers = uint64_t(RECORD_HEADER) * r.frames_counted;
    v.total_bytes = lu("%16lu", r.used_bytes > headers ? (unsigned long)(r.used_bytes - headers) : 0);
    v.total_frames = lu("%16lu", r.frames_counted);

    double use = 0;
    if (r.used_bytes != 0 && r.capacity > STORE_HEAD)
        use = double(r.used_bytes) / double(r.capacity - STORE_HEAD) * 100.0;
    char text[48];
    std::snprintf(text, sizeof text, "%6.2lf %%", use);
    v.store_use = text;

    v.bytes_per_second = lu("%12lu", bps);
    v.max_bytes_per_second = lu("%12lu", r.max_bytes);
    v.frames_per_second = lu("%12lu", fps);
    v.max_frames_per_second = lu("%12lu", r.max_frames);
    // Above its range a bar is full and its label shows the maximum reached.
    v.byte_label = bps > MONITOR_BYTE_RANGE ? lu("%lu", r.max_bytes) : lu("%lu", MONITOR_BYTE_RANGE);
    v.byte_bar = bps > MONITOR_BYTE_RANGE ? MONITOR_BYTE_RANGE : bps;
    v.frame_label = fps > MONITOR_FRAME_RANGE ? lu("%lu", r.max_frames) : lu("%lu", MONITOR_FRAME_RANGE);
    v.frame_bar = fps > MONITOR_FRAME_RANGE ? MONITOR_FRAME_RANGE : fps;
    return v;
}

}  // namespace zelpan
