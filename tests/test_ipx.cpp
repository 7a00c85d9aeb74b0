// IPX: the header and its columns, the payload length rule and dispatch, IPX RIP,
// SAP, NetBIOS over IPX and NMPI, and IPX in every link-layer form.
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

constexpr int LEAD = 14;

Frame be16(uint16_t v) { return {uint8_t(v >> 8), uint8_t(v)}; }
Frame be32(uint32_t v) { return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)}; }
Frame text(const std::string& s) { return Frame(s.begin(), s.end()); }
Frame plain(const std::string& name, uint8_t type) {
    Frame out = text(name + std::string(15 - name.size(), ' '));
    out.push_back(type);
    return out;
}

const Frame NODE_A = hex("001B213A4F01");
const Frame NODE_B = hex("005056C00008");

// An IPX packet; length 0 means the real length.
Frame ipx(uint8_t type, uint16_t dst_socket, uint16_t src_socket, const Frame& payload, uint16_t length = 0) {
    if (length == 0) length = uint16_t(30 + payload.size());
    return cat({hex("FFFF"), be16(length), {0, type}, be32(0xC0DE), NODE_B, be16(dst_socket), be32(0x12AB),
                NODE_A, be16(src_socket), payload});
}

// decode_ipx as Ethernet II (network type 0x8137) or LLC and raw 802.3 (none) leave it.
struct Direct : zt::Direct {
    explicit Direct(int32_t type = 0x8137)
        : zt::Direct(decode_ipx, LEAD, [type](DecodeContext& c) { c.network_type = type; }) {}
};

std::vector<std::string> stripped(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (const auto& l : lines) out.push_back(l.substr(l.find_first_not_of(' ')));
    return out;
}

int32_t find_line(const DetailTree& t, const std::string& s) {
    for (int32_t h = 1; h <= t.size(); ++h)
        if (t.text(h) == s) return h;
    return 0;
}

const Frame smb_header = cat({hex("FF534D42 25 00 00 0000 00 0000"), Frame(12, 0), Frame(8, 0), {0}, {0, 0}});

}  // namespace

// ---- IPX ----

TEST(IpxSummary, ColumnsAndName) {
    Frame msg = ipx(5, 0x8060, 0x4003, Frame(12, 0));
    Direct spx(0x8137), plain_ipx(0), null_ipx(0x8037);
    auto s = spx.summary(msg);
    EXPECT_EQ(s.col[2], "12AB.001B213A4F01");
    EXPECT_EQ(s.col[3], "C0DE.005056C00008");
    EXPECT_EQ(s.col[4], "IPX/SPX");
    EXPECT_EQ(s.col[5], "IPX/SPX data 12 octets");
    EXPECT_EQ(spx.layers(msg).entries[0].protocol, P_IPXSPX);
    s = plain_ipx.summary(msg);
    EXPECT_EQ(s.col[4], "IPX");
    EXPECT_EQ(s.col[5], "IPX data 12 octets");
    EXPECT_EQ(plain_ipx.layers(msg).entries[0].protocol, P_IPX);
    EXPECT_EQ(null_ipx.summary(msg).col[4], "IPX");
}

TEST(IpxDetail, HeaderLinesAndRanges) {
    Frame msg = ipx(4, 0x0451, 0x9001, text("abc"));
    Direct d;
    DetailTree t;
    d.tree(t, msg);
    struct Range {
        const char* text;
        uint32_t offset, length;
    } ranges[] = {
        {"Internet Packet Exchange Protocol", 0, 30},
        {"Checksum : 0xFFFF", 0, 2},
        {"Length : 33", 2, 2},
        {"Transport Control : 0", 4, 1},
        {"Packet Type : Service Advertising(0x04)", 5, 1},
        {"Destination Network : 0x0000C0DE", 6, 4},
        {"Destination Node : 00:50:56:C0:00:08", 10, 6},
        {"Destination Socket : NCP(0x0451)", 16, 2},
        {"Source Network : 0x000012AB", 18, 4},
        {"Source Node : 00:1B:21:3A:4F:01", 22, 6},
        {"Source Socket : NLSP(0x9001)", 28, 2},
        {"Data : 3 bytes", 30, 3},
    };
    for (const Range& r : ranges) {
        int32_t h = find_line(t, r.text);
        ASSERT_NE(h, 0) << r.text;
        EXPECT_EQ(t.line(h).offset, LEAD + r.offset) << r.text;
        EXPECT_EQ(t.line(h).length, r.length) << r.text;
    }
    EXPECT_EQ(t.line(find_line(t, "Internet Packet Exchange Protocol")).protocol, P_IPX);
    auto lines = stripped(d.detail(ipx(99, 0x1234, 0x0452, {})));
    EXPECT_TRUE(zt::has_line(lines, "Packet Type : Unknown(0x63)"));
    EXPECT_TRUE(zt::has_line(lines, "Destination Socket : Unknown(0x1234)"));
    EXPECT_TRUE(zt::has_line(lines, "Source Socket : SAP(0x0452)"));
}

