// Line-oriented text protocols: FTP with the tracking of its data connections
// across frames, FTP data, HTTP and SSDP, SMTP, POP3, IMAP, TELNET, syslog, RTSP
// and SDP; line cutting, byte ranges and messages cut short by the capture.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "tests/support.h"

using namespace zelpan;
using zt::cat;
using zt::Frame;
using zt::hex;

namespace {

constexpr int LEAD = 54;  // Ethernet, IPv4 and TCP headers in front of the payload

Frame text(const std::string& s) { return Frame(s.begin(), s.end()); }

// Detail lines without the indentation of the protocol's own node.
std::vector<std::string> lines_of(zt::Direct& d, const std::string& payload) {
    std::vector<std::string> out;
    for (const std::string& l : d.detail(text(payload))) out.push_back(l.substr(2));
    return out;
}

// Byte ranges (offset in the frame, length) of the protocol node's children.
std::vector<std::pair<uint32_t, uint32_t>> child_ranges(zt::Direct& d, const std::string& payload) {
    DetailTree tree;
    d.tree(tree, text(payload));
    std::vector<std::pair<uint32_t, uint32_t>> out;
    for (int32_t h = tree.line(tree.first_top()).first_child; h; h = tree.line(h).next_sibling)
        out.push_back({tree.line(h).offset - LEAD, tree.line(h).length});
    return out;
}

// ---- whole frames decoded in order, as a pass over a capture does ----

Frame tcp4(uint8_t src, uint8_t dst, uint16_t sport, uint16_t dport, uint8_t flags, const std::string& payload = "") {
    size_t total = 40 + payload.size();
    Frame ip = {0x45, 0, uint8_t(total >> 8), uint8_t(total), 0, 1, 0x40, 0, 64, 6, 0, 0, 10, 0, 0, src, 10, 0, 0, dst};
    Frame tcp = {uint8_t(sport >> 8), uint8_t(sport), uint8_t(dport >> 8), uint8_t(dport), 0, 0, 0, 1, 0, 0, 0, 1,
                 0x50, flags, 0xFF, 0xFF, 0, 0, 0, 0};
    return cat({hex("001122334455 66778899aabb 0800"), ip, tcp, text(payload)});
}

enum : uint8_t { FIN = 0x01, SYN = 0x02, RST = 0x04, PSH = 0x08, ACK = 0x10 };
constexpr uint8_t CLIENT = 1, SERVER = 2;

struct Pass {
    DecodeContext c;
    int number = 0;
    Pass() { c.mode = MODE_DISPLAY; }
    // Decodes the next frame in summary mode; returns its protocol column.
    std::string next(const Frame& f) {
        zt::Record r(f);
        make_current(&c);
        clear_columns(c, number);
        decode_frame(0, r.data(), 1, ++number);
        make_current(nullptr);
        return c.columns[4];
    }
    std::string reply(const std::string& line) { return next(tcp4(SERVER, CLIENT, 21, 40000, ACK | PSH, line)); }
    std::string data(uint16_t port) { return next(tcp4(SERVER, CLIENT, port, 40100, ACK | PSH, "payload")); }
    void segment(uint16_t sport, uint16_t dport, uint8_t flags) { next(tcp4(SERVER, CLIENT, sport, dport, flags)); }
};

// ---- FTP control connection ----

zt::Direct ftp(decode_ftp, LEAD, [](DecodeContext& c) { c.ftp_tracking.ip_version = 1; });

TEST(FtpControl, SummaryKinds) {
    struct Case {
        const char* payload;
        const char* col5;
    } cases[] = {
        {"220 ready\r\n", "Response : 220 ready"},
        {"230-first\r\n230 last\r\n", "Response : 230-first"},
        {"user anonymous\r\nPASS x\r\n", "Command : user anonymous"},  // commands ignore case
        {"XCWD /tmp\r\n", "FTP data 11 octets"},                       // not in the table
        {"22 short\r\n", "FTP data 10 octets"},                        // a code has three digits
        {"220\r\n", "FTP data 5 octets"},                              // and a blank or "-" after it
        {"RETR a\tb\x01\r\n", "Command : RETR a\\011b\\001"},
        {"227 cut by the capt", "Response : 227 cut by the capt"},   // no line end: the rest
    };
    for (const auto& k : cases) {
        zt::Summary s = ftp.summary(text(k.payload));
        EXPECT_EQ(s.col[4], "FTP") << k.payload;
        EXPECT_EQ(s.col[5], k.col5) << k.payload;
    }
}

TEST(FtpControl, MultiLineReplyEndsAtCodeAndBlank) {
    auto lines = lines_of(ftp, "230-Welcome\r\n more text\n230 Done\r\nleft over");
    std::vector<std::string> want = {"File Transfer Protocol", "  Response : 230-Welcome\\r\\n",
                                     "  Response :  more text\\n", "  Response : 230 Done\\r\\n", "  Data  9 bytes"};
    EXPECT_EQ(lines, want);
    auto ranges = child_ranges(ftp, "230-Welcome\r\n more text\n230 Done\r\nleft over");
    std::vector<std::pair<uint32_t, uint32_t>> r = {{0, 13}, {13, 11}, {24, 10}, {34, 9}};
    EXPECT_EQ(ranges, r);
    // A single-line reply: the rest is data; a multi-line reply cut by the capture ends with it.
    EXPECT_EQ(lines_of(ftp, "200 OK\r\nxy").back(), "  Data  2 bytes");
    EXPECT_EQ(lines_of(ftp, "230-a\r\n230-b").back(), "  Response : 230-b");
    EXPECT_EQ(lines_of(ftp, "\x01\x02zz")[1], "  FTP data : 4 bytes");
}

// The announced port, or 0 when the reply announces nothing.
uint16_t announced(const std::string& reply, int ip_version = 1) {
    zt::Direct d(decode_ftp, LEAD, [ip_version](DecodeContext& c) { c.ftp_tracking.ip_version = ip_version; });
    d.summary(text(reply));
    return d.c.ftp_tracking.active ? d.c.ftp_tracking.entries[0].port : 0;
}

TEST(FtpControl, PassiveReplies) {
    struct Case {
        const char* reply;
        uint16_t port;
    } cases[] = {
        {"227 Entering Passive Mode (192,168,0,5,156,65).\r\n", 40001},
        {"227 entering passive mode (10,0,0,2,0,21)\r\n", 21},
        {"229 Entering Extended Passive Mode (|||6446|)\r\n", 6446},
        {"227-Entering Passive Mode (1,2,3,4,5,6)\r\n", 1286},
        {"227 Entering Passive Mode (1,2,3,4,5,6", 1286},          // the end of the text ends the reply
        {"227 Please enter Passive Mode (1,2,3,4,5,6)\r\n", 0},     // a P before the words
        {"227 Entering Passive Mode 1,2,3,4,5,6\r\n", 0},          // no "("
        {"227 Entering Passive Mode (1,2,3,4,5)\r\n", 0},          // five numbers
        {"227 Entering Passive Mode (1,2,3,4,5,6,7)\r\n", 0},      // seven
        {"227 Entering Passive Mode (1,2,3,4, 5,6)\r\n", 0},       // a blank among the numbers
        {"227 Entering Passive Mode (1,2,3,4,300,6)\r\n", 0},      // not a byte
        {"227 Entering Passive\x01 Mode (1,2,3,4,5,6)\r\n", 0},    // non-printable
        {"229 Entering Extended Passive Mode (|||6446|7|)\r\n", 6446},
        {"229 Entering Extended Passive Mode (||6446|)\r\n", 0},
        {"229 Entering Extended Passive Mode (|||70000|)\r\n", 0},
        {"200 PORT command successful (1,2,3,4,5,6)\r\n", 0},
        {"PASV (1,2,3,4,5,6) Passive Mode\r\n", 0},                 // a command, not a reply
    };
    for (const auto& k : cases) EXPECT_EQ(announced(k.reply), k.port) << k.reply;
    // The plain form names an IPv4 server; the extended form works over IPv6 too.
    EXPECT_EQ(announced("227 Entering Passive Mode (1,2,3,4,5,6)\r\n", 2), 0);
    EXPECT_EQ(announced("229 Extended Passive Mode (|||6446|)\r\n", 2), 6446);
}

// Whether a reply or command announces a port, and which; port 0 included.
std::pair<bool, uint16_t> announcement(const std::string& payload) {
    zt::Direct d(decode_ftp, LEAD, [](DecodeContext& c) { c.ftp_tracking.ip_version = 1; });
    d.summary(text(payload));
    return {d.c.ftp_tracking.active != 0, d.c.ftp_tracking.entries[0].port};
}

TEST(FtpControl, PortNumbersAsWritten) {
    struct Case {
        const char* payload;
        bool announced;
        uint16_t port;
    } cases[] = {
        {"227 Entering Passive Mode (10,0,0,2,0000000156,065)\r\n", true, 40001},  // leading zeros, any count
        {"227 Entering Passive Mode (0010,0000,0000,0002,0000,0021)\r\n", true, 21},
        {"229 Entering Extended Passive Mode (|||0000006446|)\r\n", true, 6446},
        {"227 Entering Passive Mode (10,0,0,2,0,0)\r\n", true, 0},                 // port 0 is a port
        {"229 Entering Extended Passive Mode (|||0|)\r\n", true, 0},
        {"229 Entering Extended Passive Mode (|||000000|)\r\n", true, 0},
        {"227 Entering Passive Mode (10,0,0,2,00000000000000000256,1)\r\n", false, 0},  // still not a byte
        {"229 Entering Extended Passive Mode (|||65536|)\r\n", false, 0},
        {"229 Entering Extended Passive Mode (|||4294973742|)\r\n", false, 0},  // 2^32 + 6446: no wrap
        {"229 Entering Extended Passive Mode (|||18446744073709557062|)\r\n", false, 0},  // 2^64 + 6446
        // Active mode: blanks may follow the last number before the line end.
        {"PORT 10,0,0,1,158,71  \r\n", true, 40519},
        {"PORT 10,0,0,1,158,71 \n", true, 40519},
        {"PORT 10,0,0,1,158,71\r\n", true, 40519},
        {"PORT 010,000,000,001,0000158,071\r\n", true, 40519},
        {"EPRT |1|10.0.0.1|006275| \r\n", true, 6275},
        {"PORT 10,0,0,1,158,71 x\r\n", false, 0},
        {"PORT 10,0,0,1,158 ,71\r\n", false, 0},
        {"PORT 10,0,0,1,158, 71\r\n", false, 0},
        {"PORT 10,0,0,1,158,71,\r\n", false, 0},
        {"PORT 10,0,0,1,158,71\t\r\n", false, 0},
    };
    for (const auto& k : cases) {
        auto [announced, port] = announcement(k.payload);
        EXPECT_EQ(announced, k.announced) << k.payload;
        if (k.announced) EXPECT_EQ(port, k.port) << k.payload;
    }
}

TEST(FtpControl, AnnouncementKeepsAddresses) {
    zt::Direct d(decode_ftp, LEAD, [](DecodeContext& c) {
        c.ftp_tracking.ip_version = 1;
        const uint8_t ph[12] = {0, 6, 0, 0, 10, 0, 0, 2, 10, 0, 0, 1};
        std::copy(ph, ph + 12, c.pseudo_header);
    });
    d.summary(text("227 Entering Passive Mode (192,168,0,5,4,1)\r\n"));
    const FtpAnnouncement& e = d.c.ftp_tracking.entries[0];
    EXPECT_EQ(e.state, 1);
    EXPECT_EQ(Frame(e.server, e.server + 5), hex("C0A8000500"));  // from the reply
    EXPECT_EQ(Frame(e.client, e.client + 5), hex("0A00000100"));  // the frame's destination
    d.summary(text("227 Entering Passive Mode (192,168,0,5,4,1)\r\n"));  // known: not twice
    EXPECT_EQ(d.c.ftp_tracking.entries[1].state, 0);
    d.summary(text("229 Entering Extended Passive Mode (|||1025|)\r\n"));
    EXPECT_EQ(Frame(d.c.ftp_tracking.entries[1].server, d.c.ftp_tracking.entries[1].server + 4), hex("0A000002"));
    // Detail passes of one frame learn nothing.
    d.c.ftp_tracking = {};
    d.c.ftp_tracking.ip_version = 1;
    DetailTree tree;
    d.tree(tree, text("227 Entering Passive Mode (192,168,0,5,4,1)\r\n"));
    EXPECT_EQ(d.c.ftp_tracking.active, 0);
}

// ---- FTP data connections across frames ----

TEST(FtpTracking, PassiveTransferIsFtpDataAfterAnnouncementAndConnection) {
    Pass p;
    EXPECT_EQ(p.data(40001), "TCP");  // frame 1
    EXPECT_EQ(p.reply("227 Entering Passive Mode (10,0,0,2,156,65)\r\n"), "FTP");
    EXPECT_EQ(p.data(40001), "TCP");            // announced, not yet connected
    p.segment(40100, 40001, SYN);               // the client's SYN does not connect it
    EXPECT_EQ(p.data(40001), "TCP");
    p.segment(40001, 40100, SYN | ACK);         // the server accepts from the announced port
    EXPECT_EQ(p.c.ftp_tracking.entries[0].state, 3);
    EXPECT_EQ(p.data(40001), "FTP-DATA");
    EXPECT_EQ(p.next(tcp4(CLIENT, SERVER, 40100, 40001, ACK | PSH, "up")), "FTP-DATA");  // both directions
    EXPECT_EQ(p.data(40002), "TCP");
    // FIN frees the announcement; the learnt port stays.
    p.segment(40001, 40100, FIN | ACK);
    EXPECT_EQ(p.c.ftp_tracking.entries[0].state, 0);
    EXPECT_EQ(p.data(40001), "FTP-DATA");
    // A new pass forgets it at frame 1.
    Frame first = tcp4(SERVER, CLIENT, 40001, 40100, ACK | PSH, "payload");
    p.number = 0;
    EXPECT_EQ(p.next(first), "TCP");
    EXPECT_EQ(p.c.ftp_tracking.active, 0);
    EXPECT_EQ(p.c.data_ports.any_entry, 0);
}

TEST(FtpTracking, ActiveTransfer) {
    Pass p;
    p.segment(80, 80, ACK);
    // The usual server connects from port 20, which is FTP data by its port.
    EXPECT_EQ(p.data(20), "FTP-DATA");
    // One that connects from another port is known by the PORT command's port.
    EXPECT_EQ(p.next(tcp4(CLIENT, SERVER, 40000, 21, ACK | PSH, "PORT 10,0,0,1,158,71\r\n")), "FTP");
    auto client_data = [&] { return p.next(tcp4(SERVER, CLIENT, 3000, 40519, ACK | PSH, "listing")); };
    EXPECT_EQ(client_data(), "TCP");
    p.next(tcp4(CLIENT, SERVER, 40519, 3000, SYN | ACK));
    EXPECT_EQ(client_data(), "FTP-DATA");
    // EPRT likewise.
    p.next(tcp4(CLIENT, SERVER, 40000, 21, ACK | PSH, "EPRT |1|10.0.0.1|6275|\r\n"));
    p.next(tcp4(CLIENT, SERVER, 6275, 3001, SYN | ACK));
    EXPECT_EQ(p.next(tcp4(SERVER, CLIENT, 3001, 6275, ACK | PSH, "x")), "FTP-DATA");
    // Malformed commands announce nothing.
    for (const char* cmd : {"PORT 10,0,0,1,158\r\n", "PORT 10,0,0,1,158,71,1\r\n", "PORT 10,0,0,1,999,1\r\n",
                            "EPRT |1|10.0.0.1|\r\n"}) {
        Pass q;
        q.segment(80, 80, ACK);
        q.next(tcp4(CLIENT, SERVER, 40000, 21, ACK | PSH, cmd));
        EXPECT_EQ(q.c.ftp_tracking.active, 0) << cmd;
    }
}

TEST(FtpTracking, UnparsableReplyAnnouncesNothing) {
    Pass p;
    p.segment(80, 80, ACK);
    p.reply("227 Entering Passive Mode (10,0,0,2,156)\r\n");
    p.segment(40001, 40100, SYN | ACK);
    EXPECT_EQ(p.c.ftp_tracking.active, 0);
    EXPECT_EQ(p.data(40001), "TCP");
}

TEST(FtpTracking, FullTablesTakeNoMore) {
    Pass p;
    p.segment(80, 80, ACK);
    for (int i = 0; i < 9; ++i) p.reply("229 Entering Extended Passive Mode (|||" + std::to_string(5000 + i) + "|)\r\n");
    for (int i = 0; i < 8; ++i) EXPECT_EQ(p.c.ftp_tracking.entries[i].port, 5000 + i);
    p.segment(5008, 40100, SYN | ACK);  // the ninth was not stored
    EXPECT_EQ(p.data(5008), "TCP");
    p.segment(5007, 40100, SYN | ACK);
    EXPECT_EQ(p.data(5007), "FTP-DATA");

    // Sixteen data ports at most: each transfer announced, connected and closed in turn.
    Pass q;
    q.segment(80, 80, ACK);
    for (int i = 0; i < 17; ++i) {
        uint16_t port = uint16_t(6000 + i);
        q.reply("229 Entering Extended Passive Mode (|||" + std::to_string(port) + "|)\r\n");
        q.segment(port, 40100, SYN | ACK);
        q.segment(port, 40100, FIN | ACK);
    }
    EXPECT_EQ(q.data(6015), "FTP-DATA");
    EXPECT_EQ(q.data(6016), "TCP");
}

TEST(FtpTracking, CloseRules) {
    auto after = [](uint16_t sport, uint16_t dport, uint8_t flags) {
        Pass p;
        p.segment(80, 80, ACK);
        p.reply("229 Entering Extended Passive Mode (|||5000|)\r\n");
        p.reply("229 Entering Extended Passive Mode (|||5001|)\r\n");
        p.segment(sport, dport, flags);
        return std::to_string(p.c.ftp_tracking.entries[0].state) + std::to_string(p.c.ftp_tracking.entries[1].state);
    };
    EXPECT_EQ(after(5001, 40100, FIN | ACK), "10");
    EXPECT_EQ(after(40100, 5001, RST), "10");        // by the destination port
    EXPECT_EQ(after(5001, 40100, FIN | PSH), "11");  // PSH keeps it
    EXPECT_EQ(after(40000, 21, FIN | ACK), "01");    // the control connection frees the first
    EXPECT_EQ(after(5001, 21, FIN), "00");           // both rules
    EXPECT_EQ(after(5001, 40100, ACK), "11");
    EXPECT_EQ(after(5001, 40100, SYN), "11");
}

TEST(FtpTracking, TextExportFollowsThePass) {
    std::vector<Frame> frames = {
        tcp4(SERVER, CLIENT, 21, 40000, ACK | PSH, "227 Entering Passive Mode (10,0,0,2,156,65)\r\n"),
        tcp4(SERVER, CLIENT, 40001, 40100, SYN | ACK),
        tcp4(SERVER, CLIENT, 40001, 40100, ACK | PSH, "line one\r\n"),
    };
    DecodeContext c;
    c.mode = MODE_TEXT_EXPORT;
    zt::Lines sink;
    c.exporter = &sink;
    make_current(&c);
    for (size_t i = 0; i < frames.size(); ++i) {
        zt::Record r(frames[i]);
        decode_frame(ROOT_NODE, r.data(), 1, int32_t(i + 1));
    }
    make_current(nullptr);
    EXPECT_TRUE(zt::has_line(sink.out, "FTP-DATA : line one\\r\\n"));
}

// ---- FTP data ----

TEST(FtpData, LinesToTheEnd) {
    zt::Direct d(decode_ftp_data, LEAD);
    EXPECT_EQ(d.summary(text("abc\r\ndef")).col[5], "FTP-DATA data 8 octets");
    std::vector<std::string> want = {"File Transfer Protocol", "  FTP-DATA : abc\\r\\n", "  FTP-DATA : \\n",
                                     "  FTP-DATA : x\\r  ", "  FTP-DATA : def\\015\\001"};
    EXPECT_EQ(lines_of(d, std::string("abc\r\n\nx\r\0def\r\x01", 14)), want);
    std::vector<std::pair<uint32_t, uint32_t>> r = {{0, 5}, {5, 1}, {6, 3}, {9, 5}};
    EXPECT_EQ(child_ranges(d, std::string("abc\r\n\nx\r\0def\r\x01", 14)), r);
    EXPECT_EQ(d.layers(text("x")).entries[0].protocol, P_FTPDATA);
}

// ---- HTTP and SSDP ----

zt::Direct http(decode_http, LEAD);

TEST(Http, FirstLineKinds) {
    struct Case {
        const char* payload;
        const char* col5;
    } cases[] = {
        {"GET / HTTP/1.1\r\nHost: a\r\n\r\n", "Request : GET / HTTP/1.1"},
        {"M-SEARCH * HTTP/1.1\r\n", "Request : M-SEARCH * HTTP/1.1"},
        {"HTTP/1.0 404 Not Found\r\n", "Response : HTTP/1.0 404 Not Found"},
        {"get / HTTP/1.1\r\n", "Message : 16 octets"},  // methods are case-sensitive
        {"Host: a\r\n", "Header : Host: a"},
        {"Host: a", "Message : 7 octets"},              // a header needs a line end
        {"Host:a\r\n", "Message : 8 octets"},           // and a blank after the colon
        {"X Y\t: a\r\n", "Header : X Y\\011: a"},       // blanks and tabs do not stop the scan
        {"a/b: c\r\n", "Message : 8 octets"},           // a separator does
        {"\r\n", "Message : 2 octets"},
    };
    for (const auto& k : cases) {
        zt::Summary s = http.summary(text(k.payload));
        EXPECT_EQ(s.col[4], "HTTP");
        EXPECT_EQ(s.col[5], k.col5) << k.payload;
    }
}

TEST(Http, RequestWithHeadersAndBody) {
    std::string req = "POST /f HTTP/1.1\r\nHost: h\nContent-Length: 5\r\n\r\nhello";
    std::vector<std::string> want = {"Hypertext Transfer Protocol", "  Request : POST /f HTTP/1.1\\r\\n",
                                     "  Header : Host: h\\n", "  Header : Content-Length: 5\\r\\n", "  \\r\\n",
                                     "  Message : 5 bytes"};
    EXPECT_EQ(lines_of(http, req), want);
    std::vector<std::pair<uint32_t, uint32_t>> r = {{0, 18}, {18, 8}, {26, 19}, {45, 2}, {47, 5}};
    EXPECT_EQ(child_ranges(http, req), r);
    // A header line cut by the capture is the rest of the data.
    EXPECT_EQ(lines_of(http, "HTTP/1.1 200 OK\r\nServ").back(), "  Message : 4 bytes");
}

TEST(Http, SsdpByApplicationPort) {
    zt::Direct ssdp(decode_http, LEAD, [](DecodeContext& c) { c.app_port = 1900; });
    EXPECT_EQ(ssdp.summary(text("NOTIFY * HTTP/1.1\r\n")).col[4], "SSDP");
    EXPECT_EQ(ssdp.detail(text("HTTP/1.1 200 OK\r\n"))[0], "  Simple Service Discovery Protocol");
    EXPECT_EQ(ssdp.layers(text("x")).entries[0].protocol, P_SSDP);
    // UDP on port 80 is taken as SSDP by the port dispatch; TCP stays HTTP.
    Frame udp = cat({hex("00112233445566778899aabb0800 4500002c00010000401100000a0000010a000002 138800500018 0000"),
                     text("GET / HTTP/1.1\r\n")});
    EXPECT_EQ(zt::summarize(udp).col[4], "SSDP");
    EXPECT_EQ(zt::summarize(tcp4(1, 2, 40000, 80, ACK | PSH, "GET / HTTP/1.1\r\n")).col[4], "HTTP");
}

// ---- SMTP and POP3 ----

TEST(Smtp, KindsAndLines) {
    zt::Direct d(decode_smtp, LEAD);
    EXPECT_EQ(d.summary(text("250-first\r\n250 last\r\n")).col[5], "Response : 250-first");
    EXPECT_EQ(d.summary(text("MAIL FROM:<a@b>\r\n")).col[5], "Command : MAIL FROM:<a@b>");
    EXPECT_EQ(d.summary(text("mail from:<a@b>\r\n")).col[5], "Message 17 octets");
    EXPECT_EQ(d.summary(text("12")).col[5], "Message 2 octets");
    // In a reply the prefix turns to Message at the first line without a code and stays.
    std::vector<std::string> want = {"Simple Mail Transfer Protocol", "  Response : 354 go\\r\\n",
                                     "  Message : body\\n", "  Message : 250 x\\r\\n", "  Message : 4 bytes"};
    EXPECT_EQ(lines_of(d, "354 go\r\nbody\n250 x\r\ntail"), want);
    std::vector<std::pair<uint32_t, uint32_t>> r = {{0, 8}, {8, 5}, {13, 7}, {20, 4}};
    EXPECT_EQ(child_ranges(d, "354 go\r\nbody\n250 x\r\ntail"), r);
}

TEST(Pop3, KindsAndLines) {
    zt::Direct d(decode_pop3, LEAD);
    EXPECT_EQ(d.summary(text("+OK ready\r\n")).col[5], "Response : +OK ready");
    EXPECT_EQ(d.summary(text("-ERR no\r\n")).col[5], "Response : -ERR no");
    EXPECT_EQ(d.summary(text("TOP 1 10\r\n")).col[5], "Command : TOP 1 10");
    EXPECT_EQ(d.summary(text("TOPS\r\n")).col[5], "Message 6 octets");  // "TOP " with its blank
    EXPECT_EQ(d.summary(text("+OK ready\r\n")).col[4], "POP3");
    // The first line's prefix holds for every line.
    std::vector<std::string> want = {"Post Office Protocol", "  Response : +OK 2\\r\\n", "  Response : Subject\\r\\n",
                                     "  Message : 3 bytes"};
    EXPECT_EQ(lines_of(d, "+OK 2\r\nSubject\r\n.\r\r"), want);
}

// ---- IMAP ----

TEST(Imap, LineKinds) {
    zt::Direct d(decode_imap, LEAD);
    struct Case {
        const char* payload;
        const char* col5;
    } cases[] = {
        {"A001 LOGIN u p\r\n", "Request : A001 LOGIN u p"},
        {"A001 OK done\r\n", "Response : A001 OK done"},
        {"A1 NO x\r\n", "Response : A1 NO x"},
        {"A1 BADx\r\n", "Response : A1 BADx"},
        {"A1 OK\r\n", "Request : A1 OK"},            // OK needs its blank
        {"a1 OK x\r\n", "Message : data 9 octets"},  // tags are digits and capitals
        {"A1 OK x", "Message : data 7 octets"},      // a tagged line needs a line end
        {"* 3 EXISTS\r\n", "Response : * 3 EXISTS"},
        {"+ go ahead\r\n", "Response : + go ahead"},
        {"*3\r\n", "Message : data 4 octets"},
    };
    for (const auto& k : cases) EXPECT_EQ(d.summary(text(k.payload)).col[5], k.col5) << k.payload;
    std::vector<std::string> want = {"Internet Message Access Protocol", "  Response : * 1 FETCH {5}\\r\\n",
                                     "  Message : hello\\r\\n", "  Response : A7 OK done\\r\\n", "  Message : A8 "};
    EXPECT_EQ(lines_of(d, "* 1 FETCH {5}\r\nhello\r\nA7 OK done\r\nA8 "), want);
    EXPECT_EQ(d.layers(text("x")).entries[0].protocol, P_IMAP);
}

// ---- TELNET ----

TEST(Telnet, CommandsAndText) {
    zt::Direct d(decode_telnet, LEAD);
    EXPECT_EQ(d.summary(hex("fffd01")).col[5], "TELNET data 3 octets");
    struct Case {
        Frame bytes;
        std::vector<std::string> lines;
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
    } cases[] = {
        {hex("fffd01"), {"Command : Do Echo"}, {{0, 3}}},
        {hex("fffb28 fffc29 fffe00"), {"Command : Will TN3270E", "Command : Won't Unknown option",
                                       "Command : Don't Binary Transmission"}, {{0, 3}, {3, 3}, {6, 3}}},
        {hex("ffec fff9 fff1"), {"Command : End of File", "Command : Go ahead", "Command : No operation"},
         {{0, 2}, {2, 2}, {4, 2}}},
        {hex("ffff ff05 fffd"), {"\\377\\377", "\\377\\005", "\\377\\375"}, {{0, 2}, {2, 2}, {4, 2}}},
        {hex("ff"), {"\\377"}, {{0, 1}}},
        // Lines: to an LF, or a CR with a zero byte; a CR alone goes on to the LF.
        {text(std::string("ab\r\ncd\r\0e\rf\ng", 13)), {"ab\\015\\012", "cd\\015\\000", "e\\015f\\012", "g"},
         {{0, 4}, {4, 4}, {8, 4}, {12, 1}}},
        {cat({text("lo"), hex("fff1"), text("gin")}), {"lo", "Command : No operation", "gin"},
         {{0, 2}, {2, 2}, {4, 3}}},
    };
    for (const auto& k : cases) {
        std::vector<std::string> got;
        for (const std::string& l : d.detail(k.bytes)) got.push_back(l.substr(4));
        got.erase(got.begin());  // the TELNET node
        EXPECT_EQ(got, k.lines);
        DetailTree tree;
        d.tree(tree, k.bytes);
        std::vector<std::pair<uint32_t, uint32_t>> ranges;
        for (int32_t h = tree.line(tree.first_top()).first_child; h; h = tree.line(h).next_sibling)
            ranges.push_back({tree.line(h).offset - LEAD, tree.line(h).length});
        EXPECT_EQ(ranges, k.ranges);
    }
}

TEST(Telnet, Subnegotiations) {
    zt::Direct d(decode_telnet, LEAD);
    auto sub = [&](const Frame& f) {
        std::vector<std::string> out;
        for (const std::string& l : d.detail(f)) out.push_back(l.substr(2));
        return out;
    };
    struct Case {
        const char* bytes;
        std::vector<std::string> lines;
    } cases[] = {
        {"fffa 18 00 5654313030 fff0", {"TELNET", "  Suboption", "    Terminal Type IS ", "    Value : VT100",
                                         "  Command : End of suboption"}},
        {"fffa 18 01 fff0", {"TELNET", "  Suboption", "    Terminal Type SEND ", "  Command : End of suboption"}},
        // Authentication IS: KERBEROS_V5, client, mutual, encrypt using telopt; AUTH with 3 data bytes.
        {"fffa 25 00 02 06 00 aabbcc", {"TELNET", "  Suboption", "    Authentication IS(0)",
                                         "    KERBEROS_V5(2) CLIENT|MUTUAL|ENCRYPT USING TELOPT", "    AUTH 3 bytes"}},
        {"fffa 25 02 00 00 07", {"TELNET", "  Suboption", "    Authentication REPLY(2)", "    NULL(0)",
                                  "    Unknown"}},
        {"fffa 25 00 0f 19 07 aa", {"TELNET", "  Suboption", "    Authentication IS(0)",
                                     "    NTLM(15) SERVER|ONE WAY|ENCRYPT AFTER EXCHANGE|INI_CRED_FWD",
                                     "    Unknown(7) 2 bytes"}},
        {"fffa 25 01 0203 0000", {"TELNET", "  Suboption", "    Authentication SEND(1)",
                                   "    KERBEROS_V5(2) SERVER|MUTUAL", "    NULL(0) CLIENT|ONE WAY"}},
        {"fffa 25 03 626f62", {"TELNET", "  Suboption", "    Authentication NAME(3)", "    Remote user : bob"}},
        {"fffa 25 09 0102", {"TELNET", "  Suboption", "    Authentication Unknown(9)", "    Data 2 bytes"}},
        {"fffa 26 00 01 01 1122334455667788", {"TELNET", "  Suboption", "    Encrypt IS(0)",
                                                "    Type : DES_CFB64(1)", "    CFB64_IV(1)", "    Key 8 bytes"}},
        {"fffa 26 02 0b 03", {"TELNET", "  Suboption", "    Encrypt REPLY(2)", "    Type : CAST128_OFB64(11)",
                               "    OFB64_IV_BAD(3)"}},
        {"fffa 26 00 00 01", {"TELNET", "  Suboption", "    Encrypt IS(0)", "    Type : NULL(0)"}},
        {"fffa 26 01 0302", {"TELNET", "  Suboption", "    Encrypt SUPPORT(1)", "    Type : DES3_CFB64(3)"}},
        {"fffa 26 03 aabb", {"TELNET", "  Suboption", "    Encrypt START(3)", "    Key 2 bytes"}},
        {"fffa 26 04 aabb", {"TELNET", "  Suboption", "    Encrypt END(4)"}},
        {"fffa 18", {"TELNET", "  Suboption"}},  // cut before the command byte
    };
    for (const auto& k : cases) EXPECT_EQ(sub(hex(k.bytes)), k.lines) << k.bytes;
    // The subnegotiation runs to the next IAC after its option and command bytes.
    DetailTree tree;
    d.tree(tree, hex("fffa ff ff 4142 fff0"));
    int32_t s = tree.line(tree.first_top()).first_child;
    EXPECT_EQ(tree.line(s).length, 6u);
}

// ---- syslog ----

TEST(Syslog, Priority) {
    zt::Direct d(decode_syslog, LEAD);
    struct Case {
        std::string payload;
        const char* col5;
    } cases[] = {
        {"<13>Dec 8 hello", "Facility : user(1) Severity : notice(5)"},
        {"<191>x", "Facility : local7(23) Severity : debug(7)"},
        {"<1023>x", "Facility : Unknown(127) Severity : debug(7)"},
        {"<0>", "Facility : kern(0) Severity : emerg(0)"},
        {"<" + std::string(31, '0') + "9>x", "Facility : user(1) Severity : alert(1)"},  // 32 digits
        {"<" + std::string(32, '0') + "9>x", "syslog data 36 octets"},                   // 33
        {"<13 x", "syslog data 5 octets"},
        {"13>", "syslog data 3 octets"},
    };
    for (const auto& k : cases) {
        zt::Summary s = d.summary(text(k.payload));
        EXPECT_EQ(s.col[4], "syslog");
        EXPECT_EQ(s.col[5], k.col5) << k.payload;
    }
    std::vector<std::string> want = {"syslog", "  Facility : user(1) Severity : notice(5)", "  Messages : 5 bytes"};
    EXPECT_EQ(lines_of(d, "<13>hello"), want);
    std::vector<std::pair<uint32_t, uint32_t>> r = {{0, 4}, {4, 5}};
    EXPECT_EQ(child_ranges(d, "<13>hello"), r);
    EXPECT_EQ(lines_of(d, "<13>").size(), 2u);
    EXPECT_EQ(lines_of(d, "plain")[1], "  Data 5 bytes");
}

// ---- RTSP and SDP ----

zt::Direct rtsp(decode_rtsp, LEAD);

TEST(Rtsp, Summary) {
    EXPECT_EQ(rtsp.summary(text("OPTIONS * RTSP/1.0\r\n")).col[5], "OPTIONS * RTSP/1.0");
    EXPECT_EQ(rtsp.summary(text("teardown x RTSP/1.0\r\n")).col[5], "teardown x RTSP/1.0");
    EXPECT_EQ(rtsp.summary(text("RTSP/1.0 200 OK\r\n")).col[5], "RTSP/1.0 200 OK");
    EXPECT_EQ(rtsp.summary(text("hello\r\n")).col[5], "RTSP data 7 octets");
    EXPECT_EQ(rtsp.summary(hex("24010010aabb")).col[5], "Interleaved data(channel=1 16 octets)");
    EXPECT_EQ(rtsp.summary(hex("2401")).col[5], "RTSP interleaved frame header truncated (2 bytes captured)");
    EXPECT_EQ(rtsp.summary(hex("2401")).col[4], "RTSP");
}

TEST(Rtsp, ReplyWithSdpBody) {
    std::string sdp =
        "v=0\r\no=- 1 2 IN IP4 10.0.0.2\r\ns=S\r\ni=about\r\nx=y\r\nt=0 0\r\na=tool:z\r\n"
        "m=audio 5004/2 RTP/AVP 0 8\r\ni=voice\r\na=rtpmap:0 PCMU/8000\r\nr=7d 1h 0 25h\r\nz=1 -1h 2 0\r\n"
        "b=AS:64\r\nk=clear:pw\r\nno equals\r\n";
    std::string msg = "RTSP/1.0 200 OK\r\nCSeq: 2\r\ncontent-type:  application/SDP\r\nContent-Length: " +
                      std::to_string(sdp.size()) + "\r\n\r\n" + sdp + "RTSP/1.0 200 OK\r\n";
    std::vector<std::string> want = {
        "Real Time Streaming Protocol",
        "  RTSP/1.0 200 OK\\r\\n",
        "  CSeq: 2\\r\\n",
        "  content-type:  application/SDP\\r\\n",
        "  Content-Length: " + std::to_string(sdp.size()) + "\\r\\n",
        "  \\r\\n",
        "Session Description Protocol(SDP)",
        "  Protocol Version(v) : 0\\015\\012",
        "  Origin(o) : - 1 2 IN IP4 10.0.0.2\\015\\012",
        "    Username : -",
        "    Session id : 1",
        "    Version : 2",
        "    Network type : IN",
        "    Address type : IP4",
        "    Address : 10.0.0.2",
        "  Session Name(s) : S\\015\\012",
        "  Session Information(i) : about\\015\\012",
        "  Unknown(x) : x=y\\015\\012",
        "  Time Zones(t) : 0 0\\015\\012",
        "    Start time : 0",
        "    Stop time : 0",
        "  Attributes(a) : a=tool:z\\015\\012",  // after t=: neither session nor media
        "  Media Announcements(m) : audio 5004/2 RTP/AVP 0 8\\015\\012",
        "    Media : audio",
        "    Port/Number of ports : 5004/2",
        "    Transport : RTP/AVP",
        "    Format : 0 8",
        "  Media Information(i) : voice\\015\\012",
        "  Media Attributes(a) : rtpmap:0 PCMU/8000\\015\\012",
        "    Attribute : rtpmap",
        "    Value : 0 PCMU/8000",
        "  Repeat Times(r) : 7d 1h 0 25h\\015\\012",
        "    Repeat interval : 7d",
        "    Active duration : 1h",
        "    Offsets from start time : 0",
        "    Offsets from start time : 25h",
        "  Time Zone Adjustments(z) : 1 -1h 2 0\\015\\012",
        "    Adjustment time/Offset  : 1 -1h",
        "    Adjustment time/Offset  : 2 0",
        "  Bandwidth(b) : AS:64\\015\\012",
        "    Modifier : AS",
        "    Bandwidth value : 64",
        "  Encryption Keys(k) : clear:pw\\015\\012",
        "    Method : clear",
        "    Encryption key : pw",
        // The second message after the body, in the same payload.
        "  RTSP/1.0 200 OK\\r\\n",
    };
    std::vector<std::string> got;
    for (const std::string& l : rtsp.detail(text(msg))) got.push_back(l.substr(2));
    // The RTSP node's lines come first, then the SDP node; the second message
    // belongs to the RTSP node again.
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(got[i], want[i]) << i;
}

TEST(Rtsp, BodiesAndInterleavedFrames) {
    auto lines = [](const Frame& f) {
        std::vector<std::string> out;
        for (const std::string& l : rtsp.detail(f)) out.push_back(l.substr(2));
        return out;
    };
    // A body cut to its Content-Length, then an interleaved frame with more bytes than it says.
    Frame f = cat({text("PLAY x RTSP/1.0\r\nContent-Length: 3\r\n\r\nabcd"), hex("24 02 0002 aabb ccdd")});
    std::vector<std::string> want = {"Real Time Streaming Protocol", "  PLAY x RTSP/1.0\\r\\n",
                                     "  Content-Length: 3\\r\\n", "  \\r\\n", "  Data : 3 bytes",
                                     "  Data : 9 bytes"};  // "d$..." is read as a message whose body is all of it
    EXPECT_EQ(lines(f), want);
    Frame g = cat({text("PLAY x RTSP/1.0\r\n\r\n"), hex("24 02 0002 aabb ccdd")});
    want = {"Real Time Streaming Protocol", "  PLAY x RTSP/1.0\\r\\n", "  \\r\\n", "  Interleaved Code : 0x24",
            "  Channel Identifier : 2", "  Length : 2", "  Data : 4 bytes", "  upper-layer protocol : 2 bytes"};
    EXPECT_EQ(lines(g), want);
    want = {"Real Time Streaming Protocol", "  Interleaved Code : 0x24", "  Channel Identifier : 2",
            "  Length : 16", "  Data : 2 bytes"};
    EXPECT_EQ(lines(hex("24 02 0010 aabb")), want);  // cut by the capture
    want = {"Real Time Streaming Protocol", "  Interleaved Code : 0x24", "  Channel Identifier : 2",
            "  Header truncated : 3 of 4 bytes captured"};
    EXPECT_EQ(lines(hex("24 02 00")), want);
    // A Content-Length that is not a plain number is ignored.
    want = {"Real Time Streaming Protocol", "  PLAY x RTSP/1.0\\r\\n", "  Content-Length: 3x\\r\\n", "  \\r\\n",
            "  Data : 4 bytes"};
    EXPECT_EQ(lines(text("PLAY x RTSP/1.0\r\nContent-Length: 3x\r\n\r\nabcd")), want);
}

// The data line counts every byte after the four-byte header and covers them;
// the excess over the frame's length is named once more on its own line.
TEST(Rtsp, InterleavedDataLine) {
    struct Line {
        std::string text;
        uint32_t offset, length;
        bool operator==(const Line&) const = default;
    };
    struct Case {
        const char* frame;
        std::vector<Line> tail;  // the lines after "Length : %ld"
    } cases[] = {
        {"24 02 0002 aabbccdd", {{"Data : 4 bytes", 4, 4}, {"upper-layer protocol : 2 bytes", 6, 2}}},
        {"24 02 0000 aa", {{"Data : 1 bytes", 4, 1}, {"upper-layer protocol : 1 bytes", 4, 1}}},
        {"24 02 0004 aabbccdd", {{"Data : 4 bytes", 4, 4}}},
        {"24 02 0010 aabb", {{"Data : 2 bytes", 4, 2}}},  // cut by the capture: only what is there
        {"24 02 0002", {{"Data : 0 bytes", 4, 0}}},
    };
    for (const Case& k : cases) {
        DetailTree tree;
        rtsp.tree(tree, hex(k.frame));
        std::vector<Line> got;
        bool after_length = false;
        for (int32_t h = tree.line(tree.first_top()).first_child; h; h = tree.line(h).next_sibling) {
            std::string t(tree.text(h));
            if (after_length) got.push_back({t, tree.line(h).offset - LEAD, tree.line(h).length});
            after_length = after_length || t.rfind("Length : ", 0) == 0;
        }
        EXPECT_EQ(got, k.tail) << k.frame;
    }
}

TEST(TextProtocols, LayerIndexEntries) {
    struct Case {
        uint16_t port;
        const char* payload;
        int protocol;
    } cases[] = {
        {21, "220 x\r\n", P_FTP},   {20, "x", P_FTPDATA},        {23, "x", P_TELNET},
        {25, "220 x\r\n", P_SMTP},  {80, "GET / HTTP/1.1\r\n", P_HTTP}, {110, "+OK\r\n", P_POP3},
        {143, "* OK\r\n", P_IMAP},  {554, "RTSP/1.0 200 OK\r\n", P_RTSP}, {1900, "NOTIFY * HTTP/1.1\r\n", P_SSDP},
    };
    for (const auto& k : cases) {
        FrameLayerIndex ix = zt::layers(tcp4(1, 2, 40000, k.port, ACK | PSH, k.payload));
        ASSERT_EQ(ix.count, 4) << k.port;  // Ethernet II, IP, TCP, the application
        EXPECT_EQ(ix.entries[3].protocol, k.protocol) << k.port;
        EXPECT_EQ(ix.entries[3].offset, 16 + LEAD) << k.port;
    }
}

}  // namespace
