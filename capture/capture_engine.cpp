#include "capture/capture_engine.h"

#include <pcap/pcap.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>
#include <unistd.h>

namespace zelpan {

const char* const NO_CAPTURE_WINDOW_TEXT =
    "ｷｬﾌﾟﾁｬｰ可能な新規ﾌｧｲﾙがありません。  \n新規ﾌｧｲﾙを作成してｷｬﾌﾟﾁｬｰを開始してください。  ";

struct CCapPars {
    CCaptureEngine* engine = nullptr;
    pcap* handle = nullptr;
    uint32_t previous_seconds = 0, previous_microseconds = 0;

    // Fixed for the capture.
    uint64_t generation = 0;
    FrameStore* store = nullptr;
    DecodeContext* context = nullptr;
    uint32_t capacity = 0;
    int32_t link_type = 0;
    int stop_method = 0;

    // The capture thread's own state; the UI thread reads it after the join.
    bool auto_save = false;
    bool auto_save_failed = false;
    uint32_t used = 0;          // used_bytes of the store
    uint32_t counted = 0;       // frames counted
    uint32_t previous_size = 0; // record size of the last frame counted
    uint64_t sequence = 0;
    RateWindows rates;
    // Frames counted since the last batch was posted.
    const uint8_t* batch_record = nullptr;
    uint32_t batch_first = 0, batch_count = 0;
    // Their automatic-save records, written with one call before the batch is posted.
    std::vector<uint8_t> save_buffer;
    bool ended = false;
    CaptureEnd end;

