// ARP (with RARP and Inverse ARP, told apart by the opcode) and AppleTalk ARP.
// Both share one layout: 8 fixed bytes, then sender hardware and protocol
// addresses and target hardware and protocol addresses of hlen and plen bytes.
#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"

namespace zelpan {

namespace {

constexpr int FIXED = 8;

constexpr NameEntry arp_opcodes[] = {
    {1, "REQUEST"}, {2, "REPLY"}, {3, "REQUEST REVERSE"}, {4, "REPLY REVERSE"},
    {5, "DRARP REQUEST"}, {6, "DRARP REPLY"}, {7, "DRARP ERROR"}, {8, "InARP REQUEST"},
    {9, "InARP REPLY"}, {0, nullptr},
};

constexpr NameEntry aarp_hardware_types[] = {{1, "Ethernet"}, {2, "Token Ring"}, {0, nullptr}};

// The byte-swapped rows let an opcode sent in little-endian order show its name.
constexpr NameEntry aarp_opcodes[] = {
    {1, "REQUEST"}, {2, "REPLAY"}, {3, "PROBE"}, {256, "REQUEST"}, {512, "REPLAY"}, {768, "PROBE"},
    {0, nullptr},
};

struct Variant {
    const char* column;
    const char* title;
    int protocol;
};

Variant arp_variant(uint16_t opcode) {
    switch (opcode) {
    case 3: case 4: return {"RARP", "Reverse Address Resolution Protocol", P_RARP};
    case 8: case 9: return {"InARP", "Inverse Address Resolution Protocol", P_INARP};
    default: return {"ARP", "Address Resolution Protocol", P_ARP};
    }
}

// Where the four addresses lie. Until both length bytes are captured only the
// fixed part is known, and the message ends there as far as we can tell.
struct Layout {
    int hlen = 0, plen = 0;
    int sha = FIXED, spa = FIXED, tha = FIXED, tpa = FIXED, end = FIXED;
};

Layout layout_of(const Bytes& d) {
    Layout l;
    if (d.has(4, 2)) {
        l.hlen = d.u8(4);
        l.plen = d.u8(5);
    }
    l.spa = l.sha + l.hlen;
    l.tha = l.spa + l.plen;
    l.tpa = l.tha + l.hlen;
    l.end = l.tpa + l.plen;
    return l;
}

// Address texts; the caller has checked that the bytes are captured.
const char* arp_hardware_text(const Bytes& d, int at, int len, uint16_t type) {
    if ((type == 1 || type == 6) && len == 6) return mac_text(d.at(at));
    return hex_text(d.at(at), len, ':');
}
const char* arp_protocol_text(const Bytes& d, int at, int len, uint16_t type) {
    if (type == 0x0800 && len == 4) return ipv4_text(d.at(at));
    return hex_text(d.at(at), len, ':');
}
const char* aarp_hardware_text(const Bytes& d, int at, int len, uint16_t type) {
    if ((type == 1 || type == 2) && len == 6) return mac_text(d.at(at));
    return hex_text(d.at(at), len, ':');
}
// An AppleTalk address: a pad byte, the network number and the node number.
const char* aarp_protocol_text(const Bytes& d, int at, int len, uint16_t type) {
    if (type == 0x809B && len == 4) return textf("%u.%u", d.be16(at + 1), d.u8(at + 3));
    return hex_text(d.at(at), len, ':');
}

using AddressText = const char* (*)(const Bytes&, int, int, uint16_t);

// The four address lines, each only when its bytes are all captured.
void address_lines(int32_t n, const Bytes& d, const Layout& l, const char* const labels[4],
                   AddressText hardware, AddressText protocol) {
    uint16_t htype = d.be16(0), ptype = d.be16(2);
    if (d.has(l.sha, l.hlen))
        node(n, d, l.sha, l.hlen, labels[0], hardware(d, l.sha, l.hlen, htype));
    if (d.has(l.spa, l.plen))
        node(n, d, l.spa, l.plen, labels[1], protocol(d, l.spa, l.plen, ptype));
    if (d.has(l.tha, l.hlen))
        node(n, d, l.tha, l.hlen, labels[2], hardware(d, l.tha, l.hlen, htype));
    if (d.has(l.tpa, l.plen))
        node(n, d, l.tpa, l.plen, labels[3], protocol(d, l.tpa, l.plen, ptype));
}

// Protocol type and the two lengths read the same in both decoders.
void middle_lines(int32_t n, const Bytes& d) {
    if (d.has(2, 2)) {
        uint16_t ptype = d.be16(2);
        node(n, d, 2, 2, "Protocol Address Space : %s(0x%04X)", ethertype_name(ptype), ptype);
    }
    if (d.has(4, 1)) node(n, d, 4, 1, "Hardware Address Length : %ld", long(d.u8(4)));
    if (d.has(5, 1)) node(n, d, 5, 1, "Protocol Address Length : %ld", long(d.u8(5)));
}

void arp_summary(const Bytes& d, const Layout& l, uint16_t opcode) {
    uint16_t htype = d.be16(0), ptype = d.be16(2);
    auto hw = [&](int at) { return arp_hardware_text(d, at, l.hlen, htype); };
    auto pa = [&](int at) { return arp_protocol_text(d, at, l.plen, ptype); };
    switch (opcode) {
    case 1: set_columnf(5, nullptr, 0, "Who has %s ? Tell %s", pa(l.tpa), pa(l.spa)); break;
    case 2: set_columnf(5, nullptr, 0, "%s is at %s", pa(l.spa), hw(l.sha)); break;
    case 3: case 8: set_columnf(5, nullptr, 0, "Who is %s ? Tell %s", hw(l.tha), hw(l.sha)); break;
    case 4: set_columnf(5, nullptr, 0, "%s is at %s", hw(l.tha), pa(l.tpa)); break;
    case 9: set_columnf(5, nullptr, 0, "%s is at %s", hw(l.sha), pa(l.spa)); break;
    default: set_columnf(5, nullptr, 0, "Unknown Opcode(%u)", opcode); break;
    }
}

void aarp_summary(const Bytes& d, const Layout& l, uint16_t opcode) {
    uint16_t htype = d.be16(0), ptype = d.be16(2);
    auto hw = [&](int at) { return aarp_hardware_text(d, at, l.hlen, htype); };
    auto pa = [&](int at) { return aarp_protocol_text(d, at, l.plen, ptype); };
    switch (opcode) {
    case 1: case 256: set_columnf(5, nullptr, 0, "Who has %s ? Tell %s", pa(l.tpa), pa(l.spa)); break;
    case 2: case 512: set_columnf(5, nullptr, 0, "%s is at %s", pa(l.spa), hw(l.sha)); break;
    case 3: case 768: set_columnf(5, nullptr, 0, "Is there a %s", pa(l.tpa)); break;
    default: set_columnf(5, nullptr, 0, "AppleTalk ARP Opcode=Unknown(%u)", opcode); break;
    }
}

}  // namespace

void decode_arp(int32_t parent, Bytes data) {
    Layout l = layout_of(data);
    // Without a captured opcode the message is shown as plain ARP.
    uint16_t opcode = data.has(6, 2) ? data.be16(6) : 0;
    Variant v = arp_variant(opcode);
    bool whole = data.has(0, l.end);

    if (parent == 0) {
        set_column(v.column, 4, data.at(0), v.protocol);
        if (!text_columns_wanted()) return;
        if (!whole)
            truncated_summary(v.column, data);
        else
            arp_summary(data, l, opcode);
        return;
    }

    // The detail node carries the ARP id for all three variants.
    int32_t n = add_nodef(parent, data.at(0), data.avail(0, l.end), P_ARP, "%s", v.title);
    if (data.has(0, 2)) node(n, data, 0, 2, "Hardware Address Space : %s", hardware_type_name(data.be16(0)));
    middle_lines(n, data);
    if (data.has(6, 2)) node(n, data, 6, 2, "Opcode : %s", value_name(opcode, arp_opcodes, 2, 0));
    static const char* const labels[4] = {
        "Source Hardware Address  : %s", "Source Protocol Address : %s",
        "Target Hardware Address  : %s", "Target Protocol Address : %s",
    };
    if (data.has(4, 2)) address_lines(n, data, l, labels, arp_hardware_text, arp_protocol_text);
    if (!whole) truncated_line(n, data, l.end);
}

void decode_aarp(int32_t parent, Bytes data) {
    Layout l = layout_of(data);
    uint16_t opcode = data.has(6, 2) ? data.be16(6) : 0;
    bool whole = data.has(0, l.end);

    if (parent == 0) {
        set_column("AARP", 4, data.at(0), P_AARP);
        if (!text_columns_wanted()) return;
        if (data.size() <= FIXED) {
            // Only the header is there: the opcode's text, without addresses.
            aarp_summary(data, Layout(), opcode);
        } else if (!whole) {
            truncated_summary("AARP", data);
        } else {
            aarp_summary(data, l, opcode);
        }
        return;
    }

    if (data.size() <= 0) return;
    int32_t n = add_nodef(parent, data.at(0), data.size(), P_AARP, "AppleTalk Address Resolution Protocol");
    if (data.has(0, 2))
        node(n, data, 0, 2, "Hardware Address Space : %s", value_name(data.be16(0), aarp_hardware_types, 2, 0));
    middle_lines(n, data);
    if (data.has(6, 2)) node(n, data, 6, 2, "Opcode : %s", value_name(opcode, aarp_opcodes, 2, 0));
    if (data.size() > FIXED) {
        static const char* const labels[4] = {
            "Source Hardware Address : %s", "Source Protocol Address : %s",
            "Target Hardware Address : %s", "Target Protocol Address : %s",
        };
        address_lines(n, data, l, labels, aarp_hardware_text, aarp_protocol_text);
        if (!whole) truncated_line(n, data, l.end);
    }
}

}  // namespace zelpan
