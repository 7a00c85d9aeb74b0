// Bridge protocols behind the spanning-tree SAP: spanning tree BPDUs (STP and
// RSTP) and the GARP applications GMRP and GVRP, which share the SAP and are told
// apart by the group address the frame was sent to.
#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"

namespace zelpan {

namespace {

constexpr int BPDU_FIXED = 4;   // protocol identifier, version, type
constexpr int CONFIG_BPDU = 35;
constexpr int RSTP_BPDU = 36;   // a configuration BPDU plus the version 1 length

constexpr NameEntry bpdu_types[] = {
    {0x00, "Configuration"}, {0x02, "Rapid Spanning Tree"}, {0x80, "Topology Change Notification"}, {0, nullptr},
};

const char* bridge_text(const Bytes& d, int at) { return textf("%u.%s", unsigned(d.be16(at)), mac_text(d.at(at + 2))); }

// The spanning tree part. named_by_garp: GMRP or GVRP has named the frame
// already, and a PDU that is not a BPDU must not take the summary over.
void decode_bpdu(int32_t parent, const Bytes& data, bool named_by_garp) {
    uint16_t id = data.be16(0);
    uint8_t version = data.u8(2);
    uint8_t type = data.u8(3);
    bool rstp = data.has(2, 1) && version == 2;
    const char* column = rstp ? "RSTP" : "STP";
    bool bpdu = data.has(0, 2) && id == 0;
    int need = !bpdu ? 2 : !data.has(3, 1) ? BPDU_FIXED : type == 0x80 ? BPDU_FIXED : CONFIG_BPDU;
    bool whole = data.has(0, need);

    if (parent == 0) {
        if (named_by_garp && !bpdu) return;
        set_column(column, 4, data.at(0), P_STP);
        if (!text_columns_wanted()) return;
        // Whatever the protocol identifier, the summary names the type byte.
        if (!whole || !data.has(3, 1))
            truncated_summary(column, data);
        else
            set_columnf(5, nullptr, 0, "BPDU Type : %s", value_name(type, bpdu_types, 1, 1));
        return;
    }

    int cover = !bpdu ? data.size() : data.avail(0, rstp && type == 0x02 ? RSTP_BPDU : need);
    int32_t n = add_nodef(parent, data.at(0), cover, P_STP, "%s", rstp ? "Rapid Spanning Tree Protocol" : "Spanning Tree Protocol");
    if (!data.has(0, 2)) {
        truncated_line(n, data, 2);
        return;
    }
    if (!bpdu) {
        node(n, data, 0, data.size(), "Unknown : Data %ld bytes", long(data.size()));
        return;
    }
    node(n, data, 0, 2, "Protocol Identifier : 0x%04X", unsigned(id));
    if (data.has(2, 1)) node(n, data, 2, 1, "Protocol Version Identifier : %u", unsigned(version));
    if (data.has(3, 1))
        node(n, data, 3, 1, "BPDU(Bridge Protocol Data Unit) Type : %s", value_name(type, bpdu_types, 1, 1));
    if (data.has(3, 1) && type == 0x80) return;

    if (data.has(4, 1)) {
        uint8_t f = data.u8(4);
        int32_t k = node(n, data, 4, 1, "Flags : 0x%02X", unsigned(f));
        node(k, data, 4, 1, "%s",
             flag_text8(f, 0, "Topology Change Acknowledgment(ON)", "Topology Change Acknowledgment(OFF)"));
        if (rstp) {
            node(k, data, 4, 1, "%s", flag_text8(f, 1, "Agreement(ON)", "Agreement(OFF)"));
            node(k, data, 4, 1, "%s", flag_text8(f, 2, "Forwarding(ON)", "Forwarding(OFF)"));
            node(k, data, 4, 1, "%s", flag_text8(f, 3, "Learning(ON)", "Learning(OFF)"));
            node(k, data, 4, 1, "%s : Port Role=%u", bit_text8(f, 4, 2), unsigned((f >> 2) & 3));
            node(k, data, 4, 1, "%s", flag_text8(f, 6, "Proposal(ON)", "Proposal(OFF)"));
        }
        node(k, data, 4, 1, "%s", flag_text8(f, 7, "Topology Change(ON)", "Topology Change(OFF)"));
    }
    if (data.has(5, 8)) node(n, data, 5, 8, "Root : %s", bridge_text(data, 5));
    if (data.has(13, 4)) node(n, data, 13, 4, "Root path cost : %lu", (unsigned long)data.be32(13));
    if (data.has(17, 8)) node(n, data, 17, 8, "Bridge : %s", bridge_text(data, 17));
    if (data.has(25, 2)) node(n, data, 25, 2, "Port : 0x%04X", unsigned(data.be16(25)));
    // Times are in 1/256 seconds; the first byte is the whole seconds.
    if (data.has(27, 2)) node(n, data, 27, 2, "Message Age : %u ", unsigned(data.u8(27)));
    if (data.has(29, 2)) node(n, data, 29, 2, "Max Age : %u ", unsigned(data.u8(29)));
    if (data.has(31, 2)) node(n, data, 31, 2, "Hello Time : %u ", unsigned(data.u8(31)));
    if (data.has(33, 2)) node(n, data, 33, 2, "Forward Delay : %u ", unsigned(data.u8(33)));
    if (!whole) truncated_line(n, data, need);
}

}  // namespace

void decode_stp(int32_t parent, Bytes data) {
    // GMRP and GVRP are sent to 01-80-C2-00-00-20 and -21.
    uint8_t last = ctx().destination_mac[5];
    bool garp = last == 0x20 || last == 0x21;
    if (garp) {
        bool gmrp = last == 0x20;
        const char* name = gmrp ? "GMRP" : "GVRP";
        if (parent == 0) {
            set_column(name, 4, data.at(0), gmrp ? P_GMRP : P_GVRP);
            if (text_columns_wanted()) set_columnf(5, nullptr, 0, "%s data %d octets", name, data.size());
        } else {
            int32_t n = add_nodef(parent, data.at(0), data.size(), gmrp ? P_GMRP : P_GVRP, "%s",
                                  gmrp ? "GARP Multicast Registration Protocol" : "GARP VLAN Registration Protocol");
            node(n, data, 0, data.size(), "Data : %d bytes", data.size());
        }
    }
    decode_bpdu(parent, data, garp);
}

}  // namespace zelpan
