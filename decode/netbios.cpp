// The NetBIOS family: NetBIOS Frames over LLC, NetBIOS over TCP/IP (name,
// datagram and session services), NetBIOS over IPX, NMPI, and the SMB header
// that most of them carry.
//
// Every read goes through the message view, which ends at the captured bytes.
// Lines are added only for fields captured whole; a cut message shows what is
// there and stops.
#include "decode/netbios.h"

#include <cstdio>
#include <cstring>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"
#include "decode/text_format.h"

namespace zelpan {

namespace {

constexpr int NAME_TEXT = 400;   // decoded name text, cut beyond this
constexpr int PLAIN_TEXT = 80;   // a plain name: 15 characters of up to 4, the type, the end

// ---- tables ----

constexpr NameEntry session_types[] = {
    {0x00, "SESSION MESSAGE"}, {0x81, "SESSION REQUEST"}, {0x82, "POSITIVE SESSION RESPONSE"},
    {0x83, "NEGATIVE SESSION RESPONSE"}, {0x84, "RETARGET SESSION RESPONSE"}, {0x85, "SESSION KEEP ALIVE"},
    {0, nullptr},
};

constexpr NameEntry session_errors[] = {
    {0x80, "Not listening on called name"}, {0x81, "Not listening for calling name"},
    {0x82, "Called name not present"}, {0x83, "Called name present, but insufficient resources"},
    {0x8F, "Unspecified error"},
    {0, nullptr},
};

constexpr NameEntry datagram_types[] = {
    {0x10, "DIRECT_UNIQUE DATAGRAM"}, {0x11, "DIRECT_GROUP DATAGRAM"}, {0x12, "BROADCAST DATAGRAM"},
    {0x13, "DATAGRAM ERROR"}, {0x14, "DATAGRAM QUERY REQUEST"}, {0x15, "DATAGRAM POSITIVE QUERY RESPONSE"},
    {0x16, "DATAGRAM NEGATIVE QUERY RESPONSE"},
    {0, nullptr},
};

constexpr NameEntry datagram_errors[] = {
    {0x82, "DESTINATION NAME NOT PRESENT"}, {0x83, "INVALID SOURCE NAME FORMAT"},
    {0x84, "INVALID DESTINATION NAME FORMAT"},
    {0, nullptr},
};

constexpr NameEntry end_node_types[] = {
    {0, "B node"}, {1, "P node"}, {2, "M node"}, {3, "NBDD"}, {0, nullptr},
};

constexpr NameEntry ns_types[] = {
    {1, "A"}, {2, "NS"}, {10, "NULL"}, {32, "NB"}, {33, "NBSTAT"}, {0, nullptr},
};
constexpr NameEntry ns_classes[] = {{1, "Internet"}, {0, nullptr}};

constexpr NameEntry ns_opcodes[] = {
    {0, "Query"}, {5, "Registration"}, {6, "Release"}, {7, "WACK"}, {8, "Refresh"}, {9, "Refresh"},
    {0, nullptr},
};

const char* const node_types[4] = {"B node", "P node", "M node", "H node"};

// Command codes as the NetBIOS Frames protocol assigns them.
constexpr NameEntry frame_commands[] = {
    {0x00, "Add Group Name Query"}, {0x01, "Add Name Query"}, {0x02, "Name in Conflict"},
    {0x03, "Status Query"}, {0x07, "Terminate Trace"}, {0x08, "Datagram"}, {0x09, "Datagram Broadcast"},
    {0x0A, "Name Query"}, {0x0D, "Add Name Response"}, {0x0E, "Name Recognised"}, {0x0F, "Status Response"},
    {0x13, "Terminate Local & Remote Trace"}, {0x14, "Data Ack"}, {0x15, "Data First Middle"},
    {0x16, "Data Only Last"}, {0x17, "Session Confirm"}, {0x18, "Session End"}, {0x19, "Session Initialize"},
    {0x1A, "No Receive"}, {0x1B, "Receive Out-Standing"}, {0x1C, "Receive Continue"}, {0x1F, "Session Alive"},
    {0, nullptr},
};

constexpr NameEntry nbipx_types[] = {
    {1, "Find Name"}, {2, "Name Recognized"}, {3, "Check Name"}, {4, "Name in Use"}, {5, "Deregister Name"},
    {6, "Session Data"}, {7, "Session End"}, {8, "Session End ACK"}, {9, "Status Query"},
    {10, "Status Response"}, {11, "Directed Datagram"},
    {0, nullptr},
};

constexpr NameEntry nmpi_operations[] = {
    {0xF1, "Server name claim message"}, {0xF2, "Relinquish server name"}, {0xF3, "Locate server name"},
    {0xF4, "Response to INAME_QUERY"}, {0xF5, "Messenger Hangup"}, {0xFC, "Mailslot write"},
    {0xFD, "Find Mailslot name"}, {0xFE, "Find name Response"},
    {0, nullptr},
};
constexpr NameEntry nmpi_name_types[] = {{1, "Machine"}, {2, "Workgroup"}, {3, "Browser"}, {0, nullptr}};

constexpr uint32_t NEVER = 0xFFFFFFFFu;  // a code no command byte can carry

constexpr NameEntry smb_commands[] = {
    {0x70, "SMBtcon"}, {0x71, "SMBtdis"}, {0x11, "SMBexit"}, {0x27, "SMBioctl"}, {0x2B, "SMBecho"},
    {0x74, "SMBulogoffX"}, {0x08, "SMBgetatr"}, {0x09, "SMBsetatr"}, {0x10, "SMBchkpth"}, {0x81, "SMBsearch"},
    {0x02, "SMBopen"}, {0x03, "SMBcreate"}, {0x0F, "SMBmknew"}, {0x06, "SMBunlink"}, {0x0A, "SMBread"},
    {0x0B, "SMBwrite"}, {0x04, "SMBclose"}, {0x00, "SMBmkdir"}, {0x01, "SMBrmdir"}, {0x80, "SMBdskattr"},
    {0x07, "SMBmv"}, {NEVER, "SMBsetdir"}, {0x12, "SMBlseek"}, {0x05, "SMBflush"}, {0xC0, "SMBsplopen"},
    {0xC2, "SMBsplclose"}, {0xC3, "SMBsplretq"}, {0xC1, "SMBsplwr"}, {0x0C, "SMBlock"}, {0x0D, "SMBunlock"},
    {0x1A, "SMBreadbraw"}, {0x1D, "SMBwritebraw"}, {0x20, "SMBwritec"}, {0x2C, "SMBwriteclose"},
    {0x13, "SMBlockread"}, {0x14, "SMBwriteunlock"}, {0x1B, "SMBreadBmpx"}, {0x1E, "SMBwriteBmpx"},
    {0x1F, "SMBwriteBs"}, {0x22, "SMBsetattrE"}, {0x23, "SMBgetattrE"}, {0x26, "SMBtranss"},
    {0x28, "SMBioctls"}, {0x29, "SMBcopy"}, {0x2A, "SMBmove"}, {0x2D, "SMBopenX"}, {0x2E, "SMBreadX"},
    {0x2F, "SMBwriteX"}, {0x24, "SMBlockingX"}, {0x82, "SMBffirst"}, {0x83, "SMBfunique"},
    {0x84, "SMBfclose"}, {0x35, "SMBfindnclose"}, {0x34, "SMBfindclose"}, {0xD0, "SMBsends"},
    {0xD5, "SMBsendstrt"}, {0xD6, "SMBsendend"}, {0xD7, "SMBsendtxt"}, {0xD1, "SMBsendb"},
    {0xD2, "SMBfwdname"}, {0xD3, "SMBcancelf"}, {0xD4, "SMBgetmac"}, {0x72, "SMBnegprot"},
    {0x73, "SMBsesssetupX"}, {0x75, "SMBtconX"}, {0x32, "SMBtrans2"}, {0x33, "SMBtranss2"},
    {0x0E, "SMBctemp"}, {0x1C, "SMBreadBs"}, {0x25, "SMBtrans"}, {0xA0, "SMBnttrans"}, {0xA1, "SMBnttranss"},
    {0xA2, "SMBntcreateX"}, {0xA4, "SMBntcancel"},
    {0, nullptr},
};

// Commands whose parameter words begin with the next command of a chain.
bool chained(uint8_t command) {
    const char* name = lookup_name(command, smb_commands);
    if (!name) return false;
    size_t n = std::strlen(name);
    return name[n - 1] == 'X';  // SMBntcreateX included
}

const char* smb_command_name(uint8_t command) {
    const char* name = lookup_name(command, smb_commands);
    return name ? name : "SMBunknown";
}

constexpr NameEntry smb_error_classes[] = {
    {0, "SUCCESS"}, {1, "ERRDOS"}, {2, "ERRSRV"}, {3, "ERRHRD"}, {255, "ERRCMD"}, {0, nullptr},
};

constexpr NameEntry errdos_codes[] = {
    {1, "ERRbadfunc"}, {2, "ERRbadfile"}, {3, "ERRbadpath"}, {4, "ERRnofids"}, {5, "ERRnoaccess"},
    {6, "ERRbadfid"}, {7, "ERRbadmcb"}, {8, "ERRnomem"}, {9, "ERRbadmem"}, {10, "ERRbadenv"},
    {11, "ERRbadformat"}, {12, "ERRbadaccess"}, {13, "ERRbaddata"}, {15, "ERRbaddrive"}, {16, "ERRremcd"},
    {17, "ERRdiffdevice"}, {18, "ERRnofiles"}, {32, "ERRbadshare"}, {33, "ERRlock"}, {80, "ERRfilexists"},
    {0, nullptr},
};

constexpr NameEntry errsrv_codes[] = {
    {2, "ERRbadpw"}, {4, "ERRaccess"}, {5, "ERRinvnid"}, {6, "ERRinvnetname"}, {7, "ERRinvdevice"},
    {49, "ERRqfull"}, {50, "ERRqtoobig"}, {51, "ERRqeof"}, {52, "ERRinvpfid"}, {64, "ERRsmbcmd"},
    {65, "ERRsrverror"}, {67, "ERRfilespecs"}, {69, "ERRbadpermits"}, {71, "ERRsetattrmode"},
    {81, "ERRpaused"}, {82, "ERRmsgoff"}, {83, "ERRnoroom"}, {87, "ERRrmuns"}, {88, "ERRtimeout"},
    {89, "ERRnoresource"}, {90, "ERRtoomanyuids"}, {91, "ERRbaduid"}, {250, "ERRusempx"},
    {251, "ERRusestd"}, {252, "ERRcontmpx"}, {65535, "ERRnosupport"},
    {0, nullptr},
};

constexpr NameEntry errhrd_codes[] = {
    {19, "ERRnowrite"}, {20, "ERRbadunit"}, {21, "ERRnotready"}, {22, "ERRbadcmd"}, {23, "ERRdata"},
    {24, "ERRbadreq"}, {25, "ERRseek"}, {26, "ERRbadmedia"}, {27, "ERRbadsector"}, {28, "ERRnopaper"},
    {29, "ERRwrite"}, {30, "ERRread"}, {31, "ERRgeneral"}, {32, "ERRbadshare"}, {33, "ERRlock"},
    {34, "ERRwrongdisk"}, {35, "ERRFCBUnavail"}, {36, "ERRsharebufexc"},
    {0, nullptr},
};

const char* name_or_unknown(uint32_t value, const NameEntry* table) {
    const char* name = lookup_name(value, table);
    return name ? name : "Unknown";
}

// ---- names ----

// A plain 16-byte name at off: 15 characters (others as "<xx>"), then the type
// byte as "<XX>", into out of PLAIN_TEXT bytes. The caller has checked that the
// 16 bytes are captured.
void plain_name(const Bytes& v, int off, char* out) {
    int n = 0;
    for (int i = 0; i < 15; ++i) {
        uint8_t b = v.u8(off + i);
        if (b >= 0x20 && b < 0x7F)
            out[n++] = char(b);
        else
            n += format_textf(out + n, 5, "<%02x>", b);
    }
    format_textf(out + n, 5, "<%02X>", v.u8(off + 15));
}

// An encoded name at pos of msg (offsets count from the message start, the
// base of compression pointers). Returns the bytes the name takes at its own
// position. The walk ends on a zero byte, at the captured end, on a label type
// it cannot read, or after a few pointers (legitimate names need one).
int encoded_name(const Bytes& msg, int pos, char* out) {
    int n = 0;
    auto put = [&](const char* s, int len) {
        for (int i = 0; i < len && n < NAME_TEXT - 1; ++i) out[n++] = s[i];
    };
    out[0] = 0;
    int at = pos;
    int length = -1;
    int jumps = 0;
    bool first = true;
    while (msg.has(at, 1)) {
        uint8_t b = msg.u8(at);
        if (b == 0) {
            ++at;
            break;
        }
        if (b >= 0xC0) {
            if (!msg.has(at + 1, 1)) {
                at = msg.size();
                break;
            }
            if (length < 0) length = at + 2 - pos;
            if (++jumps > 8) break;
            at = (b & 0x3F) << 8 | msg.u8(at + 1);
            continue;
        }
        if (b >= 0x40) {  // not a length: the name cannot be read on
            ++at;
            break;
        }
        int avail = msg.avail(at + 1, b);
        if (first) {
            // Two letters "A".."P" per byte, high nibble first.
            for (int i = 0; i + 1 < avail; i += 2) {
                uint8_t c = uint8_t((msg.u8(at + 1 + i) - 'A') << 4 | ((msg.u8(at + 2 + i) - 'A') & 0x0F));
                if (c >= 0x20 && c < 0x7F) {
                    char ch = char(c);
                    put(&ch, 1);
                } else {
                    char hex[8];
                    format_textf(hex, sizeof hex, "<%02X>", c);
                    put(hex, 4);
                }
            }
            first = false;
        } else {
            put(".", 1);
            put(reinterpret_cast<const char*>(msg.at(at + 1)), avail);
        }
        at += 1 + b;
    }
    out[n] = 0;
    if (length < 0) length = (at > msg.size() ? msg.size() : at) - pos;
    return length > 0 ? length : 0;
}

// ---- SMB ----

void smb_summary(const Bytes& d) {
    set_column("SMB", 4, d.at(0), P_SMB);
    if (!text_columns_wanted()) return;
    if (!d.has(0, 10)) {
        truncated_summary("SMB", d);
        return;
    }
    uint8_t command = d.u8(4);
    const char* kind = (d.u8(9) & 0x80) ? "Response" : "Request";
    const char* name = lookup_name(command, smb_commands);
    if (name)
        set_columnf(5, nullptr, 0, "Commond : %s(%02X) %s", name, command, kind);
    else
        set_columnf(5, nullptr, 0, "Commond : %02X %s", command, kind);
}

// Parameter words, byte count and buffer of the command whose word count is at
// at; returns the offset after its buffer, or -1 when the capture ends inside.
int smb_block(int32_t top, const Bytes& d, int at) {
    if (!d.has(at, 1)) return -1;
    int words = d.u8(at);
    int p = at + 1;
    if (words != 0) node(top, d, p, words * 2, "ParameterWords : %u bytes", unsigned(words * 2));
    int b = p + words * 2;
    if (!d.has(b, 2)) return -1;
    unsigned count = d.le16(b);
    node(top, d, b, 2, "ByteCount : %u bytes", count);
    if (count != 0) node(top, d, b + 2, int(count), "Buffer : %u bytes", count);
    return b + 2 + int(count);
}

void smb_detail(int32_t parent, const Bytes& d) {
    int32_t top = add_nodef(parent, d.at(0), d.size(), P_SMB, "Server Message Block Protocol");
    if (d.has(0, 1)) node(top, d, 0, 1, "Message Type : 0x%02X", d.u8(0));
    if (d.has(1, 3)) node(top, d, 1, 3, "Server Componet : %s", escaped_text(d.at(1), 3));
    if (!d.has(0, 33)) {
        // The header fields that are captured whole, then say where it ends.
        if (d.has(4, 1)) {
            uint8_t c = d.u8(4);
            node(top, d, 4, 1, "SMB Commond : %s(0x%02X)", smb_command_name(c), c);
        }
        truncated_line(top, d, 33);
        return;
    }
    uint8_t command = d.u8(4);
    node(top, d, 4, 1, "SMB Commond : %s(0x%02X)", smb_command_name(command), command);
    uint8_t error_class = d.u8(5);
    node(top, d, 5, 1, "error class : %s", value_name(error_class, smb_error_classes, 1, 0));
    // SMB numbers are little-endian.
    uint16_t code = d.le16(7);
    const NameEntry* codes = error_class == 1 ? errdos_codes
                             : error_class == 2 ? errsrv_codes
                             : error_class == 3 ? errhrd_codes
                                                : nullptr;
    if (codes)
        node(top, d, 7, 2, "error code : %s", value_name(code, codes, 2, 0));
    else
        node(top, d, 7, 2, "error code : %u", code);
    uint8_t flags = d.u8(9);
    int32_t f = node(top, d, 9, 1, "flags : 0x%02X", flags);
    node(f, d, 9, 1, "%s", flag_text8(flags, 4, "pathnames case(less)", "pathnames case(sensitive)"));
    node(f, d, 9, 1, "%s", flag_text8(flags, 0, "response to client", "request to server"));
    uint16_t flags2 = d.le16(10);
    int32_t g = node(top, d, 10, 2, "flags2 : 0x%04X", flags2);
    struct Bit {
        int position;
        const char* on;
        const char* off;
    };
    static constexpr Bit bits2[] = {
        {15, "long pathnames supported", "long pathnames not supported"},
        {14, "extended attributes supported", "extended attributes not supported"},
        {5, "extended security supported", "extended security not supported"},
        {3, "resolve pathnames with distributed file system", "don't resolve pathnames with distributed file system"},
        {2, "permit a read", "don't permit a read"},
        {1, " 32-bit error code", " DOS-style error information"},
        {0, "strings(unicode)", "strings(ascii)"},
    };
    for (const Bit& b : bits2) node(g, d, 10, 2, "%s", flag_text16(flags2, b.position, b.on, b.off));
    static const char* const ids[4] = {"tree identifier", "caller's process id", "unauthenticated user id",
                                       "multiplex id"};
    for (int i = 0; i < 4; ++i) {
        uint16_t v = d.le16(24 + 2 * i);
        node(top, d, 24 + 2 * i, 2, "%s : %u(0x%04X)", ids[i], v, v);
    }
    node(top, d, 32, 1, "WordCount : %u words", d.u8(32));
    if (d.u8(0) == 0x25) return;
    int end = smb_block(top, d, 32);
    // Chained commands: the first parameter words name the next command and
    // the offset of its block from the header. Offsets must move forward.
    int at = 32;
    while (end > 0 && chained(command) && d.u8(at) >= 2 && d.has(at + 1, 4)) {
        uint8_t next = d.u8(at + 1);
        int offset = d.le16(at + 3);
        if (next == 0xFF || offset < end || !d.has(offset, 1)) break;
        command = next;
        at = offset;
        end = smb_block(top, d, at);
    }
}

}  // namespace

bool smb_signature(const Bytes& data) {
    return data.has(0, 4) && data.u8(0) == 0xFF && data.u8(1) == 'S' && data.u8(2) == 'M' && data.u8(3) == 'B';
}

void decode_smb(int32_t parent, Bytes data) {
    if (parent == 0)
        smb_summary(data);
    else
        smb_detail(parent, data);
}

namespace {

// User data of a NetBIOS transport: SMB when it carries the signature, else its
// size, shown even when it is none.
void user_data(int32_t parent, int32_t top, const Bytes& d, const char* format) {
    if (smb_signature(d)) {
        decode_smb(parent, d);
        return;
    }
    add_nodef(top, d.at(0), d.size(), 0, format, long(d.size()));
}

// ---- session service ----

void nbss_detail(int32_t parent, const Bytes& d) {
    int32_t top = add_nodef(parent, d.at(0), d.size(), P_NBTSS, "NetBIOS session service");
    uint8_t type = d.u8(0);
    if (!d.has(0, 4)) {
        node(top, d, 0, d.size(), "Data %d bytes", d.size());
        return;
    }
    uint8_t flags = d.u8(1);
    node(top, d, 0, 1, "Session Packet Type : %s", value_name(type, session_types, 1, 1));
    int32_t f = node(top, d, 1, 1, "Flags : 0x%02X", flags);
    node(f, d, 1, 1, "%s", flag_text8(flags, 7, "Length extension(ON)", "Length extension(OFF)"));
    unsigned length = unsigned(flags & 1) << 16 | d.be16(2);
    node(top, d, 2, 2, "Length : %u", length);
    Bytes body = d.sub(4, int(length));
    char name[NAME_TEXT];
    switch (type) {
    case 0x00:
        if (smb_signature(body)) {
            decode_smb(parent, body);
            return;
        }
        break;
    case 0x81: {
        int n = encoded_name(d, 4, name);
        if (n == 0) break;
        node(top, d, 4, n, "CALLEDNAME : %s", name);
        int m = encoded_name(d, 4 + n, name);
        if (m > 0) node(top, d, 4 + n, m, "CALLINGNAME : %s", name);
        return;
    }
    case 0x83:
        if (d.has(4, 1)) {
            node(top, d, 4, 1, "Error Code : %s", value_name(d.u8(4), session_errors, 1, 1));
            return;
        }
        break;
    case 0x84:
        if (d.has(4, 6)) {
            node(top, d, 4, 4, "ReTarget IP address : %s", ipv4_text(d.at(4)));
            node(top, d, 8, 2, "Port : %u", d.be16(8));
            return;
        }
        break;
    default:
        break;
    }
    if (!body.empty()) node(top, d, 4, body.size(), "Data %d bytes", body.size());
}

// ---- datagram service ----

bool datagram_with_names(uint8_t type) { return type >= 0x10 && type <= 0x12; }

// Offset of the user data of a direct or broadcast datagram, or -1.
int datagram_data_offset(const Bytes& d) {
    char name[NAME_TEXT];
    int n = encoded_name(d, 14, name);
    if (n == 0) return -1;
    int m = encoded_name(d, 14 + n, name);
    if (m == 0) return -1;
    return 14 + n + m;
}

void nbdgm_detail(int32_t parent, const Bytes& d) {
    int32_t top = add_nodef(parent, d.at(0), d.size(), P_NBTDS, "NetBIOS datagram service");
    if (!d.has(0, 1)) return;
    uint8_t type = d.u8(0);
    node(top, d, 0, 1, "Massage Type : %s(0x%02X)", name_or_unknown(type, datagram_types), type);
    if (!d.has(1, 1)) return;
    uint8_t flags = d.u8(1) & 0x0F;
    int32_t f = node(top, d, 1, 1, "Flags : 0x%02X", flags);
    node(f, d, 1, 1, "%s : Source End-Node type=%s", bit_text8(flags, 4, 2),
         name_or_unknown(flags >> 2 & 3, end_node_types));
    node(f, d, 1, 1, "%s", flag_text8(flags, 6, "FIRST packet(ON)", "FIRST packet(OFF)"));
    node(f, d, 1, 1, "%s", flag_text8(flags, 7, "MORE(ON)", "MORE(OFF)"));
    if (!d.has(4, 4)) return;
    node(top, d, 4, 4, "Source IP : %s", ipv4_text(d.at(4)));
    if (!d.has(8, 2)) return;
    node(top, d, 8, 2, "Source Port : %u", d.be16(8));
    char name[NAME_TEXT];
    if (datagram_with_names(type)) {
        if (!d.has(10, 2)) return;
        node(top, d, 10, 2, "datagram length : %u", d.be16(10));
        if (!d.has(12, 2)) return;
        node(top, d, 12, 2, "packet offset : 0x%04X", d.be16(12));
        int n = encoded_name(d, 14, name);
        if (n == 0) return;
        node(top, d, 14, n, "SOURCE NAME : %s", name);
        int m = encoded_name(d, 14 + n, name);
        if (m == 0) return;
        node(top, d, 14 + n, m, "DESTINATION NAME : %s", name);
        user_data(parent, top, d.from(14 + n + m), "NBTDS data %ld octets");
    } else if (type == 0x13) {
        if (d.has(10, 1))
            node(top, d, 10, 1, "Error Code : %s(0x%02X)", name_or_unknown(d.u8(10), datagram_errors), d.u8(10));
    } else if (type >= 0x14 && type <= 0x16) {
        int n = encoded_name(d, 10, name);
        if (n > 0) node(top, d, 10, n, "DESTINATION NAME : %s", name);
    } else if (d.size() > 10) {
        node(top, d, 10, d.size() - 10, "Data %d bytes", d.size() - 10);
    }
}

// ---- name service ----

struct NsHeader {
    uint16_t flags;
    int opcode, rcode;
    bool response;
    unsigned counts[4];
};

NsHeader ns_header(const Bytes& d) {
    NsHeader h{};
    h.flags = d.be16(2);
    h.response = h.flags & 0x8000;
    h.opcode = h.flags >> 11 & 0x0F;
    h.rcode = h.flags & 0x0F;
    for (int k = 0; k < 4; ++k) h.counts[k] = d.be16(4 + 2 * k);
    return h;
}

// Type of the record that starts at pos, or -1 when it is not captured.
int record_type_at(const Bytes& d, int pos) {
    char name[NAME_TEXT];
    int n = encoded_name(d, pos, name);
    if (n == 0 || !d.has(pos + n, 2)) return -1;
    return d.be16(pos + n);
}

// The operation, as RFC 1002 pairs opcode, response flag and flag bits.
const char* ns_operation(const Bytes& d, const NsHeader& h) {
    bool aa = h.flags & 0x0400, rd = h.flags & 0x0100, ra = h.flags & 0x0080;
    switch (h.opcode) {
    case 0:
        if (!h.response)
            return record_type_at(d, 12) == 33 ? "Node Status Request" : "Name Query Request";
        if (h.rcode != 0) return "Negative Name Query Response";
        if (!aa && h.counts[1] == 0 && h.counts[2] > 0) return "Redirect Name Query Response";
        {
            // The answer follows the questions (none in a response, as a rule).
            int pos = 12;
            char name[NAME_TEXT];
            for (unsigned i = 0; i < h.counts[0] && d.has(pos, 1); ++i) pos += encoded_name(d, pos, name) + 4;
            return record_type_at(d, pos) == 33 ? "Node Status Response" : "Positive Name Query Response";
        }
    case 5:
    case 8:
    case 9:
        if (!h.response) {
            if (h.opcode != 5) return "Name Refresh Request";
            return rd ? "Name Registration Request" : "Name Overwrite Request & Demand";
        }
        if (h.rcode == 7) return "Name Conflict Demand";
        if (h.rcode != 0) return "Negative Name Registration Resoponse";
        return ra ? "Positive Name Registration Resoponse" : "End-Node Challenge Registration Resoponse";
    case 6:
        if (!h.response) return "Name Release Request & Demand";
        return h.rcode == 0 ? "Positive Name Release Response" : "Negative Name Release Response";
    case 7:
        if (h.response) return "Wait for Acknowledgement Response";
        break;
    default:
        break;
    }
    return "NetBIOS name service";
}

void nbns_summary(const Bytes& d) {
    if (!d.has(0, 12)) {
        truncated_summary("NBTNS", d);
        return;
    }
    NsHeader h = ns_header(d);
    const char* op = ns_operation(d, h);
    char name[NAME_TEXT];
    if (!h.response && h.counts[0] > 0 && encoded_name(d, 12, name) > 0)
        set_columnf(5, nullptr, 0, "%s %s", op, name);
    else
        set_column(op, 5, nullptr, 0);
}

const char* set_text(bool on) { return on ? "Set" : "Not set"; }

void nbstat_data(int32_t rec, const Bytes& d, int pos, int length) {
    Bytes r = d.sub(pos, length);
    if (!r.has(0, 1)) return;
    int names = r.u8(0);
    node(rec, r, 0, 1, "NUM_NAMES : %d", names);
    int at = 1;
    char name[PLAIN_TEXT];
    for (int i = 0; i < names; ++i, at += 18) {
        if (!r.has(at, 18)) return;
        plain_name(r, at, name);
        node(rec, r, at, 16, "NETBIOS NAME : %s", name);
        uint16_t f = r.be16(at + 16);
        int32_t fl = node(rec, r, at + 16, 2, "NAME_FLAGS(0x%04X)", f);
        node(fl, r, at + 16, 2, "Group Name : %s", (f & 0x8000) ? "GROUP NetBIOS" : "UNIQUE NetBIOS");
        node(fl, r, at + 16, 2, "Owner Node : %s", node_types[f >> 13 & 3]);
        node(fl, r, at + 16, 2, "Permanent Name : %s", set_text(f & 0x0200));
        node(fl, r, at + 16, 2, "Deregiter : %s", set_text(f & 0x1000));
        node(fl, r, at + 16, 2, "Conflict : %s", set_text(f & 0x0800));
        node(fl, r, at + 16, 2, "Active Name : %s", set_text(f & 0x0400));
    }
    if (!r.has(at, 6)) return;
    node(rec, r, at, 6, "Unique unit ID : %s", mac_text(r.at(at)));
    at += 6;
    // The statistics: sizes 1, 1, 2, 2, then counters.
    struct Stat {
        int size;
        const char* format;
    };
    static constexpr Stat stats[] = {
        {1, "JUMPERS : 0x%04X"}, {1, "TEST_RESULT : 0x%04X"}, {2, "VERSION_NUMBER : 0x%04X"},
        {2, "PERIOD_OF_STATISTICS : 0x%04X"}, {2, "NUMBER_OF_CRCs : %u"}, {2, "NUMBER_ALIGNMENT_ERRORS : %u"},
        {2, "NUMBER_OF_COLLISIONS : %u"}, {2, "NUMBER_SEND_ABORTS : %u"}, {4, "NUMBER_GOOD_SENDS : %lu"},
        {4, "NUMBER_GOOD_RECEIVES : %lu"}, {2, "NUMBER_RETRANSMITS : %u"},
        {2, "NUMBER_NO_RESOURCE_CONDITIONS : %u"}, {2, "NUMBER_FREE_COMMAND_BLOCKS : %u"},
        {2, "TOTAL_NUMBER_COMMAND_BLOCKS : %u"}, {2, "MAX_TOTAL_NUMBER_COMMAND_BLOCKS : %u"},
        {2, "NUMBER_PENDING_SESSIONS : %u"}, {2, "MAX_NUMBER_PENDING_SESSIONS : %u"},
        {2, "MAX_TOTAL_SESSIONS_POSSIBLE : %u"}, {2, "SESSIONS_DATA_PACKET_SIZE : %u"},
    };
    for (const Stat& s : stats) {
        if (!r.has(at, s.size)) return;
        char text[64];
        if (s.size == 4)
            format_textf(text, sizeof text, s.format, (unsigned long)r.be32(at));
        else
            format_textf(text, sizeof text, s.format, unsigned(s.size == 1 ? r.u8(at) : r.be16(at)));
        node(rec, r, at, s.size, "%s", text);
        at += s.size;
    }
}

// The bytes a question or record at pos takes, or 0 when the capture ends
// before its fixed fields.
int ns_entry_length(const Bytes& d, int pos, bool question) {
    char name[NAME_TEXT];
    int n = encoded_name(d, pos, name);
    int fixed = question ? 4 : 10;
    if (n == 0 || !d.has(pos + n, fixed)) return 0;
    return n + fixed + (question ? 0 : d.be16(pos + n + 8));
}

// One question or record at pos; returns the bytes it takes, or 0 when the
// capture ends before its fixed fields.
int ns_entry(int32_t parent, const Bytes& d, int pos, bool question) {
    char name[NAME_TEXT];
    int n = encoded_name(d, pos, name);
    int at = pos + n;
    int fixed = question ? 4 : 10;
    if (n == 0 || !d.has(at, fixed)) {
        if (d.has(pos, 1)) node(parent, d, pos, d.size() - pos, "Data %d bytes", d.size() - pos);
        return 0;
    }
    uint16_t type = d.be16(at), klass = d.be16(at + 2);
    int rdlength = question ? 0 : d.be16(at + 8);
    const char* type_text = value_name(type, ns_types, 2, 0);
    char class_text[48];
    format_textf(class_text, sizeof class_text, "%s", value_name(klass, ns_classes, 2, 0));
    int32_t e = node(parent, d, pos, n + fixed + rdlength, "%s %s %s", name, type_text, class_text);
    node(e, d, pos, n, "NAME : %s", name);
    node(e, d, at, 2, "TYPE : %s", type_text);
    node(e, d, at + 2, 2, "CLASS : %s", class_text);
    if (question) return n + 4;
    node(e, d, at + 4, 4, "Time To Live : %s", duration_text(d.be32(at + 4)));
    node(e, d, at + 8, 2, "LENGTH : %u octets", unsigned(rdlength));
    int rd = at + 10;
    if (type == 32) {
        // NB: entries of flags and address, 6 bytes each.
        for (int o = 0; o + 6 <= rdlength && d.has(rd + o, 6); o += 6) {
            uint16_t f = d.be16(rd + o);
            node(e, d, rd + o, 2, "Group Name : %s(%u)", (f & 0x8000) ? "GROUP" : "UNIQUE", unsigned(f >> 15));
            node(e, d, rd + o, 2, "Node Type : %s(%u)", node_types[f >> 13 & 3], unsigned(f >> 13 & 3));
            node(e, d, rd + o + 2, 4, "NB_ADDRESS : %s", ipv4_text(d.at(rd + o + 2)));
        }
    } else if (type == 33) {
        nbstat_data(e, d, rd, rdlength);
    } else if (rdlength > 0) {
        node(e, d, rd, rdlength, "Data %d bytes", rdlength);
    }
    return n + 10 + rdlength;
}

void nbns_detail(int32_t parent, const Bytes& d) {
    int32_t top = add_nodef(parent, d.at(0), d.size(), P_NBTNS, "NetBIOS name service");
    if (!d.has(0, 12)) {
        if (d.has(0, 2)) node(top, d, 0, 2, "Transaction ID : 0x%04X", d.be16(0));
        truncated_line(top, d, 12);
        return;
    }
    NsHeader h = ns_header(d);
    node(top, d, 0, 2, "Transaction ID : 0x%04X", d.be16(0));
    int32_t f = node(top, d, 2, 2, "Flags(0x%02X)", h.flags);
    node(f, d, 2, 1, "Response flag : %s", h.response ? "Response" : "Request");
    const char* op = lookup_name(uint32_t(h.opcode), ns_opcodes);
    if (op)
        node(f, d, 2, 1, "Operation specifier : %s(%u)", op, unsigned(h.opcode));
    else
        node(f, d, 2, 1, "Operation specifier : %u", unsigned(h.opcode));
    node(f, d, 2, 1, "%s", flag_text16(h.flags, 5, "Authoritative Answer(ON)", "Authoritative Answer(OFF)"));
    node(f, d, 2, 1, "%s", flag_text16(h.flags, 6, "Truncation(ON)", "Truncation(OFF)"));
    node(f, d, 2, 1, "%s", flag_text16(h.flags, 7, "Recursion Desired(ON)", "Recursion Desired(OFF)"));
    node(f, d, 3, 1, "%s", flag_text16(h.flags, 8, "Recursion Available(ON)", "Recursion Available(OFF)"));
    node(f, d, 3, 1, "%s", flag_text16(h.flags, 11, "Broadcast(ON)", "Broadcast(OFF)"));
    node(f, d, 3, 1, "Result codes for request : %u", unsigned(h.rcode));
    static const char* const count_names[4] = {"Question Section", "Answer Section", "Authority Section",
                                               "Additional Records Section"};
    for (int k = 0; k < 4; ++k) node(top, d, 4 + 2 * k, 2, "%s : %u", count_names[k], h.counts[k]);
    int pos = 12;
    static const char* const sections[4] = {"Question Entries", "Answer", "Authority", "Additional"};
    for (int k = 0; k < 4; ++k) {
        if (h.counts[k] == 0 || !d.has(pos, 1)) continue;
        // The section's extent first, so that its line covers its entries.
        int end = pos;
        for (unsigned i = 0; i < h.counts[k] && d.has(end, 1); ++i) {
            int n = ns_entry_length(d, end, k == 0);
            end = n == 0 ? d.size() : end + n;
        }
        int32_t s = k == 0 ? node(top, d, pos, end - pos, "%s", sections[k])
                           : node(top, d, pos, end - pos, "%s Resourse Records", sections[k]);
        // Every entry takes at least one byte, so the walk ends with the data.
        for (unsigned i = 0; i < h.counts[k] && d.has(pos, 1); ++i) {
            int n = ns_entry(s, d, pos, k == 0);
            if (n == 0) {
                pos = d.size();
                break;
            }
            pos += n;
        }
    }
}

// ---- NetBIOS Frames ----

// Which fields a command carries past the common header.
enum FrameLayout { UI_NAMES, UI_SENDER, SESSION, PLAIN };

FrameLayout frame_layout(uint8_t command) {
    // Add name queries and broadcast datagrams carry only the sender's name field.
    if (command == 0x00 || command == 0x01 || command == 0x09) return UI_SENDER;
    if (command <= 0x0F) return command == 0x07 ? PLAIN : UI_NAMES;
    if (command == 0x13 || command == 0x1F) return PLAIN;
    return SESSION;
}

const char* receiver_label(uint8_t command) {
    switch (command) {
    case 0x02: return "Name in conflict";
    case 0x0D: return "Name to add";
    default: return "Name of Receiver";
    }
}

const char* sender_label(uint8_t command) {
    switch (command) {
    case 0x00: return "Group name to add";
    case 0x01: return "Name to add";
    // These carry the sending station's first name (its node address).
    case 0x02:
    case 0x03:
    case 0x0F: return "NAME NUMBER 1";
    default: return "Name of Sender";
    }
}

// User data offset: the header length field, or the usual size of the command's header.
int frame_header_length(const Bytes& d, uint8_t command) {
    int length = d.le16(0);
    if (length >= 12 && length <= 44) return length;
    return frame_layout(command) == SESSION || command == 0x1F ? 14 : 44;
}

void frame_flags(int32_t top, const Bytes& d, uint8_t command) {
    uint8_t v = d.u8(5);
    int32_t f = node(top, d, 5, 1, "Flags : 0x%02X", v);
    switch (command) {
    case 0x15:
    case 0x16:
        node(f, d, 5, 1, "%s", flag_text8(v, 4, "acknowledgement included", "acknowledgement not included"));
        node(f, d, 5, 1, "%s",
             flag_text8(v, 5, "acknowledge with data permitted", "acknowledge with data not permitted"));
        node(f, d, 5, 1, "%s", flag_text8(v, 6, "NO.ACK setted", "NO.ACK not setted"));
        break;
    case 0x17:
        node(f, d, 5, 1, "%s", flag_text8(v, 0, "NetBIOS v2.00 or above", "NetBIOS v1.xx"));
        node(f, d, 5, 1, "%s", flag_text8(v, 7, "NO.ACK setted", "NO.ACK not setted"));
        break;
    case 0x19:
        node(f, d, 5, 1, "%s", flag_text8(v, 0, "NetBIOS v2.00 or above", "NetBIOS v1.xx"));
        node(f, d, 5, 1, "%s : largest frame value=%u", bit_text8(v, 4, 3), unsigned(v >> 1 & 7));
        node(f, d, 5, 1, "%s", flag_text8(v, 7, "NO.ACK setted", "NO.ACK not setted"));
        break;
    case 0x1A:
        node(f, d, 5, 1, "%s", flag_text8(v, 6, "later NetBIOS v2.20", "prior to  NetBIOS v2.20"));
        break;
    default:
        break;
    }
}

void frames_detail(int32_t parent, const Bytes& d) {
    int32_t top = add_nodef(parent, d.at(0), d.size(), P_NETBIOS, "NetBIOS");
    if (d.has(0, 2)) node(top, d, 0, 2, "Length : %u bytes", d.le16(0));
    if (d.has(2, 2)) node(top, d, 2, 2, "Signature : 0x%02X%02X", d.u8(3), d.u8(2));
    if (!d.has(4, 1)) {
        truncated_line(top, d, 14);
        return;
    }
    uint8_t command = d.u8(4);
    const char* name = lookup_name(command, frame_commands);
    if (name)
        node(top, d, 4, 1, "Command : %s(0x%02X)", name, command);
    else
        node(top, d, 4, 1, "Command : Unknown NetBIOS Command(0x%02X)", command);
    if (!d.has(0, 14)) {
        truncated_line(top, d, 14);
        return;
    }
    uint8_t data1 = d.u8(5);
    uint16_t data2 = d.le16(6);
    // DATA1
    switch (command) {
    case 0x03:
        if (data1 == 0)
            node(top, d, 5, 1, "DATA1 : NetBIOS v1.x or 2.0 type request(0x%02X)", data1);
        else
            node(top, d, 5, 1, "DATA1 : NetBIOS v2.1 type request(0x%02X)", data1);
        break;
    case 0x15: case 0x16: case 0x17: case 0x19: case 0x1A:
        frame_flags(top, d, command);
        break;
    default:
        node(top, d, 5, 1, "DATA1 : 0x%02X", data1);
        break;
    }
    // DATA2
    switch (command) {
    case 0x03:
    case 0x17:
    case 0x19:
        node(top, d, 6, 2, "Length of user's receive buffer : %u", data2);
        break;
    case 0x0A:
    case 0x0D: {
        int32_t s = node(top, d, 6, 2, "DATA2 : 0x%04X", data2);
        uint8_t kind = command == 0x0A ? uint8_t(data2 >> 8) : uint8_t(data2);
        if (kind == 0)
            node(s, d, 6, 2, "Unique recognise(%u)", kind);
        else
            node(s, d, 6, 2, "Unique recognised group name(%u)", kind);
        break;
    }
    case 0x0E: {
        int32_t s = node(top, d, 6, 2, "DATA2 : 0x%04X", data2);
        unsigned state = data2 & 0xFF;
        if (state == 0)
            node(s, d, 6, 1, "State : Not listening(%u)", state);
        else if (state == 0xFF)
            node(s, d, 6, 1, "State : Used(%u)", state);
        else
            node(s, d, 6, 1, "State : Listening(%u)", state);
        break;
    }
    case 0x15:
    case 0x16:
        if (data2 == 0)
            node(top, d, 6, 2, "Re-Synchronisation indicator : No");
        else if (data2 == 1)
            node(top, d, 6, 2, "Re-Synchronisation indicator : %s", "Yes");
        else
            node(top, d, 6, 2, "Re-Synchronisation indicator : Unknown %u", data2);
        break;
    case 0x18:
        if (data2 == 0)
            node(top, d, 6, 2, "Termination indicator : normal session end");
        else if (data2 == 1)
            node(top, d, 6, 2, "Termination indicator : abnormal session end");
        else
            node(top, d, 6, 2, "Termination indicator : unknown(%u)", data2);
        break;
    case 0x1A:
    case 0x1B:
        node(top, d, 6, 2, "Number of data bytes accepted : %u", data2);
        break;
    default:
        node(top, d, 6, 2, "DATA2 : 0x%04X", data2);
        break;
    }
    node(top, d, 8, 2, "Transmit Correlator : 0x%04X", d.le16(8));
    node(top, d, 10, 2, "Response Correlator : 0x%04X", d.le16(10));
    FrameLayout layout = frame_layout(command);
    char name_text[PLAIN_TEXT];
    if (layout == SESSION) {
        node(top, d, 12, 1, "Remote session number : %u", d.u8(12));
        node(top, d, 13, 1, "Local session number : %u", d.u8(13));
    } else if (layout != PLAIN) {
        if (layout == UI_NAMES && d.has(12, 16)) {
            plain_name(d, 12, name_text);
            node(top, d, 12, 16, "%s : %s", receiver_label(command), name_text);
        }
        if (d.has(28, 16)) {
            plain_name(d, 28, name_text);
            node(top, d, 28, 16, "%s : %s", sender_label(command), name_text);
        }
    }
    int h = frame_header_length(d, command);
    if (d.size() > h) user_data(parent, top, d.from(h), "Data %ld bytes");
}

void frames_summary(const Bytes& d) {
    set_column("NetBIOS", 4, d.at(0), P_NETBIOS);
    if (!d.has(0, 5)) {
        truncated_summary("NetBIOS", d);
        return;
    }
    uint8_t command = d.u8(4);
    if (d.has(0, 14)) {
        Bytes payload = d.from(frame_header_length(d, command));
        if (smb_signature(payload)) {
            decode_smb(0, payload);
            return;
        }
    }
    if (!text_columns_wanted()) return;
    const char* name = lookup_name(command, frame_commands);
    if (name)
        set_columnf(5, nullptr, 0, "Command : %s(0x%02X)", name, command);
    else
        set_columnf(5, nullptr, 0, "Command : Unknown NetBIOS Command(0x%02X)", command);
}

// ---- NetBIOS over IPX ----

constexpr int ROUTE_LIST = 32;  // eight network numbers

// The networks a propagated packet has crossed; unused slots are zero.
void route_lines(int32_t top, const Bytes& d) {
    for (int at = 0; at < ROUTE_LIST && d.has(at, 4); at += 4) {
        uint32_t net = d.be32(at);
        if (net != 0) node(top, d, at, 4, "IPX Network : %s", textf("%X", net));
    }
}

void nbipx_session_lines(int32_t top, const Bytes& d, int base) {
    struct Field {
        int offset;
        const char* format;
    };
    static constexpr Field fields[] = {
        {2, "Source Connection ID : 0x%04X"}, {4, "Destination Connection ID : 0x%04X"},
        {6, "Send Sequence : %u"}, {8, "Total Data Length : %u"}, {10, "Offset : %u"},
        {12, "Data Length : %u"}, {14, "Receive Sequence : %u"}, {16, "Bytes Received : %u"},
    };
    for (const Field& f : fields) {
        if (!d.has(base + f.offset, 2)) return;
        char text[64];
        format_textf(text, sizeof text, f.format, unsigned(d.le16(base + f.offset)));
        node(top, d, base + f.offset, 2, "%s", text);
    }
}

// Offset of the user data, or -1 when the packet carries none.
int nbipx_data_offset(int type, int base) {
    if (type == 11) return base + 34;
    if (type == 6) return base + 18;
    return -1;
}

}  // namespace

void decode_nbipx(int32_t parent, Bytes d, int ipx_type) {
    // Broadcast name packets carry the list of networks they crossed first.
    int base = ipx_type == 20 ? ROUTE_LIST : 0;
    int type = d.has(base + 1, 1) ? d.u8(base + 1) : -1;
    const char* type_name = type >= 0 ? lookup_name(uint32_t(type), nbipx_types) : nullptr;
    int data_at = nbipx_data_offset(type, base);
    Bytes payload = data_at >= 0 ? d.from(data_at) : Bytes();
    if (parent == 0) {
        set_column("NBIPX", 4, d.at(0), P_NBIPX);
        if (smb_signature(payload)) {
            decode_smb(0, payload);
            return;
        }
        if (!text_columns_wanted()) return;
        if (type < 0)
            truncated_summary("NBIPX", d);
        else if (type_name)
            set_column(type_name, 5, nullptr, 0);
        else
            set_columnf(5, nullptr, 0, "NBIPX Unknown Packet Type=%u", unsigned(type));
        return;
    }
    int32_t top = add_nodef(parent, d.at(0), d.size(), P_NBIPX, "NetBIOS over IPX");
    if (base) route_lines(top, d);
    if (type < 0) {
        truncated_line(top, d, base + 2);
        return;
    }
    uint8_t flags = d.u8(base);
    int32_t f = node(top, d, base, 1, "Name Type Flags : 0x%02X", flags);
    node(f, d, base, 1, "%s", flag_text8(flags, 0, "Group Name", "Unique Name"));
    node(f, d, base, 1, "%s", flag_text8(flags, 1, "Name in Use", "Name Unused"));
    node(f, d, base, 1, "%s", flag_text8(flags, 5, "Name Registered", "Name not Registered"));
    node(f, d, base, 1, "%s", flag_text8(flags, 6, "Name Duplicated", "Name not Duplicated"));
    node(f, d, base, 1, "%s", flag_text8(flags, 7, "Name Deregistered", "Name not Deregistered"));
    node(top, d, base + 1, 1, "Data Stream Type : %s", value_name(uint32_t(type), nbipx_types, 1, 0));
    char name[PLAIN_TEXT];
    if (type == 11) {
        if (d.has(base + 2, 16)) {
            plain_name(d, base + 2, name);
            node(top, d, base + 2, 16, "Name of Receiver : %s", name);
        }
        if (d.has(base + 18, 16)) {
            plain_name(d, base + 18, name);
            node(top, d, base + 18, 16, "Name of Sender : %s", name);
        }
    } else if (type >= 6 && type <= 8) {
        nbipx_session_lines(top, d, base);
    } else if (d.has(base + 2, 16)) {
        plain_name(d, base + 2, name);
        node(top, d, base + 2, 16, "NetBIOS Name : %s", name);
        data_at = base + 18;
        payload = d.from(data_at);
    }
    if (data_at >= 0) user_data(parent, top, payload, "Data %ld bytes");
}

void decode_nmpi(int32_t parent, Bytes d) {
    // The networks the packet crossed come first, as in NetBIOS over IPX.
    constexpr int R = ROUTE_LIST;
    Bytes payload = d.from(R + 36);
    uint8_t op = d.u8(R);
    if (parent == 0) {
        set_column("NMPI", 4, d.at(0), P_NMPI);
        if (smb_signature(payload)) {
            decode_smb(0, payload);
            return;
        }
        if (!text_columns_wanted()) return;
        const char* name = d.has(R, 1) ? lookup_name(op, nmpi_operations) : nullptr;
        if (name)
            set_column(name, 5, nullptr, 0);
        else
            set_columnf(5, nullptr, 0, "NMPI data %ld octets", long(d.size()));
        return;
    }
    int32_t top = add_nodef(parent, d.at(0), d.size(), P_NMPI, "Naming over IPX");
    route_lines(top, d);
    if (!d.has(R, 36)) {
        if (d.has(R, 1)) node(top, d, R, 1, "Operation : %s", value_name(op, nmpi_operations, 1, 1));
        if (d.has(R + 1, 1)) node(top, d, R + 1, 1, "Type : %s", value_name(d.u8(R + 1), nmpi_name_types, 1, 0));
        truncated_line(top, d, R + 36);
        return;
    }
    node(top, d, R, 1, "Operation : %s", value_name(op, nmpi_operations, 1, 1));
    node(top, d, R + 1, 1, "Type : %s", value_name(d.u8(R + 1), nmpi_name_types, 1, 0));
    node(top, d, R + 2, 2, "Message ID : 0x%04X", d.le16(R + 2));
    char name[PLAIN_TEXT];
    plain_name(d, R + 4, name);
    node(top, d, R + 4, 16, "Name being sought/claimed  : %s", name);
    plain_name(d, R + 20, name);
    node(top, d, R + 20, 16, "Name of requesting machine : %s", name);
    user_data(parent, top, payload, "Data %ld bytes");
}

void decode_netbios(int32_t parent, Bytes data) {
    if (parent == 0)
        frames_summary(data);
    else
        frames_detail(parent, data);
}

void decode_nbns(int32_t parent, Bytes data) {
    if (parent == 0) {
        set_column("NBTNS", 4, data.at(0), P_NBTNS);
        if (text_columns_wanted()) nbns_summary(data);
        return;
    }
    nbns_detail(parent, data);
}

void decode_nbdgm(int32_t parent, Bytes data) {
    if (parent != 0) {
        nbdgm_detail(parent, data);
        return;
    }
    set_column("NBTDS", 4, data.at(0), P_NBTDS);
    if (text_columns_wanted()) set_columnf(5, nullptr, 0, "NBTDS data %d octets", data.size());
    if (!data.has(0, 1) || !datagram_with_names(data.u8(0))) return;
    int at = datagram_data_offset(data);
    if (at > 0 && smb_signature(data.from(at))) decode_smb(0, data.from(at));
}

void decode_nbss(int32_t parent, Bytes data) {
    if (parent != 0) {
        nbss_detail(parent, data);
        return;
    }
    set_column("NBTSS", 4, data.at(0), P_NBTSS);
    uint8_t type = data.u8(0);
    bool known = data.has(0, 4) && lookup_name(type, session_types);
    Bytes body = data.sub(4, int(unsigned(data.u8(1) & 1) << 16 | data.be16(2)));
    if (known && type == 0x00 && smb_signature(body)) {
        decode_smb(0, body);
        return;
    }
    if (!text_columns_wanted()) return;
    if (known)
        set_columnf(5, nullptr, 0, "Session Packet Type : %s", value_name(type, session_types, 1, 1));
    else
        set_columnf(5, nullptr, 0, "NBTSS data %d octets", data.size());
}

}  // namespace zelpan
