#include "store/pcapng.h"

#include <cstdarg>
#include <cstring>
#include <map>
#include <vector>

namespace zelpan {

namespace {

constexpr uint32_t SECTION_HEADER = 0x0A0D0D0A;
constexpr uint32_t INTERFACE_DESCRIPTION = 1;
constexpr uint32_t OBSOLETE_PACKET = 2;
constexpr uint32_t SIMPLE_PACKET = 3;
constexpr uint32_t ENHANCED_PACKET = 6;
constexpr uint32_t BYTE_ORDER_MAGIC = 0x1A2B3C4D;

constexpr uint16_t OPT_END = 0;
constexpr uint16_t OPT_TSRESOL = 9;
constexpr uint16_t OPT_TSOFFSET = 14;

// Block type, total length ... total length: 12 bytes around every body.
constexpr uint32_t BLOCK_FRAME = 12;

uint32_t swap32(uint32_t v) { return __builtin_bswap32(v); }

std::string textf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string textf(const char* format, ...) {
    char buf[1024];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    if (n < 0) return {};
    return std::string(buf, size_t(n) < sizeof buf ? size_t(n) : sizeof buf - 1);
}

// 16 bytes each: a file of nothing but interface blocks needs less memory than
// its own size.
struct Interface {
    uint16_t link_type;
    uint8_t resolution;    // if_tsresol byte
    uint32_t snap_length;  // 0: no limit
    int64_t offset;        // if_tsoffset, seconds
};

// The file read in order, with the position kept for messages.
class Reader {
public:
    explicit Reader(std::FILE* f) : f_(f) {}
    uint64_t position() const { return pos_; }
    // Bytes read (fewer than n at the end of the file).
    size_t read(void* p, size_t n) {
        size_t k = n ? std::fread(p, 1, n, f_) : 0;
        pos_ += k;
        return k;
    }
    bool read_all(void* p, size_t n) { return read(p, n) == n; }
    bool skip(uint64_t n) {
        if (n > sizeof scratch_ * 4) {
            if (fseeko(f_, off_t(n), SEEK_CUR) != 0) return false;
            pos_ += n;
            return true;
        }
        while (n > 0) {
            size_t k = n < sizeof scratch_ ? size_t(n) : sizeof scratch_;
            if (!read_all(scratch_, k)) return false;
            n -= k;
        }
        return true;
    }

private:
    std::FILE* f_;
    uint64_t pos_ = 0;
    uint8_t scratch_[4096];
};

// Fields of the current section, in its byte order.
struct Order {
    bool swapped = false;
    uint16_t u16(const uint8_t* p) const {
        uint16_t v;
        std::memcpy(&v, p, 2);
        return swapped ? __builtin_bswap16(v) : v;
    }
    uint32_t u32(const uint8_t* p) const {
        uint32_t v;
        std::memcpy(&v, p, 4);
        return swapped ? swap32(v) : v;
    }
    uint64_t u64(const uint8_t* p) const {
        uint64_t v;
        std::memcpy(&v, p, 8);
        return swapped ? __builtin_bswap64(v) : v;
    }
};

uint64_t padded(uint64_t n) { return (n + 3) & ~uint64_t(3); }

class PcapNgLoad {
public:
    PcapNgLoad(std::FILE* f, uint64_t file_size, FrameStore& store, uint64_t room)
        : in_(f), file_size_(file_size), store_(store), room_(room),
          base_(store.block() + STORE_HEAD) {}

    // Reads blocks until the end of the file, the end of the store or a damaged
    // block; returns the damage ("" when none).
    std::string run();

    int32_t link_type() const { return link_type_ < 0 ? 1 : link_type_; }
    uint32_t frames() const { return frames_; }
    uint64_t used() const { return used_; }
    const std::map<int32_t, uint64_t>& left_out() const { return left_out_; }
    // Where the block that ended the load starts.
    uint64_t block_start() const { return block_start_; }

private:
    std::string interface_block(uint32_t body);
    std::string packet_block(uint32_t type, uint32_t body);
    std::string section_header(uint32_t length);
    // Takes a packet of caplen bytes, the file being at its first byte; then
    // skips the rest bytes after it and checks the trailer.
    std::string take(const Interface& i, bool has_time, uint64_t units, uint32_t caplen, uint64_t rest,
                     uint32_t length);
    std::string trailer(uint32_t length);
    std::string ends_inside() const { return "the file ends inside a block"; }

