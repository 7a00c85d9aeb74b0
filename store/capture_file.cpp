#include "store/capture_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "store/pcapng.h"

namespace zelpan {

namespace {

constexpr uint32_t PCAP_MAGIC = 0xA1B2C3D4;
constexpr uint32_t PCAP_NANO_MAGIC = 0xA1B23C4D;
constexpr int PCAP_HEADER = 24;
constexpr int LEGACY_RECORD_HEADER = 12;
const char NOT_CAPTURE_TEXT[] = "zelpanで解釈できないﾌｧｲﾙ形式です。 ";

uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
uint16_t load16(const uint8_t* p) {
    uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}
void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
void store16(uint8_t* p, uint16_t v) { std::memcpy(p, &v, 2); }

std::string textf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string textf(const char* format, ...) {
    va_list ap;
    va_start(ap, format);
    va_list again;
    va_copy(again, ap);
    int n = std::vsnprintf(nullptr, 0, format, ap);
    va_end(ap);
    std::string out;
    if (n > 0) {
        out.resize(size_t(n) + 1);
        std::vsnprintf(out.data(), out.size(), format, again);
        out.resize(size_t(n));
    }
    va_end(again);
    return out;
}

void pcap_global_header(uint8_t* h, int32_t link_type) {
    store32(h, PCAP_MAGIC);
    store16(h + 4, 2);
    store16(h + 6, 4);
    store32(h + 8, 0);
    store32(h + 12, 0);
    store32(h + 16, 65535);
    store32(h + 20, uint32_t(link_type));
}

void pcap_record_header(uint8_t* h, const uint8_t* r) {
    uint32_t n = record_length(r);
    store32(h, record_seconds(r));
    store32(h + 4, record_microseconds(r));
    store32(h + 8, n);
    store32(h + 12, n);  // wire length: the captured length again
}

std::string header_read_error(uint32_t frame) { return textf("ERROR : Header(Frame=%u) can't readed.  ", frame); }
std::string data_read_error(uint32_t frame) { return textf("ERROR : Frame data(Frame=%u) can't readed.  ", frame); }

// The libpcap forms other than the one written: fields in the other byte order,
// nanoseconds in place of microseconds.
struct PcapForm {
    bool swapped = false;
    bool nano = false;
    uint32_t get(const uint8_t* p) const { return swapped ? __builtin_bswap32(load32(p)) : load32(p); }
};

PcapForm pcap_form(CaptureKind kind) {
    PcapForm form;
    form.swapped = kind == CaptureKind::PcapSwapped || kind == CaptureKind::PcapNanoSwapped;
    form.nano = kind == CaptureKind::PcapNano || kind == CaptureKind::PcapNanoSwapped;
    return form;
}

// Reads up to n bytes at offset at, as far as the file goes.
uint64_t read_at(int fd, uint8_t* to, uint64_t n, off_t at) {
    uint64_t done = 0;
    while (done < n) {
        ssize_t k = ::pread(fd, to + done, size_t(std::min<uint64_t>(n - done, 1u << 30)), at + off_t(done));
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) break;
        done += uint64_t(k);
    }
    return done;
}

// Reads up to room bytes from f's position into base, as one fread would, and
// leaves f after them. Large bodies are read in two halves on two threads: the
// kernel's work of providing fresh memory for the block is then shared.
uint64_t read_body(std::FILE* f, uint8_t* base, uint64_t room) {
    constexpr uint64_t SPLIT_FROM = 32u << 20;
    if (room < SPLIT_FROM || std::thread::hardware_concurrency() < 2) return std::fread(base, 1, size_t(room), f);
    long start = std::ftell(f);
    if (start < 0) return std::fread(base, 1, size_t(room), f);
    const int fd = fileno(f);
    uint64_t half = (room / 2) & ~uint64_t(4095);
    uint64_t second = 0;
    std::thread other([&] { second = read_at(fd, base + half, room - half, off_t(start) + off_t(half)); });
    uint64_t first = read_at(fd, base, half, off_t(start));
    other.join();
    // Bytes behind a short first half are not the file's next bytes.
    uint64_t got = first < half ? first : half + second;
    if (std::fseek(f, start + long(got), SEEK_SET) != 0) return 0;
    return got;
}

// pcap records have the same size on disk and in memory, so the body is read in
// one piece to the block's record area and the headers are then fixed in place
// (the wire length becomes back link, flags and spare). The outcome is the one of
// reading record by record: header, wire length, fit test, frame bytes.
std::string read_pcap(std::FILE* f, PcapForm form, FrameStore& store, uint64_t room, int32_t& link_type) {
    uint8_t head[PCAP_HEADER];
    size_t h = std::fread(head, 1, sizeof head, f);
    link_type = h == sizeof head ? int32_t(form.get(head + 20)) : 1;
    if (h < sizeof head) return "";
    bool convert = form.swapped || form.nano;

    uint8_t* base = store.block() + STORE_HEAD;
    uint64_t got = room ? read_body(f, base, room) : 0;
    bool full = got == room;  // the file may go on behind the block
    uint64_t p = 0;
    uint32_t n = 0, back = 0;
    std::string msg;
    // The walk over the headers makes the offset table on the way.
    std::vector<uint64_t> offsets;
    offsets.reserve(size_t(std::min<uint64_t>(got / 64 + 16, uint64_t(1) << 26)));
    for (;;) {
        if (p + LEGACY_RECORD_HEADER > got) {
            // p can lie past got only after a zero-length record whose wire
            // length was cut short; the file has ended then.
            uint64_t have = got > p ? got - p : 0;
            if (full && p <= got) {
                uint8_t rest[LEGACY_RECORD_HEADER];
                have += std::fread(rest, 1, size_t(p + LEGACY_RECORD_HEADER - got), f);
            }
            if (have > 0 && have < LEGACY_RECORD_HEADER) msg = header_read_error(n + 1);
            // else: the end of the file, or a header reaching past the block, whose
            // record cannot fit.
            break;
        }
        uint8_t* r = base + p;
        if (convert) {
            // Nanoseconds are truncated to microseconds, as every time is kept.
            uint32_t sub = form.get(r + 4);
            store32(r, form.get(r));
            store32(r + 4, form.nano ? sub / 1000 : sub);
            store32(r + 8, form.get(r + 8));
        }
        uint32_t len = record_length(r);
        uint64_t size = uint64_t(RECORD_HEADER) + len;
        if (size > MAX_RECORD_SIZE || p + size > room) {
            // The file ended before the block did, so the record is cut short
            // rather than too large for the store (which is sized by the file).
            if (size <= MAX_RECORD_SIZE && !full && p + size > got) msg = data_read_error(n + 1);
            break;
        }
        // A fitting record lies inside the part read, so got tells whether the file
        // holds it; a zero-length record needs no frame bytes even when its wire
        // length is cut short.
        if (p + size > got && len != 0) {
            msg = data_read_error(n + 1);
            break;
        }
        set_record_back_link(r, back);
        set_record_flags(r, 0);
        offsets.push_back(p);
        back = uint32_t(size);
        p += size;
        ++n;
    }
    if (!msg.empty()) return msg;
    store.set_used_bytes(p);
    store.set_frame_count(n);
    if (offsets.capacity() > offsets.size() + offsets.size() / 4) offsets.shrink_to_fit();
    store.adopt_index(std::move(offsets));
    return "";
}

std::string read_legacy(std::FILE* f, CaptureKind kind, FrameStore& store, uint64_t room, int32_t& link_type) {
    uint8_t head[16];
    // A short header leaves nothing to read; the record loop then sees the end.
    (void)std::fread(head, 1, kind == CaptureKind::Legacy1 ? 14 : 16, f);
    link_type = 1;
    uint8_t* base = store.block() + STORE_HEAD;
    uint64_t p = 0;
    uint32_t n = 0, back = 0;
    for (;;) {
        uint8_t h[LEGACY_RECORD_HEADER];
        size_t k = std::fread(h, 1, sizeof h, f);
        if (k == 0) break;
        if (k < sizeof h) return header_read_error(n + 1);
        uint32_t len = load32(h + 8);
        uint64_t size = uint64_t(RECORD_HEADER) + len;
        if (size > MAX_RECORD_SIZE || p + size > room) break;
        uint8_t* r = base + p;
        write_record_header(r, load32(h), load32(h + 4), len, back, 0);
        if (len && std::fread(record_bytes(r), 1, len, f) != len) return data_read_error(n + 1);
        back = uint32_t(size);
        p += size;
        ++n;
    }
    store.set_used_bytes(p);
    store.set_frame_count(n);
    return "";
}

// Buffered writing straight to a descriptor, so that the number of bytes that
// reached the file is known when a write fails and the message can name the part
// of the file that was lost.
class DescriptorWriter {
public:
    static constexpr size_t CHUNK = 256 * 1024;
    // expected: what the caller will write at most. A small file gets a buffer of
    // its own size: a full chunk would be fresh memory (and page faults) for each
    // save of a few frames.
    DescriptorWriter(int fd, uint64_t expected)
        : fd_(fd), size_(size_t(std::clamp<uint64_t>(expected, 1, CHUNK))),
          buf_(new (std::nothrow) uint8_t[size_]) {}
    bool put(const void* data, size_t n) {
        if (failed_) return false;
        if (!buf_) return write_all(static_cast<const uint8_t*>(data), n);
        if (used_ + n > size_ && !flush()) return false;
        if (n >= size_) return write_all(static_cast<const uint8_t*>(data), n);
        std::memcpy(buf_.get() + used_, data, n);
        used_ += n;
        return true;
    }
    bool flush() {
        if (failed_) return false;
        size_t n = used_;
        used_ = 0;
        return write_all(buf_.get(), n);
    }
    uint64_t written() const { return written_; }

private:
    bool write_all(const uint8_t* p, size_t n) {
        while (n > 0) {
            ssize_t k = ::write(fd_, p, n);
            if (k < 0 && errno == EINTR) continue;
            if (k <= 0) {
                failed_ = true;
                return false;
            }
            p += k;
            n -= size_t(k);
            written_ += uint64_t(k);
        }
        return true;
    }
    int fd_;
    size_t size_;
    std::unique_ptr<uint8_t[]> buf_;
    size_t used_ = 0;
    uint64_t written_ = 0;
    bool failed_ = false;
};

// The message for a write that stopped after `written` bytes: the part holding the
// first byte that did not reach the file. A failure after the last byte (flush,
// sync, close) is charged to the last part written.
std::string write_failure(uint64_t written, const FrameStore& store, bool marked_only) {
    const char* header = "ERROR : Frame header(Frame=%u) can't writed.  ";
    const char* data = "ERROR : Frame data(Frame=%u) can't writed.  ";
    if (written < PCAP_HEADER) return "ERROR : File header can't writed.  ";
    uint64_t off = PCAP_HEADER;
    const char* last = nullptr;
    uint32_t last_frame = 0;
    const uint8_t* r = store.first();
    for (uint32_t i = 0; r && i < store.frame_count(); ++i, r = store.next(r, i)) {
        if (marked_only && !(record_flags(r) & 1)) continue;
        uint32_t len = record_length(r);
        if (written < off + RECORD_HEADER) return textf(header, i + 1);
        off += RECORD_HEADER;
        if (written < off + len) return textf(data, i + 1);
        off += len;
        last = len ? data : header;
        last_frame = i + 1;
    }
    if (!last) return "ERROR : File header can't writed.  ";
    return textf(last, last_frame);
}

std::string directory_of(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::atomic<unsigned> temp_counter{0};

}  // namespace

std::string MemoryErrorText(const std::string& path, int64_t size) {
    return textf("ERROR : Memory for %s (%lld bytes) can't allocated.  ", path.c_str(), (long long)size);
}

namespace {

// A capture file open for reading. The header reads go through pread on the
// descriptor, so the stream that later reads the body has seen no I/O and can
// still be given a buffer, which must outlive the stream.
struct InputFile {
    std::unique_ptr<char[]> buffer;
    std::FILE* f;
    explicit InputFile(const std::string& path) : f(std::fopen(path.c_str(), "rb")) {}
    ~InputFile() {
        if (f) std::fclose(f);
    }
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    size_t read_head(uint8_t* to, size_t want) const { return size_t(read_at(fileno(f), to, want, 0)); }
};

CaptureKind identify(const InputFile& in) {
    uint8_t h[PCAP_HEADER];
    size_t n = in.read_head(h, sizeof h);
    if (n < sizeof h) return CaptureKind::NotCapture;
    if (std::memcmp(h, "abcdefg", 8) == 0) return CaptureKind::Legacy1;
    if (std::memcmp(h, "abcdev2", 8) == 0) return CaptureKind::Legacy2;
    if (IsPcapNgStart(h, n)) return CaptureKind::PcapNg;
    uint32_t magic = load32(h);
    bool swapped = magic == __builtin_bswap32(PCAP_MAGIC) || magic == __builtin_bswap32(PCAP_NANO_MAGIC);
    uint16_t major = swapped ? __builtin_bswap16(load16(h + 4)) : load16(h + 4);
    uint16_t minor = swapped ? __builtin_bswap16(load16(h + 6)) : load16(h + 6);
    if (major != 2 || minor != 4) return CaptureKind::NotCapture;
    if (magic == PCAP_MAGIC) return CaptureKind::Pcap;
    if (magic == PCAP_NANO_MAGIC) return CaptureKind::PcapNano;
    if (magic == __builtin_bswap32(PCAP_MAGIC)) return CaptureKind::PcapSwapped;
    if (magic == __builtin_bswap32(PCAP_NANO_MAGIC)) return CaptureKind::PcapNanoSwapped;
    return CaptureKind::NotCapture;
}

// in is needed only for the older formats, whose frame count is in the header.
int64_t load_size(const InputFile* in, CaptureKind kind, int64_t file_length) {
    if (file_length < 0) return -1;
    // A libpcap record is as long in memory as on disk; a pcapng packet block is
    // longer than the record made of it, and the section header outweighs the
    // store's head.
    if (kind == CaptureKind::Pcap || kind == CaptureKind::PcapSwapped || kind == CaptureKind::PcapNano ||
        kind == CaptureKind::PcapNanoSwapped || kind == CaptureKind::PcapNg)
        return file_length;
    if (kind != CaptureKind::Legacy1 && kind != CaptureKind::Legacy2) return -1;
    if (!in || !in->f) return -1;
    uint8_t h[16];
    size_t want = kind == CaptureKind::Legacy1 ? 14 : 16;
    if (in->read_head(h, want) < want) return -1;
    uint64_t frames = kind == CaptureKind::Legacy1 ? load16(h + 8) : load32(h + 12);
    // The file cannot hold more frames than 12-byte headers fit into it; an
    // overstated count would only ask for memory that is never used.
    uint64_t most = uint64_t(file_length) > want ? (uint64_t(file_length) - want) / LEGACY_RECORD_HEADER : 0;
    // The store's head may be longer than the file's (16 bytes against 14).
    int64_t head = STORE_HEAD > want ? int64_t(STORE_HEAD - want) : 0;
    return file_length + int64_t(4 * std::min(frames, most)) + head;
}

// in's stream has seen no I/O yet; file_length is the file's size, or -1 when
// not known yet.
std::string read_capture(InputFile& in, const std::string& path, CaptureKind kind, FrameStore& store,
                         uint64_t capacity, int64_t file_length, int32_t& link_type, std::string* notice) {
    std::FILE* f = in.f;
    if (!store.present()) return MemoryErrorText(path, int64_t(capacity));
    store.clear();
    // Never trust the caller's capacity beyond the block that is really there.
    uint64_t room = std::min<uint64_t>(capacity, store.capacity());
    room = room > STORE_HEAD ? room - STORE_HEAD : 0;
    std::string msg;
    struct stat st;
    if (file_length < 0 && ::fstat(fileno(f), &st) == 0) file_length = int64_t(st.st_size);
    const uint64_t size = file_length > 0 ? uint64_t(file_length) : 0;
    // A buffer of our own: the library would first ask the kernel for the file's
    // block size to make one (and ignores a size given without a buffer). The
    // pcapng block reader asks for many small pieces; a large buffer keeps them
    // off the kernel.
    const size_t buffer = kind == CaptureKind::PcapNg && size > 64 * 1024 ? size_t(1) << 20 : 4096;
    in.buffer.reset(new char[buffer]);
    std::setvbuf(f, in.buffer.get(), _IOFBF, buffer);
    if (kind == CaptureKind::PcapNg) {
        std::string said;
        ReadPcapNg(f, path, size, store, room, link_type, said);
        if (notice) *notice = said;
    } else if (kind == CaptureKind::Legacy1 || kind == CaptureKind::Legacy2) {
        msg = read_legacy(f, kind, store, room, link_type);
    } else {
        msg = read_pcap(f, pcap_form(kind), store, room, link_type);
    }
    if (!msg.empty()) store.clear();
    // A reader that made the offset table leaves it; any other table is stale.
    if (!store.indexed()) store.invalidate_index();
    return msg;
}

}  // namespace

CaptureKind IdentifyCaptureFile(const std::string& path) {
    InputFile in(path);
    return in.f ? identify(in) : CaptureKind::NotCapture;
}

int64_t CaptureFileLoadSize(const std::string& path, CaptureKind kind, int64_t file_length) {
    if (kind != CaptureKind::Legacy1 && kind != CaptureKind::Legacy2) return load_size(nullptr, kind, file_length);
    InputFile in(path);
    return load_size(&in, kind, file_length);
}

std::string ReadCaptureFile(const std::string& path, CaptureKind kind, FrameStore& store, uint64_t capacity,
                            int32_t& link_type, std::string* notice) {
    if (notice) notice->clear();
    if (kind == CaptureKind::NotCapture || int(kind) > int(CaptureKind::PcapNg)) return NOT_CAPTURE_TEXT;
    InputFile in(path);
    if (!in.f) return textf("ERROR : %s can't opened.  ", path.c_str());
    return read_capture(in, path, kind, store, capacity, -1, link_type, notice);
}

std::string WriteCaptureFile(const std::string& path, const FrameStore& store, int32_t link_type,
                             bool marked_only) {
    const std::string created_error = textf("ERROR : %s can't created.  ", path.c_str());
    // A regular file (or nothing) at path is replaced only once the new file is
    // complete: the frames go to a temporary file beside it first. Anything else
    // (a device, a pipe) is written directly; renaming over it would replace it.
    std::string target = path;
    struct stat st;
    bool exists = ::lstat(path.c_str(), &st) == 0;
    const bool link = exists && S_ISLNK(st.st_mode);
    if (link) exists = ::stat(path.c_str(), &st) == 0;  // what the link names
    bool direct = exists && !S_ISREG(st.st_mode);
    std::string temp;
    int fd = -1;
    if (direct) {
        fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    } else {
        if (exists && link) {
            // Replace the file the link names, not the link.
            if (char* real = ::realpath(path.c_str(), nullptr)) {
                target = real;
                std::free(real);
            }
        }
        std::string dir = directory_of(target);
        for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
            temp = textf("%s/.zelpan-%ld-%u.tmp", dir.c_str(), long(::getpid()), temp_counter++);
            fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0 && errno != EEXIST) break;
        }
        if (fd >= 0 && exists) (void)::fchmod(fd, st.st_mode & 07777);
    }
    if (fd < 0) return created_error;

    auto fail = [&](const std::string& msg) {
        ::close(fd);
        if (!direct) ::unlink(temp.c_str());
        return msg;
    };

    // Records are as long in the file as in the store.
    DescriptorWriter out(fd, PCAP_HEADER + store.used_bytes());
    uint8_t h[PCAP_HEADER];
    pcap_global_header(h, link_type);
    bool ok = out.put(h, sizeof h);
    const uint8_t* r = store.first();
    for (uint32_t i = 0; ok && r && i < store.frame_count(); ++i, r = store.next(r, i)) {
        if (marked_only && !(record_flags(r) & 1)) continue;
        pcap_record_header(h, r);
        ok = out.put(h, RECORD_HEADER) && out.put(record_bytes(r), record_length(r));
    }
    ok = ok && out.flush();
    // Space that is short shows at the latest when the data is forced to the disk.
    if (ok && !direct) ok = ::fsync(fd) == 0;
    if (!ok) return fail(write_failure(out.written(), store, marked_only));
    int closed = ::close(fd);
    if (closed != 0) {
        if (!direct) ::unlink(temp.c_str());
        return write_failure(out.written(), store, marked_only);
    }
    if (!direct && ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return created_error;
    }
    return "";
}

