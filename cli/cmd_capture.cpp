// interfaces and capture: the capture engine, headless. The main thread plays the
// window: it takes each frame, decodes it in summary mode and acknowledges it.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "capture/capture_engine.h"
#include "capture/capture_monitor.h"
#include "capture/queued_sink.h"
#include "cli/cli.h"
#include "store/capture_file.h"

namespace zcli {

namespace {

constexpr int EXIT_ENDED = 1;  // the capture ended by itself on a failure

volatile std::sig_atomic_t g_stop_signal = 0;
extern "C" void on_stop_signal(int) { g_stop_signal = 1; }

int run_interfaces(const Args& args) {
    if (!args.empty()) return usage_error(interfaces_command, "no arguments expected");
    std::string error;
    std::vector<zelpan::CaptureDevice> devices = zelpan::ListCaptureDevices(&error);
    if (!error.empty()) {
        std::fprintf(stderr, "zelpan-cli interfaces: %s\n", error.c_str());
        return EXIT_FILE;
    }
    if (devices.empty()) std::fprintf(stderr, "zelpan-cli interfaces: libpcap lists no capture device\n");
    for (const auto& d : devices) std::printf("%s\n", d.label().c_str());
    return std::fflush(stdout) == 0 ? EXIT_OK : EXIT_FILE;
}

bool parse_count(const std::string& text, unsigned long& out) {
    if (text.empty() || text[0] == '-') return false;
    char* end = nullptr;
    errno = 0;
    out = std::strtoul(text.c_str(), &end, 10);
    return *end == 0 && errno == 0;
}

int name_form_of(const std::string& text) {
    for (int i = 0; i < 3; ++i)
        if (text == std::to_string(i) || text == zelpan::NAME_FORM_ENTRIES[i]) return i;
    return -1;
}

struct Options {
    std::string adapter, filter, out;
    unsigned long count = 0;
    unsigned long seconds = 0;
    bool timed = false;
    int auto_save_form = -1;
};

int parse_options(const Args& args, Options& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& v) {
            if (i + 1 >= args.size()) return false;
            v = args[++i];
            return true;
        };
        std::string v;
        if (a == "-i") {
            if (!value(o.adapter)) return usage_error(capture_command, "-i needs an interface");
        } else if (a == "-f") {
            if (!value(o.filter)) return usage_error(capture_command, "-f needs a filter expression");
        } else if (a == "-c") {
            if (!value(v) || !parse_count(v, o.count) || o.count == 0)
                return usage_error(capture_command, "-c needs a frame count of 1 or more");
        } else if (a == "-t") {
            if (!value(v) || !parse_count(v, o.seconds) || o.seconds > 0xFFFFFFFFul)
                return usage_error(capture_command, "-t needs a number of seconds");
            o.timed = true;
        } else if (a == "-w") {
            if (!value(o.out) || o.out.empty()) return usage_error(capture_command, "-w needs a file name");
        } else if (a == "--auto-save") {
            if (!value(v) || (o.auto_save_form = name_form_of(v)) < 0)
                return usage_error(capture_command,
                                   "--auto-save needs 0, 1, 2, HHMMSSnn, MMDDnnnn or YYYYMMDD_HHMMSS-nn");
        } else {
            return usage_error(capture_command, "unknown argument '" + a + "'");
        }
    }
    if (o.adapter.empty()) return usage_error(capture_command, "an interface (-i) expected");
    return EXIT_OK;
}

// Prints one summary line in the layout of "zelpan-cli summary".
void print_summary(zelpan::DecodeContext& c, const uint8_t* record, uint32_t index, int32_t link_type) {
    if (index == 0) c.first_time = c.previous_time = zelpan::record_time(record);
    zelpan::clear_columns(c, long(index));
    zelpan::decode_frame(0, record, link_type, int32_t(index + 1));
    std::printf("%ld", long(index) + 1);
    for (int k = 1; k <= 5; ++k) {
        std::putchar('\t');
        std::fputs(c.columns[k], stdout);
    }
    std::putchar('\n');
}