    // libpcap's per-frame callback.
    static void OnFrame(u_char* user, const pcap_pkthdr* h, const u_char* bytes) {
        CCapPars* p = reinterpret_cast<CCapPars*>(user);
        p->engine->HandleFrame(*p, uint32_t(h->ts.tv_sec), uint32_t(h->ts.tv_usec), bytes, h->caplen);
    }
};

std::string CaptureEndReport(const CaptureEnd& end) {
    switch (end.kind) {
    case CaptureEndKind::AutoSaveFailed:
        return "自動保存に失敗しました。\r\n";
    case CaptureEndKind::AdapterFailed:
        return "PCAP error : " + end.reason + "  \r\n";
    case CaptureEndKind::StoreFull:
        break;
    }
    char text[160];
    std::snprintf(text, sizeof text, "ﾌﾚｰﾑﾊﾞｯﾌｧｵｰﾊﾞｰﾌﾛｰのため%dﾌﾚｰﾑでｷｬﾌﾟﾁｬｰを中断しました。\r\n",
                  int(end.frames_shown));
    return text;
}

std::string CaptureDevice::label() const {
    if (description.empty()) return name;
    return name + " (" + description + ")";
}

std::vector<CaptureDevice> ListCaptureDevices(std::string* error) {
    std::vector<CaptureDevice> out;
    char errbuf[PCAP_ERRBUF_SIZE] = "";
    pcap_if_t* all = nullptr;
    if (pcap_findalldevs(&all, errbuf) != 0) {
        if (error) *error = errbuf;
        return out;
    }
    for (pcap_if_t* d = all; d; d = d->next)
        out.push_back({d->name ? d->name : "", d->description ? d->description : ""});
    pcap_freealldevs(all);
    if (error) error->clear();
    return out;
}

void RateWindows::add(bool first, uint64_t t, uint32_t length) {
    if (first) {
        start = t;
        end = t + 1000;
        bytes = max_bytes = length;
        frames = max_frames = 1;
        mark = 1;
        return;
    }
    if (t + 1000 >= end && t < end) {
        bytes += length;
        ++frames;
        ++mark;
    } else {
        // A clock set back would put t before the first window; begin the
        // windows again there instead of counting from a wrapped difference.
        if (t < start) start = t;
        uint64_t k = (t - start) / 1000;
        end = start + (k + 1) * 1000;
        bytes = length;
        frames = 1;
        mark = 1;
    }
    if (bytes > max_bytes) max_bytes = bytes;
    if (frames > max_frames) max_frames = frames;
}

CCaptureEngine::CCaptureEngine() : startup_directory_(StartupDirectory()) {}

CCaptureEngine::~CCaptureEngine() { StopCapture(); }

std::string CCaptureEngine::StartFailureMessage(const std::string& error) {
    return "Capture can't be started.  \n" + error;
}

MonitorReadings CCaptureEngine::Readings() const {
    MonitorReadings r;
    auto rd = [](const std::atomic<uint32_t>& a) { return a.load(std::memory_order_relaxed); };
    r.ticks = rd(ticks_);
    r.used_bytes = rd(used_bytes_);
    r.frames_counted = rd(frames_counted_);
    r.capacity = capacity_;
    r.bytes_mark = r.frames_mark = rd(mark_);
    r.window_bytes = rd(window_bytes_);
    r.window_frames = rd(window_frames_);
    r.max_bytes = rd(max_bytes_);
    r.max_frames = rd(max_frames_);
    return r;
}

std::string CCaptureEngine::StartCapture(const CaptureTarget& target, CaptureSink& sink) {
    if (running_) return "Error : launching the capture thread.  ";
    if (!target.store || !target.context) return "Error : launching the capture thread.  ";
    target_ = target;
    sink_ = &sink;
    if (target_.registry && target_.window) target_.registry->SetCaptureTarget(target_.window);

    DecodeContext& c = *target_.context;
    c.mode = MODE_DISPLAY;
    // As the settings dialog confirms them: out-of-range values count as 0, and a
    // stop after 0 seconds is a manual stop.
    if (settings_.stop_method != 1 || settings_.stop_time == 0) settings_.stop_method = 0;
    if (settings_.auto_save != 1) settings_.auto_save = 0;
    if (settings_.name_form < 0 || settings_.name_form > 2) settings_.name_form = 0;

    capacity_ = capacity_override_ ? capacity_override_ : CAPTURE_STORE_CAPACITY;
    if (capacity_ < STORE_HEAD + RECORD_HEADER) capacity_ = STORE_HEAD + RECORD_HEADER;
    std::string error;
    if (!target_.store->allocate(capacity_)) {
        error = "Error : the frame buffer can't be allocated.  ";
    } else {
        target_.store->clear();
        ticks_ = 0;
        frames_counted_ = 0;
        used_bytes_ = 0;
        mark_ = window_bytes_ = window_frames_ = max_bytes_ = max_frames_ = 0;
        auto_save_.close();
        auto_save_.sequence = 0;
        auto_save_.current_path.clear();
        auto_save_.directory = startup_directory_;
        auto_save_.name_form = settings_.name_form;
        last_stats_ = {};
        error = OpenCapture(settings_.filter.empty() ? nullptr : &settings_.filter);
    }
    c.link_type = link_type_;
    if (error.empty()) return error;

    if (target_.registry) target_.registry->SetCaptureTarget(nullptr);
    target_ = {};
    sink_ = nullptr;
    return error;
}

// libpcap's reason for a failed activation, as far as it gives one.
static std::string activate_reason(pcap_t* h, int status) {
    std::string detail = pcap_geterr(h);
    if (status == PCAP_ERROR) return detail;
    std::string text = pcap_statustostr(status);
    if (!detail.empty() && detail != text) text += " (" + detail + ")";
    return text;
}

std::string CCaptureEngine::OpenCapture(const std::string* filter) {
    pars_.reset(new (std::nothrow) CCapPars);
    if (!pars_) return "PCAP error: CCapPars Class not created.  ";
    error_buffer_.reset(new (std::nothrow) char[PCAP_ERRBUF_SIZE]);
    if (!error_buffer_) {
        pars_.reset();
        return "PCAP error: ERRBUF not allocated.  ";
    }
    char* errbuf = error_buffer_.get();
    errbuf[0] = 0;
    link_type_ = 1;
    auto fail = [&](pcap_t* h, std::string text) {
        if (h) pcap_close(h);
        pars_.reset();
        error_buffer_.reset();
        return text;
    };
    const char* open_failed = "PCAP error: Error opening the adapter(1).  ";

    // Block mode (TPACKET_V3 on Linux) packs frames into the ring; immediate mode
    // would give every frame a slot of the snap length and overflow on a burst.
    // A block is handed over when full or after CAPTURE_DELIVERY_MS, so a lone
    // frame is not kept back for the read time-out.
    pcap_t* h = pcap_create(settings_.adapter.c_str(), errbuf);
    if (!h) return fail(nullptr, std::string(open_failed) + "\n" + errbuf);
    pcap_set_snaplen(h, CAPTURE_SNAP_LENGTH);
    pcap_set_promisc(h, 1);
    pcap_set_timeout(h, CAPTURE_DELIVERY_MS);
    pcap_set_immediate_mode(h, 0);
    pcap_set_buffer_size(h, CAPTURE_BUFFER_BYTES);
    int status = pcap_activate(h);
    if (status < 0) return fail(h, std::string(open_failed) + "\n" + activate_reason(h, status));

    link_type_ = pcap_datalink(h);
    if (link_type_ != 1 && link_type_ != 9 && link_type_ != 10) {
        if (sink_)
            sink_->Warning("Warning : the nework adapter '" + settings_.adapter +
                           "' is not supported correctly by Zelpan.  \n");
        return fail(h, "PCAP error : Invalid datalink.  ");
    }

    // pcap_setmode (capture mode) exists only on Windows; elsewhere capturing is
    // the normal mode and the step succeeds.

    bpf_u_int32 network = 0, netmask = 0;
    if (pcap_lookupnet(settings_.adapter.c_str(), &network, &netmask, errbuf) != 0) network = netmask = 0;

    if (filter) {
        bpf_program program{};
        if (pcap_compile(h, &program, filter->c_str(), 0, netmask) != 0)
            return fail(h, std::string("PCAP error : Error calling pcap_compile.  \n") + pcap_geterr(h));
        int set = pcap_setfilter(h, &program);
        pcap_freecode(&program);
        if (set != 0) return fail(h, std::string("PCAP error : Error setting filter.  \n") + pcap_geterr(h));
    }

    CCapPars& p = *pars_;
    p.engine = this;
    p.handle = h;
    p.generation = ++generation_;
    p.store = target_.store;
    p.context = target_.context;
    p.capacity = capacity_;
    p.link_type = link_type_;
    p.stop_method = settings_.stop_method;
    p.auto_save = settings_.auto_save == 1;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        taken_sequence_ = 0;
        stopping_ = false;
    }
    handle_ = h;
    try {
        thread_ = std::thread(&CCaptureEngine::ThreadMain, this, pars_.get());
    } catch (const std::system_error&) {
        handle_ = nullptr;
        return fail(h, "Error : launching the capture thread.  ");
    }
    running_ = true;
    return {};
}

