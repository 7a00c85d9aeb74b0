// The NetBIOS family and SMB: SMB headers and chains, the session, datagram and
// name services, encoded and plain names, and NetBIOS Frames over LLC.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/netbios.h"
#include "tests/support.h"

using namespace zelpan;
using zt::cat;
using zt::Frame;
using zt::hex;

namespace {

constexpr int LEAD = 42;  // link, IP and UDP headers in front of the message

Frame be16(uint16_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }
Frame le16(uint16_t v) { return {uint8_t(v), uint8_t(v >> 8)}; }
Frame be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
Frame text(const std::string& s) { return Frame(s.begin(), s.end()); }

// First-level encoding of a 15-character name and its type, then the end of the name.
Frame encoded(const std::string& name, uint8_t type, const Frame& tail = {0}) {
    std::string padded = name + std::string(15 - name.size(), ' ');
    Frame out{0x20};
    for (size_t i = 0; i < 16; ++i) {
        uint8_t c = i < 15 ? uint8_t(padded[i]) : type;
        out.push_back(uint8_t('A' + (c >> 4)));
        out.push_back(uint8_t('A' + (c & 15)));
    }
    return cat({out, tail});
}

// A plain 16-byte name.
Frame plain(const std::string& name, uint8_t type) {
    Frame out = text(name + std::string(15 - name.size(), ' '));
    out.push_back(type);
    return out;
}

// An SMB header: command, error class and code, flags, flags2, then word count,
// parameter words and buffer.
Frame smb(uint8_t command, uint8_t flags = 0x18, const Frame& words = {}, const Frame& buffer = {},
          uint8_t error_class = 0, uint16_t code = 0, uint16_t flags2 = 0xC853) {
    return cat({hex("FF534D42"), {command, error_class, 0}, le16(code), {flags}, le16(flags2), Frame(12, 0),
                le16(7), le16(0xFEFF), le16(100), le16(9), {uint8_t(words.size() / 2)}, words,
                le16(uint16_t(buffer.size())), buffer});
}

const Frame negotiate = smb(0x72, 0x18, {}, text("\x02NT LM 0.12"));

int32_t find_line(const DetailTree& t, const std::string& s) {
    for (int32_t h = 1; h <= t.size(); ++h)
        if (t.text(h) == s) return h;
    return 0;
}

std::vector<std::string> stripped(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(l.substr(l.find_first_not_of(' ')));
    return out;
}

// Every line of a tree lies inside the frame.
void expect_inside(const DetailTree& t, size_t end) {
    for (int32_t h = 1; h <= t.size(); ++h) EXPECT_LE(t.line(h).offset + t.line(h).length, end) << t.text(h);
}

}  // namespace

// ---- SMB ----

TEST(SmbSummary, CommandNameCodeAndDirection) {
    struct Case {
        Frame msg;
        const char* column5;
    } cases[] = {
        {negotiate, "Commond : SMBnegprot(72) Request"},
        {smb(0x72, 0x98), "Commond : SMBnegprot(72) Response"},
        {smb(0x00), "Commond : SMBmkdir(00) Request"},
        {smb(0xA4), "Commond : SMBntcancel(A4) Request"},
        {smb(0x99), "Commond : 99 Request"},
        {smb(0xFF, 0x80), "Commond : FF Response"},  // SMBsetdir has no code a byte can carry
        {Frame(negotiate.begin(), negotiate.begin() + 9), "SMB header truncated (9 bytes captured)"},
    };
    zt::Direct d(decode_smb, LEAD);
    for (const Case& k : cases) {
        auto s = d.summary(k.msg);
        EXPECT_EQ(s.col[4], "SMB");
        EXPECT_EQ(s.col[5], k.column5);
        auto ix = d.layers(k.msg);
        ASSERT_EQ(ix.count, 1);
        EXPECT_EQ(ix.entries[0].protocol, P_SMB);
    }
}

TEST(SmbDetail, ErrorCodesByClass) {
    struct Case {
        uint8_t error_class;
        uint16_t code;
        const char* class_line;
        const char* code_line;
    } cases[] = {
        // Each class its own table; the code is little-endian.
        {1, 80, "error class : ERRDOS(1)", "error code : ERRfilexists(80)"},
        {1, 14, "error class : ERRDOS(1)", "error code : Unknown(14)"},
        {2, 91, "error class : ERRSRV(2)", "error code : ERRbaduid(91)"},
        {3, 19, "error class : ERRHRD(3)", "error code : ERRnowrite(19)"},
        {0, 258, "error class : SUCCESS(0)", "error code : 258"},
        {255, 7, "error class : ERRCMD(255)", "error code : 7"},
        {9, 7, "error class : Unknown(9)", "error code : 7"},
    };
    zt::Direct d(decode_smb, LEAD);
    for (const Case& k : cases) {
        auto lines = stripped(d.detail(smb(0x2E, 0x98, {}, {}, k.error_class, k.code)));
        EXPECT_TRUE(zt::has_line(lines, k.class_line)) << k.class_line;
        EXPECT_TRUE(zt::has_line(lines, k.code_line)) << k.code_line;
    }
}