TEST(IpxDetail, PayloadEndsAtTheLengthOrTheCapture) {
    struct Case {
        const char* what;
        Frame msg;
        const char* column5;
        const char* data_line;
    } cases[] = {
        {"padding after the packet", cat({ipx(5, 1, 2, text("abcd")), Frame(10, 0)}), "IPX/SPX data 4 octets",
         "Data : 4 bytes"},
        {"length beyond the capture", ipx(5, 1, 2, text("abcd"), 1000), "IPX/SPX data 970 octets",
         "Data : 4 bytes"},
        // A length field below the header size is shown as it stands; nothing is handed on.
        {"length below the header", ipx(5, 1, 2, text("abcd"), 12), "IPX/SPX data -18 octets",
         "Data : -18 bytes"},
        {"no data at all", ipx(5, 1, 2, {}), "IPX/SPX data 0 octets", "Data : 0 bytes"},
    };
    Direct d;
    for (const Case& k : cases) {
        EXPECT_EQ(d.summary(k.msg).col[5], k.column5) << k.what;
        auto lines = stripped(d.detail(k.msg));
        EXPECT_EQ(lines.size(), 12u) << k.what;
        EXPECT_EQ(lines.back(), k.data_line) << k.what;
        DetailTree t;
        d.tree(t, k.msg);
        int32_t h = find_line(t, k.data_line);
        ASSERT_NE(h, 0) << k.what;
        EXPECT_EQ(t.line(h).offset, LEAD + 30u) << k.what;
        EXPECT_LE(t.line(h).length, 4u) << k.what;
        if (std::string(k.data_line) != "Data : 4 bytes") {
            EXPECT_EQ(t.line(h).length, 0u) << k.what;
        }
    }
}

TEST(IpxDispatch, PacketTypeAndSocket) {
    Frame rip = hex("0001 FFFFFFFF FFFF FFFF");
    Frame sap = hex("0003 0004");
    Frame nb = cat({{0, 1}, plain("FRED", 0x20)});
    Frame nmpi = cat({Frame(32, 0), {0xF3, 1, 0, 0}, plain("FRED", 0x20), plain("ME", 0)});
    struct Case {
        Frame msg;
        const char* column4;
        int protocol;
    } cases[] = {
        {ipx(0, 0x0452, 0x4000, sap), "IPX SAP", P_IPXSAP},
        {ipx(4, 0x4000, 0x0452, sap), "IPX SAP", P_IPXSAP},
        {ipx(1, 0x0452, 0x4000, sap), "IPX/SPX", P_IPXSPX},
        {ipx(4, 0x0455, 0x4000, nb), "NBIPX", P_NBIPX},
        {ipx(20, 0x4000, 0x0455, cat({Frame(32, 0), nb})), "NBIPX", P_NBIPX},
        {ipx(0, 0x0455, 0x0455, nb), "IPX/SPX", P_IPXSPX},
        {ipx(1, 0x0453, 0x0453, rip), "IPX RIP", P_IPXRIP},
        {ipx(4, 0x0453, 0x0453, rip), "IPX/SPX", P_IPXSPX},
        {ipx(4, 0x0551, 0x4000, nmpi), "NMPI", P_NMPI},
        {ipx(17, 0x4000, 0x0553, nmpi), "NMPI", P_NMPI},
        {ipx(5, 0x0451, 0x4000, nmpi), "IPX/SPX", P_IPXSPX},
    };
    Direct d;
    for (const Case& k : cases) {
        EXPECT_EQ(d.summary(k.msg).col[4], k.column4);
        auto ix = d.layers(k.msg);
        EXPECT_EQ(ix.entries[ix.count - 1].protocol, k.protocol) << k.column4;
        if (ix.count == 2) {
            EXPECT_EQ(ix.entries[1].offset, 16 + LEAD + 30);
        }
    }
}

