// TCP stream assembly: reading frames, connection matching, the queues and their
// release and flush rules, retransmissions, the text lines and saving.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/wait.h>

#include "condition/layer_index.h"
#include "stats/tcp_stream.h"
#include "store/capture_file.h"
#include "tests/stream_frames.h"
#include "tests/support.h"

using namespace zelpan;
using zt::ACK;
using zt::PSH;
using zt::SYN;

namespace {

const zt::End C = zt::end4(1, 192, 168, 0, 10, 40000);  // client
const zt::End S = zt::end4(2, 192, 168, 0, 20, 21);     // server

struct Conn {
    FrameStore store;
    DecodeContext context;
    LayerIndexList index;
    explicit Conn(const std::vector<zt::Bytes8>& frames) {
        zt::fill_store(store, zt::timed(frames));
        BuildLayerIndexes(context, store, index);
    }
};

// Collects what a build emits: direction, frame number and payload per chunk, and the text.
struct Collect : StreamOutput {
    std::vector<std::string> chunks;  // "d:frame:payload"
    std::string text;
    void chunk(const StreamChunk& c) override {
        chunks.push_back(std::to_string(c.direction) + ":" + std::to_string(c.frame_index + 1) + ":" +
                         std::string(reinterpret_cast<const char*>(c.payload), size_t(c.payload_length)));
        AppendStreamText(c, text);
    }
};

using Chunks = std::vector<std::string>;

Chunks build(Conn& c, int32_t reference, int choice = STREAM_ALL, std::string* text = nullptr,
             std::string* bytes = nullptr) {
    TcpStreamBuilder b(c.store, c.index);
    Collect out;
    EXPECT_TRUE(b.Build(reference, int32_t(c.store.frame_count()), choice, out));
    if (text) *text = out.text;
    if (bytes) *bytes = b.ByteCountText();
    return out.chunks;
}

// The login of the tests: handshake, a two-line command, a reply, an ACK.
std::vector<zt::Bytes8> login() {
    return {
        zt::tcp_frame(C, S, 100, 0, "", SYN),
        zt::tcp_frame(S, C, 500, 101, "", SYN | ACK),
        zt::tcp_frame(C, S, 101, 501, "USER abc\r\n\r\n"),  // 101..113
        zt::tcp_frame(S, C, 501, 113, "331 ok\r\n"),        // 501..509
        zt::tcp_frame(C, S, 113, 509, "", ACK),
    };
}

}  // namespace

// ---- reading frames ----

TEST(TcpFrame, ReadsTheSegmentAndClipsPadding) {
    Conn c({zt::tcp_frame(C, S, 0x01020304, 0xA0B0C0D0, "abc", ACK | PSH, 7),
            zt::tcp_frame(zt::end6(1, 1, 1000), zt::end6(2, 2, 80), 9, 10, "hello", ACK, 0, 12),
            zt::udp_to(53)});
    TcpFrameInfo f;
    ASSERT_TRUE(ReadTcpFrame(c.store, c.index, 0, f));
    EXPECT_EQ(f.ip_version, 4);
    EXPECT_EQ(f.sequence, 0x01020304u);
    EXPECT_EQ(f.acknowledgement, 0xA0B0C0D0u);
    EXPECT_EQ(f.port_pair, (40000u << 16) | 21u);
    EXPECT_EQ(f.ip_payload_length, 23);
    EXPECT_EQ(f.payload_length, 3);  // not the 7 padding bytes
    EXPECT_EQ(f.payload_offset, RECORD_HEADER + 54);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.payload), 3), "abc");
    EXPECT_EQ(f.record, c.store.at(0));
    EXPECT_EQ(StreamAddressText(f, STREAM_SOURCE), "192.168.0.10");
    EXPECT_EQ(StreamAddressText(f, STREAM_DESTINATION), "192.168.0.20");

    ASSERT_TRUE(ReadTcpFrame(c.store, c.index, 1, f));
    EXPECT_EQ(f.ip_version, 6);
    EXPECT_EQ(f.payload_length, 5);  // behind 12 option bytes
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(f.payload), 5), "hello");
    EXPECT_EQ(StreamAddressText(f, STREAM_SOURCE), "2001:DB8::1");

    EXPECT_FALSE(ReadTcpFrame(c.store, c.index, 2, f));
    EXPECT_FALSE(ReadTcpFrame(c.store, c.index, 3, f));  // not in the window
}