TEST(SmbDetail, HeaderLinesAndByteRanges) {
    Frame msg = smb(0x73, 0x18, hex("FF00 0000 1111 2222"), text("abcdef"));
    msg[9 + 0] = 0x88;  // flags: response, case-less
    zt::Direct d(decode_smb, LEAD);
    DetailTree t;
    d.tree(t, msg);
    struct Range {
        const char* text;
        uint32_t offset, length;
    } ranges[] = {
        {"Server Message Block Protocol", 0, uint32_t(msg.size())},
        {"Message Type : 0xFF", 0, 1},
        {"Server Componet : SMB", 1, 3},
        {"SMB Commond : SMBsesssetupX(0x73)", 4, 1},
        {"error code : 0", 7, 2},
        {"flags : 0x88", 9, 1},
        {"1*** **** : response to client", 9, 1},
        {"**** 1*** : pathnames case(less)", 9, 1},
        {"flags2 : 0xC853", 10, 2},
        {"1*** **** **** **** : strings(unicode)", 10, 2},
        {"*1** **** **** **** :  32-bit error code", 10, 2},
        {"**** *0** **** **** : extended security not supported", 10, 2},
        {"**** **** **** ***1 : long pathnames supported", 10, 2},
        {"tree identifier : 7(0x0007)", 24, 2},
        {"caller's process id : 65279(0xFEFF)", 26, 2},
        {"unauthenticated user id : 100(0x0064)", 28, 2},
        {"multiplex id : 9(0x0009)", 30, 2},
        {"WordCount : 4 words", 32, 1},
        {"ParameterWords : 8 bytes", 33, 8},
        {"ByteCount : 6 bytes", 41, 2},
        {"Buffer : 6 bytes", 43, 6},
    };
    for (const Range& r : ranges) {
        int32_t h = find_line(t, r.text);
        ASSERT_NE(h, 0) << r.text;
        EXPECT_EQ(t.line(h).offset, LEAD + r.offset) << r.text;
        EXPECT_EQ(t.line(h).length, r.length) << r.text;
    }
    EXPECT_EQ(t.line(find_line(t, "Server Message Block Protocol")).protocol, P_SMB);
}

TEST(SmbDetail, ChainsFollowForwardOffsetsOnly) {
    // SMBsesssetupX chained to SMBtconX at offset 45, which ends the chain.
    Frame first = smb(0x73, 0x18, cat({{0x75, 0}, le16(45), le16(0), le16(0)}), text("ab"));  // 45 bytes
    Frame chained = cat({first, {2, 0xFF, 0}, le16(0), le16(3), text("xyz")});
    struct Case {
        const char* what;
        Frame msg;
        int blocks;
    } cases[] = {
        {"chain of two", chained, 2},
        {"offset back into the header", cat({smb(0x73, 0x18, cat({{0x75, 0}, le16(10), le16(0), le16(0)}), text("ab")),
                                             Frame(8, 0)}), 1},
        {"offset past the data", smb(0x73, 0x18, cat({{0x75, 0}, le16(900), le16(0), le16(0)}), text("ab")), 1},
        {"no further command", smb(0x73, 0x18, cat({{0xFF, 0}, le16(45), le16(0), le16(0)}), text("ab")), 1},
        {"not a chained command", smb(0x72, 0x18, cat({{0x75, 0}, le16(45), le16(0), le16(0)}), text("ab")), 1},
    };
    zt::Direct d(decode_smb, LEAD);
    for (const Case& k : cases) {
        auto lines = stripped(d.detail(k.msg));
        int counts = 0;
        for (const auto& l : lines) counts += l.rfind("ByteCount : ", 0) == 0;
        EXPECT_EQ(counts, k.blocks) << k.what;
    }
    DetailTree t;
    d.tree(t, chained);
    // The chained block repeats only the parameter, byte count and buffer lines.
    auto lines = stripped(d.detail(chained));
    std::vector<std::string> tail(lines.end() - 6, lines.end());
    std::vector<std::string> want = {"ParameterWords : 8 bytes", "ByteCount : 2 bytes", "Buffer : 2 bytes",
                                     "ParameterWords : 4 bytes", "ByteCount : 3 bytes", "Buffer : 3 bytes"};
    EXPECT_EQ(tail, want);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "WordCount : 4 words"), 1);
    int32_t h = find_line(t, "ParameterWords : 4 bytes");
    ASSERT_NE(h, 0);
    EXPECT_EQ(t.line(h).offset, LEAD + 46u);  // after the chained block's word count at 45
    EXPECT_EQ(t.line(find_line(t, "Buffer : 3 bytes")).offset, LEAD + 45u + 1 + 4 + 2);
}

