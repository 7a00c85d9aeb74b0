// BOOTP and DHCP, decoded directly as the UDP port dispatch would hand them
// over, and through whole Ethernet/IPv4/UDP frames once those decoders are there.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "tests/support.h"

using namespace zelpan;
using zt::cat;
using zt::Frame;
using zt::hex;

using zt::Lines;

namespace {

// Bytes standing for the Ethernet, IPv4 and UDP headers in front of the message.
constexpr int LEAD = 42;



struct Direct : zt::Direct {
    Direct() : zt::Direct(decode_dhcp, LEAD, [](DecodeContext& c) {
        c.transport_protocol = 17;
        c.app_port = 67;
    }) {}
};

Frame prefix(const Frame& f, size_t n) { return Frame(f.begin(), f.begin() + long(n)); }

const Frame client_mac = hex("001a2b3c4d5e");
const Frame cookie = hex("63825363");

// The 236-byte fixed part: the first 28 bytes as given (op, hardware type, length,
// hops, transaction ID, seconds, flags, four addresses), then the client hardware
// address; server name and boot file empty.
Frame fixed_part(const std::string& first28, const Frame& chaddr = client_mac) {
    Frame f = cat({hex(first28), chaddr});
    f.resize(236, 0);
    return f;
}

const std::string request_fields = "01 01 06 00 3903f326 0000 8000 00000000 00000000 00000000 00000000";
const std::string reply_fields = "02 01 06 00 3903f326 0000 0000 00000000 c0a80164 c0a80101 00000000";

Frame message(const std::string& first28, const std::string& options) {
    return cat({fixed_part(first28), cookie, hex(options)});
}

// Generated with scapy: BOOTP(...)/DHCP(options=[...]); the header fields are
// those of request_fields and reply_fields.
const Frame discover = message(request_fields,
    "350101 3d0701001a2b3c4d5e 3204c0a80164 37070103060f333a3b 0c0b7a656c70616e2d686f7374 ff");
const Frame offer = message(reply_fields,
    "350102 3604c0a80101 330400015180 3a040000a8c0 3b0400012750 0104ffffff00 0304c0a80101"
    "0608c0a8010108080808 0f0b6578616d706c652e6c616e ff");
const Frame request = message("01 01 06 00 3903f326 0003 0000 00000000 00000000 00000000 00000000",
    "350103 3d0701001a2b3c4d5e 3204c0a80164 3604c0a80101 390205dc 37080103060f333a3bfc ff");
const Frame ack = message(reply_fields,
    "350105 3604c0a80101 3304ffffffff 0104ffffff00 0304c0a80101 1c04c0a801ff ff 000000");

// The lines under "Options : ..." of a request message with these options.
std::vector<std::string> option_lines(const std::string& options) {
    Direct d;
    std::vector<std::string> lines = d.detail(message(request_fields, options));
    size_t i = 0;
    while (i < lines.size() && lines[i].rfind("    Options : ", 0) != 0) ++i;
    if (i == lines.size()) return {"(no Options line)"};
    return std::vector<std::string>(lines.begin() + long(i) + 1, lines.end());
}

}  // namespace

TEST(DhcpSummary, MessageType) {
    Direct d;
    struct Case {
        Frame msg;
        const char* column5;
    };
    const Case cases[] = {
        {discover, "Message Type : BOOTREQUEST(1)"},
        {offer, "Message Type : BOOTREPLY(2)"},
        {request, "Message Type : BOOTREQUEST(1)"},
        {ack, "Message Type : BOOTREPLY(2)"},
        {message("03" + request_fields.substr(2), ""), "Message Type : Unknown(3)"},
    };
    for (const Case& k : cases) {
        zt::Summary s = d.summary(k.msg);
        EXPECT_EQ(s.col[4], "DHCP");
        EXPECT_EQ(s.col[5], k.column5);
        EXPECT_EQ(s.col[2], "");
        FrameLayerIndex ix = d.layers(k.msg);
        ASSERT_EQ(ix.count, 1);
        EXPECT_EQ(ix.entries[0].protocol, P_DHCP);
        EXPECT_EQ(ix.entries[0].offset, 16 + LEAD);
        EXPECT_STREQ(ix.label, "DHCP");
    }
}

