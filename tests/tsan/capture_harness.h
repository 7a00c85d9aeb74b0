#pragma once
// Live-capture helpers shared by the capture tests and the ThreadSanitizer stress
// test: a UDP port of our own on 127.0.0.1, a sender, and a stand-in for the UI
// thread that takes the engine's hand-offs.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <pcap/pcap.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "capture/capture_engine.h"
#include "capture/queued_sink.h"

namespace ztc {

// Why live capture on lo is impossible here, or "" when it works.
inline std::string live_capture_unavailable() {
    if (::geteuid() != 0) return "live capture tests need root (capture privileges)";
    char err[PCAP_ERRBUF_SIZE] = "";
    pcap_t* h = pcap_create("lo", err);
    if (!h) return std::string("no loopback capture: ") + err;
    int st = pcap_activate(h);
    std::string why = st < 0 ? std::string("no loopback capture: ") + pcap_geterr(h) : "";
    if (st >= 0 && pcap_datalink(h) != DLT_EN10MB) why = "loopback link type is not Ethernet here";
    pcap_close(h);
    return why;
}

// A UDP socket bound to a random free port in 47000..47999 on 127.0.0.1: the
// traffic of a test goes there and nowhere else, and binding keeps the port ours
// (and spares the ICMP port-unreachable replies).
class TestPort {
public:
    TestPort() {
        std::random_device rd;
        std::mt19937 gen(rd());
        std::uniform_int_distribution<int> dist(47000, 47999);
        for (int attempt = 0; attempt < 200 && fd_ < 0; ++attempt) {
            int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(uint16_t(dist(gen)));
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
                fd_ = fd;
                port_ = ntohs(a.sin_port);
                int big = 1 << 20;
                ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &big, sizeof big);
            } else {
                ::close(fd);
            }
        }
        send_fd_ = ::socket(AF_INET, SOCK_DGRAM, 0);
    }
    ~TestPort() {
        if (fd_ >= 0) ::close(fd_);
        if (send_fd_ >= 0) ::close(send_fd_);
    }
    TestPort(const TestPort&) = delete;
    TestPort& operator=(const TestPort&) = delete;

    bool ok() const { return fd_ >= 0 && send_fd_ >= 0; }
    uint16_t port() const { return port_; }
    std::string filter() const { return "udp dst port " + std::to_string(port_); }

    // A datagram whose payload starts with "ZLPN" and the sequence number, padded
    // to size bytes (at least 8) with a pattern derived from it.
    static std::vector<uint8_t> payload(uint32_t seq, size_t size) {
        std::vector<uint8_t> p(size < 8 ? 8 : size);
        std::memcpy(p.data(), "ZLPN", 4);
        for (int i = 0; i < 4; ++i) p[4 + i] = uint8_t(seq >> (24 - 8 * i));
        for (size_t i = 8; i < p.size(); ++i) p[i] = uint8_t(seq * 31 + i);
        return p;
    }
    bool send(const std::vector<uint8_t>& data) const {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(port_);
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        return ::sendto(send_fd_, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a) ==
               ssize_t(data.size());
    }
    bool send(uint32_t seq, size_t size) const { return send(payload(seq, size)); }
    // Empties the receive queue so that a flood never fills it.
    void drain() const {
        uint8_t buf[2048];
        while (::recv(fd_, buf, sizeof buf, MSG_DONTWAIT) > 0) {
        }
    }

private:
    int fd_ = -1, send_fd_ = -1;
    uint16_t port_ = 0;
};

// The sequence number of a captured loopback frame of ours, or -1. Ethernet (14),
// IPv4 without options (20), UDP (8), then the payload.
inline long frame_sequence(const uint8_t* bytes, uint32_t length) {
    if (length < 42 + 8 || std::memcmp(bytes + 42, "ZLPN", 4) != 0) return -1;
    return long(uint32_t(bytes[46]) << 24 | uint32_t(bytes[47]) << 16 | uint32_t(bytes[48]) << 8 | bytes[49]);
}

// A copy of one row the "UI" took.
struct Row {
    uint32_t index;
    uint32_t seconds, microseconds;
    std::vector<uint8_t> bytes;
};