TEST(SmbTruncated, EveryLengthStaysInside) {
    Frame msg = smb(0x73, 0x18, cat({{0x75, 0}, le16(45), le16(0), le16(0)}), text("ab"));
    msg = cat({msg, {2, 0xFF, 0}, le16(0), le16(3), text("xyz")});
    zt::Direct d(decode_smb, LEAD);
    for (size_t n = 4; n <= msg.size(); ++n) {
        Frame m(msg.begin(), msg.begin() + long(n));
        SCOPED_TRACE(n);
        EXPECT_EQ(d.summary(m).col[4], "SMB");
        DetailTree t;
        d.tree(t, m);
        expect_inside(t, LEAD + n);
        auto lines = stripped(d.detail(m));
        EXPECT_EQ(zt::has_line(lines, "WordCount : 4 words"), n >= 33);
        if (n < 33) {
            EXPECT_TRUE(zt::has_line(lines, "Header truncated : " + std::to_string(n) + " of 33 bytes captured"));
        }
    }
}

// ---- session service ----

TEST(NbssSummary, TypesAndPayloads) {
    Frame session_smb = cat({{0x00, 0}, be16(uint16_t(negotiate.size())), negotiate});
    struct Row {
        Frame msg;
        const char* column4;
        const char* column5;
        int layers;
    } rows[] = {
        {session_smb, "SMB", "Commond : SMBnegprot(72) Request", 2},
        {cat({hex("00 00 0004"), text("data")}), "NBTSS", "Session Packet Type : SESSION MESSAGE(0x00)", 1},
        {hex("85000000"), "NBTSS", "Session Packet Type : SESSION KEEP ALIVE(0x85)", 1},
        {hex("82000000"), "NBTSS", "Session Packet Type : POSITIVE SESSION RESPONSE(0x82)", 1},
        {hex("83000001 82"), "NBTSS", "Session Packet Type : NEGATIVE SESSION RESPONSE(0x83)", 1},
        {hex("86000000 0102"), "NBTSS", "NBTSS data 6 octets", 1},
        {hex("850000"), "NBTSS", "NBTSS data 3 octets", 1},
        // The session length ends the message: an SMB signature after it is not the message's.
        {cat({hex("00 00 0000"), negotiate}), "NBTSS", "Session Packet Type : SESSION MESSAGE(0x00)", 1},
    };
    zt::Direct d(decode_nbss, LEAD);
    for (const Row& k : rows) {
        auto s = d.summary(k.msg);
        EXPECT_EQ(s.col[4], k.column4) << k.column5;
        EXPECT_EQ(s.col[5], k.column5);
        auto ix = d.layers(k.msg);
        ASSERT_EQ(ix.count, k.layers) << k.column5;
        EXPECT_EQ(ix.entries[0].protocol, P_NBTSS);
        if (k.layers == 2) {
            EXPECT_EQ(ix.entries[1].protocol, P_SMB);
            EXPECT_EQ(ix.entries[1].offset, 16 + LEAD + 4);
        }
    }
}

TEST(NbssDetail, BodiesByType) {
    Frame request = cat({hex("81 00 0044"), encoded("FILESRV", 0x20), encoded("CLIENT", 0x00)});
    struct Case {
        Frame msg;
        std::vector<std::string> lines;
    } cases[] = {
        // A keep-alive shows the type, flags and length only.
        {hex("85000000"),
         {"NetBIOS session service", "Session Packet Type : SESSION KEEP ALIVE(0x85)", "Flags : 0x00",
          "**** ***0 : Length extension(OFF)", "Length : 0"}},
        {request,
         {"NetBIOS session service", "Session Packet Type : SESSION REQUEST(0x81)", "Flags : 0x00",
          "**** ***0 : Length extension(OFF)", "Length : 68", "CALLEDNAME : FILESRV         ",
          "CALLINGNAME : CLIENT         <00>"}},
        {hex("83000001 82"),
         {"NetBIOS session service", "Session Packet Type : NEGATIVE SESSION RESPONSE(0x83)", "Flags : 0x00",
          "**** ***0 : Length extension(OFF)", "Length : 1", "Error Code : Called name not present(0x82)"}},
        {hex("84000006 0A000001 008B"),
         {"NetBIOS session service", "Session Packet Type : RETARGET SESSION RESPONSE(0x84)", "Flags : 0x00",
          "**** ***0 : Length extension(OFF)", "Length : 6", "ReTarget IP address : 10.0.0.1", "Port : 139"}},
        {hex("00010002 4142"),
         {"NetBIOS session service", "Session Packet Type : SESSION MESSAGE(0x00)", "Flags : 0x01",
          "**** ***1 : Length extension(ON)", "Length : 65538", "Data 2 bytes"}},
        // An unknown type still shows the header it has.
        {hex("42 00 0004 01020304 0506"),
         {"NetBIOS session service", "Session Packet Type : Unknown(0x42)", "Flags : 0x00",
          "**** ***0 : Length extension(OFF)", "Length : 4", "Data 4 bytes"}},
        {hex("42 00 00"), {"NetBIOS session service", "Data 3 bytes"}},
    };
    zt::Direct d(decode_nbss, LEAD);
    for (const Case& k : cases) EXPECT_EQ(stripped(d.detail(k.msg)), k.lines) << k.lines.back();

    // A session message with SMB: the SMB node is a top-level sibling.
    auto lines = d.detail(cat({{0x00, 0}, be16(uint16_t(negotiate.size())), negotiate}));
    EXPECT_TRUE(zt::has_line(lines, "Server Message Block Protocol"));
    EXPECT_NE(std::find(lines.begin(), lines.end(), "  Server Message Block Protocol"), lines.end());
}

