// PPP (with its LCP, IPCP and CHAP control protocols) and PPP over Ethernet.
// PPP arrives from the PPP link type, from HDLC-framed frames under null/loopback,
// from Ethernet II types that carry a PPP protocol number, and from the PPPoE
// session stage.
#include <cstdio>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"

namespace zelpan {

namespace {

constexpr int CONTROL_HEADER = 4;
constexpr int PPPOE_HEADER = 6;

constexpr NameEntry ppp_protocols[] = {
    {0x0021, "IP"},
    {0x0023, "OSI Network Layer"},
    {0x0029, "Appletalk"},
    {0x002B, "Novell IPX"},
    {0x002D, "Van Jacobson Compressed TCP/IP"},
    {0x002F, "Van Jacobson Uncompressed TCP/IP"},
    {0x0031, "Bridging PDU"},
    {0x0035, "Banyan Vines"},
    {0x003D, "Multi-Link"},
    {0x0057, "IPv6"},
    {0x0059, "PPP Muxing"},
    {0x00FD, "compressed datagram"},
    {0x0205, "DEC LANBridge100 Spanning Tree"},
    {0x0281, "MPLS Unicast"},
    {0x0283, "MPLS Multicast"},
    {0x8021, "IP Control Protocol"},
    {0x8023, "OSI Network Layer Control Protocol"},
    {0x8029, "AppleTalk Control Protocol"},
    {0x802B, "Novell IPX Control Protocol"},
    {0x8059, "PPP Muxing Control Protocol"},
    {0x80FD, "Compression Control Protocol"},
    {0xC021, "Link Control Protocol"},
    {0xC023, "Password Authentication Protocol"},
    {0xC025, "Link Quality Report"},
    {0xC027, "Shiva Password Authentication Protocol"},
    {0xC223, "Challenge Handshake Authentication Protocol"},
    {0xC227, "Extensible Authentication Protocol"},
    {0xC029, "CallBack Control Protocol"},
    {0xC02B, "Bandwidth Allocation Control Protocol"},
    {0xC02D, "Bandwitdh Allocation Protocol"},
    {0, nullptr},
};

constexpr NameEntry lcp_codes[] = {
    {1, "Configuration-Request"}, {2, "Configuration-Ack"}, {3, "Configuration-Nak"},
    {4, "Configuration-Reject"},  {5, "Termination-Request"}, {6, "Termination-Ack"},
    {7, "Code-Reject"},           {8, "Protocol-Reject"},   {9, "Echo-Request"},
    {10, "Echo-Reply"},           {11, "Discard-Request"},  {12, "Identification"},
    {13, "Time-Remaining"},       {0, nullptr},
};
// IPCP knows only the configuration, termination and code-reject codes.
constexpr NameEntry ipcp_codes[] = {
    {1, "Configuration-Request"}, {2, "Configuration-Ack"}, {3, "Configuration-Nak"},
    {4, "Configuration-Reject"},  {5, "Termination-Request"}, {6, "Termination-Ack"},
    {7, "Code-Reject"},           {0, nullptr},
};

constexpr NameEntry chap_algorithms[] = {{5, "CHAP with MD5"}, {128, "MS-CHAP"}, {129, "MS-CHAP-2"}, {0, nullptr}};
constexpr NameEntry callback_operations[] = {
    {0, "Location is determined by user authentication"},
    {1, "Message is dialing string"},
    {2, "Message is location identifier"},
    {3, "Message is E.164"},
    {4, "Message is distinguished name"},
    {5, "unassigned"},
    {6, "Location is determined during CBCP negotiation"},
    {0, nullptr},
};
constexpr NameEntry endpoint_classes[] = {
    {0, "Null Class"},
    {1, "Locally Assigned Address"},
    {2, "IP Address"},
    {3, "IEEE 802.1 Globally Assigned MAC Address"},
    {4, "PPP Magic-Number Nlock"},
    {5, "Public Switched Network Directory Number"},
    {0, nullptr},
};
constexpr NameEntry mib_enums[] = {{106, "UTF-8"}, {0, nullptr}};

constexpr NameEntry chap_codes[] = {{1, "Challenge"}, {2, "Response"}, {3, "Success"}, {4, "Failure"}, {0, nullptr}};

constexpr NameEntry pppoe_codes[] = {
    {0x00, "Session Data"},
    {0x07, "Active Discovery Offer(PADO)"},
    {0x09, "Active Discovery Initiation(PADI)"},
    {0x19, "Active Discovery Request(PADR)"},
    {0x65, "Active Discovery Session-confirmation(PADS)"},
    {0xA7, "Active Discovery Terminate(PADT)"},
    {0, nullptr},
};
constexpr NameEntry pppoe_tags[] = {
    {0x0000, "End-Of-List"},      {0x0101, "Service-Name"},       {0x0102, "AC-Name"},
    {0x0103, "Host-Uniq"},        {0x0104, "AC-Cookie"},          {0x0105, "Vendor-Specific"},
    {0x0110, "Relay-Session-Id"}, {0x0201, "Service-Name-Error"}, {0x0202, "AC-System-Error"},
    {0x0203, "Generic-Error"},    {0, nullptr},
};

const char* protocol_text(uint32_t protocol) { return value_name(protocol, ppp_protocols, 2, 1); }

// ---- option field decoders ----
// Each gets the whole option (type and length included), clipped to the
// captured bytes, and shows only the fields captured whole.

// Lines under a named option's node.
using OptionLines = void (*)(int32_t node, const Bytes& opt);
// The one line of an unnamed option.
using OptionText = const char* (*)(const Bytes& opt);

const char* mru_text(const Bytes& o) { return textf("Maximum-Receive-Unit : %u", unsigned(o.be16(2))); }
const char* accm_text(const Bytes& o) { return textf("Async-Control-Character-Map : 0x%08X", o.be32(2)); }
const char* magic_text(const Bytes& o) { return textf("Magic-Number : 0x%08X", o.be32(2)); }
const char* padding_text(const Bytes& o) { return textf("Self-Describing-Padding : %u", unsigned(o.u8(2))); }

long rest(const Bytes& o, int from) { return o.size() > from ? long(o.size() - from) : 0L; }

void authentication_lines(int32_t n, const Bytes& o) {
    if (!o.has(2, 2)) return;
    uint16_t p = o.be16(2);
    node(n, o, 2, 2, "Protocol : %s", protocol_text(p));
    if (p == 0xC223) {
        if (o.has(4, 1)) node(n, o, 4, 1, "Algorithm : %s", value_name(o.u8(4), chap_algorithms, 1, 0));
    } else {
        node(n, o, 4, int(rest(o, 4)), "Data %ld bytes", rest(o, 4));
    }
}

void quality_lines(int32_t n, const Bytes& o) {
    if (!o.has(2, 2)) return;
    node(n, o, 2, 2, "Protocol : %s", protocol_text(o.be16(2)));
    node(n, o, 4, int(rest(o, 4)), "Data %ld bytes", rest(o, 4));
}

void fcs_lines(int32_t n, const Bytes& o) {
    if (!o.has(2, 1)) return;
    uint8_t v = o.u8(2);
    node(n, o, 2, 1, "%s", flag_text8(v, 7, "Null FCS - ON", "Null FCS - OFF"));
    node(n, o, 2, 1, "%s", flag_text8(v, 6, "CCITT 16-bit FCS - ON", "CCITT 16-bit FCS - OFF"));
    node(n, o, 2, 1, "%s", flag_text8(v, 5, "CCITT 32-bit - ON", "CCITT 32-bit - OFF"));
}

void numbered_lines(int32_t n, const Bytes& o) {
    if (!o.has(2, 1)) return;
    node(n, o, 2, 1, "Window : %u", unsigned(o.u8(2)));
    node(n, o, 3, int(rest(o, 3)), "Address %ld bytes", rest(o, 3));
}

void callback_lines(int32_t n, const Bytes& o) {
    if (!o.has(2, 1)) return;
    node(n, o, 2, 1, "Operation : %s", value_name(o.u8(2), callback_operations, 1, 0));
    node(n, o, 3, int(rest(o, 3)), "Message %ld bytes", rest(o, 3));
}

// The address size each class allows: exact for IP and MAC addresses, a maximum
// for the others.
void endpoint_lines(int32_t n, const Bytes& o) {
    if (!o.has(2, 1)) return;
    uint8_t c = o.u8(2);
    node(n, o, 2, 1, "Class : %s", value_name(c, endpoint_classes, 1, 0));
    long a = rest(o, 3);
    int len = int(a);
    switch (c) {
    case 1: case 4:
        if (a > 20) node(n, o, 3, len, "Address %ld bytes(correct<=20)", a);
        else node(n, o, 3, len, "Address %ld bytes", a);
        break;
    case 2:
        if (a == 4) node(n, o, 3, 4, "Address : %s", ipv4_text(o.at(3)));
        else node(n, o, 3, len, "Address %ld bytes(correct=4)", a);
        break;
    case 3:
        if (a == 6) node(n, o, 3, 6, "Address : %s", mac_text(o.at(3)));
        else node(n, o, 3, len, "Address %ld bytes(correct=6)", a);
        break;
    case 5:
        if (a > 15) node(n, o, 3, len, "Address %ld bytes(correct<=15)", a);
        else node(n, o, 3, len, "Address %ld bytes", a);
        break;
    default: node(n, o, 3, len, "Address %ld bytes", a); break;
    }
}

void language_lines(int32_t n, const Bytes& o) {
    if (!o.has(2, 4)) return;
    node(n, o, 2, 4, "MIBenum : %s", value_name(o.be32(2), mib_enums, 4, 0));
    node(n, o, 6, int(rest(o, 6)), "Language-Tag : %s", escaped_text(o.at(6), int(rest(o, 6))));
}

void addresses_lines(int32_t n, const Bytes& o) {
    if (o.has(2, 4)) node(n, o, 2, 4, "Source IP Address : %s", ipv4_text(o.at(2)));
    if (o.has(6, 4)) node(n, o, 6, 4, "Destination IP Address : %s", ipv4_text(o.at(6)));
}

void compression_lines(int32_t n, const Bytes& o) {
    if (o.has(2, 2)) node(n, o, 2, 2, "Protocol : %s", protocol_text(o.be16(2)));
}

// How a named option without a field decoder shows its value.
enum class Value : uint8_t { Hex, Address };

struct OptionRow {
    uint8_t type;
    const char* name;
    OptionLines lines;
    OptionText text;
    Value value;
};

constexpr OptionRow lcp_options[] = {
    {1, nullptr, nullptr, mru_text, Value::Hex},
    {2, nullptr, nullptr, accm_text, Value::Hex},
    {3, "Authentication-Protocol", authentication_lines, nullptr, Value::Hex},
    {4, "Quality-Protocol", quality_lines, nullptr, Value::Hex},
    {5, nullptr, nullptr, magic_text, Value::Hex},
    {7, "Protocol-Field-Compression", nullptr, nullptr, Value::Hex},
    {8, "Address-and-Control-Field-Compression", nullptr, nullptr, Value::Hex},
    {9, "FCS-Alternatives", fcs_lines, nullptr, Value::Hex},
    {10, nullptr, nullptr, padding_text, Value::Hex},
    {11, "Numbered-Mode", numbered_lines, nullptr, Value::Hex},
    {13, "Callback", callback_lines, nullptr, Value::Hex},
    {15, "Compound-Frames", nullptr, nullptr, Value::Hex},
    {17, "Multilink MRRU LCP", nullptr, nullptr, Value::Hex},
    {18, "Short Sequence Number Header", nullptr, nullptr, Value::Hex},
    {19, "Endpoint Discriminator", endpoint_lines, nullptr, Value::Hex},
    {21, "DCE identifier", nullptr, nullptr, Value::Hex},
    {22, "Multilink Plus Procedure", nullptr, nullptr, Value::Hex},
    {23, "Link Discriminator", nullptr, nullptr, Value::Hex},
    {24, "LCP authentication", nullptr, nullptr, Value::Hex},
    {25, "Consistent Overhead Byte Stuffing", nullptr, nullptr, Value::Hex},
    {26, "Prefix elision", nullptr, nullptr, Value::Hex},
    {27, "Multilink Header Format", nullptr, nullptr, Value::Hex},
    {28, "Internationalization", language_lines, nullptr, Value::Hex},
    {29, "Simple data link on SONET/SDH", nullptr, nullptr, Value::Hex},
    {0, nullptr, nullptr, nullptr, Value::Hex},
};

constexpr OptionRow ipcp_options[] = {
    {1, "IP-Addresses", addresses_lines, nullptr, Value::Hex},
    {2, "IP-Compression-Protocol", compression_lines, nullptr, Value::Hex},
    {3, "IP-Address", nullptr, nullptr, Value::Address},
    {4, "Mobile Node's Home Address", nullptr, nullptr, Value::Address},
    {0x81, "Primary DNS server Address", nullptr, nullptr, Value::Address},
    {0x82, "Primary NBNS server Address", nullptr, nullptr, Value::Address},
    {0x83, "Secondary DNS server Address", nullptr, nullptr, Value::Address},
    {0x84, "Secondary NBNS server Address", nullptr, nullptr, Value::Address},
    {0, nullptr, nullptr, nullptr, Value::Hex},
};

const OptionRow* option_row(uint8_t type, const OptionRow* table) {
    for (const OptionRow* r = table; r->name || r->text; ++r)
        if (r->type == type) return r;
    return nullptr;
}

const char* value_text(const OptionRow& r, const Bytes& o) {
    int n = o.size() - 2;
    if (r.value == Value::Address && n == 4) return ipv4_text(o.at(2));
    return textf("0x%s", hex_text(o.at(2), n, 0));
}

// The options of a configuration packet, one after the other until the data ends,
// an unknown type or a length below 2 turns up, or an option runs past the data.
void option_walk(int32_t parent, const Bytes& options, const OptionRow* table) {
    int i = 0;
    while (i < options.size()) {
        uint8_t type = options.u8(i);
        const OptionRow* r = option_row(type, table);
        if (!r) return;
        if (!options.has(i + 1, 1)) {
            node(parent, options, i, 1, "Option truncated : 1 of 2 bytes captured");
            return;
        }
        int len = options.u8(i + 1);
        if (len < 2) {
            node(parent, options, i, 2, "Bad option(%u) %ld bytes", unsigned(type), long(len));
            return;
        }
        if (!options.has(i, len)) {
            node(parent, options, i, len, "Option truncated : %d of %d bytes captured", options.size() - i, len);
            return;
        }
        Bytes o = options.sub(i, len);
        if (r->name && r->lines) {
            int32_t n = node(parent, o, 0, len, "%s", r->name);
            r->lines(n, o);
        } else if (r->text) {
            node(parent, o, 0, len, "%s", r->text(o));
        } else if (len == 2) {
            node(parent, o, 0, len, "%s", r->name);
        } else {
            node(parent, o, 0, len, "%s : %s", r->name, value_text(*r, o));
        }
        i += len;
    }
}

struct ControlKind {
    const char* column;
    const char* title;
    int protocol;
    const NameEntry* codes;
    const OptionRow* options;
};

constexpr ControlKind lcp_kind = {"PPP LCP", "PPP Link Control Protocol", P_PPPLCP, lcp_codes, lcp_options};
constexpr ControlKind ipcp_kind = {"PPP IPCP", "PPP Internet Protocol Control Protocol", P_PPPIPCP, ipcp_codes,
                                   ipcp_options};

// The message text of Identification and Time-Remaining packets.
const char* message_text(const Bytes& body, int at) {
    return escaped_text(body.at(at), body.avail(at, body.size()));
}

// LCP and IPCP share one packet layout: code, identifier, length, then data
// whose layout depends on the code.
void decode_control(int32_t parent, const Bytes& data, const ControlKind& k) {
    uint8_t code = data.u8(0);
    if (parent == 0) {
        set_column(k.column, 4, data.at(0), k.protocol);
        if (!text_columns_wanted()) return;
        if (!data.has(0, CONTROL_HEADER))
            truncated_summary(k.column, data);
        else
            set_columnf(5, nullptr, 0, "Code : %s", value_name(code, k.codes, 1, 1));
        return;
    }

    // The node covers what the length announces, or what was captured when less.
    long length = data.has(2, 2) ? data.be16(2) : data.size();
    int cover = length < data.size() ? int(length) : data.size();
    int32_t n = add_nodef(parent, data.at(0), cover, k.protocol, "%s", k.title);
    if (data.has(0, 1)) node(n, data, 0, 1, "Code : %s", value_name(code, k.codes, 1, 1));
    if (data.has(1, 1)) node(n, data, 1, 1, "Identifier : 0x%02X", unsigned(data.u8(1)));
    if (!data.has(2, 2)) {
        truncated_line(n, data, CONTROL_HEADER);
        return;
    }
    node(n, data, 2, 2, "Length : %ld", length);

    // The body is what the length announces after the header, clipped to the capture.
    long announced = length > CONTROL_HEADER ? length - CONTROL_HEADER : 0;
    Bytes body = data.sub(CONTROL_HEADER, int(announced));
    int b = body.size();
    if (!lookup_name(code, k.codes)) {
        node(n, body, 0, b, "Data %ld bytes", announced);
        return;
    }
    switch (code) {
    case 1: case 2: case 3: case 4: {
        int32_t o = node(n, body, 0, b, "Options %ld bytes", announced);
        option_walk(o, body, k.options);
        break;
    }
    case 5: case 6: node(n, body, 0, b, "Data %ld bytes", announced); break;
    case 7: node(n, body, 0, b, "Rejected-Packet %ld bytes", announced); break;
    case 8:
        if (body.has(0, 2)) node(n, body, 0, 2, "Rejected-Protocol : %s", protocol_text(body.be16(0)));
        node(n, body, 2, int(rest(body, 2)), "Rejected-Information %ld bytes", announced > 2 ? announced - 2 : 0);
        break;
    case 9: case 10: case 11:
        if (body.has(0, 4)) node(n, body, 0, 4, "Magic-Number : 0x%08X", body.be32(0));
        node(n, body, 4, int(rest(body, 4)), "Data %ld bytes", announced > 4 ? announced - 4 : 0);
        break;
    case 12:
        if (body.has(0, 4)) node(n, body, 0, 4, "Magic-Number : 0x%08X", body.be32(0));
        if (b >= 4) node(n, body, 4, b - 4, "Message : %s", message_text(body, 4));
        break;
    case 13:
        if (body.has(0, 4)) node(n, body, 0, 4, "Magic-Number : 0x%08X", body.be32(0));
        if (body.has(4, 4)) node(n, body, 4, 4, "Seconds-Remaining : %lu", (unsigned long)body.be32(4));
        if (b >= 8) node(n, body, 8, b - 8, "Message : %s", message_text(body, 8));
        break;
    }
    if (body.size() < announced)
        node(n, data, CONTROL_HEADER, b, "Data truncated : %d of %ld bytes captured", b, announced);
}

void decode_chap(int32_t parent, const Bytes& data) {
    uint8_t code = data.u8(0);
    if (parent == 0) {
        set_column("PPP CHAP", 4, data.at(0), P_PPPCHAP);
        if (!text_columns_wanted()) return;
        if (!data.has(0, CONTROL_HEADER))
            truncated_summary("PPP CHAP", data);
        else
            set_columnf(5, nullptr, 0, "Code : %s", value_name(code, chap_codes, 1, 1));
        return;
    }

    long length = data.has(2, 2) ? data.be16(2) : data.size();
    int cover = length < data.size() ? int(length) : data.size();
    if (cover < data.avail(0, CONTROL_HEADER)) cover = data.avail(0, CONTROL_HEADER);
    int32_t n = add_nodef(parent, data.at(0), cover, P_PPPCHAP, "PPP Challenge Handshake Authentication Protocol");
    if (data.has(0, 1)) node(n, data, 0, 1, "Code : %s", value_name(code, chap_codes, 1, 1));
    if (data.has(1, 1)) node(n, data, 1, 1, "Identifier : 0x%02X", unsigned(data.u8(1)));
    if (!data.has(2, 2)) {
        truncated_line(n, data, CONTROL_HEADER);
        return;
    }
    node(n, data, 2, 2, "Length : %ld", length);

    long announced = length > CONTROL_HEADER ? length - CONTROL_HEADER : 0;
    Bytes body = data.sub(CONTROL_HEADER, int(announced));
    int b = body.size();
    switch (code) {
    case 1: case 2: {
        if (!body.has(0, 1)) break;
        int size = body.u8(0);
        node(n, body, 0, 1, "Value-Size : %ld bytes", long(size));
        node(n, body, 1, size, "Value : %ld bytes", long(size));
        int name_at = 1 + size;
        // The name is the rest of the packet, and may be empty.
        if (body.has(name_at, 0))
            node(n, body, name_at, b - name_at, "Name : %s", escaped_text(body.at(name_at), b - name_at));
        break;
    }
    case 3: case 4: node(n, body, 0, b, "Message : %ld bytes", announced); break;
    default: node(n, body, 0, b, "Code : %u Data %ld bytes", unsigned(code), announced); break;
    }
    if (b < announced) node(n, data, CONTROL_HEADER, b, "Data truncated : %d of %ld bytes captured", b, announced);
}

// Hands the bytes after the protocol field to the protocol's decoder; returns the
// size of the protocol field.
int dispatch_protocol(int32_t ppp_node, const Bytes& field, int32_t parent) {
    int size = (field.u8(0) & 1) ? 1 : 2;
    uint32_t protocol = size == 1 ? field.u8(0) : field.be16(0);
    node(ppp_node, field, 0, size, "Protocol : %s", protocol_text(protocol));
    Bytes payload = field.from(size);
    DecodeContext& c = ctx();
    switch (protocol) {
    case 0x0021:
        // PPP carries the frame's network layer: IPv4 names its addresses.
        c.network_type = 0x0800;
        decode_ipv4(parent, payload);
        break;
    case 0x0057:
        c.network_type = 0x86DD;
        decode_ipv6(parent, payload);
        break;
    case 0x8021: decode_control(parent, payload, ipcp_kind); break;
    case 0xC021: decode_control(parent, payload, lcp_kind); break;
    case 0xC223: decode_chap(parent, payload); break;
    default:
        if (parent == 0) {
            // Recorded as a layer of its own, so conditions can address the data.
            set_column("PPP", 4, payload.at(0), P_PPPDATA);
            if (text_columns_wanted()) set_columnf(5, nullptr, 0, "PPP data %ld octets", long(payload.size()));
        } else {
            int32_t d = add_nodef(parent, payload.at(0), payload.size(), P_PPPDATA, "PPP");
            add_nodef(d, payload.at(0), payload.size(), 0, "Data : %ld bytes", long(payload.size()));
        }
        break;
    }
    return size;
}

}  // namespace

void decode_ppp(int32_t parent, Bytes data) {
    if (parent == 0) set_column("PPP", 4, data.at(0), P_PPP);

    uint8_t first = data.u8(0);
    if (data.has(0, 1) && (first == 0x0F || first == 0x8F)) {
        if (parent == 0) {
            if (text_columns_wanted()) set_columnf(5, nullptr, 0, "Cisco HDLC %ld octets", long(data.size()));
        } else {
            add_nodef(parent, data.at(0), data.size(), P_PPP, "Cisco HDLC Data %ld bytes", long(data.size()));
        }
        return;
    }

    int at = data.has(0, 1) && first == 0xFF ? 2 : 0;
    int field = (data.u8(at) & 1) ? 1 : 2;
    bool whole = data.has(at, field);

    int32_t n = 0;
    if (parent != 0) {
        n = add_nodef(parent, data.at(0), data.avail(0, at + field), P_PPP, "Point-to-Point Protocol");
        if (at == 2) {
            node(n, data, 0, 1, "Address : 0x%02X", unsigned(first));
            if (data.has(1, 1)) node(n, data, 1, 1, "Control : 0x%02X", unsigned(data.u8(1)));
        }
        if (!whole) truncated_line(n, data, at + field);
    } else if (!whole) {
        truncated_summary("PPP", data);
    }
    if (!whole) return;
    dispatch_protocol(n, data.from(at), parent);
}

void decode_pppoe(int32_t parent, Bytes data) {
    // Ethernet II leaves the stage's EtherType behind; elsewhere the code tells.
    int32_t type = ctx().network_type;
    bool session = type == 0x8864 || (type != 0x8863 && data.has(1, 1) && data.u8(1) == 0);
    const char* column = session ? "PPPoEss" : "PPPoEds";
    int protocol = session ? P_PPPOESS : P_PPPOEDS;
    bool whole = data.has(0, PPPOE_HEADER);
    uint8_t code = data.u8(1);
    long length = data.be16(4);
    Bytes payload = data.sub(PPPOE_HEADER, int(length));

    if (parent == 0) {
        set_column(column, 4, data.at(0), protocol);
        if (text_columns_wanted()) {
            if (!whole)
                truncated_summary(column, data);
            else
                set_columnf(5, nullptr, 0, "Code : %s", value_name(code, pppoe_codes, 1, 1));
        }
        if (whole && session) decode_ppp(parent, payload);
        return;
    }

    int32_t n = add_nodef(parent, data.at(0), data.avail(0, PPPOE_HEADER) + payload.size(), protocol, "%s",
                          session ? "PPP Over Ethernet Session Stage" : "PPP Over Ethernet Discovery Stage");
    if (data.has(0, 1)) {
        node(n, data, 0, 1, "Version : %u", unsigned(data.u8(0) >> 4));
        node(n, data, 0, 1, "Type : %u", unsigned(data.u8(0) & 0x0F));
    }
    if (data.has(1, 1)) node(n, data, 1, 1, "Code : %s", value_name(code, pppoe_codes, 1, 1));
    if (data.has(2, 2)) node(n, data, 2, 2, "Session ID : 0x%04X", unsigned(data.be16(2)));
    if (!whole) {
        truncated_line(n, data, PPPOE_HEADER);
        return;
    }
    node(n, data, 4, 2, "Length : %ld", length);
    if (payload.size() < length)
        node(n, data, PPPOE_HEADER, payload.size(), "Payload truncated : %d of %ld bytes captured",
             payload.size(), length);

    if (session) {
        decode_ppp(parent, payload);
        return;
    }
    if (payload.empty()) return;

    // Tags: type, length, value; End-Of-List closes the list.
    int32_t tags = node(n, payload, 0, payload.size(), "Tags");
    int i = 0;
    while (i < payload.size()) {
        uint16_t tag = payload.be16(i);
        if (!payload.has(i, 4)) {
            node(tags, payload, i, payload.size() - i, "Tag truncated : %d of 4 bytes captured", payload.size() - i);
            return;
        }
        int len = payload.be16(i + 2);
        int32_t t = node(tags, payload, i, 4 + len, "Tag : %s", value_name(tag, pppoe_tags, 2, 1));
        node(t, payload, i + 2, 2, "length : %ld", long(len));
        if (!payload.has(i + 4, len)) {
            node(t, payload, i + 4, len, "value : %d of %d bytes captured", payload.size() - i - 4, len);
            return;
        }
        bool text = tag == 0x0101 || tag == 0x0102 || (tag >= 0x0201 && tag <= 0x0203);
        if (text)
            node(t, payload, i + 4, len, "value : %s", escaped_text(payload.at(i + 4), len));
        else
            node(t, payload, i + 4, len, "value : %ld bytes", long(len));
        if (tag == 0x0000) return;
        i += 4 + len;
    }
}

}  // namespace zelpan