void CCaptureEngine::ThreadMain(CCapPars* p) {
    p->previous_seconds = p->previous_microseconds = 0;
    p->save_buffer.reserve(1 << 20);
    int rc = 0;
    // One read from the ring at a time; its frames go to the list as one batch.
    // Under a flood a read could go on block after block, so it is bounded.
    while (!p->ended && !stopping_) {
        rc = pcap_dispatch(p->handle, CAPTURE_BATCH_FRAMES, &CCapPars::OnFrame, reinterpret_cast<u_char*>(p));
        FlushBatch(*p);
        if (rc < 0) break;
    }
    // Frames counted before a stop are in the store: the file gets them too.
    FlushBatch(*p);
    if (!p->ended && !stopping_) {
        // The loop ended without being asked to (the adapter went away): say so
        // rather than leave a capture that silently receives nothing.
        std::string reason = rc == PCAP_ERROR ? pcap_geterr(p->handle) : "the capture loop ended";
        p->ended = true;
        p->end = {p->generation, CaptureEndKind::AdapterFailed, p->counted, reason};
    }
    if (p->ended && sink_) sink_->PostEnd(p->end);
}

void CCaptureEngine::HandOff(CCapPars& p, FrameListUpdate& u) {
    u.generation = p.generation;
    u.sequence = ++p.sequence;
    sink_->PostFrame(u);
}

bool CCaptureEngine::WaitTaken(CCapPars& p) {
    std::unique_lock<std::mutex> lock(mutex_);
    taken_.wait(lock, [&] { return taken_sequence_ >= p.sequence || stopping_.load(); });
    return taken_sequence_ >= p.sequence;
}

