#include "store/decode_passes.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace zelpan {

CarriedState carried_state(const DecodeContext& c) { return {c.ftp_tracking, c.data_ports}; }

void apply_carried_state(DecodeContext& c, const CarriedState& s) {
    c.ftp_tracking = s.ftp;
    c.data_ports = s.ports;
}

namespace {

bool announcements_alike(const FtpTracking& a, const FtpTracking& b) {
    // An entry in state 0 is free whatever it held; an active flag without an
    // entry in use finds nothing, as an inactive one does.
    bool any_a = false, any_b = false;
    for (int k = 0; k < 8; ++k) {
        const FtpAnnouncement& x = a.entries[k];
        const FtpAnnouncement& y = b.entries[k];
        any_a |= x.state != 0;
        any_b |= y.state != 0;
        if (x.state != y.state) return false;
        if (x.state == 0) continue;
        if (x.port != y.port || std::memcmp(x.server, y.server, 16) != 0 ||
            std::memcmp(x.client, y.client, 16) != 0)
            return false;
    }
    bool active_a = a.active && any_a, active_b = b.active && any_b;
    return active_a == active_b;
}

bool ports_alike(const DataPorts& a, const DataPorts& b) {
    // Lookups and registrations stop at the first unused entry.
    for (int k = 0; k < 16; ++k) {
        const DataPortEntry& x = a.entries[k];
        const DataPortEntry& y = b.entries[k];
        bool used_x = x.used == 1, used_y = y.used == 1;
        if (used_x != used_y) return false;
        if (!used_x) {
            if (x.used != y.used) return false;  // an odd marker stops neither walk alike
            break;
        }
        if (x.port != y.port || x.app_port != y.app_port) return false;
    }
    bool any_a = a.any_entry == 1 && a.entries[0].used == 1;
    bool any_b = b.any_entry == 1 && b.entries[0].used == 1;
    return any_a == any_b;
}

long env_number(const char* name, long fallback) {
    const char* v = std::getenv(name);
    if (!v || !*v) return fallback;
    char* end = nullptr;
    long n = std::strtol(v, &end, 10);
    return end && !*end && n > 0 ? n : fallback;
}

}  // namespace

bool same_effect(const CarriedState& a, const CarriedState& b) {
    return announcements_alike(a.ftp, b.ftp) && ports_alike(a.ports, b.ports);
}

int pass_threads() {
    long n = env_number("ZELPAN_THREADS", 0);
    if (n > 0) return int(std::min(n, 64L));
    // Asked once: the library reads it from /sys on every call, and a pass over a
    // few frames is cheaper than those reads.
    static const unsigned h = std::thread::hardware_concurrency();
    return h ? int(std::min(h, 64u)) : 1;
}

uint32_t pass_range_frames() { return uint32_t(env_number("ZELPAN_RANGE_FRAMES", 4096)); }

namespace {

struct Slot {
    std::unique_ptr<RangeWork> work;
    std::unique_ptr<DecodeContext> ctx;
    uint32_t first = 0, count = 0;
    const uint8_t* record = nullptr;
    uint64_t previous_time = 0;
    CarriedState guess{};
    bool done = false;
};

void decode_range(Slot& s, uint64_t first_time) {
    DecodeContext& c = *s.ctx;
    DecodeContext* previous = current_context();
    make_current(&c);
    c.first_time = first_time;
    c.previous_time = s.previous_time;
    // Widths are gathered per range, so a range decoded again counts once.
    if (c.mode == MODE_DISPLAY)
        for (int32_t& w : c.column_widths) w = 0;
    apply_carried_state(c, s.guess);
    s.work->decode(c, s.first, s.count, s.record);
    make_current(previous);
}

}  // namespace

