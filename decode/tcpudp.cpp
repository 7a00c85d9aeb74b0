// TCP and UDP: headers, transport checksums, the port dispatch and the data-port
// table learnt from FTP control connections.
#include <cstdio>
#include <cstring>

#include "decode/decoders.h"
#include "decode/engine.h"
#include "decode/format.h"
#include "decode/text_format.h"

namespace zelpan {

namespace {

constexpr int TCP_HEADER = 20;
constexpr int UDP_HEADER = 8;

// Searched from the first row; duplicates (login) keep the earlier name.
constexpr NameEntry port_names[] = {
    {7, "echo"}, {9, "discard"}, {13, "daytime"}, {20, "ftp-data"}, {21, "ftp"}, {22, "ssh"},
    {23, "telnet"}, {25, "smtp"}, {37, "time"}, {39, "rlp"}, {42, "nameserver"}, {49, "login"},
    {53, "domain"}, {66, "sql*net"}, {67, "bootps"}, {68, "bootpc"}, {70, "gopher"}, {79, "finger"},
    {80, "http"}, {81, "hosts2-ns"}, {88, "kerberos"}, {101, "hostname"}, {107, "rtelnet"},
    {109, "pop2"}, {110, "pop3"}, {111, "sunrpc"}, {113, "auth"}, {115, "sftp"}, {117, "uucp-path"},
    {118, "sqlserv"}, {119, "nntp"}, {123, "ntp"}, {135, "epmap"}, {137, "netbios-ns"},
    {138, "netbios-dgm"}, {139, "netbios-ssn"}, {143, "imap"}, {144, "uma"}, {150, "sql-net"},
    {156, "sqlsrv"}, {161, "snmp"}, {162, "snmptrap"}, {170, "print-srv"}, {179, "bgp"}, {194, "irc"},
    {201, "at-rtmp"}, {202, "at-nbp"}, {204, "at-echo"}, {206, "at-zis"}, {213, "ipx"},
    {280, "http-mgmt"}, {311, "asip-webadmin"}, {363, "rsvp_tunnel"}, {369, "rpc2portmap"},
    {389, "ldap"}, {396, "netware-ip"}, {413, "smsp"}, {443, "https"}, {445, "microsoft-ds"},
    {464, "kpasswd"}, {500, "isakmp"}, {513, "login"}, {514, "shell"}, {515, "printer"},
    {520, "router"}, {521, "ripng"}, {525, "timed"}, {526, "tempo"}, {529, "irc-serv"},
    {530, "courier"}, {531, "conference"}, {532, "netnews"}, {540, "uucp"}, {541, "uucp-rlogin"},
    {543, "klogin"}, {544, "kshell"}, {546, "dhcpv6-client"}, {547, "dhcpv6-server"}, {554, "rtsp"},
    {563, "nntps"}, {565, "whoami"}, {585, "imap4-ssl"}, {574, "ftp-agent"}, {614, "sshell"},
    {631, "ipp"}, {636, "ldaps"}, {749, "kerberos-adm"}, {750, "kerberos-iv"}, {873, "rsync"},
    {992, "telnets"}, {993, "imaps"}, {994, "ircs"}, {995, "pop3s"}, {1080, "socks"},
    {1114, "mini-sql"}, {1270, "opsmgr"}, {1271, "dabew"}, {1229, "novell-zfs"},
    {1257, "shockwave2"}, {1276, "ivmanager"}, {1278, "dellwebadmin-1"}, {1279, "dellwebadmin-2"},
    {1280, "pictrography"}, {1281, "healthd"}, {1283, "productinfo"}, {1352, "lotusnote"},
    {1433, "ms-sql-s"}, {1434, "ms-sql-m"}, {1477, "ms-sna-server"}, {1478, "ms-sna-base"},
    {1512, "wins"}, {1525, "orasrv"}, {1527, "tlisrv"}, {1529, "coauthor"}, {1698, "rsvp-encap-1"},
    {1699, "rsvp-encap-2"}, {1801, "msmq"}, {1812, "radius"}, {1813, "radius-acct"}, {1863, "msnp"},
    {1900, "ssdp"}, {2049, "nfs"}, {2070, "ah-esp-encap"}, {2164, "ddns-v3"}, {2382, "ms-olap3"},
    {2383, "ms-olap4"}, {3268, "msft-gc"}, {3269, "msft-gc-ssl"},
    {0, nullptr},
};
static_assert(sizeof port_names / sizeof port_names[0] == 128 + 1);

using PortDecoder = void (*)(int32_t, Bytes);
struct PortRoute {
    uint16_t port;
    bool udp_only;
    uint16_t udp_app_port;  // app_port recorded over UDP (HTTP on 80 is taken as SSDP)
    PortDecoder decode;
};

// Tested in this order: the first port that either side uses wins.
constexpr PortRoute port_routes[] = {
    {20, false, 20, decode_ftp_data},   {21, false, 21, decode_ftp},     {23, false, 23, decode_telnet},
    {25, false, 25, decode_smtp},       {53, false, 53, decode_dns},     {67, false, 67, decode_dhcp},
    {80, false, 1900, decode_http},     {110, false, 110, decode_pop3},  {111, false, 111, decode_rpc},
    {123, false, 123, decode_ntp},      {137, false, 137, decode_nbns},  {138, false, 138, decode_nbdgm},
    {139, false, 139, decode_nbss},     {143, false, 143, decode_imap},  {161, false, 161, decode_snmp},
    {162, false, 162, decode_snmp},     {179, false, 179, decode_bgp},   {443, false, 443, decode_ssl},
    {500, false, 500, decode_isakmp},   {514, true, 514, decode_syslog}, {520, true, 520, decode_rip},
    {521, false, 521, decode_ripng},    {554, false, 554, decode_rtsp},  {1900, false, 1900, decode_http},
};

constexpr NameEntry tcp_option_names[] = {
    {2, "Maximum Segment Size"}, {3, "Window Scale"}, {4, "SACK Permitted"}, {5, "SACK"},
    {6, "Echo"}, {7, "Echo Reply"}, {8, "Timestamps"}, {11, "CC"}, {12, "CC.NEW"}, {13, "CC.ECHO"},
    {19, "MD5 Signature"}, {0, nullptr},
};

const char* tcp_option_name(uint8_t kind) {
    const char* name = lookup_name(kind, tcp_option_names);
    return name ? name : textf("option %u", kind);
}

// Kinds whose size is fixed whatever their length byte says.
int fixed_option_size(uint8_t kind) {
    switch (kind) {
    case 2: return 4;
    case 3: return 3;
    case 8: return 10;
    case 19: return 18;
    default: return 0;
    }
}

// One whole option; opt holds exactly its bytes.
void tcp_option_line(int32_t o, const Bytes& opt, uint8_t kind, uint8_t len) {
    switch (kind) {
    case 2:
        node(o, opt, 0, 4, "Maximum Segment Size(0x0204) : %u", opt.be16(2));
        break;
    case 3:
        node(o, opt, 0, 3, "Window Scale(0x0303) : %u bytes", opt.u8(2));
        break;
    case 4:
        node(o, opt, 0, len, "SACK Permitted(0x%02x%02x)", 4, len);
        break;
    case 5: {
        int32_t s = node(o, opt, 0, len, "%s(0x%02x%02x)", "SACK", kind, len);
        if (len < 3) break;
        int at = 2, r = len - 2;
        for (; r >= 8; at += 8, r -= 8)
            node(s, opt, at, 8, "Block : Left Edge=%lu Right Edge=%lu", (unsigned long)opt.be32(at),
                 (unsigned long)opt.be32(at + 4));
        if (r > 0) node(s, opt, at, r, "invalid suboption length : %lu", (unsigned long)r);
        break;
    }
    case 6: case 7: case 11: case 12: case 13:
        // The value needs bytes 2..5; a shorter option would show bytes of the next one.
        if (len >= 6)
            node(o, opt, 0, len, "%s(0x%02x%02x) : %lu", tcp_option_name(kind), kind, len,
                 (unsigned long)opt.be32(2));
        else
            node(o, opt, 0, len, "%s(0x%02x%02x) : invalid length", tcp_option_name(kind), kind, len);
        break;
    case 8:
        node(o, opt, 0, 10, "Timestamps(0x080A) : TSval=%lu TSecr=%lu", (unsigned long)opt.be32(2),
             (unsigned long)opt.be32(6));
        break;
    case 19:
        node(o, opt, 0, 18, "MD5 Signature(0x1312) : %s", hex_text(opt.at(2), 16, 0));
        break;
    default:
        node(o, opt, 0, len, "option : %u length=%ld", kind, (long)len);
        break;
    }
}

// The innermost IP header decides the pseudo-header form: IPv6 carried in IPv4
// leaves network_type at 0x0800 but sets ip_version to 2.
int pseudo_header_size() {
    const DecodeContext& c = ctx();
    if (c.ftp_tracking.ip_version == 2) return 36;
    if (c.ftp_tracking.ip_version == 1) return 12;
    return c.network_type == 0x86DD ? 36 : 12;
}


// The lines of the fixed TCP header whose bytes are captured.
void tcp_header_lines(int32_t t, const Bytes& data) {
    if (data.has(0, 2)) {
        uint16_t p = data.be16(0);
        node(t, data, 0, 2, "Source Port : %s(%u)", port_name(p, 6), p);
    }
    if (data.has(2, 2)) {
        uint16_t p = data.be16(2);
        node(t, data, 2, 2, "Destination Port : %s(%u)", port_name(p, 6), p);
    }
    if (data.has(4, 4)) node(t, data, 4, 4, "Sequence Number : %lu", (unsigned long)data.be32(4));
    if (data.has(8, 4)) node(t, data, 8, 4, "Acknowledgment Number : %lu", (unsigned long)data.be32(8));
    if (data.has(12, 1)) {
        int hl = (data.u8(12) >> 4) * 4;
        if (hl < TCP_HEADER)
            node(t, data, 12, 1, "Header Length : %d bytes (invalid, less than 20)", hl);
        else
            node(t, data, 12, 1, "Header Length : %d bytes", hl);
    }
    if (data.has(13, 1)) {
        static const char* const names[8] = {
            "Congestion Window Reduced", "ECN-Echo", "Urgent Pointer", "Acknowledgment",
            "Push", "Reset", "Synchronize", "FIN",
        };
        uint8_t flags = data.u8(13);
        int32_t cb = node(t, data, 13, 1, "Control Bits (0x%02X) %s", flags, tcp_flags_text(flags));
        for (int i = 0; i < 8; ++i) {
            char on[40], off[40];
            format_textf(on, sizeof on, "%s(ON)", names[i]);
            format_textf(off, sizeof off, "%s(OFF)", names[i]);
            node(cb, data, 13, 1, "%s", flag_text8(flags, i, on, off));
        }
    }
    if (data.has(14, 2)) node(t, data, 14, 2, "Window : %d", data.be16(14));
}

void checksum_line(int32_t parent, const Bytes& data, int at, uint16_t field, uint16_t computed,
                   bool zero_as_ones) {
    // A sender whose sum comes out as 0 sends all ones instead (UDP's 0 means "none").
    if (field == computed || (zero_as_ones && computed == 0 && field == 0xFFFF))
        node(parent, data, at, 2, "Checksum : 0x%04X(correct)", field);
    else
        node(parent, data, at, 2, "Checksum : 0x%04X(incorrect,0x%04X)", field, computed);
}

}  // namespace

const char* port_name(uint16_t port, int protocol) {
    thread_local char buffers[3][36];
    thread_local int next = 0;
    char* out = buffers[next];
    next = (next + 1) % 3;
    const char* name = lookup_name(port, port_names);
    if (name && protocol == 17 && std::strcmp(name, "shell") == 0) name = "syslog";
    if (name) {
        size_t n = strnlen(name, 35);
        std::memcpy(out, name, n);
        out[n] = 0;
    } else {
        *put_u32(out, port) = 0;
    }
    return out;
}

const char* tcp_flags_text(uint8_t flags) {
    thread_local char buf[24];
    buf[0] = 0;
    if (flags & 0x10) std::strcat(buf, "ACK ");
    if (flags & 0x08) std::strcat(buf, "PSH ");
    if (flags & 0x04) std::strcat(buf, "RST ");
    if (flags & 0x02) std::strcat(buf, "SYN ");
    if (flags & 0x01) std::strcat(buf, "FIN ");
    return buf;
}

const char* tcp_numbers_text(uint32_t ack, uint32_t seq, uint16_t window) {
    // At most 41 characters: "Ack=4294967295 Seq=4294967295 Win=65535 ".
    thread_local char buf[64];
    char* p = buf;
    auto field = [&p](const char* name, uint32_t v) {
        p = put_u32(put_text(p, name), v);
        *p++ = ' ';
    };
    if (ack != 0) field("Ack=", ack);
    if (seq != 0) field("Seq=", seq);
    if (window != 0) field("Win=", window);
    *p = 0;
    return buf;
}

uint16_t transport_checksum(int n, const Bytes& segment, int count, int field_offset) {
    const DecodeContext& c = ctx();
    if (n > int(sizeof c.pseudo_header)) n = int(sizeof c.pseudo_header);
    uint32_t s = 0;
    for (int i = 0; i + 1 < n; i += 2) s += uint32_t(c.pseudo_header[i]) << 8 | c.pseudo_header[i + 1];
    if (s > 0xFFFF) s = (s & 0xFFFF) + (s >> 16);
    if (count > segment.size()) count = segment.size();
    for (int i = 0; i < count; i += 2) {
        if (i == field_offset) continue;
        s += i + 1 < count ? segment.be16(i) : uint32_t(segment.u8(i)) << 8;
        s = (s & 0xFFFF) + (s >> 16);
    }
    // A carry can still stand after the last word (0x10000 is one).
    while (s > 0xFFFF) s = (s & 0xFFFF) + (s >> 16);
    return uint16_t(~s);
}

void decode_tcp_options(int32_t parent, Bytes options, int n) {
    if (parent == 0 || n <= 0) return;
    int32_t o = node(parent, options, 0, n, "Options");
    // options holds what was captured of the n bytes the header announces.
    int avail = options.size() < n ? options.size() : n;
    int i = 0;
    while (i < avail) {
        uint8_t kind = options.u8(i);
        if (kind == 0) {
            ++i;
            continue;
        }
        if (kind == 1) {
            node(o, options, i, 1, "No Operation(0x01)");
            ++i;
            continue;
        }
        int size = fixed_option_size(kind);
        uint8_t len = 0;
        if (size == 0) {
            if (i + 2 > n) {
                node(o, options, i, n - i, "%s : no length byte at the end of the header",
                     tcp_option_name(kind));
                return;
            }
            if (i + 2 > avail) break;
            len = options.u8(i + 1);
            if (len < 2) {  // the walk could not advance
                node(o, options, i, n - i, "%s : invalid length %u, %d bytes not decoded",
                     tcp_option_name(kind), len, n - i);
                return;
            }
            size = len;
        }
        if (i + size > n) {
            node(o, options, i, n - i, "%s : length %d runs past the header (%d bytes left)",
                 tcp_option_name(kind), size, n - i);
            return;
        }
        if (i + size > avail) break;  // the capture ends inside this option
        tcp_option_line(o, options.sub(i, size), kind, len);
        i += size;
    }
    if (avail < n) node(o, options, i, avail - i, "Options truncated : %d of %d bytes captured", avail, n);
}

void decode_tcp(int32_t parent, Bytes data) {
    DecodeContext& c = ctx();
    c.transport_protocol = 6;
    if (parent == 0) set_column("TCP", 4, data.at(0), P_TCP);

    if (!data.has(0, TCP_HEADER)) {
        if (parent == 0) {
            truncated_summary("TCP", data);
        } else {
            int32_t t = add_nodef(parent, data.at(0), data.size(), P_TCP, "Transmission Control Protocol");
            tcp_header_lines(t, data);
            if (data.has(16, 2)) node(t, data, 16, 2, "Checksum : 0x%04X", data.be16(16));
            truncated_line(t, data, TCP_HEADER);
        }
        return;
    }

    uint16_t source = data.be16(0), destination = data.be16(2);
    uint32_t seq = data.be32(4), ack = data.be32(8);
    int hl = (data.u8(12) >> 4) * 4;
    uint8_t flags = data.u8(13);
    uint16_t window = data.be16(14);
    int length = data.size();

    // The FTP tracking follows passes over the frames in order: summary and
    // layer-index passes, and the text export (a detail pass from frame 1).
    if (parent == 0 || c.mode == MODE_TEXT_EXPORT) {
        c.ftp_tracking.tcp_ports[0] = source;
        c.ftp_tracking.tcp_ports[1] = destination;
        note_ftp_segment(flags);
    }
    if (parent == 0) {
        if (text_columns_wanted())
            set_columnf(5, nullptr, 0, "%s(%u) > %s(%u) %s %s", port_name(source, 6), source,
                        port_name(destination, 6), destination, tcp_flags_text(flags),
                        tcp_numbers_text(ack, seq, window));
    } else {
        int covered = hl < TCP_HEADER ? TCP_HEADER : hl;
        int32_t t = add_nodef(parent, data.at(0), covered, P_TCP,
                              "Transmission Control Protocol : %s(%u) > %s(%u) %s %s", port_name(source, 6),
                              source, port_name(destination, 6), destination, tcp_flags_text(flags),
                              tcp_numbers_text(ack, seq, window));
        tcp_header_lines(t, data);
        uint16_t field = data.be16(16);
        long announced = announced_length(data);
        // The sum covers the whole segment: no verdict over part of it.
        if (announced < 0) {
            node(t, data, 16, 2, "Checksum : 0x%04X(not verified, first fragment)", field);
        } else if (announced > length) {
            node(t, data, 16, 2, "Checksum : 0x%04X(not verified, %d of %ld bytes captured)", field, length,
                 announced);
        } else if (hl > length) {
            node(t, data, 16, 2, "Checksum : 0x%04X(not verified, %d of %d header bytes present)", field, length,
                 hl);
        } else {
            c.pseudo_header[0] = 0;
            c.pseudo_header[1] = 6;
            c.pseudo_header[2] = uint8_t(length >> 8);
            c.pseudo_header[3] = uint8_t(length);
            checksum_line(t, data, 16, field, transport_checksum(pseudo_header_size(), data, length, 16),
                          false);
        }
        node(t, data, 18, 2, "Urgent Pointer : 0x%04X", data.be16(18));
        if (hl > TCP_HEADER) decode_tcp_options(t, data.sub(TCP_HEADER, hl - TCP_HEADER), hl - TCP_HEADER);
    }

    if (hl < TCP_HEADER) {
        // A header length below the fixed header leaves no sound start for the payload.
        if (length > TCP_HEADER) data_line(parent, data.from(TCP_HEADER));
        return;
    }
    if (length - hl > 0) dispatch_port(parent, data.from(hl), source, destination);
}

void decode_udp(int32_t parent, Bytes data) {
    DecodeContext& c = ctx();
    c.transport_protocol = 17;
    if (parent == 0) set_column("UDP", 4, data.at(0), P_UDP);

    if (!data.has(0, UDP_HEADER)) {
        if (parent == 0) {
            truncated_summary("UDP", data);
        } else {
            int32_t u = add_nodef(parent, data.at(0), data.size(), P_UDP, "User Datagram Protocol");
            if (data.has(0, 2)) node(u, data, 0, 2, "Source Port : %s(%u)", port_name(data.be16(0), 17), data.be16(0));
            if (data.has(2, 2))
                node(u, data, 2, 2, "Destination Port : %s(%u)", port_name(data.be16(2), 17), data.be16(2));
            if (data.has(4, 2)) node(u, data, 4, 2, "Length : %u bytes", data.be16(4));
            truncated_line(u, data, UDP_HEADER);
        }
        return;
    }

    uint16_t source = data.be16(0), destination = data.be16(2);
    uint16_t udp_length = data.be16(4);
    int d = int(udp_length) - UDP_HEADER;
    int length = data.size();

    if (parent == 0) {
        if (text_columns_wanted()) {
            if (udp_length >= UDP_HEADER)
                set_columnf(5, nullptr, 0, "%s(%u) > %s(%u) data %d octets", port_name(source, 17), source,
                            port_name(destination, 17), destination, d);
            else
                set_columnf(5, nullptr, 0, "%s(%u) > %s(%u) invalid length %u", port_name(source, 17), source,
                            port_name(destination, 17), destination, udp_length);
        }
    } else {
        int32_t u = add_nodef(parent, data.at(0), UDP_HEADER, P_UDP, "User Datagram Protocol : %s(%u) > %s(%u)",
                              port_name(source, 17), source, port_name(destination, 17), destination);
        node(u, data, 0, 2, "Source Port : %s(%u)", port_name(source, 17), source);
        node(u, data, 2, 2, "Destination Port : %s(%u)", port_name(destination, 17), destination);
        uint16_t field = data.be16(6);
        if (udp_length < UDP_HEADER) {
            node(u, data, 4, 2, "Length : %u bytes (invalid, less than 8)", udp_length);
            node(u, data, 6, 2, "Checksum : 0x%04X(not verified, invalid length)", field);
        } else if (udp_length > length) {
            // The checksum covers bytes that are not here: in later fragments or not captured.
            node(u, data, 4, 2, "Length : %u bytes", udp_length);
            if (announced_length(data) < 0)
                node(u, data, 6, 2, "Checksum : 0x%04X(not verified, first fragment)", field);
            else
                node(u, data, 6, 2, "Checksum : 0x%04X(not verified, %d of %u bytes captured)", field, length,
                     udp_length);
        } else {
            node(u, data, 4, 2, "Length : %u bytes", udp_length);
            c.pseudo_header[0] = 0;
            c.pseudo_header[1] = 17;
            c.pseudo_header[2] = data.u8(4);
            c.pseudo_header[3] = data.u8(5);
            checksum_line(u, data, 6, field, transport_checksum(pseudo_header_size(), data, udp_length, 6), true);
        }
    }

    int size = length - UDP_HEADER;
    if (d < size) size = d;
    if (size > 0) dispatch_port(parent, data.sub(UDP_HEADER, size), source, destination);
}

void dispatch_port(int32_t parent, Bytes data, uint16_t source, uint16_t destination) {
    DecodeContext& c = ctx();
    int p = c.transport_protocol;
    if (p == 6 || p == 17) {
        for (const PortRoute& r : port_routes) {
            if (source != r.port && destination != r.port) continue;
            if (r.udp_only && p != 17) continue;
            c.app_port = p == 17 ? r.udp_app_port : r.port;
            r.decode(parent, data);
            return;
        }
    }
    if (p == 6 && data.size() > 0 && c.data_ports.any_entry == 1) {
        for (const DataPortEntry& e : c.data_ports.entries) {
            if (e.used != 1) break;
            if (e.port != source && e.port != destination) continue;
            if (e.app_port == 20) {
                c.app_port = 20;
                decode_ftp_data(parent, data);
                return;
            }
            break;
        }
    }
    data_line(parent, data);
}

int register_data_port(uint16_t port, uint16_t app_port) {
    DataPorts& t = ctx().data_ports;
    for (int i = 0; i < 16; ++i) {
        DataPortEntry& e = t.entries[i];
        if (e.used == 1 && e.port == port) return i;
        if (e.used == 0) {
            e = {1, port, app_port};
            t.any_entry = 1;
            return i;
        }
    }
    return 16;
}

}  // namespace zelpan