// ---- names ----

TEST(NetbiosNames, EncodedNameForms) {
    // Each name is the called name of a session request.
    struct Case {
        const char* what;
        Frame name;
        std::string text;
        uint32_t length;
    } cases[] = {
        {"type 0x20 ends in a blank", encoded("FRED", 0x20), "FRED            ", 34},
        {"type 0x1D in brackets", encoded("WORKGROUP", 0x1D), "WORKGROUP      <1D>", 34},
        {"unprintable bytes in brackets", encoded(std::string("A\x01") + "B", 0x03), "A<01>B            <03>", 34},
        {"scope labels follow with dots", encoded("FRED", 0x00, hex("05 53434F5045 03 4E4554 00")),
         "FRED           <00>.SCOPE.NET", 44},
        {"capture ends inside", hex("20 4547 4643 4546 4545"), "FRED", 9},
    };
    zt::Direct d(decode_nbss, LEAD);
    for (const Case& k : cases) {
        Frame msg = cat({hex("81 00"), be16(uint16_t(k.name.size())), k.name});
        DetailTree t;
        d.tree(t, msg);
        int32_t h = find_line(t, "CALLEDNAME : " + k.text);
        ASSERT_NE(h, 0) << k.what;
        EXPECT_EQ(t.line(h).offset, LEAD + 4u) << k.what;
        EXPECT_EQ(t.line(h).length, k.length) << k.what;
    }
}

TEST(NetbiosNames, PointersEndEvenWhenTheyLoop) {
    // Name service answer whose name points at itself: the walk must end.
    Frame msg = cat({hex("0001 8500 0000 0001 0000 0000"), hex("C00C"), be16(32), be16(1), be32(60), be16(0)});
    zt::Direct d(decode_nbns, LEAD);
    auto lines = stripped(d.detail(msg));
    EXPECT_TRUE(zt::has_line(lines, "TYPE : NB(32)"));
    EXPECT_TRUE(zt::has_line(lines, "LENGTH : 0 octets"));
    // A pointer to the question name.
    Frame r = cat({hex("0002 8500 0001 0001 0000 0000"), encoded("FRED", 0x20), be16(32), be16(1), hex("C00C"),
                   be16(32), be16(1), be32(300000), be16(6), be16(0x6000), hex("C0A80105")});
    lines = stripped(d.detail(r));
    int names = 0;
    for (const auto& l : lines) names += l == "NAME : FRED            ";
    EXPECT_EQ(names, 2);
    EXPECT_TRUE(zt::has_line(lines, "Node Type : H node(3)"));
    EXPECT_TRUE(zt::has_line(lines, "NB_ADDRESS : 192.168.1.5"));
    EXPECT_TRUE(zt::has_line(lines, "Time To Live :  3 day 11 hour 20 min"));
}

// ---- name service ----

