// AppleTalk: the Datagram Delivery Protocol (long header, as carried in SNAP)
// and the Name-Binding Protocol it carries.
#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"

namespace zelpan {

namespace {

constexpr int DDP_HEADER = 13;
constexpr int NBP_HEADER = 2;
constexpr int TUPLE_FIXED = 5;  // network, node, socket, enumerator

constexpr NameEntry ddp_types[] = {
    {1, "AppleTalk Routing Table response or data"},
    {2, "AppleTalk Name-Binding Protocol packet"},
    {3, "AppleTalk Transaction Protocol packet"},
    {4, "AppleTalk Echo Protocol packet"},
    {5, "AppleTalk Routing Table request"},
    {6, "AppleTalk Zone Information Protocol packet"},
    {7, "AppleTalk Data Stream Protocol"},
    {88, "Cisco EIGRP for AppleTalk"},
    {0, nullptr},
};

constexpr NameEntry nbp_functions[] = {{2, "LOOKUP"}, {3, "REPLY"}, {4, "FORWARD REQUEST"}, {0, nullptr}};

// One length-prefixed name of a tuple. Returns the offset after it, or -1 when
// the name runs past the captured bytes (a line says so).
int name_line(int32_t parent, const Bytes& t, int at, const char* label) {
    if (!t.has(at, 1)) {
        node(parent, t, at, 0, "%s truncated : 0 of 1 bytes captured", label);
        return -1;
    }
    int len = t.u8(at);
    if (!t.has(at + 1, len)) {
        node(parent, t, at, 1 + len, "%s truncated : %d of %d bytes captured", label, t.size() - at - 1, len);
        return -1;
    }
    node(parent, t, at, 1 + len, "%s : %s", label, escaped_text(t.at(at + 1), len));
    return at + 1 + len;
}

// The captured bytes of the tuple at the start of t: the fixed part and the
// three names, as far as they go.
int tuple_size(const Bytes& t) {
    int at = TUPLE_FIXED;
    for (int k = 0; k < 3 && t.has(at, 1); ++k) at += 1 + t.u8(at);
    return at < t.size() ? at : t.size();
}

void decode_nbp(int32_t parent, const Bytes& data) {
    uint8_t function = data.u8(0) >> 4;
    int count = data.u8(0) & 0x0F;
    if (parent == 0) {
        set_column("NBP", 4, data.at(0), P_NBP);
        if (!text_columns_wanted()) return;
        if (!data.has(0, 1))
            truncated_summary("NBP", data);
        else
            set_columnf(5, nullptr, 0, "Operation : %s", value_name(function, nbp_functions, 1, 0));
        return;
    }

    int32_t n = add_nodef(parent, data.at(0), data.size(), P_NBP, "Name-Binding Protocol");
    if (!data.has(0, NBP_HEADER)) {
        if (data.has(0, 1)) {
            node(n, data, 0, 1, "Operation : %s", value_name(function, nbp_functions, 1, 0));
            node(n, data, 0, 1, "Count : %ld", long(count));
        }
        truncated_line(n, data, NBP_HEADER);
        return;
    }
    node(n, data, 0, 1, "Operation : %s", value_name(function, nbp_functions, 1, 0));
    node(n, data, 0, 1, "Count : %ld", long(count));

    // At most 15 tuples; the walk also ends where the captured bytes do.
    int at = NBP_HEADER;
    for (int k = 1; k <= count && at < data.size(); ++k) {
        Bytes t = data.from(at);
        int32_t e = node(n, t, 0, tuple_size(t), "Network Name %d", k);
        if (!t.has(0, TUPLE_FIXED)) {
            truncated_line(e, t, TUPLE_FIXED);
            return;
        }
        node(e, t, 0, 2, "Network number : %u", unsigned(t.be16(0)));
        node(e, t, 2, 1, "Node ID : %u", unsigned(t.u8(2)));
        node(e, t, 3, 1, "Socket number : %u", unsigned(t.u8(3)));
        int p = name_line(e, t, TUPLE_FIXED, "Object name");
        if (p >= 0) p = name_line(e, t, p, "Type name");
        if (p >= 0) p = name_line(e, t, p, "Zone name");
        if (p < 0) return;
        at += p;
    }
}

}  // namespace

void decode_ddp(int32_t parent, Bytes data) {
    bool whole = data.has(0, DDP_HEADER);
    unsigned hops = data.u8(0) >> 2;
    unsigned length = data.be16(0) & 0x3FF;
    uint8_t type = data.u8(12);
    // The payload the length announces, clipped to the capture; a length shorter
    // than the header itself is not believed.
    Bytes payload = length >= DDP_HEADER ? data.sub(DDP_HEADER, int(length) - DDP_HEADER) : data.from(DDP_HEADER);
    long announced = length >= DDP_HEADER ? long(length) - DDP_HEADER : long(payload.size());

    if (parent == 0) {
        if (text_columns_wanted() && data.has(4, 8)) {
            set_columnf(2, nullptr, 0, "%u.%u:%u", unsigned(data.be16(6)), unsigned(data.u8(9)),
                        unsigned(data.u8(11)));
            set_columnf(3, nullptr, 0, "%u.%u:%u", unsigned(data.be16(4)), unsigned(data.u8(8)),
                        unsigned(data.u8(10)));
        }
        set_column("DDP", 4, data.at(0), P_DDP);
        if (text_columns_wanted()) {
            if (!whole) {
                truncated_summary("DDP", data);
            } else {
                const char* name = lookup_name(type, ddp_types);
                if (name)
                    set_columnf(5, nullptr, 0, "%s data %ld octets", name, announced);
                else
                    set_columnf(5, nullptr, 0, "DDP data %ld octets", announced);
            }
        }
    } else {
        int32_t n = add_nodef(parent, data.at(0), data.avail(0, DDP_HEADER), P_DDP, "Datagram Delivery Protocol");
        if (data.has(0, 2)) {
            node(n, data, 0, 2, "Hop Count : %u", hops);
            node(n, data, 0, 2, "Length : %u", length);
        }
        if (data.has(2, 2)) node(n, data, 2, 2, "Checksum : 0x%02x%02x", unsigned(data.u8(2)), unsigned(data.u8(3)));
        if (data.has(4, 2)) node(n, data, 4, 2, "Destination network number : %u", unsigned(data.be16(4)));
        if (data.has(6, 2)) node(n, data, 6, 2, "Network of origin : %u", unsigned(data.be16(6)));
        if (data.has(8, 1)) node(n, data, 8, 1, "Destination node address : %u", unsigned(data.u8(8)));
        if (data.has(9, 1)) node(n, data, 9, 1, "Node of origin : %u", unsigned(data.u8(9)));
        if (data.has(10, 1)) node(n, data, 10, 1, "Destination socket number : %u", unsigned(data.u8(10)));
        if (data.has(11, 1)) node(n, data, 11, 1, "Source socket number : %u", unsigned(data.u8(11)));
        if (whole)
            node(n, data, 12, 1, "DDP protocol type : %s", value_name(type, ddp_types, 1, 0));
        else
            truncated_line(n, data, DDP_HEADER);
    }
    if (!whole) return;

    switch (type) {
    case 2: decode_nbp(parent, payload); break;
    case 22: decode_ipv4(parent, payload); break;
    default: data_line(parent, payload); break;
    }
}

}  // namespace zelpan