int run_capture(const Args& args) {
    Options o;
    if (int rc = parse_options(args, o); rc != EXIT_OK) return rc;

    zelpan::CCaptureEngine engine;
    zelpan::CaptureSettings& s = engine.settings();
    s.adapter = o.adapter;
    s.filter = o.filter;
    s.auto_save = o.auto_save_form >= 0 ? 1 : 0;
    s.name_form = o.auto_save_form >= 0 ? o.auto_save_form : 0;
    s.stop_method = o.timed ? 1 : 0;
    s.stop_time = uint32_t(o.seconds);

    zelpan::FrameStore store;
    zelpan::DecodeContext context;
    zelpan::QueuedCaptureSink sink;
    zelpan::make_current(&context);

    struct sigaction sa {};
    sa.sa_handler = on_stop_signal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);

    std::string error = engine.StartCapture({&store, &context}, sink);
    zelpan::QueuedCaptureSink::Event e;
    while (sink.TryTake(e))
        if (e.kind == zelpan::QueuedCaptureSink::Event::Warning) std::fputs(e.text.c_str(), stderr);
    if (!error.empty()) {
        std::fprintf(stderr, "%s\n", zelpan::CCaptureEngine::StartFailureMessage(error).c_str());
        return EXIT_FILE;
    }
    std::fprintf(stderr, "zelpan-cli capture: capturing on %s (link type %d)\n", o.adapter.c_str(),
                 engine.link_type());

    using clock = std::chrono::steady_clock;
    auto next_tick = clock::now() + std::chrono::milliseconds(zelpan::CAPTURE_TICK_MS);
    unsigned long shown = 0;
    // The record of the last line printed, for the frames a stop leaves unlisted.
    const uint8_t* last_record = nullptr;
    uint32_t rows = 0;  // lines of the store's current fill
    auto show = [&](const uint8_t* r, uint32_t index) {
        print_summary(context, r, index, engine.link_type());
        last_record = r;
        rows = index + 1;
        ++shown;
    };
    // Lines are written at most 20 ms after they were made: a trickle shows at
    // once, a flood goes out in few system calls.
    const auto flush_delay = std::chrono::milliseconds(20);
    bool unflushed = false;
    clock::time_point unflushed_since;
    int status = EXIT_OK;
    while (engine.Running()) {
        if (g_stop_signal) {
            engine.StopCapture();
            break;
        }
        auto now = clock::now();
        auto deadline = std::min(next_tick, now + std::chrono::milliseconds(100));
        if (unflushed) deadline = std::min(deadline, unflushed_since + flush_delay);
        if (sink.Wait(e, deadline)) {
            if (e.kind == zelpan::QueuedCaptureSink::Event::Frame) {
                if (!engine.IsCurrent(e.frame)) continue;
                if (e.frame.action == zelpan::FrameAction::Added) {
                    const uint8_t* r = e.frame.record;
                    for (uint32_t i = 0; i < e.frame.count && !(o.count && shown >= o.count); ++i) {
                        if (i) r += zelpan::RECORD_HEADER + zelpan::record_length(r);
                        show(r, e.frame.index + i);
                    }
                    if (!unflushed) unflushed_since = clock::now();
                    unflushed = true;
                } else {
                    last_record = nullptr;
                    rows = 0;
                    std::fprintf(stderr, "zelpan-cli capture: frame store full, emptied; numbering starts again\n");
                }
                engine.FrameTaken(e.frame);
                if (o.count && shown >= o.count) engine.StopCapture();
            } else if (e.kind == zelpan::QueuedCaptureSink::Event::End) {
                if (engine.FinishEnded(e.end)) {
                    std::string report = zelpan::CaptureEndReport(e.end);
                    while (!report.empty() && (report.back() == '\n' || report.back() == '\r')) report.pop_back();
                    std::fprintf(stderr, "%s\n", report.c_str());
                    if (e.end.kind != zelpan::CaptureEndKind::StoreFull) status = EXIT_ENDED;
                }
            } else {
                std::fputs(e.text.c_str(), stderr);
            }
        }
        if (unflushed && clock::now() - unflushed_since >= flush_delay) {
            std::fflush(stdout);
            unflushed = false;
        }
        while (engine.Running() && clock::now() >= next_tick) {
            engine.Tick();
            next_tick += std::chrono::milliseconds(zelpan::CAPTURE_TICK_MS);
        }
    }
    // Frames counted before the stop whose batch was not shown yet; with a count,
    // the store keeps just the frames shown.
    zelpan::CaptureCatchUp(store, last_record, rows, [&](const uint8_t* r, uint32_t index) {
        if (!(o.count && shown >= o.count)) show(r, index);
    });
    if (o.count && rows < store.frame_count()) {
        uint64_t used = 0;
        uint32_t i = 0;
        for (const uint8_t* r = store.first(); r && i < rows; ++i, r = store.next(r, i))
            used += zelpan::RECORD_HEADER + zelpan::record_length(r);
        store.set_frame_count(rows);
        store.set_used_bytes(uint32_t(used));
        store.invalidate_index();
    }
    std::fflush(stdout);
    zelpan::make_current(nullptr);

    const zelpan::CaptureStats& st = engine.last_stats();
    std::fprintf(stderr, "zelpan-cli capture: %lu frames shown, %u in the store", shown, store.frame_count());
    if (st.valid)
        std::fprintf(stderr, "; libpcap: %u received, %u dropped (ps_drop), %u dropped by the interface\n",
                     st.received, st.dropped, st.interface_dropped);
    else
        std::fputc('\n', stderr);
    if (!engine.auto_save_path().empty())
        std::fprintf(stderr, "zelpan-cli capture: last automatic-save file %s\n", engine.auto_save_path().c_str());

    if (!o.out.empty()) {
        std::string msg = zelpan::WriteCaptureFile(o.out, store, engine.link_type(), false);
        if (!msg.empty()) {
            std::fprintf(stderr, "%s\n", msg.c_str());
            return EXIT_FILE;
        }
    }
    return status;
}

}  // namespace

const Command interfaces_command = {
    "interfaces", "interfaces",
    "the capture adapters libpcap lists, one a line: the name, then the description in parentheses", run_interfaces};
const Command capture_command = {
    "capture", "capture -i IFACE [-f FILTER] [-c COUNT] [-t SECONDS] [-w OUT] [--auto-save FORM]",
    "captures on IFACE, one summary line per frame as it arrives, until COUNT frames, SECONDS (timer ticks of "
    "500 ms), SIGINT or SIGTERM; OUT gets the frames of the store at the end; --auto-save 0|1|2 (or "
    "HHMMSSnn, MMDDnnnn, YYYYMMDD_HHMMSS-nn) writes automatic-save files into the current directory. "
    "Exit 0 on a stop or a full store, 1 when the capture ended on a failure, 2 when it cannot start or OUT "
    "cannot be written, 64 usage",
    run_capture};

}  // namespace zcli
