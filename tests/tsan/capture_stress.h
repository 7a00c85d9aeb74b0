#pragma once
// 200 start/stop cycles while a flood of datagrams reaches the capture: no
// deadlock, no crash, no leaked descriptor or thread, and list and store agree
// after every stop. Built into zelpan_tests and into the ThreadSanitizer binary.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <thread>

#include "capture_harness.h"

namespace ztc {

inline int count_entries(const char* dir) {
    int n = 0;
    if (DIR* d = ::opendir(dir)) {
        while (::readdir(d)) ++n;
        ::closedir(d);
    }
    return n;
}

// Aborts the process when a step takes far too long: a deadlock must fail the
// test, not hang it until the harness's time-out.
class Watchdog {
public:
    explicit Watchdog(std::chrono::seconds limit) : limit_(limit), thread_([this] { run(); }) {}
    ~Watchdog() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    void pet() {
        std::lock_guard<std::mutex> lock(mutex_);
        ++beats_;
    }

private:
    void run() {
        std::unique_lock<std::mutex> lock(mutex_);
        uint64_t seen = beats_;
        while (!done_) {
            if (!cv_.wait_for(lock, limit_, [&] { return done_ || beats_ != seen; })) {
                std::fprintf(stderr, "watchdog: no progress for %lld s, a start/stop hangs\n",
                             (long long)limit_.count());
                std::abort();
            }
            seen = beats_;
        }
    }
    std::chrono::seconds limit_;
    std::mutex mutex_;
    std::condition_variable cv_;
    uint64_t beats_ = 0;
    bool done_ = false;
    std::thread thread_;
};

// Walks the store as a reader after the capture does: frame_count records whose
// sizes add up to used_bytes exactly.
inline void expect_store_consistent(const zelpan::FrameStore& store, size_t rows) {
    uint32_t n = store.frame_count();
    EXPECT_EQ(n, rows);
    uint64_t bytes = 0;
    uint32_t walked = 0;
    const uint8_t* r = store.first();
    for (; r && walked < n; ++walked, r = store.next(r, walked)) bytes += zelpan::RECORD_HEADER + zelpan::record_length(r);
    EXPECT_EQ(walked, n);
    EXPECT_EQ(bytes, store.used_bytes());
}

inline void run_start_stop_stress(int cycles) {
    std::string why = live_capture_unavailable();
    if (!why.empty()) GTEST_SKIP() << why;
    TestPort port;
    ASSERT_TRUE(port.ok());
    zelpan::init_protocol_table();

    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("zelpan-stress-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);

    std::atomic<bool> flooding{true};
    std::atomic<uint64_t> sent{0};
    std::thread flood([&] {
        uint32_t seq = 0;
        while (flooding.load(std::memory_order_relaxed)) {
            for (int i = 0; i < 32; ++i, ++seq)
                if (port.send(seq, 64 + (seq % 7) * 100)) sent.fetch_add(1, std::memory_order_relaxed);
            port.drain();
            std::this_thread::yield();
        }
    });

    // Counted after the first cycle, when every lazily made helper (a sanitizer's
    // own thread, say) exists.
    int fds_before = -1, tasks_before = -1;
    std::mt19937 gen(12345);
    uint64_t taken_total = 0, stale_total = 0, empties = 0, ended = 0;
    {
        Watchdog dog(std::chrono::seconds(60));
        zelpan::CCaptureEngine engine;
        engine.set_startup_directory(dir.string());
        FakeUi ui(engine);
        ui.decode = true;
        for (int i = 0; i < cycles; ++i) {
            zelpan::CaptureSettings& s = engine.settings();
            s.adapter = "lo";
            s.filter = port.filter();
            // Some cycles run with a small store: with automatic saving (stops
            // then also meet the emptying hand-off) or without (the capture ends
            // by itself, racing the stop).
            bool saving = i % 4 == 3, filling = i % 8 == 5;
            s.auto_save = saving ? 1 : 0;
            s.name_form = i % 3;
            engine.set_store_capacity(saving || filling ? 12000 : 0);
            ui.rows.clear();
            ui.last_record = nullptr;
            ui.emptied_at.clear();
            ui.end.reset();
            ui.held.reset();
            std::string err = ui.start();
            ASSERT_EQ(err, "") << "cycle " << i;
            ASSERT_TRUE(engine.Running());
            // Take frames for a few milliseconds, decoding each as the list would.
            auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(gen() % 6000);
            ui.pump([&] { return std::chrono::steady_clock::now() >= until || !engine.Running(); },
                    std::chrono::milliseconds(8));
            // Every third cycle the stop comes while a frame waits for the list.
            if (i % 3 == 0 && engine.Running()) {
                ui.hold_next = true;
                ui.pump([&] { return ui.held.has_value() || !engine.Running(); }, std::chrono::milliseconds(200));
            }
            // Handles first what came before the stop, as the window's event loop does.
            bool was_running = engine.Running();
            if (was_running) ui.stop();
            dog.pet();
            EXPECT_FALSE(engine.Running());
            EXPECT_EQ(ui.registry.CaptureTarget(), nullptr);
            // Whatever was still on its way belongs to a stopped capture.
            size_t stale_before = ui.stale;
            ui.hold_next = false;
            ui.drain();
            if (ui.held && !engine.IsCurrent(*ui.held)) ++ui.stale;
            stale_total += ui.stale - stale_before;
            taken_total += ui.rows.size();
            empties += ui.emptied_at.size();
            if (ui.end) {
                ++ended;
                EXPECT_EQ(ui.end->kind, zelpan::CaptureEndKind::StoreFull);
                EXPECT_EQ(ui.end->frames_shown, ui.rows.size());
            }
            expect_store_consistent(ui.store, ui.rows.size());
            if (::testing::Test::HasFatalFailure()) break;
            if (i == 0) {
                fds_before = count_entries("/proc/self/fd");
                tasks_before = count_entries("/proc/self/task");
            }
        }
        EXPECT_FALSE(engine.StopCapture());
        EXPECT_EQ(count_entries("/proc/self/fd"), fds_before) << "descriptors leaked";
        EXPECT_EQ(count_entries("/proc/self/task"), tasks_before) << "threads left behind";
    }
    flooding = false;
    flood.join();
    EXPECT_GT(sent.load(), 0u);
    EXPECT_GT(taken_total, 0u) << "no frame reached the list in " << cycles << " cycles";
    std::printf("stress: %d cycles, %llu datagrams sent, %llu frames taken, %llu stale hand-offs, %llu emptyings, "
                "%llu ends by a full store\n",
                cycles, (unsigned long long)sent.load(), (unsigned long long)taken_total,
                (unsigned long long)stale_total, (unsigned long long)empties, (unsigned long long)ended);
    std::filesystem::remove_all(dir);
}

}  // namespace ztc
