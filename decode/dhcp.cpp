// BOOTP and DHCP: the fixed header, the options after the magic cookie, and the
// suboptions of PXE (option 43), NetWare/IP (63) and the relay agent (82).
#include <cstdio>
#include <cstring>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"

namespace zelpan {

namespace {

constexpr int FIXED = 236;      // up to the magic cookie
constexpr int OPTIONS_AT = 240;
constexpr int CHADDR_SIZE = 16;

// How an option value is shown.
enum Kind : uint8_t {
    K_LENGTH = 0,     // by its length only (also 6 and 12)
    K_ADDRESSES = 1,  // one or more IPv4 addresses
    K_TEXT = 2,
    K_ENABLED = 3,    // flag byte Disabled/Enabled
    K_YES_NO = 4,     // flag byte No/Yes
    K_SPECIAL = 5,    // a rule of its own, or no line at all
    K_LENGTH6 = 6,
    K_SECONDS = 7,
    K_BYTE = 8,
    K_SHORTS = 9,     // one or more 16-bit numbers
    K_SHORT = 10,     // one 16-bit number (PXE suboptions)
    K_NUMBER = 11,
    K_LENGTH12 = 12,
};

struct OptionRow {
    const char* name;
    uint8_t kind;
};

// Codes 0..119; the ranges above are in option_row().
constexpr OptionRow option_rows[] = {
    /*   0 */ {"Pad", 0}, {"Subnet Mask", 1}, {"Time Offset", 12}, {"Router", 1}, {"Time Server", 1},
    /*   5 */ {"Name Server", 1}, {"Domain Server", 1}, {"Log Server", 1}, {"Quotes Server", 1},
    /*   9 */ {"LPR Server", 1}, {"Impress Server", 1}, {"RLP Server", 1}, {"Host Name", 2},
    /*  13 */ {"Boot File Size", 9}, {"Merit Dump File", 2}, {"Domain Name", 2},
    /*  16 */ {"Swap Server", 1}, {"Root Path", 2}, {"Extension File", 2}, {"IP Forwarding", 3},
    /*  20 */ {"Source Routing", 3}, {"Policy Filter", 5},
    /*  22 */ {"Maximum Datagram Reassembly Size", 9}, {"Default IP Time-to-Live", 8},
    /*  24 */ {"Path MTU Aging Timeout", 7}, {"Path MTU Plateau Table", 9}, {"Interface MTU", 9},
    /*  27 */ {"All Subnets are Local", 4}, {"Broadcast Address", 1},
    /*  29 */ {"Perform Mask Discovery", 3}, {"Mask Supplier", 4}, {"Router Discovery", 3},
    /*  32 */ {"Router Solicitation Address", 1}, {"Static Route", 5},
    /*  34 */ {"Trailer Encapsulation", 3}, {"ARP Cache Timeout", 7},
    /*  36 */ {"Ethernet Encapsulation", 3}, {"Default TCP TTL", 8},
    /*  38 */ {"TCP Keepalive Interval", 7}, {"TCP Keepalive Garbage", 3},
    /*  40 */ {"Network Information Service Domain", 2},
    /*  41 */ {"Network Information Service Servers", 1}, {"Network Time Protocol Servers", 1},
    /*  43 */ {"Vendor Specific Information", 5}, {"NetBIOS Name Server", 1},
    /*  45 */ {"NetBIOS Datagram Distribution", 1}, {"NetBIOS Node Type", 5},
    /*  47 */ {"NetBIOS Scope", 2}, {"X Window System Font Server", 1},
    /*  49 */ {"X Window System Display Manager", 1}, {"Requested IP Address", 1},
    /*  51 */ {"IP Address Lease Time", 7}, {"Overload", 5}, {"DHCP Message Type", 5},
    /*  54 */ {"DHCP Server Identifier", 1}, {"Parameter Request List", 5}, {"DHCP Message", 2},
    /*  57 */ {"DHCP Maximum Message Size", 9}, {"Renewal Time", 7}, {"Rebinding Time", 7},
    /*  60 */ {"Class identifier", 5}, {"Client identifier", 5}, {"Netware/IP Domain", 2},
    /*  63 */ {"Netware/IP Option", 5}, {"Network Information Service+ Domain", 2},
    /*  65 */ {"Network Information Service+ Server", 1}, {"TFTP Server Name", 2},
    /*  67 */ {"Boot File Name", 2}, {"Home Agent", 1}, {"SMTP Server", 1}, {"POP3 Server", 1},
    /*  71 */ {"NNTP Server", 1}, {"WWW Server", 1}, {"Finger Server", 1}, {"IRC Server", 1},
    /*  75 */ {"StreetTalk Server", 1}, {"StreetTalk Directory Assistance Server", 1},
    /*  77 */ {"User Class Information", 6}, {"Directory Agent Information", 6},
    /*  79 */ {"Service Location Agent Scope", 6}, {"Naming Authority", 6},
    /*  81 */ {"Client Fully Qualified Domain Name", 6}, {"Agent Circuit Identifier", 5},
    /*  83 */ {"Agent Remote Identifier", 5}, {"Agent Subnet Mask", 1},
    /*  85 */ {"Novell Directory Services Servers", 6},
    /*  86 */ {"Novell Directory Services Tree Name", 6},
    /*  87 */ {"Novell Directory Services Context", 6}, {"IEEE 1003.1 POSIX Timezone", 6},
    /*  89 */ {"Fully Qualified Domain Name", 6}, {"Authentication", 5},
    /*  91 */ {"Vines TCP/IP Server Option", 6}, {"Server Selection Option", 6},
    /*  93 */ {"Client System Architecture", 6}, {"Client Network Device Interface", 6},
    /*  95 */ {"Lightweight Directory Access Protocol", 6}, {"IPv6 Transitions", 6},
    /*  97 */ {"UUID/GUID-based Client Identifier", 6}, {"Open Group's User Authentication", 6},
    /*  99 */ {"Unassigned", 6}, {"Printer Name", 6}, {"DHCP multicast address", 6},
    /* 102 */ {"Removed/unassigned", 6}, {"Removed/unassigned", 6}, {"Removed/unassigned", 6},
    /* 105 */ {"Removed/unassigned", 6}, {"Removed/unassigned", 6}, {"Removed/unassigned", 6},
    /* 108 */ {"Swap Path Option", 6}, {"Unassigned", 6}, {"IPX Compability", 6},
    /* 111 */ {"Unassigned", 6}, {"Netinfo Parent Server Address", 6},
    /* 113 */ {"Netinfo Parent Server Tag", 6}, {"URL", 6}, {"DHCP Failover Protocol", 6},
    /* 116 */ {"DHCP Auto-Configuration", 6}, {"Name Service Search", 9},
    /* 118 */ {"Subnet Selection Option", 1}, {"Domain Search", 6},
};
static_assert(sizeof option_rows / sizeof option_rows[0] == 120);

constexpr int LAST_CODE = 210;

OptionRow option_row(int code) {
    if (code < 120) return option_rows[code];
    if (code < 126) return {"Unassigned", K_LENGTH6};
    if (code < 128) return {"Extension", K_LENGTH6};
    if (code < 210) return {"Private", K_LENGTH6};
    return {"Authentication", K_SPECIAL};  // 210; callers check LAST_CODE first
}

constexpr NameEntry message_types[] = {{1, "BOOTREQUEST"}, {2, "BOOTREPLY"}, {0, nullptr}};

constexpr NameEntry dhcp_message_types[] = {
    {1, "DHCPDISCOVER"}, {2, "DHCPOFFER"}, {3, "DHCPREQUEST"}, {4, "DHCPDECLINE"},
    {5, "DHCPACK"}, {6, "DHCPNAK"}, {7, "DHCPRELEASE"}, {8, "DHCPINFORM"}, {0, nullptr},
};

constexpr NameEntry netbios_node_types[] = {
    {1, "B-node"}, {2, "P-node"}, {4, "M-node"}, {8, "H-node"}, {0, nullptr},
};
constexpr NameEntry auth_protocols[] = {{0, "configuration token"}, {1, "delayed authentication"}, {0, nullptr}};
constexpr NameEntry auth_algorithms[] = {{1, "HMAC_MD5"}, {0, nullptr}};
constexpr NameEntry replay_methods[] = {{0, "Monotonically-increasing counter"}, {0, nullptr}};

struct SubRow {
    const char* name;
    const char* second;  // NetWare/IP flags: the name when the flag is off
    uint8_t kind;
};

constexpr SubRow pxe_rows[13] = {
    {"nop", nullptr, K_SPECIAL},
    {"PXE mtftp IP", nullptr, K_ADDRESSES},
    {"PXE mtftp client port", nullptr, K_SHORT},
    {"PXE mtftp server port", nullptr, K_SHORT},
    {"PXE mtftp timeout", nullptr, K_BYTE},
    {"PXE mtftp delay", nullptr, K_BYTE},
    {"PXE discovery control", nullptr, K_BYTE},
    {"PXE multicast address", nullptr, K_ADDRESSES},
    {"PXE boot servers", nullptr, K_SPECIAL},
    {"PXE boot menu", nullptr, K_SPECIAL},
    {"PXE menu prompt", nullptr, K_SPECIAL},
    {"PXE multicast address alloc", nullptr, K_SPECIAL},
    {"PXE credential types", nullptr, K_SPECIAL},
};
constexpr int PXE_BOOT_ITEM = 71;

// Code 0 has no row of its own.
constexpr SubRow netware_rows[12] = {
    {nullptr, nullptr, 0},
    {"NWIP does not exist", nullptr, K_TEXT},
    {"NWIP exist in options area", nullptr, K_TEXT},
    {"NWIP exists in sname/file", nullptr, K_TEXT},
    {"NWIP exists, but too big", nullptr, K_TEXT},
    {"Broadcast for nearest Netware server", "Do NOT Broadcast for nearest Netware server", K_YES_NO},
    {"Preferred DSS server", nullptr, K_ADDRESSES},
    {"Nearest NWIP server", nullptr, K_ADDRESSES},
    {"Autoretries", nullptr, K_SHORTS},
    {"Autoretry delay secs ", nullptr, K_SHORTS},
    {"Support NetWare/IP v1.1", "Do NOT support NetWare/IP v1.1", K_YES_NO},
    {"Primary DSS", nullptr, K_SPECIAL},
};

const char* plural(long n) { return n == 1 ? "" : "s"; }

// The head of an option's lines: "Option : name(code)", or the unknown-code form.
const char* option_head(uint8_t code) {
    if (code > LAST_CODE) return textf("Unknown Option Code : %u", code);
    return textf("Option : %s(%u)", option_row(code).name, code);
}

// Lists of fixed-size elements (addresses, address pairs, numbers) inside an option
// or suboption value. A remainder too short for one element is shown as such, so
// nothing of the next option is taken for part of this one.
void incomplete_line(int32_t parent, const Bytes& v, int at, int size, const char* what) {
    node(parent, v, at, v.size() - at, "%s : incomplete (%d of %d bytes)", what, v.size() - at, size);
}

void address_list(int32_t parent, const Bytes& v) {
    int at = 0;
    for (; v.has(at, 4); at += 4) node(parent, v, at, 4, "Address : %s", ipv4_text(v.at(at)));
    if (at < v.size()) incomplete_line(parent, v, at, 4, "Address");
}

void pair_list(int32_t parent, const Bytes& v, const char* what) {
    int at = 0;
    for (; v.has(at, 8); at += 8)
        node(parent, v, at, 8, "%s : %s/%s", what, ipv4_text(v.at(at)), ipv4_text(v.at(at + 4)));
    if (at < v.size()) incomplete_line(parent, v, at, 8, what);
}

void short_list(int32_t parent, const Bytes& v) {
    int at = 0;
    for (; v.has(at, 2); at += 2) node(parent, v, at, 2, "Value : %u", v.be16(at));
    if (at < v.size()) incomplete_line(parent, v, at, 2, "Value");
}

// A suboption walk met a length that does not fit the enclosing value: say so and
// let the walk end there.
void cut_suboption(int32_t parent, const Bytes& v, int at) {
    if (!v.has(at + 1, 1))
        node(parent, v, at, 1, "Suboption %u : length byte missing at the end of the option", v.u8(at));
    else
        node(parent, v, at, v.size() - at, "Suboption %u : length %u runs past the end of the option (%d bytes left)",
             v.u8(at), v.u8(at + 1), v.size() - at);
}

// The next suboption's whole bytes, or an empty view after reporting a cut one.
bool next_suboption(int32_t parent, const Bytes& v, int at, Bytes& sub) {
    if (!v.has(at + 1, 1) || !v.has(at, v.u8(at + 1) + 2)) {
        cut_suboption(parent, v, at);
        return false;
    }
    sub = v.sub(at, v.u8(at + 1) + 2);
    return true;
}

void pxe_suboptions(int32_t parent, const Bytes& v) {
    int at = 0;
    while (at < v.size()) {
        uint8_t code = v.u8(at);
        if (code == 0) {
            node(parent, v, at, 1, "Pad");
            ++at;
            continue;
        }
        if (code == 255) {
            node(parent, v, at, 1, "End PXEClient option");
            return;
        }
        Bytes s;
        if (!next_suboption(parent, v, at, s)) return;
        long len = s.size() - 2;
        Bytes value = s.from(2);
        if (code == PXE_BOOT_ITEM) {
            node(parent, s, 0, s.size(), "Suboption : %s(%u) %ld byte%s", "PXE boot item", code, len, plural(len));
        } else if (code > 12) {
            node(parent, s, 0, s.size(), "Unknown suboption %u %ld byte%s", code, len, plural(len));
        } else {
            const SubRow& r = pxe_rows[code];
            switch (r.kind) {
            case K_ADDRESSES:
                if (len == 4) {
                    node(parent, s, 0, 6, "Suboption : %s(%u)=%s", r.name, code, ipv4_text(s.at(2)));
                } else {
                    int32_t n = node(parent, s, 0, s.size(), "Suboption : %s(%u)", r.name, code);
                    address_list(n, value);
                }
                break;
            case K_SPECIAL:
                node(parent, s, 0, s.size(), "Suboption : %s(%u) %ld byte%s", r.name, code, len, plural(len));
                break;
            case K_BYTE:
                if (len >= 1)
                    node(parent, s, 0, 3, "Suboption : %s(%u)=%u", r.name, code, s.u8(2));
                else
                    node(parent, s, 0, s.size(), "Suboption : %s(%u) invalid length %ld", r.name, code, len);
                break;
            case K_SHORT:
                if (len >= 2)
                    node(parent, s, 0, 4, "Suboption : %s(%u) = %lu", r.name, code, (unsigned long)s.be16(2));
                else
                    node(parent, s, 0, s.size(), "Suboption : %s(%u) invalid length %ld", r.name, code, len);
                break;
            default:
                node(parent, s, 0, s.size(), "Unknown subopt type handler %u", code);
                break;
            }
        }
        at += s.size();
    }
}

// Every NetWare/IP suboption with a known code carries a length byte; the walk steps by
// it, so a suboption of an unexpected size does not throw the rest out of step.
void netware_suboptions(int32_t parent, const Bytes& v) {
    int at = 0;
    while (at < v.size()) {
        uint8_t code = v.u8(at);
        // Codes without a layout of their own are one byte long.
        if (code == 0 || code >= 12) {
            node(parent, v, at, 1, code == 0 ? "Unknown suboption %u" : "Unknown suboption : %u", code);
            ++at;
            continue;
        }
        Bytes s;
        if (!next_suboption(parent, v, at, s)) return;
        long len = s.size() - 2;
        const SubRow& r = netware_rows[code];
        switch (r.kind) {
        case K_ADDRESSES:
            if (len == 4) {
                node(parent, s, 0, 6, "Suboption : %s(%u)=%s", r.name, code, ipv4_text(s.at(2)));
            } else {
                int32_t n = node(parent, s, 0, s.size(), "Suboption : %s(%u)", r.name, code);
                address_list(n, s.from(2));
            }
            break;
        case K_SPECIAL:
            if (len >= 4)
                node(parent, s, 0, 6, "Suboption : %s(%u)=%s", r.name, code, ipv4_text(s.at(2)));
            else
                node(parent, s, 0, s.size(), "Suboption : %s(%u) invalid length %ld", r.name, code, len);
            break;
        case K_TEXT:
            node(parent, s, 0, s.size(), "Suboption : %s(%u)", r.name, code);
            break;
        case K_YES_NO:
            if (len >= 1)
                node(parent, s, 0, 3, "Suboption : %s(%u)", s.u8(2) == 1 ? r.name : r.second, code);
            else
                node(parent, s, 0, s.size(), "Suboption : %s(%u) invalid length %ld", r.name, code, len);
            break;
        default:  // K_SHORTS: a one-byte count
            if (len >= 1)
                node(parent, s, 0, 3, "Suboption : %s(%u)=%u", r.name, code, s.u8(2));
            else
                node(parent, s, 0, s.size(), "Suboption : %s(%u) invalid length %ld", r.name, code, len);
            break;
        }
        at += s.size();
    }
}

void relay_suboptions(int32_t parent, const Bytes& v) {
    int at = 0;
    while (at < v.size()) {
        Bytes s;
        if (!next_suboption(parent, v, at, s)) return;
        long len = s.size() - 2;
        switch (s.u8(0)) {
        case 1: node(parent, s, 0, s.size(), "Agent Circuit ID %ld bytes", len); break;
        case 2: node(parent, s, 0, s.size(), "Agent Remote ID %ld bytes", len); break;
        default: node(parent, s, 0, s.size(), "Unknown agent option : %u", s.u8(0)); break;
        }
        at += s.size();
    }
}

// Options 90 and 210: the head line, then the fields as its siblings.
void authentication_lines(int32_t parent, const Bytes& opt, uint8_t code) {
    const char* name = option_row(code).name;
    long len = opt.size() - 2;
    uint8_t protocol = opt.u8(2), algorithm = opt.u8(3), method = opt.u8(4);
    bool hmac = len >= 11 && protocol == 1 && algorithm == 1;
    // The fixed fields need 11 value bytes, the HMAC-MD5 form 31.
    if (len < 11 || (hmac && len < 31)) {
        node(parent, opt, 0, opt.size(), "Option : %s(%u) invalid length %ld", name, code, len);
        return;
    }
    node(parent, opt, 0, opt.size(), "Option : %s(%u)", name, code);
    node(parent, opt, 2, 1, "Protocol : %s", value_name(protocol, auth_protocols, 1, 0));
    if (protocol == 1)
        node(parent, opt, 3, 1, "Algorithm : %s", value_name(algorithm, auth_algorithms, 1, 0));
    else
        node(parent, opt, 3, 1, "Algorithm : %u", algorithm);
    node(parent, opt, 4, 1, "Replay Detection Method(RDM) : %s", value_name(method, replay_methods, 1, 0));
    if (method == 0)
        node(parent, opt, 5, 8, "Replay Detection Value : 0x%08x%08x", opt.be32(5), opt.be32(9));
    else
        node(parent, opt, 5, 8, "Replay Detection Value : %s", hex_text(opt.at(5), 8, 0));
    if (hmac) {
        node(parent, opt, 13, 4, "Secret ID : 0x%08X", opt.be32(13));
        node(parent, opt, 17, 16, "HMAC MD5 Hash : %s", hex_text(opt.at(17), 16, 0));
    } else {
        node(parent, opt, 13, int(len - 11), "Authentication Information : %s", hex_text(opt.at(13), int(len - 11), 0));
    }
}

// One whole option (opt holds exactly its code, length and value bytes) under the
// Options line.
void option_lines(int32_t parent, const Bytes& opt, bool pxe_client) {
    uint8_t code = opt.u8(0);
    long len = opt.size() - 2;
    Bytes value = opt.from(2);
    int size = opt.size();
    if (code > LAST_CODE) {
        node(parent, opt, 0, size, "Unknown Option Code : %u %ld bytes", code, len);
        return;
    }
    const OptionRow row = option_row(code);
    const char* name = row.name;
    auto invalid = [&] { node(parent, opt, 0, size, "Option : %s(%u) invalid length %ld", name, code, len); };

    switch (code) {
    case 21:
    case 33: {
        const char* what = code == 21 ? "Address/Mask" : "Destination Address/Router";
        if (len == 8) {
            node(parent, opt, 0, size, "Option : %s(%u)=%s/%s", name, code, ipv4_text(opt.at(2)), ipv4_text(opt.at(6)));
        } else {
            int32_t n = node(parent, opt, 0, size, "Option : %s(%u)", name, code);
            pair_list(n, value, what);
        }
        return;
    }
    case 43:
        if (pxe_client) {
            int32_t n = node(parent, opt, 0, size, "Option : %s(%u) (PXEClient)", name, code);
            pxe_suboptions(n, value);
        } else {
            node(parent, opt, 0, size, "Option : %s(%u) %ld bytes", name, code, len);
        }
        return;
    case 46:
        if (len < 1) return invalid();
        node(parent, opt, 0, 3, "Option : %s(%u)=%s", name, code, value_name(opt.u8(2), netbios_node_types, 1, 1));
        return;
    case 53: {
        if (len < 1) return invalid();
        const char* type = lookup_name(opt.u8(2), dhcp_message_types);
        node(parent, opt, 0, 3, "Option : %s(%u)=%s", name, code, type ? type : "Unknown Message Type");
        return;
    }
    case 55: {
        int32_t n = node(parent, opt, 0, size, "Option : %s(%u)", name, code);
        for (int i = 0; i < value.size(); ++i) {
            uint8_t wanted = value.u8(i);
            if (wanted > LAST_CODE)
                node(n, value, i, 1, "Unknown Option Code : %u", wanted);
            else
                node(n, value, i, 1, "%s(%u)", option_row(wanted).name, wanted);
        }
        return;
    }
    case 60:
        node(parent, opt, 0, size, "Option : %s(%u) = [%s]", name, code, escaped_text(value.at(0), value.size()));
        return;
    case 61:
        if (len == 7) {
            uint8_t type = opt.u8(2);
            int32_t n = node(parent, opt, 0, size, "Option : %s(%u)", name, code);
            node(n, opt, 2, 1, "Hardware type : %s", hardware_type_name(type));
            node(n, opt, 3, 6, "Client hardware address : %s", hardware_address_text(opt.at(3), 6, type));
        } else {
            node(parent, opt, 0, size, "Option : %s(%u) %ld bytes", name, code, len);
        }
        return;
    case 63: {
        int32_t n = node(parent, opt, 0, size, "Option : %s(%u)", name, code);
        netware_suboptions(n, value);
        return;
    }
    case 82: {
        int32_t n = node(parent, opt, 0, size, "Option : %s(%u) %ld bytes", name, code, len);
        relay_suboptions(n, value);
        return;
    }
    case 90:
    case 210:
        authentication_lines(parent, opt, code);
        return;
    default:
        break;
    }

    switch (row.kind) {
    case K_ADDRESSES:
        if (len == 4) {
            node(parent, opt, 0, size, "Option : %s(%u)=%s", name, code, ipv4_text(opt.at(2)));
        } else {
            int32_t n = node(parent, opt, 0, size, "Option : %s(%u)", name, code);
            address_list(n, value);
        }
        break;
    case K_TEXT:
        node(parent, opt, 0, size, "Option : %s(%u)=[%s]", name, code, escaped_text(value.at(0), value.size()));
        break;
    case K_ENABLED:
    case K_YES_NO: {
        if (len < 1) return invalid();
        uint8_t v = opt.u8(2);
        const char* off = row.kind == K_ENABLED ? "Disabled" : "No";
        const char* on = row.kind == K_ENABLED ? "Enabled" : "Yes";
        if (v <= 1)
            node(parent, opt, 0, size, "Option : %s(%u)=%s", name, code, v ? on : off);
        else
            node(parent, opt, 0, size, "Option : %s(%u)=Invalid Value(%ld)", name, code, long(v));
        break;
    }
    case K_SPECIAL:  // Overload and Agent Remote Identifier: no line
        break;
    case K_SECONDS: {
        if (len < 4) return invalid();
        uint32_t s = opt.be32(2);
        node(parent, opt, 0, size, "Option : %s(%u)=%s", name, code, s == 0xFFFFFFFFu ? "Infinity" : duration_text(s));
        break;
    }
    case K_BYTE:
        if (len < 1) return invalid();
        node(parent, opt, 0, size, "Option : %s(%u)=%u", name, code, opt.u8(2));
        break;
    case K_SHORTS:
        if (len == 2) {
            node(parent, opt, 0, size, "Option : %s(%u)=%u", name, code, opt.be16(2));
        } else {
            int32_t n = node(parent, opt, 0, size, "Option : %s(%u)", name, code);
            short_list(n, value);
        }
        break;
    case K_NUMBER:
        if (len < 4) return invalid();
        node(parent, opt, 0, size, "Option : %s(%u)=%lu", name, code, (unsigned long)opt.be32(2));
        break;
    default:
        node(parent, opt, 0, size, "Option : %s(%u) %ld bytes", name, code, len);
        break;
    }
}

// The size of the option at `at` when it lies wholly inside the data, else 0.
int whole_option(const Bytes& m, int at) {
    if (!m.has(at + 1, 1)) return 0;
    int size = m.u8(at + 1) + 2;
    return m.has(at, size) ? size : 0;
}

// The first pass: option 43 is read as PXE suboptions when the class identifier
// (option 60, wherever it stands before End) begins with "PXEClient".
bool pxe_client(const Bytes& m) {
    bool pxe = false;
    int at = OPTIONS_AT;
    while (at < m.size()) {
        uint8_t code = m.u8(at);
        if (code == 255) break;
        if (code == 0) {
            ++at;
            continue;
        }
        int size = whole_option(m, at);
        if (size == 0) break;
        if (code == 60) pxe = size - 2 >= 9 && std::memcmp(m.at(at + 2), "PXEClient", 9) == 0;
        at += size;
    }
    return pxe;
}

void options_walk(int32_t parent, const Bytes& m) {
    bool pxe = pxe_client(m);
    int at = OPTIONS_AT;
    while (at < m.size()) {
        uint8_t code = m.u8(at);
        if (code == 0) {
            int run = 1;
            while (at + run < m.size() && m.u8(at + run) == 0) ++run;
            node(parent, m, at, run, "Pad");
            at += run;
            continue;
        }
        if (code == 255) {
            node(parent, m, at, 1, "End Option");
            if (at + 1 < m.size()) node(parent, m, at + 1, m.size() - at - 1, "Pad");
            return;
        }
        int size = whole_option(m, at);
        if (size == 0) {
            if (!m.has(at + 1, 1))
                node(parent, m, at, 1, "%s : length byte missing at the end of the data", option_head(code));
            else
                node(parent, m, at, m.size() - at, "%s : length %u runs past the end of the data (%d bytes left)",
                     option_head(code), m.u8(at + 1), m.size() - at);
            return;
        }
        option_lines(parent, m.sub(at, size), pxe);
        at += size;
    }
}

// The fixed-header lines whose bytes are captured.
void header_lines(int32_t n, const Bytes& m) {
    if (m.has(0, 1)) node(n, m, 0, 1, "Message Type : %s", value_name(m.u8(0), message_types, 1, 0));
    if (m.has(1, 1)) node(n, m, 1, 1, "Hardware Address Type : %s", hardware_type_name(m.u8(1)));
    if (m.has(2, 1)) node(n, m, 2, 1, "Hardware Address Length : %lu", (unsigned long)m.u8(2));
    if (m.has(3, 1)) node(n, m, 3, 1, "Hops : %u", m.u8(3));
    if (m.has(4, 4)) node(n, m, 4, 4, "Transaction ID : 0x%08X", m.be32(4));
    if (m.has(8, 2)) node(n, m, 8, 2, "Seconds elapsed : %u", m.be16(8));
    if (m.has(10, 2)) node(n, m, 10, 2, "BROADCAST : %s", (m.be16(10) & 0x8000) ? "ON" : "OFF");
    if (m.has(12, 4)) node(n, m, 12, 4, "Client IP : %s", ipv4_text(m.at(12)));
    if (m.has(16, 4)) node(n, m, 16, 4, "Your(Client) IP : %s", ipv4_text(m.at(16)));
    if (m.has(20, 4)) node(n, m, 20, 4, "Next server IP : %s", ipv4_text(m.at(20)));
    if (m.has(24, 4)) node(n, m, 24, 4, "Relay agent IP : %s", ipv4_text(m.at(24)));
    if (m.has(2, 1)) {
        int h = m.u8(2);
        uint8_t type = m.u8(1);
        if (h == 0) {
            if (m.has(28, CHADDR_SIZE)) node(n, m, 28, CHADDR_SIZE, "Client hardware address : Nothing");
        } else if (h <= CHADDR_SIZE) {
            if (m.has(28, h))
                node(n, m, 28, h, "Client hardware address : %s", hardware_address_text(m.at(28), h, type));
        } else if (m.has(28, CHADDR_SIZE)) {
            // The field holds 16 bytes; more would be taken from the server host name.
            node(n, m, 28, CHADDR_SIZE, "Client hardware address : %s (length %d exceeds the 16-byte field)",
                 hardware_address_text(m.at(28), CHADDR_SIZE, type), h);
        }
    }
    if (m.has(44, 64))
        node(n, m, 44, 64, "Server host name : %s", m.u8(44) == 0 ? "Nothing" : escaped_text(m.at(44), 64));
    if (m.has(108, 128))
        node(n, m, 108, 128, "Boot file name : %s", m.u8(108) == 0 ? "Nothing" : escaped_text(m.at(108), 128));
}

}  // namespace

void decode_dhcp(int32_t parent, Bytes data) {
    if (parent == 0) {
        set_column("DHCP", 4, data.at(0), P_DHCP);
        if (!text_columns_wanted()) return;
        if (!data.has(0, FIXED))
            truncated_summary("DHCP", data);
        else
            set_columnf(5, nullptr, 0, "Message Type : %s", value_name(data.u8(0), message_types, 1, 0));
        return;
    }

    int32_t n = add_nodef(parent, data.at(0), data.size(), P_DHCP, "Dynamic Host Configuration Protocol");
    header_lines(n, data);
    if (!data.has(0, FIXED)) {
        truncated_line(n, data, FIXED);
        return;
    }
    if (data.has(236, 4)) {
        static const uint8_t cookie[4] = {0x63, 0x82, 0x53, 0x63};
        node(n, data, 236, 4, "Magic Cookie : %s", std::memcmp(data.at(236), cookie, 4) == 0 ? "OK" : "NG");
    } else {
        node(n, data, 236, 4, "Magic Cookie : %d of 4 bytes captured", data.size() - 236);
    }
    // Shorter messages have no options; the count never goes below 0.
    int options = data.size() > OPTIONS_AT ? data.size() - OPTIONS_AT : 0;
    int32_t o = node(n, data, OPTIONS_AT, options, "Options : %lu bytes", (unsigned long)options);
    options_walk(o, data);
}

}  // namespace zelpan