// Plays the window's role on the test's thread.
class FakeUi {
public:
    explicit FakeUi(zelpan::CCaptureEngine& e) : engine(e) {}

    zelpan::CCaptureEngine& engine;
    zelpan::QueuedCaptureSink sink;
    zelpan::FrameStore store;
    zelpan::DecodeContext context;
    zelpan::WindowRegistry registry;

    std::vector<Row> rows;           // the list now
    std::vector<Row> all_rows;       // every frame taken, across emptyings
    std::vector<size_t> emptied_at;  // rows in the list at each emptying
    std::vector<std::string> warnings;
    std::optional<zelpan::CaptureEnd> end;
    size_t stale = 0;
    bool decode = false;     // decode each frame in summary mode, as the list does
    bool hold_next = false;  // leave the next frame untaken
    std::optional<zelpan::FrameListUpdate> held;
    const uint8_t* last_record = nullptr;  // of the last row
    std::vector<uint32_t> batches;         // frames of each batch taken
    size_t caught_up = 0;                  // rows added after a stop

    std::string start() {
        registry.Register(this);
        zelpan::CaptureTarget t{&store, &context, &registry, this};
        return engine.StartCapture(t, sink);
    }

    void handle(const zelpan::QueuedCaptureSink::Event& e) {
        using Ev = zelpan::QueuedCaptureSink::Event;
        if (e.kind == Ev::Warning) {
            warnings.push_back(e.text);
        } else if (e.kind == Ev::End) {
            if (engine.FinishEnded(e.end)) {
                end = e.end;
                catch_up();
            } else {
                ++stale;
            }
        } else if (!engine.IsCurrent(e.frame)) {
            ++stale;
        } else if (hold_next) {
            held = e.frame;
            hold_next = false;
        } else {
            take(e.frame);
        }
    }

    void take(const zelpan::FrameListUpdate& u) {
        if (u.action == zelpan::FrameAction::Emptied) {
            emptied_at.push_back(rows.size());
            rows.clear();
            last_record = nullptr;
        } else {
            batches.push_back(u.count);
            const uint8_t* r = u.record;
            for (uint32_t i = 0; i < u.count; ++i) {
                if (i) r += zelpan::RECORD_HEADER + zelpan::record_length(r);
                add(r, u.index + i, u.link_type);
            }
        }
        engine.FrameTaken(u);
    }

    void add(const uint8_t* r, uint32_t index, int32_t link_type) {
        Row row{index, zelpan::record_seconds(r), zelpan::record_microseconds(r),
                std::vector<uint8_t>(zelpan::record_bytes(r), zelpan::record_bytes(r) + zelpan::record_length(r))};
        rows.push_back(row);
        all_rows.push_back(std::move(row));
        last_record = r;
        if (decode) {
            zelpan::make_current(&context);
            if (index == 0) context.first_time = context.previous_time = zelpan::record_time(r);
            zelpan::clear_columns(context, long(index));
            zelpan::decode_frame(0, r, link_type, int32_t(index + 1));
            zelpan::make_current(nullptr);
        }
    }

    // After the capture: the frames the store holds beyond the last row.
    void catch_up() {
        caught_up += store.frame_count() > rows.size() ? store.frame_count() - rows.size() : 0;
        zelpan::CaptureCatchUp(store, last_record, uint32_t(rows.size()),
                               [&](const uint8_t* r, uint32_t index) { add(r, index, context.link_type); });
    }

    // The user's stop as the window makes it: the stop, then the rows it left.
    bool stop() {
        bool stopped = engine.StopCapture();
        if (stopped) catch_up();
        return stopped;
    }

    // Handles events until done() holds or the time is up. True when done() held.
    bool pump(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            zelpan::QueuedCaptureSink::Event e;
            if (!sink.Wait(e, deadline)) return done();
            handle(e);
        }
        return true;
    }
    // Handles whatever is queued now.
    void drain() {
        zelpan::QueuedCaptureSink::Event e;
        while (sink.TryTake(e)) handle(e);
    }
};

}  // namespace ztc
