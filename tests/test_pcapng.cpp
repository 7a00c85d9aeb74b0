// pcapng and the other libpcap forms: sections in either byte order, interfaces
// and their time resolutions, the three packet blocks, blocks skipped by length,
// frames of other link types left out, and every way a block can be cut or wrong.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

#include "store/capture_file.h"
#include "store/pcapng.h"

using namespace zelpan;
namespace fs = std::filesystem;

namespace {

using Bytes8 = std::vector<uint8_t>;

struct Frame {
    uint32_t sec, usec;
    Bytes8 bytes;
};

Bytes8 pattern(size_t n, uint8_t seed) {
    Bytes8 v(n);
    for (size_t i = 0; i < n; ++i) v[i] = uint8_t(seed + i * 7);
    return v;
}

// Writes pcapng blocks in the byte order of the current section and remembers
// where every block ends.
struct Ng {
    bool big = false;
    Bytes8 out;
    std::vector<size_t> ends;

    void put(Bytes8& v, uint64_t x, int n) const {
        for (int i = 0; i < n; ++i) v.push_back(uint8_t(x >> 8 * (big ? n - 1 - i : i)));
    }
    Bytes8 u16(uint16_t x) const { Bytes8 v; put(v, x, 2); return v; }
    Bytes8 u32(uint32_t x) const { Bytes8 v; put(v, x, 4); return v; }
    Bytes8 u64(uint64_t x) const { Bytes8 v; put(v, x, 8); return v; }
    static Bytes8 cat(std::initializer_list<Bytes8> parts) {
        Bytes8 v;
        for (const auto& p : parts) v.insert(v.end(), p.begin(), p.end());
        return v;
    }
    static Bytes8 pad(Bytes8 v) {
        v.resize((v.size() + 3) & ~size_t(3), 0);
        return v;
    }
    Bytes8 opt(uint16_t code, const Bytes8& value) const {
        return cat({u16(code), u16(uint16_t(value.size())), pad(value)});
    }
    // A block with its two length fields; length overrides the stated length.
    Ng& block(uint32_t type, const Bytes8& body, uint32_t length = 0, int64_t trailer_delta = 0) {
        Bytes8 b = pad(body);
        uint32_t n = length ? length : uint32_t(b.size() + 12);
        Bytes8 all = cat({u32(type), u32(n), b, u32(uint32_t(int64_t(n) + trailer_delta))});
        out.insert(out.end(), all.begin(), all.end());
        ends.push_back(out.size());
        return *this;
    }
    Ng& shb(bool big_endian = false, uint16_t major = 1, uint16_t minor = 0, const Bytes8& options = {}) {
        big = big_endian;
        return block(0x0A0D0D0A, cat({u32(0x1A2B3C4D), u16(major), u16(minor), u64(~0ull), options}));
    }
    Ng& idb(uint16_t link, uint32_t snap = 0, const Bytes8& options = {}) {
        return block(1, cat({u16(link), u16(0), u32(snap), options}));
    }
    Ng& epb(uint32_t iface, uint64_t units, const Bytes8& data, const Bytes8& options = {}) {
        return block(6, cat({u32(iface), u32(uint32_t(units >> 32)), u32(uint32_t(units)),
                             u32(uint32_t(data.size())), u32(uint32_t(data.size()) + 4), pad(data), options}));
    }
    Ng& opb(uint16_t iface, uint64_t units, const Bytes8& data) {
        return block(2, cat({u16(iface), u16(0), u32(uint32_t(units >> 32)), u32(uint32_t(units)),
                             u32(uint32_t(data.size())), u32(uint32_t(data.size())), pad(data)}));
    }
    Ng& spb(uint32_t original, const Bytes8& data) { return block(3, cat({u32(original), data})); }
};

uint64_t us(uint32_t sec, uint32_t usec) { return uint64_t(sec) * 1000000 + usec; }

struct TempDir {
    std::string path;
    TempDir() {
        char t[] = "/tmp/zelpan-pcapng-XXXXXX";
        path = ::mkdtemp(t);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string write(const std::string& name, const Bytes8& bytes) const {
        std::string p = path + "/" + name;
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                 std::streamsize(bytes.size()));
        return p;
    }
};

struct Loaded {
    std::string message, notice;
    int32_t link = -1;
    FrameStore store;
};
void load(const std::string& path, Loaded& l) { l.message = LoadCaptureFile(path, l.store, l.link, &l.notice); }

std::vector<Frame> frames_of(const FrameStore& s) {
    std::vector<Frame> v;
    const uint8_t* r = s.first();
    for (uint32_t i = 0; r && i < s.frame_count(); ++i, r = s.next(r, i))
        v.push_back({record_seconds(r), record_microseconds(r),
                     Bytes8(record_bytes(r), record_bytes(r) + record_length(r))});
    return v;
}

void expect_frames(const FrameStore& s, const std::vector<Frame>& want) {
    std::vector<Frame> got = frames_of(s);
    ASSERT_EQ(got.size(), want.size());
    uint32_t back = 0;
    for (size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(got[i].sec, want[i].sec) << i;
        EXPECT_EQ(got[i].usec, want[i].usec) << i;
        EXPECT_EQ(got[i].bytes, want[i].bytes) << i;
        const uint8_t* r = s.at(uint32_t(i));
        EXPECT_EQ(record_back_link(r), back) << i;
        EXPECT_EQ(record_flags(r), 0) << i;
        back = 16 + record_length(r);
    }
}

const Bytes8 A = pattern(60, 1), B = pattern(33, 2), C = pattern(1, 3), D = pattern(0, 4);

}  // namespace

