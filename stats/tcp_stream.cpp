#include "stats/tcp_stream.h"

#include <algorithm>
#include <cstring>

#include "decode/format.h"

namespace zelpan {

namespace {

// Sequence numbers wrap: a connection may pass from 0xFFFFFFFF to 0, so they are
// compared by their distance (RFC 1982), which equals the plain comparison for any
// two numbers less than 2^31 apart.
bool seq_lt(uint32_t a, uint32_t b) { return int32_t(a - b) < 0; }
bool seq_le(uint32_t a, uint32_t b) { return int32_t(a - b) <= 0; }

uint32_t segment_end(const PendingSegment& s) { return s.sequence + uint32_t(s.payload_length); }

// The three presence conditions, parsed once per thread; evaluation writes into them.
struct Locator {
    ConditionExpression tcp, ip, ip6;
    Locator() {
        ConditionParse p;
        ParseCondition(p, "tcp", VALUE_NUMBER, tcp);
        ParseCondition(p, "ip", VALUE_NUMBER, ip);
        ParseCondition(p, "ip6", VALUE_NUMBER, ip6);
    }
};

}  // namespace

bool ReadTcpFrame(const FrameStore& store, const LayerIndexList& index, uint32_t i, TcpFrameInfo& out) {
    thread_local Locator at;
    FrameLayerIndex ix;
    if (!index.view(i, ix) || !ix.frame) return false;
    if (EvaluateCondition(store, ix, at.tcp) != 1) return false;
    const uint8_t* record = ix.frame;
    Bytes frame(record_bytes(record), int(std::min<uint32_t>(record_length(record), INT32_MAX)));
    Bytes tcp = frame.from(at.tcp.match_offset);
    if (!tcp.has(0, 13)) return false;

    out = TcpFrameInfo{};
    out.record = record;
    out.port_pair = tcp.be32(0);
    out.sequence = tcp.be32(4);
    out.acknowledgement = tcp.be32(8);
    int header = 4 * (tcp.u8(12) >> 4);
    int captured_after = tcp.size() > header ? tcp.size() - header : 0;

    if (EvaluateCondition(store, ix, at.ip) == 1) {
        Bytes ip = frame.from(at.ip.match_offset);
        if (!ip.has(0, 20)) return false;
        out.ip_version = 4;
        out.ip_header = ip.data();
        out.ip_payload_length = int32_t(ip.be16(2)) - 4 * (ip.u8(0) & 0x0F);
        std::memcpy(out.source, ip.at(12), 4);
        std::memcpy(out.destination, ip.at(16), 4);
    } else if (EvaluateCondition(store, ix, at.ip6) == 1) {
        Bytes ip = frame.from(at.ip6.match_offset);
        if (!ip.has(0, 40)) return false;
        out.ip_version = 6;
        out.ip_header = ip.data();
        out.ip_payload_length = ip.be16(4);
        std::memcpy(out.source, ip.at(8), 16);
        std::memcpy(out.destination, ip.at(24), 16);
    } else {
        return false;
    }
    // The IP length leaves out link-layer padding; the capture may hold less.
    int32_t length = std::min(out.ip_payload_length - header, captured_after);
    out.payload_length = std::max(length, 0);
    out.payload = tcp.at(header);
    out.payload_offset = int32_t(out.payload - record);
    return true;
}

int ConnectionDirection(const TcpFrameInfo& f, const TcpFrameInfo& r) {
    if (f.ip_version != r.ip_version || (f.ip_version != 4 && f.ip_version != 6)) return -1;
    size_t n = f.ip_version == 4 ? 4 : 16;
    if (f.port_pair == r.port_pair && std::memcmp(f.source, r.source, n) == 0 &&
        std::memcmp(f.destination, r.destination, n) == 0)
        return 0;
    uint32_t swapped = r.port_pair >> 16 | r.port_pair << 16;
    if (f.port_pair == swapped && std::memcmp(f.source, r.destination, n) == 0 &&
        std::memcmp(f.destination, r.source, n) == 0)
        return 1;
    return -1;
}

std::string StreamAddressText(const TcpFrameInfo& r, int which) {
    const uint8_t* a = which == STREAM_DESTINATION ? r.destination : r.source;
    if (r.ip_version == 4) return ipv4_text(a);
    if (r.ip_version == 6) return ipv6_text(a);
    return {};
}

std::string TcpStreamBuilder::ByteCountText() const {
    char buf[48];
    std::snprintf(buf, sizeof buf, "%u(%u)", payload_total_, captured_total_);
    return buf;
}

void TcpStreamBuilder::Reset(int choice) {
    choice_ = choice;
    payload_total_ = captured_total_ = 0;
    for (DirectionQueue& q : queues_) {
        q.count = 0;
        q.last_ack = 0;
        q.delivered = false;
        q.delivered_end = 0;
    }
    batch_count_ = 0;
}

bool TcpStreamBuilder::Build(int32_t reference, int32_t rows, int choice, StreamOutput& out) {
    TcpFrameInfo r;
    if (reference < 0 || !ReadTcpFrame(store_, index_, uint32_t(reference), r)) return false;
    reference_ = r;
    Reset(choice);

    const int32_t indexed = int32_t(std::min<uint32_t>(index_.size(), INT32_MAX));
    bool started = false;
    const bool first_build = first_frame_ < 0;
    TcpFrameInfo f;
    if (first_build) {
        for (int32_t i = std::min(reference, indexed - 1); i >= 0; --i) {
            if (!ReadTcpFrame(store_, index_, uint32_t(i), f) || ConnectionDirection(f, r) < 0) continue;
            first_frame_ = i;
            if (f.payload_length > 0) started = true;
        }
        if (first_frame_ < 0) first_frame_ = reference;
    }
    int32_t end = first_build ? rows - 1 : last_frame_;
    end = std::min(end, indexed - 1);

    bool any = false;
    uint32_t last_ack = 0;
    for (int32_t i = first_frame_; i <= end; ++i) {
        if (!ReadTcpFrame(store_, index_, uint32_t(i), f)) continue;
        int d = ConnectionDirection(f, r);
        if (d < 0) continue;
        last_frame_ = i;
        any = true;
        last_ack = f.acknowledgement;
        if (!started) {
            if (f.payload_length <= 0) continue;
            started = true;
        }
        AddSegment(f, i, d);
        if (batch_count_) Emit(out);
    }
    if (any) Flush(last_ack);
    Emit(out);
    return true;
}

void TcpStreamBuilder::AddSegment(const TcpFrameInfo& s, int32_t frame_index, int d) {
    DirectionQueue& q = queues_[d];
    if (s.payload_length > 0) {
        uint32_t end = s.sequence + uint32_t(s.payload_length);
        // A copy of data already handed out is never acknowledged again; queued, it
        // would wait for ever and, with 32 of them, shut the direction.
        bool stale = q.delivered && seq_le(end, q.delivered_end);
        if (!stale) {
            if (q.count >= STREAM_QUEUE_SIZE) return;
            q.segments[q.count++] = {s.sequence,     s.acknowledgement, false,           frame_index, d,
                                     s.record,       s.payload,         s.payload_length, s.payload_offset};
        }
    }
    const int o = 1 - d;
    DirectionQueue& p = queues_[o];
    const uint32_t ack = s.acknowledgement;
    if (p.count == 0) {
        p.last_ack = ack;
        return;
    }
    int released = 0;
    if (p.last_ack != 0) {
        const uint32_t a = p.last_ack;
        for (int k = 0; k < p.count; ++k) {
            uint32_t e = segment_end(p.segments[k]);
            if (seq_lt(a, e) && seq_le(e, ack)) p.segments[k].released = true, ++released;
        }
        p.last_ack = ack;
        if (released) Release(o);
        return;
    }
    p.last_ack = ack;
    for (int k = 0; k < p.count; ++k)
        if (seq_le(segment_end(p.segments[k]), ack)) p.segments[k].released = true, ++released;
    if (!released) p.count = 0;
    else Release(o);
}

void TcpStreamBuilder::Flush(uint32_t last_ack) {
    int d;
    if (choice_ != STREAM_DESTINATION && queues_[0].count > 0) d = 0;
    else if (choice_ != STREAM_SOURCE) d = 1;
    else return;
    DirectionQueue& q = queues_[d];
    int released = 0;
    for (int k = 0; k < q.count; ++k) {
        PendingSegment& s = q.segments[k];
        if (seq_lt(last_ack, segment_end(s)) || s.acknowledgement == last_ack) s.released = true, ++released;
    }
    if (released) Release(d);
}

void TcpStreamBuilder::Release(int d) {
    DirectionQueue& q = queues_[d];
    if (batch_count_ + q.count > STREAM_BATCH_SIZE) {
        q.count = 0;
        return;
    }
    PendingSegment taken[STREAM_QUEUE_SIZE];
    int n = 0, kept = 0;
    for (int k = 0; k < q.count; ++k) {
        if (q.segments[k].released) taken[n++] = q.segments[k];
        else q.segments[kept++] = q.segments[k];
    }
    q.count = kept;
    if (!n) return;
    // In sequence order, measured from the lowest taken: the order a reader gets the bytes.
    uint32_t base = taken[0].sequence;
    for (int k = 1; k < n; ++k)
        if (seq_lt(taken[k].sequence, base)) base = taken[k].sequence;
    // At most 32 of them: an insertion sort keeps equal ones in arrival order, as a
    // stable sort does, without the memory std::stable_sort asks for.
    for (int k = 1; k < n; ++k) {
        PendingSegment s = taken[k];
        int j = k;
        for (; j > 0 && s.sequence - base < taken[j - 1].sequence - base; --j) taken[j] = taken[j - 1];
        taken[j] = s;
    }
    const bool discard = (d == 1 && choice_ == STREAM_SOURCE) || (d == 0 && choice_ == STREAM_DESTINATION);
    for (int k = 0; k < n; ++k) {
        const PendingSegment& s = taken[k];
        // A second copy of one sequence number is a retransmission.
        if (k > 0 && s.sequence == taken[k - 1].sequence) continue;
        uint32_t e = segment_end(s);
        if (!q.delivered || seq_lt(q.delivered_end, e)) q.delivered_end = e;
        q.delivered = true;
        if (discard) continue;
        batch_[batch_count_++] = {s.frame_index, s.direction, s.record, s.payload, s.payload_length,
                                  s.payload_offset};
    }
}

void TcpStreamBuilder::Emit(StreamOutput& out) {
    for (int k = 0; k < batch_count_; ++k) {
        const StreamChunk& c = batch_[k];
        payload_total_ += uint32_t(c.payload_length);
        captured_total_ += record_length(c.record);
        out.chunk(c);
    }
    batch_count_ = 0;
}

namespace {

// Each byte as the text shows it: printable ASCII as itself, anything else as ".".
struct ShownBytes {
    char c[256];
    ShownBytes() {
        for (int b = 0; b < 256; ++b) c[b] = b >= 0x20 && b <= 0x7E ? char(b) : '.';
    }
};
const ShownBytes shown_bytes;

bool printable(uint8_t b) { return b >= 0x20 && b <= 0x7E; }

// The first LF or CR in [p + k, p + n), or n.
struct LineEnds {
    const uint8_t* p;
    int32_t n;
    int32_t lf = -1, cr = -1;  // the next of each at or after the last k asked for
    int32_t find(uint8_t c, int32_t k) const {
        const void* q = std::memchr(p + k, c, size_t(n - k));
        return q ? int32_t(static_cast<const uint8_t*>(q) - p) : n;
    }
    int32_t next(int32_t k) {
        if (lf < k) lf = find('\n', k);
        if (cr < k) cr = find('\r', k);
        return std::min(lf, cr);
    }
};

}  // namespace

void AppendStreamText(const StreamChunk& c, std::string& out, const char* eol) {
    char number[24];
    std::snprintf(number, sizeof number, "%05d : ", c.frame_index + 1);
    const uint8_t* p = c.payload;
    const int32_t n = p ? c.payload_length : 0;
    // The text is about as long as the payload: room for that is made once.
    out.reserve(out.size() + size_t(std::max(n, 0)) + std::strlen(number) + std::strlen(eol) + 2);
    bool open = false;  // a line has been started and not ended
    auto begin_line = [&] {
        if (open) return;
        out += number;
        open = true;
    };
    auto end_line = [&](const char* mark) {
        begin_line();
        out += mark;
        out += eol;
        open = false;
    };
    // Until the first printable byte, line ends are dots like any other byte.
    int32_t k = 0;
    bool seen = false;
    for (; k < n && !seen; ++k) {
        begin_line();
        out += shown_bytes.c[p[k]];
        seen = printable(p[k]);
    }
    // Then the bytes between line ends go over as runs.
    LineEnds ends{p, n};
    while (k < n) {
        int32_t stop = ends.next(k);
        if (stop > k) {
            begin_line();
            size_t at = out.size();
            out.append(reinterpret_cast<const char*>(p + k), size_t(stop - k));
            for (char* d = &out[at], *e = d + (stop - k); d != e; ++d) *d = shown_bytes.c[uint8_t(*d)];
            k = stop;
            if (k == n) break;
        }
        if (p[k] == '\n') {
            end_line(".");
            k += 1;
        } else if (k + 1 < n && p[k + 1] == '\n') {
            end_line("..");
            k += 2;
        } else {
            begin_line();  // a CR alone
            out += '.';
            k += 1;
        }
    }
    // The rest after the last line end.
    if (open) out += eol;
}

StreamFileWriter::~StreamFileWriter() {
    if (f_) std::fclose(f_);
}

bool StreamFileWriter::open() {
    if (f_) std::fclose(f_);
    f_ = std::fopen(path_.c_str(), "w+b");
    failed_ = f_ == nullptr;
    return f_ != nullptr;
}

void StreamFileWriter::chunk(const StreamChunk& c) {
    if (!f_ && !failed_) open();
    if (!f_ || failed_ || c.payload_length <= 0) return;
    if (std::fwrite(c.payload, 1, size_t(c.payload_length), f_) != size_t(c.payload_length)) failed_ = true;
}

std::string StreamFileWriter::finish() {
    if (!f_ && !failed_) open();
    bool ok = f_ && !failed_;
    if (f_) {
        if (std::fclose(f_) != 0) ok = false;
        f_ = nullptr;
    }
    if (ok) return {};
    return "ERROR : " + path_ + " can't writed.  ";
}

}  // namespace zelpan
