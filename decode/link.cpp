// Link layer: Ethernet II, IEEE 802.3 with 802.2 LLC and SNAP, FDDI and the
// null/loopback header, with the EtherType, SAP, SNAP-type and family dispatch.
#include <cstdio>
#include <cstring>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"
#include "decode/text_format.h"

namespace zelpan {

namespace {

constexpr int ETHERNET_HEADER = 14;
constexpr int FDDI_HEADER = 13;
constexpr int SNAP_HEADER = 5;
constexpr int NULL_HEADER = 4;

constexpr NameEntry ethertype_names[] = {
    {0x0800, "IP"},
    {0x86DD, "IPv6"},
    {0x0805, "X.25 Layer 3"},
    {0x0806, "ARP"},
    {0x8035, "RARP"},
    {0x8038, "DEC LanBridge"},
    {0x809B, "AppleTalk"},
    {0x80D5, "SNA-over-Ethernet"},
    {0x80F3, "AARP"},
    {0x8137, "Netware IPX/SPX"},
    {0x0BAD, "Vines"},
    {0x1984, "Netmon Train"},
    {0x9000, "Loopback"},
    {0x80FF, "Wellfleet Compression Protocol"},
    {0x8863, "PPPoE Discovery Stage"},
    {0x8864, "PPPoE Session Stage"},
    {0x8100, "802.1Q Virtual LAN"},
    {0x888E, "802.1X Authentication"},
    {0x8847, "MPLS label switched packet"},
    {0x8848, "MPLS multicast label switched packet"},
    {0x3C07, "3Com NBP Datagram"},
    {0x6000, "DEC proto"},
    {0x6001, "DEC DNA Dump/Load"},
    {0x6002, "DEC DNA Remote Console"},
    {0x6003, "DEC DNA Routing"},
    {0x6004, "DEC LAT"},
    {0x6005, "DEC Diagnostics"},
    {0x6006, "DEC Customer use"},
    {0x6007, "DEC LAVC/SCA"},
    {0x6558, "Transparent Ethernet bridging"},
    {0x2001, "Cisco Group Management Protocol"},
    {0x8021, "PPP IP Control Protocol"},
    {0xC021, "PPP Link Control Protocol"},
    {0xC023, "PPP Password Authentication Protocol"},
    {0x80FD, "PPP Compression Control Protocol"},
    {0, nullptr},
};

constexpr NameEntry null_families[] = {
    {2, "IP"}, {7, "OSI"}, {16, "AppleTalk"}, {6, "Netware IPX/SPX"}, {23, "IPv6"}, {0, nullptr},
};

struct LlcFunction {
    uint8_t control;
    const char* long_name;
    const char* short_name;
};
// U-format functions by control byte with P/F cleared; the last row is the default.
constexpr LlcFunction u_functions[] = {
    {0x03, "Unnumbered Information(UI)", "UI"},
    {0xE3, "Test(TEST)", "TEST"},
    {0xAF, "Exchange Identification(XID)", "XID"},
    {0x63, "Unnumbered Acknowledgment(UA)", "UA"},
    {0x43, "Discconnect(DISC)", "DISC"},
    {0x0F, "Disconnected Mode(DM)", "DM"},
    {0x6F, "Set Asynchronous balanced mode extended(SABME)", "SABME"},
    {0x87, "Frame Reject(FRMR)", "FRMR"},
};
constexpr LlcFunction u_function_other = {0, "Acknowledged(AC)", "AC"};

// S-format functions by the low four bits of the control field.
constexpr LlcFunction s_functions[] = {
    {0x1, "Receive Ready(RR)", "RR"},
    {0x5, "Receive Not Ready(RNR)", "RNR"},
    {0x9, "Reject(REJ)", "REJ"},
    {0xD, "3", "3"},
};
constexpr LlcFunction s_function_other = {0, "Unknown", "Unknown"};

constexpr NameEntry snap_ouis[] = {{0x000000, "Ethernet"}, {0x080007, "AppleTalk"}, {0, nullptr}};
constexpr NameEntry snap_types[] = {
    {0x809B, "AppleTalk"}, {0x80F3, "AppleTalk ARP"}, {0x8137, "IPX/SPX"}, {0, nullptr},
};

constexpr NameEntry fddi_classes[] = {
    {0x0, "Void frame"},
    {0x4, "SMT frame"},
    {0x5, "Asynchronous LLC frame"},
    {0x6, "Implementor Asynchronous"},
    {0x8, "Non-restricted Token"},
    {0xC, "MAC frame"},
    {0xD, "Synchronous LLC frame"},
    {0xE, "Implementor Synchronous"},
    {0, nullptr},
};
constexpr NameEntry fddi_smt_subtypes[] = {{1, "Information"}, {15, "Next Station Addressing"}, {0, nullptr}};
constexpr NameEntry fddi_mac_subtypes[] = {{2, "Beacon"}, {3, "Claim Token"}, {0, nullptr}};

using Decoder = void (*)(int32_t, Bytes);

// Ethernet II types with a decoder. The PPP control protocols are handed the
// type field itself, which the PPP decoder then reads as its protocol field.
struct EtherRoute {
    uint16_t type;
    Decoder decode;
    bool from_type_field;
};
constexpr EtherRoute ethertype_routes[] = {
    {0x0800, decode_ipv4, false},    {0x86DD, decode_ipv6, false},  {0x0806, decode_arp, false},
    {0x8035, decode_arp, false},     {0x80F3, decode_aarp, false},  {0x8137, decode_ipx, false},
    {0x8863, decode_pppoe, false},   {0x8864, decode_pppoe, false}, {0xEF08, decode_netbios, false},
    {0x8021, decode_ppp, true},      {0xC021, decode_ppp, true},    {0xC223, decode_ppp, true},
};

// Which control fields a SAP route accepts.
enum class ControlRule { Any, UiOnly, InformationOrUi };
struct SapRoute {
    uint8_t sap;  // DSAP and SSAP, raw bytes (bit 0 included)
    ControlRule rule;
    Decoder decode;
};
constexpr SapRoute sap_routes[] = {
    {0xAA, ControlRule::UiOnly, decode_snap},
    {0x42, ControlRule::Any, decode_stp},
    {0x06, ControlRule::Any, decode_ipv4},
    {0xE0, ControlRule::Any, decode_ipx},
    {0xF0, ControlRule::InformationOrUi, decode_netbios},
};

// Types that SNAP dispatches; each sets network_type to its type first.
struct TypeRoute {
    uint16_t type;
    Decoder decode;
};
constexpr TypeRoute snap_routes[] = {
    {0x0800, decode_ipv4}, {0x809B, decode_ddp}, {0x80F3, decode_aarp}, {0x8137, decode_ipx},
};

// Network layers under null/loopback: by address family, and by EtherType when
// the header holds one. IPX reached this way is told apart by network_type 0x8037.
struct NullRoute {
    uint32_t key;
    int32_t network_type;
    Decoder decode;
};
constexpr NullRoute null_family_routes[] = {
    {2, 0x0800, decode_ipv4},
    {23, 0x86DD, decode_ipv6},
};
constexpr NullRoute null_ethertype_routes[] = {
    {0x0800, 0x0800, decode_ipv4},
    {0x8137, 0x8037, decode_ipx},
    {0x86DD, 0x86DD, decode_ipv6},
};

const LlcFunction& u_function(uint8_t f) {
    for (const LlcFunction& e : u_functions)
        if (e.control == f) return e;
    return u_function_other;
}

const LlcFunction& s_function(unsigned low) {
    for (const LlcFunction& e : s_functions)
        if (e.control == low) return e;
    return s_function_other;
}

// Command/poll word of the LLC summary, chosen from the I/G bit and the P/F bit.
const char* llc_word(bool group, bool pf) {
    if (!group) return pf ? "POOL" : "Command";
    return pf ? "Final" : "Response";
}

void copy_macs(const Bytes& data, int destination_at, int source_at) {
    DecodeContext& c = ctx();
    if (data.has(destination_at, 6)) std::memcpy(c.destination_mac, data.at(destination_at), 6);
    if (data.has(source_at, 6)) std::memcpy(c.source_mac, data.at(source_at), 6);
}

// Address columns from whichever MAC addresses are captured.
void mac_columns(const Bytes& data, int destination_at, int source_at) {
    if (!text_columns_wanted()) return;
    if (data.has(destination_at, 6)) set_column(mac_text(data.at(destination_at)), 3, nullptr, 0);
    if (data.has(source_at, 6)) set_column(mac_text(data.at(source_at)), 2, nullptr, 0);
}

void mac_lines(int32_t n, const Bytes& data, int destination_at, int source_at) {
    if (data.has(destination_at, 6))
        node(n, data, destination_at, 6, "Destination : %s", mac_text(data.at(destination_at)));
    if (data.has(source_at, 6)) node(n, data, source_at, 6, "Source : %s", mac_text(data.at(source_at)));
}

// A frame too short for the 14-byte MAC header: show what is there.
void ethernet_truncated(int32_t parent, const Bytes& data, const char* column_name, int protocol,
                        const char* node_name) {
    copy_macs(data, 0, 6);
    if (parent == 0) {
        mac_columns(data, 0, 6);
        set_column(column_name, 4, data.at(0), protocol);
        truncated_summary(column_name, data);
        return;
    }
    int32_t e = add_nodef(parent, data.at(0), data.size(), protocol, "%s", node_name);
    mac_lines(e, data, 0, 6);
    truncated_line(e, data, ETHERNET_HEADER);
}

bool control_accepted(ControlRule rule, unsigned c) {
    switch (rule) {
    case ControlRule::Any: return true;
    case ControlRule::UiOnly: return c == 0x03;
    case ControlRule::InformationOrUi: return (c & 1) == 0 || c == 0x03;
    }
    return false;
}

// The DSAP and SSAP lines with their I/G and C/R bits.
void sap_lines(int32_t l, const Bytes& data) {
    if (data.has(0, 1)) {
        uint8_t d = data.u8(0);
        node(l, data, 0, 1, "DSAP : 0x%02X", d & 0xFE);
        node(l, data, 0, 1, "I/G bit : %s", (d & 1) ? "Group" : "Individual");
    }
    if (data.has(1, 1)) {
        uint8_t s = data.u8(1);
        node(l, data, 1, 1, "SSAP : 0x%02X", s & 0xFE);
        node(l, data, 1, 1, "C/R bit : %s", (s & 1) ? "Response" : "Command");
    }
}

}  // namespace

const char* ethertype_name(uint32_t type) {
    const char* name = lookup_name(type, ethertype_names);
    if (name) return name;
    thread_local char buffers[3][16];
    thread_local int next = 0;
    char* out = buffers[next];
    next = (next + 1) % 3;
    format_textf(out, sizeof buffers[0], "0x%04X", type);
    return out;
}

const char* fddi_control_text(uint8_t c) {
    thread_local char buf[64];
    switch (c) {
    case 0x00: return "Void frame";
    case 0x80: return "Non-restricted token";
    case 0xC0: return "Restricted token";
    case 0x41: return "SMT Information";
    case 0x4F: return "SMT Next station addressing";
    case 0xC2: return "MAC Beacon";
    case 0xC3: return "MAC Claim Token";
    default: break;
    }
    unsigned n = c & 0xF;
    switch (c & 0xF0) {
    case 0x40: format_textf(buf, sizeof buf, "SMT frame Control=%X", n); break;
    case 0x50:
        if (c & 0x08)
            format_textf(buf, sizeof buf, "Asynchronous LLC frame Control=%X", n);
        else
            format_textf(buf, sizeof buf, "Asynchronous LLC frame Priority=%d", c & 7);
        break;
    case 0x60: format_textf(buf, sizeof buf, "Implementor asynchronous frame Control=%X", n); break;
    case 0xC0: format_textf(buf, sizeof buf, "MAC frame Control=%X", n); break;
    case 0xD0:
        if (n == 0)
            format_textf(buf, sizeof buf, "Synchronous LLC frame");
        else
            format_textf(buf, sizeof buf, "Synchronous LLC frame Control=%X", n);
        break;
    case 0xE0: format_textf(buf, sizeof buf, "Implementor synchronous frame Control=%X", n); break;
    default: format_textf(buf, sizeof buf, "Unknown frame type"); break;
    }
    return buf;
}

void decode_ethernet(int32_t parent, Bytes data) {
    // Too short for the type/length field: the MAC addresses are laid out the
    // same either way, so the frame is shown as a cut Ethernet II header.
    if (!data.has(12, 2)) {
        decode_ethernet2(parent, data);
        return;
    }
    if (data.be16(12) > 1500)
        decode_ethernet2(parent, data);
    else
        decode_ieee8023(parent, data);
}

void decode_ethernet2(int32_t parent, Bytes data) {
    if (!data.has(0, ETHERNET_HEADER)) {
        ethernet_truncated(parent, data, "ETHERNET II", P_ETHERNET2, "Ethernet II");
        return;
    }
    DecodeContext& c = ctx();
    copy_macs(data, 0, 6);
    uint16_t type = data.be16(12);
    c.network_type = type;
    int p = data.size() - ETHERNET_HEADER;

    if (parent == 0) {
        mac_columns(data, 0, 6);
        set_column("ETHERNET II", 4, data.at(0), P_ETHERNET2);
        if (text_columns_wanted()) set_columnf(5, nullptr, 0, "ETHERNET II data %u octets", unsigned(p));
    } else {
        int32_t e = add_nodef(parent, data.at(0), ETHERNET_HEADER, P_ETHERNET2, "Ethernet II");
        mac_lines(e, data, 0, 6);
        node(e, data, 12, 2, "Type : %s(0x%04X)", ethertype_name(type), type);
    }

    for (const EtherRoute& r : ethertype_routes) {
        if (r.type != type) continue;
        r.decode(parent, r.from_type_field ? data.from(12) : data.from(ETHERNET_HEADER));
        return;
    }
    data_line(parent, data.from(ETHERNET_HEADER));
}

bool dispatch_ethertype(uint16_t type, int32_t parent, Bytes payload, Bytes type_onward) {
    for (const EtherRoute& r : ethertype_routes) {
        if (r.type != type) continue;
        if (r.from_type_field && type_onward.empty()) return false;
        r.decode(parent, r.from_type_field ? type_onward : payload);
        return true;
    }
    return false;
}

void decode_ieee8023(int32_t parent, Bytes data) {
    if (!data.has(0, ETHERNET_HEADER)) {
        ethernet_truncated(parent, data, "IEEE 802.3", P_IEEE8023, "IEEE 802.3");
        return;
    }
    copy_macs(data, 0, 6);
    uint16_t len = data.be16(12);
    if (parent == 0) {
        mac_columns(data, 0, 6);
        set_column("IEEE 802.3", 4, data.at(0), P_IEEE8023);
        if (text_columns_wanted()) set_columnf(5, nullptr, 0, "IEEE 802.3 data %u octets", len);
    } else {
        int32_t e = add_nodef(parent, data.at(0), ETHERNET_HEADER, P_IEEE8023, "IEEE 802.3");
        mac_lines(e, data, 0, 6);
        node(e, data, 12, 2, "Length : %d bytes", len);
    }
    // The rest of the frame, padding included, not the length field's count.
    decode_llc(parent, data.from(ETHERNET_HEADER));
}

void decode_llc(int32_t parent, Bytes data) {
    // Nothing behind the MAC header: there is no LLC header to show.
    if (data.empty()) return;
    if (data.has(0, 2) && data.u8(0) == 0xFF && data.u8(1) == 0xFF) {
        decode_ipx(parent, data);  // raw Novell 802.3: IPX right after the length field
        return;
    }

    if (parent == 0) set_column("LLC", 4, data.at(0), P_LLC);
    int h = data.has(2, 1) && (data.u8(2) & 3) == 3 ? 3 : 4;
    if (!data.has(0, h)) {
        if (parent == 0) {
            truncated_summary("LLC", data);
        } else {
            int32_t l = add_nodef(parent, data.at(0), data.size(), P_LLC, "Logical Link Control");
            sap_lines(l, data);
            truncated_line(l, data, data.has(2, 1) ? h : 3);
        }
        return;
    }

    uint8_t dsap_raw = data.u8(0), ssap_raw = data.u8(1);
    uint8_t dsap = dsap_raw & 0xFE, ssap = ssap_raw & 0xFE;
    bool group = dsap_raw & 1;
    unsigned c;
    int32_t l = 0;
    if (parent != 0) {
        l = add_nodef(parent, data.at(0), h, P_LLC, "Logical Link Control");
        sap_lines(l, data);
    }

    if (h == 3) {
        c = data.u8(2);
        uint8_t f = uint8_t(c & ~0x10u);
        bool pf = c & 0x10;
        const LlcFunction& fn = u_function(f);
        if (parent != 0) {
            int32_t k = node(l, data, 2, 1, "Control : 0x%02X", c);
            // Only the function bits: the P/F position is masked as well.
            char bits[16];
            format_textf(bits, sizeof bits, "%s", bit_text8(c, 0, 6));
            bits[3] = '*';
            node(k, data, 2, 1, "%s : Function=%s", bits, fn.long_name);
            node(k, data, 2, 1, "%s", flag_text8(c, 3, "P/F bit(ON)", "P/F bit(OFF)"));
            node(k, data, 2, 1, "%s : Unnumbered Format", bit_text8(c, 6, 2));
        } else if (text_columns_wanted()) {
            char text[160];
            int n;
            if (group)
                n = format_textf(text, sizeof text, "DSAP:0x%02X > SSAP:0x%02X U-format %s %s", dsap, ssap,
                                  fn.short_name, llc_word(group, pf));
            else
                n = format_textf(text, sizeof text, "DSAP:0x%02X U-format %s %s", dsap, fn.short_name,
                                  llc_word(group, pf));
            // XID information field (format identifier 0x81): class and window.
            if (f == 0xAF && data.has(3, 3) && data.u8(3) == 0x81)
                format_textf(text + n, sizeof text - size_t(n), ": %02X %02X", data.u8(4), data.u8(5));
            set_column(text, 5, nullptr, 0);
        }
    } else {
        c = unsigned(data.u8(2)) | unsigned(data.u8(3)) << 8;
        bool pf = c & 0x100;
        unsigned nr = (c >> 9) & 0x7F;
        bool supervisory = c & 1;
        if (parent != 0) {
            int32_t k = node(l, data, 2, 2, "Control : 0x%04X", c);
            node(k, data, 2, 2, "%s : Sender Receive Sequence Number=%d", bit_text16(c, 0, 7), nr);
            node(k, data, 2, 2, "%s", flag_text16(c, 7, "P/F bit(ON)", "P/F bit(OFF)"));
            if (supervisory) {
                node(k, data, 2, 2, "%s : Function=%s", bit_text16(c, 12, 2), s_function(c & 0xF).long_name);
                node(k, data, 2, 2, "%s : Supervisory Format", bit_text16(c, 14, 2));
            } else {
                node(k, data, 2, 2, "%s : Sender Send Sequence Number=%d", bit_text16(c, 8, 7), (c >> 1) & 0x7F);
                node(k, data, 2, 2, "%s : Information Trasfer Format", bit_text16(c, 15, 1));
            }
        } else if (text_columns_wanted()) {
            if (supervisory)
                set_columnf(5, nullptr, 0, "S-format %s N(R)=%d %s", s_function(c & 0xF).short_name, nr,
                            llc_word(group, pf));
            else
                set_columnf(5, nullptr, 0, "I-format N(R)=%d N(S)=%d %s", nr, (c >> 1) & 0x7F,
                            llc_word(group, pf));
        }
    }

    Bytes payload = data.from(h);
    if (dsap_raw == ssap_raw) {
        for (const SapRoute& r : sap_routes) {
            if (r.sap != dsap_raw || !control_accepted(r.rule, c)) continue;
            r.decode(parent, payload);
            return;
        }
    }
    data_line(parent, payload);
}

void decode_snap(int32_t parent, Bytes data) {
    // SNAP names no column and records no layer; a cut header only says so in
    // the description column.
    if (!data.has(0, SNAP_HEADER)) {
        if (parent == 0) {
            truncated_summary("SNAP", data);
        } else {
            int32_t s = add_nodef(parent, data.at(0), data.size(), P_SNAP, "Sub-Network Access Protocol");
            if (data.has(0, 3))
                node(s, data, 0, 3, "Organizationally Unique Identifier(OUI) : %s",
                     value_name(data.be24(0), snap_ouis, 3, 1));
            truncated_line(s, data, SNAP_HEADER);
        }
        return;
    }
    uint32_t oui = data.be24(0);
    uint16_t type = data.be16(3);
    if (parent != 0) {
        int32_t s = add_nodef(parent, data.at(0), SNAP_HEADER, P_SNAP, "Sub-Network Access Protocol");
        node(s, data, 0, 3, "Organizationally Unique Identifier(OUI) : %s", value_name(oui, snap_ouis, 3, 1));
        const char* name = lookup_name(type, snap_types);
        if (name)
            node(s, data, 3, 2, "Type : %s(0x%04X)", name, type);
        else
            node(s, data, 3, 2, "Type : 0x%04X", type);
    }
    Bytes payload = data.from(SNAP_HEADER);
    for (const TypeRoute& r : snap_routes) {
        if (r.type != type) continue;
        ctx().network_type = type;
        r.decode(parent, payload);
        return;
    }
    data_line(parent, payload);
}

void decode_fddi(int32_t parent, Bytes data) {
    uint8_t c = data.u8(0);
    copy_macs(data, 1, 7);
    bool whole = data.has(0, FDDI_HEADER);

    if (parent == 0) {
        set_column("FDDI", 4, data.at(0), P_FDDI);
        if (!whole) {
            mac_columns(data, 1, 7);
            truncated_summary("FDDI", data);
            return;
        }
        if (text_columns_wanted())
            set_columnf(5, nullptr, 0, "%s %d data octets", fddi_control_text(c), data.size());
        mac_columns(data, 1, 7);
    } else {
        int32_t f = add_nodef(parent, data.at(0), whole ? FDDI_HEADER : data.size(), P_FDDI,
                              "Fiber Distributed Data Interface");
        if (data.has(0, 1)) {
            int32_t k = node(f, data, 0, 1, "Frame Control : 0x%02X(%s)", c, fddi_control_text(c));
            node(k, data, 0, 1, "%s : %s", bit_text8(c, 0, 4), value_name(c >> 4, fddi_classes, 1, 1));
            if ((c & 0xF0) == 0x40)
                node(k, data, 0, 1, "%s : Subtype=%s", bit_text8(c, 4, 4),
                     value_name(c & 0xF, fddi_smt_subtypes, 1, 0));
            else if ((c & 0xF0) == 0x50 && !(c & 0x08))
                node(k, data, 0, 1, "%s : Priority=%d", bit_text8(c, 4, 4), c & 0xF);
            else if ((c & 0xF0) == 0xC0 && c != 0xC0)
                node(k, data, 0, 1, "%s : Subtype=%s", bit_text8(c, 4, 4),
                     value_name(c & 0xF, fddi_mac_subtypes, 1, 0));
        }
        mac_lines(f, data, 1, 7);
        if (!whole) {
            truncated_line(f, data, FDDI_HEADER);
            return;
        }
    }

    int r = data.size() - FDDI_HEADER;
    if (r <= 0) return;
    Bytes payload = data.from(FDDI_HEADER);
    if (c >= 0x50 && c <= 0x5F)
        decode_llc(parent, payload);
    else if (parent != 0)
        add_nodef(ROOT_NODE, payload.at(0), r, 0, "Data %d bytes", r);
}

void decode_null(int32_t parent, Bytes data) {
    if (data.has(0, 2) && data.u8(0) == 0xFF && data.u8(1) == 0x03) {
        decode_ppp(parent, data);  // PPP in HDLC framing
        return;
    }
    if (!data.has(0, NULL_HEADER)) return;

    uint32_t f = data.le32(0);
    if (f & 0xFFFF0000u) f = (f >> 24) | (f >> 8 & 0xFF00u) | (f << 8 & 0xFF0000u) | (f << 24);

    if (parent == 0) {
        if (text_columns_wanted()) {
            set_column("N/A", 2, nullptr, 0);
            set_column("N/A", 3, nullptr, 0);
        }
        set_column("NULL/LOOPBACK", 4, data.at(0), P_NULL);
        if (text_columns_wanted()) set_columnf(5, nullptr, 0, "NULL/LOOPBACK data %d octets", data.size());
    } else {
        int32_t n = add_nodef(parent, data.at(0), NULL_HEADER, P_NULL, "NULL/LOOPBACK");
        if (f <= 1500)
            node(n, data, 0, 4, "Family : %s", value_name(f, null_families, 4, 1));
        else
            node(n, data, 0, 2, "Type : %s(0x%04X)", ethertype_name(f), f);
    }

    Bytes payload = data.from(NULL_HEADER);
    if (f > 1500) {
        decode_by_ethertype_null(f, parent, payload);
        return;
    }
    for (const NullRoute& r : null_family_routes) {
        if (r.key != f) continue;
        ctx().network_type = r.network_type;
        r.decode(parent, payload);
        return;
    }
}

void decode_by_ethertype_null(uint32_t type, int32_t parent, Bytes data) {
    type &= 0xFFFF;
    for (const NullRoute& r : null_ethertype_routes) {
        if (r.key != type) continue;
        ctx().network_type = r.network_type;
        r.decode(parent, data);
        return;
    }
}

}  // namespace zelpan