TEST(TcpFrame, CapturedBytesBoundThePayload) {
    // The IP header announces more than was captured.
    zt::Bytes8 f = zt::tcp_frame(C, S, 1, 1, "abcdefgh");
    f.resize(f.size() - 5);
    Conn c({f});
    TcpFrameInfo info;
    ASSERT_TRUE(ReadTcpFrame(c.store, c.index, 0, info));
    EXPECT_EQ(info.payload_length, 3);
}

TEST(TcpFrame, ConnectionDirection) {
    Conn c({zt::tcp_frame(C, S, 1, 1, ""), zt::tcp_frame(S, C, 1, 1, ""),
            zt::tcp_frame(C, zt::end4(2, 192, 168, 0, 20, 22), 1, 1, ""),
            zt::tcp_frame(zt::end4(3, 192, 168, 0, 30, 40000), S, 1, 1, ""),
            zt::tcp_frame(S, zt::end4(1, 192, 168, 0, 10, 40001), 1, 1, "")});
    TcpFrameInfo r, f;
    ASSERT_TRUE(ReadTcpFrame(c.store, c.index, 0, r));
    const int expected[] = {0, 1, -1, -1, -1};
    for (uint32_t i = 0; i < 5; ++i) {
        ASSERT_TRUE(ReadTcpFrame(c.store, c.index, i, f));
        EXPECT_EQ(ConnectionDirection(f, r), expected[i]) << i;
    }
}

// ---- building ----

TEST(TcpStream, BothDirectionsAsTheyAreAcknowledged) {
    Conn c(login());
    std::string text, bytes;
    // From any frame of the connection, the same stream.
    for (int32_t ref : {0, 2, 4}) {
        Chunks chunks = build(c, ref, STREAM_ALL, &text, &bytes);
        EXPECT_EQ(chunks, (Chunks{"0:3:USER abc\r\n\r\n", "1:4:331 ok\r\n"})) << ref;
    }
    EXPECT_EQ(text, "00003 : USER abc..\r\n00003 : ..\r\n00004 : 331 ok..\r\n");
    EXPECT_EQ(bytes, "20(128)");  // 12 + 8 payload bytes of frames of 66 and 62
    // From the server's side the directions swap.
    EXPECT_EQ(build(c, 3), (Chunks{"1:3:USER abc\r\n\r\n", "0:4:331 ok\r\n"}));
}

TEST(TcpStream, SourceChoiceKeepsOneSide) {
    Conn c(login());
    std::string bytes;
    EXPECT_EQ(build(c, 2, STREAM_SOURCE, nullptr, &bytes), (Chunks{"0:3:USER abc\r\n\r\n"}));
    EXPECT_EQ(bytes, "12(66)");
    EXPECT_EQ(build(c, 2, STREAM_DESTINATION, nullptr, &bytes), (Chunks{"1:4:331 ok\r\n"}));
    EXPECT_EQ(bytes, "8(62)");
}

TEST(TcpStream, OutOfOrderSegmentsComeOutInSequence) {
    Conn c({zt::tcp_frame(C, S, 100, 0, "", SYN), zt::tcp_frame(S, C, 500, 101, "", SYN | ACK),
            zt::tcp_frame(C, S, 106, 501, "world"),  // 106..111 first
            zt::tcp_frame(C, S, 101, 501, "hello"),  // 101..106
            zt::tcp_frame(S, C, 501, 111, "", ACK)});
    EXPECT_EQ(build(c, 0), (Chunks{"0:4:hello", "0:3:world"}));
}

TEST(TcpStream, RetransmissionShownOnce) {
    Conn c({zt::tcp_frame(C, S, 100, 0, "", SYN), zt::tcp_frame(S, C, 500, 101, "", SYN | ACK),
            zt::tcp_frame(C, S, 101, 501, "data"), zt::tcp_frame(C, S, 101, 501, "data"),
            zt::tcp_frame(S, C, 501, 105, "", ACK)});
    EXPECT_EQ(build(c, 0), (Chunks{"0:3:data"}));
}

