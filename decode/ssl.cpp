// SSL 2.0, SSL 3.0 and TLS 1.0 on TCP port 443: the records of one segment and
// the handshake, alert and change-cipher-spec messages they carry. Encrypted
// payloads are shown by size only.
//
// Each segment is classified from its own bytes; the walk steps by record and
// message lengths and ends when the payload is used up. Lengths are taken as
// they stand, and every read goes through the payload view.
#include <cstdio>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"
#include "decode/text_format.h"

namespace zelpan {

namespace {

enum VersionClass { SSL2, SSL3, TLS, UNKNOWN };

struct ClassRow {
    const char* column;
    int protocol;
    const char* top;
};
constexpr ClassRow classes[] = {
    {"SSLv2", P_SSL, "Secure Sockets Layer Protocol"},
    {"SSLv3", P_SSL, "Secure Sockets Layer Protocol"},
    {"TLS", P_TLS, "Transport Layer Security Protocol"},
    {"SSL", P_SSL, "Secure Sockets Layer Protocol"},
};

constexpr NameEntry content_types[] = {
    {20, "Change Cipher Spec"}, {21, "Alert"}, {22, "Handshake"}, {23, "Application Data"},
    {0, nullptr},
};

constexpr NameEntry protocol_versions[] = {
    {0x0301, "TLS 1.0"}, {0x0300, "SSL 3.0"}, {0x0002, "SSL 2.0"},
    {0, nullptr},
};

constexpr NameEntry alert_levels[] = {
    {1, "Warning"}, {2, "Fatal"},
    {0, nullptr},
};

constexpr NameEntry alert_descriptions[] = {
    {0, "Close Notify"}, {10, "Unexpected Message"}, {20, "Bad Record MAC"}, {21, "Decryption Failed"},
    {22, "Record Overflow"}, {30, "Decompression Failure"}, {40, "Handshake Failure"}, {42, "Bad Certificate"},
    {43, "Unsupported Certificate"}, {44, "Certificate Revoked"}, {45, "Certificate Expired"},
    {46, "Certificate Unknown"}, {47, "Illegal Parameter"}, {48, "Unknown CA"}, {49, "Access Denied"},
    {50, "Decode Error"}, {51, "Decrypt Error"}, {60, "Export Restriction"}, {70, "Protocol Version"},
    {71, "Insufficient Security"}, {80, "Internal Error"}, {90, "User Canceled"}, {100, "No Renegotiation"},
    {0, nullptr},
};

constexpr NameEntry handshake_types[] = {
    {0, "Hello Request"}, {1, "Client Hello"}, {2, "Server Hello"}, {11, "Certificate"},
    {12, "Server Key Exchange"}, {13, "Certificate Request"}, {14, "Server Hello Done"},
    {15, "Certificate Verify"}, {16, "Client Key Exchange"}, {20, "Finished"},
    {0, nullptr},
};

constexpr NameEntry compression_methods[] = {
    {0, "null"},
    {0, nullptr},
};

constexpr NameEntry client_certificate_types[] = {
    {1, "RSA sign"}, {2, "DSS sign"}, {3, "RSA fixed DH"}, {4, "DSS fixed DH"},
    {0, nullptr},
};

constexpr NameEntry cipher_suites[] = {
    {0x0000, "TLS_NULL_WITH_NULL_NULL"},
    {0x0001, "TLS_RSA_WITH_NULL_MD5"},
    {0x0002, "TLS_RSA_WITH_NULL_SHA"},
    {0x0003, "TLS_RSA_EXPORT_WITH_RC4_40_MD5"},
    {0x0004, "TLS_RSA_WITH_RC4_128_MD5"},
    {0x0005, "TLS_RSA_WITH_RC4_128_SHA"},
    {0x0006, "TLS_RSA_EXPORT_WITH_RC2_CBC_40_MD5"},
    {0x0007, "TLS_RSA_WITH_IDEA_CBC_SHA"},
    {0x0008, "TLS_RSA_EXPORT_WITH_DES40_CBC_SHA"},
    {0x0009, "TLS_RSA_WITH_DES_CBC_SHA"},
    {0x000A, "TLS_RSA_WITH_3DES_EDE_CBC_SHA"},
    {0x000B, "TLS_DH_DSS_EXPORT_WITH_DES40_CBC_SHA"},
    {0x000C, "TLS_DH_DSS_WITH_DES_CBC_SHA"},
    {0x000D, "TLS_DH_DSS_WITH_3DES_EDE_CBC_SHA"},
    {0x000E, "TLS_DH_RSA_EXPORT_WITH_DES40_CBC_SHA"},
    {0x000F, "TLS_DH_RSA_WITH_DES_CBC_SHA"},
    {0x0010, "TLS_DH_RSA_WITH_3DES_EDE_CBC_SHA"},
    {0x0011, "TLS_DHE_DSS_EXPORT_WITH_DES40_CBC_SHA"},
    {0x0012, "TLS_DHE_DSS_WITH_DES_CBC_SHA"},
    {0x0013, "TLS_DHE_DSS_WITH_3DES_EDE_CBC_SHA"},
    {0x0014, "TLS_DHE_RSA_EXPORT_WITH_DES40_CBC_SHA"},
    {0x0015, "TLS_DHE_RSA_WITH_DES_CBC_SHA"},
    {0x0016, "TLS_DHE_RSA_WITH_3DES_EDE_CBC_SHA"},
    {0x0017, "TLS_DH_anon_EXPORT_WITH_RC4_40_MD5"},
    {0x0018, "TLS_DH_anon_WITH_RC4_128_MD5"},
    {0x0019, "TLS_DH_anon_EXPORT_WITH_DES40_CBC_SHA"},
    {0x001A, "TLS_DH_anon_WITH_DES_CBC_SHA"},
    {0x001B, "TLS_DH_anon_WITH_3DES_EDE_CBC_SHA"},
    {0x001C, "SSL_FORTEZZA_KEA_WITH_NULL_SHA"},
    {0x001D, "SSL_FORTEZZA_KEA_WITH_FORTEZZA_CBC_SHA"},
    {0x001E, "TLS_KRB5_WITH_DES_CBC_SHA"},
    {0x001F, "TLS_KRB5_WITH_3DES_EDE_CBC_SHA"},
    {0x0020, "TLS_KRB5_WITH_RC4_128_SHA"},
    {0x0021, "TLS_KRB5_WITH_IDEA_CBC_SHA"},
    {0x0022, "TLS_KRB5_WITH_DES_CBC_MD5"},
    {0x0023, "TLS_KRB5_WITH_3DES_EDE_CBC_MD5"},
    {0x0024, "TLS_KRB5_WITH_RC4_128_MD5"},
    {0x0025, "TLS_KRB5_WITH_IDEA_CBC_MD5"},
    {0x0026, "TLS_KRB5_EXPORT_WITH_DES_CBC_40_SHA"},
    {0x0027, "TLS_KRB5_EXPORT_WITH_RC2_CBC_40_SHA"},
    {0x0028, "TLS_KRB5_EXPORT_WITH_RC4_40_SHA"},
    {0x0029, "TLS_KRB5_EXPORT_WITH_DES_CBC_40_MD5"},
    {0x002A, "TLS_KRB5_EXPORT_WITH_RC2_CBC_40_MD5"},
    {0x002B, "TLS_KRB5_EXPORT_WITH_RC4_40_MD5"},
    {0x0062, "TLS_RSA_EXPORT1024_WITH_DES_CBC_SHA"},
    {0x0063, "TLS_DHE_DSS_EXPORT1024_WITH_DES_CBC_SHA"},
    {0x0064, "TLS_RSA_EXPORT1024_WITH_RC4_56_SHA"},
    {0x0065, "TLS_DHE_DSS_EXPORT1024_WITH_RC4_56_SHA"},
    {0x0066, "TLS_DHE_DSS_WITH_RC4_128_SHA"},
    {0xFEFE, "SSL_RSA_FIPS_WITH_DES_CBC_SHA"},
    {0xFEFF, "SSL_RSA_FIPS_WITH_3DES_EDE_CBC_SHA"},
    {0xFFE0, "SSL_RSA_FIPS_WITH_3DES_EDE_CBC_SHA"},
    {0xFFE1, "SSL_RSA_FIPS_WITH_DES_CBC_SHA"},
    {0, nullptr},
};

constexpr NameEntry ssl2_message_types[] = {
    {0, "Error"}, {1, "Client Hello"}, {2, "Client Master Key"}, {3, "Client Finished"}, {4, "Server Hello"},
    {5, "Server Verify"}, {6, "Server Finished"}, {7, "Request Certificate"}, {8, "Client Certificate"},
    {0, nullptr},
};

// SSLv2 cipher kinds, then the TLS suites an SSLv2 hello may list.
constexpr NameEntry ssl2_cipher_specs[] = {
    {0x010080, "SSL2_RC4_128_WITH_MD5"},
    {0x020080, "SSL2_RC4_128_EXPORT40_WITH_MD5"},
    {0x030080, "SSL2_RC2_CBC_128_CBC_WITH_MD5"},
    {0x040080, "SSL2_RC2_CBC_128_CBC_WITH_MD5"},
    {0x050080, "SSL2_IDEA_128_CBC_WITH_MD5"},
    {0x060040, "SSL2_DES_64_CBC_WITH_MD5"},
    {0x0700C0, "SSL2_DES_192_EDE3_CBC_WITH_MD5"},
    {0x080080, "SSL2_RC4_64_WITH_MD5"},
    {0x000000, "TLS_NULL_WITH_NULL_NULL"},
    {0x000001, "TLS_RSA_WITH_NULL_MD5"},
    {0x000002, "TLS_RSA_WITH_NULL_SHA"},
    {0x000003, "TLS_RSA_EXPORT_WITH_RC4_40_MD5"},
    {0x000004, "TLS_RSA_WITH_RC4_128_MD5"},
    {0x000005, "TLS_RSA_WITH_RC4_128_SHA"},
    {0x000006, "TLS_RSA_EXPORT_WITH_RC2_CBC_40_MD5"},
    {0x000007, "TLS_RSA_WITH_IDEA_CBC_SHA"},
    {0x000008, "TLS_RSA_EXPORT_WITH_DES40_CBC_SHA"},
    {0x000009, "TLS_RSA_WITH_DES_CBC_SHA"},
    {0x00000A, "TLS_RSA_WITH_3DES_EDE_CBC_SHA"},
    {0x00000B, "TLS_DH_DSS_EXPORT_WITH_DES40_CBC_SHA"},
    {0x00000C, "TLS_DH_DSS_WITH_DES_CBC_SHA"},
    {0x00000D, "TLS_DH_DSS_WITH_3DES_EDE_CBC_SHA"},
    {0x00000E, "TLS_DH_RSA_EXPORT_WITH_DES40_CBC_SHA"},
    {0x00000F, "TLS_DH_RSA_WITH_DES_CBC_SHA"},
    {0x000010, "TLS_DH_RSA_WITH_3DES_EDE_CBC_SHA"},
    {0x000011, "TLS_DHE_DSS_EXPORT_WITH_DES40_CBC_SHA"},
    {0x000012, "TLS_DHE_DSS_WITH_DES_CBC_SHA"},
    {0x000013, "TLS_DHE_DSS_WITH_3DES_EDE_CBC_SHA"},
    {0x000014, "TLS_DHE_RSA_EXPORT_WITH_DES40_CBC_SHA"},
    {0x000015, "TLS_DHE_RSA_WITH_DES_CBC_SHA"},
    {0x000016, "TLS_DHE_RSA_WITH_3DES_EDE_CBC_SHA"},
    {0x000017, "TLS_DH_anon_EXPORT_WITH_RC4_40_MD5"},
    {0x000018, "TLS_DH_anon_WITH_RC4_128_MD5"},
    {0x000019, "TLS_DH_anon_EXPORT_WITH_DES40_CBC_SHA"},
    {0x00001A, "TLS_DH_anon_WITH_DES_CBC_SHA"},
    {0x00001B, "TLS_DH_anon_WITH_3DES_EDE_CBC_SHA"},
    {0x00001C, "SSL_FORTEZZA_KEA_WITH_NULL_SHA"},
    {0x00001D, "SSL_FORTEZZA_KEA_WITH_FORTEZZA_CBC_SHA"},
    {0x00001E, "TLS_KRB5_WITH_DES_CBC_SHA"},
    {0x000060, "TLS_RSA_EXPORT1024_WITH_RC4_56_MD5"},
    {0x000061, "TLS_RSA_EXPORT1024_WITH_RC2_CBC_56_MD5"},
    {0x000062, "TLS_RSA_EXPORT1024_WITH_DES_CBC_SHA"},
    {0x000063, "TLS_DHE_DSS_EXPORT1024_WITH_DES_CBC_SHA"},
    {0x000064, "TLS_RSA_EXPORT1024_WITH_RC4_56_SHA"},
    {0x000065, "TLS_DHE_DSS_EXPORT1024_WITH_RC4_56_SHA"},
    {0x000066, "TLS_DHE_DSS_WITH_RC4_128_SHA"},
    {0x00FEFE, "SSL_RSA_FIPS_WITH_DES_CBC_SHA"},
    {0x00FEFF, "SSL_RSA_FIPS_WITH_3DES_EDE_CBC_SHA"},
    {0x00FFE0, "SSL_RSA_FIPS_WITH_3DES_EDE_CBC_SHA"},
    {0x00FFE1, "SSL_RSA_FIPS_WITH_DES_CBC_SHA"},
    {0, nullptr},
};

constexpr NameEntry ssl2_certificate_types[] = {
    {0, "N/A"}, {1, "X.509 Certificate"},
    {0, nullptr},
};

// The plain name of a value, or "Unknown(n)" (node labels and the summary).
const char* plain_name(uint32_t value, const NameEntry* table) {
    const char* name = lookup_name(value, table);
    return name ? name : textf("Unknown(%u)", value);
}

const char* version_text(uint32_t v) { return value_name(v, protocol_versions, 2, 1); }

VersionClass classify(uint16_t v) {
    switch (v) {
    case 0x0002: return SSL2;
    case 0x0300: return SSL3;
    case 0x0301: return TLS;
    default: return UNKNOWN;
    }
}

// First byte 0x80 and message type 1: an SSLv2 CLIENT-HELLO, which SSL 3.0 and
// TLS clients send to reach older servers.
bool ssl2_client_hello_test(const Bytes& r) { return r.has(0, 3) && r.u8(0) == 0x80 && r.u8(2) == 1; }

bool ssl2_record_test(const Bytes& r) {
    if (!r.has(0, 3) || !(r.u8(0) & 0x80)) return false;
    uint8_t type = r.u8(2);
    return type < 3 || type == 4;
}

bool ssl3_record_test(const Bytes& r) {
    if (!r.has(0, 3)) return false;
    uint8_t type = r.u8(0);
    uint16_t v = r.be16(1);
    return type >= 20 && type <= 23 && (v == 0x0300 || v == 0x0301);
}

// ---- SSL 3.0 and TLS ----

// The random of the hellos: a time and 28 random bytes.
void random_lines(int32_t m, const Bytes& b, int at) {
    if (b.has(at, 4)) node(m, b, at, 4, "gmt_unix_time : %s", calendar_text(b.be32(at), 0));
    if (b.has(at + 4, 28)) node(m, b, at + 4, 28, "random bytes");
}

// Session ID length and bytes at at; returns the offset after them, or -1.
int session_lines(int32_t m, const Bytes& b, int at) {
    if (!b.has(at, 1)) return -1;
    int n = b.u8(at);
    node(m, b, at, 1, "Session ID length : %ld", long(n));
    node(m, b, at + 1, n, "Session ID");
    return b.has(at + 1, n) ? at + 1 + n : -1;
}

void extension_lines(int32_t m, const Bytes& b, int at) {
    if (at >= 0 && at < b.size()) node(m, b, at, b.size() - at, "Extensions : %ld bytes", long(b.size() - at));
}

void client_hello(int32_t m, const Bytes& b) {
    if (!b.has(0, 2)) return;
    node(m, b, 0, 2, "Protocol version : %s", version_text(b.be16(0)));
    random_lines(m, b, 2);
    int at = session_lines(m, b, 34);
    if (at < 0 || !b.has(at, 2)) return;
    int n = b.be16(at);
    node(m, b, at, 2, "Cipher suites length : %ld", long(n));
    int32_t list = node(m, b, at + 2, n, "Cipher suites");
    for (int i = 0; i + 2 <= n && b.has(at + 2 + i, 2); i += 2)
        node(list, b, at + 2 + i, 2, "Cipher suite : %s", value_name(b.be16(at + 2 + i), cipher_suites, 2, 1));
    at += 2 + n;
    if (!b.has(at, 1)) return;
    n = b.u8(at);
    node(m, b, at, 1, "Compression methods length : %ld", long(n));
    list = node(m, b, at + 1, n, "Compression methods");
    for (int i = 0; i < n && b.has(at + 1 + i, 1); ++i)
        node(list, b, at + 1 + i, 1, "Compression method : %s", value_name(b.u8(at + 1 + i), compression_methods, 1, 0));
    extension_lines(m, b, at + 1 + n);
}

void server_hello(int32_t m, const Bytes& b) {
    if (!b.has(0, 2)) return;
    node(m, b, 0, 2, "Protocol version : %s", version_text(b.be16(0)));
    random_lines(m, b, 2);
    int at = session_lines(m, b, 34);
    if (at < 0 || !b.has(at, 2)) return;
    node(m, b, at, 2, "Cipher suite : %s", value_name(b.be16(at), cipher_suites, 2, 1));
    if (!b.has(at + 2, 1)) return;
    node(m, b, at + 2, 1, "Compression method : %s", value_name(b.u8(at + 2), compression_methods, 1, 0));
    extension_lines(m, b, at + 3);
}

// A list of items each led by a length of width bytes, inside [at, at + n):
// how many whole length fields it holds.
int count_items(const Bytes& b, int at, int n, int width) {
    int count = 0;
    for (int i = 0; i + width <= n && b.has(at + i, width); ++count)
        i += width + int(read_be(b.at(at + i), width));
    return count;
}

void certificate(int32_t m, const Bytes& b) {
    if (!b.has(0, 3)) return;
    int n = int(b.be24(0));
    node(m, b, 0, 3, "Certificate list length : %ld", long(n));
    int32_t list = node(m, b, 3, n, "Certificates");
    int count = count_items(b, 3, n, 3);
    for (int i = 0, k = 1; k <= count; ++k) {
        int len = int(b.be24(3 + i));
        node(list, b, 3 + i, 3, "Certificate length : %ld", long(len));
        node(list, b, 6 + i, len, "Certificate(%ld/%ld)", long(k), long(count));
        i += 3 + len;
    }
}

void certificate_request(int32_t m, const Bytes& b) {
    if (!b.has(0, 1)) return;
    int n = b.u8(0);
    node(m, b, 0, 1, "Certificate types count : %ld", long(n));
    int32_t list = node(m, b, 1, n, "Certificate types");
    for (int i = 0; i < n && b.has(1 + i, 1); ++i)
        node(list, b, 1 + i, 1, "Certificate type : %s", value_name(b.u8(1 + i), client_certificate_types, 1, 0));
    int at = 1 + n;
    if (!b.has(at, 2)) return;
    int names = b.be16(at);
    node(m, b, at, 2, "Distinguished names length : %lu", (unsigned long)names);
    list = node(m, b, at + 2, names, "Distinguished names");
    int count = count_items(b, at + 2, names, 2);
    for (int i = 0, k = 1; k <= count; ++k) {
        int len = b.be16(at + 2 + i);
        node(list, b, at + 2 + i, 2, "Distinguished name length : %u", unsigned(len));
        node(list, b, at + 4 + i, len, "Distinguished Name(%ld/%ld)", long(k), long(count));
        i += 2 + len;
    }
}

void finished(int32_t m, const Bytes& b, bool ssl3) {
    int32_t v = node(m, b, 0, b.size(), "Verify data");
    if (!ssl3) return;
    if (b.has(0, 16)) node(v, b, 0, 16, "MD5 hash");
    if (b.has(16, 20)) node(v, b, 16, 20, "SHA-1 hash");
}

// Can a handshake message start at at, with announced bytes of the record left?
// Encrypted handshakes (the Finished after a cipher change) seldom pass: their
// random 24-bit "length" would have to fit the record. The type is not asked:
// messages of types this decoder does not name travel in the clear too (a
// session ticket before the cipher change), and are shown as such.
bool plausible_message(const Bytes& c, int at, long announced) {
    if (!c.has(at, 4)) return false;
    return 4 + long(c.be24(at + 1)) <= announced - at;
}

// The messages of one handshake record. content holds the captured part of the
// record's content; announced is its length from the record header.
const char* handshake(int32_t parent, const Bytes& c, long announced, bool ssl3) {
    const char* first = nullptr;
    // Every message takes at least its 4 header bytes, so the walk ends.
    for (int at = 0; at < c.size();) {
        if (!plausible_message(c, at, announced)) {
            node(parent, c, at, c.size() - at, "Handshake protocol(%s)", "Encrypted data");
            return first ? first : "Encrypted data";
        }
        uint8_t type = c.u8(at);
        long len = long(c.be24(at + 1));
        const char* name = plain_name(type, handshake_types);
        if (!first) {
            first = name;
            if (parent == 0) return first;
        }
        int32_t m = node(parent, c, at, int(4 + len), "Handshake protocol(%s)", name);
        node(m, c, at, 1, "Handshake Type : %s", value_name(type, handshake_types, 1, 0));
        node(m, c, at + 1, 3, "Length : %ld", len);
        Bytes body = c.sub(at + 4, int(len));
        switch (type) {
        case 0:
        case 14:
            break;
        case 1: client_hello(m, body); break;
        case 2: server_hello(m, body); break;
        case 11: certificate(m, body); break;
        case 13: certificate_request(m, body); break;
        case 20: finished(m, body, ssl3); break;
        default:
            node(m, c, at + 4, int(len), "SSL Data %ld bytes", len);
            break;
        }
        at += 4 + int(len);
    }
    return first ? first : "Encrypted data";
}

// One SSL 3.0 or TLS record; returns the bytes it takes.
int ssl3_record(int32_t parent, const Bytes& r, VersionClass cls) {
    if (!r.has(0, 5)) {
        if (parent == 0)
            truncated_summary(classes[cls].column, r);
        else
            truncated_line(parent, r, 5);
        return r.size();
    }
    uint8_t type = r.u8(0);
    uint16_t version = r.be16(1);
    long length = r.be16(3);
    Bytes content = r.sub(5, int(length));
    const char* text = nullptr;
    char alert[160];
    int32_t n = node(parent, r, 0, int(5 + length), "%s record layer(%s)", classes[cls].column,
                     plain_name(type, content_types));
    if (parent != 0) {
        node(n, r, 0, 1, "ContentType : %s", value_name(type, content_types, 1, 0));
        node(n, r, 1, 2, "Protocol version : %s", version_text(version));
        node(n, r, 3, 2, "Length : %ld", length);
        if (content.size() < length)
            node(n, r, 5, content.size(), "Record truncated : %d of %ld bytes captured", content.size(), length);
    }
    switch (type) {
    case 20:
        text = "Change cipher spec";
        node(n, content, 0, content.size(), "%s", text);
        break;
    case 21: {
        uint8_t level = content.u8(0), description = content.u8(1);
        if (content.has(0, 2) && lookup_name(level, alert_levels) && lookup_name(description, alert_descriptions)) {
            const char* l = value_name(level, alert_levels, 1, 0);
            const char* d = value_name(description, alert_descriptions, 1, 0);
            format_textf(alert, sizeof alert, "Alert Level %s Description %s", l, d);
            text = alert;
            int32_t a = node(n, content, 0, 2, "Alert protocol : Level %s Description %s", l, d);
            if (content.size() > 2) node(a, content, 2, content.size() - 2, "Data %ld bytes", long(content.size() - 2));
        } else {
            text = "Encrypted Alert";
            int32_t a = node(n, content, 0, content.size(), "Alert protocol : %s", text);
            node(a, content, 0, content.size(), "Data %ld bytes", long(content.size()));
        }
        break;
    }
    case 22:
        text = handshake(n, content, length, version == 0x0300);
        break;
    case 23:
        text = "Application data";
        node(n, content, 0, content.size(), "%s", text);
        break;
    default:
        text = "Invalid SSLv3 content type";
        node(n, content, 0, content.size(), "%s", text);
        break;
    }
    if (parent == 0 && text_columns_wanted()) set_column(text, 5, nullptr, 0);
    return int(5 + length);
}

// ---- SSL 2.0 ----

void ssl2_cipher_lines(int32_t parent, const Bytes& b, int at, int n) {
    for (int i = 0; i + 3 <= n && b.has(at + i, 3); i += 3)
        node(parent, b, at + i, 3, "Cipher spec : %s", value_name(b.be24(at + i), ssl2_cipher_specs, 3, 1));
}

// The bytes of a field; an empty one still has its line, so every message shows
// the same fields.
void field_line(int32_t parent, const Bytes& b, int at, int n, const char* label) {
    node(parent, b, at, n, "%s", label);
}

// Lengths of the hello and key messages sent in the clear; a message whose
// lengths do not fit its record is taken as encrypted.
bool ssl2_clear_message(const Bytes& m, long length) {
    switch (m.u8(0)) {
    case 1: return m.has(0, 9) && 9L + m.be16(3) + m.be16(5) + m.be16(7) <= length;
    case 2: return m.has(0, 10) && 10L + m.be16(4) + m.be16(6) + m.be16(8) <= length;
    case 4: return m.has(0, 11) && 11L + m.be16(5) + m.be16(7) + m.be16(9) <= length;
    default: return false;
    }
}

void ssl2_message(int32_t parent, const Bytes& m) {
    uint8_t type = m.u8(0);
    int32_t h = node(parent, m, 0, m.size(), "%s(%u)", plain_name(type, ssl2_message_types), type);
    switch (type) {
    case 1: {
        int specs = m.be16(3), session = m.be16(5), challenge = m.be16(7);
        node(h, m, 1, 2, "Version : %s", version_text(m.be16(1)));
        node(h, m, 3, 2, "Cipher spec length : %ld", long(specs));
        node(h, m, 5, 2, "Session ID length : %ld", long(session));
        node(h, m, 7, 2, "Challenge length : %ld", long(challenge));
        int32_t list = node(h, m, 9, specs, "Cipher specs");
        ssl2_cipher_lines(list, m, 9, specs);
        field_line(h, m, 9 + specs, session, "Session ID");
        field_line(h, m, 9 + specs + session, challenge, "Challenge");
        break;
    }
    case 2: {
        int clear = m.be16(4), encrypted = m.be16(6), argument = m.be16(8);
        node(h, m, 1, 3, "Cipher spec : %s", value_name(m.be24(1), ssl2_cipher_specs, 3, 1));
        node(h, m, 4, 2, "Clear key length : %ld", long(clear));
        node(h, m, 6, 2, "Encrypted key length : %ld", long(encrypted));
        node(h, m, 8, 2, "Key argument length : %ld", long(argument));
        field_line(h, m, 10, clear, "Clear key");
        field_line(h, m, 10 + clear, encrypted, "Encrypted key");
        field_line(h, m, 10 + clear + encrypted, argument, "Key argument");
        break;
    }
    case 4: {
        int cert = m.be16(5), specs = m.be16(7), connection = m.be16(9);
        node(h, m, 1, 1, "Session ID hit : %u", m.u8(1));
        node(h, m, 2, 1, "Certificate type : %s", value_name(m.u8(2), ssl2_certificate_types, 1, 0));
        node(h, m, 3, 2, "Version : %s", version_text(m.be16(3)));
        node(h, m, 5, 2, "Certificate length : %ld", long(cert));
        node(h, m, 7, 2, "Cipher spec length : %ld", long(specs));
        node(h, m, 9, 2, "Connection ID length : %ld", long(connection));
        field_line(h, m, 11, cert, "Certificate");
        ssl2_cipher_lines(h, m, 11 + cert, specs);
        field_line(h, m, 11 + cert + specs, connection, "Connection ID");
        break;
    }
    }
}

// One SSL 2.0 record; returns the bytes it takes.
int ssl2_record(int32_t parent, const Bytes& r) {
    bool two = (r.u8(0) & 0x80) != 0;
    int header = two ? 2 : 3;
    if (!r.has(0, header + 1)) {
        // Not even the message type is there.
        if (parent == 0) {
            if (text_columns_wanted()) set_columnf(5, nullptr, 0, "SSLv2 data %ld octets", long(r.size()));
        } else {
            node(parent, r, 0, r.size(), "SSLv2 Data %ld bytes", long(r.size()));
        }
        return r.size();
    }
    long length = two ? (r.be16(0) & 0x7FFF) : (r.be16(0) & 0x3FFF);
    Bytes m = r.sub(header, int(length));
    bool clear = length > 0 && ssl2_clear_message(m, length);
    const char* name = clear ? plain_name(m.u8(0), ssl2_message_types) : "Encrypted data";
    if (parent == 0) {
        if (!text_columns_wanted()) return int(header + length);
        if (clear)
            set_columnf(5, nullptr, 0, "SSLv2 %s", name);
        else
            set_columnf(5, nullptr, 0, "SSLv2 %s %ld octets", name, length);
        return int(header + length);
    }
    int32_t n = node(parent, r, 0, int(header + length), "%s record layer(%s)", "SSLv2", name);
    if (!two) {
        node(n, r, 0, 1, "Is escape : %s", (r.u8(0) & 0x40) ? "ON" : "OFF");
        node(n, r, 2, 1, "Padding length : %ld", long(r.u8(2)));
    }
    node(n, r, 0, 2, "Length : %ld", length);
    if (m.size() < length)
        node(n, r, header, m.size(), "Record truncated : %d of %ld bytes captured", m.size(), length);
    if (clear) {
        node(n, m, 0, 1, "Message type : %s", value_name(m.u8(0), ssl2_message_types, 1, 0));
        ssl2_message(n, m);
    } else {
        node(n, m, 0, m.size(), "Encrypted data");
    }
    return int(header + length);
}

}  // namespace

void decode_ssl(int32_t parent, Bytes data) {
    VersionClass cls = classify(data.has(1, 2) ? data.be16(1) : 0xFFFF);
    const ClassRow& row = classes[cls];
    int32_t top = 0;
    if (parent == 0) {
        set_column(row.column, 4, data.at(0), row.protocol);
        if (!text_columns_wanted()) return;
    } else {
        top = add_nodef(parent, data.at(0), data.size(), row.protocol, "%s", row.top);
    }
    // Every record takes at least its header, so the walk ends; a summary looks
    // at the first record only.
    for (int at = 0; at < data.size();) {
        Bytes r = data.from(at);
        int used;
        if (cls == SSL2 || ((cls == SSL3 || cls == TLS) && ssl2_client_hello_test(r)) ||
            (cls == UNKNOWN && ssl2_record_test(r))) {
            used = ssl2_record(top, r);
        } else if (cls != UNKNOWN || ssl3_record_test(r)) {
            used = ssl3_record(top, r, cls);
        } else {
            if (parent == 0)
                set_columnf(5, nullptr, 0, "SSL data %ld octets", long(r.size()));
            else
                node(top, r, 0, r.size(), "Data : %ld bytes", long(r.size()));
            break;
        }
        if (parent == 0) break;
        at += used;
    }
}

}  // namespace zelpan