TEST(DhcpDetail, Discover) {
    Direct d;
    const std::vector<std::string> want = {
        "  Dynamic Host Configuration Protocol",
        "    Message Type : BOOTREQUEST(1)",
        "    Hardware Address Type : Ethernet(0x0001)",
        "    Hardware Address Length : 6",
        "    Hops : 0",
        "    Transaction ID : 0x3903F326",
        "    Seconds elapsed : 0",
        "    BROADCAST : ON",
        "    Client IP : 0.0.0.0",
        "    Your(Client) IP : 0.0.0.0",
        "    Next server IP : 0.0.0.0",
        "    Relay agent IP : 0.0.0.0",
        "    Client hardware address : 00:1A:2B:3C:4D:5E",
        "    Server host name : Nothing",
        "    Boot file name : Nothing",
        "    Magic Cookie : OK",
        "    Options : 41 bytes",
        "      Option : DHCP Message Type(53)=DHCPDISCOVER",
        "      Option : Client identifier(61)",
        "        Hardware type : Ethernet(0x0001)",
        "        Client hardware address : 00:1A:2B:3C:4D:5E",
        "      Option : Requested IP Address(50)=192.168.1.100",
        "      Option : Parameter Request List(55)",
        "        Subnet Mask(1)",
        "        Router(3)",
        "        Domain Server(6)",
        "        Domain Name(15)",
        "        IP Address Lease Time(51)",
        "        Renewal Time(58)",
        "        Rebinding Time(59)",
        "      Option : Host Name(12)=[zelpan-host]",
        "      End Option",
    };
    EXPECT_EQ(d.detail(discover), want);
}

TEST(DhcpDetail, OfferRequestAck) {
    Direct d;
    std::vector<std::string> o = d.detail(offer);
    const std::vector<std::string> offer_tail = {
        "    Options : 63 bytes",
        "      Option : DHCP Message Type(53)=DHCPOFFER",
        "      Option : DHCP Server Identifier(54)=192.168.1.1",
        "      Option : IP Address Lease Time(51)= 1 day",
        "      Option : Renewal Time(58)= 12 hour",
        "      Option : Rebinding Time(59)= 21 hour",
        "      Option : Subnet Mask(1)=255.255.255.0",
        "      Option : Router(3)=192.168.1.1",
        "      Option : Domain Server(6)",
        "        Address : 192.168.1.1",
        "        Address : 8.8.8.8",
        "      Option : Domain Name(15)=[example.lan]",
        "      End Option",
    };
    ASSERT_GE(o.size(), offer_tail.size());
    EXPECT_EQ(std::vector<std::string>(o.end() - long(offer_tail.size()), o.end()), offer_tail);
    EXPECT_TRUE(zt::has_line(o, "BROADCAST : OFF"));
    EXPECT_TRUE(zt::has_line(o, "Your(Client) IP : 192.168.1.100"));
    EXPECT_TRUE(zt::has_line(o, "Next server IP : 192.168.1.1"));

    std::vector<std::string> r = d.detail(request);
    EXPECT_TRUE(zt::has_line(r, "Seconds elapsed : 3"));
    EXPECT_TRUE(zt::has_line(r, "Option : DHCP Message Type(53)=DHCPREQUEST"));
    EXPECT_TRUE(zt::has_line(r, "Option : DHCP Maximum Message Size(57)=1500"));
    EXPECT_TRUE(zt::has_line(r, "Option : DHCP Server Identifier(54)=192.168.1.1"));
    EXPECT_TRUE(zt::has_line(r, "Unknown Option Code : 252"));  // requested, above 210

    const std::vector<std::string> ack_options = {
        "      Option : DHCP Message Type(53)=DHCPACK",
        "      Option : DHCP Server Identifier(54)=192.168.1.1",
        "      Option : IP Address Lease Time(51)=Infinity",
        "      Option : Subnet Mask(1)=255.255.255.0",
        "      Option : Router(3)=192.168.1.1",
        "      Option : Broadcast Address(28)=192.168.1.255",
        "      End Option",
        "      Pad",
    };
    std::vector<std::string> a = d.detail(ack);
    EXPECT_EQ(std::vector<std::string>(a.end() - long(ack_options.size()), a.end()), ack_options);
}

