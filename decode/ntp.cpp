// NTP (port 123) and Sun RPC (port 111): the fixed NTP message with its optional
// authenticator, and the RPC call and reply headers.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"

namespace zelpan {

namespace {

constexpr int NTP_MESSAGE = 48;
constexpr int64_t NTP_TO_UNIX = 2208988800LL;  // seconds from 1900-01-01 to 1970-01-01

constexpr NameEntry leap_indicators[] = {
    {0, "no warning"}, {1, "last minute has 61 seconds"}, {2, "last minute has 59 seconds"},
    {3, "clock not synchronized"}, {0, nullptr},
};
constexpr NameEntry ntp_modes[] = {
    {0, "reserved"}, {1, "symmetric active"}, {2, "symmetric passtive"}, {3, "client"}, {4, "server"},
    {5, "broadcast"}, {6, "reserved for NTP control message"}, {7, "reserved for private use"}, {0, nullptr},
};

struct ReferenceSource {
    const char* code;
    const char* description;
};
constexpr ReferenceSource reference_sources[] = {
    {"LOCL", "uncalibrated local clock used"},
    {"PPS", "atomic clock or other pulse-per-second source"},
    {"ACTS", "NIST dialup modem service"},
    {"USNO", "USNO modem service"},
    {"PTB", "PTB (Germany) modem service"},
    {"TDF", "Allouis (France) Radio 164 kHz"},
    {"DCF", "Mainflingen (Germany) Radio 77.5 kHz"},
    {"MSF", "Rugby (UK) Radio 60 kHz"},
    {"WWV", "Ft. Collins (US) Radio 2.5,5,10,15,20 MHz"},
    {"WWVB", "Boulder (US) Radio 60 kHz"},
    {"WWVH", "Kaui Hawaii (US) Radio 2.5,5,10,15 MHz"},
    {"CHU", "Ottawa (Canada) Radio 3330,7335,14670 kHz"},
    {"LORC", "LORAN-C radionavigation system"},
    {"OMEG", "OMEGA radionavigation system"},
    {"GPS", "Global Positioning Service"},
    {"GOES", "Geostationary Orbit Environment Satellite"},
    {"DCN", "DCN routing protocol"},
    {"NIST", "NIST public modem"},
    {"TSP", "TSP time protocol"},
    {"DTS", "Digital Time Service"},
    {"ATOM", "Atomic clock (calibrated)"},
    {"VLF", "VLF radio (OMEGA,, etc.)"},
    {"IRIG", "IRIG-B timecode"},
    {"1PPS", "External 1 PPS input"},
    {"FREE", "(Internal clock)"},
};

constexpr NameEntry rpc_message_types[] = {{0, "Call"}, {1, "Reply"}, {0, nullptr}};
constexpr NameEntry rpc_reply_states[] = {{0, "Accepted"}, {1, "Denied"}, {0, nullptr}};

const char* stratum_class(unsigned s) {
    if (s == 0) return "unspecified or unavailable";
    if (s == 1) return "primary reference";
    if (s <= 15) return "secondary reference";
    return "reserved";
}

// A four-character code matches when the rest of the field is NUL padding.
const ReferenceSource* reference_source(const uint8_t* id) {
    for (const ReferenceSource& r : reference_sources) {
        size_t n = std::strlen(r.code);
        if (std::memcmp(id, r.code, n) != 0) continue;
        bool padded = true;
        for (size_t i = n; i < 4; ++i) padded = padded && id[i] == 0;
        if (padded) return &r;
    }
    return nullptr;
}

// Primary servers (and kiss codes at stratum 0) name a source; the others give
// the address of their own server (an address hash over IPv6).
const char* reference_text(const Bytes& d, unsigned stratum) {
    if (stratum <= 1) {
        const ReferenceSource* r = reference_source(d.at(12));
        return r ? textf("%s(%s)", r->code, r->description) : "?\?\?\?(Nothing)";
    }
    if (ctx().network_type == 0x86DD) return textf("0x%08X", d.be32(12));
    return ipv4_text(d.at(12));
}

// Civil date of a day count from 1970-01-01 (proleptic Gregorian calendar).
void civil_from_days(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    unsigned doe = unsigned(z - era * 146097);
    unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = int64_t(yoe) + era * 400;
    unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
}

// An NTP timestamp (seconds since 1900 and a binary fraction) as a UTC date. The
// 32-bit seconds always fall in 1900..2036, so every value can be shown.
const char* ntp_timestamp_text(const uint8_t* eight) {
    uint32_t seconds = be32(eight), fraction = be32(eight + 4);
    if (seconds == 0 && fraction == 0) return "Nothing";
    int64_t t = int64_t(seconds) - NTP_TO_UNIX;
    int64_t days = t >= 0 ? t / 86400 : -((-t + 86399) / 86400);
    int64_t rem = t - days * 86400;
    int64_t y;
    unsigned m, d;
    civil_from_days(days, y, m, d);
    unsigned ms = unsigned((uint64_t(fraction) * 1000) >> 32);
    double s = double(rem % 60) + ms / 1000.0;
    return textf("%04d/%02d/%02d %02d:%02d:%06.3f UTC", int(y), int(m), int(d), int(rem / 3600), int(rem / 60 % 60), s);
}

}  // namespace

void decode_ntp(int32_t parent, Bytes data) {
    bool whole = data.has(0, NTP_MESSAGE);
    uint8_t flags = data.u8(0);
    unsigned mode = flags & 7;

    if (parent == 0) {
        set_column("NTP", 4, data.at(0), P_NTP);
        if (!text_columns_wanted()) return;
        if (!whole)
            set_columnf(5, nullptr, 0, "NTP data %d octets (header truncated)", data.size());
        else
            set_columnf(5, nullptr, 0, "NTP data %d octets Version=%u Mode=%s", data.size(), unsigned(flags >> 3 & 7),
                        lookup_name(mode, ntp_modes));
        return;
    }

    int32_t n = add_nodef(parent, data.at(0), data.size(), P_NTP, "Network Time Protocol");
    if (data.has(0, 1)) {
        int32_t f = node(n, data, 0, 1, "Flags : 0x%02X", unsigned(flags));
        node(f, data, 0, 1, "%s : Leap Indicator=%s(%u)", bit_text8(flags, 0, 2),
             lookup_name(flags >> 6, leap_indicators), unsigned(flags >> 6));
        node(f, data, 0, 1, "%s : Version=%u", bit_text8(flags, 2, 3), unsigned(flags >> 3 & 7));
        node(f, data, 0, 1, "%s : Mode=%s(%u)", bit_text8(flags, 5, 3), lookup_name(mode, ntp_modes), mode);
    }
    unsigned stratum = data.u8(1);
    if (data.has(1, 1)) node(n, data, 1, 1, "Stratum : %s(%u)", stratum_class(stratum), stratum);
    if (data.has(2, 1)) {
        unsigned poll = data.u8(2);
        if (poll < 4 || poll >= 15)
            node(n, data, 2, 1, "Pool Interval : Invalid(%ld)", long(poll));
        else
            node(n, data, 2, 1, "Pool Interval : %u(%ld sec)", poll, 1L << poll);
    }
    if (data.has(3, 1)) node(n, data, 3, 1, "Precision : %.6f sec", std::ldexp(1.0, int8_t(data.u8(3))));
    if (data.has(4, 4)) node(n, data, 4, 4, "Root Delay : %.3f sec", int32_t(data.be32(4)) / 65536.0);
    if (data.has(8, 4)) node(n, data, 8, 4, "Root Dispersion : %.3f sec", data.be32(8) / 65536.0);
    if (data.has(12, 4)) node(n, data, 12, 4, "Reference Identifier : %s", reference_text(data, stratum));
    static const char* const stamps[4] = {"Reference", "Originate", "Receive", "Transmit"};
    for (int k = 0; k < 4; ++k) {
        int at = 16 + 8 * k;
        if (data.has(at, 8)) node(n, data, at, 8, "%s Timestamp : %s", stamps[k], ntp_timestamp_text(data.at(at)));
    }
    if (!whole) {
        truncated_line(n, data, NTP_MESSAGE);
        return;
    }
    // The authenticator: a key identifier and the digest (MD5, or longer).
    int extra = data.size() - NTP_MESSAGE;
    if (extra >= 4) {
        node(n, data, 48, 4, "Key Identifier : %s", textf("0x%08X", data.be32(48)));
        if (extra > 4) node(n, data, 52, extra - 4, "Message Digest : %s", hex_text(data.at(52), extra - 4, 0));
    } else if (extra > 0) {
        node(n, data, 48, extra, "Data : %d bytes", extra);
    }
}

void decode_rpc(int32_t parent, Bytes data) {
    // Over TCP each message follows a record mark: the last-fragment bit and the
    // fragment length.
    int base = 0;
    bool marked = ctx().transport_protocol == 6;
    if (marked) base = 4;
    Bytes msg = data.from(base);
    uint32_t type = msg.be32(4);
    bool typed = msg.has(4, 4);

    if (parent == 0) {
        set_column("RPC", 4, data.at(0), P_RPC);
        if (!text_columns_wanted()) return;
        if (!typed || !data.has(0, base))
            truncated_summary("RPC", data);
        else
            set_columnf(5, nullptr, 0, "Message Type : %s %ld octets", value_name(type, rpc_message_types, 4, 0),
                        long(msg.size()));
        return;
    }

    int32_t n = add_nodef(parent, data.at(0), data.size(), P_RPC, "SUN Remote Procedure Call Protocol");
    if (marked) {
        if (!data.has(0, 4)) {
            truncated_line(n, data, 4);
            return;
        }
        uint32_t mark = data.be32(0);
        node(n, data, 0, 4, "Record Mark : %s fragment, %lu bytes", (mark & 0x80000000u) ? "last" : "not last",
             (unsigned long)(mark & 0x7FFFFFFFu));
    }
    if (msg.has(0, 4)) {
        uint32_t xid = msg.be32(0);
        node(n, msg, 0, 4, "XID(Transaction Identifier) : 0x%08X(%lu)", xid, (unsigned long)xid);
    }
    if (!typed) {
        truncated_line(n, msg, 8);
        return;
    }
    node(n, msg, 4, 4, "Message Type : %s", value_name(type, rpc_message_types, 4, 0));
    int shown = 8;
    if (type == 0) {
        static const char* const lines[4] = {"RPC Version : %lu", "Program Number : %lu", "Program Version : %lu",
                                             "Procedure : %lu"};
        for (int k = 0; k < 4; ++k) {
            int at = 8 + 4 * k;
            if (!msg.has(at, 4)) {
                truncated_line(n, msg, 24);
                return;
            }
            node(n, msg, at, 4, lines[k], (unsigned long)msg.be32(at));
        }
        shown = 24;
    } else if (type == 1) {
        if (!msg.has(8, 4)) {
            truncated_line(n, msg, 12);
            return;
        }
        node(n, msg, 8, 4, "Reply State : %s", value_name(msg.be32(8), rpc_reply_states, 4, 0));
        shown = 12;
    }
    if (msg.size() > shown) node(n, msg, shown, msg.size() - shown, "Data : %ld bytes", long(msg.size() - shown));
}

}  // namespace zelpan