// ---- the forms of one file ----

TEST(PcapNg, BothByteOrdersAndAllThreePacketBlocks) {
    TempDir d;
    for (bool big : {false, true}) {
        SCOPED_TRACE(big ? "big-endian" : "little-endian");
        Ng f;
        f.shb(big).idb(1).epb(0, us(1700000000, 5), A).spb(uint32_t(B.size()), B).opb(0, us(1700000002, 999999), C)
            .epb(0, us(4000000000u, 1), D);
        std::string path = d.write("f.pcapng", f.out);
        EXPECT_EQ(IdentifyCaptureFile(path), CaptureKind::PcapNg);
        Loaded l;
        load(path, l);
        EXPECT_EQ(l.message, "");
        EXPECT_EQ(l.notice, "");
        EXPECT_EQ(l.link, 1);
        // The simple packet block has no time of its own: it keeps the one before.
        expect_frames(l.store, {{1700000000, 5, A}, {1700000000, 5, B}, {1700000002, 999999, C},
                                {4000000000u, 1, D}});
    }
}

TEST(PcapNg, InterfaceTimeResolutionsAndOffsets) {
    struct Case {
        const char* what;
        uint8_t resolution;
        int64_t offset;
        uint64_t units;
        uint32_t sec, usec;
    } cases[] = {
        {"microseconds", 6, 0, 1700000000123456ull, 1700000000, 123456},
        {"nanoseconds truncated", 9, 0, 1700000000123456789ull, 1700000000, 123456},
        {"nanoseconds, last microsecond", 9, 0, 1700000000999999999ull, 1700000000, 999999},
        {"milliseconds", 3, 0, 1700000000123ull, 1700000000, 123000},
        {"seconds", 0, 0, 1700000000ull, 1700000000, 0},
        {"10^-19", 19, 0, 1234567891234567891ull, 0, 123456},
        {"2^-20, half a second", 0x80 | 20, 0, (1700000000ull << 20) | (1u << 19), 1700000000, 500000},
        {"2^-20, one unit is under a microsecond", 0x80 | 20, 0, (5ull << 20) | 1, 5, 0},
        {"2^-10, one unit", 0x80 | 10, 0, (7ull << 10) | 1, 7, 976},
        {"2^0", 0x80, 0, 99, 99, 0},
        {"2^-63", 0x80 | 63, 0, (1ull << 63) | (1ull << 62), 1, 500000},
        {"offset forward", 6, 3600, us(100, 7), 3700, 7},
        {"offset backward", 6, -100, us(1700000000, 7), 1699999900, 7},
    };
    for (const auto& c : cases) {
        uint32_t sec = 0, usec = 0;
        ASSERT_TRUE(PcapNgTime(c.units, c.resolution, c.offset, sec, usec)) << c.what;
        EXPECT_EQ(sec, c.sec) << c.what;
        EXPECT_EQ(usec, c.usec) << c.what;
    }
    uint32_t sec, usec;
    EXPECT_FALSE(PcapNgTime(1, 20, 0, sec, usec));
    EXPECT_FALSE(PcapNgTime(1, 0x80 | 64, 0, sec, usec));
    EXPECT_FALSE(PcapNgTime(1, 0xFF, 0, sec, usec));

    // Through the file: each interface its own resolution and offset; the options
    // before and after them are passed over.
    TempDir d;
    for (bool big : {false, true}) {
        Ng f;
        f.shb(big);
        f.idb(1, 0, Ng::cat({f.opt(2, {'e', 't', 'h', '0'}), f.opt(9, {9}), f.opt(0, {})}));
        f.idb(1, 0, Ng::cat({f.opt(9, {0x80 | 20}), f.opt(14, f.u64(uint64_t(-10))), f.opt(0, {})}));
        f.idb(1, 0, Ng::cat({f.opt(14, f.u64(1000)), f.opt(3, Bytes8(5, 'x'))}));  // no end-of-options
        f.epb(0, 1700000000123456789ull, A).epb(1, (100ull << 20) | (1u << 18), B).epb(2, us(5, 6), C);
        Loaded l;
        load(d.write("r.pcapng", f.out), l);
        EXPECT_EQ(l.notice, "");
        expect_frames(l.store, {{1700000000, 123456, A}, {90, 250000, B}, {1005, 6, C}});
    }
}