    Reader in_;
    uint64_t file_size_;
    FrameStore& store_;
    uint64_t room_;
    uint8_t* base_;
    Order order_;
    std::vector<Interface> interfaces_;
    int32_t link_type_ = -1;
    std::map<int32_t, uint64_t> left_out_;
    uint64_t used_ = 0;
    uint32_t frames_ = 0;
    uint32_t back_ = 0;
    uint32_t last_seconds_ = 0, last_microseconds_ = 0;
    bool full_ = false;  // the store has no room for the next frame
    uint64_t block_start_ = 0;
};

std::string PcapNgLoad::run() {
    for (;;) {
        block_start_ = in_.position();
        uint8_t h[12];
        size_t k = in_.read(h, 8);
        if (k == 0) return "";
        if (k < 8) return "the file ends inside a block header";
        uint32_t raw_type;
        std::memcpy(&raw_type, h, 4);
        if (raw_type == SECTION_HEADER) {
            // The byte order of a section is known only from its own magic.
            if (!in_.read_all(h + 8, 4)) return "the file ends inside a block header";
            uint32_t magic;
            std::memcpy(&magic, h + 8, 4);
            if (magic == BYTE_ORDER_MAGIC) order_.swapped = false;
            else if (magic == swap32(BYTE_ORDER_MAGIC)) order_.swapped = true;
            else return textf("unknown byte-order magic 0x%08X in a section header", magic);
        }
        uint32_t type = order_.u32(h);
        uint32_t length = order_.u32(h + 4);
        if (length < BLOCK_FRAME || length % 4 != 0)
            return textf("block of type 0x%08X has the impossible length %u", type, length);
        if (block_start_ + length > file_size_)
            return textf("block of %u bytes runs past the end of the file", length);
        uint32_t body = length - BLOCK_FRAME;
        std::string damage;
        switch (type) {
        case SECTION_HEADER: damage = section_header(length); break;
        case INTERFACE_DESCRIPTION: damage = interface_block(body); break;
        case ENHANCED_PACKET:
        case OBSOLETE_PACKET:
        case SIMPLE_PACKET: damage = packet_block(type, body); break;
        default:
            // Name resolution, statistics, secrets, custom blocks: nothing the
            // frame list shows.
            damage = in_.skip(body) ? trailer(length) : ends_inside();
            break;
        }
        if (!damage.empty() || full_) return damage;
    }
}

std::string PcapNgLoad::trailer(uint32_t length) {
    uint8_t t[4];
    if (!in_.read_all(t, 4)) return ends_inside();
    uint32_t end = order_.u32(t);
    if (end != length) return textf("the length at the end of the block (%u) differs from its start (%u)", end, length);
    return "";
}

std::string PcapNgLoad::section_header(uint32_t length) {
    // Magic (already read with the block header), version, section length.
    if (length < BLOCK_FRAME + 16) return textf("section header of %u bytes is too short", length);
    uint8_t b[12];
    if (!in_.read_all(b, sizeof b)) return ends_inside();
    uint16_t major = order_.u16(b), minor = order_.u16(b + 2);
    if (major != 1) return textf("section version %u.%u is not supported", major, minor);
    if (!in_.skip(length - BLOCK_FRAME - 16)) return ends_inside();
    interfaces_.clear();  // interface numbers count from 0 in every section
    return trailer(length);
}

std::string PcapNgLoad::interface_block(uint32_t body) {
    if (body < 8) return textf("interface description of %u bytes is too short", body + BLOCK_FRAME);
    uint8_t b[8];
    if (!in_.read_all(b, sizeof b)) return ends_inside();
    Interface i{order_.u16(b), 6, order_.u32(b + 4), 0};
    uint64_t rest = body - 8;
    while (rest >= 4) {
        uint8_t o[8];
        if (!in_.read_all(o, 4)) return ends_inside();
        rest -= 4;
        uint16_t code = order_.u16(o), n = order_.u16(o + 2);
        if (code == OPT_END) break;
        uint64_t size = padded(n);
        if (size > rest) return textf("option %u of %u bytes runs past its block", code, n);
        uint64_t used = 0;
        if (code == OPT_TSRESOL && n >= 1) {
            if (!in_.read_all(o, 1)) return ends_inside();
            i.resolution = o[0];
            used = 1;
        } else if (code == OPT_TSOFFSET && n >= 8) {
            if (!in_.read_all(o, 8)) return ends_inside();
            i.offset = int64_t(order_.u64(o));
            used = 8;
        }
        if (!in_.skip(size - used)) return ends_inside();
        rest -= size;
    }
    if (!in_.skip(rest)) return ends_inside();
    uint32_t sec, usec;
    if (!PcapNgTime(0, i.resolution, 0, sec, usec))
        return textf("time stamp resolution 0x%02X cannot be represented", i.resolution);
    std::string damage = trailer(body + BLOCK_FRAME);
    if (!damage.empty()) return damage;
    if (link_type_ < 0) link_type_ = i.link_type;
    interfaces_.push_back(i);
    return "";
}

std::string PcapNgLoad::packet_block(uint32_t type, uint32_t body) {
    uint32_t length = body + BLOCK_FRAME;
    uint8_t b[20];
    uint64_t interface, units = 0;
    uint32_t caplen;
    uint64_t fixed;
    if (type == SIMPLE_PACKET) {
        // Original length, then the packet cut to the snap length of interface 0.
        fixed = 4;
        if (body < fixed) return textf("simple packet block of %u bytes is too short", length);
        if (!in_.read_all(b, 4)) return ends_inside();
        if (interfaces_.empty()) return "a simple packet block comes before any interface description";
        interface = 0;
        caplen = order_.u32(b);
        uint32_t snap = interfaces_[0].snap_length;
        if (snap != 0 && caplen > snap) caplen = snap;
        // The block holds what was captured; an original length beyond it (a
        // snap length the writer did not record) is cut to the block.
        if (caplen > body - fixed) caplen = body - fixed;
    } else {
        // Interface (u32, or u16 and a drop count), time high, time low,
        // captured length, original length.
        fixed = 20;
        if (body < fixed)
            return textf("%s packet block of %u bytes is too short", type == ENHANCED_PACKET ? "enhanced" : "obsolete",
                         length);
        if (!in_.read_all(b, 20)) return ends_inside();
        interface = type == ENHANCED_PACKET ? order_.u32(b) : order_.u16(b);
        units = uint64_t(order_.u32(b + 4)) << 32 | order_.u32(b + 8);
        caplen = order_.u32(b + 12);
        if (interface >= interfaces_.size())
            return textf("a packet names interface %llu, which its section does not describe",
                         (unsigned long long)interface);
    }
    if (fixed + padded(caplen) > body)
        return textf("packet data of %u bytes runs past its block", caplen);
    const Interface& i = interfaces_[interface];
    uint64_t rest = body - fixed - caplen;
    if (i.link_type != link_type_) {
        ++left_out_[i.link_type];
        return in_.skip(caplen + rest) ? trailer(length) : ends_inside();
    }
    return take(i, type != SIMPLE_PACKET, units, caplen, rest, length);
}

std::string PcapNgLoad::take(const Interface& i, bool has_time, uint64_t units, uint32_t caplen, uint64_t rest,
                             uint32_t length) {
    uint64_t size = uint64_t(RECORD_HEADER) + caplen;
    if (size > MAX_RECORD_SIZE) return textf("a packet of %u bytes is larger than a frame can be", caplen);
    if (used_ + size > room_ || frames_ == UINT32_MAX) {
        // As with pcap: what does not fit is left without a message.
        full_ = true;
        return "";
    }
    uint32_t sec = last_seconds_, usec = last_microseconds_;
    // A simple packet block carries no time: it keeps the time of the frame before.
    if (has_time) PcapNgTime(units, i.resolution, i.offset, sec, usec);
    uint8_t* r = base_ + used_;
    if (caplen && !in_.read_all(record_bytes(r), caplen)) return ends_inside();
    if (!in_.skip(rest)) return ends_inside();
    std::string damage = trailer(length);
    if (!damage.empty()) return damage;
    write_record_header(r, sec, usec, caplen, back_, 0);
    back_ = uint32_t(size);
    used_ += size;
    ++frames_;
    last_seconds_ = sec;
    last_microseconds_ = usec;
    return "";
}

}  // namespace

bool IsPcapNgStart(const uint8_t* h, size_t n) {
    if (n < 12) return false;
    uint32_t type, magic;
    std::memcpy(&type, h, 4);
    std::memcpy(&magic, h + 8, 4);
    return type == SECTION_HEADER && (magic == BYTE_ORDER_MAGIC || magic == swap32(BYTE_ORDER_MAGIC));
}

bool PcapNgTime(uint64_t units, uint8_t resolution, int64_t offset, uint32_t& seconds, uint32_t& microseconds) {
    uint64_t whole, usec;
    unsigned v = resolution & 0x7F;
    if (resolution & 0x80) {
        if (v > 63) return false;
        uint64_t frac = units & ((uint64_t(1) << v) - 1);
        whole = units >> v;
        usec = uint64_t((unsigned __int128)frac * 1000000 >> v);
    } else {
        if (v > 19) return false;  // 10^19 is the largest power of ten in 64 bits
        uint64_t per = 1;
        for (unsigned k = 0; k < v; ++k) per *= 10;
        whole = units / per;
        uint64_t frac = units % per;
        if (v >= 6) {
            uint64_t down = 1;
            for (unsigned k = 6; k < v; ++k) down *= 10;
            usec = frac / down;
        } else {
            uint64_t up = 1;
            for (unsigned k = v; k < 6; ++k) up *= 10;
            usec = frac * up;
        }
    }
    seconds = uint32_t(whole + uint64_t(offset));
    microseconds = uint32_t(usec);
    return true;
}

const char* LinkTypeName(int32_t link_type) {
    switch (link_type) {
    case 0: return "null/loopback";
    case 1: return "Ethernet";
    case 9: return "PPP";
    case 10: return "FDDI";
    case 12:
    case 14:
    case 101: return "raw IP";
    case 105: return "IEEE 802.11";
    case 113: return "Linux cooked";
    case 127: return "IEEE 802.11 radiotap";
    case 228: return "raw IPv4";
    case 229: return "raw IPv6";
    case 276: return "Linux cooked v2";
    default: return "not decoded";
    }
}

void ReadPcapNg(std::FILE* f, const std::string& path, uint64_t file_size, FrameStore& store, uint64_t room,
                int32_t& link_type, std::string& notice) {
    PcapNgLoad load(f, file_size, store, room);
    std::string damage = load.run();
    link_type = load.link_type();
    store.set_used_bytes(load.used());
    store.set_frame_count(load.frames());
    std::vector<std::string> lines;
    auto plural = [](uint64_t n) { return n == 1 ? "" : "s"; };
    if (!damage.empty())
        lines.push_back(textf("Warning : %s : the block at byte %llu is damaged (%s); the load ends there with %u "
                              "frame%s.  ",
                              path.c_str(), (unsigned long long)load.block_start(), damage.c_str(), load.frames(),
                              plural(load.frames())));
    for (const auto& [other, count] : load.left_out())
        lines.push_back(textf("Note : %s : %llu frame%s of link type %d (%s) left out; the window shows link type "
                              "%d (%s) only.  ",
                              path.c_str(), (unsigned long long)count, plural(count), other, LinkTypeName(other),
                              link_type, LinkTypeName(link_type)));
    notice.clear();
    for (const auto& l : lines) {
        if (!notice.empty()) notice += '\n';
        notice += l;
    }
}

}  // namespace zelpan