TEST(NbnsSummary, OperationsAsFlagsPairThem) {
    Frame question = cat({encoded("FRED", 0x20), be16(32), be16(1)});
    Frame status_question = cat({encoded("*", 0x00), be16(33), be16(1)});
    Frame nb_answer = cat({encoded("FRED", 0x20), be16(32), be16(1), be32(0), be16(6), be16(0), be32(0x0A000001)});
    Frame stat_answer = cat({encoded("*", 0x00), be16(33), be16(1), be32(0), be16(1), {0}});
    auto msg = [](uint16_t flags, std::initializer_list<uint16_t> counts, const Frame& body) {
        Frame f = cat({be16(0x1234), be16(flags)});
        for (uint16_t c : counts) f = cat({f, be16(c)});
        return cat({f, body});
    };
    struct Case {
        Frame msg;
        std::string column5;
    } cases[] = {
        {msg(0x0110, {1, 0, 0, 0}, question), "Name Query Request FRED            "},
        {msg(0x0000, {1, 0, 0, 0}, status_question), "Node Status Request *              <00>"},
        {msg(0x8500, {0, 1, 0, 0}, nb_answer), "Positive Name Query Response"},
        {msg(0x8400, {0, 1, 0, 0}, stat_answer), "Node Status Response"},
        {msg(0x8503, {0, 0, 0, 0}, {}), "Negative Name Query Response"},
        {msg(0x8100, {0, 0, 1, 1}, {}), "Redirect Name Query Response"},
        {msg(0x2910, {1, 0, 0, 1}, question), "Name Registration Request FRED            "},
        {msg(0x2810, {1, 0, 0, 1}, question), "Name Overwrite Request & Demand FRED            "},
        {msg(0x4000, {1, 0, 0, 1}, question), "Name Refresh Request FRED            "},
        {msg(0x4800, {1, 0, 0, 1}, question), "Name Refresh Request FRED            "},
        {msg(0xAD80, {0, 1, 0, 0}, nb_answer), "Positive Name Registration Resoponse"},
        {msg(0xAD00, {0, 1, 0, 0}, nb_answer), "End-Node Challenge Registration Resoponse"},
        {msg(0xAD86, {0, 1, 0, 0}, nb_answer), "Negative Name Registration Resoponse"},
        {msg(0xAD87, {0, 1, 0, 0}, nb_answer), "Name Conflict Demand"},
        {msg(0x3000, {1, 0, 0, 1}, question), "Name Release Request & Demand FRED            "},
        {msg(0xB400, {0, 1, 0, 0}, nb_answer), "Positive Name Release Response"},
        {msg(0xB406, {0, 1, 0, 0}, nb_answer), "Negative Name Release Response"},
        {msg(0xBC00, {0, 1, 0, 0}, nb_answer), "Wait for Acknowledgement Response"},
        {msg(0x3800, {0, 0, 0, 0}, {}), "NetBIOS name service"},  // WACK as a request
        {msg(0x1800, {0, 0, 0, 0}, {}), "NetBIOS name service"},  // opcode 3
        {hex("1234 0110 0001"), "NBTNS header truncated (6 bytes captured)"},
    };
    zt::Direct d(decode_nbns, LEAD);
    for (const Case& k : cases) {
        auto s = d.summary(k.msg);
        EXPECT_EQ(s.col[4], "NBTNS");
        EXPECT_EQ(s.col[5], k.column5);
    }
    EXPECT_EQ(d.layers(cases[0].msg).entries[0].protocol, P_NBTNS);
}

TEST(NbnsDetail, NodeStatusNamesAndStatistics) {
    Frame names = cat({plain("FRED", 0x00), be16(0x0400), plain("WORKGROUP", 0x1E), be16(0xFE00)});
    Frame stats = cat({hex("001122334455"), {0x12, 0x34}, be16(0x0102), be16(0x0304), be16(1), be16(2), be16(3),
                       be16(4), be32(70000), be32(80000), be16(5), be16(6), be16(7), be16(8), be16(9), be16(10),
                       be16(11), be16(12), be16(1500)});
    Frame rdata = cat({{2}, names, stats});
    Frame msg = cat({hex("0001 8400 0001 0001 0000 0000"), encoded("FRED", 0x00), be16(33), be16(1),
                     encoded("*", 0x00), be16(33), be16(1), be32(0), be16(uint16_t(rdata.size())), rdata});
    zt::Direct d(decode_nbns, LEAD);
    DetailTree t;
    d.tree(t, msg);
    int rd = 50 + 34 + 10;
    struct Range {
        const char* text;
        int offset, length;
    } ranges[] = {
        {"Question Entries", 12, 38},
        {"Answer Resourse Records", 50, int(msg.size()) - 50},
        {"*              <00> NBSTAT(33) Internet(1)", 50, int(msg.size()) - 50},
        {"LENGTH : 83 octets", 50 + 34 + 8, 2},
        {"NUM_NAMES : 2", rd, 1},
        {"NETBIOS NAME : FRED           <00>", rd + 1, 16},
        {"NAME_FLAGS(0x0400)", rd + 17, 2},
        {"NETBIOS NAME : WORKGROUP      <1E>", rd + 19, 16},
        {"NAME_FLAGS(0xFE00)", rd + 35, 2},
        {"Unique unit ID : 00:11:22:33:44:55", rd + 37, 6},
        {"JUMPERS : 0x0012", rd + 43, 1},
        {"TEST_RESULT : 0x0034", rd + 44, 1},
        {"VERSION_NUMBER : 0x0102", rd + 45, 2},
        {"PERIOD_OF_STATISTICS : 0x0304", rd + 47, 2},
        {"NUMBER_SEND_ABORTS : 4", rd + 55, 2},
        {"NUMBER_GOOD_SENDS : 70000", rd + 57, 4},
        {"NUMBER_GOOD_RECEIVES : 80000", rd + 61, 4},
        {"NUMBER_RETRANSMITS : 5", rd + 65, 2},
        {"MAX_TOTAL_SESSIONS_POSSIBLE : 12", rd + 79, 2},
        {"SESSIONS_DATA_PACKET_SIZE : 1500", rd + 81, 2},
    };
    for (const Range& r : ranges) {
        int32_t h = find_line(t, r.text);
        ASSERT_NE(h, 0) << r.text;
        EXPECT_EQ(t.line(h).offset, uint32_t(LEAD + r.offset)) << r.text;
        EXPECT_EQ(t.line(h).length, uint32_t(r.length)) << r.text;
    }
    auto lines = stripped(d.detail(msg));
    // The flags of the second name: group, H node, deregistering, conflict, active, permanent.
    for (const char* l : {"Group Name : GROUP NetBIOS", "Owner Node : H node", "Deregiter : Set", "Conflict : Set",
                          "Active Name : Set", "Permanent Name : Set", "Group Name : UNIQUE NetBIOS",
                          "Owner Node : B node", "Deregiter : Not set", "Permanent Name : Not set"})
        EXPECT_TRUE(zt::has_line(lines, l)) << l;
}