TEST(PcapNg, SimplePacketBlocksUseInterfaceZero) {
    TempDir d;
    Bytes8 twenty = pattern(20, 9);
    Ng f;
    f.shb().idb(1, 8).idb(1, 0);
    f.spb(20, Bytes8(twenty.begin(), twenty.begin() + 8));       // cut to interface 0's snap length
    f.spb(3, Bytes8(twenty.begin(), twenty.begin() + 3));        // padding is not packet data
    f.spb(1000, Bytes8(twenty.begin(), twenty.begin() + 4));     // an original length beyond the block
    f.epb(1, us(50, 5), A);
    f.spb(6, Bytes8(twenty.begin(), twenty.begin() + 6));
    Loaded l;
    load(d.write("s.pcapng", f.out), l);
    EXPECT_EQ(l.notice, "");
    auto part = [&](size_t n) { return Bytes8(twenty.begin(), twenty.begin() + long(n)); };
    expect_frames(l.store, {{0, 0, part(8)}, {0, 0, part(3)}, {0, 0, part(4)}, {50, 5, A}, {50, 5, part(6)}});
}

TEST(PcapNg, OtherBlocksAreSkippedByTheirLength) {
    TempDir d;
    Ng f;
    f.shb().idb(1);
    f.block(4, Bytes8{1, 0, 6, 0, 10, 0, 0, 1, 'a', 0, 0, 0, 0, 0, 0, 0});  // name resolution
    f.epb(0, us(1, 1), A);
    f.block(5, Bytes8(20, 0xFF));                                       // interface statistics
    f.block(0x0A, Bytes8(40, 0x0A));                                    // decryption secrets
    f.block(0x40000BAD, Bytes8(7, 6));                                  // custom
    f.block(0x12345678, Bytes8{});                                      // unknown, empty body
    f.block(0x00000006 | 0x80000000u, Bytes8(32, 0));                   // unknown, near a packet type
    f.epb(0, us(2, 2), B, Ng::cat({f.opt(1, Bytes8(9, 'c')), f.opt(2, f.u32(1)), f.opt(0, {})}));
    Loaded l;
    load(d.write("o.pcapng", f.out), l);
    EXPECT_EQ(l.notice, "");
    expect_frames(l.store, {{1, 1, A}, {2, 2, B}});
}

TEST(PcapNg, SeveralSectionsEachWithItsOwnInterfaces) {
    TempDir d;
    Ng f;
    f.shb(false).idb(1).idb(1, 0, f.opt(9, {3})).epb(1, 1700000000123ull, A);
    f.shb(true).idb(1).epb(0, us(7, 8), B);  // interface 0 of this section: microseconds
    f.shb(false).idb(1, 0, f.opt(9, {3})).opb(0, 9001, C);
    Loaded l;
    load(d.write("m.pcapng", f.out), l);
    EXPECT_EQ(l.notice, "");
    expect_frames(l.store, {{1700000000, 123000, A}, {7, 8, B}, {9, 1000, C}});

    // Interface 1 of the first section does not exist in the second.
    Ng g;
    g.shb().idb(1).idb(1).epb(1, 1, A);
    g.shb(true).idb(1);
    size_t bad = g.out.size();
    g.epb(1, 2, B);
    std::string path = d.write("n.pcapng", g.out);
    load(path, l);
    EXPECT_EQ(l.message, "");
    EXPECT_EQ(l.notice, "Warning : " + path + " : the block at byte " + std::to_string(bad) +
                            " is damaged (a packet names interface 1, which its section does not describe); the "
                            "load ends there with 1 frame.  ");
    EXPECT_EQ(l.store.frame_count(), 1u);
}