// The automatic-save records of the batch go to the file in one write, whole
// records only: after a failure the file is cut back to its last whole record.
static bool write_auto_save(AutoSaveState& state, std::vector<uint8_t>& buffer) {
    if (buffer.empty()) return true;
    std::FILE* f = static_cast<std::FILE*>(state.file);
    bool ok = f != nullptr;
    if (ok) {
        long before = std::ftell(f);
        ok = std::fwrite(buffer.data(), 1, buffer.size(), f) == buffer.size() && std::fflush(f) == 0;
        if (!ok && before >= 0) (void)::ftruncate(fileno(f), off_t(before));
    }
    buffer.clear();
    if (!ok) state.close();
    return ok;
}

void CCaptureEngine::FlushBatch(CCapPars& p) {
    if (p.auto_save && !write_auto_save(auto_save_, p.save_buffer)) {
        p.auto_save = false;
        p.auto_save_failed = true;
        if (!p.ended) EndFromThread(p, CaptureEndKind::AutoSaveFailed);
    }
    if (p.batch_count == 0) return;
    FrameListUpdate u;
    u.store = p.store;
    u.record = p.batch_record;
    u.context = p.context;
    u.index = p.batch_first;
    u.count = p.batch_count;
    u.link_type = p.link_type;
    u.action = FrameAction::Added;
    p.batch_count = 0;
    p.batch_record = nullptr;
    // After a stop nobody takes it; the list catches up from the store instead.
    if (!stopping_) HandOff(p, u);
}

void CCaptureEngine::FrameTaken(const FrameListUpdate& u) {
    if (!IsCurrent(u)) return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (u.sequence > taken_sequence_) taken_sequence_ = u.sequence;
    }
    taken_.notify_all();
}

void CCaptureEngine::Publish(const CCapPars& p) {
    auto wr = [](std::atomic<uint32_t>& a, uint32_t v) { a.store(v, std::memory_order_relaxed); };
    wr(used_bytes_, p.used);
    wr(frames_counted_, p.counted);
    wr(window_bytes_, p.rates.bytes);
    wr(window_frames_, p.rates.frames);
    wr(max_bytes_, p.rates.max_bytes);
    wr(max_frames_, p.rates.max_frames);
    wr(mark_, p.rates.mark);
}

void CCaptureEngine::EndFromThread(CCapPars& p, CaptureEndKind kind, std::string reason) {
    p.ended = true;
    p.end = {p.generation, kind, p.counted, std::move(reason)};
    pcap_breakloop(p.handle);
}

void CCaptureEngine::Count(CCapPars& p, uint32_t seconds, uint32_t microseconds, uint32_t length) {
    bool first = p.counted == 0;
    ++p.counted;
    p.rates.add(first, uint64_t(seconds) * 1000 + microseconds / 1000, length);
    p.used += RECORD_HEADER + length;
    p.previous_size = RECORD_HEADER + length;
    p.store->set_frame_count(p.counted);
    p.store->set_used_bytes(p.used);
    Publish(p);
}

bool CCaptureEngine::EmptyStore(CCapPars& p) {
    // Every frame of this fill is listed (and saved) before the store is reused.
    FlushBatch(p);
    if (p.ended || !WaitTaken(p)) return false;
    FrameListUpdate u;
    u.store = p.store;
    u.context = p.context;
    u.index = p.counted;
    u.count = 0;
    u.link_type = p.link_type;
    u.action = FrameAction::Emptied;
    // The list is emptied first: a stop in between leaves list and store alike.
    HandOff(p, u);
    if (!WaitTaken(p)) return false;
    p.store->set_frame_count(0);
    p.store->set_used_bytes(0);
    std::memset(p.store->block() + STORE_HEAD, 0, RECORD_HEADER);
    p.used = 0;
    p.counted = 0;
    p.previous_size = 0;
    p.rates.reset();
    Publish(p);
    if (p.stop_method != 1) ticks_.store(0, std::memory_order_relaxed);
    return true;
}

