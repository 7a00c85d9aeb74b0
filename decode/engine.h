#pragma once
// The decode engine: the per-window decode state, the frame decoder and the two
// output operations through which every decoder reports what it found.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "decode/bytes.h"

namespace zelpan {

constexpr int32_t ROOT_NODE = -0x10000;

enum DecodeMode : int32_t {
    MODE_IDLE = 0,
    MODE_DISPLAY = 1,
    MODE_LAYER_INDEX = 2,
    MODE_TEXT_EXPORT = 5,
};

constexpr int COLUMN_COUNT = 9;
constexpr int COLUMN_SIZE = 512;
constexpr int MAX_LAYERS = 15;

// Frame records live packed (unaligned) inside a FrameStore block: a 16-byte
// header then the frame bytes. Fields are read and written through these helpers.
//   0 u32 seconds, 4 u32 microseconds, 8 u32 captured_length,
//   12 u16 back_link (low 16 bits), 14 u8 flags, 15 u8 back_link high byte.
// The high byte of the back link lets frames longer than 65519 bytes be held
// whole; it is 0 for every record whose predecessor is at most 65535 bytes.
constexpr int RECORD_HEADER = 16;
uint32_t record_seconds(const uint8_t* r);
uint32_t record_microseconds(const uint8_t* r);
uint32_t record_length(const uint8_t* r);
uint32_t record_back_link(const uint8_t* r);
inline uint8_t record_flags(const uint8_t* r) { return r[14]; }
inline const uint8_t* record_bytes(const uint8_t* r) { return r + RECORD_HEADER; }
inline uint8_t* record_bytes(uint8_t* r) { return r + RECORD_HEADER; }
void write_record_header(uint8_t* r, uint32_t seconds, uint32_t microseconds, uint32_t length,
                         uint32_t back_link, uint8_t flags);
void set_record_back_link(uint8_t* r, uint32_t back_link);
inline void set_record_flags(uint8_t* r, uint8_t flags) { r[14] = flags; }
// Decode time: units of 100 microseconds.
uint64_t record_time(const uint8_t* r);

// Per-frame protocol layers, as recorded by column-4 writes in layer-index mode.
struct LayerEntry {
    const uint8_t* start;  // first byte of the layer's header
    int32_t protocol;      // ProtocolId
    int32_t offset;        // start - record address (frame offset + 16)
};
struct FrameLayerIndex {
    int32_t count = 0;
    const uint8_t* frame = nullptr;  // the FrameRecord
    char label[32] = {};
    int32_t top_protocol = 0;
    LayerEntry entries[MAX_LAYERS] = {};
    void reset() { count = 0; frame = nullptr; label[0] = 0; top_protocol = 0; }
};

// Where display-mode detail lines go. The tree view (or a recorder) installs one.
// insert() returns the new line's handle, never 0 and never ROOT_NODE.
class TreeSink {
public:
    virtual ~TreeSink() = default;
    virtual int32_t insert(int32_t parent, std::string_view text, uint32_t offset, uint32_t length,
                           int protocol) = 0;
};

// Where text-export-mode detail lines go: one complete line per call.
class LineSink {
public:
    virtual ~LineSink() = default;
    virtual void line(int indent, std::string_view text) = 0;
};

struct DataPortEntry {
    int32_t used;
    uint16_t port;
    uint16_t app_port;
};
struct DataPorts {
    int32_t any_entry;
    DataPortEntry entries[16];
};
struct FtpAnnouncement {
    int32_t state;  // 0 free, 1 announced, 3 connected
    uint8_t server[16];
    uint8_t client[16];
    uint16_t port;
};
struct FtpTracking {
    int32_t active;
    int32_t ip_version;  // 1 IPv4, 2 IPv6 for the current frame
    uint16_t tcp_ports[2];
    FtpAnnouncement entries[8];
};

struct DecodeContext {
    int32_t mode = MODE_IDLE;
    int32_t link_type = 1;
    const uint8_t* record = nullptr;
    const uint8_t* bytes = nullptr;
    int32_t captured_length = 0;
    uint64_t first_time = 0;
    uint64_t previous_time = 0;
    uint8_t destination_mac[6] = {};
    uint8_t source_mac[6] = {};
    int32_t network_type = 0;
    int32_t transport_protocol = 0;
    int32_t app_port = 0;
    // The payload the network layer handed on, as its header announces it: the
    // length (it may exceed the captured bytes; -1 when unknown) and whether later
    // fragments follow. Checksums give a verdict only over whole data.
    int32_t announced_length = -1;
    int32_t more_fragments = 0;
    // Transport pseudo-header: 0, protocol, length (2), then source and destination
    // (4+4 after IPv4, 16+16 after IPv6).
    uint8_t pseudo_header[36] = {};
    // IPv6 pseudo-header for ICMPv6: source 16, destination 16, length u32, 3 zero, next.
    uint8_t ipv6_pseudo_header[40] = {};
    FrameLayerIndex* layer_index = nullptr;
    char columns[COLUMN_COUNT][COLUMN_SIZE] = {};
    int32_t column_widths[COLUMN_COUNT] = {};
    const char* export_path = nullptr;
    FtpTracking ftp_tracking = {};
    DataPorts data_ports = {};