TEST(PcapNg, FramesOfOtherLinkTypesAreLeftOutAndCounted) {
    TempDir d;
    Ng f;
    f.shb().idb(1).idb(113).idb(101).idb(1);
    f.epb(0, us(1, 0), A).epb(1, us(2, 0), B).epb(1, us(3, 0), B).epb(2, us(4, 0), C).epb(3, us(5, 0), D);
    f.opb(1, us(6, 0), C).spb(1, C);
    std::string path = d.write("l.pcapng", f.out);
    Loaded l;
    load(path, l);
    EXPECT_EQ(l.message, "");
    EXPECT_EQ(l.link, 1);
    expect_frames(l.store, {{1, 0, A}, {5, 0, D}, {5, 0, C}});
    EXPECT_EQ(l.notice, "Note : " + path + " : 1 frame of link type 101 (raw IP) left out; the window shows link "
                        "type 1 (Ethernet) only.  \n"
                        "Note : " + path + " : 3 frames of link type 113 (Linux cooked) left out; the window "
                        "shows link type 1 (Ethernet) only.  ");

    // The first interface decides, even when most frames are of another type.
    Ng g;
    g.shb().idb(276).idb(1).epb(1, 1, A).epb(1, 2, B).epb(0, us(3, 3), C);
    path = d.write("k.pcapng", g.out);
    load(path, l);
    EXPECT_EQ(l.link, 276);
    expect_frames(l.store, {{3, 3, C}});
    EXPECT_EQ(l.notice, "Note : " + path + " : 2 frames of link type 1 (Ethernet) left out; the window shows "
                        "link type 276 (Linux cooked v2) only.  ");

    // No interface at all: an empty Ethernet document.
    Ng h;
    h.shb();
    load(d.write("e.pcapng", h.out), l);
    EXPECT_EQ(l.message, "");
    EXPECT_EQ(l.link, 1);
    EXPECT_EQ(l.store.frame_count(), 0u);
}

// A cut at a block boundary loads every frame before it and says nothing; a cut
// anywhere else also loads them, and names the block that was cut.
TEST(PcapNg, EveryCutOfAFile) {
    TempDir d;
    for (bool big : {false, true}) {
        Ng f;
        f.big = big;  // for the option, made before the section header
        f.shb(big, 1, 0, f.opt(4, {'z'})).idb(1).epb(0, us(1, 1), A).block(4, Bytes8(8, 0)).spb(33, B)
            .idb(1, 0, f.opt(9, {9})).opb(1, 3000, C).epb(0, us(4, 4), D);
        std::vector<Frame> all = {{1, 1, A}, {1, 1, B}, {0, 3, C}, {4, 4, D}};
        // Frames complete at each block end.
        std::vector<size_t> frames_at = {0, 0, 1, 1, 2, 2, 3, 4};
        ASSERT_EQ(f.ends.size(), frames_at.size());
        for (size_t cut = 24; cut <= f.out.size(); ++cut) {
            size_t k = 0;  // blocks complete
            while (k < f.ends.size() && f.ends[k] <= cut) ++k;
            size_t start = k ? f.ends[k - 1] : 0;
            size_t frames = k ? frames_at[k - 1] : 0;
            std::string path = d.write("cut.pcapng", Bytes8(f.out.begin(), f.out.begin() + long(cut)));
            Loaded l;
            load(path, l);
            SCOPED_TRACE(std::to_string(cut) + (big ? " big" : " little"));
            ASSERT_EQ(l.message, "");
            expect_frames(l.store, std::vector<Frame>(all.begin(), all.begin() + long(frames)));
            if (cut == start) {
                EXPECT_EQ(l.notice, "");
                continue;
            }
            size_t block_length = f.ends[k] - start;
            std::string why = cut - start < 8 ? "the file ends inside a block header"
                                              : "block of " + std::to_string(block_length) +
                                                    " bytes runs past the end of the file";
            EXPECT_EQ(l.notice, "Warning : " + path + " : the block at byte " + std::to_string(start) +
                                    " is damaged (" + why + "); the load ends there with " +
                                    std::to_string(frames) + (frames == 1 ? " frame.  " : " frames.  "));
        }
    }
}

