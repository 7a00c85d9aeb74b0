// RSVP: the common header and the object walk, with the RSVP-TE, refresh-reduction
// and GMPLS objects and the integrated-services contents of FLOWSPEC, SENDER TSPEC
// and ADSPEC.
//
// Every object is read through its own view, clipped to its length and to the
// capture; the walks inside objects (subobjects, services, parameters) use views
// clipped again, so a length field can shorten a walk but never lead a read out.
#include <cstdio>
#include <cstring>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"

namespace zelpan {

namespace {

constexpr int HEADER = 8;
constexpr int OBJECT_HEADER = 4;

constexpr NameEntry message_types[] = {
    {1, "Path"}, {2, "Resv"}, {3, "Path Error"}, {4, "Resv Error"}, {5, "Path Teardown"},
    {6, "Resv Teardown"}, {7, "Confirmation"}, {10, "RESV TEAR CONFIRM Message"}, {12, "Bundle"},
    {13, "ACK Message"}, {15, "Srefresh"}, {20, "Hello"}, {0, nullptr},
};

constexpr NameEntry classes[] = {
    {0, "NULL"}, {1, "SESSION"}, {3, "HOP"}, {4, "INTEGRITY"}, {5, "TIME VALUES"}, {6, "ERROR"},
    {7, "SCOPE"}, {8, "STYLE"}, {9, "FLOWSPEC"}, {10, "FILTER SPEC"}, {11, "SENDER TEMPLATE"},
    {12, "SENDER TSPEC"}, {13, "ADSPEC"}, {14, "POLICY"}, {15, "CONFIRM"}, {16, "LABEL"},
    {19, "LABEL REQUEST"}, {20, "EXPLICIT ROUTE"}, {21, "RECORD ROUTE"}, {22, "HELLO"},
    {23, "MESSAGE-ID"}, {24, "MESSAGE-ID ACK/NACK"}, {25, "MESSAGE-ID LIST"},
    {34, "RECOVERY-LABEL object"}, {35, "UPSTREAM-LABEL object"}, {36, "LABEL-SET object"},
    {37, "PROTECTION object"}, {129, "SUGGESTED-LABEL object"}, {130, "ACCEPTABLE-LABEL-SET object"},
    {131, "RESTART-CAPABILITY object"}, {195, "NOTIFY-REQUEST object"}, {196, "ADMIN-STATUS object"},
    {207, "SESSION ATTRIBUTE"}, {225, "DCLASS"}, {227, "LSP-TUNNEL INTERFACE-ID object"},
    {0, nullptr},
};

constexpr NameEntry error_codes[] = {
    {1, "Admission Control failure"}, {2, "Policy Control failure"},
    {3, "No Path information for this Resv message"}, {4, "No sender information for this Resv message"},
    {5, "Conflicting reservation style"}, {6, "Unknown reservation style"},
    {7, "Conflicting destination ports"}, {8, "Conflicting source ports"}, {12, "Service preempted"},
    {13, "Unknown object class"}, {14, "Unknown object C-Type"}, {21, "Traffic Control error"},
    {22, "Traffic Control System error"}, {23, "RSVP System error"}, {24, "Routing Problem"},
    {25, "Notify Error"}, {0, nullptr},
};

// Option vector: sharing control (bits 4-3) and sender selection (bits 2-0).
constexpr NameEntry styles[] = {
    {0x11, "Wildcard Filter"}, {0x0A, "Fixed Filter"}, {0x12, "Shared-Explicit"}, {0, nullptr},
};

// Service numbers of FLOWSPEC and SENDER TSPEC. Service 1 is the default
// service header of a sender's TSpec, shown spelled out.
constexpr NameEntry qos_services[] = {
    {1, "Traffic specification"}, {2, "Guaranteed rate QoS"}, {5, "Controlled-Load QoS"},
    {6, "Null-Service QoS"}, {128, "Qualitative QoS"}, {0, nullptr},
};
// Service numbers of ADSPEC fragments.
constexpr NameEntry adspec_services[] = {
    {1, "Default General Parameters"}, {2, "Guaranteed Service"}, {5, "Controlled-Load Service"},
    {0, nullptr},
};

constexpr int PARAM_COMPRESSION_HINT = 126;
constexpr int PARAM_TOKEN_BUCKET = 127;
constexpr int PARAM_NULL_SERVICE = 128;
constexpr int PARAM_GUARANTEED_RSPEC = 130;

constexpr NameEntry parameter_ids[] = {
    {PARAM_COMPRESSION_HINT, "Compression Hint"}, {PARAM_TOKEN_BUCKET, "Token bucket"},
    {PARAM_NULL_SERVICE, "Null Service"}, {PARAM_GUARANTEED_RSPEC, "Guaranteed rate RSpec"}, {0, nullptr},
};

constexpr NameEntry adspec_parameters[] = {
    {4, "Number-of-IS-hops param"}, {6, "Path-BW estimate"}, {8, "Minimum path latency"},
    {10, "Composed MTU"}, {133, "End-to-end composed value for C"}, {134, "End-to-end composed value for D"},
    {135, "Since-last-reshaping point composed C"}, {136, "Since-last-reshaping point composed D"},
    {0, nullptr},
};
constexpr int ADSPEC_PATH_BW = 6;

constexpr NameEntry encodings[] = {
    {1, "Packet"}, {2, "Ethernet v2/DIX"}, {3, "ANSI PDH"}, {4, "ETSI PDH"}, {5, "SDH ITU-T G.707"},
    {6, "SONET ANSI T1.105"}, {7, "Digital Wrapper"}, {8, "Lambda (photonic)"}, {9, "Fiber"},
    {10, "Ethernet 802.3"}, {11, "FiberChannel"}, {0, nullptr},
};

constexpr NameEntry switching_types[] = {
    {1, "Packet-Switch Capable-1 (PSC-1)"}, {2, "Packet-Switch Capable-2 (PSC-2)"},
    {3, "Packet-Switch Capable-3 (PSC-3)"}, {4, "Packet-Switch Capable-4 (PSC-4)"},
    {51, "Layer-2 Switch Capable (L2SC)"}, {100, "Time-Division-Multiplex Capable (TDM)"},
    {150, "Lambda-Switch Capable (LSC)"}, {200, "Fiber-Switch Capable (FSC)"}, {0, nullptr},
};

constexpr NameEntry gpids[] = {
    {0, "Unknown"}, {5, "Asynchronous mapping of E4"}, {6, "Asynchronous mapping of DS3/T3"},
    {7, "Asynchronous mapping of E3"}, {8, "Bit synchronous mapping of E3"},
    {9, "Byte synchronous mapping of E3"}, {10, "Asynchronous mapping of DS2/T2"},
    {11, "Bit synchronous mapping of DS2/T2"}, {13, "Asynchronous mapping of E1"},
    {14, "Byte synchronous mapping of E1"}, {15, "Byte synchronous mapping of 31 * DS0"},
    {16, "Asynchronous mapping of DS1/T1"}, {17, "Bit synchronous mapping of DS1/T1"},
    {18, "Byte synchronous mapping of DS1/T1"}, {19, "VC-11 in VC-12"}, {22, "DS1 SF Asynchronous"},
    {23, "DS1 ESF Asynchronous"}, {24, "DS3 M23 Asynchronous"}, {25, "DS3 C-Bit Parity Asynchronous"},
    {26, "VT/LOVC"}, {27, "STS SPE/HOVC"}, {28, "POS - No Scrambling, 16 bit CRC"},
    {29, "POS - No Scrambling, 32 bit CRC"}, {30, "POS - Scrambling, 16 bit CRC"},
    {31, "POS - Scrambling, 32 bit CRC"}, {32, "ATM mapping"}, {33, "Ethernet"}, {34, "SONET/SDH"},
    {36, "Digital Wrapper"}, {37, "Lambda"}, {38, "ANSI/ETSI PDH"},
    {40, "Link Access Protocol SDH (X.85 and X.86)"}, {41, "FDDI"}, {42, "DQDB"},
    {43, "FiberChannel-3 (Services)"}, {44, "HDLC"}, {45, "Ethernet V2/DIX (only)"},
    {46, "Ethernet 802.3 (only)"}, {0, nullptr},
};

constexpr NameEntry dscps[] = {
    {0, "CS0"}, {8, "CS1"}, {10, "AF11"}, {12, "AF12"}, {14, "AF13"}, {16, "CS2"}, {18, "AF21"},
    {20, "AF22"}, {22, "AF23"}, {24, "CS3"}, {26, "AF31"}, {28, "AF32"}, {30, "AF33"}, {32, "CS4"},
    {34, "AF41"}, {36, "AF42"}, {38, "AF43"}, {40, "CS5"}, {46, "EF"}, {48, "CS6"}, {56, "CS7"},
    {0, nullptr},
};

const char* message_name(uint8_t type) {
    const char* name = lookup_name(type, message_types);
    return name ? name : textf("Unknown(%u)", type);
}

// Contents shorter than their C-type's layout.
void short_contents(int32_t parent, const Bytes& c, int need) {
    node(parent, c, 0, c.size(), "Object contents too short : %d of %d bytes", c.size(), need);
}

// A walk inside an object met an element whose length does not fit: it ends here.
void overrun_line(int32_t parent, const Bytes& v, int at, const char* what, long length) {
    node(parent, v, at, v.size() - at, "%s : length %ld runs past the end of the object (%d bytes left)", what,
         length, v.size() - at);
}

void unknown_ctype(int32_t parent, const Bytes& o, uint8_t ctype) {
    node(parent, o, 3, 1, "C-Type : Unknown(%u)", ctype);
    node(parent, o, OBJECT_HEADER, o.size() - OBJECT_HEADER, "Data : %ld bytes", long(o.size() - OBJECT_HEADER));
}

long as_int(uint32_t bits) { return long(ieee_float_to_int(bits)); }

const char* gpid_text(uint16_t gpid) {
    const char* name = lookup_name(gpid, gpids);
    if (name) return textf("%s(%u)", name, gpid);
    if (gpid >= 0x0600) return textf("%s(0x%04X)", ethertype_name(gpid), gpid);
    return textf("Unknown(%u)", gpid);
}

// ---- integrated services ----

// The message header word of FLOWSPEC, SENDER TSPEC and ADSPEC.
bool intserv_header(int32_t parent, const Bytes& c) {
    if (!c.has(0, 4)) {
        short_contents(parent, c, 4);
        return false;
    }
    node(parent, c, 0, 1, "Message format version : %u", c.u8(0) >> 4);
    node(parent, c, 2, 2, "Data length : %u words", c.be16(2));
    return true;
}

void parameter_head(int32_t parent, const Bytes& p, uint8_t id) {
    node(parent, p, 0, 1, "Parameter ID : %s", value_name(id, parameter_ids, 1, 0));
    node(parent, p, 1, 1, "Parameter %u flags : 0x%02X", id, p.u8(1));
    node(parent, p, 2, 2, "Parameter %u data length : %ld words", id, long(p.be16(2)));
}

void token_bucket_lines(int32_t parent, const Bytes& p, const char* name) {
    int32_t t = node(parent, p, 0, p.size(), "%s", name);
    parameter_head(t, p, p.u8(0));
    if (!p.has(4, 20)) return short_contents(t, p.from(4), 20);
    node(t, p, 4, 4, "Token Bucket Rate : %ld", as_int(p.be32(4)));
    node(t, p, 8, 4, "Token Bucket Size : %ld", as_int(p.be32(8)));
    node(t, p, 12, 4, "Peak Data Rate : %ld", as_int(p.be32(12)));
    node(t, p, 16, 4, "Minimum Policed Unit [m] : %lu", (unsigned long)p.be32(16));
    node(t, p, 20, 4, "Maximum Packet Size [M] : %lu", (unsigned long)p.be32(20));
}

// The parameters after a service header. tspec: SENDER TSPEC's set of kinds,
// else FLOWSPEC's.
void parameter_lines(int32_t parent, const Bytes& v, bool tspec) {
    int at = 0;
    while (at < v.size()) {
        if (!v.has(at, 4)) return overrun_line(parent, v, at, "Parameter", 4);
        uint8_t id = v.u8(at);
        long words = v.be16(at + 2);
        if (!v.has(at + 4, int(words) * 4)) return overrun_line(parent, v, at, "Parameter", 4 + words * 4);
        Bytes p = v.sub(at, 4 + int(words) * 4);
        if (id == PARAM_TOKEN_BUCKET) {
            token_bucket_lines(parent, p, tspec ? "Token Bucket TSpec" : "Token Bucket");
        } else if (id == PARAM_NULL_SERVICE) {
            int32_t t = node(parent, p, 0, p.size(), "Null Service TSpec");
            parameter_head(t, p, id);
            if (p.has(4, 4))
                node(t, p, 4, 4, "Maximum packet size [M] : %lu", (unsigned long)p.be32(4));
            else
                short_contents(t, p.from(4), 4);
        } else if (id == PARAM_GUARANTEED_RSPEC && !tspec) {
            int32_t t = node(parent, p, 0, p.size(), "Guaranteed-Rate RSpec");
            parameter_head(t, p, id);
            if (p.has(4, 8)) {
                node(t, p, 4, 4, "Rate : %ld", as_int(p.be32(4)));
                node(t, p, 8, 4, "Slack Term : %lu", (unsigned long)p.be32(8));
            } else {
                short_contents(t, p.from(4), 8);
            }
        } else if (id == PARAM_COMPRESSION_HINT && tspec) {
            int32_t t = node(parent, p, 0, p.size(), "Compression Hint");
            parameter_head(t, p, id);
            if (p.has(4, 4))
                node(t, p, 4, 4, "Hint : %lu", (unsigned long)p.be32(4));
            else
                short_contents(t, p.from(4), 4);
        } else {
            node(parent, p, 0, p.size(), "Unknown parameter %u %ld words", id, words);
        }
        at += p.size();
    }
}

// FLOWSPEC and SENDER TSPEC: the header, then each service with its parameters.
void intserv_lines(int32_t parent, const Bytes& c, bool tspec) {
    if (!intserv_header(parent, c)) return;
    int at = 4;
    while (at < c.size()) {
        if (!c.has(at, 4)) return overrun_line(parent, c, at, "Service header", 4);
        uint8_t service = c.u8(at);
        long words = c.be16(at + 2);
        node(parent, c, at, 1, "Service header : %s", value_name(service, qos_services, 1, 0));
        node(parent, c, at + 2, 2, "Length of service : %ld data, %ld words", words * 4, words);
        if (!c.has(at + 4, int(words) * 4)) return overrun_line(parent, c, at, "Service", 4 + words * 4);
        parameter_lines(parent, c.sub(at + 4, int(words) * 4), tspec);
        at += 4 + int(words) * 4;
    }
}

void adspec_lines(int32_t parent, const Bytes& c) {
    if (!intserv_header(parent, c)) return;
    int at = 4;
    while (at < c.size()) {
        if (!c.has(at, 4)) return overrun_line(parent, c, at, "Service header", 4);
        uint8_t service = c.u8(at);
        long words = c.be16(at + 2);
        if (!c.has(at + 4, int(words) * 4)) return overrun_line(parent, c, at, "Fragment", 4 + words * 4);
        Bytes f = c.sub(at, 4 + int(words) * 4);
        const char* name = lookup_name(service, adspec_services);
        int32_t n = node(parent, f, 0, f.size(), "%s Fragment", name ? name : textf("Unknown(%u)", service));
        node(n, f, 0, 1, "Service header : %s", value_name(service, adspec_services, 1, 0));
        node(n, f, 1, 1, "Break bit : %s", (f.u8(1) & 0x80) ? "ON" : "OFF");
        node(n, f, 2, 2, "Data length : %ld words", words);
        int p = 4;
        while (p < f.size()) {
            if (!f.has(p, 4)) {
                overrun_line(n, f, p, "Parameter", 4);
                break;
            }
            uint8_t id = f.u8(p);
            long len = f.be16(p + 2);
            if (!f.has(p + 4, int(len) * 4)) {
                overrun_line(n, f, p, "Parameter", 4 + len * 4);
                break;
            }
            int size = 4 + int(len) * 4;
            const char* pname = lookup_name(id, adspec_parameters);
            if (!pname) {
                node(n, f, p, size, "Unknown ID %u length %ld", id, len);
            } else if (len >= 1) {
                uint32_t word = f.be32(p + 4);
                unsigned long value = id == ADSPEC_PATH_BW ? (unsigned long)as_int(word) : (unsigned long)word;
                node(n, f, p, size, "%s : %lu(length %ld)", pname, value, len);
            } else {
                node(n, f, p, size, "%s(length %ld)", pname, len);
            }
            p += size;
        }
        at += f.size();
    }
}

// ---- route subobjects ----

// EXPLICIT ROUTE (explicit) and RECORD ROUTE subobjects: type, length (whole
// subobject, in bytes), contents.
void route_lines(int32_t parent, const Bytes& c, bool explicit_route) {
    int at = 0;
    while (at < c.size()) {
        if (!c.has(at, 2)) return overrun_line(parent, c, at, "Subobject", 2);
        uint8_t first = c.u8(at);
        uint8_t type = explicit_route ? first & 0x7F : first;
        uint8_t len = c.u8(at + 1);
        if (len < 2) {
            // A length that cannot even hold the subobject's own header ends the walk.
            node(parent, c, at, 2, "Unknown subobject : Type(%u) length(%u)", type, len);
            return;
        }
        if (!c.has(at, len)) return overrun_line(parent, c, at, "Subobject", len);
        Bytes s = c.sub(at, len);
        const char* loose = (first & 0x80) ? "Loose Hop " : "Strict Hop";
        if (type == 1 && len >= 8) {
            int32_t n = node(parent, s, 0, len, "IPv4 Subobject");
            if (explicit_route) node(n, s, 0, 1, "L bit : %s", loose);
            node(n, s, 0, 1, "Type : IPv4(%u)", type);
            node(n, s, 1, 1, "Length : %u", len);
            node(n, s, 2, 4, "IPv4 address : %s", ipv4_text(s.at(2)));
            node(n, s, 6, 1, "Prefix length : %u", s.u8(6));
        } else if (type == 2 && len >= 20) {
            int32_t n = node(parent, s, 0, len, "IPv6 Subobject");
            if (explicit_route) node(n, s, 0, 1, "L bit : %s", loose);
            node(n, s, 0, 1, "Type : IPv6(%u)", type);
            node(n, s, 1, 1, "Length : %u", len);
            node(n, s, 2, 16, "IPv6 address : %s", ipv6_text(s.at(2)));
            node(n, s, 18, 1, "Prefix length : %u", s.u8(18));
        } else if (type == 3 && len >= 8) {
            int32_t n = node(parent, s, 0, len, "Label Subobject");
            node(n, s, 0, 1, "Type : Label(%u)", type);
            node(n, s, 2, 1, "Flags : 0x%02X", s.u8(2));
            node(n, s, 3, 1, "C-Type : %u", s.u8(3));
            node(n, s, 4, 4, "Label : %lu", (unsigned long)s.be32(4));
        } else if (type == 4 && len >= 12) {
            int32_t n = node(parent, s, 0, len, "Unnumbered Interface-ID");
            node(n, s, 4, 4, "Router-ID : %s", ipv4_text(s.at(4)));
            node(n, s, 8, 4, "Interface-ID : %lu", (unsigned long)s.be32(8));
        } else if (explicit_route && type == 32 && len >= 4) {
            int32_t n = node(parent, s, 0, len, "Autonomous System");
            node(n, s, 0, 1, "Type : Autonomous System Number(%u)", type);
            node(n, s, 2, 2, "Autonomous System : %u", s.be16(2));
        } else if (explicit_route && type == 64) {
            int32_t n = node(parent, s, 0, len, "LSP Path Termination");
            node(n, s, 0, 1, "Type : MPLS LSP Path Termination(%u)", type);
        } else {
            node(parent, s, 0, len, "Unknown subobject : Type(%u) length(%u)", type, len);
        }
        at += len;
    }
}

// HOP subobjects of the out-of-band form: type (2), length (2, whole TLV), value.
void hop_tlv_lines(int32_t parent, const Bytes& v) {
    int at = 0;
    while (at < v.size()) {
        if (!v.has(at, 4)) return overrun_line(parent, v, at, "HOP subobject", 4);
        uint16_t type = v.be16(at);
        long len = v.be16(at + 2);
        if (len < 4) {
            node(parent, v, at, 4, "Unknown HOP subobject : Type(%u) length(%ld)", type, len);
            return;
        }
        if (!v.has(at, int(len))) return overrun_line(parent, v, at, "HOP subobject", len);
        Bytes t = v.sub(at, int(len));
        if (type == 1 && len >= 8) {
            int32_t n = node(parent, t, 0, t.size(), "HOP subobject");
            node(n, t, 0, 2, "Type : IPv4(%u)", type);
            node(n, t, 2, 2, "Length : %ld", len);
            node(n, t, 4, 4, "IPv4 address : %s", ipv4_text(t.at(4)));
        } else if (type == 3 && len >= 12) {
            int32_t n = node(parent, t, 0, t.size(), "HOP subobject");
            node(n, t, 0, 2, "Type : Interface Index(%u)", type);
            node(n, t, 2, 2, "Length : %ld", len);
            node(n, t, 8, 4, "Interface ID : %lu", (unsigned long)t.be32(8));
        } else {
            node(parent, t, 0, t.size(), "Unknown HOP subobject : Type(%u) length(%ld)", type, len);
        }
        at += int(len);
    }
}

// ---- objects ----

// The contents of one object; o holds the whole object (header included), c its contents.
void object_contents(int32_t n, const Bytes& o, uint8_t cls, uint8_t ctype) {
    Bytes c = o.from(OBJECT_HEADER);
    auto need = [&](int count) {
        if (c.has(0, count)) return true;
        short_contents(n, c, count);
        return false;
    };
    auto ctype_line = [&](const char* kind) { node(n, o, 3, 1, "C-Type : %s(%u)", kind, ctype); };
    auto plain_ctype = [&] { node(n, o, 3, 1, "C-Type : %u", ctype); };

    switch (cls) {
    case 1:  // SESSION
        if (ctype == 1 || ctype == 2) {
            int a = ctype == 1 ? 4 : 16;
            ctype_line(ctype == 1 ? "IPv4" : "IPv6");
            if (!need(a + 4)) return;
            node(n, c, 0, a, "Destination Address : %s", a == 4 ? ipv4_text(c.at(0)) : ipv6_text(c.at(0)));
            node(n, c, a, 1, "Protocol Id : %s(%u)", ip_protocol_name(c.u8(a)), c.u8(a));
            node(n, c, a + 1, 1, "Flags : 0x%02X", c.u8(a + 1));
            node(n, c, a + 2, 2, "Destination Port : %u", c.be16(a + 2));
        } else if (ctype == 7) {
            ctype_line("IPv4 LSP");
            if (!need(12)) return;
            node(n, c, 0, 4, "IPv4 tunnel end point address : %s", ipv4_text(c.at(0)));
            node(n, c, 6, 2, "Tunnel ID : %u", c.be16(6));
            node(n, c, 8, 4, "Extended Tunnel ID : %s", ipv4_text(c.at(8)));
        } else {
            unknown_ctype(n, o, ctype);
        }
        return;
    case 3:  // HOP
        if (ctype == 1 || ctype == 2 || ctype == 3) {
            int a = ctype == 2 ? 16 : 4;
            ctype_line(ctype == 1 ? "IPv4" : ctype == 2 ? "IPv6" : "IPv4 Out-of-Band");
            if (!need(a + 4)) return;
            node(n, c, 0, a, "Next/Previous Hop Address : %s", a == 4 ? ipv4_text(c.at(0)) : ipv6_text(c.at(0)));
            node(n, c, a, 4, "Logical Interface Handle : 0x%08X", c.be32(a));
            if (ctype == 3) hop_tlv_lines(n, c.from(8));
        } else {
            unknown_ctype(n, o, ctype);
        }
        return;
    case 5:  // TIME VALUES
        if (ctype != 1) return unknown_ctype(n, o, ctype);
        plain_ctype();
        if (need(4)) node(n, c, 0, 4, "Refresh Period R : %lu msec", (unsigned long)c.be32(0));
        return;
    case 6:  // ERROR
        if (ctype == 1 || ctype == 2) {
            int a = ctype == 1 ? 4 : 16;
            ctype_line(ctype == 1 ? "IPv4" : "IPv6");
            if (!need(a + 4)) return;
            node(n, c, 0, a, "Error Node Address : %s", a == 4 ? ipv4_text(c.at(0)) : ipv6_text(c.at(0)));
            node(n, c, a, 1, "Flags : 0x%02X", c.u8(a));
            node(n, c, a + 1, 1, "Error Code : %s", value_name(c.u8(a + 1), error_codes, 1, 0));
            node(n, c, a + 2, 2, "Error Value : %u", c.be16(a + 2));
        } else {
            unknown_ctype(n, o, ctype);
        }
        return;
    case 7:  // SCOPE
    case 15: {  // CONFIRM
        if (ctype != 1 && ctype != 2) return unknown_ctype(n, o, ctype);
        int a = ctype == 1 ? 4 : 16;
        if (!need(a)) return;
        if (cls == 15) {
            if (a == 4)
                node(n, c, 0, 4, "IPv4 Receiver Address : %s", ipv4_text(c.at(0)));
            else
                node(n, c, 0, 16, "IPv6 Receiver Address : %s", ipv6_text(c.at(0)));
            return;
        }
        int at = 0;
        for (; c.has(at, a); at += a) {
            if (a == 4)
                node(n, c, at, 4, "IPv4 Address : %s", ipv4_text(c.at(at)));
            else
                node(n, c, at, 16, "IPv6 Address : %s", ipv6_text(c.at(at)));
        }
        if (at < c.size()) short_contents(n, c.from(at), a);
        return;
    }
    case 8: {  // STYLE
        if (ctype != 1) return unknown_ctype(n, o, ctype);
        plain_ctype();
        if (!need(4)) return;
        uint32_t vector = c.be24(1);
        node(n, c, 0, 1, "Flags : 0x%02X", c.u8(0));
        node(n, c, 1, 3, "Option Vector : 0x%06X", vector);
        node(n, c, 3, 1, "Style : %s", value_name(vector & 0x1F, styles, 1, 1));
        return;
    }
    case 9:  // FLOWSPEC
    case 12:  // SENDER TSPEC
        if (ctype != 2) return unknown_ctype(n, o, ctype);
        intserv_lines(n, c, cls == 12);
        return;
    case 13:  // ADSPEC
        if (ctype != 2) return unknown_ctype(n, o, ctype);
        adspec_lines(n, c);
        return;
    case 10:  // FILTER SPEC
    case 11:  // SENDER TEMPLATE
        if (ctype == 1 || ctype == 2) {
            int a = ctype == 1 ? 4 : 16;
            ctype_line(ctype == 1 ? "IPv4" : "IPv6");
            if (!need(a + 4)) return;
            node(n, c, 0, a, "Source Address : %s", a == 4 ? ipv4_text(c.at(0)) : ipv6_text(c.at(0)));
            node(n, c, a + 2, 2, "Source Port : %u", c.be16(a + 2));
        } else if (ctype == 7) {
            ctype_line("IPv4 LSP");
            if (!need(8)) return;
            node(n, c, 0, 4, "IPv4 tunnel sender address : %s", ipv4_text(c.at(0)));
            node(n, c, 6, 2, "LSP ID : %u", c.be16(6));
        } else {
            unknown_ctype(n, o, ctype);
        }
        return;
    case 16:   // LABEL
    case 35:   // UPSTREAM-LABEL
    case 129:  // SUGGESTED-LABEL
        if (ctype == 1) {
            ctype_line("Packet Label");
            if (need(4)) node(n, c, 0, 4, "Label : %lu", (unsigned long)c.be32(0));
        } else if (ctype == 2) {
            ctype_line("Generalized Label");
            if (need(4)) node(n, c, 0, 4, "Generalized Label : %lu", (unsigned long)c.be32(0));
        } else {
            unknown_ctype(n, o, ctype);
        }
        return;
    case 19:  // LABEL REQUEST
        if (ctype == 4) {
            plain_ctype();
            if (!need(4)) return;
            node(n, c, 0, 1, "LSP Encoding Type : %s", value_name(c.u8(0), encodings, 1, 0));
            node(n, c, 1, 1, "Switching Type : %s", value_name(c.u8(1), switching_types, 1, 0));
            node(n, c, 2, 2, "G-PID : %s", gpid_text(c.be16(2)));
        } else if (ctype >= 1 && ctype <= 3) {
            plain_ctype();
            if (!need(4)) return;
            uint16_t l3pid = c.be16(2);
            node(n, c, 2, 2, "L3PID : %s(0x%04X)", ethertype_name(l3pid), l3pid);
            // The ATM and Frame Relay forms carry a label range after it.
            if (c.size() > 4) node(n, c, 4, c.size() - 4, "Data : %ld bytes", long(c.size() - 4));
        } else {
            unknown_ctype(n, o, ctype);
        }
        return;
    case 20:  // EXPLICIT ROUTE
    case 21:  // RECORD ROUTE
        if (ctype != 1) return unknown_ctype(n, o, ctype);
        route_lines(n, c, cls == 20);
        return;
    case 22:  // HELLO
        if (ctype != 1 && ctype != 2) return unknown_ctype(n, o, ctype);
        ctype_line(ctype == 1 ? "HELLO REQUEST" : "HELLO ACK");
        if (!need(8)) return;
        node(n, c, 0, 4, "Source Instance : 0x%08X", c.be32(0));
        node(n, c, 4, 4, "Destination Instance : 0x%08X", c.be32(4));
        return;
    case 23:  // MESSAGE-ID
    case 24:  // MESSAGE-ID ACK/NACK
    case 25: {  // MESSAGE-ID LIST
        bool known = cls == 24 ? (ctype == 1 || ctype == 2) : ctype == 1;
        if (!known) return unknown_ctype(n, o, ctype);
        plain_ctype();
        if (!need(cls == 25 ? 4 : 8)) return;
        node(n, c, 0, 1, "Flags : 0x%02X", c.u8(0));
        node(n, c, 1, 3, "Epoch : %lu", (unsigned long)c.be24(1));
        if (cls == 23) {
            node(n, c, 4, 4, "Message-ID : %lu", (unsigned long)c.be32(4));
        } else if (cls == 24) {
            node(n, c, 4, 4, ctype == 1 ? "Message-ID ACK: %lu" : "Message-ID NACK: %lu", (unsigned long)c.be32(4));
        } else {
            int at = 4;
            for (; c.has(at, 4); at += 4) node(n, c, at, 4, "Message-ID LIST : %lu", (unsigned long)c.be32(at));
            if (at < c.size()) short_contents(n, c.from(at), 4);
        }
        return;
    }
    case 207: {  // SESSION ATTRIBUTE
        if (ctype != 7) return unknown_ctype(n, o, ctype);
        ctype_line("IPv4 LSP");
        if (!need(4)) return;
        uint8_t flags = c.u8(2);
        long length = c.u8(3);
        node(n, c, 0, 1, "Setup priority : %u", c.u8(0));
        node(n, c, 1, 1, "Hold priority : %u", c.u8(1));
        int32_t f = node(n, c, 2, 1, "Flags : 0x%02X", flags);
        node(f, c, 2, 1, "%s", flag_text8(flags, 7, "Local protection desired", "Local protection not desired"));
        node(f, c, 2, 1, "%s", flag_text8(flags, 6, "Merging permitted", "Merging not permitted"));
        node(f, c, 2, 1, "%s",
             flag_text8(flags, 5, "Ingress node may reroute", "Ingress node may not reroute"));
        node(n, c, 3, 1, "Name length : %ld", length);
        // The name never reaches beyond the object, whatever its length byte says.
        int shown = c.avail(4, int(length));
        node(n, c, 4, shown, "Name : %s", escaped_text(c.at(4), shown));
        return;
    }
    case 225: {  // DCLASS
        if (ctype != 1) return unknown_ctype(n, o, ctype);
        plain_ctype();
        int at = 0;
        for (; c.has(at, 4); at += 4) {
            uint8_t dscp = c.u8(at + 3) & 0x3F;
            node(n, c, at, 4, "DSCP : %s", value_name(dscp, dscps, 1, 1));
        }
        if (at < c.size()) short_contents(n, c.from(at), 4);
        return;
    }
    default:  // INTEGRITY, POLICY, ADMIN-STATUS, LSP-TUNNEL INTERFACE-ID and the rest
        node(n, c, 0, c.size(), "Data : %ld bytes", long(c.size()));
        return;
    }
}

void object_lines(int32_t parent, const Bytes& data) {
    int at = HEADER;
    while (at < data.size()) {
        if (!data.has(at, OBJECT_HEADER)) {
            node(parent, data, at, data.size() - at, "Object header truncated : %d of 4 bytes captured",
                 data.size() - at);
            return;
        }
        long length = data.be16(at);
        uint8_t cls = data.u8(at + 2), ctype = data.u8(at + 3);
        const char* name = lookup_name(cls, classes);
        Bytes o = data.sub(at, length < OBJECT_HEADER ? OBJECT_HEADER : int(length));
        int32_t n = node(parent, o, 0, o.size(), "%s", name ? name : "Unknown");
        node(n, o, 0, 2, "Length : %ld bytes", length);
        node(n, o, 2, 1, "Class-Num : %s", value_name(cls, classes, 1, 0));
        // A length that cannot hold the object's own header would never move the
        // walk on (0) or would step into the middle of it: the walk ends.
        if (length < OBJECT_HEADER) {
            node(n, o, 0, OBJECT_HEADER, "Invalid object length %ld : the object walk ends", length);
            return;
        }
        object_contents(n, o, cls, ctype);
        if (!data.has(at, int(length))) {
            node(n, o, 0, o.size(), "Object truncated : %d of %ld bytes captured", o.size(), length);
            return;
        }
        at += int(length);
    }
}

}  // namespace

void decode_rsvp(int32_t parent, Bytes data) {
    if (parent == 0) {
        set_column("RSVP", 4, data.at(0), P_RSVP);
        if (!text_columns_wanted()) return;
        if (!data.has(0, HEADER))
            truncated_summary("RSVP", data);
        else
            set_columnf(5, nullptr, 0, "Message : %s", message_name(data.u8(1)));
        return;
    }

    int32_t r = add_nodef(parent, data.at(0), data.size(), P_RSVP, "Resource ReSerVation Protocol");
    int32_t h = node(r, data, 0, HEADER, "Common Header");
    if (data.has(0, 1)) {
        node(h, data, 0, 1, "Version : %d", data.u8(0) >> 4);
        node(h, data, 0, 1, "Flags : 0x%02X", data.u8(0) & 0x0F);
    }
    if (data.has(1, 1)) node(h, data, 1, 1, "Message : %s", message_name(data.u8(1)));
    if (data.has(2, 2)) node(h, data, 2, 2, "Checksum : 0x%04X", data.be16(2));
    if (data.has(4, 1)) node(h, data, 4, 1, "Send-TTL : %u", data.u8(4));
    if (data.has(6, 2)) node(h, data, 6, 2, "Length : %ld bytes", long(data.be16(6)));
    if (!data.has(0, HEADER)) return truncated_line(h, data, HEADER);
    object_lines(r, data);
}

}  // namespace zelpan