TEST(NbnsDetail, CountsBeyondTheDataEndTheWalk) {
    // 65535 questions announced, one there: the walk ends with the data.
    Frame msg = cat({hex("0001 0110 FFFF FFFF FFFF FFFF"), encoded("FRED", 0x20), be16(32), be16(1)});
    zt::Direct d(decode_nbns, LEAD);
    auto lines = stripped(d.detail(msg));
    EXPECT_TRUE(zt::has_line(lines, "Question Section : 65535"));
    EXPECT_TRUE(zt::has_line(lines, "FRED             NB(32) Internet(1)"));
    EXPECT_LT(lines.size(), 40u);
    for (size_t n = 0; n <= msg.size(); ++n) {
        Frame m(msg.begin(), msg.begin() + long(n));
        DetailTree t;
        d.tree(t, m);
        expect_inside(t, LEAD + n);
        EXPECT_EQ(d.summary(m).col[4], "NBTNS");
    }
}

// ---- datagram service ----

TEST(Nbdgm, DirectDatagramWithSmb) {
    Frame msg = cat({hex("11 02 4242 C0A80A17 008A"), be16(200), be16(0), encoded("CLIENT", 0x00),
                     encoded("WORKGROUP", 0x1B), negotiate});
    zt::Direct d(decode_nbdgm, LEAD);
    auto s = d.summary(msg);
    EXPECT_EQ(s.col[4], "SMB");
    EXPECT_EQ(s.col[5], "Commond : SMBnegprot(72) Request");
    auto ix = d.layers(msg);
    ASSERT_EQ(ix.count, 2);
    EXPECT_EQ(ix.entries[0].protocol, P_NBTDS);
    EXPECT_EQ(ix.entries[1].offset, 16 + LEAD + 14 + 34 + 34);
    std::vector<std::string> want = {
        "NetBIOS datagram service", "Massage Type : DIRECT_GROUP DATAGRAM(0x11)", "Flags : 0x02",
        "**** 00** : Source End-Node type=B node", "**** **1* : FIRST packet(ON)", "**** ***0 : MORE(OFF)",
        "Source IP : 192.168.10.23", "Source Port : 138", "datagram length : 200",
        "packet offset : 0x0000", "SOURCE NAME : CLIENT         <00>", "DESTINATION NAME : WORKGROUP      <1B>",
        "Server Message Block Protocol"};
    auto lines = stripped(d.detail(msg));
    ASSERT_GE(lines.size(), want.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + long(want.size())), want);
}

TEST(Nbdgm, OtherTypesAndPlainData) {
    Frame head = hex("00 0D 0001 0A000001 008A");
    auto with = [&](uint8_t type, const Frame& rest) {
        Frame f = cat({head, rest});
        f[0] = type;
        return f;
    };
    struct Case {
        Frame msg;
        const char* summary;
        std::vector<const char*> lines;
    } cases[] = {
        {with(0x12, cat({be16(70), be16(0), encoded("A", 0x00), encoded("B", 0x1D), text("hello")})),
         "NBTDS data 87 octets", {"Massage Type : BROADCAST DATAGRAM(0x12)", "NBTDS data 5 octets",
                                  "**** 11** : Source End-Node type=NBDD", "**** ***1 : MORE(ON)"}},
        {with(0x13, {0x82}), "NBTDS data 11 octets",
         {"Error Code : DESTINATION NAME NOT PRESENT(0x82)"}},
        {with(0x14, encoded("FRED", 0x20)), "NBTDS data 44 octets",
         {"Massage Type : DATAGRAM QUERY REQUEST(0x14)", "DESTINATION NAME : FRED            "}},
        {with(0x16, encoded("FRED", 0x20)), "NBTDS data 44 octets",
         {"Massage Type : DATAGRAM NEGATIVE QUERY RESPONSE(0x16)"}},
        {with(0x10, cat({be16(68), be16(0), encoded("A", 0x00), encoded("B", 0x1D)})), "NBTDS data 82 octets",
         {"DESTINATION NAME : B              <1D>", "NBTDS data 0 octets"}},
        {with(0x20, text("xyz")), "NBTDS data 13 octets", {"Massage Type : Unknown(0x20)", "Data 3 bytes"}},
        {hex("11 02 42"), "NBTDS data 3 octets", {"Massage Type : DIRECT_GROUP DATAGRAM(0x11)"}},
    };
    zt::Direct d(decode_nbdgm, LEAD);
    for (const Case& k : cases) {
        EXPECT_EQ(d.summary(k.msg).col[5], k.summary);
        auto lines = stripped(d.detail(k.msg));
        for (const char* l : k.lines) EXPECT_TRUE(zt::has_line(lines, l)) << l;
    }
}

