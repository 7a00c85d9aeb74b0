// Linux cooked captures (what capturing on "any" gives: a pseudo header in place
// of the link header, versions 1 and 2) and raw IP links (no link header at all).
#include <cstring>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"

namespace zelpan {

namespace {

constexpr int COOKED_HEADER = 16;
constexpr int COOKED2_HEADER = 20;
constexpr int ADDRESS_FIELD = 8;  // the address field is 8 bytes, whatever the length says

constexpr NameEntry packet_types[] = {
    {0, "Unicast to us"},
    {1, "Broadcast"},
    {2, "Multicast"},
    {3, "Unicast to another host"},
    {4, "Sent by us"},
    {5, "Loopback"},
    {6, "To user space"},
    {7, "To kernel"},
    {0, nullptr},
};

// Linux ARPHRD_ numbers: the kind of device the frame was seen on.
constexpr NameEntry device_types[] = {
    {1, "Ethernet"},
    {24, "IEEE 1394"},
    {280, "CAN"},
    {512, "PPP"},
    {768, "IPIP tunnel"},
    {769, "IPv6-in-IPv6 tunnel"},
    {772, "Loopback"},
    {776, "SIT tunnel"},
    {778, "GRE tunnel"},
    {801, "IEEE 802.11"},
    {803, "IEEE 802.11 radiotap"},
    {823, "GRE6 tunnel"},
    {824, "Netlink"},
    {65534, "None"},
    {65535, "Void"},
    {0, nullptr},
};
constexpr uint16_t DEVICE_NETLINK = 824;

// Protocol values below the EtherTypes that the kernel puts in the protocol field.
constexpr uint16_t PROTOCOL_NOVELL_RAW = 0x0001;  // 802.3 frame without LLC: IPX
constexpr uint16_t PROTOCOL_LLC = 0x0004;         // 802.2 LLC frame
constexpr NameEntry cooked_protocols[] = {
    {PROTOCOL_NOVELL_RAW, "Novell 802.3"},
    {PROTOCOL_LLC, "IEEE 802.2 LLC"},
    {0x000C, "CAN"},
    {0x000D, "CAN FD"},
    {0, nullptr},
};

const char* protocol_text(uint16_t p) {
    const char* name = lookup_name(p, cooked_protocols);
    return name ? name : ethertype_name(p);
}

// The fields both versions share, at their positions in each.
struct Layout {
    int header;
    int protocol_at;
    int device_at;
    int packet_type_at, packet_type_size;
    int address_length_at, address_length_size;
    int address_at;
    const char* column_name;
    const char* node_name;
};
constexpr Layout v1 = {COOKED_HEADER, 14, 2, 0, 2, 4, 2, 6, "LINUX COOKED", "Linux Cooked Capture"};
constexpr Layout v2 = {COOKED2_HEADER, 0, 8, 10, 1, 11, 1, 12, "LINUX COOKED V2", "Linux Cooked Capture v2"};

uint32_t field(const Bytes& data, int at, int size) { return size == 1 ? data.u8(at) : data.be16(at); }

// The address as the length field gives it, cut to the 8 bytes of its field.
const char* address_text(const Bytes& data, const Layout& l) {
    int n = int(field(data, l.address_length_at, l.address_length_size));
    if (n > ADDRESS_FIELD) n = ADDRESS_FIELD;
    return hardware_address_text(data.at(l.address_at), n, data.be16(l.device_at));
}

void packet_type_line(int32_t n, const Bytes& data, const Layout& l) {
    uint32_t t = field(data, l.packet_type_at, l.packet_type_size);
    node(n, data, l.packet_type_at, l.packet_type_size, "Packet Type : %s", value_name(t, packet_types, 1, 0));
}
void device_line(int32_t n, const Bytes& data, const Layout& l) {
    node(n, data, l.device_at, 2, "Address Type : %s", value_name(data.be16(l.device_at), device_types, 2, 0));
}
void address_lines(int32_t n, const Bytes& data, const Layout& l) {
    node(n, data, l.address_length_at, l.address_length_size, "Address Length : %u",
         field(data, l.address_length_at, l.address_length_size));
    node(n, data, l.address_at, ADDRESS_FIELD, "Source : %s", address_text(data, l));
}
void protocol_line(int32_t n, const Bytes& data, const Layout& l) {
    uint16_t p = data.be16(l.protocol_at);
    node(n, data, l.protocol_at, 2, "Protocol : %s(0x%04X)", protocol_text(p), p);
}

// The detail lines in the order their fields lie in the header.
void header_lines(int32_t n, const Bytes& data, const Layout& l) {
    if (&l == &v1) {
        packet_type_line(n, data, l);
        device_line(n, data, l);
        address_lines(n, data, l);
        protocol_line(n, data, l);
    } else {
        protocol_line(n, data, l);
        node(n, data, 2, 2, "Reserved : 0x%04X", data.be16(2));
        node(n, data, 4, 4, "Interface Index : %u", data.be32(4));
        device_line(n, data, l);
        packet_type_line(n, data, l);
        address_lines(n, data, l);
    }
}

void decode_cooked_header(int32_t parent, Bytes data, const Layout& l) {
    if (!data.has(0, l.header)) {
        // Cut short: the name and what the capture holds, no field read past it.
        if (parent == 0) {
            set_column(l.column_name, 4, data.at(0), P_SLL);
            truncated_summary(l.column_name, data);
        } else {
            int32_t n = add_nodef(parent, data.at(0), data.size(), P_SLL, "%s", l.node_name);
            truncated_line(n, data, l.header);
        }
        return;
    }
    DecodeContext& c = ctx();
    uint16_t protocol = data.be16(l.protocol_at);
    uint16_t device = data.be16(l.device_at);
    uint32_t address_length = field(data, l.address_length_at, l.address_length_size);
    if (address_length == 6) std::memcpy(c.source_mac, data.at(l.address_at), 6);
    c.network_type = protocol;
    Bytes payload = data.from(l.header);

    if (parent == 0) {
        if (text_columns_wanted()) {
            // The address is the sender's: ours for frames we sent, the peer's otherwise.
            set_column(address_length ? address_text(data, l) : "N/A", 2, nullptr, 0);
            set_column("N/A", 3, nullptr, 0);
        }
        set_column(l.column_name, 4, data.at(0), P_SLL);
        if (text_columns_wanted())
            set_columnf(5, nullptr, 0, "%s data %d octets (%s)", l.column_name, payload.size(),
                        value_name(field(data, l.packet_type_at, l.packet_type_size), packet_types, 1, 0));
    } else {
        int32_t n = add_nodef(parent, data.at(0), l.header, P_SLL, "%s", l.node_name);
        header_lines(n, data, l);
    }

    // A netlink device carries a netlink family in the protocol field, not an EtherType.
    if (device != DEVICE_NETLINK) {
        if (protocol == PROTOCOL_LLC) {
            decode_llc(parent, payload);
            return;
        }
        if (protocol == PROTOCOL_NOVELL_RAW) {
            c.network_type = 0x8137;  // IPX as Ethernet II's type would name it
            decode_ipx(parent, payload);
            return;
        }
        // Version 1 ends with its protocol field, so the PPP control types can be
        // read from there as from Ethernet II's type field.
        Bytes type_onward = &l == &v1 ? data.from(l.protocol_at) : Bytes();
        if (dispatch_ethertype(protocol, parent, payload, type_onward)) return;
    }
    data_line(parent, payload);
}

}  // namespace

void decode_cooked(int32_t parent, Bytes data) { decode_cooked_header(parent, data, v1); }

void decode_cooked2(int32_t parent, Bytes data) { decode_cooked_header(parent, data, v2); }

void decode_raw_ip(int32_t parent, Bytes data) {
    if (data.empty()) return;
    unsigned version = data.u8(0) >> 4;
    if (version == 4) {
        ctx().network_type = 0x0800;
        decode_ipv4(parent, data);
    } else if (version == 6) {
        ctx().network_type = 0x86DD;
        decode_ipv6(parent, data);
    } else {
        if (parent == 0 && text_columns_wanted())
            set_columnf(5, nullptr, 0, "Unknown IP version %u, %d octets", version, data.size());
        data_line(parent, data);
    }
}

}  // namespace zelpan
