// NTP and Sun RPC, decoded directly as UDP (or TCP) hands them over.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "tests/support.h"

using namespace zelpan;
using zt::cat;
using zt::Frame;
using zt::hex;

namespace {

constexpr int LEAD = 42;  // Ethernet, IPv4, UDP

void over_ipv4_udp(DecodeContext& c) {
    c.network_type = 0x0800;
    c.transport_protocol = 17;
}
void over_ipv6_udp(DecodeContext& c) {
    c.network_type = 0x86DD;
    c.transport_protocol = 17;
}
void over_tcp(DecodeContext& c) {
    c.network_type = 0x0800;
    c.transport_protocol = 6;
}

// Client request: LI 0, version 4, mode 3, stratum 0, poll 6, precision -20,
// zero reference, originate and receive, transmit 2025-12-07 08:00:00.25 UTC.
const Frame CLIENT = hex("23 00 06 EC 00000000 00000000 00000000 0000000000000000 0000000000000000"
                         "0000000000000000 ECDFB28040000000");
// Server answer: stratum 1 from GPS, root delay 1.5 s, dispersion 0.25 s.
const Frame SERVER = hex("24 01 0A E9 00018000 00004000 47505300 ECDFB27600000000 ECDFB28040000000"
                         "ECDFB28040106240 ECDFB28042000000");

Frame with(Frame f, int at, uint8_t v) {
    f[size_t(at)] = v;
    return f;
}

}  // namespace

TEST(Ntp, ClientRequestLines) {
    zt::Direct d(decode_ntp, LEAD, over_ipv4_udp);
    const std::vector<std::string> want = {
        "  Network Time Protocol",
        "    Flags : 0x23",
        "      00** **** : Leap Indicator=no warning(0)",
        "      **10 0*** : Version=4",
        "      **** *011 : Mode=client(3)",
        "    Stratum : unspecified or unavailable(0)",
        "    Pool Interval : 6(64 sec)",
        "    Precision : 0.000001 sec",
        "    Root Delay : 0.000 sec",
        "    Root Dispersion : 0.000 sec",
        "    Reference Identifier : ?\?\?\?(Nothing)",
        "    Reference Timestamp : Nothing",
        "    Originate Timestamp : Nothing",
        "    Receive Timestamp : Nothing",
        "    Transmit Timestamp : 2025/12/07 08:00:00.250 UTC",
    };
    EXPECT_EQ(d.detail(CLIENT), want);
    zt::Summary s = d.summary(CLIENT);
    EXPECT_EQ(s.col[4], "NTP");
    EXPECT_EQ(s.col[5], "NTP data 48 octets Version=4 Mode=client");
    FrameLayerIndex ix = d.layers(CLIENT);
    ASSERT_EQ(ix.count, 1);
    EXPECT_EQ(ix.entries[0].protocol, P_NTP);
    EXPECT_EQ(ix.entries[0].offset, 16 + LEAD);
}

TEST(Ntp, ServerAnswerFields) {
    zt::Direct d(decode_ntp, LEAD, over_ipv4_udp);
    std::vector<std::string> l = d.detail(SERVER);
    ASSERT_EQ(l.size(), 15u);
    EXPECT_EQ(l[4], "      **** *100 : Mode=server(4)");
    EXPECT_EQ(l[5], "    Stratum : primary reference(1)");
    EXPECT_EQ(l[6], "    Pool Interval : 10(1024 sec)");
    EXPECT_EQ(l[7], "    Precision : 0.000000 sec");
    EXPECT_EQ(l[8], "    Root Delay : 1.500 sec");
    EXPECT_EQ(l[9], "    Root Dispersion : 0.250 sec");
    EXPECT_EQ(l[10], "    Reference Identifier : GPS(Global Positioning Service)");
    EXPECT_EQ(l[11], "    Reference Timestamp : 2025/12/07 07:59:50.000 UTC");
    EXPECT_EQ(l[13], "    Receive Timestamp : 2025/12/07 08:00:00.250 UTC");
    EXPECT_EQ(l[14], "    Transmit Timestamp : 2025/12/07 08:00:00.257 UTC");

    DetailTree t;
    d.tree(t, SERVER);
    for (int32_t h = 1; h <= t.size(); ++h) {
        if (t.text(h).substr(0, 17) == "Receive Timestamp") {
            EXPECT_EQ(t.line(h).offset, uint32_t(LEAD + 32));
            EXPECT_EQ(t.line(h).length, 8u);
        }
        if (t.text(h).substr(0, 9) == "Stratum :") {
            EXPECT_EQ(t.line(h).offset, uint32_t(LEAD + 1));
        }
    }
}

