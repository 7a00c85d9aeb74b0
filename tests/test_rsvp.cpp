// RSVP: the common header, the object walk and its end rules, the contents of each
// object class, the integrated-services floats, and messages cut short.
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

// Bytes standing for the Ethernet and IPv4 headers in front of the message.
constexpr int LEAD = 34;

struct Direct : zt::Direct {
    Direct() : zt::Direct(decode_rsvp, LEAD) {}
};

Frame be16(unsigned v) { return {uint8_t(v >> 8), uint8_t(v)}; }

Frame object(uint8_t cls, uint8_t ctype, const Frame& contents) {
    return cat({be16(unsigned(4 + contents.size())), {cls, ctype}, contents});
}

Frame message(uint8_t type, const Frame& objects) {
    return cat({{0x10, type}, hex("abcd 3f 00"), be16(unsigned(8 + objects.size())), objects});
}

const Frame session = object(1, 1, hex("c0000209 11 01 1389"));
const Frame hop = object(3, 1, hex("0a000c01 00000005"));
const Frame time_values = object(5, 1, hex("00007530"));
const Frame sender_template = object(11, 1, hex("0a000001 0000 1388"));
// Token bucket: rate 125000, size 10000, peak 250000 (floats), m 64, M 1500.
const Frame token_bucket = hex("7f 00 0005 47f42400 461c4000 48742400 00000040 000005dc");
const Frame sender_tspec = object(12, 2, cat({hex("00 00 0007 01 00 0006"), token_bucket}));
const Frame path = message(1, cat({session, hop, time_values, sender_template, sender_tspec}));

size_t indent_of(const std::string& l) { return l.find_first_not_of(' '); }

// The top-level lines under the protocol node (the header and object nodes).
std::vector<std::string> object_names(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const std::string& l : lines)
        if (indent_of(l) == 4) out.push_back(l.substr(4));
    return out;
}

// The lines of the one object in a message, after its Length and Class-Num lines,
// with their indentation relative to the object's children.
std::vector<std::string> contents_lines(const Frame& obj) {
    Direct d;
    std::vector<std::string> lines = d.detail(message(1, obj));
    std::vector<std::string> out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (indent_of(lines[i]) != 6 || lines[i].rfind("      Class-Num : ", 0) != 0) continue;
        for (size_t j = i + 1; j < lines.size() && indent_of(lines[j]) >= 6; ++j) out.push_back(lines[j].substr(6));
        break;
    }
    return out;
}

}  // namespace

TEST(RsvpSummary, MessageTypes) {
    struct Case {
        uint8_t type;
        const char* column5;
    };
    const Case cases[] = {
        {1, "Message : Path"},           {2, "Message : Resv"},
        {7, "Message : Confirmation"},   {10, "Message : RESV TEAR CONFIRM Message"},
        {20, "Message : Hello"},
        {8, "Message : Unknown(8)"},     {0, "Message : Unknown(0)"},
    };
    for (const Case& k : cases) {
        Direct d;
        zt::Summary s = d.summary(message(k.type, {}));
        EXPECT_EQ(s.col[4], "RSVP");
        EXPECT_EQ(s.col[5], k.column5) << int(k.type);
    }
    Direct d;
    EXPECT_EQ(d.summary(hex("1001abcd3f")).col[5], "RSVP header truncated (5 bytes captured)");
    FrameLayerIndex ix = d.layers(path);
    ASSERT_EQ(ix.count, 1);
    EXPECT_EQ(ix.entries[0].protocol, P_RSVP);
    EXPECT_EQ(ix.entries[0].offset, 16 + LEAD);
    EXPECT_STREQ(ix.label, "RSVP");
}