TEST(IpxTruncated, HeaderCutShowsWholeFields) {
    Frame msg = ipx(1, 0x0453, 0x0453, hex("0002 0000C0DE 0001 0002"));
    Direct d;
    for (size_t n = 0; n <= msg.size(); ++n) {
        Frame m(msg.begin(), msg.begin() + long(n));
        SCOPED_TRACE(n);
        auto s = d.summary(m);
        EXPECT_EQ(s.col[4], n >= 30 ? "IPX RIP" : "IPX/SPX");
        if (n < 30) {
            EXPECT_EQ(s.col[5], "IPX/SPX header truncated (" + std::to_string(n) + " bytes captured)");
            EXPECT_EQ(s.col[2], "");
        }
        DetailTree t;
        d.tree(t, m);
        for (int32_t h = 1; h <= t.size(); ++h)
            EXPECT_LE(t.line(h).offset + t.line(h).length, LEAD + n) << t.text(h);
        auto lines = stripped(d.detail(m));
        EXPECT_EQ(zt::has_line(lines, "Source Socket : RIP(0x0453)"), n >= 30);
        EXPECT_EQ(zt::has_line(lines, "Destination Node : 00:50:56:C0:00:08"), n >= 16);
        EXPECT_EQ(zt::has_line(lines, "NetWork Entry 1"), n >= 40);
    }
}

// ---- IPX RIP ----

TEST(IpxRip, OperationsAndEntries) {
    Frame routes = cat({be32(0xC0DE), be16(1), be16(2), be32(0xABCDEF), be16(2), be16(3), be32(0x12345678), be16(3),
                        be16(7)});
    Direct d;
    Frame response = ipx(1, 0x0453, 0x0453, cat({be16(2), routes}));
    EXPECT_EQ(d.summary(response).col[5], "Operation : Response(2)");
    DetailTree t;
    d.tree(t, response);
    struct Range {
        const char* text;
        uint32_t offset, length;
    } ranges[] = {
        {"IPX Routing Information Protocol", 30, 26},
        {"Operation : Response(2)", 30, 2},
        {"NetWork Entry 1", 32, 8},
        {"Network Number : 0x0000C0DE", 32, 4},
        {"Hops : 1", 36, 2},
        {"Ticks : 2", 38, 2},
        {"NetWork Entry 3", 48, 8},
        {"Network Number : 0x12345678", 48, 4},
        {"Ticks : 7", 54, 2},
    };
    for (const Range& r : ranges) {
        int32_t h = find_line(t, r.text);
        ASSERT_NE(h, 0) << r.text;
        EXPECT_EQ(t.line(h).offset, LEAD + r.offset) << r.text;
        EXPECT_EQ(t.line(h).length, r.length) << r.text;
    }
    EXPECT_EQ(find_line(t, "NetWork Entry 4"), 0);
    EXPECT_EQ(find_line(t, "NetWork Entry 0"), 0);

    // A partial entry is not shown; an operation other than 1 or 2 gives one line.
    Frame partial = ipx(1, 0x0453, 0x0453, cat({be16(1), routes, hex("0102")}));
    auto lines = stripped(d.detail(partial));
    EXPECT_TRUE(zt::has_line(lines, "Operation : Request(1)"));
    EXPECT_TRUE(zt::has_line(lines, "NetWork Entry 3"));
    EXPECT_FALSE(zt::has_line(lines, "NetWork Entry 4"));
    Frame unknown = ipx(1, 0x0453, 0x0453, cat({be16(3), routes}));
    EXPECT_EQ(d.summary(unknown).col[4], "IPX RIP");
    EXPECT_EQ(d.summary(unknown).col[5], "Unknown operation=3");
    lines = d.detail(unknown);
    EXPECT_EQ(lines.back(), "  IPX RIP Unknown operation=3 length=26");
    EXPECT_FALSE(zt::has_line(lines, "NetWork Entry 1"));
}

// ---- SAP ----

