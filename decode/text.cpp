// Line-oriented text protocols: FTP with the tracking of its data connections,
// FTP data, HTTP and SSDP, SMTP, POP3, IMAP, RTSP with SDP, TELNET and syslog.
#include <cstdio>
#include <cstring>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"
#include "decode/text_format.h"

namespace zelpan {

namespace {

// ---- lines ----

// One line of a text payload: its text and the line end behind it.
struct TextLine {
    int start;             // first byte of the text
    int length;            // text bytes, line end not included
    int end_bytes;         // bytes of the line end: 0, 1 or 2
    const char* end_text;  // visible form of the line end ("\r\n", "\r  ", "\n" or "")
    bool ended;            // a line end was found; otherwise the line is the rest of the data
    int covered() const { return length + end_bytes; }
    int next() const { return start + length + end_bytes; }
};

TextLine cut_line(const Bytes& d, int start) {
    int n = d.size();
    int e = find_line_end(d.data(), start, n);
    if (e < 0) return {start, n > start ? n - start : 0, 0, "", false};
    const char* t = line_end_text(d.data(), e, n - e);
    int end_bytes = int(std::strlen(t)) / 2;
    // A line end always covers a byte; guard the walks against one that did not.
    if (end_bytes == 0) return {start, n - start, 0, "", false};
    return {start, e - start, end_bytes, t, true};
}

const char* escaped_line(const Bytes& d, const TextLine& l) { return escaped_text(d.at(l.start), l.length); }

bool printable(uint8_t b) { return b >= 0x20 && b <= 0x7E; }
bool is_digit(uint8_t b) { return b >= '0' && b <= '9'; }
uint8_t upper(uint8_t b) { return b >= 'a' && b <= 'z' ? uint8_t(b - 32) : b; }

// The characters that end an HTTP or RTSP header name.
bool separator(uint8_t b) { return b != 0 && std::strchr("\"(),/;<=>?@[\\]{}", b) != nullptr; }

// Does the text at `at` begin with word (case-sensitive)?
bool starts_with(const Bytes& d, int at, const char* word) {
    int k = int(std::strlen(word));
    return d.has(at, k) && std::memcmp(d.at(at), word, size_t(k)) == 0;
}

bool starts_with_nocase(const Bytes& d, int at, const char* word) {
    int k = int(std::strlen(word));
    return d.has(at, k) && compare_nocase(d.at(at), word, k) == 0;
}

// Is the start of d one of the table's words, each compared over its own length?
template <size_t N>
bool table_match(const Bytes& d, const char* const (&table)[N], bool nocase) {
    for (const char* w : table)
        if (nocase ? starts_with_nocase(d, 0, w) : starts_with(d, 0, w)) return true;
    return false;
}

// Three digits at the start of a line's text.
bool three_digits(const Bytes& d, const TextLine& l) {
    return l.length >= 3 && digits_test(l.start, d.data(), 3, l.start + l.length) == 3;
}

// ---- command and method tables ----

constexpr const char* ftp_commands[] = {
    "USER", "PASS", "ACCT", "CWD",  "CDUP", "QUIT", "REIN", "PORT", "PASV", "TYPE", "STRU", "MODE",
    "RETR", "STOR", "APPE", "ALLO", "REST", "RNFR", "RNTO", "ABOR", "DELE", "LIST", "NLST", "SITE",
    "STAT", "HELP", "NOOP", "CDUP", "SMNT", "STOU", "RMD",  "MKD",  "PWD",  "SYST", "XPWD", "AUTH",
    "ADAT", "PROT", "PBSZ", "CCC",  "MIC",  "CONF", "ENC",  "FEAT", "OPTS", "EPRT", "EPSV",
};
static_assert(sizeof ftp_commands / sizeof ftp_commands[0] == 47);

constexpr const char* http_methods[] = {
    "PROPFIND", "PROPPATCH", "MKCOL", "COPY", "MOVE",   "LOCK",  "UNLOCK",  "OPTIONS",
    "GET",      "HEAD",      "POST",  "PUT",  "DELETE", "TRACE", "CONNECT", "M-",
};
static_assert(sizeof http_methods / sizeof http_methods[0] == 16);

constexpr const char* smtp_commands[] = {
    "EHLO", "HELO", "MAIL", "RCPT", "DATA", "RSET", "VRFY", "EXPN", "HELP",
    "NOOP", "QUIT", "ETRN", "AUTH", "SEND", "SOML", "SAML", "TURN", "STARTTLS",
};
static_assert(sizeof smtp_commands / sizeof smtp_commands[0] == 18);

constexpr const char* pop3_commands[] = {
    "USER", "PASS", "QUIT", "STAT", "LIST", "RETR", "DELE", "NOOP", "LAST",
    "RSET", "RPOP", "TOP ", "APOP", "UIDL", "AUTH", "CAPA", "STLS",
};
static_assert(sizeof pop3_commands / sizeof pop3_commands[0] == 17);

constexpr const char* rtsp_methods[] = {
    "DESCRIBE", "ANNOUNCE", "GET_PARAMETER", "OPTIONS",       "PAUSE",    "PLAY",
    "RECORD",   "REDIRECT", "SETUP",         "SET_PARAMETER", "TEARDOWN",
};
static_assert(sizeof rtsp_methods / sizeof rtsp_methods[0] == 11);

// ---- FTP data-connection tracking ----

// The tracking follows the frames of a pass in frame order: summary and
// layer-index passes, and the text export, which walks every frame from frame 1
// as well. A detail tree of one selected frame leaves it alone.
bool tracking_pass(int32_t parent) { return parent == 0 || ctx().mode == MODE_TEXT_EXPORT; }

// Numbers of a passive-mode reply or of an active-mode command.
struct PortAnnouncement {
    enum Form { PASSIVE, EXTENDED_PASSIVE, ACTIVE, EXTENDED_ACTIVE } form;
    int count;
    unsigned long v[6];
};

// Adds a digit to a number that stops growing past any port, so leading zeros
// of any count are fine and a long run of digits cannot wrap into a valid value.
void add_digit(unsigned long& value, uint8_t digit) {
    value = value * 10 + (digit - '0');
    if (value > 65536) value = 65536;
}

// Reads the numbers after the position i of a passive-mode reply; end is the
// line's end. True for six numbers (plain form) or one (extended form).
bool passive_numbers(const Bytes& d, int i, int end, PortAnnouncement& r) {
    r.form = PortAnnouncement::PASSIVE;
    r.count = 0;
    if (i + 3 <= end && d.u8(i) == '|' && d.u8(i + 1) == '|' && d.u8(i + 2) == '|') {
        r.form = PortAnnouncement::EXTENDED_PASSIVE;
        i += 3;
    }
    unsigned long value = 0;
    int digits = 0;
    for (;; ++i) {
        bool at_end = i >= end;
        uint8_t b = at_end ? 0 : d.u8(i);
        if (!at_end && is_digit(b)) {
            ++digits;
            add_digit(value, b);
            continue;
        }
        if (!at_end && b != ',' && b != ')' && b != '|') return false;
        if (digits > 0) {
            if (r.count == 6) return false;
            r.v[r.count++] = value;
        } else if (b == ',') {
            return false;  // an empty number
        }
        if (b != ',') break;  // ")", "|" or the end of the text ends the reply
        value = 0;
        digits = 0;
    }
    // Port 0 is taken as announced; a number that does not fit its field is not
    // cut down into some other port.
    if (r.form == PortAnnouncement::EXTENDED_PASSIVE) return r.count == 1 && r.v[0] <= 65535;
    if (r.count != 6) return false;
    for (unsigned long v : r.v)
        if (v > 255) return false;
    return true;
}

// The text of a reply after its code: "... PASSIVE MODE ... (h1,h2,h3,h4,p1,p2)" or
// "... (|||port|)", compared without regard to case, printable characters only.
bool parse_passive_reply(const Bytes& d, int i, int end, PortAnnouncement& r) {
    for (;; ++i) {  // up to the first P
        if (i >= end) return false;
        uint8_t b = d.u8(i);
        if (!printable(b)) return false;
        if (upper(b) == 'P') break;
    }
    static const char words[] = "PASSIVE MODE";
    for (int k = 0; words[k]; ++k, ++i)
        if (i >= end || upper(d.u8(i)) != uint8_t(words[k])) return false;
    for (;; ++i) {  // up to and including "("
        if (i >= end) return false;
        uint8_t b = d.u8(i);
        if (!printable(b)) return false;
        if (b == '(') break;
    }
    return passive_numbers(d, i + 1, end, r);
}

// "PORT h1,h2,h3,h4,p1,p2" and "EPRT |af|address|port|": the client names the port
// on which it waits for the server's data connection.
bool parse_active_command(const Bytes& d, const TextLine& l, PortAnnouncement& r) {
    int end = l.start + l.length;
    int i = l.start + 4;
    r.count = 0;
    if (starts_with_nocase(d, l.start, "PORT")) {
        r.form = PortAnnouncement::ACTIVE;
        while (i < end && d.u8(i) == ' ') ++i;
        unsigned long value = 0;
        int digits = 0;
        for (;; ++i) {
            bool at_end = i >= end;
            uint8_t b = at_end ? 0 : d.u8(i);
            if (!at_end && is_digit(b)) {
                ++digits;
                add_digit(value, b);
                continue;
            }
            // A comma, a blank before the line end, or the line end closes a number.
            if (!at_end && b != ',' && b != ' ') return false;
            if (digits == 0 || r.count == 6 || value > 255) return false;
            r.v[r.count++] = value;
            value = 0;
            digits = 0;
            if (b != ',') break;
        }
        while (i < end && d.u8(i) == ' ') ++i;
        return i >= end && r.count == 6 && r.v[4] * 256 + r.v[5] != 0;
    }
    if (!starts_with_nocase(d, l.start, "EPRT")) return false;
    r.form = PortAnnouncement::EXTENDED_ACTIVE;
    while (i < end && d.u8(i) == ' ') ++i;
    if (i >= end) return false;
    uint8_t delimiter = d.u8(i);
    if (delimiter < 33 || delimiter > 126) return false;
    // |af|address|port|: the port is the third field.
    int field = 0, at = i + 1;
    for (; at < end && field < 2; ++at)
        if (d.u8(at) == delimiter) ++field;
    if (field < 2) return false;
    unsigned long port = 0;
    int digits = 0;
    for (; at < end && is_digit(d.u8(at)); ++at) {
        ++digits;
        add_digit(port, d.u8(at));
    }
    if (digits == 0 || at >= end || d.u8(at) != delimiter || port == 0 || port > 65535) return false;
    r.v[0] = port;
    r.count = 1;
    return true;
}

// Takes a port into the announcement table. The entry keeps the server and the
// client address; the ports alone decide later, since an address inside a reply
// is often the server's private one behind a translating router.
void announce_ftp_port(const PortAnnouncement& r) {
    DecodeContext& c = ctx();
    FtpTracking& t = c.ftp_tracking;
    int size = t.ip_version == 2 ? 16 : 4;
    const uint8_t* source = c.pseudo_header + 4;
    const uint8_t* destination = c.pseudo_header + 4 + size;
    uint8_t server[16] = {}, client[16] = {};
    uint16_t port;
    switch (r.form) {
    case PortAnnouncement::PASSIVE:  // the server names its own address
        if (t.ip_version != 1) return;
        for (int k = 0; k < 4; ++k) server[k] = uint8_t(r.v[k]);
        std::memcpy(client, destination, 4);
        port = uint16_t(r.v[4] * 256 + r.v[5]);
        break;
    case PortAnnouncement::EXTENDED_PASSIVE:
        std::memcpy(server, source, size_t(size));
        std::memcpy(client, destination, size_t(size));
        port = uint16_t(r.v[0]);
        break;
    case PortAnnouncement::ACTIVE:  // the client names its own address
        if (t.ip_version != 1) return;
        for (int k = 0; k < 4; ++k) client[k] = uint8_t(r.v[k]);
        std::memcpy(server, destination, 4);
        port = uint16_t(r.v[4] * 256 + r.v[5]);
        break;
    default:
        std::memcpy(client, source, size_t(size));
        std::memcpy(server, destination, size_t(size));
        port = uint16_t(r.v[0]);
        break;
    }
    for (const FtpAnnouncement& e : t.entries)
        if (e.state == 1 && e.port == port && std::memcmp(e.server, server, 16) == 0) return;
    for (FtpAnnouncement& e : t.entries) {
        if (e.state != 0) continue;
        e.state = 1;
        std::memcpy(e.server, server, 16);
        std::memcpy(e.client, client, 16);
        e.port = port;
        t.active = 1;
        return;
    }
}

// ---- TELNET tables ----

constexpr const char* telnet_options[41] = {
    "Binary Transmission", "Echo", "Reconnection", "Suppress Go Ahead", "Approx Message Size Negotiation",
    "Status", "Timing Mark", "Remote Controlled Trans and Echo", "Output Line Width", "Output Page Size",
    "Output Carriage-Return Disposition", "Output Horizontal Tab Stops", "Output Horizontal Tab Disposition",
    "Output Formfeed Disposition", "Output Vertical Tabstops", "Output Vertical Tab Disposition",
    "Output Linefeed Disposition", "Extended ASCII", "Logout", "u_int8_t Macro", "Data Entry Terminal",
    "SUPDUP", "SUPDUP Output", "Send Location", "Terminal Type", "End of Record",
    "TACACS User Identification", "Output Marking", "Terminal Location Number", "3270 Regime", "X.3 PAD",
    "Negotiate About Window Size", "Terminal Speed", "Remote Flow Control", "Linemode",
    "X Display Location", "Environment", "Authentication", "Encrypt", "New Environment", "TN3270E",
};

const char* telnet_option_name(uint8_t code) { return code <= 40 ? telnet_options[code] : "Unknown option"; }

constexpr const char* telnet_commands[14] = {  // codes 236..249
    "Command : End of File", "Command : Suspend Current Process", "Command : Abort Process",
    "Command : End of Record", "Command : End of suboption", "Command : No operation",
    "Command : Data Mark", "Command : Break", "Command : Interrupt Process", "Command : Abort output",
    "Command : Are You There", "Command : Escape character", "Command : Erase Line", "Command : Go ahead",
};

constexpr const char* telnet_verbs[4] = {"Will", "Won't", "Do", "Don't"};  // codes 251..254

constexpr NameEntry auth_subcommands[] = {{0, "IS"}, {1, "SEND"}, {2, "REPLY"}, {3, "NAME"}, {0, nullptr}};
constexpr NameEntry auth_types[] = {
    {0, "NULL"}, {1, "KERBEROS_V4"}, {2, "KERBEROS_V5"}, {3, "SPX"}, {4, "MINK"}, {5, "SRP"},
    {6, "RSA[also used by SRA]"}, {7, "SSL"}, {10, "LOKI"}, {11, "SSA"}, {12, "KEA_SJ"},
    {13, "KEA_SJ_INTEG"}, {14, "DSS"}, {15, "NTLM"}, {0, nullptr},
};
constexpr NameEntry auth_kerberos4_srp[] = {
    {0, "AUTH"}, {1, "REJECT"}, {2, "ACCEPT"}, {3, "CHALLENGE"}, {4, "RESPONSE"}, {8, "EXP"}, {9, "PARAMS"},
    {0, nullptr},
};
constexpr NameEntry auth_kerberos5[] = {
    {0, "AUTH"}, {1, "REJECT"}, {2, "ACCEPT"}, {3, "RESPONSE"}, {4, "FORWORD"}, {5, "FORWARD ACCEPT"},
    {6, "FORWARD REJECT"}, {0, nullptr},
};
constexpr NameEntry auth_kea[] = {
    {1, "KEA_CERTA_RA"}, {2, "KEA_CERTB_RB_IVB_NONCEB"}, {3, "KEA_IVA_RESPONSEB_NONCEA"}, {4, "KEA_RESPONSEA"},
    {0, nullptr},
};
constexpr NameEntry auth_dss[] = {
    {1, "DSS_INITIALIZE"}, {2, "DSS_TOKENBA"}, {3, "DSS_CERTA_TOKENAB"}, {4, "DSS_CERTB_TOKENBA2"},
    {0, nullptr},
};

constexpr NameEntry encrypt_subcommands[] = {
    {0, "IS"}, {1, "SUPPORT"}, {2, "REPLY"}, {3, "START"}, {4, "END"}, {5, "REQUEST START"},
    {6, "REQUEST END"}, {7, "ENC KEYID"}, {8, "DEC KEYID"}, {0, nullptr},
};
constexpr NameEntry encrypt_types[] = {
    {0, "NULL"}, {1, "DES_CFB64"}, {2, "DES_OFB64"}, {3, "DES3_CFB64"}, {4, "DES3_OFB64"},
    {8, "CAST5_40_CFB64"}, {9, "CAST5_40_OFB64"}, {10, "CAST128_CFB64"}, {11, "CAST128_OFB64"}, {0, nullptr},
};
constexpr NameEntry encrypt_cfb[] = {{1, "CFB64_IV"}, {2, "CFB64_IV_OK"}, {3, "CFB64_IV_BAD"}, {0, nullptr}};
constexpr NameEntry encrypt_ofb[] = {{1, "OFB64_IV"}, {2, "OFB64_IV_OK"}, {3, "OFB64_IV_BAD"}, {0, nullptr}};
constexpr NameEntry no_names[] = {{0, nullptr}};

// ---- syslog tables ----

constexpr NameEntry syslog_severities[] = {
    {0, "emerg"}, {1, "alert"}, {2, "crit"}, {3, "err"}, {4, "warning"}, {5, "notice"}, {6, "info"},
    {7, "debug"}, {0, nullptr},
};
constexpr NameEntry syslog_facilities[] = {
    {0, "kern"},    {1, "user"},    {2, "mail"},    {3, "daemon"},  {4, "auth"},    {5, "syslog"},
    {6, "lpr"},     {7, "news"},    {8, "uucp"},    {9, "cron"},    {10, "authpriv"}, {11, "ftp"},
    {12, "ntp"},    {13, "audit"},  {14, "alert"},  {15, "clock"},  {16, "local0"}, {17, "local1"},
    {18, "local2"}, {19, "local3"}, {20, "local4"}, {21, "local5"}, {22, "local6"}, {23, "local7"},
    {0, nullptr},
};

// ---- TELNET ----

const char* auth_modifier_text(uint8_t m) {
    static thread_local char out[96];
    int k = format_textf(out, sizeof out, "%s|%s", (m & 1) ? "SERVER" : "CLIENT", (m & 2) ? "MUTUAL" : "ONE WAY");
    if ((m & 0x14) == 0x04) k += format_textf(out + k, sizeof out - size_t(k), "|ENCRYPT USING TELOPT");
    if ((m & 0x14) == 0x10) k += format_textf(out + k, sizeof out - size_t(k), "|ENCRYPT AFTER EXCHANGE");
    if (m & 0x08) format_textf(out + k, sizeof out - size_t(k), "|INI_CRED_FWD");
    return out;
}

const char* auth_second_level(uint8_t type, uint8_t code) {
    const NameEntry* table = nullptr;
    switch (type) {
    case 1: case 5: table = auth_kerberos4_srp; break;
    case 2: table = auth_kerberos5; break;
    case 12: case 13: table = auth_kea; break;
    case 14: table = auth_dss; break;
    default: break;
    }
    const char* name = lookup_name(code, table);
    return name ? name : "Unknown";
}

// s holds one subnegotiation from its IAC: IAC SB option command ...
void telnet_authentication(int32_t sn, const Bytes& s) {
    int len = s.size();
    uint8_t sub = s.u8(3);
    node(sn, s, 2, 2, "%s %s", telnet_option_name(37), value_name(sub, auth_subcommands, 1, 0));
    switch (sub) {
    case 0: case 2: {  // IS, REPLY
        if (len < 6) return;
        uint8_t type = s.u8(4);
        if (type == 0)
            node(sn, s, 4, 2, "NULL(%u)", type);
        else
            node(sn, s, 4, 2, "%s %s", value_name(type, auth_types, 1, 0), auth_modifier_text(s.u8(5)));
        if (len < 7) return;
        uint8_t code = s.u8(6);
        const char* name = auth_second_level(type, code);
        if (len == 7)
            node(sn, s, 6, 1, "%s", name);
        else if (type == 1 || type == 2 || type == 5 || type == 12 || type == 13 || type == 14)
            node(sn, s, 6, len - 6, "%s %lu bytes", name, (unsigned long)(len - 7));
        else
            node(sn, s, 6, len - 6, "%s(%u) %lu bytes", name, code, (unsigned long)(len - 6));
        return;
    }
    case 1:  // SEND: the type pairs the sender accepts
        for (int i = 4; i + 2 <= len; i += 2)
            node(sn, s, i, 2, "%s %s", value_name(s.u8(i), auth_types, 1, 0), auth_modifier_text(s.u8(i + 1)));
        return;
    case 3:
        node(sn, s, 4, len - 4, "Remote user : %s", escaped_text(s.at(4), len - 4));
        return;
    default:
        node(sn, s, 4, len - 4, "Data %ld bytes", (long)(len - 4));
        return;
    }
}

void telnet_encryption(int32_t sn, const Bytes& s) {
    int len = s.size();
    uint8_t sub = s.u8(3);
    node(sn, s, 2, 2, "%s %s", telnet_option_name(38), value_name(sub, encrypt_subcommands, 1, 0));
    switch (sub) {
    case 0: case 2: {  // IS, REPLY
        if (len < 5) return;
        uint8_t type = s.u8(4);
        node(sn, s, 4, 1, "Type : %s", value_name(type, encrypt_types, 1, 0));
        if (type == 0 || len < 6) return;
        const NameEntry* table = no_names;
        if (type == 1 || type == 3 || type == 8 || type == 10) table = encrypt_cfb;
        if (type == 2 || type == 4 || type == 11) table = encrypt_ofb;
        node(sn, s, 5, 1, "%s", value_name(s.u8(5), table, 1, 0));
        if (len > 6) node(sn, s, 6, len - 6, "Key %lu bytes", (unsigned long)(len - 6));
        return;
    }
    case 1:
        if (len >= 5) node(sn, s, 4, 1, "Type : %s", value_name(s.u8(4), encrypt_types, 1, 0));
        return;
    case 3: case 5: case 7: case 8:
        if (len >= 5) node(sn, s, 4, len - 4, "Key %lu bytes", (unsigned long)(len - 4));
        return;
    default:
        return;
    }
}

// IAC SB at `at`: returns the bytes the subnegotiation takes, up to the next IAC
// after its option and command bytes (the IAC SE that ends it is a command of its own).
int telnet_subnegotiation(int32_t top, const Bytes& d, int at) {
    int n = d.size();
    int end = at + 4 < n ? find_byte(d.data(), at + 4, n, 255) : -1;
    if (end < 0) end = n;
    Bytes s = d.sub(at, end - at);
    int len = s.size();
    int32_t sn = node(top, d, at, len, "Suboption");
    if (len < 4) return len;
    uint8_t option = s.u8(2), command = s.u8(3);
    if (option == 37) {
        telnet_authentication(sn, s);
    } else if (option == 38) {
        telnet_encryption(sn, s);
    } else {
        node(sn, s, 2, 2, "%s %s", telnet_option_name(option), command != 0 ? "SEND " : "IS ");
        if (command == 0) node(sn, s, 4, len - 4, "Value : %s", escaped_text(s.at(4), len - 4));
    }
    return len;
}

// One IAC sequence at `at`; returns the bytes it takes.
int telnet_command(int32_t top, const Bytes& d, int at) {
    if (!d.has(at, 2)) {
        node(top, d, at, 1, "%s", escaped_text(d.at(at), 1));
        return 1;
    }
    uint8_t code = d.u8(at + 1);
    if (code >= 236 && code <= 249) {
        node(top, d, at, 2, "%s", telnet_commands[code - 236]);
        return 2;
    }
    if (code >= 251 && code <= 254 && d.has(at, 3)) {
        node(top, d, at, 3, "Command : %s %s", telnet_verbs[code - 251], telnet_option_name(d.u8(at + 2)));
        return 3;
    }
    if (code == 250) return telnet_subnegotiation(top, d, at);
    // IAC IAC (a data byte 255), an unknown code, or a negotiation cut by the capture.
    node(top, d, at, 2, "%s", escaped_text(d.at(at), 2));
    return 2;
}

// End (exclusive) of the TELNET text line from s, not beyond stop: after its LF,
// or after a CR that a zero byte directly follows.
int telnet_line_end(const Bytes& d, int s, int stop) {
    int lf = find_byte(d.data(), s, stop, '\n');
    int limit = lf < 0 ? stop : lf + 1;
    for (int cr = s; cr < limit;) {
        cr = find_byte(d.data(), cr, limit, '\r');
        if (cr < 0) break;
        if (cr + 1 < limit && d.u8(cr + 1) == 0) return cr + 2;
        ++cr;
    }
    return limit;
}

// ---- SDP ----

struct Field {
    int start, length;
};

// Splits d[from, to) at blanks (a run of blanks is one split). With rest_last the
// last of max fields runs to the end of the text.
int split_fields(const Bytes& d, int from, int to, Field* out, int max, bool rest_last) {
    int count = 0, i = from;
    while (count < max) {
        while (i < to && d.u8(i) == ' ') ++i;
        if (i >= to) break;
        int s = i;
        if (rest_last && count == max - 1) {
            i = to;
        } else {
            int b = find_byte(d.data(), i, to, ' ');
            i = b < 0 ? to : b;
        }
        out[count++] = {s, i - s};
    }
    return count;
}

void field_line(int32_t parent, const Bytes& d, int start, int length, const char* label) {
    node(parent, d, start, length, "%s : %s", label, escaped_text(d.at(start), length));
}

// "before : after" values (bandwidth, key, attribute).
void colon_fields(int32_t parent, const Bytes& d, int from, int to, const char* before, const char* after) {
    int colon = from < to ? find_byte(d.data(), from, to, ':') : -1;
    if (colon < 0) {
        if (from < to) field_line(parent, d, from, to - from, before);
        return;
    }
    field_line(parent, d, from, colon - from, before);
    field_line(parent, d, colon + 1, to - colon - 1, after);
}

void sdp_fields(int32_t f, const Bytes& d, char letter, int from, int to) {
    Field fields[32];
    switch (letter) {
    case 'o': {
        static const char* const names[6] = {"Username", "Session id", "Version", "Network type", "Address type",
                                             "Address"};
        int k = split_fields(d, from, to, fields, 6, true);
        for (int i = 0; i < k; ++i) field_line(f, d, fields[i].start, fields[i].length, names[i]);
        break;
    }
    case 'b': colon_fields(f, d, from, to, "Modifier", "Bandwidth value"); break;
    case 'k': colon_fields(f, d, from, to, "Method", "Encryption key"); break;
    case 'a': colon_fields(f, d, from, to, "Attribute", "Value"); break;
    case 't': {
        int k = split_fields(d, from, to, fields, 2, false);
        if (k > 0) field_line(f, d, fields[0].start, fields[0].length, "Start time");
        if (k > 1) field_line(f, d, fields[1].start, fields[1].length, "Stop time");
        break;
    }
    case 'r': {
        int k = split_fields(d, from, to, fields, 32, false);
        for (int i = 0; i < k; ++i)
            field_line(f, d, fields[i].start, fields[i].length,
                       i == 0 ? "Repeat interval" : i == 1 ? "Active duration" : "Offsets from start time");
        break;
    }
    case 'z': {
        int k = split_fields(d, from, to, fields, 32, false);
        for (int i = 0; i < k; i += 2) {
            int s = fields[i].start;
            int e = i + 1 < k ? fields[i + 1].start + fields[i + 1].length : s + fields[i].length;
            field_line(f, d, s, e - s, "Adjustment time/Offset ");
        }
        break;
    }
    case 'm': {
        int k = split_fields(d, from, to, fields, 4, true);
        if (k > 0) field_line(f, d, fields[0].start, fields[0].length, "Media");
        if (k > 1) {
            bool ports = find_byte(d.data(), fields[1].start, fields[1].start + fields[1].length, '/') >= 0;
            field_line(f, d, fields[1].start, fields[1].length, ports ? "Port/Number of ports" : "Port");
        }
        if (k > 2) field_line(f, d, fields[2].start, fields[2].length, "Transport");
        if (k > 3) field_line(f, d, fields[3].start, fields[3].length, "Format");
        break;
    }
    default: break;
    }
}

void decode_sdp(int32_t parent, Bytes b) {
    if (parent == 0) return;
    int n = b.size();
    int32_t top = add_nodef(parent, b.at(0), n, P_SDP, "Session Description Protocol(SDP)");
    char context = 0;  // the last of v, m and t seen
    for (int at = 0; at < n;) {
        TextLine l = cut_line(b, at);
        at = l.next();
        if (l.length < 2 || b.u8(l.start + 1) != '=') continue;
        char letter = char(b.u8(l.start));
        const char* name = nullptr;
        bool fields = false;
        switch (letter) {
        case 'v': name = "Protocol Version"; break;
        case 'o': name = "Origin"; fields = true; break;
        case 's': name = "Session Name"; break;
        case 'i':
            if (context == 'v') name = "Session Information";
            else if (context == 'm') name = "Media Information";
            break;
        case 'u': name = "URI"; break;
        case 'e': name = "Email Address"; break;
        case 'p': name = "Phone Number"; break;
        case 'c': name = "Connection Data"; break;
        case 'b': name = "Bandwidth"; fields = true; break;
        case 't': name = "Time Zones"; fields = true; break;
        case 'r': name = "Repeat Times"; fields = true; break;
        case 'z': name = "Time Zone Adjustments"; fields = true; break;
        case 'k': name = "Encryption Keys"; fields = true; break;
        case 'm': name = "Media Announcements"; fields = true; break;
        case 'a':
            if (context == 'v') name = "Session attributes", fields = true;
            else if (context == 'm') name = "Media Attributes", fields = true;
            break;
        default: break;
        }
        if (name) {
            int32_t f = node(top, b, l.start, l.covered(), "%s(%c) : %s", name, letter,
                             escaped_text(b.at(l.start + 2), l.covered() - 2));
            if (fields) sdp_fields(f, b, letter, l.start + 2, l.start + l.length);
        } else {
            // Unknown letters, and i= or a= outside a session or media part, are shown whole.
            const char* whole = letter == 'i' ? "Session Information" : letter == 'a' ? "Attributes" : "Unknown";
            node(top, b, l.start, l.covered(), "%s(%c) : %s", whole, printable(uint8_t(letter)) ? letter : '?',
                 escaped_text(b.at(l.start), l.covered()));
        }
        if (letter == 'v' || letter == 'm' || letter == 't') context = letter;
    }
}

// ---- RTSP ----

// Value of a header line after its name: skips blanks and tabs.
int skip_blanks(const Bytes& d, int i, int end) {
    while (i < end && (d.u8(i) == ' ' || d.u8(i) == '\t')) ++i;
    return i;
}

bool white_or_end(const Bytes& d, int i, int end) {
    if (i >= end) return true;
    uint8_t b = d.u8(i);
    return b == ' ' || b == '\t' || b == '\r' || b == '\n';
}

// Content-Type and Content-Length, read over at most the first 511 characters.
void rtsp_header(const Bytes& d, const TextLine& l, bool& sdp, long& content_length) {
    int end = l.start + (l.length < 511 ? l.length : 511);
    static const char type[] = "Content-Type:";
    static const char length[] = "Content-Length:";
    if (end - l.start >= int(sizeof type - 1) && starts_with_nocase(d, l.start, type)) {
        int i = skip_blanks(d, l.start + int(sizeof type - 1), end);
        static const char sdp_type[] = "application/sdp";
        int k = int(sizeof sdp_type - 1);
        if (i + k <= end && compare_nocase(d.at(i), sdp_type, k) == 0 && white_or_end(d, i + k, end)) sdp = true;
    } else if (end - l.start >= int(sizeof length - 1) && starts_with_nocase(d, l.start, length)) {
        int i = skip_blanks(d, l.start + int(sizeof length - 1), end);
        long v = 0;
        int digits = 0;
        for (; i < end && is_digit(d.u8(i)); ++i, ++digits)
            if (v < 100000000L) v = v * 10 + (d.u8(i) - '0');  // far beyond any frame: keeps it whole
        if (digits > 0 && white_or_end(d, i, end)) content_length = v;
    }
}

bool rtsp_start_line(const Bytes& d, int at) {
    if (starts_with(d, at, "RTSP/")) return true;
    for (const char* m : rtsp_methods)
        if (starts_with_nocase(d, at, m)) return true;
    return false;
}

// Is the line at l a header (or other shown line) rather than the start of the body?
bool rtsp_shown_line(const Bytes& d, const TextLine& l) {
    if (l.length == 0) return true;  // the empty line
    if (rtsp_start_line(d, l.start)) return true;
    for (int i = l.start; i < l.start + l.length; ++i) {
        uint8_t b = d.u8(i);
        if (b == ' ' || b == '\t' || b == ':') return true;
        if (separator(b) || !printable(b)) return false;
    }
    return false;
}

// "$", channel, 16-bit length, data. Takes all the remaining bytes.
int rtsp_interleaved(int32_t parent, int32_t top, const Bytes& u) {
    int n = u.size();
    if (parent == 0) {
        if (text_columns_wanted()) {
            if (u.has(0, 4))
                set_columnf(5, nullptr, 0, "Interleaved data(channel=%u %ld octets)", u.u8(1), (long)u.be16(2));
            else
                truncated_summary("RTSP interleaved frame", u);
        }
        set_column("RTSP", 4, u.at(0), P_RTSP);
        return -1;
    }
    node(top, u, 0, 1, "Interleaved Code : 0x%x", u.u8(0));
    if (u.has(1, 1)) node(top, u, 1, 1, "Channel Identifier : %u", u.u8(1));
    if (!u.has(2, 2)) {
        truncated_line(top, u, 4);
        return n;
    }
    long length = u.be16(2);
    node(top, u, 2, 2, "Length : %ld", length);
    // The data line takes everything after the header; the excess over the
    // frame's length is named again on a line of its own.
    long rest = n - 4;
    node(top, u, 4, int(rest), "Data : %ld bytes", rest);
    if (rest > length) node(top, u, 4 + int(length), int(rest - length), "upper-layer protocol : %ld bytes", rest - length);
    return n;
}

// An RTSP request or reply: its lines, then its body.
int rtsp_message(int32_t parent, int32_t top, const Bytes& u) {
    int n = u.size();
    if (parent == 0) {
        set_column("RTSP", 4, u.at(0), P_RTSP);
        if (text_columns_wanted()) {
            if (rtsp_start_line(u, 0))
                set_column(escaped_line(u, cut_line(u, 0)), 5, nullptr, 0);
            else
                set_columnf(5, nullptr, 0, "RTSP data %ld octets", (long)n);
        }
        return -1;
    }
    bool sdp = false;
    long content_length = -1;
    int at = 0;
    while (at < n) {
        TextLine l = cut_line(u, at);
        if (!rtsp_shown_line(u, l)) break;
        rtsp_header(u, l, sdp, content_length);
        node(top, u, at, l.covered(), "%s%s", escaped_line(u, l), l.end_text);
        at = l.next();
    }
    long body = n - at;
    if (content_length >= 0 && content_length < body) body = content_length;
    if (body <= 0) return at;
    if (sdp) {
        decode_sdp(parent, u.sub(at, int(body)));
    } else if (u.u8(at) == '$') {
        return at;  // the next unit is an interleaved frame
    } else {
        node(top, u, at, int(body), "Data : %ld bytes", body);
    }
    return at + int(body);
}

// ---- SMTP and POP3 ----

// Lines of a mail protocol: each line with a line end under prefix, the rest as a count.
// With reply_digits, the prefix turns to "Message : " at the first line without a code.
void mail_lines(int32_t top, const Bytes& d, const char* prefix, bool reply_digits) {
    int n = d.size(), at = 0;
    while (at < n) {
        TextLine l = cut_line(d, at);
        if (!l.ended) break;
        if (reply_digits && !three_digits(d, l)) {
            prefix = "Message : ";
            reply_digits = false;
        }
        node(top, d, at, l.covered(), "%s%s%s", prefix, escaped_line(d, l), l.end_text);
        at = l.next();
    }
    if (at < n) node(top, d, at, n - at, "Message : %d bytes", n - at);
}

// ---- IMAP ----

const char* imap_prefix(const Bytes& d, const TextLine& l) {
    const uint8_t* p = d.at(l.start);
    if (l.ended && status_line_test(p, d.size() - l.start) >= 0)
        return tagged_response_test(p, l.length) >= 0 ? "Response : " : "Request : ";
    if (starts_with(d, l.start, "* ") || starts_with(d, l.start, "+ ")) return "Response : ";
    return "Message : ";
}

// ---- HTTP ----

// The text of one HTTP line; rest is set when the line takes all the remaining bytes.
struct HttpLine {
    const char* prefix;
    TextLine line;
    bool rest;
};

HttpLine http_line(const Bytes& d, int at, bool detail) {
    TextLine l = cut_line(d, at);
    if (starts_with(d, at, "HTTP/")) return {"Response : ", l, false};
    for (const char* m : http_methods)
        if (starts_with(d, at, m)) return {"Request : ", l, false};
    if (detail && l.ended && l.length == 0) return {"", l, false};
    if (l.ended) {
        for (int i = at; i < at + l.length; ++i) {
            uint8_t b = d.u8(i);
            if (b == ':') {
                if (i + 1 < at + l.length && d.u8(i + 1) == ' ') return {"Header : ", l, false};
                break;
            }
            if (b == ' ' || b == '\t') continue;
            if (separator(b) || !printable(b)) break;
        }
    }
    return {"Message : ", l, true};
}

}  // namespace

// ---- FTP ----

void decode_ftp(int32_t parent, Bytes d) {
    int n = d.size();
    if (parent == 0) set_column("FTP", 4, d.at(0), P_FTP);
    const char* prefix = "FTP data ";
    bool reply = false, command = false, multi = false;
    TextLine first = {0, n, 0, "", false};
    if (n >= 4 && digits_test(0, d.data(), 3, n) == 3 && (d.u8(3) == ' ' || d.u8(3) == '-')) {
        reply = true;
        multi = d.u8(3) == '-';
        prefix = "Response : ";
        first = cut_line(d, 0);
    } else if (table_match(d.first(32), ftp_commands, true)) {
        command = true;
        prefix = "Command : ";
        first = cut_line(d, 0);
    }

    if (tracking_pass(parent)) {
        PortAnnouncement a;
        if ((reply && parse_passive_reply(d, 4, first.length, a)) || (command && parse_active_command(d, first, a)))
            announce_ftp_port(a);
    }

    if (parent == 0) {
        if (!text_columns_wanted()) return;
        if (reply || command)
            set_columnf(5, nullptr, 0, "%s%s", prefix, escaped_line(d, first));
        else
            set_columnf(5, nullptr, 0, "%s%d octets", prefix, n);
        return;
    }

    int32_t top = add_nodef(parent, d.at(0), n, P_FTP, "File Transfer Protocol");
    if (!reply && !command) {
        node(top, d, 0, n, "%s: %d bytes", prefix, n);
        return;
    }
    node(top, d, 0, first.covered(), "%s%s%s", prefix, escaped_line(d, first), first.end_text);
    int at = first.next();
    while (multi && at < n) {
        TextLine l = cut_line(d, at);
        node(top, d, at, l.covered(), "Response : %s%s", escaped_line(d, l), l.end_text);
        at = l.next();
        if (three_digits(d, l) && l.length >= 4 && d.u8(l.start + 3) == ' ') break;
    }
    if (at < n) node(top, d, at, n - at, "Data % d bytes", n - at);
}

void note_ftp_segment(uint8_t flags) {
    FtpTracking& t = ctx().ftp_tracking;
    if (!t.active) return;
    uint16_t source = t.tcp_ports[0], destination = t.tcp_ports[1];
    if ((flags & 0x12) == 0x12) {  // SYN and ACK: the announced side accepted the connection
        for (FtpAnnouncement& e : t.entries) {
            if (e.state == 0 || e.port != source) continue;
            e.state = 3;
            register_data_port(source, 20);
            return;
        }
        return;
    }
    if ((flags & 0x05) && !(flags & 0x08)) {  // FIN or RST, without PSH
        for (FtpAnnouncement& e : t.entries) {
            if (e.state == 0 || (e.port != source && e.port != destination)) continue;
            e.state = 0;
            break;
        }
        // The control connection closing ends one pending announcement.
        if (source == 21 || destination == 21) {
            for (FtpAnnouncement& e : t.entries) {
                if (e.state == 0) continue;
                e.state = 0;
                break;
            }
        }
    }
}

void decode_ftp_data(int32_t parent, Bytes d) {
    int n = d.size();
    if (parent == 0) {
        set_column("FTP-DATA", 4, d.at(0), P_FTPDATA);
        if (text_columns_wanted()) set_columnf(5, nullptr, 0, "FTP-DATA data %d octets", n);
        return;
    }
    int32_t top = add_nodef(parent, d.at(0), n, P_FTPDATA, "File Transfer Protocol");
    for (int at = 0; at < n;) {
        TextLine l = cut_line(d, at);
        node(top, d, at, l.covered(), "FTP-DATA : %s%s", escaped_line(d, l), l.end_text);
        at = l.next();
    }
}

// ---- HTTP and SSDP ----

void decode_http(int32_t parent, Bytes d) {
    int n = d.size();
    bool ssdp = ctx().app_port == 1900;
    if (parent == 0) {
        set_column(ssdp ? "SSDP" : "HTTP", 4, d.at(0), ssdp ? P_SSDP : P_HTTP);
        if (!text_columns_wanted()) return;
        HttpLine h = http_line(d, 0, false);
        if (h.rest)
            set_columnf(5, nullptr, 0, "%s%d octets", h.prefix, n);
        else
            set_columnf(5, nullptr, 0, "%s%s", h.prefix, escaped_line(d, h.line));
        return;
    }
    int32_t top = add_nodef(parent, d.at(0), n, ssdp ? P_SSDP : P_HTTP, "%s",
                            ssdp ? "Simple Service Discovery Protocol" : "Hypertext Transfer Protocol");
    for (int at = 0; at < n;) {
        HttpLine h = http_line(d, at, true);
        if (h.rest) {
            node(top, d, at, n - at, "%s%d bytes", h.prefix, n - at);
            break;
        }
        node(top, d, at, h.line.covered(), "%s%s%s", h.prefix, escaped_line(d, h.line), h.line.end_text);
        at = h.line.next();
    }
}

// ---- SMTP ----

void decode_smtp(int32_t parent, Bytes d) {
    int n = d.size();
    const char* prefix = "Message : ";
    bool reply = n >= 3 && digits_test(0, d.data(), 3, n) == 3;
    if (reply)
        prefix = "Response : ";
    else if (table_match(d, smtp_commands, false))
        prefix = "Command : ";
    bool message = !reply && prefix[0] == 'M';
    if (parent == 0) {
        set_column("SMTP", 4, d.at(0), P_SMTP);
        if (!text_columns_wanted()) return;
        if (message)
            set_columnf(5, nullptr, 0, "Message %d octets", n);
        else
            set_columnf(5, nullptr, 0, "%s%s", prefix, escaped_line(d, cut_line(d, 0)));
        return;
    }
    int32_t top = add_nodef(parent, d.at(0), n, P_SMTP, "Simple Mail Transfer Protocol");
    mail_lines(top, d, prefix, reply);
}

// ---- POP3 ----

void decode_pop3(int32_t parent, Bytes d) {
    int n = d.size();
    const char* prefix = "Message : ";
    if (starts_with(d, 0, "+OK") || starts_with(d, 0, "-ERR"))
        prefix = "Response : ";
    else if (table_match(d, pop3_commands, false))
        prefix = "Command : ";
    if (parent == 0) {
        set_column("POP3", 4, d.at(0), P_POP3);
        if (!text_columns_wanted()) return;
        if (prefix[0] == 'M')
            set_columnf(5, nullptr, 0, "Message %d octets", n);
        else
            set_columnf(5, nullptr, 0, "%s%s", prefix, escaped_line(d, cut_line(d, 0)));
        return;
    }
    int32_t top = add_nodef(parent, d.at(0), n, P_POP3, "Post Office Protocol");
    mail_lines(top, d, prefix, false);
}

// ---- IMAP ----

void decode_imap(int32_t parent, Bytes d) {
    int n = d.size();
    if (parent == 0) {
        set_column("IMAP", 4, d.at(0), P_IMAP);
        if (!text_columns_wanted()) return;
        TextLine l = cut_line(d, 0);
        const char* prefix = imap_prefix(d, l);
        if (prefix[0] == 'M')
            set_columnf(5, nullptr, 0, "%sdata %d octets", prefix, n);
        else
            set_columnf(5, nullptr, 0, "%s%s", prefix, escaped_line(d, l));
        return;
    }
    int32_t top = add_nodef(parent, d.at(0), n, P_IMAP, "Internet Message Access Protocol");
    for (int at = 0; at < n;) {
        TextLine l = cut_line(d, at);
        node(top, d, at, l.covered(), "%s%s%s", imap_prefix(d, l), escaped_line(d, l), l.end_text);
        at = l.next();
    }
}

// ---- TELNET ----

void decode_telnet(int32_t parent, Bytes d) {
    int n = d.size();
    if (parent == 0) {
        set_column("TELNET", 4, d.at(0), P_TELNET);
        if (text_columns_wanted()) set_columnf(5, nullptr, 0, "TELNET data %ld octets", (long)n);
        return;
    }
    int32_t top = add_nodef(parent, d.at(0), n, P_TELNET, "TELNET");
    for (int at = 0; at < n;) {
        if (d.u8(at) == 255) {
            at += telnet_command(top, d, at);
            continue;
        }
        int stop = find_byte(d.data(), at, n, 255);
        if (stop < 0) stop = n;
        while (at < stop) {
            int e = telnet_line_end(d, at, stop);
            node(top, d, at, e - at, "%s", escaped_text(d.at(at), e - at));
            at = e;
        }
    }
}

// ---- syslog ----

void decode_syslog(int32_t parent, Bytes d) {
    int n = d.size();
    int close = -1;  // index of the ">" after the priority
    uint64_t value = 0;
    if (n > 0 && d.u8(0) == '<') {
        int k = 1;
        for (; k < n && k <= 32 && is_digit(d.u8(k)); ++k) value = value * 10 + (d.u8(k) - '0');
        if (k < n && d.u8(k) == '>') close = k;
    }
    uint32_t facility = uint32_t(value >> 3) & 0x7F, severity = uint32_t(value) & 7;
    if (parent == 0) {
        set_column("syslog", 4, d.at(0), P_SYSLOG);
        if (!text_columns_wanted()) return;
        if (close >= 0)
            set_columnf(5, nullptr, 0, "Facility : %s Severity : %s", value_name(facility, syslog_facilities, 1, 0),
                        value_name(severity, syslog_severities, 1, 0));
        else
            set_columnf(5, nullptr, 0, "syslog data %ld octets", (long)n);
        return;
    }
    int32_t top = add_nodef(parent, d.at(0), n, P_SYSLOG, "syslog");
    if (close < 0) {
        node(top, d, 0, n, "Data %ld bytes", (long)n);
        return;
    }
    node(top, d, 0, close + 1, "Facility : %s Severity : %s", value_name(facility, syslog_facilities, 1, 0),
         value_name(severity, syslog_severities, 1, 0));
    if (n > close + 1) node(top, d, close + 1, n - close - 1, "Messages : %ld bytes", (long)(n - close - 1));
}

// ---- RTSP ----

void decode_rtsp(int32_t parent, Bytes d) {
    int n = d.size();
    int32_t top = parent == 0 ? 0 : add_nodef(parent, d.at(0), n, P_RTSP, "Real Time Streaming Protocol");
    for (int at = 0; at < n;) {
        Bytes u = d.from(at);
        int used = u.u8(0) == '$' ? rtsp_interleaved(parent, top, u) : rtsp_message(parent, top, u);
        if (used <= 0) return;  // summary mode: the first unit decides
        at += used;
    }
}

}  // namespace zelpan