// Blocks that contradict themselves or their section: the load ends at the block,
// with the frames before it, and the notice says what was wrong.
TEST(PcapNg, DamagedBlocksEndTheLoad) {
    struct Case {
        const char* what;
        std::function<void(Ng&)> bad;
        std::string why;
    } cases[] = {
        {"trailer differs", [](Ng& f) { f.block(6, Bytes8(24, 0), 0, 4); },
         "the length at the end of the block (40) differs from its start (36)"},
        {"length not a multiple of 4", [](Ng& f) { f.block(5, Bytes8(20, 0), 30); },
         "block of type 0x00000005 has the impossible length 30"},
        {"length below 12", [](Ng& f) { f.block(5, {}, 8); }, "block of type 0x00000005 has the impossible length 8"},
        {"length past the file", [](Ng& f) { f.block(5, Bytes8(8, 0), 0xFFFFFFF0u); },
         "block of 4294967280 bytes runs past the end of the file"},
        {"enhanced packet too short", [](Ng& f) { f.block(6, Bytes8(16, 0)); },
         "enhanced packet block of 28 bytes is too short"},
        {"obsolete packet too short", [](Ng& f) { f.block(2, Bytes8(4, 0)); },
         "obsolete packet block of 16 bytes is too short"},
        {"simple packet too short", [](Ng& f) { f.block(3, {}); }, "simple packet block of 12 bytes is too short"},
        {"captured length past the block",
         [](Ng& f) { f.block(6, Ng::cat({f.u32(0), f.u32(0), f.u32(0), f.u32(5), f.u32(5), Bytes8(4, 0)})); },
         "packet data of 5 bytes runs past its block"},
        {"huge captured length",
         [](Ng& f) { f.block(6, Ng::cat({f.u32(0), f.u32(0), f.u32(0), f.u32(0xFFFFFFFD), f.u32(5)})); },
         "packet data of 4294967293 bytes runs past its block"},
        {"unknown interface", [](Ng& f) { f.epb(2, 0, A); },
         "a packet names interface 2, which its section does not describe"},
        {"unknown interface, obsolete block", [](Ng& f) { f.opb(7, 0, A); },
         "a packet names interface 7, which its section does not describe"},
        {"section with an unknown byte-order magic",
         [](Ng& f) { f.block(0x0A0D0D0A, Ng::cat({f.u32(0x11223344), f.u32(0), f.u64(0)})); },
         "unknown byte-order magic 0x11223344 in a section header"},
        {"section version 2", [](Ng& f) { f.shb(false, 2, 0); }, "section version 2.0 is not supported"},
        {"section header too short", [](Ng& f) { f.block(0x0A0D0D0A, Ng::cat({f.u32(0x1A2B3C4D), f.u32(1)})); },
         "section header of 20 bytes is too short"},
        {"interface description too short", [](Ng& f) { f.block(1, f.u32(1)); },
         "interface description of 16 bytes is too short"},
        {"option past the interface block", [](Ng& f) { f.idb(1, 0, Ng::cat({f.u16(2), f.u16(9), Bytes8(4, 'e')})); },
         "option 2 of 9 bytes runs past its block"},
        {"time resolution too fine", [](Ng& f) { f.idb(1, 0, f.opt(9, {20})); },
         "time stamp resolution 0x14 cannot be represented"},
        {"binary time resolution too fine", [](Ng& f) { f.idb(1, 0, f.opt(9, {0xC0})); },
         "time stamp resolution 0xC0 cannot be represented"},
    };
    TempDir d;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Ng f;
        f.shb().idb(1).epb(0, us(1, 1), A);
        size_t at = f.out.size();
        c.bad(f);
        f.idb(1).epb(0, us(2, 2), B);  // never reached
        std::string path = d.write("bad.pcapng", f.out);
        Loaded l;
        load(path, l);
        EXPECT_EQ(l.message, "");
        expect_frames(l.store, {{1, 1, A}});
        EXPECT_EQ(l.notice, "Warning : " + path + " : the block at byte " + std::to_string(at) + " is damaged (" +
                                c.why + "); the load ends there with 1 frame.  ");
    }
    // A simple packet block needs an interface before it.
    Ng f;
    f.shb().spb(4, C);
    std::string path = d.write("spb.pcapng", f.out);
    Loaded l;
    load(path, l);
    EXPECT_EQ(l.notice, "Warning : " + path + " : the block at byte 28 is damaged (a simple packet block comes "
                        "before any interface description); the load ends there with 0 frames.  ");
}