std::string LoadCaptureFile(const std::string& path, FrameStore& store, int32_t& link_type, std::string* notice) {
    if (notice) notice->clear();
    // One open for the identification, the size and the read.
    InputFile in(path);
    if (!in.f) return textf("%s can't opened.  ", path.c_str());
    struct stat st;
    int64_t length = ::fstat(fileno(in.f), &st) == 0 ? int64_t(st.st_size) : -1;
    CaptureKind kind = identify(in);
    if (kind == CaptureKind::NotCapture) return NOT_CAPTURE_TEXT;
    int64_t size = load_size(&in, kind, length);
    if (size <= 0) return textf("ERROR : %s can't readed.  ", path.c_str());
    if (!store.allocate(uint64_t(size))) return MemoryErrorText(path, size);
    return read_capture(in, path, kind, store, uint64_t(size), length, link_type, notice);
}

// ---- automatic saving ----

AutoSaveState::~AutoSaveState() { close(); }

void AutoSaveState::close() {
    if (file) std::fclose(static_cast<std::FILE*>(file));
    file = nullptr;
}

std::string AutoSaveName(int name_form, unsigned sequence, int year, int month, int day, int hour, int minute,
                         int second) {
    char name[96];
    switch (name_form) {
    case 1:
        std::snprintf(name, sizeof name, "%02u%02u%04X.zlc", unsigned(month), unsigned(day), sequence);
        break;
    case 2:
        std::snprintf(name, sizeof name, "%04lu%02u%02u_%02lu%02lu%02lu-%02X.zlc", (unsigned long)year,
                      unsigned(month), unsigned(day), (unsigned long)hour, (unsigned long)minute,
                      (unsigned long)second, sequence);
        break;
    default:
        std::snprintf(name, sizeof name, "%02lu%02lu%02lu%02X.zlc", (unsigned long)hour, (unsigned long)minute,
                      (unsigned long)second, sequence);
        break;
    }
    return name;
}