TEST(DhcpDetail, HeaderFields) {
    Direct d;
    Frame m = fixed_part("02 06 00 03 00000001 ffff 7fff 0a000001 0a000002 0a000003 0a000004", Frame());
    const char* server = "boot-server";
    std::copy(server, server + 11, m.begin() + 44);
    const char* file = "pxelinux.0";
    std::copy(file, file + 10, m.begin() + 108);
    m = cat({m, hex("63825364")});  // not the DHCP cookie
    std::vector<std::string> lines = d.detail(m);
    EXPECT_TRUE(zt::has_line(lines, "Hardware Address Type : IEEE 802(0x0006)"));
    EXPECT_TRUE(zt::has_line(lines, "Hops : 3"));
    EXPECT_TRUE(zt::has_line(lines, "Seconds elapsed : 65535"));
    EXPECT_TRUE(zt::has_line(lines, "BROADCAST : OFF"));  // only bit 15 counts
    EXPECT_TRUE(zt::has_line(lines, "Relay agent IP : 10.0.0.4"));
    EXPECT_TRUE(zt::has_line(lines, "Client hardware address : Nothing"));
    std::string zeros;
    for (int i = 0; i < 64 - 11; ++i) zeros += "\\000";
    EXPECT_TRUE(zt::has_line(lines, "Server host name : boot-server" + zeros));
    bool file_line = false;
    for (const std::string& l : lines)
        if (l.rfind("    Boot file name : pxelinux.0\\000", 0) == 0) file_line = l.size() > 3 && l.substr(l.size() - 3) == "...";
    EXPECT_TRUE(file_line);  // 128 escaped bytes are cut at 384 characters
    EXPECT_TRUE(zt::has_line(lines, "Magic Cookie : NG"));
    EXPECT_TRUE(zt::has_line(lines, "Options : 0 bytes"));

    // Hardware address lengths: a short one, one longer than the field.
    Frame four = fixed_part("01 01 04 00 00000001 0000 0000 00000000 00000000 00000000 00000000");
    EXPECT_TRUE(zt::has_line(d.detail(four), "Client hardware address : 00:1A:2B:3C"));
    Frame twenty = fixed_part("01 01 14 00 00000001 0000 0000 00000000 00000000 00000000 00000000",
                              hex("000102030405060708090a0b0c0d0e0f"));
    EXPECT_TRUE(zt::has_line(d.detail(twenty),
                             "Client hardware address : 00:01:02:03:04:05:06:07:08:09:0A:0B:0C:0D:0E:0F "
                             "(length 20 exceeds the 16-byte field)"));
}