TEST(PcapNg, IdentificationNeedsASectionHeader) {
    TempDir d;
    Ng f;
    f.shb().idb(1);
    Bytes8 shb(f.out.begin(), f.out.begin() + 28);
    EXPECT_EQ(IdentifyCaptureFile(d.write("a", f.out)), CaptureKind::PcapNg);
    Bytes8 wrong = f.out;
    wrong[8] ^= 1;  // byte-order magic
    EXPECT_EQ(IdentifyCaptureFile(d.write("b", wrong)), CaptureKind::NotCapture);
    wrong = f.out;
    wrong[0] = 1;  // an interface block first
    EXPECT_EQ(IdentifyCaptureFile(d.write("c", wrong)), CaptureKind::NotCapture);
    EXPECT_EQ(IdentifyCaptureFile(d.write("d", Bytes8(shb.begin(), shb.begin() + 23))), CaptureKind::NotCapture);
}

TEST(PcapNg, AFullStoreEndsTheLoadSilently) {
    TempDir d;
    Ng f;
    f.shb().idb(1).epb(0, 1, A).epb(0, 2, B).epb(0, 3, C);
    std::string path = d.write("c.pcapng", f.out);
    for (uint32_t room : {0u, 75u, 76u, 124u, 125u, 1000u}) {
        FrameStore s;
        ASSERT_TRUE(s.allocate(STORE_HEAD + 1000));
        int32_t link = 0;
        std::string notice = "x";
        EXPECT_EQ(ReadCaptureFile(path, CaptureKind::PcapNg, s, STORE_HEAD + room, link, &notice), "");
        EXPECT_EQ(notice, "") << room;
        EXPECT_EQ(s.frame_count(), room < 76 ? 0u : room < 125 ? 1u : room < 142 ? 2u : 3u) << room;
    }
}

// Files small enough for the library's own buffer and files over the reader's
// 1 MB buffer, whose blocks straddle its refills, read alike by the one-open load
// and by the window's three steps (identify, size, read).
TEST(PcapNg, SmallAndLargeFilesByBothLoadPaths) {
    TempDir d;
    for (int frames : {3, 9000}) {
        SCOPED_TRACE(frames);
        Ng f;
        f.shb().idb(1);
        std::vector<Frame> want;
        for (int i = 0; i < frames; ++i) {
            Bytes8 data = pattern(size_t(i % 151), uint8_t(i));
            f.epb(0, us(1700000000, uint32_t(i)), data);
            want.push_back({1700000000, uint32_t(i), data});
        }
        std::string path = d.write("f.pcapng", f.out);
        Loaded one;
        load(path, one);
        EXPECT_EQ(one.message, "");
        expect_frames(one.store, want);

        CaptureKind kind = IdentifyCaptureFile(path);
        ASSERT_EQ(kind, CaptureKind::PcapNg);
        int64_t size = CaptureFileLoadSize(path, kind, int64_t(f.out.size()));
        FrameStore three;
        ASSERT_TRUE(three.allocate(uint64_t(size)));
        int32_t link = 0;
        EXPECT_EQ(ReadCaptureFile(path, kind, three, uint64_t(size), link, nullptr), "");
        EXPECT_EQ(link, 1);
        expect_frames(three, want);
    }
}