TEST(TcpStream, LateCopiesOfShownDataDoNotBlockTheQueue) {
    std::vector<zt::Bytes8> f = {zt::tcp_frame(C, S, 100, 0, "", SYN), zt::tcp_frame(S, C, 500, 101, "", SYN | ACK),
                                 zt::tcp_frame(C, S, 101, 501, "one"), zt::tcp_frame(S, C, 501, 104, "", ACK)};
    // Forty spurious copies of acknowledged data, then new data.
    for (int k = 0; k < 40; ++k) f.push_back(zt::tcp_frame(C, S, 101, 501, "one"));
    f.push_back(zt::tcp_frame(C, S, 104, 501, "two"));
    f.push_back(zt::tcp_frame(S, C, 501, 107, "", ACK));
    Conn c(f);
    EXPECT_EQ(build(c, 0), (Chunks{"0:3:one", "0:45:two"}));
}

TEST(TcpStream, SequenceNumbersWrap) {
    Conn c({zt::tcp_frame(C, S, 0xFFFFFFF0u, 0, "", SYN), zt::tcp_frame(S, C, 500, 0xFFFFFFF1u, "", SYN | ACK),
            zt::tcp_frame(C, S, 0xFFFFFFF1u, 501, "0123456789ABCDEF"),  // ends at 1 after the wrap
            zt::tcp_frame(C, S, 1, 501, "next"), zt::tcp_frame(S, C, 501, 5, "", ACK)});
    EXPECT_EQ(build(c, 0), (Chunks{"0:3:0123456789ABCDEF", "0:4:next"}));
}

TEST(TcpStream, QueueHoldsThirtyTwoSegments) {
    std::vector<zt::Bytes8> f = {zt::tcp_frame(C, S, 100, 0, "", SYN), zt::tcp_frame(S, C, 500, 101, "", SYN | ACK)};
    for (uint32_t k = 0; k < 33; ++k) f.push_back(zt::tcp_frame(C, S, 101 + k, 501, std::string(1, char('a' + k % 26))));
    f.push_back(zt::tcp_frame(S, C, 501, 101 + 33, "", ACK));
    Conn c(f);
    Chunks chunks = build(c, 0);
    ASSERT_EQ(chunks.size(), 32u);  // the 33rd was refused
    EXPECT_EQ(chunks.front(), "0:3:a");
    EXPECT_EQ(chunks.back(), "0:34:f");
}

TEST(TcpStream, FullBatchDropsTheWaitingSegments) {
    Conn c(login());
    TcpStreamBuilder b(c.store, c.index);
    TcpFrameInfo s;
    ASSERT_TRUE(ReadTcpFrame(c.store, c.index, 2, s));  // 12 payload bytes
    b.Reset(STREAM_ALL);
    TcpFrameInfo ack = s;
    ack.payload_length = 0;
    // Each side has acknowledged the other's start.
    ack.acknowledgement = 5000;
    b.AddSegment(ack, 0, 0);
    ack.acknowledgement = 1000;
    b.AddSegment(ack, 0, 1);
    // 20 segments each way that acknowledge nothing new.
    for (uint32_t k = 0; k < 20; ++k) {
        s.sequence = 1000 + k * 12;
        s.acknowledgement = 5000;
        b.AddSegment(s, 0, 0);
        s.sequence = 5000 + k * 12;
        s.acknowledgement = 1000;
        b.AddSegment(s, 0, 1);
    }
    ASSERT_EQ(b.queue(0).count, 20);
    ASSERT_EQ(b.queue(1).count, 20);
    ack.acknowledgement = 1000 + 20 * 12;
    b.AddSegment(ack, 0, 1);
    EXPECT_EQ(b.batch_count(), 20);
    EXPECT_EQ(b.queue(0).count, 0);
    // Not emitted: 20 in the batch and 20 waiting exceed 32, so direction 1 is dropped.
    ack.acknowledgement = 5000 + 20 * 12;
    b.AddSegment(ack, 0, 0);
    EXPECT_EQ(b.batch_count(), 20);
    EXPECT_EQ(b.queue(1).count, 0);
    // Emitting empties the batch and counts what it held.
    Collect out;
    b.Emit(out);
    EXPECT_EQ(b.batch_count(), 0);
    EXPECT_EQ(out.chunks.size(), 20u);
    EXPECT_EQ(b.payload_total(), 240u);
}