TEST(DhcpOptions, Kinds) {
    struct Case {
        const char* options;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"0104ffffff00", {"      Option : Subnet Mask(1)=255.255.255.0"}},
        {"0308c0a80101c0a80102",
         {"      Option : Router(3)", "        Address : 192.168.1.1", "        Address : 192.168.1.2"}},
        {"0300", {"      Option : Router(3)"}},
        {"0306c0a80101c0a8",
         {"      Option : Router(3)", "        Address : 192.168.1.1", "        Address : incomplete (2 of 4 bytes)"}},
        {"020400000e10", {"      Option : Time Offset(2) 4 bytes"}},
        {"0c046162630a", {"      Option : Host Name(12)=[abc\\012]"}},
        {"130101", {"      Option : IP Forwarding(19)=Enabled"}},
        {"140100", {"      Option : Source Routing(20)=Disabled"}},
        {"130102", {"      Option : IP Forwarding(19)=Invalid Value(2)"}},
        {"1b0101", {"      Option : All Subnets are Local(27)=Yes"}},
        {"1e0100", {"      Option : Mask Supplier(30)=No"}},
        {"1e01ff", {"      Option : Mask Supplier(30)=Invalid Value(255)"}},
        {"170140", {"      Option : Default IP Time-to-Live(23)=64"}},
        {"180400000e11", {"      Option : Path MTU Aging Timeout(24)= 1 hour 1 sec"}},
        {"330400000000", {"      Option : IP Address Lease Time(51)= 0 sec"}},
        {"1a0205dc", {"      Option : Interface MTU(26)=1500"}},
        {"1906004401fc05dc",
         {"      Option : Path MTU Plateau Table(25)", "        Value : 68", "        Value : 508",
          "        Value : 1500"}},
        {"0d03000102", {"      Option : Boot File Size(13)", "        Value : 1", "        Value : incomplete (1 of 2 bytes)"}},
        {"15080a000000ff000000", {"      Option : Policy Filter(21)=10.0.0.0/255.0.0.0"}},
        {"150c0a000000ff000000c0a80100",
         {"      Option : Policy Filter(21)", "        Address/Mask : 10.0.0.0/255.0.0.0",
          "        Address/Mask : incomplete (4 of 8 bytes)"}},
        {"21100a000000c0a801010b000000c0a80102",
         {"      Option : Static Route(33)", "        Destination Address/Router : 10.0.0.0/192.168.1.1",
          "        Destination Address/Router : 11.0.0.0/192.168.1.2"}},
        {"2e0108", {"      Option : NetBIOS Node Type(46)=H-node(0x08)"}},
        {"2e0103", {"      Option : NetBIOS Node Type(46)=Unknown(0x03)"}},
        {"350109", {"      Option : DHCP Message Type(53)=Unknown Message Type"}},
        {"350100", {"      Option : DHCP Message Type(53)=Unknown Message Type"}},
        {"350104 350108 350106 350107 3d03010203", {
            "      Option : DHCP Message Type(53)=DHCPDECLINE", "      Option : DHCP Message Type(53)=DHCPINFORM",
            "      Option : DHCP Message Type(53)=DHCPNAK", "      Option : DHCP Message Type(53)=DHCPRELEASE",
            "      Option : Client identifier(61) 3 bytes"}},
        {"3c084d53465420352e30", {"      Option : Class identifier(60) = [MSFT 5.0]"}},
        {"3d0701001a2b3c4d5e00", {"      Option : Client identifier(61)",
                                  "        Hardware type : Ethernet(0x0001)",
                                  "        Client hardware address : 00:1A:2B:3C:4D:5E",
                                  "      Pad"}},
        {"4d0461626364", {"      Option : User Class Information(77) 4 bytes"}},
        {"75040001000a", {"      Option : Name Service Search(117)", "        Value : 1", "        Value : 10"}},
        {"80020102", {"      Option : Private(128) 2 bytes"}},
        {"370400d2d3ff", {"      Option : Parameter Request List(55)", "        Pad(0)",
                          "        Authentication(210)", "        Unknown Option Code : 211",
                          "        Unknown Option Code : 255"}},
        // Overload and option 83 show no line; decoding goes on after them.
        {"340103 5303010203 0104ffffff00", {"      Option : Subnet Mask(1)=255.255.255.0"}},
        // Codes above 210 are shown by code and length, and decoding goes on.
        {"e603010203 0104ffffff00",
         {"      Unknown Option Code : 230 3 bytes", "      Option : Subnet Mask(1)=255.255.255.0"}},
        // A run of Pad bytes is one line.
        {"000000 0104ffffff00 ff", {"      Pad", "      Option : Subnet Mask(1)=255.255.255.0", "      End Option"}},
        // Values too short for what their kind reads.
        {"3500", {"      Option : DHCP Message Type(53) invalid length 0"}},
        {"33020e10", {"      Option : IP Address Lease Time(51) invalid length 2"}},
        {"1300", {"      Option : IP Forwarding(19) invalid length 0"}},
        {"1700", {"      Option : Default IP Time-to-Live(23) invalid length 0"}},
        {"2e00", {"      Option : NetBIOS Node Type(46) invalid length 0"}},
    };
    for (const Case& k : cases) EXPECT_EQ(option_lines(k.options), k.lines) << k.options;
}

