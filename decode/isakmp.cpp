// ISAKMP/IKE: the fixed header and the payload chain, with security
// association proposals and transforms, identification, certificates,
// notifications, deletes and the mode-config attribute payload.
//
// Numbers follow the ISAKMP, IKE and IPsec DOI assignments. Every walk ends on
// the data's end or on a length that cannot move it forward.
#include <cstdio>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"
#include "decode/text_format.h"

namespace zelpan {

namespace {

constexpr int HEADER = 28;
constexpr int MAX_DEPTH = 3;  // SA > proposal > transform

struct Range {
    uint32_t low, high;
    const char* name;
};

const char* range_name(uint32_t v, const Range* table, const char* other) {
    for (const Range* r = table; r->name; ++r)
        if (v >= r->low && v <= r->high) return r->name;
    return other;
}

constexpr Range payload_types[] = {
    {0, 0, "NONE"}, {1, 1, "Security Association(SA)"}, {2, 2, "Proposal(P)"}, {3, 3, "Transform(T)"},
    {4, 4, "Key Exchange(KEY)"}, {5, 5, "Identification(ID)"}, {6, 6, "Certificate(CERT)"},
    {7, 7, "Certificate Request(CR)"}, {8, 8, "Hash(HASH)"}, {9, 9, "Signature(SIG)"}, {10, 10, "Nonce(NONCE)"},
    {11, 11, "Notification(N)"}, {12, 12, "Delete(D)"}, {13, 13, "Vendor ID(VID)"}, {14, 14, "Attrib"},
    {15, 127, "RESERVED"}, {128, 255, "Private USE"},
    {0, 0, nullptr},
};

constexpr Range exchange_types[] = {
    {0, 0, "NONE"}, {1, 1, "Base"}, {2, 2, "Identity Protection"}, {3, 3, "Authentication Only"},
    {4, 4, "Aggressive"}, {5, 5, "Informational"}, {6, 6, "Transaction"}, {7, 31, "ISAKMP Future Use"},
    {32, 32, "Quick Mode"}, {33, 33, "New Group Mode"}, {34, 239, "DOI Specific Use"}, {240, 255, "Private Use"},
    {0, 0, nullptr},
};

constexpr Range notify_types[] = {
    {1, 1, "INVALID-PAYLOAD-TYPE"}, {2, 2, "DOI-NOT-SUPPORTED"}, {3, 3, "SITUATION-NOT-SUPPORTED"},
    {4, 4, "INVALID-COOKIE"}, {5, 5, "INVALID-MAJOR-VERSION"}, {6, 6, "INVALID-MINOR-VERSION"},
    {7, 7, "INVALID-EXCHANGE-TYPE"}, {8, 8, "INVALID-FLAGS"}, {9, 9, "INVALID-MESSAGE-ID"},
    {10, 10, "INVALID-PROTOCOL-ID"}, {11, 11, "INVALID-SPI"}, {12, 12, "INVALID-TRANSFORM-ID"},
    {13, 13, "ATTRIBUTES-NOT-SUPPORTED"}, {14, 14, "NO-PROPOSAL-CHOSEN"}, {15, 15, "BAD-PROPOSAL-SYNTAX"},
    {16, 16, "PAYLOAD-MALFORMED"}, {17, 17, "INVALID-KEY-INFORMATION"}, {18, 18, "INVALID-ID-INFORMATION"},
    {19, 19, "INVALID-CERT-ENCODING"}, {20, 20, "INVALID-CERTIFICATE"}, {21, 21, "CERT-TYPE-UNSUPPORTED"},
    {22, 22, "INVALID-CERT-AUTHORITY"}, {23, 23, "INVALID-HASH-INFORMATION"}, {24, 24, "AUTHENTICATION-FAILED"},
    {25, 25, "INVALID-SIGNATURE"}, {26, 26, "ADDRESS-NOTIFICATION"}, {27, 27, "NOTIFY-SA-LIFETIME"},
    {28, 28, "CERTIFICATE-UNAVAILABLE"}, {29, 29, "UNSUPPORTED-EXCHANGE-TYPE"},
    {30, 30, "UNEQUAL-PAYLOAD-LENGTHS"}, {31, 8191, "RESERVED (Future Use)"}, {8192, 16383, "Private Use"},
    {16384, 16384, "CONNECTED"}, {16385, 24575, "RESERVED (Future Use) - status"},
    {24576, 24576, "RESPONDER-LIFETIME"}, {24577, 24577, "REPLAY-STATUS"}, {24578, 24578, "INITIAL-CONTACT"},
    {24579, 32767, "DOI-specific codes"}, {32768, 40959, "Private Use - status"},
    {40960, 65535, "RESERVED (Future Use) - status"},
    {0, 0, nullptr},
};

constexpr Range cfg_types[] = {
    {0, 0, "Reserved"}, {1, 1, "ISAKMP_CFG_REQUEST"}, {2, 2, "ISAKMP_CFG_REPLY"}, {3, 3, "ISAKMP_CFG_SET"},
    {4, 4, "ISAKMP_CFG_ACK"}, {5, 127, "Future use"}, {128, 255, "Private use"},
    {0, 0, nullptr},
};

constexpr NameEntry cfg_attributes[] = {
    {1, "INTERNAL_IP4_ADDRESS"}, {2, "INTERNAL_IP4_NETMASK"}, {3, "INTERNAL_IP4_DNS"},
    {4, "INTERNAL_IP4_NBNS"}, {5, "INTERNAL_ADDRESS_EXPIRY"}, {6, "INTERNAL_IP4_DHCP"},
    {7, "APPLICATION_VERSION"}, {8, "INTERNAL_IP6_ADDRESS"}, {9, "INTERNAL_IP6_NETMASK"},
    {10, "INTERNAL_IP6_DNS"}, {11, "INTERNAL_IP6_NBNS"}, {12, "INTERNAL_IP6_DHCP"},
    {13, "INTERNAL_IP4_SUBNET"}, {14, "SUPPORTED_ATTRIBUTES"}, {15, "INTERNAL_IP6_SUBNET"},
    {16520, "XAUTH_TYPE"}, {16521, "XAUTH_USER_NAME"}, {16522, "XAUTH_USER_PASSWORD"},
    {16523, "XAUTH_PASSCODE"}, {16524, "XAUTH_MESSAGE"}, {16525, "XAUTH_CHALLANGE"}, {16526, "XAUTH_DOMAIN"},
    {16527, "XAUTH_STATUS"}, {16528, "XAUTH_NEXT_PIN"}, {16529, "XAUTH_ANSWER"},
    {0, nullptr},
};

constexpr NameEntry protocol_ids[] = {
    {1, "PROTO_ISAKMP"}, {2, "PROTO_IPSEC_AH"}, {3, "PROTO_IPSEC_ESP"}, {4, "PROTO_IPCOMP"}, {0, nullptr},
};

constexpr NameEntry ike_transforms[] = {{1, "KEY_IKE"}, {0, nullptr}};
constexpr NameEntry ah_transforms[] = {
    {2, "AH_MD5"}, {3, "AH_SHA"}, {4, "AH_DES"}, {5, "AH_SHA2-256"}, {6, "AH_SHA2-384"}, {7, "AH_SHA2-512"},
    {0, nullptr},
};
constexpr NameEntry esp_transforms[] = {
    {1, "ESP_DES_IV64"}, {2, "ESP_DES"}, {3, "ESP_3DES"}, {4, "ESP_RC5"}, {5, "ESP_IDEA"}, {6, "ESP_CAST"},
    {7, "ESP_BLOWFISH"}, {8, "ESP_3IDEA"}, {9, "ESP_DES_IV32"}, {10, "ESP_RC4"}, {11, "ESP_NULL"},
    {12, "ESP_AES"},
    {0, nullptr},
};
constexpr NameEntry ipcomp_transforms[] = {
    {1, "IPCOMP_OUI"}, {2, "IPCOMP_DEFLATE"}, {3, "IPCOMP_LZS"}, {4, "IPCOMP_LZJH"}, {0, nullptr},
};

constexpr NameEntry id_types[] = {
    {1, "ID_IPV4_ADDR"}, {2, "ID_FQDN"}, {3, "ID_USER_FQDN"}, {4, "ID_IPV4_ADDR_SUBNET"}, {5, "ID_IPV6_ADDR"},
    {6, "ID_IPV6_ADDR_SUBNET"}, {7, "ID_IPV4_ADDR_RANGE"}, {8, "ID_IPV6_ADDR_RANGE"}, {9, "ID_DER_ASN1_DN"},
    {10, "ID_DER_ASN1_GN"}, {11, "ID_KEY_ID"},
    {0, nullptr},
};

constexpr NameEntry cert_encodings[] = {
    {1, "PKCS #7 wrapped X.509 certificate"}, {2, "PGP Certificate"}, {3, "DNS Signed Key"},
    {4, "X.509 Certificate - Signature"}, {5, "X.509 Certificate - Key Exchange"}, {6, "Kerberos Tokens"},
    {7, "Certificate Revocation List (CRL)"}, {8, "Authority Revocation List (ARL)"}, {9, "SPKI Certificate"},
    {10, "X.509 Certificate - Attribute"},
    {0, nullptr},
};

// Attribute values. A table of null names means the value is a number, named by
// the table's fallback text.
constexpr NameEntry life_types[] = {{1, "seconds"}, {2, "kilobytes"}, {0, nullptr}};
constexpr NameEntry encapsulations[] = {
    {1, "Tunnel"}, {2, "Transport"}, {3, "UDP Encapsulated Tunnel"}, {4, "UDP Encapsulated Transport"},
    {61441, "Check Point IPSec UDP Encapsulation"}, {61443, "UDP Encapsulated Tunnel"},
    {61444, "UDP Encapsulated Transport"},
    {0, nullptr},
};
constexpr NameEntry authentications[] = {
    {1, "HMAC-MD5"}, {2, "HMAC-SHA"}, {3, "DES-MAC"}, {4, "KPDK"}, {5, "HMAC-SHA2-256"}, {6, "HMAC-SHA2-384"},
    {7, "HMAC-SHA2-512"},
    {0, nullptr},
};
constexpr NameEntry encryptions[] = {
    {1, "DES-CBC"}, {2, "IDEA-CBC"}, {3, "BLOWFISH-CBC"}, {4, "RC5-R16-B64-CBC"}, {5, "3DES-CBC"},
    {6, "CAST-CBC"}, {7, "AES-CBC"},
    {0, nullptr},
};
constexpr NameEntry hashes[] = {
    {1, "MD5"}, {2, "SHA"}, {3, "TIGER"}, {4, "SHA2-256"}, {5, "SHA2-384"}, {6, "SHA2-512"}, {0, nullptr},
};
constexpr NameEntry auth_methods[] = {
    {1, "PSK"}, {2, "DSS-SIG"}, {3, "RSA-SIG"}, {4, "RSA-ENC"}, {5, "RSA-Revised-ENC"},
    {64221, "HybridInitRSA"}, {64222, "HybridRespRSA"}, {64223, "HybridInitDSS"}, {64224, "HybridRespDSS"},
    {65001, "XAUTHInitPreShared"}, {65002, "XAUTHRespPreShared"}, {65003, "XAUTHInitDSS"},
    {65004, "XAUTHRespDSS"}, {65005, "XAUTHInitRSA"}, {65006, "XAUTHRespRSA"},
    {65007, "XAUTHInitRSAEncryption"}, {65008, "XAUTHRespRSAEncryption"},
    {65009, "XAUTHInitRSARevisedEncryption"}, {65010, "XAUTHRespRSARevisedEncryption"},
    {0, nullptr},
};
constexpr NameEntry group_types[] = {{1, "MODP"}, {2, "ECP"}, {3, "EC2N"}, {0, nullptr}};

struct AttributeType {
    uint32_t type;
    const char* name;
    const NameEntry* values;  // nullptr: a number
    const char* other;        // name of a number, or of an unknown value
};

// Phase 1 (ISAKMP protocol) attributes.
constexpr AttributeType ike_attributes[] = {
    {1, "Encryption-Algorithm", encryptions, "unknown encryption algorithm"},
    {2, "Hash-Algorithm", hashes, "unknown hash algorithm"},
    {3, "Authentication-Method", auth_methods, "unknown authentication value"},
    {4, "Group-Description", nullptr, "Group Value"},
    {5, "Group-Type", group_types, "unknown SA value"},
    {6, "Group-Prime/Irreducible-Polynomial", nullptr, "Group Value"},
    {7, "Group-Generator-One", nullptr, "Group Value"},
    {8, "Group-Generator-Two", nullptr, "Group Value"},
    {9, "Group-Curve-A", nullptr, "Group Value"},
    {10, "Group-Curve-B", nullptr, "Group Value"},
    {11, "Life-Type", life_types, "unknown SA value"},
    {12, "Life-Duration", nullptr, "Duration Value"},
    {13, "PRF", nullptr, "unknown SA value"},
    {14, "Key-Length", nullptr, "Key Length"},
    {15, "Field-Size", nullptr, "Key Length"},
    {16, "Group-Order", nullptr, "Group Value"},
    {0, nullptr, nullptr, nullptr},
};

// IPsec DOI (AH, ESP, IPCOMP) attributes.
constexpr AttributeType ipsec_attributes[] = {
    {1, "SA-Life-Type", life_types, "unknown SA value"},
    {2, "SA-Life-Duration", nullptr, "Duration Value"},
    {3, "Group-Description", nullptr, "Group Value"},
    {4, "Encapsulation-Mode", encapsulations, "unknown encapsulation value"},
    {5, "Authentication-Algorithm", authentications, "unknown authentication value"},
    {6, "Key-Length", nullptr, "Key Length"},
    {7, "Key-Rounds", nullptr, "Key Rounds"},
    {8, "Compress-Dictionary-Size", nullptr, "log2 size"},
    {9, "Compress-Private-Algorithm", nullptr, "unknown SA value"},
    {0, nullptr, nullptr, nullptr},
};

const char* payload_name(uint32_t t) { return range_name(t, payload_types, "RESERVED"); }

const char* doi_name(uint32_t doi) { return doi == 1 ? "IPSEC" : "Unknown"; }

// Up to four leading bytes of a value as a number.
unsigned long value_number(const Bytes& b, int at, int length) {
    unsigned long v = 0;
    for (int i = 0; i < length && i < 4; ++i) v = v << 8 | b.u8(at + i);
    return v;
}

// Data attributes (type/length/value or type/value), from at to end.
void transform_attributes(int32_t parent, const Bytes& b, int at, int end, int protocol) {
    const AttributeType* table = protocol == 1 ? ike_attributes : ipsec_attributes;
    while (at + 4 <= end && b.has(at, 4)) {
        uint16_t word = b.be16(at);
        uint32_t type = word & 0x7FFF;
        bool basic = word & 0x8000;
        int length = basic ? 2 : b.be16(at + 2);
        int value_at = basic ? at + 2 : at + 4;
        int size = basic ? 4 : 4 + length;
        if (value_at + length > end || !b.has(value_at, length)) {
            node(parent, b, at, end - at, "Data %ld bytes", long(end - at));
            return;
        }
        const AttributeType* a = table;
        while (a->name && a->type != type) ++a;
        unsigned long v = value_number(b, value_at, length);
        const char* type_name = a->name ? a->name : "unknown attribute type";
        const char* value;
        if (!a->name)
            value = "unknown SA value";
        else if (a->values)
            value = lookup_name(uint32_t(v), a->values) ? lookup_name(uint32_t(v), a->values) : a->other;
        else
            value = a->other;
        node(parent, b, at, size, "%s(%u) : %s(%lu)", type_name, type, value, v);
        at += size;
    }
}

void walk(int32_t parent, const Bytes& b, int at, int end, uint32_t first, int depth, int protocol);

// One payload body, [at, end) of b.
void body(int32_t p, const Bytes& b, int at, int end, uint32_t type, int depth, int protocol) {
    int length = end - at;
    if ((type == 1 || type == 2) && depth >= MAX_DEPTH) type = 255;  // nested too deep to be real
    switch (type) {
    case 1: {  // SA
        if (length < 4) break;
        uint32_t doi = b.be32(at);
        node(p, b, at, 4, "Domain of Interpretation(DOI) : %s(%lu)", doi_name(doi), (unsigned long)doi);
        if (doi != 1) {
            if (length > 4) node(p, b, at + 4, length - 4, "Situation : %ld bytes", long(length - 4));
            return;
        }
        if (length < 8) return;
        uint32_t s = b.be32(at + 4);
        char text[64] = "";
        static const char* const bits[3] = {"IDENTITY", "SECRECY", "INTEGRITY"};
        int n = 0;
        for (int i = 0; i < 3; ++i)
            if (s & (1u << i))
                n += format_textf(text + n, sizeof text - size_t(n), "%s%s", n ? " & " : "", bits[i]);
        node(p, b, at + 4, 4, "Situation : %s(%lu)", text, (unsigned long)s);
        walk(p, b, at + 8, end, 2, depth + 1, protocol);
        return;
    }
    case 2: {  // Proposal
        if (length < 4) break;
        uint8_t proto = b.u8(at + 1);
        int spi = b.u8(at + 2);
        node(p, b, at, 1, "Proposal : %u", b.u8(at));
        const char* name = lookup_name(proto, protocol_ids);
        node(p, b, at + 1, 1, "Protocol-Id : %s(%u)", name ? name : "UNKNOWN-PROTO-TYPE", proto);
        node(p, b, at + 2, 1, "SPI Size : %ld", long(spi));
        node(p, b, at + 3, 1, "Number of transforms : %ld", long(b.u8(at + 3)));
        if (spi > 0) node(p, b, at + 4, spi < length - 4 ? spi : length - 4, "SPI");
        if (4 + spi < length) walk(p, b, at + 4 + spi, end, 3, depth + 1, proto);
        return;
    }
    case 3: {  // Transform
        if (length < 4) break;
        uint8_t id = b.u8(at + 1);
        node(p, b, at, 1, "Transform : %u", b.u8(at));
        const NameEntry* table = protocol == 1   ? ike_transforms
                                 : protocol == 2 ? ah_transforms
                                 : protocol == 3 ? esp_transforms
                                 : protocol == 4 ? ipcomp_transforms
                                                 : nullptr;
        static const char* const unknown[5] = {"", "unknown transform type", "unknown AH transform type",
                                               "unknown ESP transform type", "unknown IPCOMP transform type"};
        if (table) {
            const char* name = lookup_name(id, table);
            node(p, b, at + 1, 1, "Transform-Id : %s(%u)", name ? name : unknown[protocol], id);
        } else {
            node(p, b, at + 1, 1, "Transform-Id : %u", id);
        }
        transform_attributes(p, b, at + 4, end, protocol);
        return;
    }
    case 4: node(p, b, at, length, "Key Exchange Data"); return;
    case 8: node(p, b, at, length, "Hash Data"); return;
    case 9: node(p, b, at, length, "Signature Data"); return;
    case 10: node(p, b, at, length, "Nonce Data"); return;
    case 13: node(p, b, at, length, "Vendor ID"); return;
    case 5: {  // ID
        if (length < 4) break;
        uint8_t id = b.u8(at), proto = b.u8(at + 1);
        uint16_t port = b.be16(at + 2);
        const char* name = lookup_name(id, id_types);
        node(p, b, at, 1, "ID Type : %s(%u)", name ? name : "unknown ID type", id);
        if (proto)
            node(p, b, at + 1, 1, "Protoco-Id : %s(%u)", ip_protocol_name(proto), proto);
        else
            node(p, b, at + 1, 1, "Protocol-Id : Unused");
        if (port)
            node(p, b, at + 2, 2, "Port : %u", port);
        else
            node(p, b, at + 2, 2, "Port : Unused");
        if (length > 4) node(p, b, at + 4, length - 4, "Identification Data");
        return;
    }
    case 6:
    case 7: {  // CERT, CR
        if (length < 1) break;
        uint8_t e = b.u8(at);
        const char* name = lookup_name(e, cert_encodings);
        node(p, b, at, 1, type == 6 ? "Certificate Encoding : %u(%s)" : "Certificate Type : %u(%s)", e,
             name ? name : "Unknown");
        if (length > 1) node(p, b, at + 1, length - 1, type == 6 ? "Certificate Data" : "Certificate Authority");
        return;
    }
    case 11: {  // N
        if (length < 8) break;
        uint32_t doi = b.be32(at);
        uint8_t proto = b.u8(at + 4);
        int spi = b.u8(at + 5);
        uint16_t message = b.be16(at + 6);
        const char* name = lookup_name(proto, protocol_ids);
        node(p, b, at, 4, "Domain of Interpretation(DOI) : %s(%lu)", doi_name(doi), (unsigned long)doi);
        node(p, b, at + 4, 1, "Protocol-Id : %s(%u)", name ? name : "UNKNOWN-PROTO-TYPE", proto);
        node(p, b, at + 5, 1, "SPI Size : %ld", long(spi));
        node(p, b, at + 6, 2, "Notify Message Type : %s(%u)", range_name(message, notify_types, "Unknown"), message);
        int rest = length - 8;
        if (spi > 0 && rest > 0) node(p, b, at + 8, spi < rest ? spi : rest, "Security Parameter Index(SPI)");
        if (rest > spi) node(p, b, at + 8 + spi, rest - spi, "Notification Data");
        return;
    }
    case 12: {  // D
        if (length < 8) break;
        uint32_t doi = b.be32(at);
        uint8_t proto = b.u8(at + 4);
        int spi = b.u8(at + 5);
        int count = b.be16(at + 6);
        const char* name = lookup_name(proto, protocol_ids);
        node(p, b, at, 4, "Domain of Interpretation(DOI) : %s(%lu)", doi_name(doi), (unsigned long)doi);
        node(p, b, at + 4, 1, "Protocol-Id : %s(%u)", name ? name : "UNKNOWN-PROTO-TYPE", proto);
        node(p, b, at + 5, 1, "SPI Size : %ld", long(spi));
        node(p, b, at + 6, 2, "Number of SPIs : %ld", long(count));
        // A zero SPI size shows no SPIs; the count cannot outrun the body.
        for (int i = 0; spi > 0 && i < count && at + 8 + (i + 1) * spi <= end; ++i)
            node(p, b, at + 8 + i * spi, spi, "Security Parameter Index(SPI)(%ld)", long(i + 1));
        return;
    }
    case 14: {  // Attrib
        if (length < 4) break;
        uint8_t t = b.u8(at);
        node(p, b, at, 1, "Type : %s(%u)", range_name(t, cfg_types, "Unknown"), t);
        node(p, b, at + 2, 2, "Identifier : %u", b.be16(at + 2));
        int a = at + 4;
        while (a + 4 <= end && b.has(a, 4)) {
            uint16_t word = b.be16(a);
            uint32_t kind = word & 0x7FFF;
            const char* n = lookup_name(kind, cfg_attributes);
            if (!n) n = "Unknown";
            if (word & 0x8000) {
                node(p, b, a, 4, "%s(%lu)", n, (unsigned long)b.be16(a + 2));
                a += 4;
                continue;
            }
            int len = b.be16(a + 2);
            if (a + 4 + len > end) {
                node(p, b, a, end - a, "Data %ld bytes", long(end - a));
                return;
            }
            node(p, b, a, 4 + len, "%s(%ld bytes)", n, long(len));
            a += 4 + len;
        }
        return;
    }
    default:
        break;
    }
    node(p, b, at, length, "Data %ld bytes", long(length));
}

// The payload chain of [at, end) of b, starting with type first.
void walk(int32_t parent, const Bytes& b, int at, int end, uint32_t first, int depth, int protocol) {
    uint32_t type = first;
    while (type != 0 && at < end) {
        int left = end - at;
        if (left < 4) {
            node(parent, b, at, left, "Data %ld bytes", long(left));
            return;
        }
        uint32_t next = b.u8(at);
        int length = b.be16(at + 2);
        bool enough = length <= left;
        int32_t p = node(parent, b, at, enough ? length : left, "%s Payloads", payload_name(type));
        if (!enough) {
            // In place of the header lines: the payload cannot be shown.
            node(p, b, at, left, "Payload not enough");
            return;
        }
        node(p, b, at, 1, "Next Payload : %s(%u)", payload_name(next), next);
        node(p, b, at + 2, 2, "Payload Length : %ld", long(length));
        if (length < 4) return;  // a length that cannot hold its own header ends the walk
        body(p, b, at + 4, at + length, type, depth, protocol);
        at += length;
        type = next;
    }
}

}  // namespace

void decode_isakmp(int32_t parent, Bytes data) {
    bool whole = data.has(0, HEADER);
    uint8_t exchange = data.u8(18);
    if (parent == 0) {
        set_column("ISAKMP", 4, data.at(0), P_ISAKMP);
        if (!text_columns_wanted()) return;
        if (whole)
            set_columnf(5, nullptr, 0, "Exchange Type  : %s(%u)", range_name(exchange, exchange_types, "Unknown"),
                        exchange);
        else
            truncated_summary("ISAKMP", data);
        return;
    }
    int32_t top = add_nodef(parent, data.at(0), data.size(), P_ISAKMP,
                            "Internet Security Association and Key Management Protocol");
    if (!whole) {
        if (data.has(0, 8)) node(top, data, 0, 8, "Initiator Cookie");
        if (data.has(8, 8)) node(top, data, 8, 8, "Responder Cookie");
        truncated_line(top, data, HEADER);
        return;
    }
    uint8_t next = data.u8(16), version = data.u8(17), flags = data.u8(19);
    node(top, data, 0, 8, "Initiator Cookie");
    node(top, data, 8, 8, "Responder Cookie");
    node(top, data, 16, 1, "Next Payload : %s(%u)", payload_name(next), next);
    node(top, data, 17, 1, "Major Version : %u", version >> 4);
    node(top, data, 17, 1, "Minor Version : %u", version & 0x0F);
    node(top, data, 18, 1, "Exchange Type  : %s(%u)", range_name(exchange, exchange_types, "Unknown"), exchange);
    int32_t f = node(top, data, 19, 1, "Flags : 0x%02X", flags);
    node(f, data, 19, 1, "%s", flag_text8(flags, 7, "Encryption - ON", "Encryption - OFF"));
    node(f, data, 19, 1, "%s", flag_text8(flags, 6, "Commit - ON", "Commit - OFF"));
    node(f, data, 19, 1, "%s", flag_text8(flags, 5, "Authentication - ON", "Authentication - OFF"));
    node(top, data, 20, 4, "Message ID : 0x%08X", data.be32(20));
    node(top, data, 24, 4, "Length : %lu", (unsigned long)data.be32(24));
    if (data.size() <= HEADER) return;
    if (flags & 0x01) {
        // Encrypted payloads cannot be walked: only their size is known.
        node(top, data, HEADER, data.size() - HEADER, "Encrypted Data : %d bytes", data.size() - HEADER);
        return;
    }
    walk(top, data, HEADER, data.size(), next, 0, 1);
}

}  // namespace zelpan