TEST(Ntp, PollStratumAndReferenceTables) {
    zt::Direct d(decode_ntp, LEAD, over_ipv4_udp);
    const struct {
        uint8_t poll;
        const char* line;
    } polls[] = {
        {3, "    Pool Interval : Invalid(3)"},   {4, "    Pool Interval : 4(16 sec)"},
        {6, "    Pool Interval : 6(64 sec)"},    {14, "    Pool Interval : 14(16384 sec)"},
        {15, "    Pool Interval : Invalid(15)"}, {0, "    Pool Interval : Invalid(0)"},
    };
    for (const auto& p : polls) EXPECT_EQ(d.detail(with(CLIENT, 2, p.poll))[6], p.line);

    const struct {
        uint8_t stratum;
        const char* line;
    } strata[] = {
        {2, "    Stratum : secondary reference(2)"},
        {16, "    Stratum : reserved(16)"},
    };
    for (const auto& s : strata) EXPECT_EQ(d.detail(with(SERVER, 1, s.stratum))[5], s.line);

    const struct {
        const char* id;
        uint8_t stratum;
        const char* line;
    } refs[] = {
        {"4C4F434C", 1, "LOCL(uncalibrated local clock used)"},
        {"46524545", 1, "FREE((Internal clock))"},
        {"31505053", 0, "1PPS(External 1 PPS input)"},
        {"47505358", 1, "?\?\?\?(Nothing)"},  // "GPSX" is not "GPS"
        {"494E4954", 0, "?\?\?\?(Nothing)"},
        {"C0000201", 2, "192.0.2.1"},
    };
    for (const auto& r : refs) {
        Frame f = with(SERVER, 1, r.stratum);
        Frame id = hex(r.id);
        std::copy(id.begin(), id.end(), f.begin() + 12);
        EXPECT_EQ(d.detail(f)[10], std::string("    Reference Identifier : ") + r.line);
    }
    zt::Direct v6(decode_ntp, LEAD, over_ipv6_udp);
    EXPECT_EQ(v6.detail(with(SERVER, 1, 3))[10], "    Reference Identifier : 0x47505300");
    // Negative precision exponents and a negative root delay.
    EXPECT_EQ(d.detail(with(CLIENT, 3, 0xFE))[7], "    Precision : 0.250000 sec");
    EXPECT_EQ(d.detail(with(with(CLIENT, 4, 0xFF), 5, 0xFF))[8], "    Root Delay : -1.000 sec");
}

TEST(Ntp, AuthenticatorAndTruncation) {
    zt::Direct d(decode_ntp, LEAD, over_ipv4_udp);
    Frame mac = cat({CLIENT, hex("00000007 00112233445566778899AABBCCDDEEFF")});
    std::vector<std::string> l = d.detail(mac);
    ASSERT_EQ(l.size(), 17u);
    EXPECT_EQ(l[15], "    Key Identifier : 0x00000007");
    EXPECT_EQ(l[16], "    Message Digest : 00112233445566778899AABBCCDDEEFF");
    l = d.detail(cat({CLIENT, hex("AABB")}));
    EXPECT_EQ(l.back(), "    Data : 2 bytes");

    Frame cut(CLIENT.begin(), CLIENT.begin() + 30);
    l = d.detail(cut);
    EXPECT_EQ(l.back(), "    Header truncated : 30 of 48 bytes captured");
    EXPECT_EQ(l[l.size() - 2], "    Reference Timestamp : Nothing");  // bytes 16..23 only
    EXPECT_EQ(d.summary(cut).col[5], "NTP data 30 octets (header truncated)");
    EXPECT_EQ(d.detail(Frame{}).size(), 2u);  // the node and the truncation line
}