TEST(RsvpDetail, PathShowsItsObjectsInOrder) {
    Direct d;
    std::vector<std::string> lines = d.detail(path);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], "  Resource ReSerVation Protocol");
    const std::vector<std::string> header = {
        "    Common Header",
        "      Version : 1",
        "      Flags : 0x00",
        "      Message : Path",
        "      Checksum : 0xABCD",
        "      Send-TTL : 63",
        "      Length : " + std::to_string(path.size()) + " bytes",
    };
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 1, lines.begin() + 8), header);
    EXPECT_EQ(object_names(lines), (std::vector<std::string>{"Common Header", "SESSION", "HOP", "TIME VALUES",
                                                             "SENDER TEMPLATE", "SENDER TSPEC"}));
    EXPECT_TRUE(zt::has_line(lines, "Length : 12 bytes"));
    EXPECT_TRUE(zt::has_line(lines, "Class-Num : SENDER TEMPLATE(11)"));

    DetailTree tree;
    d.tree(tree, path);
    for (int32_t h = 1; h <= tree.size(); ++h) {
        if (tree.text(h) == "HOP") {
            EXPECT_EQ(tree.line(h).offset, uint32_t(LEAD + 8 + session.size()));
            EXPECT_EQ(tree.line(h).length, hop.size());
        }
        if (tree.text(h) == "Destination Port : 5001") {
            EXPECT_EQ(tree.line(h).offset, uint32_t(LEAD + 8 + 4 + 6));
            EXPECT_EQ(tree.line(h).length, 2u);
        }
    }
}

TEST(RsvpObjects, Contents) {
    struct Case {
        const char* what;
        Frame obj;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"session ipv4", session,
         {"C-Type : IPv4(1)", "Destination Address : 192.0.2.9", "Protocol Id : UDP(17)", "Flags : 0x01",
          "Destination Port : 5001"}},
        {"session ipv6", object(1, 2, hex("20010db8000000000000000000000009 06 00 0050")),
         {"C-Type : IPv6(2)", "Destination Address : 2001:DB8::9", "Protocol Id : TCP(6)", "Flags : 0x00",
          "Destination Port : 80"}},
        {"session lsp tunnel", object(1, 7, hex("0a000009 0000 0011 0a000001")),
         {"C-Type : IPv4 LSP(7)", "IPv4 tunnel end point address : 10.0.0.9", "Tunnel ID : 17",
          "Extended Tunnel ID : 10.0.0.1"}},
        {"session unknown c-type", object(1, 9, hex("01020304 0506")), {"C-Type : Unknown(9)", "Data : 6 bytes"}},
        {"hop ipv6", object(3, 2, hex("fe800000000000000000000000000001 0000000a")),
         {"C-Type : IPv6(2)", "Next/Previous Hop Address : FE80::1", "Logical Interface Handle : 0x0000000A"}},
        {"hop out-of-band", object(3, 3, hex("0a000c01 00000005 0001 0008 0a000c02 0003 000c 0a000c01 00000007"
                                             "0009 0004")),
         {"C-Type : IPv4 Out-of-Band(3)", "Next/Previous Hop Address : 10.0.12.1",
          "Logical Interface Handle : 0x00000005", "HOP subobject", "  Type : IPv4(1)", "  Length : 8",
          "  IPv4 address : 10.0.12.2", "HOP subobject", "  Type : Interface Index(3)", "  Length : 12",
          "  Interface ID : 7", "Unknown HOP subobject : Type(9) length(4)"}},
        {"time values", time_values, {"C-Type : 1", "Refresh Period R : 30000 msec"}},
        {"error ipv4", object(6, 1, hex("0a000c02 00 18 0005")),
         {"C-Type : IPv4(1)", "Error Node Address : 10.0.12.2", "Flags : 0x00", "Error Code : Routing Problem(24)",
          "Error Value : 5"}},
        {"error codes off by one", object(6, 1, hex("0a000c02 00 0c 0000")),
         {"C-Type : IPv4(1)", "Error Node Address : 10.0.12.2", "Flags : 0x00",
          "Error Code : Service preempted(12)", "Error Value : 0"}},
        {"scope ipv4", object(7, 1, hex("0a000001 0a000002")), {"IPv4 Address : 10.0.0.1", "IPv4 Address : 10.0.0.2"}},
        {"style", object(8, 1, hex("00 00000a")),
         {"C-Type : 1", "Flags : 0x00", "Option Vector : 0x00000A", "Style : Fixed Filter(0x0A)"}},
        {"filter spec ipv6", object(10, 2, hex("20010db8000000000000000000000001 0000 1388")),
         {"C-Type : IPv6(2)", "Source Address : 2001:DB8::1", "Source Port : 5000"}},
        {"confirm ipv6", object(15, 2, hex("20010db8000000000000000000000002")),
         {"IPv6 Receiver Address : 2001:DB8::2"}},
        {"generalized label", object(16, 2, hex("00010203")), {"C-Type : Generalized Label(2)", "Generalized Label : 66051"}},
        {"label request gmpls", object(19, 4, hex("08 96 0025")),
         {"C-Type : 4", "LSP Encoding Type : Lambda (photonic)(8)", "Switching Type : Lambda-Switch Capable (LSC)(150)",
          "G-PID : Lambda(37)"}},
        {"label request", object(19, 1, hex("0000 0800")), {"C-Type : 1", "L3PID : IP(0x0800)"}},
        {"hello ack", object(22, 2, hex("00000001 00000002")),
         {"C-Type : HELLO ACK(2)", "Source Instance : 0x00000001", "Destination Instance : 0x00000002"}},
        {"message id", object(23, 1, hex("01 000102 00000010")),
         {"C-Type : 1", "Flags : 0x01", "Epoch : 258", "Message-ID : 16"}},
        {"message id nack", object(24, 2, hex("00 000001 00000011")),
         {"C-Type : 2", "Flags : 0x00", "Epoch : 1", "Message-ID NACK: 17"}},
        {"message id list", object(25, 1, hex("00 000001 00000011 00000012")),
         {"C-Type : 1", "Flags : 0x00", "Epoch : 1", "Message-ID LIST : 17", "Message-ID LIST : 18"}},
        {"session attribute", object(207, 7, hex("07 06 05 04 5231 2d31")),
         {"C-Type : IPv4 LSP(7)", "Setup priority : 7", "Hold priority : 6", "Flags : 0x05",
          "  **** ***1 : Local protection desired", "  **** **0* : Merging not permitted",
          "  **** *1** : Ingress node may reroute", "Name length : 4", "Name : R1-1"}},
        {"session attribute name past the object", object(207, 7, hex("07 07 00 09 5231")),
         {"C-Type : IPv4 LSP(7)", "Setup priority : 7", "Hold priority : 7", "Flags : 0x00",
          "  **** ***0 : Local protection not desired", "  **** **0* : Merging not permitted",
          "  **** *0** : Ingress node may not reroute", "Name length : 9", "Name : R1"}},
        {"dclass", object(225, 1, hex("0000002e 0000000a")), {"C-Type : 1", "DSCP : EF(0x2E)", "DSCP : AF11(0x0A)"}},
        {"integrity", object(4, 1, hex("0102030405060708")), {"Data : 8 bytes"}},
        {"unknown class", object(99, 1, hex("0102")), {"Data : 2 bytes"}},
        {"one byte short", object(5, 1, hex("000075")), {"C-Type : 1", "Object contents too short : 3 of 4 bytes"}},
        {"contents too short", object(1, 1, hex("c00002")), {"C-Type : IPv4(1)", "Object contents too short : 3 of 8 bytes"}},
    };
    for (const Case& k : cases) EXPECT_EQ(contents_lines(k.obj), k.lines) << k.what;
}