// ---- NetBIOS Frames ----

namespace {

Frame nb_frame(uint8_t command, uint8_t data1, uint16_t data2, const Frame& tail, uint16_t length) {
    return cat({le16(length), hex("FFEF"), {command, data1}, le16(data2), le16(0x0102), le16(0x0304), tail});
}

}  // namespace

TEST(NetbiosFrames, CommandCodes) {
    // The codes the NetBIOS Frames protocol assigns.
    struct Case {
        uint8_t code;
        const char* name;
    } cases[] = {
        // Spot checks across the table, its ends included.
        {0x00, "Add Group Name Query"}, {0x03, "Status Query"}, {0x08, "Datagram"}, {0x0A, "Name Query"},
        {0x0F, "Status Response"}, {0x13, "Terminate Local & Remote Trace"}, {0x1C, "Receive Continue"},
        {0x1F, "Session Alive"},
    };
    zt::Direct d(decode_netbios, 17);
    for (const Case& k : cases) {
        Frame msg = nb_frame(k.code, 0, 0, Frame(32, 0x41), 44);
        std::string want = std::string("Command : ") + k.name + "(0x" + (k.code < 16 ? "0" : "") +
                           [](int c) { char b[4]; std::snprintf(b, sizeof b, "%X", c); return std::string(b); }(k.code) + ")";
        EXPECT_EQ(d.summary(msg).col[5], want);
        EXPECT_TRUE(zt::has_line(stripped(d.detail(msg)), want)) << want;
    }
    for (uint8_t code : {0x04, 0x0B, 0x10, 0x1D, 0x20, 0xFF}) {
        Frame msg = nb_frame(code, 0, 0, Frame(32, 0x41), 44);
        char want[64];
        std::snprintf(want, sizeof want, "Command : Unknown NetBIOS Command(0x%02X)", code);
        EXPECT_EQ(d.summary(msg).col[5], want);
        EXPECT_TRUE(zt::has_line(stripped(d.detail(msg)), want));
    }
}