TEST(TcpStream, FirstAcknowledgementWithoutCoverEmptiesTheQueue) {
    Conn c(login());
    TcpStreamBuilder b(c.store, c.index);
    TcpFrameInfo s;
    ASSERT_TRUE(ReadTcpFrame(c.store, c.index, 2, s));  // 101..113
    b.Reset(STREAM_ALL);
    b.AddSegment(s, 2, 0);
    ASSERT_EQ(b.queue(0).count, 1);
    EXPECT_EQ(b.queue(1).last_ack, 501u);  // the other queue was empty: only noted
    TcpFrameInfo ack = s;
    ack.payload_length = 0;
    ack.acknowledgement = 112;  // one byte short
    b.AddSegment(ack, 3, 1);
    EXPECT_EQ(b.queue(0).count, 0);  // no acknowledgement before and nothing covered
    EXPECT_EQ(b.queue(0).last_ack, 112u);
    EXPECT_EQ(b.batch_count(), 0);
}

TEST(TcpStream, FinalFlushShowsUnacknowledgedData) {
    // The client's last data is never acknowledged; its own acknowledgement number is L.
    Conn c({zt::tcp_frame(C, S, 100, 0, "", SYN), zt::tcp_frame(S, C, 500, 101, "", SYN | ACK),
            zt::tcp_frame(C, S, 101, 501, "tail")});
    EXPECT_EQ(build(c, 0), (Chunks{"0:3:tail"}));
    // With nothing waiting from the client the server's side is flushed, unless
    // only the client's data is wanted.
    Conn d({zt::tcp_frame(C, S, 100, 0, "", SYN), zt::tcp_frame(S, C, 500, 101, "", SYN | ACK),
            zt::tcp_frame(S, C, 501, 101, "banner")});
    EXPECT_EQ(build(d, 0), (Chunks{"1:3:banner"}));
    EXPECT_EQ(build(d, 0, STREAM_DESTINATION), (Chunks{"1:3:banner"}));
    EXPECT_EQ(build(d, 0, STREAM_SOURCE), (Chunks{}));
    // Only one direction is flushed: the server's reply stays unseen while the
    // client has data waiting.
    Conn e({zt::tcp_frame(C, S, 100, 0, "", SYN), zt::tcp_frame(S, C, 500, 101, "", SYN | ACK),
            zt::tcp_frame(C, S, 101, 501, "tail"), zt::tcp_frame(S, C, 501, 101, "banner")});
    EXPECT_EQ(build(e, 2), (Chunks{"0:3:tail"}));
    // Opened on the SYN the stream starts at the first data: the client's queue has
    // no acknowledgement yet when the reply comes, so the reply's ack empties it.
    EXPECT_EQ(build(e, 0), (Chunks{"1:4:banner"}));
}

TEST(TcpStream, LaterBuildsStartAtTheFirstDataAndStopAtTheLastFrame) {
    std::vector<zt::Bytes8> f = login();
    f.push_back(zt::udp_to(53));
    Conn c(f);
    TcpStreamBuilder b(c.store, c.index);
    Collect first, second;
    ASSERT_TRUE(b.Build(4, 6, STREAM_ALL, first));
    EXPECT_EQ(b.first_frame(), 0);
    EXPECT_EQ(b.last_frame(), 4);
    ASSERT_TRUE(b.Build(4, 6, STREAM_ALL, second));
    EXPECT_EQ(second.chunks, first.chunks);
    EXPECT_EQ(b.ByteCountText(), "20(128)");
    // A selection without TCP builds nothing.
    Collect none;
    EXPECT_FALSE(b.Build(5, 6, STREAM_ALL, none));
    EXPECT_TRUE(none.chunks.empty());
}

TEST(TcpStream, IPv6Connection) {
    zt::End a = zt::end6(1, 1, 5000), z = zt::end6(2, 2, 80);
    Conn c({zt::tcp_frame(a, z, 10, 0, "", SYN), zt::tcp_frame(z, a, 70, 11, "", SYN | ACK),
            zt::tcp_frame(a, z, 11, 71, "GET"), zt::tcp_frame(z, a, 71, 14, "OK"), zt::tcp_frame(a, z, 14, 73, "")});
    EXPECT_EQ(build(c, 0), (Chunks{"0:3:GET", "1:4:OK"}));
}

// ---- text lines ----

