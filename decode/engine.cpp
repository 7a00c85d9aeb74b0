#include "decode/engine.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "decode/decoders.h"
#include "decode/format.h"
#include "decode/text_format.h"

namespace zelpan {

// ---- frame records ----

static uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
static void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

uint32_t record_seconds(const uint8_t* r) { return load32(r); }
uint32_t record_microseconds(const uint8_t* r) { return load32(r + 4); }
uint32_t record_length(const uint8_t* r) { return load32(r + 8); }
uint32_t record_back_link(const uint8_t* r) {
    uint16_t low;
    std::memcpy(&low, r + 12, 2);
    return uint32_t(low) | uint32_t(r[15]) << 16;
}
void set_record_back_link(uint8_t* r, uint32_t back_link) {
    uint16_t low = uint16_t(back_link);
    std::memcpy(r + 12, &low, 2);
    r[15] = uint8_t(back_link >> 16);
}
void write_record_header(uint8_t* r, uint32_t seconds, uint32_t microseconds, uint32_t length,
                         uint32_t back_link, uint8_t flags) {
    store32(r, seconds);
    store32(r + 4, microseconds);
    store32(r + 8, length);
    set_record_back_link(r, back_link);
    r[14] = flags;
}
uint64_t record_time(const uint8_t* r) {
    return uint64_t(record_seconds(r)) * 10000 + record_microseconds(r) / 100;
}

// ---- current context ----

static DecodeContext idle_context;
static thread_local DecodeContext* current = &idle_context;

DecodeContext* current_context() { return current; }
void make_current(DecodeContext* c) { current = c ? c : &idle_context; }

// ---- columns ----

void clear_columns(DecodeContext& c, long frame_index) {
    for (int k = 0; k < COLUMN_COUNT; ++k) c.columns[k][0] = 0;
    if (frame_index == 0)
        for (int k = 0; k < COLUMN_COUNT; ++k) c.column_widths[k] = 0;
}

std::string_view layer_label(const char* text, size_t n) {
    if (n >= 31) return {};
    if (n >= 4 && std::memcmp(text, "OSPF", 4) == 0) return "OSPF";
    if (n >= 4 && std::memcmp(text, "SNMP", 4) == 0) return "SNMP";
    if (n >= 3 && std::memcmp(text, "SSL", 3) == 0) return "SSL";
    return {text, n};
}

static void record_layer(DecodeContext& c, const char* text, size_t n, const uint8_t* data, int protocol) {
    FrameLayerIndex* ix = c.layer_index;
    if (ix->count == 0) ix->frame = c.record;
    if (ix->count >= MAX_LAYERS) return;
    std::string_view label = layer_label(text, n);
    if (!label.empty()) std::memcpy(ix->label, label.data(), label.size());
    ix->label[label.size()] = 0;
    ix->top_protocol = protocol;
    LayerEntry& e = ix->entries[ix->count++];
    e.start = data;
    e.protocol = protocol;
    e.offset = data && c.record ? int32_t(data - c.record) : 0;
}

static void put_column(const char* text, size_t n, int column, const uint8_t* data, int protocol) {
    if (column < 0 || column >= COLUMN_COUNT) return;
    DecodeContext& c = ctx();
    char cut[COLUMN_SIZE];
    if (n >= COLUMN_SIZE) {  // keep 507 characters and mark the cut
        std::memcpy(cut, text, 507);
        std::memcpy(cut + 507, "...", 4);
        text = cut;
        n = 510;
    }
    if (c.mode == MODE_DISPLAY) {
        std::memcpy(c.columns[column], text, n);
        c.columns[column][n] = 0;
    } else if (c.mode == MODE_LAYER_INDEX && c.layer_index && column == 4) {
        record_layer(c, text, n, data, protocol);
    }
}

void set_column(const char* text, int column, const uint8_t* data, int protocol) {
    if (!text) text = "";
    put_column(text, std::strlen(text), column, data, protocol);
}

void set_columnf(int column, const uint8_t* data, int protocol, const char* format, ...) {
    DecodeContext& c = ctx();
    if (column < 0 || column >= COLUMN_COUNT) return;
    if (c.mode == MODE_DISPLAY) {
        // Straight into the column, with put_column's cut for long texts.
        char* out = c.columns[column];
        va_list ap;
        va_start(ap, format);
        int n = format_text(out, COLUMN_SIZE, format, ap);
        va_end(ap);
        if (n < 0) out[0] = 0;
        else if (n >= COLUMN_SIZE) std::memcpy(out + 507, "...", 4);
        return;
    }
    if (!(c.mode == MODE_LAYER_INDEX && column == 4 && c.layer_index)) return;
    // Only labels below 31 characters are kept; a longer text just needs its length.
    char buf[64];
    va_list ap;
    va_start(ap, format);
    int n = format_text(buf, sizeof buf, format, ap);
    va_end(ap);
    if (n < 0) n = 0;
    if (n >= int(sizeof buf)) n = sizeof buf - 1;
    record_layer(c, buf, size_t(n), data, protocol);
}

// ---- detail lines ----

static int export_level(int32_t parent) {
    switch (parent) {
    case ROOT_NODE: return 2;
    case 2: return 4;
    case 4: return 6;
    case 6: return 8;
    case 8: return 10;
    case 10: return 12;
    case 12: return 14;
    default: return 16;
    }
}

static int32_t put_node(int32_t parent, std::string_view text, const uint8_t* data, int length, int protocol) {
    DecodeContext& c = ctx();
    if (c.mode == MODE_DISPLAY && parent != 0) {
        if (!c.tree) return 0;
        // Byte ranges never reach outside the captured frame.
        uint32_t cap = c.captured_length > 0 ? uint32_t(c.captured_length) : 0;
        uint32_t off = 0, len = 0;
        if (data && c.bytes && data >= c.bytes && data <= c.bytes + cap) {
            off = uint32_t(data - c.bytes);
            len = length > 0 ? uint32_t(length) : 0;
            if (len > cap - off) len = cap - off;
        }
        return c.tree->insert(parent, text, off, len, protocol);
    }
    if (c.mode == MODE_TEXT_EXPORT) {
        int level = export_level(parent);
        if (c.exporter) c.exporter->line(level, text);
        return level;
    }
    return 0;
}

int32_t add_node(int32_t parent, const char* text, const uint8_t* data, int length, int protocol) {
    return put_node(parent, text ? std::string_view(text) : std::string_view(), data, length, protocol);
}

static bool lines_wanted(int32_t parent) {
    int m = ctx().mode;
    return (m == MODE_DISPLAY && parent != 0) || m == MODE_TEXT_EXPORT;
}

static int32_t vnode(int32_t parent, const uint8_t* data, int length, int protocol, const char* format,
                     va_list ap) {
    char buf[2048];
    int n = format_text(buf, sizeof buf, format, ap);
    if (n < 0) n = 0;
    if (n >= int(sizeof buf)) n = sizeof buf - 1;
    return put_node(parent, std::string_view(buf, size_t(n)), data, length, protocol);
}

int32_t add_nodef(int32_t parent, const uint8_t* data, int length, int protocol, const char* format, ...) {
    if (!lines_wanted(parent)) return 0;
    va_list ap;
    va_start(ap, format);
    int32_t h = vnode(parent, data, length, protocol, format, ap);
    va_end(ap);
    return h;
}

int32_t node(int32_t parent, const Bytes& view, int offset, int length, const char* format, ...) {
    if (!lines_wanted(parent)) return 0;
    va_list ap;
    va_start(ap, format);
    int32_t h = vnode(parent, view.at(offset), view.avail(offset, length), 0, format, ap);
    va_end(ap);
    return h;
}

void data_line(int32_t parent, const Bytes& payload) {
    if (parent == 0) return;
    add_nodef(ROOT_NODE, payload.data(), payload.size(), 0, "Data : %d bytes", payload.size());
}

void truncated_summary(const char* name, const Bytes& header) {
    if (!text_columns_wanted()) return;
    set_columnf(5, nullptr, 0, "%s header truncated (%d bytes captured)", name, header.size());
}

void truncated_line(int32_t parent, const Bytes& header, int need) {
    if (parent == 0) return;
    add_nodef(parent, header.data(), header.size(), 0, "Header truncated : %d of %d bytes captured",
              header.size(), need);
}

// ---- the frame decoder ----

int32_t decode_frame(int32_t parent, const uint8_t* record, int32_t link_type, int32_t frame_number) {
    DecodeContext& c = ctx();
    if (c.mode == MODE_IDLE || !record) return 0;
    uint64_t t = record_time(record);
    c.record = record;
    c.bytes = record_bytes(record);
    uint32_t length = record_length(record);
    c.captured_length = length > 0x7FFFFFFF ? 0x7FFFFFFF : int32_t(length);
    c.network_type = 0;
    c.transport_protocol = 0;
    c.app_port = 0;
    c.announced_length = -1;
    c.more_fragments = 0;
    if (frame_number == 1) {
        c.ftp_tracking.active = 0;
        for (auto& e : c.ftp_tracking.entries) e.state = 0;
        c.data_ports.any_entry = 0;
        for (auto& e : c.data_ports.entries) e.used = 0;
    }
    int32_t frame_node = 0;
    if (parent == 0) {
        set_column(time_of_day_text(record_seconds(record), record_microseconds(record)), 1, nullptr, 0);
    } else {
        const uint8_t* b = c.bytes;
        int n = c.captured_length;
        frame_node = add_nodef(ROOT_NODE, b, n, P_FRAME, "Frame No.%d", frame_number);
        add_nodef(frame_node, b, n, 0, "Frame Length : %d bytes", n);
        add_nodef(frame_node, b, n, 0, "Time : %s",
                  date_time_text(record_seconds(record), record_microseconds(record)));
        // A frame stamped before its predecessor shows a negative lapse instead of
        // an unsigned wrap-around.
        auto lapse = [&](const char* what, uint64_t since) {
            if (t >= since) {
                uint64_t d = t - since;
                add_nodef(frame_node, b, n, 0, "Lapsed time from %s frame : %llu.%04llu sec", what,
                          (unsigned long long)(d / 10000), (unsigned long long)(d % 10000));
            } else {
                uint64_t d = since - t;
                add_nodef(frame_node, b, n, 0, "Lapsed time from %s frame : -%llu.%04llu sec", what,
                          (unsigned long long)(d / 10000), (unsigned long long)(d % 10000));
            }
        };
        lapse("prvious", c.previous_time);
        lapse("first", c.first_time);
    }
    Bytes frame(c.bytes, c.captured_length);
    switch (link_type) {
    case 0: decode_null(parent, frame); break;
    case 9: decode_ppp(parent, frame); break;
    case 10: decode_fddi(parent, frame); break;
    case 113: decode_cooked(parent, frame); break;
    case 276: decode_cooked2(parent, frame); break;
    case 12:   // raw IP as BSDs number it
    case 14:   // ... and OpenBSD
    case 101:
    case 228:  // IPv4 only
    case 229:  // IPv6 only
        decode_raw_ip(parent, frame);
        break;
    default: decode_ethernet(parent, frame); break;
    }
    if (parent != 0) return frame_node;
    if (c.mode == MODE_DISPLAY) {
        for (int k = 0; k < COLUMN_COUNT; ++k) {
            int32_t w = int32_t(std::strlen(c.columns[k]));
            if (w > c.column_widths[k]) c.column_widths[k] = w;
        }
    }
    return 0;
}

// ---- node registry ----

NodeRegistry* create_registry() { return new NodeRegistry(); }
void destroy_registry(NodeRegistry* r) { delete r; }

int register_node(NodeRegistry* r, int index, int32_t node, int protocol) {
    if (!r || index < 0 || index >= REGISTRY_SIZE - 1) return -1;
    uint32_t state = uint32_t(protocol) * 256;
    if (protocol != 0) state += uint32_t(protocol_expanded(state));
    r->entries[index] = {node, state};
    return index + 1;
}

int32_t set_node_at(NodeRegistry* r, int index, int32_t node) {
    if (!r || index < 0 || index >= REGISTRY_SIZE) return 0;
    r->entries[index].node = node;
    return node;
}

int32_t node_at(const NodeRegistry* r, int index) {
    if (!r || index < 0 || index >= REGISTRY_SIZE) return 0;
    return r->entries[index].node;
}

void note_expansion(NodeRegistry* r, int32_t node, int state) {
    if (!r) return;
    for (int i = 0; i < REGISTRY_SIZE && r->entries[i].node != 0; ++i) {
        RegistryEntry& e = r->entries[i];
        if (e.node != node) continue;
        e.state = (e.state & ~1u) | uint32_t(state & 1);
        if (e.state >= 256) set_protocol_expanded(e.state, state);
        return;
    }
}

int32_t last_expanded_node(const NodeRegistry* r, int index) {
    if (!r || index < 0 || index > REGISTRY_SIZE) return 0;
    for (int i = index - 1; i >= 0; --i) {
        const RegistryEntry& e = r->entries[i];
        if ((e.state & 1) && e.state >= 256) return e.node;
    }
    return 0;
}

// ---- protocol table ----

namespace {
struct ProtocolRow {
    uint32_t word;
    const char* name;
};
ProtocolRow protocol_rows[PROTOCOL_COUNT] = {
    {1, "frame"},     {2, "fddi"},     {3, "atm"},      {4, "ethernet2"}, {5, "ieee8023"}, {6, "aarp"},
    {7, "ddp"},       {8, "nbp"},      {9, "atp"},      {10, "arp"},      {11, "bgp"},     {12, "bootp"},
    {13, "dhcp"},     {14, "dns"},     {15, "eigrp"},   {16, "ftp"},      {17, "ftpdata"}, {18, "gmrp"},
    {19, "gvrp"},     {20, "http"},    {21, "icmp"},    {22, "icmp6"},    {23, "igmp"},    {24, "imap"},
    {25, "inarp"},    {26, "ip"},      {27, "ah"},      {28, "esp"},      {29, "ip6"},     {30, "ip6opt"},
    {31, "ip6frag"},  {32, "ip6route"}, {33, "ipx"},    {34, "ipxspx"},   {35, "ipxrip"},  {36, "ipxsap"},
    {37, "nmpi"},     {38, "isakmp"},  {39, "llc"},     {40, "snap"},     {41, "nbipx"},   {42, "nbtds"},
    {43, "nbtns"},    {44, "nbtss"},   {45, "netbios"}, {46, "ntp"},      {47, "null"},    {48, "ospf"},
    {49, "pop3"},     {50, "ppp"},     {51, "pppdata"}, {52, "ppplcp"},   {53, "pppipcp"}, {54, "pppchap"},
    {55, "pppoeds"},  {56, "pppoess"}, {57, "rarp"},    {58, "rip"},      {59, "ripng"},   {60, "rpc"},
    {61, "rsvp"},     {62, "rtsp"},    {63, "sdp"},     {64, "smb"},      {65, "smtp"},    {66, "snmp"},
    {67, "ssdp"},     {68, "ssl"},     {69, "stp"},     {70, "syslog"},   {71, "tcp"},     {72, "tls"},
    {73, "telnet"},   {74, "udp"},     {75, "sll"},
};
bool protocol_table_ready = false;
}  // namespace

void init_protocol_table() {
    if (protocol_table_ready) return;  // a second call would shift the ids again
    for (auto& r : protocol_rows) r.word = r.word * 256;
    protocol_table_ready = true;
}

static int find_protocol_row(uint32_t word) {
    init_protocol_table();
    for (int i = 0; i < PROTOCOL_COUNT; ++i)
        if ((protocol_rows[i].word & ~0xFFu) == (word & ~0xFFu)) return i;
    return -1;
}

int set_protocol_expanded(uint32_t word, int state) {
    int i = find_protocol_row(word);
    if (i < 0) return -1;
    protocol_rows[i].word = (word & ~0xFFu) + uint32_t(state & 1);
    return i;
}

int protocol_expanded(uint32_t word) {
    int i = find_protocol_row(word);
    return i < 0 ? 0 : int(protocol_rows[i].word & 1);
}

int protocol_count() { return PROTOCOL_COUNT; }

const char* protocol_name(int row) {
    if (row < 0 || row >= PROTOCOL_COUNT) return nullptr;
    return protocol_rows[row].name;
}

int protocol_id_at(int row) {
    init_protocol_table();
    if (row < 0 || row >= PROTOCOL_COUNT) return 0;
    return int(protocol_rows[row].word >> 8);
}

// ---- detail tree recorder ----

DetailTree::DetailTree() : registry_(create_registry()) {}
DetailTree::~DetailTree() { destroy_registry(registry_); }

void DetailTree::clear() {
    lines_.clear();
    arena_.clear();
    spans_.clear();
    first_registered_ = 0;
    first_top_ = last_top_ = 0;
    count_ = 0;
}

void DetailTree::finish() {
    set_node_at(registry_, count_, 0);
    int32_t n = last_expanded_node(registry_, count_);
    if (valid(n)) lines_[n - 1].expanded = true;
}

int32_t DetailTree::insert(int32_t parent, std::string_view text, uint32_t offset, uint32_t length,
                           int protocol) {
    if (parent != ROOT_NODE && !valid(parent)) return 0;
    if (parent == ROOT_NODE) {
        // Each remembered protocol opens as soon as the next top-level line arrives.
        int32_t n = last_expanded_node(registry_, count_);
        if (valid(n)) lines_[n - 1].expanded = true;
    }
    Line l{};
    l.parent = parent;
    l.text_at = uint32_t(arena_.size());
    l.text_len = uint32_t(text.size());
    l.offset = offset;
    l.length = length;
    l.protocol = protocol;
    arena_.append(text);
    lines_.push_back(l);
    int32_t h = int32_t(lines_.size());
    if (parent == ROOT_NODE) {
        if (last_top_) lines_[last_top_ - 1].next_sibling = h;
        else first_top_ = h;
        last_top_ = h;
    } else {
        Line& p = lines_[parent - 1];
        if (p.last_child) lines_[p.last_child - 1].next_sibling = h;
        else p.first_child = h;
        p.last_child = h;
    }
    int c = register_node(registry_, count_, h, protocol);
    if (c > 0) {
        count_ = c;
        if (c == 1) first_registered_ = h;
        else if (length != 0 && length < lines_[first_registered_ - 1].length) spans_.push_back({offset, length, h});
    }
    return h;
}

std::string_view DetailTree::text(int32_t h) const {
    if (!valid(h)) return {};
    const Line& l = lines_[h - 1];
    return std::string_view(arena_.data() + l.text_at, l.text_len);
}

int DetailTree::depth(int32_t h) const {
    int d = 0;
    while (valid(h) && lines_[h - 1].parent != ROOT_NODE) {
        h = lines_[h - 1].parent;
        ++d;
    }
    return d;
}

void DetailTree::set_expanded(int32_t h, bool expanded) {
    if (!valid(h)) return;
    lines_[h - 1].expanded = expanded;
    if (lines_[h - 1].parent == ROOT_NODE) note_expansion(registry_, h, expanded ? 1 : 0);
}

int32_t DetailTree::line_for_byte(uint32_t b) const {
    // The first registered line (the frame) is the answer unless a later one
    // covering b is narrower; among equally narrow ones the earliest wins. No
    // covering line is narrower than 1 byte, so the walk can stop there.
    int32_t choice = first_registered_;
    if (!choice) return 0;
    uint32_t bound = lines_[choice - 1].length;
    for (const Span& s : spans_)
        if (s.length < bound && b >= s.offset && b - s.offset < s.length) {
            choice = s.handle;
            bound = s.length;
            if (bound == 1) break;
        }
    return choice;
}

}  // namespace zelpan