TEST(DhcpOptions, WalkEnds) {
    struct Case {
        const char* options;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        // Bytes after End, whatever they are, are one Pad line.
        {"ff 0104ffffff00", {"      End Option", "      Pad"}},
        {"0104ffffff00 0c", {"      Option : Subnet Mask(1)=255.255.255.0",
                             "      Option : Host Name(12) : length byte missing at the end of the data"}},
        {"0c14616263", {"      Option : Host Name(12) : length 20 runs past the end of the data (5 bytes left)"}},
        {"e60901", {"      Unknown Option Code : 230 : length 9 runs past the end of the data (3 bytes left)"}},
        // No End: the walk stops with the data.
        {"0104ffffff00", {"      Option : Subnet Mask(1)=255.255.255.0"}},
        {"", {}},
    };
    for (const Case& k : cases) EXPECT_EQ(option_lines(k.options), k.lines) << k.options;
}

TEST(DhcpOptions, ByteRanges) {
    Direct d;
    DetailTree t;
    // Pad run of three, a Router option, End, two bytes after it.
    Frame m = message(request_fields, "000000 0308c0a80101c0a80102 ff 0102");
    d.tree(t, m);
    auto find = [&](const std::string& text) {
        for (int32_t h = 1; h <= t.size(); ++h)
            if (t.text(h) == text) return h;
        return 0;
    };
    const uint32_t options = LEAD + 240;
    struct Want {
        const char* text;
        uint32_t offset, length;
    };
    const Want wants[] = {
        {"Dynamic Host Configuration Protocol", LEAD, uint32_t(m.size())},
        {"Options : 16 bytes", options, 16},
        {"Pad", options, 3},
        {"Option : Router(3)", options + 3, 10},
        {"Address : 192.168.1.2", options + 9, 4},
        {"End Option", options + 13, 1},
        {"Client hardware address : 00:1A:2B:3C:4D:5E", LEAD + 28, 6},
        {"Boot file name : Nothing", LEAD + 108, 128},
        {"Magic Cookie : OK", LEAD + 236, 4},
    };
    for (const Want& w : wants) {
        int32_t h = find(w.text);
        ASSERT_NE(h, 0) << w.text;
        EXPECT_EQ(t.line(h).offset, w.offset) << w.text;
        EXPECT_EQ(t.line(h).length, w.length) << w.text;
    }
    EXPECT_EQ(t.line(t.first_top()).protocol, P_DHCP);
    // The Pad after End is the last line and covers the two trailing bytes.
    EXPECT_EQ(t.text(t.size()), "Pad");
    EXPECT_EQ(t.line(t.size()).offset, options + 14);
    EXPECT_EQ(t.line(t.size()).length, 2u);
    // Option 46 and 53 lines cover three bytes.
    d.tree(t, message(request_fields, "350101"));
    EXPECT_EQ(t.line(t.size()).length, 3u);
}

