#pragma once
// Frames of TCP conversations and stores of timed frames, for the statistics and
// stream tests (core and GUI).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "store/frame_store.h"

namespace zt {

using Bytes8 = std::vector<uint8_t>;

// One end of a connection: its MAC's last byte, IPv4 (or IPv6 when v6) address and port.
struct End {
    uint8_t mac;
    uint8_t ip[16];
    uint16_t port;
    bool v6 = false;
};
inline End end4(uint8_t mac, uint8_t a, uint8_t b, uint8_t c, uint8_t d, uint16_t port) {
    End e{mac, {a, b, c, d}, port};
    return e;
}
inline End end6(uint8_t mac, uint8_t last, uint16_t port) {
    End e{mac, {0x20, 0x01, 0x0D, 0xB8}, port, true};
    e.ip[15] = last;
    return e;
}

constexpr uint8_t SYN = 0x02, ACK = 0x10, PSH = 0x08, FIN = 0x01;

// Ethernet II, IPv4 or IPv6, TCP (header of 20 + options bytes) and payload, then
// padding zero bytes that the IP length does not count.
inline Bytes8 tcp_frame(const End& from, const End& to, uint32_t seq, uint32_t ack, const std::string& payload,
                        uint8_t flags = ACK | PSH, int padding = 0, int options = 0) {
    Bytes8 f = {0x02, 0, 0, 0, 0, to.mac, 0x02, 0, 0, 0, 0, from.mac};
    const int tcp_len = 20 + options + int(payload.size());
    if (from.v6) {
        f.insert(f.end(), {0x86, 0xDD, 0x60, 0, 0, 0, uint8_t(tcp_len >> 8), uint8_t(tcp_len), 6, 64});
        f.insert(f.end(), from.ip, from.ip + 16);
        f.insert(f.end(), to.ip, to.ip + 16);
    } else {
        const int total = 20 + tcp_len;
        f.insert(f.end(), {0x08, 0x00, 0x45, 0, uint8_t(total >> 8), uint8_t(total), 0, 1, 0x40, 0, 64, 6, 0, 0});
        f.insert(f.end(), from.ip, from.ip + 4);
        f.insert(f.end(), to.ip, to.ip + 4);
    }
    auto be16 = [&f](uint32_t v) { f.insert(f.end(), {uint8_t(v >> 8), uint8_t(v)}); };
    auto be32 = [&](uint32_t v) { be16(v >> 16), be16(v & 0xFFFF); };
    be16(from.port);
    be16(to.port);
    be32(seq);
    be32(ack);
    f.push_back(uint8_t((5 + options / 4) << 4));
    f.push_back(flags);
    be16(0x2000);
    be16(0);
    be16(0);
    f.insert(f.end(), size_t(options), 0x01);  // NOPs
    f.insert(f.end(), payload.begin(), payload.end());
    f.insert(f.end(), size_t(padding), 0);
    return f;
}

// A frame at a time in milliseconds.
struct Timed {
    uint64_t ms;
    Bytes8 bytes;
};

// Fills store with the frames, in order.
inline void fill_store(zelpan::FrameStore& store, const std::vector<Timed>& frames) {
    uint64_t size = zelpan::STORE_HEAD;
    for (const Timed& t : frames) size += zelpan::RECORD_HEADER + t.bytes.size();
    store.allocate(uint32_t(size));
    for (const Timed& t : frames)
        store.append(uint32_t(t.ms / 1000), uint32_t(t.ms % 1000) * 1000, t.bytes.data(), uint32_t(t.bytes.size()));
}

// Frames at the given times, 10 ms apart unless given.
inline std::vector<Timed> timed(const std::vector<Bytes8>& frames, uint64_t start_ms = 1700000000000ull,
                                uint64_t step_ms = 10) {
    std::vector<Timed> out;
    for (size_t k = 0; k < frames.size(); ++k) out.push_back({start_ms + k * step_ms, frames[k]});
    return out;
}

}  // namespace zt
