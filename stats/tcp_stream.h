#pragma once
// The data of one TCP connection put together: the frames of the connection are
// found through their layer indexes ("tcp", then "ip" or "ip6"), each direction's
// segments wait in a small queue until the other side acknowledges them, and the
// acknowledged ones are handed out in sequence order, retransmissions dropped.
#include <cstdint>
#include <cstdio>
#include <string>

#include "condition/condition.h"
#include "condition/layer_index.h"
#include "store/frame_store.h"

namespace zelpan {

// What is read from one frame.
struct TcpFrameInfo {
    int32_t ip_version = 0;  // 4 or 6
    uint8_t source[16] = {};
    uint8_t destination[16] = {};
    uint32_t port_pair = 0;  // first four TCP header bytes, as in the frame
    int32_t reversed = 0;
    const uint8_t* record = nullptr;
    const uint8_t* ip_header = nullptr;
    int32_t ip_payload_length = 0;
    const uint8_t* payload = nullptr;
    int32_t payload_length = 0;
    int32_t payload_offset = 0;  // from the start of the frame record
    uint32_t sequence = 0;
    uint32_t acknowledgement = 0;
};

constexpr int STREAM_QUEUE_SIZE = 32;
constexpr int STREAM_BATCH_SIZE = 32;

struct PendingSegment {
    uint32_t sequence;
    uint32_t acknowledgement;
    bool released;
    int32_t frame_index;
    int32_t direction;  // 0 the reference frame's direction, 1 the other
    const uint8_t* record;
    const uint8_t* payload;
    int32_t payload_length;
    int32_t payload_offset;
};

struct DirectionQueue {
    int32_t count = 0;
    uint32_t last_ack = 0;  // last acknowledgement seen from the other side, 0 none
    PendingSegment segments[STREAM_QUEUE_SIZE];
    // Not part of the release rules: the end of the data already handed out, so
    // that a copy of it arriving later cannot sit in the queue for ever.
    bool delivered = false;
    uint32_t delivered_end = 0;
};

struct StreamChunk {
    int32_t frame_index;
    int32_t direction;
    const uint8_t* record;
    const uint8_t* payload;
    int32_t payload_length;
    int32_t payload_offset;
};

// Source choices of the dialog's combo.
constexpr int STREAM_ALL = 0;
constexpr int STREAM_SOURCE = 1;       // data sent from the reference frame's source
constexpr int STREAM_DESTINATION = 2;  // data sent from its destination

// Where emitted chunks go (the text, the save file, the marks).
class StreamOutput {
public:
    virtual ~StreamOutput() = default;
    virtual void chunk(const StreamChunk& c) = 0;
};

// Reads frame i; false when it has no "tcp" layer with readable sequence numbers
// or no IP layer.
bool ReadTcpFrame(const FrameStore& store, const LayerIndexList& index, uint32_t i, TcpFrameInfo& out);
// 0: the direction of reference, 1: the opposite one, -1: another connection.
int ConnectionDirection(const TcpFrameInfo& frame, const TcpFrameInfo& reference);
// The reference's source (which 1) or destination (which 2) address text.
std::string StreamAddressText(const TcpFrameInfo& reference, int which);

class TcpStreamBuilder {
public:
    TcpStreamBuilder(const FrameStore& store, const LayerIndexList& index) : store_(store), index_(index) {}

    // One build for the connection of frame reference over rows list rows: the
    // first build finds the connection's first frame; later ones walk up to the
    // last connection frame the previous one found. False (nothing emitted) when
    // the reference frame is not TCP over IP.
    bool Build(int32_t reference, int32_t rows, int choice, StreamOutput& out);

    const TcpFrameInfo& reference() const { return reference_; }
    int32_t first_frame() const { return first_frame_; }
    int32_t last_frame() const { return last_frame_; }
    uint32_t payload_total() const { return payload_total_; }
    uint32_t captured_total() const { return captured_total_; }
    // The ﾊﾞｲﾄ数 field: "%u(%u)".
    std::string ByteCountText() const;

    // The pieces of a build, public for the tests.
    void Reset(int choice);
    void AddSegment(const TcpFrameInfo& s, int32_t frame_index, int direction);
    void Flush(uint32_t last_ack);
    void Emit(StreamOutput& out);
    const DirectionQueue& queue(int d) const { return queues_[d]; }
    int32_t batch_count() const { return batch_count_; }
    const StreamChunk& batch(int k) const { return batch_[k]; }

private:
    void Release(int d);

    const FrameStore& store_;
    const LayerIndexList& index_;
    TcpFrameInfo reference_;
    int32_t first_frame_ = -1;
    int32_t last_frame_ = 0;
    int choice_ = STREAM_ALL;
    uint32_t payload_total_ = 0, captured_total_ = 0;
    DirectionQueue queues_[2];
    StreamChunk batch_[STREAM_BATCH_SIZE];
    int32_t batch_count_ = 0;
};

// Appends a chunk as text lines: printable bytes as themselves, others as ".";
// once a printable byte was seen in the chunk an LF ends a line ("." at its end)
// and a CR LF too (".."); "%05d : %s%s" lines with the frame number, each followed
// by eol, and the rest after the last line end as one more line.
void AppendStreamText(const StreamChunk& c, std::string& out, const char* eol = "\r\n");

// Writes chunk payloads to a file: the first chunk of a save opens it emptied.
class StreamFileWriter : public StreamOutput {
public:
    explicit StreamFileWriter(std::string path) : path_(std::move(path)) {}
    ~StreamFileWriter() override;
    // Creates (empties) the file before the build, so that a stream with nothing
    // to show leaves an empty file rather than an old one.
    bool open();
    void chunk(const StreamChunk& c) override;
    // "" when every byte was written and the file closed, else the message.
    std::string finish();

private:
    std::string path_;
    std::FILE* f_ = nullptr;
    bool failed_ = false;
};

}  // namespace zelpan
