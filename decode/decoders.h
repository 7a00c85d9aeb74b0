#pragma once
// Entry points of every protocol decoder. All follow one convention:
// decode(parent, data), where parent is 0 in summary mode and ROOT_NODE in detail
// mode, and data is the view from the decoder's first header byte to the end of
// the captured frame (or of the enclosing protocol's payload). Each decoder writes
// its columns with set_column and its lines with add_node, and passes parent on
// unchanged to the next layer.
#include <cstdint>

#include "decode/bytes.h"

namespace zelpan {

// Link layer (link.cpp)
void decode_ethernet(int32_t parent, Bytes data);
void decode_ethernet2(int32_t parent, Bytes data);
void decode_ieee8023(int32_t parent, Bytes data);
void decode_llc(int32_t parent, Bytes data);
void decode_snap(int32_t parent, Bytes data);
void decode_fddi(int32_t parent, Bytes data);
void decode_null(int32_t parent, Bytes data);
void decode_by_ethertype_null(uint32_t type, int32_t parent, Bytes data);
const char* fddi_control_text(uint8_t control);
const char* ethertype_name(uint32_t type);  // "0x%04X" for unknown types
// The Ethernet II EtherType dispatch for other link headers: payload follows the
// header; type_onward, when not empty, starts at the type field and runs on into
// the payload (the PPP control types are read from there). False when no decoder
// takes the type (type_onward empty counts as no decoder for those).
bool dispatch_ethertype(uint16_t type, int32_t parent, Bytes payload, Bytes type_onward);

// Linux cooked captures, version 1 and 2, and raw IP links (cooked.cpp)
void decode_cooked(int32_t parent, Bytes data);
void decode_cooked2(int32_t parent, Bytes data);
void decode_raw_ip(int32_t parent, Bytes data);

// IPv4, AH, ESP and the IP protocol dispatch (ipv4.cpp)
void decode_ipv4(int32_t parent, Bytes data);
int decode_ah(int32_t parent, Bytes data, int stop);
void decode_esp(int32_t parent, Bytes data);
void dispatch_ip_protocol(int32_t parent, Bytes data, int protocol);
void decode_ip_options(int32_t node, Bytes options);
const char* ip_protocol_name(uint32_t protocol);  // "0x%02X" for unknown numbers
uint16_t checksum_skip(const Bytes& data, int n, int skip_at, int skip_len);

// IPv6 and its extension headers (ipv6.cpp)
void decode_ipv6(int32_t parent, Bytes data);

// How long the network layer says data is (never less than what is captured),
// or -1 when it goes on in later fragments.
long announced_length(const Bytes& data);

// TCP, UDP and the port dispatch (tcpudp.cpp)
void decode_tcp(int32_t parent, Bytes data);
void decode_udp(int32_t parent, Bytes data);
void dispatch_port(int32_t parent, Bytes data, uint16_t source, uint16_t destination);
const char* port_name(uint16_t port, int protocol);
int register_data_port(uint16_t port, uint16_t app_port);
const char* tcp_flags_text(uint8_t flags);
const char* tcp_numbers_text(uint32_t ack, uint32_t seq, uint16_t window);
uint16_t transport_checksum(int n, const Bytes& segment, int count, int field_offset);
void decode_tcp_options(int32_t parent, Bytes options, int n);

// ICMP, ICMPv6, IGMP (icmp.cpp)
void decode_icmp(int32_t parent, Bytes data);
void decode_icmpv6(int32_t parent, Bytes data);
void decode_igmp(int32_t parent, Bytes data);

// ARP family (arp.cpp)
void decode_arp(int32_t parent, Bytes data);   // ARP, RARP, InARP
void decode_aarp(int32_t parent, Bytes data);

// DNS (dns.cpp), BOOTP and DHCP (dhcp.cpp)
void decode_dns(int32_t parent, Bytes data);
void decode_dhcp(int32_t parent, Bytes data);

// Line-oriented text protocols and the FTP data tracking (text.cpp)
void decode_ftp(int32_t parent, Bytes data);
void decode_ftp_data(int32_t parent, Bytes data);
void decode_telnet(int32_t parent, Bytes data);
void decode_smtp(int32_t parent, Bytes data);
void decode_http(int32_t parent, Bytes data);
void decode_pop3(int32_t parent, Bytes data);
void decode_imap(int32_t parent, Bytes data);
void decode_syslog(int32_t parent, Bytes data);
void decode_rtsp(int32_t parent, Bytes data);
void note_ftp_segment(uint8_t tcp_flags);

// Routing protocols (rip.cpp, ospf.cpp, bgp.cpp)
void decode_rip(int32_t parent, Bytes data);
void decode_ripng(int32_t parent, Bytes data);
void decode_eigrp(int32_t parent, Bytes data);
void decode_ospf(int32_t parent, Bytes data);
void decode_bgp(int32_t parent, Bytes data);

// NetBIOS family and SMB (netbios.cpp)
void decode_netbios(int32_t parent, Bytes data);  // NetBIOS over LLC / EtherType 0xEF08
void decode_nbns(int32_t parent, Bytes data);
void decode_nbdgm(int32_t parent, Bytes data);
void decode_nbss(int32_t parent, Bytes data);

// SNMP (snmp.cpp), SSL/TLS (ssl.cpp), ISAKMP (isakmp.cpp)
void decode_snmp(int32_t parent, Bytes data);
void decode_ssl(int32_t parent, Bytes data);
void decode_isakmp(int32_t parent, Bytes data);

// PPP and PPPoE (ppp.cpp)
void decode_ppp(int32_t parent, Bytes data);
void decode_pppoe(int32_t parent, Bytes data);

// IPX (ipx.cpp), AppleTalk DDP (ddp.cpp), spanning tree and GARP (stp.cpp)
void decode_ipx(int32_t parent, Bytes data);
void decode_ddp(int32_t parent, Bytes data);
void decode_stp(int32_t parent, Bytes data);

// RSVP (rsvp.cpp), NTP and Sun RPC (ntp.cpp)
void decode_rsvp(int32_t parent, Bytes data);
void decode_ntp(int32_t parent, Bytes data);
void decode_rpc(int32_t parent, Bytes data);

}  // namespace zelpan
