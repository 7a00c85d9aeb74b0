#pragma once
// Helpers shared by the tests: build frames, decode them in each mode.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "decode/engine.h"

namespace zt {

using Frame = std::vector<uint8_t>;

// Concatenates byte pieces.
Frame cat(std::initializer_list<Frame> parts);
// "00 11 22" or "001122" to bytes.
Frame hex(const std::string& text);

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

}  // namespace zt