TEST(PcapNg, SampleFileAndSavingWritesLibpcap) {
    Loaded l;
    load(std::string(ZELPAN_SOURCE_DIR) + "/samples/formats.pcapng", l);
    ASSERT_EQ(l.message, "");
    EXPECT_EQ(l.notice, "");
    EXPECT_EQ(l.link, 1);
    std::vector<Frame> got = frames_of(l.store);
    ASSERT_EQ(got.size(), 3u);
    // Nanoseconds truncated; the simple block cut to 96 bytes with the time before.
    EXPECT_EQ(got[0].sec, 1700000010u);
    EXPECT_EQ(got[0].usec, 123456u);
    EXPECT_EQ(got[0].bytes.size(), 47u);
    EXPECT_EQ(got[1].sec, 1700000010u);
    EXPECT_EQ(got[1].usec, 123456u);
    EXPECT_EQ(got[1].bytes.size(), 96u);
    EXPECT_EQ(got[2].sec, 1700000011u);
    EXPECT_EQ(got[2].usec, 654321u);
    EXPECT_EQ(got[2].bytes.size(), 54u);

    // Saving writes the program's own form, whatever was opened.
    TempDir d;
    std::string out = d.path + "/saved.pcapng";
    ASSERT_EQ(WriteCaptureFile(out, l.store, l.link, false), "");
    EXPECT_EQ(IdentifyCaptureFile(out), CaptureKind::Pcap);
    Loaded back;
    load(out, back);
    EXPECT_EQ(back.notice, "");
    expect_frames(back.store, got);
}

