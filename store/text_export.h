#pragma once
// Frames as indented text: the detail lines of each frame followed by a hex and
// character dump, CR LF line ends.
#include <cstdio>
#include <string>
#include <string_view>

#include "decode/engine.h"
#include "store/frame_store.h"

namespace zelpan {

// Writes whole lines to a file kept open for the export. Each line is written
// completely or not at all as far as the C library allows, and the first failure
// is remembered so the export can report it.
class TextFileWriter : public LineSink {
public:
    explicit TextFileWriter(std::string newline = "\r\n") : newline_(std::move(newline)) {}
    ~TextFileWriter() override;
    // Creates (truncating) the file. Returns false when it cannot be created.
    bool create(const std::string& path);
    bool open_stdout();
    void line(int indent, std::string_view text) override;
    void raw(std::string_view text);  // text without an added line end
    bool close();                      // flushes; false when anything failed
    bool failed() const { return failed_; }

private:
    // Lines gather in buf_ and go out in chunks of whole lines; a chunk that fails
    // is cut off the file again, so the file ends after a complete line.
    bool flush_buffer();
    std::FILE* f_ = nullptr;
    bool owned_ = false;
    bool failed_ = false;
    std::string newline_;
    std::string buf_;
    uint64_t committed_ = 0;  // bytes of whole lines in the file
};

// One dump line (without line end) for up to 16 bytes.
std::string HexDumpLine(const uint8_t* bytes, int n);
void AppendHexDump(TextFileWriter& out, const uint8_t* bytes, uint32_t length);

// Exports the frames of store with the current decode context. Returns "" or the
// message of the failure ("ERROR : %s can't created.  " or a write error).
std::string ExportFramesAsText(const std::string& path, const FrameStore& store, bool marked_only);

}  // namespace zelpan