TEST(DhcpOptions, PxeClientSuboptions) {
    // Option 43 comes before the class identifier that makes it PXE.
    const std::string vendor =
        "2b33 060108 0104e0010203 02020fa0 03020fa1 04010a 050102 08078000 01c0a80101"
        "47048000 0000 470100 00 0d020000 0702e001 ff";
    const std::string pxe_class = "3c20505845436c69656e743a417263683a30303030303a554e44493a303032303031";
    const std::vector<std::string> want = {
        "      Option : Vendor Specific Information(43) (PXEClient)",
        "        Suboption : PXE discovery control(6)=8",
        "        Suboption : PXE mtftp IP(1)=224.1.2.3",
        "        Suboption : PXE mtftp client port(2) = 4000",
        "        Suboption : PXE mtftp server port(3) = 4001",
        "        Suboption : PXE mtftp timeout(4)=10",
        "        Suboption : PXE mtftp delay(5)=2",
        "        Suboption : PXE boot servers(8) 7 bytes",
        "        Suboption : PXE boot item(71) 4 bytes",
        "        Suboption : PXE boot item(71) 1 byte",
        "        Pad",
        "        Unknown suboption 13 2 bytes",
        "        Suboption : PXE multicast address(7)",
        "          Address : incomplete (2 of 4 bytes)",
        "        End PXEClient option",
        "      Option : Class identifier(60) = [PXEClient:Arch:00000:UNDI:002001]",
    };
    EXPECT_EQ(option_lines(vendor + pxe_class), want);
    // Without the class identifier, or with another one, option 43 is bytes.
    EXPECT_EQ(option_lines(vendor),
              std::vector<std::string>{"      Option : Vendor Specific Information(43) 51 bytes"});
    EXPECT_EQ(option_lines(vendor + "3c084d53465420352e30")[0],
              "      Option : Vendor Specific Information(43) 51 bytes");
    // A class identifier after End is not seen.
    EXPECT_EQ(option_lines(vendor + "ff" + pxe_class)[0], "      Option : Vendor Specific Information(43) 51 bytes");
    // Suboptions that do not fit end the walk inside the option.
    EXPECT_EQ(option_lines("2b050104e00102" + pxe_class),
              (std::vector<std::string>{
                  "      Option : Vendor Specific Information(43) (PXEClient)",
                  "        Suboption 1 : length 4 runs past the end of the option (5 bytes left)",
                  "      Option : Class identifier(60) = [PXEClient:Arch:00000:UNDI:002001]",
              }));
    EXPECT_EQ(option_lines("2b02 0600" + pxe_class)[1], "        Suboption : PXE discovery control(6) invalid length 0");
    EXPECT_EQ(option_lines("2b01 06" + pxe_class)[1],
              "        Suboption 6 : length byte missing at the end of the option");
}

TEST(DhcpOptions, NetwareSuboptions) {
    const std::vector<std::string> want = {
        "      Option : Netware/IP Option(63)",
        "        Suboption : NWIP exist in options area(2)",
        "        Suboption : Broadcast for nearest Netware server(5)",
        "        Suboption : Do NOT support NetWare/IP v1.1(10)",
        "        Suboption : Preferred DSS server(6)=192.168.1.5",
        "        Suboption : Nearest NWIP server(7)",
        "          Address : 192.168.1.6",
        "          Address : 192.168.1.7",
        "        Suboption : Autoretries(8)=3",
        "        Suboption : Autoretry delay secs (9)=10",
        "        Suboption : Primary DSS(11)=192.168.1.8",
        "        Unknown suboption 0",
        "        Unknown suboption : 12",
        "        Suboption : NWIP does not exist(1)",
    };
    EXPECT_EQ(option_lines("3f28 0200 050101 0a0100 0604c0a80105 0708c0a80106c0a80107 080103 09010a"
                           "0b04c0a80108 00 0c 0100"),
              want);
    // Codes 12 and above are one byte each, whatever follows, the option's last byte too.
    EXPECT_EQ(option_lines("3f04 ff 0d 0100"),
              (std::vector<std::string>{
                  "      Option : Netware/IP Option(63)",
                  "        Unknown suboption : 255",
                  "        Unknown suboption : 13",
                  "        Suboption : NWIP does not exist(1)",
              }));
    EXPECT_EQ(option_lines("3f03 0100 0c"),
              (std::vector<std::string>{
                  "      Option : Netware/IP Option(63)",
                  "        Suboption : NWIP does not exist(1)",
                  "        Unknown suboption : 12",
              }));
}