TEST(TcpStreamText, LineRules) {
    struct {
        std::string payload;
        int32_t frame_index;
        const char* text;
    } cases[] = {
        {"USER abc\r\n\r\n", 2, "00003 : USER abc..\r\n00003 : ..\r\n"},
        {"a\nb", 2, "00003 : a.\r\n00003 : b\r\n"},
        {"a\n\n", 2, "00003 : a.\r\n00003 : .\r\n"},
        {"x\r\n", 2, "00003 : x..\r\n"},  // nothing after the last line end
        // Before the first printable byte line ends are only dots.
        {"\r\nabc", 2, "00003 : ..abc\r\n"},
        {"\n\n", 2, "00003 : ..\r\n"},
        {"ab\rc", 2, "00003 : ab.c\r\n"},
        {"ab\r", 2, "00003 : ab.\r\n"},
        {std::string("\x00\xFFx\x7F", 4), 2, "00003 : ..x.\r\n"},
        {"z", 12344, "12345 : z\r\n"},
    };
    for (const auto& c : cases) {
        StreamChunk chunk{c.frame_index, 0, nullptr, reinterpret_cast<const uint8_t*>(c.payload.data()),
                          int32_t(c.payload.size()), 0};
        std::string out = "kept:";
        AppendStreamText(chunk, out);
        EXPECT_EQ(out, std::string("kept:") + c.text) << c.payload;
    }
    StreamChunk chunk{0, 0, nullptr, reinterpret_cast<const uint8_t*>("a\r\nb"), 4, 0};
    std::string out;
    AppendStreamText(chunk, out, "\n");
    EXPECT_EQ(out, "00001 : a..\n00001 : b\n");
}

// The line rules byte by byte, as a reference for long and mixed payloads.
static std::string plain_stream_text(const std::string& payload, int32_t frame_index) {
    char number[24];
    std::snprintf(number, sizeof number, "%05d : ", frame_index + 1);
    std::string out;
    bool open = false, seen = false;
    for (size_t k = 0; k < payload.size(); ++k) {
        uint8_t b = uint8_t(payload[k]);
        bool crlf = b == '\r' && k + 1 < payload.size() && payload[k + 1] == '\n';
        if (seen && (b == '\n' || crlf)) {
            if (!open) out += number;
            out += crlf ? "..\r\n" : ".\r\n";
            open = false;
            k += crlf;
            continue;
        }
        if (!open) out += number;
        open = true;
        bool shown = b >= 0x20 && b <= 0x7E;
        out += shown ? char(b) : '.';
        seen = seen || shown;
    }
    if (open) out += "\r\n";
    return out;
}

TEST(TcpStreamText, LongAndMixedPayloadsMatchTheRulesByteByByte) {
    struct {
        size_t length;
        int line_end_every;  // about one line end in so many bytes, 0 none
    } cases[] = {{255, 0}, {256, 0}, {257, 0}, {1000, 0}, {600, 40}, {600, 3}, {2000, 300}};
    uint32_t seed = 7;
    for (const auto& c : cases) {
        std::string payload;
        for (size_t k = 0; k < c.length; ++k) {
            seed = seed * 1103515245u + 12345u;
            uint32_t v = seed >> 8;
            if (c.line_end_every && v % uint32_t(c.line_end_every) == 0) payload += (v & 256) ? "\r\n" : "\n";
            else payload += char((v & 3) ? 0x20 + (v >> 10) % 0x5F : (v >> 10) & 0xFF);
        }
        StreamChunk chunk{41, 0, nullptr, reinterpret_cast<const uint8_t*>(payload.data()), int32_t(payload.size()), 0};
        std::string out = "kept:";
        AppendStreamText(chunk, out);
        EXPECT_EQ(out, "kept:" + plain_stream_text(payload, 41)) << c.length << " " << c.line_end_every;
    }
}

// ---- saving ----

