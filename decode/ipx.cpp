// Novell IPX: the network header, IPX RIP, SAP, and the hand-over to NetBIOS
// over IPX and NMPI by packet type and socket.
#include <cstdio>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"
#include "decode/netbios.h"

namespace zelpan {

namespace {

constexpr int IPX_HEADER = 30;
constexpr int RIP_ENTRY = 8;

constexpr NameEntry packet_types[] = {
    {0, "NLSP"}, {1, "Routing Information"}, {4, "Service Advertising"}, {5, "Sequenced"}, {17, "NCP"},
    {20, "Propagated"},
    {0, nullptr},
};

constexpr NameEntry sockets[] = {
    {0x0451, "NCP"}, {0x0452, "SAP"}, {0x0453, "RIP"}, {0x0455, "Novell NetBIOS"}, {0x0456, "Diagnostics"},
    {0x9001, "NLSP"}, {0x9004, "IPXWAN protocol"},
    {0, nullptr},
};

constexpr NameEntry rip_operations[] = {{1, "Request"}, {2, "Response"}, {0, nullptr}};

constexpr NameEntry sap_operations[] = {
    {1, "Request"}, {2, "Response"}, {3, "GetNearestServer Request"}, {4, "GetNearestServer Response"},
    {0, nullptr},
};

constexpr NameEntry server_types[] = {
    {0x0001, "User"}, {0x0002, "User Group"}, {0x0003, "Print Queue"}, {0x0004, "File Server"},
    {0x0005, "Job Server"}, {0x0007, "Print server"}, {0x0008, "Archive Queue"}, {0x0009, "Archive Server"},
    {0x000A, "Job Queue"}, {0x000B, "Administration"}, {0x0021, "NAS SNA Gateway"}, {0x0024, "Remote Bridge"},
    {0x0026, "Bridge Server"}, {0x0027, "TCP/IP Gateway Server"}, {0x002D, "Time Synchronization Server"},
    {0x0047, "Advertising Print Server"}, {0x004B, "Btrieve VAP 5.0"}, {0x004C, "Neware SQL VAP Server"},
    {0x0050, "Btrieve VAP 4.11"}, {0x0053, "Print Queue User"}, {0x007A, "TES-NetWare for VMS"},
    {0x0098, "NetWare Access Server"}, {0x009A, "Named Pipes Server"}, {0x009E, "Portable NetWare Server"},
    {0x0107, "NetWare 386"}, {0x0111, "Test Server"}, {0x0133, "NetWare Naming Services"},
    {0x0166, "NetWare Management"}, {0x026A, "NetWare Management Service Console"},
    {0x026B, "Time Synchronization Server"}, {0x027B, "NetWare Management Agent"},
    {0x0278, "NetWare Directory Server"}, {0x030C, "HP JetDirect / QuickSilver"},
    {0x0355, "Arcada Buckup Exec"}, {0x0361, "NETINELO"}, {0x03E1, "Univel UnixWare"},
    {0x0640, "Microsoft Gateway Services for NetWare"}, {0x064E, "Microsoft IIS"},
    {0x8002, "Intel NetPort Prints"},
    {0, nullptr},
};

// "%X.%02X%02X%02X%02X%02X%02X": network, then the six node bytes.
const char* address_text(const Bytes& h, int at) {
    const uint8_t* n = h.at(at + 4);
    return textf("%X.%02X%02X%02X%02X%02X%02X", h.be32(at), n[0], n[1], n[2], n[3], n[4], n[5]);
}

void rip(int32_t parent, const Bytes& d) {
    if (!d.has(0, 2)) {
        if (parent == 0) {
            set_column("IPX RIP", 4, d.at(0), P_IPXRIP);
            truncated_summary("IPX RIP", d);
        } else {
            truncated_line(add_nodef(parent, d.at(0), d.size(), P_IPXRIP, "IPX Routing Information Protocol"),
                           d, 2);
        }
        return;
    }
    uint16_t op = d.be16(0);
    const char* name = lookup_name(op, rip_operations);
    if (parent == 0) {
        set_column("IPX RIP", 4, d.at(0), P_IPXRIP);
        if (!text_columns_wanted()) return;
        if (name)
            set_columnf(5, nullptr, 0, "Operation : %s(%d)", name, op);
        else
            set_columnf(5, nullptr, 0, "Unknown operation=%u", op);
        return;
    }
    if (!name) {
        add_nodef(ROOT_NODE, d.at(0), d.size(), 0, "IPX RIP Unknown operation=%u length=%d", op, d.size());
        return;
    }
    int32_t top = add_nodef(parent, d.at(0), d.size(), P_IPXRIP, "IPX Routing Information Protocol");
    node(top, d, 0, 2, "Operation : %s(%d)", name, op);
    int entries = (d.size() - 2) / RIP_ENTRY;
    for (int i = 0; i < entries; ++i) {
        int at = 2 + i * RIP_ENTRY;
        int32_t e = node(top, d, at, RIP_ENTRY, "NetWork Entry %d", i + 1);
        const uint8_t* n = d.at(at);
        node(e, d, at, 4, "Network Number : 0x%02X%02X%02X%02X", n[0], n[1], n[2], n[3]);
        node(e, d, at + 4, 2, "Hops : %u", d.be16(at + 4));
        node(e, d, at + 6, 2, "Ticks : %u", d.be16(at + 6));
    }
}

void sap(int32_t parent, const Bytes& d) {
    uint16_t op = d.be16(0);
    if (parent == 0) {
        set_column("IPX SAP", 4, d.at(0), P_IPXSAP);
        if (!text_columns_wanted()) return;
        if (d.has(0, 2))
            set_columnf(5, nullptr, 0, "Operation : %s", value_name(op, sap_operations, 2, 0));
        else
            truncated_summary("IPX SAP", d);
        return;
    }
    int32_t top = add_nodef(parent, d.at(0), d.size(), P_IPXSAP, "Service Advertising Protocol");
    if (!d.has(0, 2)) {
        truncated_line(top, d, 2);
        return;
    }
    node(top, d, 0, 2, "Operation : %s", value_name(op, sap_operations, 2, 0));
    // Only the first server entry is shown; each field only when captured whole.
    if (!d.has(2, 2)) return;
    node(top, d, 2, 2, "Server Type : %s", value_name(d.be16(2), server_types, 2, 1));
    if (!d.has(4, 48)) return;
    node(top, d, 4, 48, "Server name : %s", printable_text(d.at(4), 48));
    if (!d.has(52, 4)) return;
    node(top, d, 52, 4, "Network number : %s", textf("%X", d.be32(52)));
    if (!d.has(56, 6)) return;
    node(top, d, 56, 6, "Node number : %s", mac_text(d.at(56)));
    if (!d.has(62, 2)) return;
    node(top, d, 62, 2, "Socket number : 0x%4X", d.be16(62));
    if (!d.has(64, 2)) return;
    node(top, d, 64, 2, "Intermediate network : %u", d.be16(64));
}

void header_lines(int32_t top, const Bytes& h) {
    if (h.has(0, 2)) node(top, h, 0, 2, "Checksum : 0x%02X%02X", h.u8(0), h.u8(1));
    if (h.has(2, 2)) node(top, h, 2, 2, "Length : %u", h.be16(2));
    if (h.has(4, 1)) node(top, h, 4, 1, "Transport Control : %u", h.u8(4));
    if (h.has(5, 1)) node(top, h, 5, 1, "Packet Type : %s", value_name(h.u8(5), packet_types, 1, 1));
    for (int at : {6, 18}) {
        bool destination = at == 6;
        if (!h.has(at, 4)) return;
        const uint8_t* n = h.at(at);
        node(top, h, at, 4, "%s Network : 0x%02X%02X%02X%02X", destination ? "Destination" : "Source", n[0], n[1],
             n[2], n[3]);
        if (!h.has(at + 4, 6)) return;
        node(top, h, at + 4, 6, "%s Node : %s", destination ? "Destination" : "Source", mac_text(h.at(at + 4)));
        if (!h.has(at + 10, 2)) return;
        node(top, h, at + 10, 2, "%s Socket : %s", destination ? "Destination" : "Source",
             value_name(h.be16(at + 10), sockets, 2, 1));
    }
}

}  // namespace

void decode_ipx(int32_t parent, Bytes data) {
    bool spx = ctx().network_type == 0x8137;
    const char* name = spx ? "IPX/SPX" : "IPX";
    int protocol = spx ? P_IPXSPX : P_IPX;
    bool whole = data.has(0, IPX_HEADER);
    // The header's own count of data bytes; a length field below 30 gives a
    // negative count, shown as it stands so the malformed field is visible.
    int announced = int(data.be16(2)) - IPX_HEADER;

    if (parent == 0) {
        if (whole && text_columns_wanted()) {
            set_column(address_text(data, 18), 2, nullptr, 0);
            set_column(address_text(data, 6), 3, nullptr, 0);
        }
        set_column(name, 4, data.at(0), protocol);
        if (!whole)
            truncated_summary(name, data);
        else if (text_columns_wanted())
            set_columnf(5, nullptr, 0, "%s data %d octets", name, announced);
    } else {
        int32_t top = add_nodef(parent, data.at(0), whole ? IPX_HEADER : data.size(), P_IPX,
                                "Internet Packet Exchange Protocol");
        header_lines(top, data);
        if (!whole) truncated_line(top, data, IPX_HEADER);
    }
    if (!whole) return;

    // The payload ends where the header says, or with the capture when that is
    // sooner; the view never holds fewer than no bytes.
    int payload_length = announced < data.size() - IPX_HEADER ? announced : data.size() - IPX_HEADER;
    Bytes payload = data.sub(IPX_HEADER, payload_length);
    uint8_t type = data.u8(5);
    uint16_t destination = data.be16(16), source = data.be16(28);
    auto either = [&](uint16_t socket) { return destination == socket || source == socket; };
    if ((type == 0 || type == 4) && either(0x0452))
        sap(parent, payload);
    else if ((type == 4 || type == 20) && either(0x0455))
        decode_nbipx(parent, payload, type);
    else if (type == 1 && either(0x0453))
        rip(parent, payload);
    else if (either(0x0551) || either(0x0553))
        decode_nmpi(parent, payload);
    else if (parent != 0)
        add_nodef(ROOT_NODE, payload.at(0), payload.size(), 0, "Data : %d bytes", payload_length);
}

}  // namespace zelpan