TEST(DhcpOptions, RelayAgentSuboptions) {
    EXPECT_EQ(option_lines("5216 0106000102030405 02080102030405060708 09020000"),
              (std::vector<std::string>{
                  "      Option : Agent Circuit Identifier(82) 22 bytes",
                  "        Agent Circuit ID 6 bytes",
                  "        Agent Remote ID 8 bytes",
                  "        Unknown agent option : 9",
              }));
    EXPECT_EQ(option_lines("5203 0109aa"),
              (std::vector<std::string>{
                  "      Option : Agent Circuit Identifier(82) 3 bytes",
                  "        Suboption 1 : length 9 runs past the end of the option (3 bytes left)",
              }));
}

TEST(DhcpOptions, Authentication) {
    // Delayed authentication with HMAC-MD5: the fields are siblings of the option line.
    EXPECT_EQ(option_lines("5a1f 01 01 00 00000000abcdef01 00001234 00112233445566778899aabbccddeeff"),
              (std::vector<std::string>{
                  "      Option : Authentication(90)",
                  "      Protocol : delayed authentication(1)",
                  "      Algorithm : HMAC_MD5(1)",
                  "      Replay Detection Method(RDM) : Monotonically-increasing counter(0)",
                  "      Replay Detection Value : 0x00000000abcdef01",
                  "      Secret ID : 0x00001234",
                  "      HMAC MD5 Hash : 00112233445566778899AABBCCDDEEFF",
              }));
    EXPECT_EQ(option_lines("d20f 00 05 01 0123456789abcdef 74657374"),
              (std::vector<std::string>{
                  "      Option : Authentication(210)",
                  "      Protocol : configuration token(0)",
                  "      Algorithm : 5",
                  "      Replay Detection Method(RDM) : Unknown(1)",
                  "      Replay Detection Value : 0123456789ABCDEF",
                  "      Authentication Information : 74657374",
              }));
    EXPECT_EQ(option_lines("5a03 010100"),
              std::vector<std::string>{"      Option : Authentication(90) invalid length 3"});
    // HMAC-MD5 announced but the hash is not all there.
    EXPECT_EQ(option_lines("5a0f 01 01 00 0000000000000001 00001234"),
              std::vector<std::string>{"      Option : Authentication(90) invalid length 15"});
}

TEST(DhcpTruncated, ShortMessages) {
    Direct d;
    EXPECT_EQ(d.summary(prefix(discover, 100)).col[5], "DHCP header truncated (100 bytes captured)");
    EXPECT_EQ(d.summary(Frame()).col[4], "DHCP");
    std::vector<std::string> lines = d.detail(prefix(discover, 30));
    const std::vector<std::string> want = {
        "  Dynamic Host Configuration Protocol",
        "    Message Type : BOOTREQUEST(1)",
        "    Hardware Address Type : Ethernet(0x0001)",
        "    Hardware Address Length : 6",
        "    Hops : 0",
        "    Transaction ID : 0x3903F326",
        "    Seconds elapsed : 0",
        "    BROADCAST : ON",
        "    Client IP : 0.0.0.0",
        "    Your(Client) IP : 0.0.0.0",
        "    Next server IP : 0.0.0.0",
        "    Relay agent IP : 0.0.0.0",
        "    Header truncated : 30 of 236 bytes captured",
    };
    EXPECT_EQ(lines, want);
    // The fixed part without the whole cookie: no options and a count of 0.
    std::vector<std::string> two = d.detail(prefix(discover, 238));
    EXPECT_EQ(two[two.size() - 2], "    Magic Cookie : 2 of 4 bytes captured");
    EXPECT_EQ(two.back(), "    Options : 0 bytes");
    EXPECT_EQ(d.summary(prefix(discover, 238)).col[5], "Message Type : BOOTREQUEST(1)");
    std::vector<std::string> exact = d.detail(prefix(discover, 240));
    EXPECT_EQ(exact[exact.size() - 2], "    Magic Cookie : OK");
    EXPECT_EQ(exact.back(), "    Options : 0 bytes");
}