TEST(NetbiosFrames, FieldsByCommand) {
    Frame names = cat({plain("FILESRV", 0x20), plain("CLIENT", 0x1D)});
    struct Case {
        Frame msg;
        std::vector<const char*> lines;
    } cases[] = {
        {nb_frame(0x0A, 0, 0x0100, names, 44),
         {"Length : 44 bytes", "Signature : 0xEFFF", "DATA2 : 0x0100", "Unique recognised group name(1)",
          "Transmit Correlator : 0x0102", "Response Correlator : 0x0304", "Name of Receiver : FILESRV        <20>",
          "Name of Sender : CLIENT         <1D>"}},
        {nb_frame(0x00, 0, 0, names, 44), {"Group name to add : CLIENT         <1D>"}},
        {nb_frame(0x01, 0, 0, names, 44), {"Name to add : CLIENT         <1D>"}},
        {nb_frame(0x0D, 0, 0, names, 44), {"Name to add : FILESRV        <20>", "Unique recognise(0)"}},
        {nb_frame(0x02, 0, 0, names, 44),
         {"Name in conflict : FILESRV        <20>", "NAME NUMBER 1 : CLIENT         <1D>"}},
        {nb_frame(0x03, 0, 0, names, 44),
         {"Name of Receiver : FILESRV        <20>", "NAME NUMBER 1 : CLIENT         <1D>"}},
        {nb_frame(0x0F, 0, 0, names, 44),
         {"Name of Receiver : FILESRV        <20>", "NAME NUMBER 1 : CLIENT         <1D>"}},
        {nb_frame(0x0E, 0, 0, names, 44),
         {"Name of Receiver : FILESRV        <20>", "Name of Sender : CLIENT         <1D>"}},
        {nb_frame(0x0E, 0, 0x00FF, names, 44), {"State : Used(255)"}},
        {nb_frame(0x0E, 0, 0x0000, names, 44), {"State : Not listening(0)"}},
        {nb_frame(0x0E, 0, 0x0021, names, 44), {"State : Listening(33)"}},
        {nb_frame(0x03, 0, 512, names, 44),
         {"DATA1 : NetBIOS v1.x or 2.0 type request(0x00)", "Length of user's receive buffer : 512"}},
        {nb_frame(0x03, 2, 512, names, 44), {"DATA1 : NetBIOS v2.1 type request(0x02)"}},
        {nb_frame(0x19, 0x8B, 4096, {0x21, 0x05}, 14),
         {"Flags : 0x8B", "1*** **** : NetBIOS v2.00 or above", "**** 101* : largest frame value=5",
          "**** ***1 : NO.ACK setted", "Length of user's receive buffer : 4096", "Remote session number : 33",
          "Local session number : 5"}},
        {nb_frame(0x17, 0x00, 0, {1, 2}, 14), {"0*** **** : NetBIOS v1.xx", "**** ***0 : NO.ACK not setted"}},
        {nb_frame(0x18, 0, 1, {1, 2}, 14), {"Termination indicator : abnormal session end"}},
        {nb_frame(0x18, 0, 0, {1, 2}, 14), {"Termination indicator : normal session end"}},
        {nb_frame(0x18, 0, 9, {1, 2}, 14), {"Termination indicator : unknown(9)"}},
        {nb_frame(0x15, 0x06, 1, {1, 2}, 14),
         {"**** 0*** : acknowledgement not included", "**** *1** : acknowledge with data permitted",
          "**** **1* : NO.ACK setted", "Re-Synchronisation indicator : Yes"}},
        {nb_frame(0x16, 0, 7, {1, 2}, 14), {"Re-Synchronisation indicator : Unknown 7"}},
        {nb_frame(0x1A, 0x02, 300, {1, 2}, 14),
         {"**** **1* : later NetBIOS v2.20", "Number of data bytes accepted : 300"}},
        {nb_frame(0x1B, 0, 301, {1, 2}, 14), {"Number of data bytes accepted : 301"}},
        {nb_frame(0x08, 0, 0, cat({names, text("hello")}), 44), {"Data 5 bytes"}},
    };
    zt::Direct d(decode_netbios, 17);
    for (const Case& k : cases) {
        auto lines = stripped(d.detail(k.msg));
        for (const char* l : k.lines) EXPECT_TRUE(zt::has_line(lines, l)) << l;
    }
}

TEST(NetbiosFrames, SessionDataWithSmbAndTruncation) {
    Frame msg = nb_frame(0x16, 0x08, 0, {0x21, 0x05}, 14);
    msg = cat({msg, negotiate});
    zt::Direct d(decode_netbios, 17);
    auto s = d.summary(msg);
    EXPECT_EQ(s.col[4], "SMB");
    EXPECT_EQ(s.col[5], "Commond : SMBnegprot(72) Request");
    auto ix = d.layers(msg);
    ASSERT_EQ(ix.count, 2);
    EXPECT_EQ(ix.entries[0].protocol, P_NETBIOS);
    EXPECT_EQ(ix.entries[1].offset, 16 + 17 + 14);
    for (size_t n = 0; n <= msg.size(); ++n) {
        Frame m(msg.begin(), msg.begin() + long(n));
        SCOPED_TRACE(n);
        DetailTree t;
        d.tree(t, m);
        expect_inside(t, 17 + n);
        auto lines = stripped(d.detail(m));
        if (n < 14) {
            EXPECT_TRUE(zt::has_line(lines, "Header truncated : " + std::to_string(n) + " of 14 bytes captured"));
            EXPECT_EQ(d.summary(m).col[4], "NetBIOS");
        }
        if (n < 5) {
            EXPECT_EQ(d.summary(m).col[5], "NetBIOS header truncated (" + std::to_string(n) + " bytes captured)");
        }
    }
}

// ---- whole frames ----

TEST(NetbiosFrames, OverLlcAndEtherType) {
    Frame body = nb_frame(0x0A, 0, 0, cat({plain("FILESRV", 0x20), plain("CLIENT", 0)}), 44);
    Frame llc = cat({hex("030000000001 001B213A4F01"), be16(uint16_t(3 + body.size())), hex("F0F003"), body});
    Frame ether = cat({hex("030000000001 001B213A4F01 EF08"), body});
    auto a = zt::layers(llc);
    ASSERT_EQ(a.count, 3);
    EXPECT_EQ(a.entries[2].protocol, P_NETBIOS);
    EXPECT_EQ(a.entries[2].offset, 16 + 17);
    auto b = zt::layers(ether);
    ASSERT_EQ(b.count, 2);
    EXPECT_EQ(b.entries[1].protocol, P_NETBIOS);
    EXPECT_EQ(zt::summarize(llc).col[5], "Command : Name Query(0x0A)");
}