TEST(RsvpObjects, RouteSubobjects) {
    Frame subobjects = hex("0108 0a000c02 2000"                          // strict IPv4
                           "8214 20010db8000000000000000000000001 8000"  // loose IPv6
                           "0308 0101 000493f0"                          // label
                           "040c 0000 0a000001 00000003"                 // unnumbered
                           "2004 fde9"                                   // AS
                           "4002"                                        // path termination
                           "6304 0000");                                 // unknown
    const std::vector<std::string> ero = {
        "IPv4 Subobject", "  L bit : Strict Hop", "  Type : IPv4(1)", "  Length : 8",
        "  IPv4 address : 10.0.12.2", "  Prefix length : 32",
        "IPv6 Subobject", "  L bit : Loose Hop ", "  Type : IPv6(2)", "  Length : 20",
        "  IPv6 address : 2001:DB8::1", "  Prefix length : 128",
        "Label Subobject", "  Type : Label(3)", "  Flags : 0x01", "  C-Type : 1", "  Label : 300016",
        "Unnumbered Interface-ID", "  Router-ID : 10.0.0.1", "  Interface-ID : 3",
        "Autonomous System", "  Type : Autonomous System Number(32)", "  Autonomous System : 65001",
        "LSP Path Termination", "  Type : MPLS LSP Path Termination(64)",
        "Unknown subobject : Type(99) length(4)",
    };
    EXPECT_EQ(contents_lines(object(20, 1, subobjects)), ero);

    // Record route: no L bit, and the AS and path-termination kinds are unknown there.
    Frame recorded = hex("0108 0a000c02 2000 2004 fde9 4002");
    const std::vector<std::string> rro = {
        "IPv4 Subobject", "  Type : IPv4(1)", "  Length : 8", "  IPv4 address : 10.0.12.2", "  Prefix length : 32",
        "Unknown subobject : Type(32) length(4)", "Unknown subobject : Type(64) length(2)",
    };
    EXPECT_EQ(contents_lines(object(21, 1, recorded)), rro);
}

