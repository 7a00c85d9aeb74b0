#include "store/text_export.h"

#include "store/decode_passes.h"

#include <algorithm>
#include <memory>
#include <unistd.h>

namespace zelpan {

namespace {

constexpr size_t CHUNK = 64 * 1024;
constexpr int MAX_INDENT = 31;
constexpr int DUMP_WIDTH = 16;
constexpr int CHAR_COLUMN = 39;

// Bytes 32..126 are shown as themselves. Bytes 128..255 are shown as "." too: the
// file carries no character set of its own and a lone high byte would be half a
// character in any multi-byte one.
char shown(uint8_t b) { return b >= 32 && b <= 126 ? char(b) : '.'; }

// Writes one dump line for n (1..16) bytes into out (at least 55 characters) and
// returns its length: blanks, four groups of hex digits at 2, 11, 20 and 29, the
// characters from 39. The line ends after its last character.
int dump_line(char* out, const uint8_t* bytes, int n) {
    static const char digits[] = "0123456789ABCDEF";
    n = std::clamp(n, 0, DUMP_WIDTH);
    if (n == 0) return 0;
    std::fill(out, out + CHAR_COLUMN + n, ' ');
    for (int j = 0; j < n; ++j) {
        char* d = out + 2 + (j / 4) * 9 + (j % 4) * 2;
        d[0] = digits[bytes[j] >> 4];
        d[1] = digits[bytes[j] & 15];
        out[CHAR_COLUMN + j] = shown(bytes[j]);
    }
    return CHAR_COLUMN + n;
}

}  // namespace

TextFileWriter::~TextFileWriter() { close(); }

bool TextFileWriter::create(const std::string& path) {
    close();
    failed_ = false;
    committed_ = 0;
    buf_.clear();
    f_ = std::fopen(path.c_str(), "wb");
    if (!f_) return false;
    owned_ = true;
    // Our own chunks are the buffering; nothing waits in the C library.
    std::setvbuf(f_, nullptr, _IONBF, 0);
    buf_.reserve(CHUNK + 1024);
    return true;
}

bool TextFileWriter::open_stdout() {
    close();
    failed_ = false;
    committed_ = 0;
    buf_.clear();
    f_ = stdout;
    owned_ = false;
    return true;
}

void TextFileWriter::line(int indent, std::string_view text) {
    if (!f_ || failed_) return;
    buf_.append(size_t(std::clamp(indent, 0, MAX_INDENT)), ' ');
    buf_.append(text);
    buf_.append(newline_);
    if (buf_.size() >= CHUNK) flush_buffer();
}

void TextFileWriter::raw(std::string_view text) {
    if (!f_ || failed_) return;
    if (text.size() >= CHUNK) {
        // A large piece of whole lines goes out without a copy, in chunks that end
        // at a line end, so a failure keeps every whole line written before it.
        if (!flush_buffer()) return;
        while (!text.empty()) {
            size_t n = text.size();
            if (n > CHUNK) {
                size_t end = text.rfind('\n', CHUNK - 1);
                n = end == std::string_view::npos ? CHUNK : end + 1;
            }
            bool ok = std::fwrite(text.data(), 1, n, f_) == n;
            if (ok && !owned_) ok = std::fflush(f_) == 0;
            if (!ok) {
                failed_ = true;
                if (owned_) (void)::ftruncate(fileno(f_), off_t(committed_));
                return;
            }
            committed_ += n;
            text.remove_prefix(n);
        }
        return;
    }
    buf_.append(text);
    if (buf_.size() >= CHUNK) flush_buffer();
}

bool TextFileWriter::flush_buffer() {
    if (!f_ || failed_) return false;
    if (buf_.empty()) return true;
    size_t n = buf_.size();
    bool ok = std::fwrite(buf_.data(), 1, n, f_) == n;
    if (ok && !owned_) ok = std::fflush(f_) == 0;
    buf_.clear();
    if (!ok) {
        failed_ = true;
        // Drop the part of the chunk that got through: the file keeps whole lines.
        if (owned_) (void)::ftruncate(fileno(f_), off_t(committed_));
        return false;
    }
    committed_ += n;
    return true;
}

bool TextFileWriter::close() {
    if (!f_) return !failed_;
    flush_buffer();
    if (owned_) {
        if (std::fclose(f_) != 0) failed_ = true;
    } else if (std::fflush(f_) != 0) {
        failed_ = true;
    }
    f_ = nullptr;
    owned_ = false;
    return !failed_;
}

std::string HexDumpLine(const uint8_t* bytes, int n) {
    char buf[CHAR_COLUMN + DUMP_WIDTH];
    return std::string(buf, size_t(dump_line(buf, bytes, n)));
}

void AppendHexDump(TextFileWriter& out, const uint8_t* bytes, uint32_t length) {
    char buf[CHAR_COLUMN + DUMP_WIDTH];
    for (uint32_t off = 0; off < length; off += DUMP_WIDTH) {
        int n = int(std::min<uint32_t>(DUMP_WIDTH, length - off));
        out.line(0, std::string_view(buf, size_t(dump_line(buf, bytes + off, n))));
    }
}

namespace {

// One range of the export: every exported frame's heading, detail lines and dump,
// gathered in one buffer that goes to the file in one write.
class ExportRange : public RangeWork, LineSink {
public:
    ExportRange(TextFileWriter& out, bool marked_only) : out_(out), marked_only_(marked_only) {}
    void decode(DecodeContext& c, uint32_t first, uint32_t count, const uint8_t* r) override {
        c.exporter = this;
        for (uint32_t i = 0; r && i < count; ++i) {
            c.layer_index = nullptr;
            if (!marked_only_ || (record_flags(r) & 1)) {
                text_.append("Frame No. ");
                char digits[10];
                int n = 0;
                for (uint32_t v = first + i + 1; v; v /= 10) digits[n++] = char('0' + v % 10);
                while (n) text_.push_back(digits[--n]);
                text_.append("\r\n\r\n");
                decode_frame(ROOT_NODE, r, c.link_type, int32_t(first + i + 1));
                text_.append("\r\n\r\n");
                char buf[CHAR_COLUMN + DUMP_WIDTH];
                const uint8_t* bytes = record_bytes(r);
                uint32_t length = record_length(r);
                for (uint32_t off = 0; off < length; off += DUMP_WIDTH) {
                    int k = int(std::min<uint32_t>(DUMP_WIDTH, length - off));
                    text_.append(buf, size_t(dump_line(buf, bytes + off, k)));
                    text_.append("\r\n");
                }
                text_.append("\r\n\r\n");
            }
            // Unexported frames still count for the next frame's lapsed time.
            c.previous_time = record_time(r);
            r += RECORD_HEADER + record_length(r);
        }
        c.exporter = nullptr;
    }
    void line(int indent, std::string_view text) override {
        text_.append(size_t(std::clamp(indent, 0, MAX_INDENT)), ' ');
        text_.append(text);
        text_.append("\r\n");
    }
    void take(uint32_t, uint32_t) override {
        out_.raw(text_);
        text_.clear();
    }
    void reset() override { text_.clear(); }

private:
    TextFileWriter& out_;
    bool marked_only_;
    std::string text_;
};

}  // namespace

std::string ExportFramesAsText(const std::string& path, const FrameStore& store, bool marked_only) {
    TextFileWriter out;
    if (!out.create(path)) return "ERROR : " + path + " can't created.  ";
    DecodeContext& c = ctx();
    c.mode = MODE_TEXT_EXPORT;
    c.export_path = path.c_str();
    c.exporter = nullptr;
    c.layer_index = nullptr;

    out.line(0, path);
    out.raw("\r\n\r\n");
    PassOptions options;
    options.cancelled = [&] { return out.failed(); };
    RunRangePass(c, store, store.frame_count(), [&] { return std::make_unique<ExportRange>(out, marked_only); },
                 options);

    c.mode = MODE_DISPLAY;
    c.exporter = nullptr;
    c.export_path = nullptr;  // pointed into path, which the caller may now drop
    if (!out.close()) return "ERROR : " + path + " can't writed.  ";
    return "";
}

}  // namespace zelpan
