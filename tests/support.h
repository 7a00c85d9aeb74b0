#pragma once
// Helpers shared by the tests: build frames, decode them in each mode.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "decode/engine.h"

namespace zt {

using Frame = std::vector<uint8_t>;

// Concatenates byte pieces.
Frame cat(std::initializer_list<Frame> parts);
// "00 11 22" or "001122" to bytes.
Frame hex(const std::string& text);
// Ethernet II, IPv4, UDP from port 5000 to dport, 4 payload bytes: a frame for searches.
Frame udp_to(uint16_t dport);

// A record (16-byte header + bytes) in a buffer of exactly that size, so that a
// read past the frame is caught by the address sanitizer.
struct Record {
    std::vector<uint8_t> buf;
    Record(const Frame& bytes, uint32_t seconds = 1700000000, uint32_t microseconds = 0);
    const uint8_t* data() const { return buf.data(); }
};

struct Summary {
    std::string col[9];
    std::string line() const;  // columns 1..5 joined by tabs
};

// Decodes one frame in summary mode (frame number 1 unless given).
Summary summarize(const Frame& bytes, int link_type = 1, int frame_number = 1);
// Detail lines as the text export writes them: indentation then text.
std::vector<std::string> detail(const Frame& bytes, int link_type = 1, int frame_number = 1);
// True when some detail line equals text after its indentation is stripped.
bool has_line(const std::vector<std::string>& lines, const std::string& text);
// The display-mode tree of one frame.
void display(zelpan::DetailTree& tree, const Frame& bytes, int link_type = 1, int frame_number = 1);
// Layer index of one frame.
zelpan::FrameLayerIndex layers(const Frame& bytes, int link_type = 1);

// Collects text-export lines as indentation plus text.
struct Lines : zelpan::LineSink {
    std::vector<std::string> out;
    void line(int indent, std::string_view text) override {
        out.push_back(std::string(size_t(indent), ' ') + std::string(text));
    }
};

// Runs one decoder directly on a message placed behind `lead` filler bytes (standing
// for the headers in front of it, so offsets are real positions in the frame). The
// frame ends exactly where the message ends, so the address sanitizer sees any read
// past it. setup() fills in what the lower layers would have left in the context.
using Decoder = void (*)(int32_t, zelpan::Bytes);
class Direct {
public:
    Direct(Decoder d, int lead, std::function<void(zelpan::DecodeContext&)> setup = {})
        : decode_(d), lead_(lead), setup_(std::move(setup)) {}
    zelpan::DecodeContext c;

    Summary summary(const Frame& msg);
    std::vector<std::string> detail(const Frame& msg);
    zelpan::FrameLayerIndex layers(const Frame& msg);
    void tree(zelpan::DetailTree& tree, const Frame& msg);

private:
    void run(int32_t parent, int mode, const Frame& msg);
    Decoder decode_;
    int lead_;
    std::function<void(zelpan::DecodeContext&)> setup_;
    std::unique_ptr<Record> rec_;
};

}  // namespace zt