TEST(RsvpObjects, IntegratedServices) {
    // FLOWSPEC, guaranteed service: token bucket then the rate RSpec.
    Frame flowspec = object(9, 2, cat({hex("00 00 000a 02 00 0009"), token_bucket,
                                       hex("82 00 0002 49742400 00000064")}));
    const std::vector<std::string> want = {
        "Message format version : 0",
        "Data length : 10 words",
        "Service header : Guaranteed rate QoS(2)",
        "Length of service : 36 data, 9 words",
        "Token Bucket",
        "  Parameter ID : Token bucket(127)",
        "  Parameter 127 flags : 0x00",
        "  Parameter 127 data length : 5 words",
        "  Token Bucket Rate : 125000",
        "  Token Bucket Size : 10000",
        "  Peak Data Rate : 250000",
        "  Minimum Policed Unit [m] : 64",
        "  Maximum Packet Size [M] : 1500",
        "Guaranteed-Rate RSpec",
        "  Parameter ID : Guaranteed rate RSpec(130)",
        "  Parameter 130 flags : 0x00",
        "  Parameter 130 data length : 2 words",
        "  Rate : 1000000",
        "  Slack Term : 100",
    };
    EXPECT_EQ(contents_lines(flowspec), want);

    // Floats below 1, negative, huge and infinite follow the integer conversion.
    Frame odd = hex("7f 00 0005 3f000000 c06ccccd 7f800000 00000000 ffffffff");
    std::vector<std::string> lines = contents_lines(object(12, 2, cat({hex("00 00 0007 01 00 0006"), odd})));
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[4], "Token Bucket TSpec");
    EXPECT_EQ(lines[8], "  Token Bucket Rate : 0");
    EXPECT_EQ(lines[9], "  Token Bucket Size : -3");
    EXPECT_EQ(lines[10], "  Peak Data Rate : 2147483647");
    EXPECT_EQ(lines[12], "  Maximum Packet Size [M] : 4294967295");

    Frame tspec_kinds = object(12, 2, hex("00 00 0006 01 00 0005 80 00 0001 000005dc 7e 00 0001 00000003 05 00 0000"));
    EXPECT_EQ(contents_lines(tspec_kinds), (std::vector<std::string>{
        "Message format version : 0", "Data length : 6 words", "Service header : Traffic specification(1)",
        "Length of service : 20 data, 5 words",
        "Null Service TSpec", "  Parameter ID : Null Service(128)", "  Parameter 128 flags : 0x00",
        "  Parameter 128 data length : 1 words", "  Maximum packet size [M] : 1500",
        "Compression Hint", "  Parameter ID : Compression Hint(126)", "  Parameter 126 flags : 0x00",
        "  Parameter 126 data length : 1 words", "  Hint : 3",
        "Unknown parameter 5 0 words"}));

    Frame adspec = object(13, 2, hex("00 00 000b"
                                     "01 00 0006 04000001 00000002 06000001 49742400 0a000001 000005dc"
                                     "02 80 0003 85000001 00000020 63000000"));
    EXPECT_EQ(contents_lines(adspec), (std::vector<std::string>{
        "Message format version : 0", "Data length : 11 words",
        "Default General Parameters Fragment", "  Service header : Default General Parameters(1)",
        "  Break bit : OFF", "  Data length : 6 words", "  Number-of-IS-hops param : 2(length 1)",
        "  Path-BW estimate : 1000000(length 1)", "  Composed MTU : 1500(length 1)",
        "Guaranteed Service Fragment", "  Service header : Guaranteed Service(2)", "  Break bit : ON",
        "  Data length : 3 words", "  End-to-end composed value for C : 32(length 1)",
        "  Unknown ID 99 length 0"}));
}

