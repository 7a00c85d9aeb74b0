// summary, detail and export-text: the decode passes of the window, headless.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include "cli/cli.h"
#include "store/text_export.h"

namespace zcli {

namespace {

// A large stdout buffer: a million-frame summary is written in few system calls.
void buffer_stdout() {
    static char buf[1 << 20];
    std::setvbuf(stdout, buf, _IOFBF, sizeof buf);
}

int run_summary(const Args& args) {
    if (args.size() != 1) return usage_error(summary_command, "one capture file expected");
    Loaded f;
    if (!load(args[0], f)) return EXIT_FILE;
    buffer_stdout();
    zelpan::DecodeContext& c = f.context;
    c.mode = zelpan::MODE_DISPLAY;
    zelpan::make_current(&c);
    const uint8_t* r = f.store.first();
    uint32_t n = f.store.frame_count();
    if (r) c.first_time = c.previous_time = zelpan::record_time(r);
    for (uint32_t i = 0; r && i < n; ++i, r = f.store.next(r, i)) {
        zelpan::clear_columns(c, long(i));
        zelpan::decode_frame(0, r, c.link_type, int32_t(i + 1));
        std::printf("%ld", long(i) + 1);
        for (int k = 1; k <= 5; ++k) {
            std::putchar('\t');
            std::fputs(c.columns[k], stdout);
        }
        std::putchar('\n');
    }
    zelpan::make_current(nullptr);
    return std::fflush(stdout) == 0 ? EXIT_OK : EXIT_FILE;
}

struct StdoutLines : zelpan::LineSink {
    void line(int indent, std::string_view text) override {
        for (int i = 0; i < indent; ++i) std::putchar(' ');
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::putchar('\n');
    }
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
    buffer_stdout();
    StdoutLines sink;
    zelpan::DecodeContext& c = f.context;
    c.mode = zelpan::MODE_TEXT_EXPORT;
    c.exporter = &sink;
    c.layer_index = nullptr;
    zelpan::make_current(&c);
    const uint8_t* r = f.store.first();
    if (r) c.first_time = c.previous_time = zelpan::record_time(r);
    // One pass from frame 1, as the text export walks the frames.
    for (uint32_t i = 0; r && i < n; ++i, r = f.store.next(r, i)) {
        if (selected[i]) zelpan::decode_frame(zelpan::ROOT_NODE, r, c.link_type, int32_t(i + 1));
        c.previous_time = zelpan::record_time(r);
    }
    c.mode = zelpan::MODE_DISPLAY;
    c.exporter = nullptr;
    zelpan::make_current(nullptr);
    return std::fflush(stdout) == 0 ? EXIT_OK : EXIT_FILE;
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
