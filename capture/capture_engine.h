#pragma once
// The capture engine: takes frames from an adapter through libpcap on a worker
// thread and appends them to the frame store of one target window. No UI here: the
// window (or the CLI) implements CaptureSink and drives Tick() every 500 ms.
//
// Threads. StartCapture, StopCapture, Tick, FrameTaken, FinishEnded and the
// settings belong to one thread, called the UI thread below. The capture thread
// copies each frame into the store and counts it at once, without waiting for
// anybody; after each read from the kernel's ring it hands the frames of that
// read to the sink as one batch (automatic saving has written them to the file
// by then). The UI thread lists a batch and answers FrameTaken(update). The
// capture thread waits for the UI thread only before it empties the store (when
// automatic saving starts the next file): every batch must be listed first.
//
// The store while a capture runs: the capture thread owns its head (used_bytes,
// frame_count) and everything behind the last frame handed over. The UI thread
// reads frames through the record pointers of the updates (a record stays valid
// and unchanged until an Emptied update arrives) and the counters through
// Readings(); FrameStore::at() and frame_count() are for after the capture. A
// stop can leave counted frames whose batch was not listed yet: after the stop
// the store is the UI thread's, and it lists the frames behind its last row
// (CaptureCatchUp), so list and store agree.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decode/engine.h"
#include "store/capture_file.h"
#include "store/frame_store.h"
#include "store/window_registry.h"

struct pcap;