uint32_t RunRangePass(DecodeContext& base, const FrameStore& store, uint32_t count,
                      const std::function<std::unique_ptr<RangeWork>()>& make_work, const PassOptions& options) {
    count = std::min(count, store.frame_count());
    const uint8_t* first_record = store.first();
    if (count == 0 || !first_record) return 0;
    const uint64_t first_time = record_time(first_record);
    const uint32_t range = options.range_frames ? options.range_frames : pass_range_frames();
    int threads = options.threads > 0 ? options.threads : pass_threads();
    uint32_t ranges = (count + range - 1) / range;
    if (uint32_t(threads) > ranges) threads = int(ranges);
    if (threads < 1) threads = 1;
    // One thread means one ordered pass on the caller's thread: no workers at all.
    const int workers = threads > 1 ? threads : 0;
    const size_t slot_count = workers ? size_t(workers) * 2 + 1 : 1;

    const bool display = base.mode == MODE_DISPLAY;
    std::vector<Slot> slots(std::min<size_t>(slot_count, ranges));
    for (Slot& s : slots) {
        s.work = make_work();
        s.ctx = std::make_unique<DecodeContext>(base);
        s.ctx->tree = nullptr;
        s.ctx->exporter = nullptr;
        s.ctx->layer_index = nullptr;
    }

    // The caller walks the records to cut the ranges.
    uint32_t next_first = 0;
    const uint8_t* next_record = first_record;
    uint64_t next_previous_time = first_time;
    auto cut = [&](Slot& s, const CarriedState& guess) {
        s.first = next_first;
        s.count = std::min(range, count - next_first);
        s.record = next_record;
        s.previous_time = next_previous_time;
        s.guess = guess;
        s.done = false;
        next_first += s.count;
        if (store.indexed()) {
            // The offset table finds the next range without touching the records.
            next_record = next_first < count ? store.at(next_first) : nullptr;
            next_previous_time = record_time(store.at(next_first - 1));
            return;
        }
        const uint8_t* r = next_record;
        const uint8_t* last = r;
        for (uint32_t i = 0; i < s.count && r; ++i) {
            last = r;
            r = store.next(r, s.first + i + 1);
        }
        next_record = r;
        if (last) next_previous_time = record_time(last);
    };

    std::mutex m;
    std::condition_variable work_ready, range_done;
    std::deque<Slot*> queue;
    bool closing = false;
    std::exception_ptr failure;

    std::vector<std::thread> pool;
    pool.reserve(size_t(workers));
    for (int t = 0; t < workers; ++t) {
        pool.emplace_back([&] {
            for (;;) {
                Slot* s;
                {
                    std::unique_lock<std::mutex> lock(m);
                    work_ready.wait(lock, [&] { return closing || !queue.empty(); });
                    if (queue.empty()) return;
                    s = queue.front();
                    queue.pop_front();
                }
                try {
                    decode_range(*s, first_time);
                } catch (...) {
                    std::lock_guard<std::mutex> lock(m);
                    if (!failure) failure = std::current_exception();
                }
                {
                    std::lock_guard<std::mutex> lock(m);
                    s->done = true;
                }
                range_done.notify_all();
            }
        });
    }

    CarriedState truth = carried_state(base);
    auto start = [&](Slot& s) {
        cut(s, truth);
        if (!workers) return;
        {
            std::lock_guard<std::mutex> lock(m);
            queue.push_back(&s);
        }
        work_ready.notify_one();
    };
    for (Slot& s : slots)
        if (next_first < count) start(s);

    uint32_t taken = 0;
    size_t k = 0;
    int32_t widths[COLUMN_COUNT] = {};
    while (taken < count) {
        Slot& s = slots[k];
        if (workers) {
            std::unique_lock<std::mutex> lock(m);
            range_done.wait(lock, [&] { return s.done || failure; });
            if (failure) break;
        } else {
            decode_range(s, first_time);
        }
        if (options.cancelled && options.cancelled()) break;
        if (s.first != 0 && !same_effect(s.guess, truth)) {
            // Started on a state that did not hold: decode it again with the true one.
            s.work->reset();
            s.guess = truth;
            decode_range(s, first_time);
        }
        s.work->take(s.first, s.count);
        taken += s.count;
        if (display)
            for (int c = 0; c < COLUMN_COUNT; ++c) widths[c] = std::max(widths[c], s.ctx->column_widths[c]);
        truth = carried_state(*s.ctx);
        if (next_first < count) start(s);
        k = (k + 1) % slots.size();
    }

    {
        std::lock_guard<std::mutex> lock(m);
        closing = true;
        queue.clear();
    }
    work_ready.notify_all();
    for (std::thread& t : pool) t.join();
    if (failure) std::rethrow_exception(failure);

    apply_carried_state(base, truth);
    if (display) std::memcpy(base.column_widths, widths, sizeof widths);
    return taken;
}

}  // namespace zelpan