// Every walk ends: a zero or too-small length, or one running past its data.
TEST(RsvpWalks, EndOnBadLengths) {
    struct Case {
        const char* what;
        Frame objects;
        std::vector<std::string> names;  // the nodes under the protocol node
        const char* last;
    };
    const Case cases[] = {
        {"object length 0", cat({session, hex("0000 0301"), hop}), {"Common Header", "SESSION", "HOP"},
         "Invalid object length 0 : the object walk ends"},
        {"object length 2", cat({hex("0002 0501"), hop}), {"Common Header", "TIME VALUES"},
         "Invalid object length 2 : the object walk ends"},
        {"object past the message", cat({hop, hex("0010 0501 00007530")}), {"Common Header", "HOP", "TIME VALUES"},
         "Object truncated : 8 of 16 bytes captured"},
        {"object header cut", cat({hop, hex("0008 05")}), {"Common Header", "HOP", "Object header truncated : 3 of 4 bytes captured"},
         "Object header truncated : 3 of 4 bytes captured"},
        {"route subobject length 0", cat({object(20, 1, hex("0108 0a000c02 2000 0100 0a000c03 2000")), hop}),
         {"Common Header", "EXPLICIT ROUTE", "HOP"}, nullptr},
        {"route subobject past the object", cat({object(20, 1, hex("0110 0a000c02 2000")), hop}),
         {"Common Header", "EXPLICIT ROUTE", "HOP"}, nullptr},
        {"hop TLV length 0", cat({object(3, 3, hex("0a000c01 00000005 0001 0000 0a000c02")), session}),
         {"Common Header", "HOP", "SESSION"}, nullptr},
        {"parameter past the service", object(12, 2, hex("00 00 0003 01 00 0002 7f 00 0005 47f42400")),
         {"Common Header", "SENDER TSPEC"}, "Parameter : length 24 runs past the end of the object (8 bytes left)"},
        {"service past the object", object(9, 2, hex("00 00 0003 05 00 0009 7f000005")),
         {"Common Header", "FLOWSPEC"}, "Service : length 40 runs past the end of the object (8 bytes left)"},
    };
    for (const Case& k : cases) {
        Direct d;
        std::vector<std::string> lines = d.detail(message(1, k.objects));
        EXPECT_EQ(object_names(lines), k.names) << k.what;
        if (k.last) {
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines.back().substr(indent_of(lines.back())), k.last) << k.what;
        }
    }
    Direct d;
    std::vector<std::string> ero = d.detail(message(1, object(20, 1, hex("0108 0a000c02 2000 0100 0a000c03 2000"))));
    EXPECT_TRUE(zt::has_line(ero, "Unknown subobject : Type(1) length(0)"));
    EXPECT_EQ(zt::has_line(ero, "IPv4 address : 10.0.12.3"), false);
    std::vector<std::string> past = d.detail(message(1, object(20, 1, hex("0108 0a000c02 2000 0110 0a000c03 2000"))));
    EXPECT_TRUE(zt::has_line(past, "Subobject : length 16 runs past the end of the object (8 bytes left)"));
}

// Every cut of a Path message: the header lines that are captured, then the objects
// that start inside the capture, with no line claiming bytes beyond the cut.
TEST(RsvpTruncation, EveryCutOfAPath) {
    for (size_t n = 0; n <= path.size(); ++n) {
        Frame cut(path.begin(), path.begin() + long(n));
        Direct d;
        std::vector<std::string> lines = d.detail(cut);
        std::vector<std::string> names = object_names(lines);
        size_t objects = 0;
        for (size_t end = 8; end < n; objects++) {
            const Frame* all[] = {&session, &hop, &time_values, &sender_template, &sender_tspec};
            if (objects == 5) break;
            end += all[objects]->size();
        }
        if (n < 8) {
            EXPECT_TRUE(zt::has_line(lines, "Header truncated : " + std::to_string(n) + " of 8 bytes captured")) << n;
        } else {
            EXPECT_EQ(names.size(), 1 + objects) << n;
        }
        DetailTree tree;
        d.tree(tree, cut);
        for (int32_t h = 1; h <= tree.size(); ++h)
            EXPECT_LE(tree.line(h).offset + tree.line(h).length, LEAD + n) << n << " " << tree.text(h);
    }
}