TEST(PcapNg, CliTellsWhatWasLeftOutOnStandardError) {
    TempDir d;
    Ng f;
    f.shb().idb(1).idb(113).epb(0, us(1, 0), A).epb(1, us(2, 0), B);
    std::string path = d.write("cli.pcapng", f.out);
    std::string cmd = std::string(ZELPAN_CLI) + " summary " + path + " 2>" + d.path + "/err >" + d.path + "/out";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
    auto slurp = [](const std::string& p) {
        std::ifstream in(p);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    EXPECT_EQ(slurp(d.path + "/err"), "Note : " + path + " : 1 frame of link type 113 (Linux cooked) left out; "
                                      "the window shows link type 1 (Ethernet) only.  \n");
    std::string out = slurp(d.path + "/out");
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
}

// ---- the other libpcap forms ----

TEST(PcapForms, ByteSwappedAndNanosecondFiles) {
    struct Form {
        CaptureKind kind;
        uint32_t magic;
        bool big, nano;
    } forms[] = {
        {CaptureKind::Pcap, 0xA1B2C3D4, false, false},
        {CaptureKind::PcapSwapped, 0xA1B2C3D4, true, false},
        {CaptureKind::PcapNano, 0xA1B23C4D, false, true},
        {CaptureKind::PcapNanoSwapped, 0xA1B23C4D, true, true},
    };
    std::vector<Frame> frames = {{1700000000, 1, A}, {1700000001, 999999, D}, {4000000000u, 500000, B}};
    TempDir d;
    for (const auto& form : forms) {
        SCOPED_TRACE(int(form.kind));
        Ng w;  // only for its byte order
        w.big = form.big;
        Bytes8 file = Ng::cat({w.u32(form.magic), w.u16(2), w.u16(4), w.u32(0), w.u32(0), w.u32(65535), w.u32(113)});
        std::vector<size_t> starts;
        for (const auto& f : frames) {
            starts.push_back(file.size());
            // A nanosecond file carries digits below the microsecond; they are dropped.
            uint32_t sub = form.nano ? f.usec * 1000 + 999 : f.usec;
            file = Ng::cat({file, w.u32(f.sec), w.u32(sub), w.u32(uint32_t(f.bytes.size())),
                            w.u32(uint32_t(f.bytes.size()) + 9), f.bytes});
        }
        std::string path = d.write("p", file);
        EXPECT_EQ(IdentifyCaptureFile(path), form.kind);
        Loaded l;
        load(path, l);
        EXPECT_EQ(l.message, "");
        EXPECT_EQ(l.link, 113);
        expect_frames(l.store, frames);
        // Loaded with its own size, a cut file says where it was cut.
        load(d.write("cut", Bytes8(file.begin(), file.begin() + long(starts[2] + 16 + 32))), l);
        EXPECT_EQ(l.message, "ERROR : Frame data(Frame=3) can't readed.  ");
        load(d.write("cut", Bytes8(file.begin(), file.begin() + long(starts[2] + 16 + 2))), l);
        EXPECT_EQ(l.message, "ERROR : Frame data(Frame=3) can't readed.  ");
        // Cuts report the frame as in the written form (into a store with room for
        // the whole record, so that the cut and not the room ends the read).
        for (size_t into : {5, 16 + 2}) {
            std::string cut = d.write("cut", Bytes8(file.begin(), file.begin() + long(starts[2] + into)));
            FrameStore s;
            ASSERT_TRUE(s.allocate(uint32_t(file.size() + 64)));
            int32_t link = 0;
            EXPECT_EQ(ReadCaptureFile(cut, form.kind, s, s.capacity(), link),
                      into < 12 ? "ERROR : Header(Frame=3) can't readed.  "
                                : "ERROR : Frame data(Frame=3) can't readed.  ");
        }
        // The saved copy is the written form.
        ASSERT_EQ(LoadCaptureFile(path, l.store, l.link), "");
        std::string out = d.path + "/saved";
        ASSERT_EQ(WriteCaptureFile(out, l.store, l.link, false), "");
        EXPECT_EQ(IdentifyCaptureFile(out), CaptureKind::Pcap);
    }
}

// ---- stores past 4 GiB (without writing such a file) ----

TEST(LargeStore, HeadAndOffsetsAreSixtyFourBits) {
    FrameStore s;
    ASSERT_TRUE(s.allocate(STORE_HEAD + 64));
    s.set_frame_count(3);
    s.set_used_bytes(0x123456789ull);
    EXPECT_EQ(s.used_bytes(), 0x123456789ull);
    EXPECT_EQ(s.frame_count(), 3u);
    // A head that claims more than the block holds: nothing more fits, and no
    // walk leaves the block.
    EXPECT_FALSE(s.fits(0));
    for (const uint8_t* r = s.first(); r; r = s.next(r, 0)) EXPECT_LE(uint64_t(r - s.block()) + 16, STORE_HEAD + 64);

    // A block past 4 GiB, of which only the pages written are ever touched.
    const uint64_t big = (5ull << 30) + 4096;
    FrameStore l;
    if (!l.allocate(big)) GTEST_SKIP() << "no 5 GiB of address space here";
    EXPECT_EQ(l.capacity(), big);
    const uint64_t room = big - STORE_HEAD;
    l.set_used_bytes(room - 100);
    EXPECT_TRUE(l.fits(84));
    EXPECT_FALSE(l.fits(85));
    uint8_t bytes[84];
    for (int i = 0; i < 84; ++i) bytes[i] = uint8_t(i);
    uint8_t* r = l.append(7, 8, bytes, sizeof bytes);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(uint64_t(r - l.block()), STORE_HEAD + room - 100);
    EXPECT_EQ(l.used_bytes(), room);
    EXPECT_EQ(l.at(0), r);
    EXPECT_EQ(record_length(l.at(0)), 84u);
    EXPECT_EQ(std::memcmp(record_bytes(r), bytes, sizeof bytes), 0);
    EXPECT_EQ(l.append(1, 1, bytes, 0), nullptr);  // full to the byte
}

TEST(LargeStore, LoadSizesAreNotCutTo32Bits) {
    TempDir d;
    std::string path = d.write("f", Bytes8(64, 0));
    const int64_t six = 6000000000;
    for (CaptureKind k : {CaptureKind::Pcap, CaptureKind::PcapSwapped, CaptureKind::PcapNano,
                          CaptureKind::PcapNanoSwapped, CaptureKind::PcapNg})
        EXPECT_EQ(CaptureFileLoadSize(path, k, six), six) << int(k);
    // Legacy format 2 with a frame count of 1000000: 4 bytes more per record.
    Bytes8 legacy = {'a', 'b', 'c', 'd', 'e', 'v', '2', 0, 0, 0, 0, 0, 0x40, 0x42, 0x0F, 0};
    path = d.write("l", legacy);
    EXPECT_EQ(CaptureFileLoadSize(path, CaptureKind::Legacy2, six), six + 4000000);
}

TEST(LargeStore, AFileThatDoesNotFitInMemoryIsNamedWithItsSize) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator reports a failed huge allocation itself";
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    GTEST_SKIP() << "the sanitizer's allocator reports a failed huge allocation itself";
#endif
#endif
    TempDir d;
    // A pcap header, then a hole: a 1 TiB file that takes no disk.
    Bytes8 head = {0xD4, 0xC3, 0xB2, 0xA1, 2, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0, 0, 1, 0, 0, 0};
    std::string path = d.write("huge.pcap", head);
    const uint64_t tib = 1ull << 40;
    ASSERT_EQ(::truncate(path.c_str(), off_t(tib)), 0);
    Loaded l;
    load(path, l);
    EXPECT_EQ(l.message, "ERROR : Memory for " + path + " (1099511627776 bytes) can't allocated.  ");
    EXPECT_FALSE(l.store.present());
}