namespace zelpan {

constexpr int CAPTURE_SNAP_LENGTH = 65535;
constexpr int CAPTURE_READ_TIMEOUT_MS = 1000;
// The kernel hands over a block of frames when it is full or this old, so a
// lone frame still reaches the list at once to the eye.
constexpr int CAPTURE_DELIVERY_MS = 50;
// The most frames one read from the ring (and so one batch to the list) takes.
constexpr int CAPTURE_BATCH_FRAMES = 4096;
// Room kept free behind the records; below it the store counts as full.
constexpr uint32_t CAPTURE_RESERVE = 3068;
constexpr int CAPTURE_TICK_MS = 500;
// The kernel's ring for the adapter. In block mode frames are packed one behind
// the other, so 32 MB holds a couple of hundred thousand small frames: bursts at
// line rate wait there while the capture thread copies.
constexpr int CAPTURE_BUFFER_BYTES = 32 * 1024 * 1024;

// What the settings dialog chooses; kept for the whole run.
struct CaptureSettings {
    std::string adapter;
    std::string filter;   // empty: no filter
    int auto_save = 0;    // 0/1
    int name_form = 0;    // 0 HHMMSSnn, 1 MMDDnnnn, 2 YYYYMMDD_HHMMSS-nn
    int stop_method = 0;  // 0 manual, 1 after stop_time
    uint32_t stop_time = 0;  // seconds
};

enum class FrameAction : int { Added = 1, Emptied = 2 };

// One hand-off from the capture thread to the frame list.
struct FrameListUpdate {
    FrameStore* store = nullptr;
    const uint8_t* record = nullptr;  // the new record (Added); nullptr for Emptied
    DecodeContext* context = nullptr;
    uint32_t index = 0;               // frames counted before it
    uint32_t count = 1;               // frames of the batch (Added): records one behind the other from record
    int32_t link_type = 0;
    FrameAction action = FrameAction::Added;
    uint64_t generation = 0;          // the capture it belongs to
    uint64_t sequence = 0;            // hand-off number within that capture
};

enum class CaptureEndKind { StoreFull, AutoSaveFailed, AdapterFailed };

// After a capture (the thread has ended): the records of store behind the one at
// last (nullptr: from the first), so a list with rows counted up to last_index
// can add the frames the stop left unlisted. Calls add(record, index) in order.
template <class Add>
void CaptureCatchUp(const FrameStore& store, const uint8_t* last, uint32_t rows, Add&& add) {
    uint32_t n = store.frame_count();
    if (rows >= n) return;
    const uint8_t* r = last ? store.next(last, rows) : store.first();
    for (uint32_t i = rows; r && i < n; ++i, r = store.next(r, i)) add(r, i);
}

// A capture that ended by itself.
struct CaptureEnd {
    uint64_t generation = 0;
    CaptureEndKind kind = CaptureEndKind::StoreFull;
    // Frames in the store and the list at the end (StoreFull).
    uint32_t frames_shown = 0;
    // libpcap's reason (AdapterFailed).
    std::string reason;
};
// The line for the information window, CR LF included.
std::string CaptureEndReport(const CaptureEnd& end);

class CaptureSink {
public:
    virtual ~CaptureSink() = default;
    // Capture thread. Pass the update to the UI thread and return without waiting
    // for it; the UI thread ignores it when !engine.IsCurrent(u), otherwise shows
    // it and calls engine.FrameTaken(u).
    virtual void PostFrame(const FrameListUpdate& u) = 0;
    // Capture thread, its last act. The UI thread calls engine.FinishEnded(e); when
    // that is true it shows CaptureEndReport(e).
    virtual void PostEnd(const CaptureEnd& e) = 0;
    // UI thread, during StartCapture: a text to show before the start failure.
    virtual void Warning(const std::string& text) = 0;
};

// The adapters as libpcap lists them, in its order.
struct CaptureDevice {
    std::string name;
    std::string description;
    // What a list shows: the name, then the description in parentheses when
    // libpcap has one. The name alone is what is opened.
    std::string label() const;
};
// Empty on failure, with libpcap's reason in *error.
std::vector<CaptureDevice> ListCaptureDevices(std::string* error = nullptr);

// The target of the start command: the first registered window (slots 1..63,
// stopping at the first empty slot) whose list has no rows, else the command's own
// window when its list has no rows, else none. rows(w) is the row count of w's
// frame list, or -1 when it has none.
template <class Rows>
WindowRegistry::Window ChooseCaptureTarget(const WindowRegistry& registry, WindowRegistry::Window from,
                                           Rows&& rows) {
    for (int s = 1; s < WindowRegistry::SLOTS; ++s) {
        WindowRegistry::Window w = registry.At(s);
        if (!w) break;
        if (rows(w) == 0) return w;
    }
    if (from && rows(from) == 0) return from;
    return nullptr;
}
// Shown when every window holds frames.
extern const char* const NO_CAPTURE_WINDOW_TEXT;

// The per-second counters of the monitor, kept by the capture thread.
struct RateWindows {
    uint64_t start = 0, end = 0;  // milliseconds
    uint32_t bytes = 0, frames = 0;
    uint32_t max_bytes = 0, max_frames = 0;
    uint32_t mark = 0;  // frames of the current window (both marks)
    void reset() { *this = RateWindows{}; }
    // t in milliseconds; first: the first frame counted since the start or since
    // the store was emptied.
    void add(bool first, uint64_t t, uint32_t length);
};

// Counters as the monitor reads them (no lock; momentary inconsistency is fine).
struct MonitorReadings {
    uint32_t ticks = 0;
    uint32_t used_bytes = 0;
    uint32_t frames_counted = 0;
    uint32_t capacity = 0;  // of the store, head included
    uint32_t bytes_mark = 0, frames_mark = 0;
    uint32_t window_bytes = 0, window_frames = 0;
    uint32_t max_bytes = 0, max_frames = 0;
};

struct CaptureStats {
    bool valid = false;
    uint32_t received = 0;           // ps_recv
    uint32_t dropped = 0;            // ps_drop: no room in the buffer
    uint32_t interface_dropped = 0;  // ps_ifdrop
};

struct CaptureTarget {
    FrameStore* store = nullptr;
    DecodeContext* context = nullptr;
    // Optional: the engine empties slot 0 whenever the capture ends.
    WindowRegistry* registry = nullptr;
    WindowRegistry::Window window = nullptr;
};

// The parameter block of one capture; the capture thread's own state.
struct CCapPars;

class CCaptureEngine {
public:
    CCaptureEngine();
    ~CCaptureEngine();  // stops a running capture
    CCaptureEngine(const CCaptureEngine&) = delete;
    CCaptureEngine& operator=(const CCaptureEngine&) = delete;

