// Passes over ranges of frames on several threads give exactly what one ordered
// pass gives: summary lines, detail lines, text exports and layer indexes, also
// when FTP control and data connections cross range boundaries.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "condition/layer_index.h"
#include "store/capture_file.h"
#include "store/decode_passes.h"
#include "store/text_export.h"
#include "tests/support.h"

using namespace zelpan;
using zt::Frame;

namespace {

Frame tcp4(uint8_t src, uint8_t dst, uint16_t sport, uint16_t dport, uint8_t flags, const std::string& payload = "") {
    size_t total = 40 + payload.size();
    Frame ip = {0x45, 0, uint8_t(total >> 8), uint8_t(total), 0, 1, 0x40, 0, 64, 6, 0, 0, 10, 0, 0, src, 10, 0, 0, dst};
    Frame tcp = {uint8_t(sport >> 8), uint8_t(sport), uint8_t(dport >> 8), uint8_t(dport), 0, 0, 0, 1, 0, 0, 0, 1,
                 0x50, flags, 0xFF, 0xFF, 0, 0, 0, 0};
    Frame f = zt::cat({zt::hex("001122334455 66778899aabb 0800"), ip, tcp});
    f.insert(f.end(), payload.begin(), payload.end());
    return f;
}

enum : uint8_t { FIN = 0x01, SYN = 0x02, PSH = 0x08, ACK = 0x10 };

// Passive FTP sessions: announcements, accepted data connections, transfers and
// closes, with unrelated traffic between them, so that with small ranges the
// tracking state at many range starts is not the empty one.
void fill_ftp_sessions(FrameStore& store) {
    std::vector<Frame> frames;
    for (int s = 0; s < 12; ++s) {
        uint16_t port = uint16_t(40000 + s * 7);
        uint8_t p1 = uint8_t(port >> 8), p2 = uint8_t(port);
        std::string reply = "227 Entering Passive Mode (10,0,0,2," + std::to_string(p1) + "," + std::to_string(p2) + ")\r\n";
        frames.push_back(tcp4(2, 1, 21, 50000, ACK | PSH, reply));
        for (int k = 0; k < s % 4; ++k) frames.push_back(zt::udp_to(uint16_t(9000 + k)));
        frames.push_back(tcp4(2, 1, port, 50100, ACK | PSH, "before the connection"));
        frames.push_back(tcp4(2, 1, port, 50100, SYN | ACK));
        for (int k = 0; k < 1 + s % 3; ++k) frames.push_back(tcp4(2, 1, port, 50100, ACK | PSH, "listing data"));
        if (s % 2) frames.push_back(tcp4(2, 1, port, 50100, FIN | ACK));
        // Earlier data ports stay learnt.
        frames.push_back(tcp4(1, 2, 50100, uint16_t(40000 + (s / 2) * 7), ACK | PSH, "x"));
    }
    size_t bytes = 0;
    for (const Frame& f : frames) bytes += f.size() + RECORD_HEADER;
    ASSERT_TRUE(store.allocate(STORE_HEAD + bytes + 64));
    uint32_t usec = 0;
    for (const Frame& f : frames) ASSERT_TRUE(store.append(1700000000, usec += 1500, f.data(), uint32_t(f.size())));
}

class SummaryLines : public RangeWork {
public:
    explicit SummaryLines(std::string& out) : out_(out) {}
    void decode(DecodeContext& c, uint32_t first, uint32_t count, const uint8_t* r) override {
        for (uint32_t i = 0; i < count; ++i, r += RECORD_HEADER + record_length(r)) {
            clear_columns(c, long(first + i));
            decode_frame(0, r, c.link_type, int32_t(first + i + 1));
            text_ += std::to_string(first + i + 1);
            for (int k = 1; k <= 5; ++k) text_ += std::string("\t") + c.columns[k];
            text_ += '\n';
        }
    }
    void take(uint32_t, uint32_t) override {
        out_ += text_;
        text_.clear();
    }
    void reset() override { text_.clear(); }

private:
    std::string& out_;
    std::string text_;
};

struct Result {
    std::string summary;
    CarriedState after{};
    int32_t widths[COLUMN_COUNT] = {};
};

Result summary_pass(const FrameStore& store, int32_t link_type, int threads, uint32_t range) {
    Result r;
    DecodeContext c;
    c.link_type = link_type;
    c.mode = MODE_DISPLAY;
    PassOptions o;
    o.threads = threads;
    o.range_frames = range;
    RunRangePass(c, store, store.frame_count(), [&] { return std::make_unique<SummaryLines>(r.summary); }, o);
    r.after = carried_state(c);
    std::copy(std::begin(c.column_widths), std::end(c.column_widths), r.widths);
    return r;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Runs f with the pass settings taken from the environment.
template <class F>
auto with_threads(const char* threads, const char* range, F f) {
    setenv("ZELPAN_THREADS", threads, 1);
    setenv("ZELPAN_RANGE_FRAMES", range, 1);
    auto result = f();
    unsetenv("ZELPAN_THREADS");
    unsetenv("ZELPAN_RANGE_FRAMES");
    return result;
}

std::string export_text(const FrameStore& store, int32_t link_type, const std::string& path) {
    DecodeContext c;
    c.link_type = link_type;
    c.mode = MODE_DISPLAY;
    make_current(&c);
    std::string msg = ExportFramesAsText(path, store, false);
    make_current(nullptr);
    EXPECT_EQ(msg, "");
    return read_file(path);
}

std::string index_text(const FrameStore& store, int32_t link_type) {
    DecodeContext c;
    c.link_type = link_type;
    LayerIndexList list;
    BuildLayerIndexes(c, store, list);
    std::ostringstream out;
    FrameLayerIndex ix;
    for (uint32_t i = 0; i < list.size(); ++i) {
        list.view(i, ix);
        out << ix.label << ':';
        for (int k = 0; k < ix.count; ++k) out << ' ' << ix.entries[k].protocol << '@' << ix.entries[k].offset;
        out << '\n';
    }
    for (const DistributionEntry& e : list.distribution()) out << e.label << ' ' << e.total_frames << '\n';
    return out.str();
}

// "" when equal, else the first line that differs (whole outputs are too long to print).
std::string first_difference(const std::string& got, const std::string& want) {
    if (got == want) return "";
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
    size_t line = want.rfind('\n', at == 0 ? 0 : at - 1);
    line = line == std::string::npos ? 0 : line + 1;
    return "at byte " + std::to_string(at) + ": got \"" + got.substr(line, 120) + "\", want \"" +
           want.substr(line, 120) + "\"";
}

}  // namespace

TEST(DecodePasses, FtpTrackingAcrossRangeBoundaries) {
    FrameStore store;
    fill_ftp_sessions(store);
    Result one = summary_pass(store, 1, 1, 1u << 30);
    // The tracking must be at work, or the comparison proves nothing.
    ASSERT_NE(one.summary.find("FTP-DATA"), std::string::npos);
    ASSERT_NE(one.summary.find("\tTCP\t"), std::string::npos);
    for (uint32_t range : {1u, 2u, 3u, 5u, 8u, 13u}) {
        for (int threads : {1, 2, 3}) {
            SCOPED_TRACE("range " + std::to_string(range) + ", threads " + std::to_string(threads));
            Result many = summary_pass(store, 1, threads, range);
            EXPECT_EQ(first_difference(many.summary, one.summary), "");
            EXPECT_TRUE(same_effect(many.after, one.after));
            EXPECT_TRUE(std::equal(std::begin(one.widths), std::end(one.widths), many.widths));
        }
    }
}

TEST(DecodePasses, ExportAndLayerIndexMatchOneOrderedPass) {
    const std::string dir = ZELPAN_SOURCE_DIR;
    for (const char* file : {"", "samples/sample.zlc", "samples/routing.zlc", "samples/legacy.zlc",
                             "samples/ppp.zlc", "samples/formats.pcapng", "samples/cooked.zlc"}) {
        SCOPED_TRACE(*file ? file : "ftp sessions");
        FrameStore store;
        int32_t link = 1;
        if (*file) {
            ASSERT_EQ(LoadCaptureFile(dir + "/" + file, store, link), "");
        } else {
            fill_ftp_sessions(store);
        }
        ASSERT_GE(store.frame_count(), 3u);
        std::string path = testing::TempDir() + "zelpan_passes_export.txt";
        std::string one = with_threads("1", "100000", [&] { return export_text(store, link, path); });
        std::string many = with_threads("3", "2", [&] { return export_text(store, link, path); });
        EXPECT_EQ(first_difference(many, one), "");
        EXPECT_GT(one.size(), 1000u);
        std::string ix_one = with_threads("1", "100000", [&] { return index_text(store, link); });
        std::string ix_many = with_threads("2", "3", [&] { return index_text(store, link); });
        EXPECT_EQ(first_difference(ix_many, ix_one), "");
        Result s1 = summary_pass(store, link, 1, 1u << 30);
        Result s2 = summary_pass(store, link, 2, 4);
        EXPECT_EQ(first_difference(s2.summary, s1.summary), "");
    }
}

TEST(DecodePasses, CarriedStatesCompareByEffect) {
    CarriedState a{}, b{};
    EXPECT_TRUE(same_effect(a, b));
    // Free entries and an active flag without entries change nothing.
    b.ftp.active = 1;
    b.ftp.entries[3].port = 99;
    EXPECT_TRUE(same_effect(a, b));
    b.ftp.entries[3].state = 1;
    EXPECT_FALSE(same_effect(a, b));
    a = b;
    a.ftp.entries[3].server[0] = 1;
    EXPECT_FALSE(same_effect(a, b));
    CarriedState c{}, d{};
    d.ports.any_entry = 1;
    EXPECT_TRUE(same_effect(c, d));
    d.ports.entries[0] = {1, 4000, 20};
    EXPECT_FALSE(same_effect(c, d));
    c.ports.entries[0] = {1, 4000, 20};
    c.ports.any_entry = 1;
    c.ports.entries[2] = {1, 5, 20};  // behind an unused entry: never reached
    EXPECT_TRUE(same_effect(c, d));
}

TEST(DecodePasses, CancelStopsBeforeTheNextRange) {
    FrameStore store;
    fill_ftp_sessions(store);
    std::string out;
    DecodeContext c;
    c.mode = MODE_DISPLAY;
    int asked = 0;
    PassOptions o;
    o.threads = 2;
    o.range_frames = 4;
    o.cancelled = [&] { return ++asked > 2; };
    uint32_t taken = RunRangePass(c, store, store.frame_count(), [&] { return std::make_unique<SummaryLines>(out); }, o);
    EXPECT_EQ(taken, 8u);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 8);
}