// Every prefix of messages that use the walks: columns, layer index and lines
// stay sensible, and no line's bytes reach past the capture.
TEST(DhcpTruncated, EveryLengthInEveryMode) {
    const Frame pxe = message(request_fields,
        "350101 2b0e 060108 0104e0010203 47020000 ff 3c0950584543 6c69656e74 3f08 0200 0604c0a80105"
        "5208 0106000102030405 5a1f 01 01 00 00000000abcdef01 00001234 00112233445566778899aabbccddeeff"
        "000000 ff 00");
    Direct d;
    for (const Frame* msg : {&discover, &ack, &pxe}) {
        for (size_t n = 0; n <= msg->size(); ++n) {
            SCOPED_TRACE("length " + std::to_string(n));
            Frame m = prefix(*msg, n);
            zt::Summary s = d.summary(m);
            EXPECT_EQ(s.col[4], "DHCP");
            if (n < 236)
                EXPECT_EQ(s.col[5], "DHCP header truncated (" + std::to_string(n) + " bytes captured)");
            else
                EXPECT_EQ(s.col[5], (*msg)[0] == 1 ? "Message Type : BOOTREQUEST(1)" : "Message Type : BOOTREPLY(2)");

            FrameLayerIndex ix = d.layers(m);
            ASSERT_EQ(ix.count, 1);
            EXPECT_EQ(ix.entries[0].offset, 16 + LEAD);

            std::vector<std::string> lines = d.detail(m);
            ASSERT_FALSE(lines.empty());
            EXPECT_EQ(lines[0], "  Dynamic Host Configuration Protocol");
            if (n < 236) {
                EXPECT_EQ(lines.back(), "    Header truncated : " + std::to_string(n) + " of 236 bytes captured");
            } else {
                int options = n > 240 ? int(n) - 240 : 0;
                EXPECT_TRUE(zt::has_line(lines, "Options : " + std::to_string(options) + " bytes"));
            }

            DetailTree t;
            d.tree(t, m);
            for (int32_t h = 1; h <= t.size(); ++h)
                EXPECT_LE(t.line(h).offset + t.line(h).length, uint32_t(LEAD + n)) << t.text(h);
        }
    }
}

// ---- whole frames ----

namespace {
// Ethernet, IPv4 and UDP headers made by scapy for the discover and ack above.
const Frame discover_frame = cat({hex("ffffffffffff001a2b3c4d5e08004500013500010000401179b800000000ffffffff"
                                      "00440043012199a1"),
                                  discover});
const Frame ack_frame = cat({hex("001a2b3c4d5e525400123456080045000131000200004011f604c0a80101c0a80164"
                                 "00430044011d462d"),
                             ack});
}  // namespace

TEST(DhcpFrames, ThroughUdp) {
    zt::Summary s = zt::summarize(discover_frame);
    EXPECT_EQ(s.col[4], "DHCP");
    EXPECT_EQ(s.col[5], "Message Type : BOOTREQUEST(1)");
    EXPECT_EQ(s.col[2], "0.0.0.0");
    EXPECT_EQ(s.col[3], "255.255.255.255");
    FrameLayerIndex ix = zt::layers(discover_frame);
    ASSERT_EQ(ix.count, 4);
    EXPECT_EQ(ix.entries[3].protocol, P_DHCP);
    EXPECT_EQ(ix.entries[3].offset, 16 + 42);
    std::vector<std::string> lines = zt::detail(discover_frame);
    EXPECT_TRUE(zt::has_line(lines, "Dynamic Host Configuration Protocol"));
    EXPECT_TRUE(zt::has_line(lines, "Option : DHCP Message Type(53)=DHCPDISCOVER"));
    EXPECT_TRUE(zt::has_line(lines, "Option : Host Name(12)=[zelpan-host]"));

    // Source port 67 selects the decoder as well.
    zt::Summary a = zt::summarize(ack_frame);
    EXPECT_EQ(a.col[4], "DHCP");
    EXPECT_EQ(a.col[5], "Message Type : BOOTREPLY(2)");
    std::vector<std::string> al = zt::detail(ack_frame);
    EXPECT_TRUE(zt::has_line(al, "Option : IP Address Lease Time(51)=Infinity"));
    EXPECT_EQ(al.back(), "      Pad");
}