    CaptureSettings& settings() { return settings_; }
    const CaptureSettings& settings() const { return settings_; }
    // Where automatic-save files go (the start-up directory).
    void set_startup_directory(std::string dir) { startup_directory_ = std::move(dir); }
    // Tests: a smaller store, so that it fills quickly (0: the normal 12,000,000).
    void set_store_capacity(uint32_t capacity) { capacity_override_ = capacity; }

    // Allocates the target's store, opens the adapter and starts the thread.
    // "" when the capture runs, else the error text (libpcap's reason, where it
    // gives one, on a line of its own after it).
    std::string StartCapture(const CaptureTarget& target, CaptureSink& sink);
    // "Capture can't be started.  \n" + the error text.
    static std::string StartFailureMessage(const std::string& error);

    // The user's stop. False when no capture ran. Never waits for the UI thread.
    bool StopCapture();
    // The 500 ms timer. True when the stop time was reached and the capture stopped.
    bool Tick();
    // The UI thread's answer to the sink's PostEnd: true when e belongs to the
    // running capture, which is then over.
    bool FinishEnded(const CaptureEnd& e);

    // Updates of a stopped or earlier capture are stale and must be ignored.
    bool IsCurrent(const FrameListUpdate& u) const { return running_ && u.generation == generation_; }
    // The UI thread has shown u; the capture thread goes on.
    void FrameTaken(const FrameListUpdate& u);

    bool Running() const { return running_; }
    int32_t link_type() const { return link_type_; }
    uint32_t ticks() const { return ticks_.load(std::memory_order_relaxed); }
    uint32_t frames_counted() const { return frames_counted_.load(std::memory_order_relaxed); }
    MonitorReadings Readings() const;
    // libpcap's counters, taken when the last capture ended.
    const CaptureStats& last_stats() const { return last_stats_; }
    // Path of the current (or last) automatic-save file.
    const std::string& auto_save_path() const { return auto_save_.current_path; }

private:
    friend struct CCapPars;
    std::string OpenCapture(const std::string* filter);
    void Finish();
    void ThreadMain(CCapPars* p);
    void HandleFrame(CCapPars& p, uint32_t seconds, uint32_t microseconds, const uint8_t* bytes,
                     uint32_t length);
    void HandOff(CCapPars& p, FrameListUpdate& u);
    // Writes the batch's frames to the automatic-save file, then posts the batch.
    void FlushBatch(CCapPars& p);
    // Waits until every update posted so far is taken; false when a stop came first.
    bool WaitTaken(CCapPars& p);
    void Count(CCapPars& p, uint32_t seconds, uint32_t microseconds, uint32_t length);
    bool EmptyStore(CCapPars& p);
    void EndFromThread(CCapPars& p, CaptureEndKind kind, std::string reason = {});
    void Publish(const CCapPars& p);

    // UI thread.
    CaptureSettings settings_;
    std::string startup_directory_;
    uint32_t capacity_override_ = 0;
    bool running_ = false;
    CaptureTarget target_;
    CaptureSink* sink_ = nullptr;
    pcap* handle_ = nullptr;
    std::unique_ptr<char[]> error_buffer_;
    std::unique_ptr<CCapPars> pars_;
    std::thread thread_;
    int32_t link_type_ = 0;
    uint32_t capacity_ = 0;
    CaptureStats last_stats_;
    // Used by the capture thread while it runs, by the UI thread otherwise.
    AutoSaveState auto_save_;

    // Shared between the threads.
    uint64_t generation_ = 0;  // changed only while no capture thread runs
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;
    std::condition_variable taken_;
    uint64_t taken_sequence_ = 0;  // guarded by mutex_

    // Written by the capture thread (ticks also by Tick), read by the monitor.
    std::atomic<uint32_t> ticks_{0};
    std::atomic<uint32_t> frames_counted_{0};
    std::atomic<uint32_t> used_bytes_{0};
    std::atomic<uint32_t> mark_{0};
    std::atomic<uint32_t> window_bytes_{0}, window_frames_{0};
    std::atomic<uint32_t> max_bytes_{0}, max_frames_{0};
};

}  // namespace zelpan