TEST(IpxSap, FirstEntryOnly) {
    auto entry = [](uint16_t type, const std::string& name, uint32_t net, uint16_t socket, uint16_t hops) {
        Frame n = text(name);
        n.resize(48, 0);
        return cat({be16(type), n, be32(net), hex("000000000001"), be16(socket), be16(hops)});
    };
    Frame response = ipx(4, 0x0452, 0x0452,
                         cat({be16(2), entry(0x0004, "FS1", 0xC0DE, 0x0451, 1), entry(0x0007, "PRINTQ", 0xC0DF, 0x8060, 2)}));
    Direct d;
    EXPECT_EQ(d.summary(response).col[5], "Operation : Response(2)");
    DetailTree t;
    d.tree(t, response);
    struct Range {
        const char* text;
        uint32_t offset, length;
    } ranges[] = {
        {"Service Advertising Protocol", 30, 130},
        {"Operation : Response(2)", 30, 2},
        {"Server Type : File Server(0x0004)", 32, 2},
        {"Server name : FS1", 34, 48},
        {"Network number : C0DE", 82, 4},
        {"Node number : 00:00:00:00:00:01", 86, 6},
        {"Socket number : 0x 451", 92, 2},
        {"Intermediate network : 1", 94, 2},
    };
    for (const Range& r : ranges) {
        int32_t h = find_line(t, r.text);
        ASSERT_NE(h, 0) << r.text;
        EXPECT_EQ(t.line(h).offset, LEAD + r.offset) << r.text;
        EXPECT_EQ(t.line(h).length, r.length) << r.text;
    }
    EXPECT_EQ(find_line(t, "Server name : PRINTQ"), 0);

    struct Case {
        Frame payload;
        const char* column5;
        std::vector<const char*> lines;
    } cases[] = {
        {hex("0003 0004"), "Operation : GetNearestServer Request(3)", {"Server Type : File Server(0x0004)"}},
        {cat({be16(4), entry(0x8002, "NP", 1, 0x400C, 16)}), "Operation : GetNearestServer Response(4)",
         {"Server Type : Intel NetPort Prints(0x8002)", "Socket number : 0x400C", "Intermediate network : 16"}},
        {cat({be16(9), entry(0x0999, "X", 1, 1, 1)}), "Operation : Unknown(9)", {"Server Type : Unknown(0x0999)"}},
        {hex("0001"), "Operation : Request(1)", {"Operation : Request(1)"}},
        {hex("00"), "IPX SAP header truncated (1 bytes captured)", {"Header truncated : 1 of 2 bytes captured"}},
    };
    for (const Case& k : cases) {
        Frame msg = ipx(4, 0x0452, 0x0452, k.payload);
        EXPECT_EQ(d.summary(msg).col[5], k.column5);
        auto lines = stripped(d.detail(msg));
        for (const char* l : k.lines) EXPECT_TRUE(zt::has_line(lines, l)) << l;
    }
}

// ---- NetBIOS over IPX and NMPI ----

TEST(Nbipx, RouteListNamesAndData) {
    std::string all_hidden = "NetBIOS Name : ";
    for (int i = 0; i < 15; ++i) all_hidden += "<01>";
    all_hidden += "<FF>";
    Frame routes = cat({be32(0xC0DE), be32(0x12AB), Frame(24, 0)});
    Direct d;
    struct Case {
        Frame msg;
        const char* column5;
        std::vector<const char*> lines;
    } cases[] = {
        {ipx(20, 0x0455, 0x0455, cat({routes, {0x00, 1}, plain("FILESRV", 0x20)})), "Find Name",
         {"IPX Network : C0DE", "IPX Network : 12AB", "Name Type Flags : 0x00", "0*** **** : Unique Name",
          "Data Stream Type : Find Name(1)", "NetBIOS Name : FILESRV        <20>", "Data 0 bytes"}},
        {ipx(4, 0x0455, 0x0455, cat({{0xC7, 4}, plain("FRED", 0x03)})), "Name in Use",
         {"Name Type Flags : 0xC7", "1*** **** : Group Name", "*1** **** : Name in Use",
          "**** *1** : Name Registered", "**** **1* : Name Duplicated", "**** ***1 : Name Deregistered",
          "NetBIOS Name : FRED           <03>"}},
        {ipx(4, 0x0455, 0x0455, cat({{0, 11}, plain("FILESRV", 0x20), plain("ME", 0), text("hi")})),
         "Directed Datagram",
         {"Name of Receiver : FILESRV        <20>", "Name of Sender : ME             <00>", "Data 2 bytes"}},
        {ipx(4, 0x0455, 0x0455, hex("0099")), "NBIPX Unknown Packet Type=153", {"Data Stream Type : Unknown(153)"}},
        // A name of nothing but unprintable bytes: the longest name text.
        {ipx(4, 0x0455, 0x0455, cat({{0, 1}, Frame(15, 0x01), {0xFF}})), "Find Name", {all_hidden.c_str()}},
        {ipx(4, 0x0455, 0x0455, hex("00")), "NBIPX header truncated (1 bytes captured)", {}},
    };
    for (const Case& k : cases) {
        auto s = d.summary(k.msg);
        EXPECT_EQ(s.col[4], "NBIPX");
        EXPECT_EQ(s.col[5], k.column5);
        auto lines = stripped(d.detail(k.msg));
        for (const char* l : k.lines) EXPECT_TRUE(zt::has_line(lines, l)) << l;
    }
    // Without the route list (type 4) the first bytes are not networks.
    auto lines = stripped(d.detail(cases[1].msg));
    for (const auto& l : lines) EXPECT_EQ(l.rfind("IPX Network", 0), std::string::npos) << l;

    // A directed datagram with SMB: summarised by SMB.
    Frame with_smb = ipx(4, 0x0455, 0x0455, cat({{0, 11}, plain("FILESRV", 0x20), plain("ME", 0), smb_header}));
    EXPECT_EQ(d.summary(with_smb).col[5], "Commond : SMBtrans(25) Request");
    auto ix = d.layers(with_smb);
    ASSERT_EQ(ix.count, 3);
    EXPECT_EQ(ix.entries[1].protocol, P_NBIPX);
    EXPECT_EQ(ix.entries[2].protocol, P_SMB);
    EXPECT_EQ(ix.entries[2].offset, 16 + LEAD + 30 + 34);
}