void CCaptureEngine::HandleFrame(CCapPars& p, uint32_t seconds, uint32_t microseconds, const uint8_t* bytes,
                                 uint32_t length) {
    if (p.ended || stopping_) {
        pcap_breakloop(p.handle);
        return;
    }
    p.previous_seconds = seconds;
    p.previous_microseconds = microseconds;
    if (length > CAPTURE_SNAP_LENGTH) length = CAPTURE_SNAP_LENGTH;

    // The store is never written beyond its capacity: a frame that does not fit
    // behind the records counts as the store being full before it is copied.
    auto fits = [&] { return uint64_t(p.used) + RECORD_HEADER + length <= p.capacity - STORE_HEAD; };
    if (!fits()) {
        if (!p.auto_save || p.counted == 0) {
            EndFromThread(p, CaptureEndKind::StoreFull);
            return;
        }
        // Start the next file with this frame: nothing is lost across files.
        if (!EmptyStore(p)) return;
        if (!fits()) {
            EndFromThread(p, CaptureEndKind::StoreFull);
            return;
        }
    }

    uint8_t* r = p.store->block() + STORE_HEAD + p.used;
    write_record_header(r, seconds, microseconds, length, p.counted ? p.previous_size : 0, 0);
    if (length) std::memcpy(record_bytes(r), bytes, length);

    bool saved = true;
    if (p.auto_save) {
        if (p.counted == 0) {
            // A new file starts with this frame (and its header).
            saved = AppendAutoSaveFrame(auto_save_, 1, seconds, microseconds, record_bytes(r), length,
                                        p.link_type);
        } else {
            uint8_t h[RECORD_HEADER];
            auto put32 = [&](int at, uint32_t v) {
                for (int i = 0; i < 4; ++i) h[at + i] = uint8_t(v >> (8 * i));
            };
            put32(0, seconds);
            put32(4, microseconds);
            put32(8, length);
            put32(12, length);
            p.save_buffer.insert(p.save_buffer.end(), h, h + RECORD_HEADER);
            p.save_buffer.insert(p.save_buffer.end(), record_bytes(r), record_bytes(r) + length);
        }
    }
    if (p.batch_count == 0) {
        p.batch_record = r;
        p.batch_first = p.counted;
    }
    ++p.batch_count;
    uint32_t before = p.used;
    Count(p, seconds, microseconds, length);
    if (!saved) {
        p.auto_save = false;
        p.auto_save_failed = true;
        p.save_buffer.clear();
        EndFromThread(p, CaptureEndKind::AutoSaveFailed);
        return;
    }
    // A big batch goes to the file (and the list) before its buffer grows further.
    if (p.save_buffer.size() >= (1u << 20)) FlushBatch(p);
    if (uint64_t(before) + CAPTURE_RESERVE < p.capacity) return;
    if (!p.auto_save) {
        EndFromThread(p, CaptureEndKind::StoreFull);
        return;
    }
    EmptyStore(p);
}

void CCaptureEngine::Finish() {
    CCapPars* p = pars_.get();
    if (handle_) {
        pcap_stat ps{};
        if (pcap_stats(handle_, &ps) == 0) last_stats_ = {true, ps.ps_recv, ps.ps_drop, ps.ps_ifdrop};
        pcap_close(handle_);
        handle_ = nullptr;
    }
    if (p) {
        if (p->auto_save_failed) settings_.auto_save = 0;
        used_bytes_ = p->used;
        frames_counted_ = p->counted;
    }
    auto_save_.close();
    if (target_.store) target_.store->invalidate_index();
    if (target_.registry) target_.registry->SetCaptureTarget(nullptr);
    ++generation_;
    running_ = false;
    target_ = {};
    sink_ = nullptr;
    pars_.reset();
    error_buffer_.reset();
}

static void join_or_die(std::thread& t) {
    if (!t.joinable()) return;
    try {
        t.join();
    } catch (const std::system_error&) {
        std::fputs("Fatal Error : The capture thread can't be terminated.  \n", stderr);
        std::exit(-1);
    }
}

bool CCaptureEngine::StopCapture() {
    if (!running_) return false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    taken_.notify_all();
    if (handle_) pcap_breakloop(handle_);
    join_or_die(thread_);
    Finish();
    return true;
}

bool CCaptureEngine::FinishEnded(const CaptureEnd& e) {
    if (!running_ || e.generation != generation_) return false;
    // The thread posted the end as its last act and needs nothing more.
    join_or_die(thread_);
    Finish();
    return true;
}

bool CCaptureEngine::Tick() {
    if (!running_) return false;
    uint64_t ticks = ticks_.fetch_add(1, std::memory_order_relaxed) + 1;
    if (settings_.stop_method == 1 && ticks * 5 >= uint64_t(settings_.stop_time) * 10) {
        StopCapture();
        return true;
    }
    return false;
}

}  // namespace zelpan
