#pragma once
// What the capture settings dialog and the capture monitor show, worked out here
// so that the dialogs only display it.
#include <cstdint>
#include <string>
#include <vector>

#include "capture/capture_engine.h"

namespace zelpan {

// ---- settings dialog ----

extern const char* const STOP_METHOD_ENTRIES[2];   // "手動", "時間"
extern const char* const STOP_HOUR_ENTRIES[7];     // "00".."06"
extern const char* const STOP_MINUTE_ENTRIES[6];   // "00".."50"
extern const char* const STOP_SECOND_ENTRIES[6];   // "00".."50"
extern const char* const NAME_FORM_ENTRIES[3];     // "HHMMSSnn", "MMDDnnnn", "YYYYMMDD_HHMMSS-nn"
extern const char* const NO_FILTER_ENTRY;          // "適用しない"

// The entries of the three time lists selected for a stored stop time.
struct StopTimeSelection {
    int hours = 0, minutes = 0, seconds = 0;
};
StopTimeSelection SelectStopTimeLists(uint32_t stop_time);
// hours × 3600 + minutes × 60 + seconds, each text read as a decimal number.
uint32_t StopTimeFromLists(const std::string& hours, const std::string& minutes, const std::string& seconds);

// The dialog's state between opening and confirming.
class CaptureSettingsForm {
public:
    // Opening: from the engine's settings; adapter and filter start empty.
    explicit CaptureSettingsForm(const CaptureSettings& stored);

    void ChooseAdapter(const std::string& name) { adapter = name; }
    void ChooseFilter(const std::string& expression) { filter = expression; }
    void ChooseStopMethod(int index) { stop_method = index; }
    void ChooseHours(int index);
    void ChooseMinutes(int index);
    void ChooseSeconds(int index);

    // OK: copies into the engine's settings. True when a capture may start
    // (confirmed with an adapter).
    bool Confirm(CaptureSettings& engine) const;

    std::string adapter, filter;
    int auto_save = 0, name_form = 0, stop_method = 0;
    uint32_t stop_time = 0;
    StopTimeSelection selection;
    std::string hours_text, minutes_text, seconds_text;

private:
    void Recompute();
};

// ---- monitor ----

constexpr uint32_t MONITOR_BYTE_RANGE = 5000;
constexpr uint32_t MONITOR_FRAME_RANGE = 500;

// The marks seen at the previous refresh.
struct MonitorMarks {
    uint32_t bytes = 0, frames = 0;
};

struct MonitorView {
    std::string bytes_per_second, max_bytes_per_second;    // "%12lu"
    std::string frames_per_second, max_frames_per_second;  // "%12lu"
    std::string elapsed;                                   // "%02lu:%02lu:%02lu.%lu"
    std::string total_bytes, total_frames;                 // "%16lu"
    std::string store_use;                                 // "%6.2lf %%"
    std::string byte_label, frame_label;                   // labels at the bars' upper ends
    uint32_t byte_bar = 0, frame_bar = 0;                  // positions, within their ranges
};
// The texts a new monitor shows before its first refresh.
MonitorView InitialMonitorView();
// One refresh (every tick); updates the marks seen.
MonitorView RefreshMonitor(MonitorMarks& seen, const MonitorReadings& r);

}  // namespace zelpan
