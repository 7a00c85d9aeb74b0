// summary, detail and export-text: the decode passes of the window, headless.
// The passes run over ranges of frames on every core; each range's text is
// written in one piece, in frame order.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "store/decode_passes.h"
#include "store/text_export.h"

namespace zcli {

namespace {

// The record after r; the pass gives each range its count, so no end test here.
const uint8_t* store_next(const uint8_t* r) { return r + zelpan::RECORD_HEADER + zelpan::record_length(r); }

// Appends v in decimal.
void append_number(std::string& out, uint32_t v) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = char('0' + v % 10);
        v /= 10;
    } while (v);
    while (n) out.push_back(digits[--n]);
}

// Writes each range's text to stdout; a failed write ends the pass.
struct StdoutRanges {
    bool failed = false;
    void write(const std::string& text) {
        if (!failed && !text.empty() && std::fwrite(text.data(), 1, text.size(), stdout) != text.size())
            failed = true;
    }
};

// A range whose text gathers in one buffer and goes to stdout when taken.
class StdoutRange : public zelpan::RangeWork {
public:
    explicit StdoutRange(StdoutRanges& out) : out_(out) {}
    void take(uint32_t, uint32_t) override {
        out_.write(text_);
        text_.clear();
    }
    void reset() override { text_.clear(); }

protected:
    StdoutRanges& out_;
    std::string text_;
};

// A range of summary lines: number, then columns 1 to 5, tab-separated.
class SummaryRange : public StdoutRange {
public:
    using StdoutRange::StdoutRange;
    void decode(zelpan::DecodeContext& c, uint32_t first, uint32_t count, const uint8_t* r) override {
        for (uint32_t i = 0; r && i < count; ++i) {
            uint32_t index = first + i;
            zelpan::clear_columns(c, long(index));
            zelpan::decode_frame(0, r, c.link_type, int32_t(index + 1));
            append_number(text_, index + 1);
            for (int k = 1; k <= 5; ++k) {
                text_.push_back('\t');
                text_.append(c.columns[k]);
            }
            text_.push_back('\n');
            r = store_next(r);
        }
    }
};

int run_summary(const Args& args) {
    if (args.size() != 1) return usage_error(summary_command, "one capture file expected");
    Loaded f;
    if (!load(args[0], f)) return EXIT_FILE;
    zelpan::DecodeContext& c = f.context;
    c.mode = zelpan::MODE_DISPLAY;
    StdoutRanges out;
    zelpan::PassOptions options;
    options.cancelled = [&] { return out.failed; };
    zelpan::RunRangePass(c, f.store, f.store.frame_count(), [&] { return std::make_unique<SummaryRange>(out); },
                         options);
    return !out.failed && std::fflush(stdout) == 0 ? EXIT_OK : EXIT_FILE;
}

// A range of detail lines of the selected frames, gathered in one buffer.
class DetailRange : public StdoutRange, zelpan::LineSink {
public:
    DetailRange(StdoutRanges& out, const std::vector<bool>& selected) : StdoutRange(out), selected_(selected) {}
    void decode(zelpan::DecodeContext& c, uint32_t first, uint32_t count, const uint8_t* r) override {
        c.exporter = this;
        for (uint32_t i = 0; r && i < count; ++i) {
            uint32_t index = first + i;
            if (selected_[index]) zelpan::decode_frame(zelpan::ROOT_NODE, r, c.link_type, int32_t(index + 1));
            c.previous_time = zelpan::record_time(r);
            r = store_next(r);
        }
        c.exporter = nullptr;
    }
    void line(int indent, std::string_view text) override {
        text_.append(size_t(indent > 0 ? indent : 0), ' ');
        text_.append(text);
        text_.push_back('\n');
    }

private:
    const std::vector<bool>& selected_;
};

int run_detail(const Args& args) {
    if (args.empty()) return usage_error(detail_command, "a capture file expected");
    std::vector<long> wanted;
    for (size_t i = 1; i < args.size(); ++i) {
        char* end = nullptr;
        errno = 0;
        long v = std::strtol(args[i].c_str(), &end, 10);
        if (args[i].empty() || *end || errno || v < 1)
            return usage_error(detail_command, "'" + args[i] + "' is not a frame number");
        wanted.push_back(v);
    }
    Loaded f;
    if (!load(args[0], f)) return EXIT_FILE;
    uint32_t n = f.store.frame_count();
    std::vector<bool> selected(n, wanted.empty());
    for (long v : wanted) {
        if (uint64_t(v) > n) {
            std::fprintf(stderr, "zelpan-cli detail: there is no frame %ld (the file holds %u)\n", v, n);
            return 1;
        }
        selected[size_t(v - 1)] = true;
    }
    // Every frame from frame 1 is walked, as the text export walks them, so the
    // state carried from frame to frame is the same.
    zelpan::DecodeContext& c = f.context;
    c.mode = zelpan::MODE_TEXT_EXPORT;
    StdoutRanges out;
    zelpan::PassOptions options;
    options.cancelled = [&] { return out.failed; };
    zelpan::RunRangePass(c, f.store, n, [&] { return std::make_unique<DetailRange>(out, selected); }, options);
    c.mode = zelpan::MODE_DISPLAY;
    return !out.failed && std::fflush(stdout) == 0 ? EXIT_OK : EXIT_FILE;
}

int run_export_text(const Args& args) {
    if (args.size() != 2) return usage_error(export_text_command, "a capture file and an output file expected");
    Loaded f;
    if (!load(args[0], f)) return EXIT_FILE;
    zelpan::make_current(&f.context);
    f.context.mode = zelpan::MODE_DISPLAY;
    std::string msg = zelpan::ExportFramesAsText(args[1], f.store, false);
    zelpan::make_current(nullptr);
    if (!msg.empty()) {
        std::fprintf(stderr, "%s\n", msg.c_str());
        return EXIT_FILE;
    }
    return EXIT_OK;
}

}  // namespace

const Command summary_command = {
    "summary", "summary FILE",
    "one line per frame: number, time, source, destination, protocol, description (tab-separated)",
    run_summary};
const Command detail_command = {
    "detail", "detail FILE [N ...]",
    "the indented detail lines of frames N (all frames when none), in file order", run_detail};
const Command export_text_command = {
    "export-text", "export-text FILE OUT",
    "writes OUT as the text export of all frames (detail lines and hex dumps, CR LF)", run_export_text};

}  // namespace zcli