    // Output targets installed by the caller.
    TreeSink* tree = nullptr;     // display mode
    LineSink* exporter = nullptr; // text export mode
};

// The process-wide current context (one per thread; decoding runs on one thread).
DecodeContext* current_context();
void make_current(DecodeContext* ctx);
inline DecodeContext& ctx() { return *current_context(); }

// True when column 2, 3 and 5 texts are wanted (a display pass). Layer-index
// passes only keep column 4, so decoders may skip formatting the others.
inline bool text_columns_wanted() { return current_context()->mode == MODE_DISPLAY; }

int32_t decode_frame(int32_t parent, const uint8_t* record, int32_t link_type, int32_t frame_number);
void clear_columns(DecodeContext& c, long frame_index);

void set_column(const char* text, int column, const uint8_t* data, int protocol);
int32_t add_node(int32_t parent, const char* text, const uint8_t* data, int length, int protocol = 0);

// printf-style conveniences over the two output operations. set_columnf formats
// straight into the column, so its arguments must not point into ctx().columns.
void set_columnf(int column, const uint8_t* data, int protocol, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
int32_t add_nodef(int32_t parent, const uint8_t* data, int length, int protocol, const char* format, ...)
    __attribute__((format(printf, 5, 6)));
// Common shorthand: a line with ProtocolId 0 over view[offset, offset+length).
int32_t node(int32_t parent, const Bytes& view, int offset, int length, const char* format, ...)
    __attribute__((format(printf, 5, 6)));

// The label that layer-index mode records for a column-4 text.
std::string_view layer_label(const char* text, size_t length);

// The top-level "Data : %d bytes" line for a payload no decoder takes.
void data_line(int32_t parent, const Bytes& payload);

// A header cut short by the capture. Column 5 becomes
// "<name> header truncated (<n> bytes captured)"; the detail line
// "Header truncated : <n> of <need> bytes captured" goes under node. Decoders show
// the fields that are captured whole, name themselves in column 4 as usual, and
// decode nothing further.
void truncated_summary(const char* name, const Bytes& header);
void truncated_line(int32_t node, const Bytes& header, int need);

// Node registry of the tree view: insertion order of the shown frame's lines.
constexpr int REGISTRY_SIZE = 512;
struct RegistryEntry {
    int32_t node;
    uint32_t state;  // ProtocolId * 256 + expanded bit
};
struct NodeRegistry {
    RegistryEntry entries[REGISTRY_SIZE] = {};
};
NodeRegistry* create_registry();
void destroy_registry(NodeRegistry* r);
int register_node(NodeRegistry* r, int index, int32_t node, int protocol);
int32_t set_node_at(NodeRegistry* r, int index, int32_t node);
int32_t node_at(const NodeRegistry* r, int index);
void note_expansion(NodeRegistry* r, int32_t node, int state);
int32_t last_expanded_node(const NodeRegistry* r, int index);

// ProtocolId table with the remembered expanded state of each protocol. Ids 1..74
// are the original set; later link layers are appended behind them, so stored
// conditions and the remembered states keep their numbers.
constexpr int PROTOCOL_COUNT = 75;
void init_protocol_table();
int set_protocol_expanded(uint32_t word, int state);
int protocol_expanded(uint32_t word);
int protocol_count();
const char* protocol_name(int row);
int protocol_id_at(int row);

// ProtocolIds by name, for decoders.
enum ProtocolId : int {
    P_FRAME = 1, P_FDDI, P_ATM, P_ETHERNET2, P_IEEE8023, P_AARP, P_DDP, P_NBP, P_ATP, P_ARP,
    P_BGP, P_BOOTP, P_DHCP, P_DNS, P_EIGRP, P_FTP, P_FTPDATA, P_GMRP, P_GVRP, P_HTTP,
    P_ICMP, P_ICMP6, P_IGMP, P_IMAP, P_INARP, P_IP, P_AH, P_ESP, P_IP6, P_IP6OPT,
    P_IP6FRAG, P_IP6ROUTE, P_IPX, P_IPXSPX, P_IPXRIP, P_IPXSAP, P_NMPI, P_ISAKMP, P_LLC, P_SNAP,
    P_NBIPX, P_NBTDS, P_NBTNS, P_NBTSS, P_NETBIOS, P_NTP, P_NULL, P_OSPF, P_POP3, P_PPP,
    P_PPPDATA, P_PPPLCP, P_PPPIPCP, P_PPPCHAP, P_PPPOEDS, P_PPPOESS, P_RARP, P_RIP, P_RIPNG, P_RPC,
    P_RSVP, P_RTSP, P_SDP, P_SMB, P_SMTP, P_SNMP, P_SSDP, P_SSL, P_STP, P_SYSLOG,
    P_TCP, P_TLS, P_TELNET, P_UDP,
    P_SLL,  // Linux cooked capture, both versions
};
static_assert(P_UDP == 74);
static_assert(P_SLL == PROTOCOL_COUNT);

// A tree recorder implementing the tree view's side of add_node: the registry,
// the remembered expanded protocols and the line for a clicked byte. The Qt tree
// shows one of these; tests read it directly.
class DetailTree : public TreeSink {
public:
    struct Line {
        int32_t parent;      // ROOT_NODE or a handle
        uint32_t text_at;    // into the text arena
        uint32_t text_len;
        uint32_t offset, length;
        int protocol;
        bool expanded;
        int32_t first_child, next_sibling, last_child;  // handles, 0 = none
    };
    DetailTree();
    ~DetailTree() override;
    DetailTree(const DetailTree&) = delete;
    DetailTree& operator=(const DetailTree&) = delete;

    // Deletes every line; the registry count goes back to 0.
    void clear();
    // After decode_frame: ends the registry list and opens the last remembered protocol.
    void finish();
    int32_t insert(int32_t parent, std::string_view text, uint32_t offset, uint32_t length,
                   int protocol) override;

    int size() const { return int(lines_.size()); }
    const Line& line(int32_t handle) const { return lines_[handle - 1]; }
    std::string_view text(int32_t handle) const;
    bool valid(int32_t handle) const { return handle >= 1 && handle <= int32_t(lines_.size()); }
    int32_t first_top() const { return first_top_; }
    int depth(int32_t handle) const;

    // The user opened or closed a line; top-level lines change the remembered state.
    void set_expanded(int32_t handle, bool expanded);
    // The narrowest registered line that covers byte b (the frame line when none is narrower).
    int32_t line_for_byte(uint32_t b) const;

    const NodeRegistry* registry() const { return registry_; }
    int registry_count() const { return count_; }

private:
    // The registered lines that line_for_byte can choose, in registry order: those
    // after the first that are narrower than it and not empty. It walks these few
    // packed words rather than the registry and the lines.
    struct Span {
        uint32_t offset, length;
        int32_t handle;
    };
    // All keep their capacity across frames, so showing a frame allocates nothing
    // once the largest tree has been seen.
    std::vector<Line> lines_;
    std::string arena_;
    std::vector<Span> spans_;
    int32_t first_registered_ = 0;
    int32_t first_top_ = 0, last_top_ = 0;
    NodeRegistry* registry_;
    int count_ = 0;
};

}  // namespace zelpan