bool AppendAutoSaveFrame(AutoSaveState& state, int mode, uint32_t seconds, uint32_t microseconds,
                         const uint8_t* bytes, uint32_t length, int32_t link_type) {
    if (mode < 1 || (length && !bytes)) return false;
    std::FILE* f = static_cast<std::FILE*>(state.file);
    if (mode == 1) {
        state.close();
        std::time_t now = std::time(nullptr);
        std::tm local{};
        if (!::localtime_r(&now, &local)) return false;
        int form = state.name_form >= 0 && state.name_form <= 2 ? state.name_form : 0;
        std::string name = AutoSaveName(form, state.sequence, local.tm_year + 1900, local.tm_mon + 1,
                                        local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
        const std::string& dir = state.directory.empty() ? std::string(".") : state.directory;
        if (dir.size() + name.size() + 8 <= 1024) state.current_path = dir + "/" + name;
        else state.current_path = "./" + name;
        state.sequence = form == 1 ? state.sequence + 1 : (state.sequence + 1) & 0xFF;
        f = std::fopen(state.current_path.c_str(), "wb");
        if (!f) return false;
        // Unbuffered: a failed frame is cut off again below, and nothing may be left
        // in a buffer to reach the file after that.
        std::setvbuf(f, nullptr, _IONBF, 0);
        uint8_t h[PCAP_HEADER];
        pcap_global_header(h, link_type);
        if (std::fwrite(h, 1, sizeof h, f) != sizeof h) {
            std::fclose(f);
            return false;
        }
        state.file = f;
    } else if (!f) {
        if (state.current_path.empty()) return false;
        f = std::fopen(state.current_path.c_str(), "r+b");
        if (!f) return false;
        std::setvbuf(f, nullptr, _IONBF, 0);
        if (std::fseek(f, 0, SEEK_END) != 0) {
            std::fclose(f);
            return false;
        }
        state.file = f;
    }
    long before = std::ftell(f);
    uint8_t h[RECORD_HEADER];
    store32(h, seconds);
    store32(h + 4, microseconds);
    store32(h + 8, length);
    store32(h + 12, length);
    bool ok = std::fwrite(h, 1, sizeof h, f) == sizeof h &&
              (length == 0 || std::fwrite(bytes, 1, length, f) == length) && std::fflush(f) == 0;
    if (!ok) {
        // A record cut short would make the whole file unreadable; the frames
        // before it stay loadable.
        if (before >= 0) (void)::ftruncate(fileno(f), off_t(before));
        state.close();
        return false;
    }
    return true;
}

std::string StartupDirectory() {
    char buf[4096];
    if (!::getcwd(buf, sizeof buf)) return ".";
    if (std::strlen(buf) > 976) return ".";
    return buf;
}

}  // namespace zelpan