TEST(Nmpi, FieldsAndData) {
    Frame body = cat({Frame(32, 0), {0xF3, 1}, hex("4200"), plain("FILESRV", 0x20), plain("CLIENT", 0)});
    Direct d;
    Frame msg = ipx(4, 0x0551, 0x0551, body);
    EXPECT_EQ(d.summary(msg).col[5], "Locate server name");
    DetailTree t;
    d.tree(t, msg);
    struct Range {
        const char* text;
        uint32_t offset, length;
    } ranges[] = {
        {"Naming over IPX", 30, 68},
        {"Operation : Locate server name(0xF3)", 62, 1},
        {"Type : Machine(1)", 63, 1},
        {"Message ID : 0x0042", 64, 2},
        {"Name being sought/claimed  : FILESRV        <20>", 66, 16},
        {"Name of requesting machine : CLIENT         <00>", 82, 16},
        {"Data 0 bytes", 98, 0},  // no user data, still said
    };
    for (const Range& r : ranges) {
        int32_t h = find_line(t, r.text);
        ASSERT_NE(h, 0) << r.text;
        EXPECT_EQ(t.line(h).offset, LEAD + r.offset) << r.text;
        EXPECT_EQ(t.line(h).length, r.length) << r.text;
    }
    Frame unknown = body;
    unknown[32] = 0x10;
    EXPECT_EQ(d.summary(ipx(4, 0x0551, 0x0551, unknown)).col[5], "NMPI data 68 octets");
    Frame mailslot = cat({body, smb_header});
    mailslot[32] = 0xFC;
    EXPECT_EQ(d.summary(ipx(4, 0x0553, 0x0553, mailslot)).col[4], "SMB");
    auto lines = stripped(d.detail(ipx(4, 0x0553, 0x0553, cat({body, text("xyz")}))));
    EXPECT_TRUE(zt::has_line(lines, "Data 3 bytes"));
    lines = stripped(d.detail(ipx(4, 0x0553, 0x0553, Frame(body.begin(), body.begin() + 40))));
    EXPECT_TRUE(zt::has_line(lines, "Header truncated : 40 of 68 bytes captured"));
}

// ---- link forms ----

TEST(IpxLinks, EveryFormReachesIpx) {
    Frame packet = ipx(1, 0x0453, 0x0453, hex("0001 FFFFFFFF FFFF FFFF"));
    Frame macs = hex("FFFFFFFFFFFF 001B213A4F01");
    struct Case {
        const char* what;
        Frame frame;
        std::vector<int> protocols;
        int ipx_offset;
    } cases[] = {
        {"Ethernet II", cat({macs, hex("8137"), packet}), {P_ETHERNET2, P_IPXSPX, P_IPXRIP}, 14},
        {"802.3 raw", cat({macs, be16(uint16_t(packet.size())), packet}), {P_IEEE8023, P_IPX, P_IPXRIP}, 14},
        {"802.2 LLC", cat({macs, be16(uint16_t(packet.size() + 3)), hex("E0E003"), packet}),
         {P_IEEE8023, P_LLC, P_IPX, P_IPXRIP}, 17},
        {"SNAP", cat({macs, be16(uint16_t(packet.size() + 8)), hex("AAAA03 000000 8137"), packet}),
         {P_IEEE8023, P_LLC, P_IPXSPX, P_IPXRIP}, 22},
    };
    for (const Case& k : cases) {
        auto ix = zt::layers(k.frame);
        ASSERT_EQ(ix.count, int(k.protocols.size())) << k.what;
        for (int i = 0; i < ix.count; ++i) EXPECT_EQ(ix.entries[i].protocol, k.protocols[size_t(i)]) << k.what;
        EXPECT_EQ(ix.entries[ix.count - 2].offset, 16 + k.ipx_offset) << k.what;
        EXPECT_EQ(zt::summarize(k.frame).col[5], "Operation : Request(1)") << k.what;
    }
}