TEST(Rpc, CallAndReply) {
    zt::Direct d(decode_rpc, LEAD, over_ipv4_udp);
    // Portmapper GETPORT call (program 100000, version 2, procedure 3) with null credentials.
    Frame call = hex("5E1F0001 00000000 00000002 000186A0 00000002 00000003 00000000 00000000 00000000 00000000"
                     "000186A3 00000003 00000011 00000000");
    const std::vector<std::string> want = {
        "  SUN Remote Procedure Call Protocol",
        "    XID(Transaction Identifier) : 0x5E1F0001(1579089921)",
        "    Message Type : Call(0)",
        "    RPC Version : 2",
        "    Program Number : 100000",
        "    Program Version : 2",
        "    Procedure : 3",
        "    Data : 32 bytes",
    };
    EXPECT_EQ(d.detail(call), want);
    zt::Summary s = d.summary(call);
    EXPECT_EQ(s.col[4], "RPC");
    EXPECT_EQ(s.col[5], "Message Type : Call(0) 56 octets");
    FrameLayerIndex ix = d.layers(call);
    ASSERT_EQ(ix.count, 1);
    EXPECT_EQ(ix.entries[0].protocol, P_RPC);
    EXPECT_EQ(ix.entries[0].offset, 16 + LEAD);

    Frame reply = hex("5E1F0001 00000001 00000000 00000000 00000000 00000000 00000801");
    const std::vector<std::string> reply_lines = {
        "  SUN Remote Procedure Call Protocol",
        "    XID(Transaction Identifier) : 0x5E1F0001(1579089921)",
        "    Message Type : Reply(1)",
        "    Reply State : Accepted(0)",
        "    Data : 16 bytes",
    };
    EXPECT_EQ(d.detail(reply), reply_lines);
    EXPECT_EQ(d.summary(reply).col[5], "Message Type : Reply(1) 28 octets");
    EXPECT_EQ(d.detail(hex("00000009 00000001 00000001"))[3], "    Reply State : Denied(1)");
    EXPECT_EQ(d.detail(hex("00000009 00000001 00000002"))[3], "    Reply State : Unknown(2)");
    // An unknown message type: the rest is data.
    std::vector<std::string> l = d.detail(hex("00000009 00000005 AABBCCDD"));
    EXPECT_EQ(l[2], "    Message Type : Unknown(5)");
    EXPECT_EQ(l.back(), "    Data : 4 bytes");
    EXPECT_EQ(l.size(), 4u);

    DetailTree t;
    d.tree(t, call);
    for (int32_t h = 1; h <= t.size(); ++h)
        if (t.text(h) == "Procedure : 3") {
            EXPECT_EQ(t.line(h).offset, uint32_t(LEAD + 20));
            EXPECT_EQ(t.line(h).length, 4u);
        }
}

TEST(Rpc, TruncatedAndOverTcp) {
    zt::Direct d(decode_rpc, LEAD, over_ipv4_udp);
    std::vector<std::string> l = d.detail(hex("5E1F0001 00000000 00000002 000186A0 0000"));
    EXPECT_EQ(l.back(), "    Header truncated : 18 of 24 bytes captured");
    EXPECT_EQ(l[l.size() - 2], "    Program Number : 100000");
    EXPECT_EQ(d.summary(hex("5E1F0001 0000")).col[5], "RPC header truncated (6 bytes captured)");
    l = d.detail(hex("5E1F0001 00000001 0000"));
    EXPECT_EQ(l.back(), "    Header truncated : 10 of 12 bytes captured");

    // Over TCP the record mark comes first.
    zt::Direct tcp(decode_rpc, 54, over_tcp);
    Frame marked = hex("8000001C 5E1F0001 00000001 00000000 00000000 00000000 00000000 00000801");
    l = tcp.detail(marked);
    EXPECT_EQ(l[1], "    Record Mark : last fragment, 28 bytes");
    EXPECT_EQ(l[2], "    XID(Transaction Identifier) : 0x5E1F0001(1579089921)");
    EXPECT_EQ(l[4], "    Reply State : Accepted(0)");
    EXPECT_EQ(tcp.summary(marked).col[5], "Message Type : Reply(1) 28 octets");
}