namespace {

std::string read_file(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

std::string temp_path(const char* name) { return ::testing::TempDir() + name; }

}  // namespace

TEST(TcpStreamSave, WritesExactlyTheShownPayload) {
    Conn c(login());
    TcpStreamBuilder b(c.store, c.index);
    std::string path = temp_path("zelpan_stream_save.bin");
    {
        std::ofstream old(path, std::ios::binary);
        old << "old contents that must go";
    }
    StreamFileWriter w(path);
    ASSERT_TRUE(w.open());
    ASSERT_TRUE(b.Build(2, 5, STREAM_ALL, w));
    EXPECT_EQ(w.finish(), "");
    EXPECT_EQ(read_file(path), "USER abc\r\n\r\n331 ok\r\n");

    StreamFileWriter server(path);
    ASSERT_TRUE(server.open());
    b.Build(2, 5, STREAM_DESTINATION, server);
    EXPECT_EQ(server.finish(), "");
    EXPECT_EQ(read_file(path), "331 ok\r\n");

    // Nothing to show: an empty file, not the previous one.
    Conn quiet({zt::tcp_frame(C, S, 100, 0, "", SYN), zt::tcp_frame(S, C, 500, 101, "", SYN | ACK)});
    TcpStreamBuilder q(quiet.store, quiet.index);
    StreamFileWriter empty(path);
    q.Build(0, 2, STREAM_ALL, empty);
    EXPECT_EQ(empty.finish(), "");
    EXPECT_EQ(read_file(path), "");
    std::remove(path.c_str());

    StreamFileWriter nowhere("/nonexistent-dir/x.bin");
    EXPECT_FALSE(nowhere.open());
    b.Build(2, 5, STREAM_ALL, nowhere);
    EXPECT_EQ(nowhere.finish(), "ERROR : /nonexistent-dir/x.bin can't writed.  ");
}

// ---- command line ----

namespace {

struct CliRun {
    int status;
    std::string out;
};
CliRun cli(const std::string& args) {
    std::string cmd = std::string(ZELPAN_CLI) + " " + args + " 2>&1";
    std::FILE* p = popen(cmd.c_str(), "r");
    CliRun r{-1, ""};
    if (!p) return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return r;
}

std::string write_login_capture() {
    Conn c(login());
    std::string path = temp_path("zelpan_stream_login.zlc");
    EXPECT_EQ(WriteCaptureFile(path, c.store, 1, false), "");
    return path;
}

}  // namespace

TEST(StatsCli, StreamLinesAndSave) {
    std::string path = write_login_capture();
    CliRun r = cli("stream " + path + " 3");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "0\t00003 : USER abc..\n0\t00003 : ..\n1\t00004 : 331 ok..\nﾊﾞｲﾄ数\t20(128)\n");
    r = cli("stream " + path + " 3 --source 2");
    EXPECT_EQ(r.out, "1\t00004 : 331 ok..\nﾊﾞｲﾄ数\t8(62)\n");
    std::string out = temp_path("zelpan_stream_cli.bin");
    r = cli("stream " + path + " 1 --save " + out);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(read_file(out), "USER abc\r\n\r\n331 ok\r\n");
    std::remove(out.c_str());

    std::string sample = std::string(ZELPAN_SOURCE_DIR) + "/tests/data/sample.zlc";
    r = cli("stream " + sample + " 1");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("no TCP"), std::string::npos);
    EXPECT_EQ(cli("stream " + sample + " 99").status, 1);
    EXPECT_EQ(cli("stream " + sample + " x").status, 64);
    EXPECT_EQ(cli("stream " + sample + " 13 --source 3").status, 64);
    std::remove(path.c_str());
}

TEST(StatsCli, StatsOfTheSample) {
    std::string sample = std::string(ZELPAN_SOURCE_DIR) + "/tests/data/sample.zlc";
    CliRun r = cli("stats " + sample);
    EXPECT_EQ(r.status, 0);
    std::istringstream lines(r.out);
    std::vector<std::string> l;
    for (std::string s; std::getline(lines, s);) l.push_back(s);
    ASSERT_GE(l.size(), 6u);
    EXPECT_EQ(l[0].rfind("Frame\t33 : MAX FPS ", 0), 0u) << l[0];
    EXPECT_EQ(l[1].rfind("Byte\t", 0), 0u);
    EXPECT_EQ(l[2].rfind("合計時間\t0:00:01.", 0), 0u);
    EXPECT_EQ(l[l.size() - 2], "ﾌﾚｰﾑ\t33(33)");
    // The source of the ARP request alone: its frames, the others' rows at 0.
    r = cli("stats " + sample + " --source 00:1b:21:3a:4f:01");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("\nARP\t3.03 %\t1\t42\t2\t84\n"), std::string::npos) << r.out;
    EXPECT_EQ(cli("stats " + sample + " --source 00:1b").status, 64);
}
