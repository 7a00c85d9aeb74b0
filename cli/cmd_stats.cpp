// stats and stream: the statistics sheet's two pages and the TCP data stream, headless.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "cli/cli.h"
#include "condition/layer_index.h"
#include "stats/distribution.h"
#include "stats/tcp_stream.h"
#include "stats/traffic.h"

namespace zcli {

namespace {

constexpr int EXIT_STREAM = 1;

void buffer_stdout() {
    static char buf[1 << 16];
    std::setvbuf(stdout, buf, _IOFBF, sizeof buf);
}

int finish_output() { return std::fflush(stdout) == 0 ? EXIT_OK : EXIT_FILE; }

int run_stats(const Args& args) {
    const std::string* file = nullptr;
    const std::string* source_text = nullptr;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--source") {
            if (i + 1 >= args.size()) return usage_error(stats_command, "--source needs an address");
            source_text = &args[++i];
        } else if (args[i].size() > 1 && args[i].compare(0, 2, "--") == 0) {
            return usage_error(stats_command, "unknown option " + args[i]);
        } else if (!file) {
            file = &args[i];
        } else {
            return usage_error(stats_command, "one capture file expected");
        }
    }
    if (!file) return usage_error(stats_command, "a capture file expected");
    zelpan::MacAddress source{};
    if (source_text && !zelpan::ParseSourceText(*source_text, source))
        return usage_error(stats_command, "the address is six hex pairs joined by ':'");

    Loaded f;
    if (!load(*file, f)) return EXIT_FILE;
    const int link = f.context.link_type;
    zelpan::TrafficResults traffic = zelpan::ComputeTraffic(f.store, link);
    zelpan::LayerIndexList index;
    zelpan::BuildLayerIndexes(f.context, f.store, index);
    std::vector<zelpan::DistributionEntry>& table = index.distribution();
    zelpan::DistributionTotals totals = source_text
                                            ? zelpan::RecountDistribution(table, f.store, index, link, source)
                                            : zelpan::ResetDistribution(table, f.store);

    buffer_stdout();
    std::printf("Frame\t%s\n", zelpan::TrafficFrameText(traffic).c_str());
    std::printf("Byte\t%s\n", zelpan::TrafficByteText(traffic).c_str());
    std::printf("合計時間\t%s\n", zelpan::SpanText(traffic.span).c_str());
    for (const zelpan::DistributionEntry& e : table) {
        std::array<std::string, 6> t = zelpan::DistributionRowTexts(e, totals.frames);
        std::printf("%s\t%s\t%s\t%s\t%s\t%s\n", t[0].c_str(), t[1].c_str(), t[2].c_str(), t[3].c_str(),
                    t[4].c_str(), t[5].c_str());
    }
    std::printf("ﾌﾚｰﾑ\t%s\n", zelpan::TotalPairText(totals.chosen_frames, totals.frames).c_str());
    std::printf("ﾊﾞｲﾄ\t%s\n", zelpan::TotalPairText(totals.chosen_bytes, totals.bytes).c_str());
    return finish_output();
}

// Prints each text line of a chunk as its direction, a TAB and the line.
class LinePrinter : public zelpan::StreamOutput {
public:
    void chunk(const zelpan::StreamChunk& c) override {
        text_.clear();
        zelpan::AppendStreamText(c, text_, "\n");
        size_t at = 0;
        while (at < text_.size()) {
            size_t end = text_.find('\n', at);
            std::printf("%d\t%.*s\n", c.direction, int(end - at), text_.data() + at);
            at = end + 1;
        }
    }

private:
    std::string text_;
};

int run_stream(const Args& args) {
    std::vector<const std::string*> positional;
    int choice = zelpan::STREAM_ALL;
    const std::string* save = nullptr;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--source") {
            if (i + 1 >= args.size()) return usage_error(stream_command, "--source needs 0, 1 or 2");
            const std::string& v = args[++i];
            if (v != "0" && v != "1" && v != "2") return usage_error(stream_command, "--source is 0, 1 or 2");
            choice = v[0] - '0';
        } else if (a == "--save") {
            if (i + 1 >= args.size()) return usage_error(stream_command, "--save needs a file");
            save = &args[++i];
        } else if (a.size() > 1 && a.compare(0, 2, "--") == 0) {
            return usage_error(stream_command, "unknown option " + a);
        } else {
            positional.push_back(&a);
        }
    }
    if (positional.size() != 2) return usage_error(stream_command, "a capture file and a frame number expected");
    const std::string& number = *positional[1];
    char* rest = nullptr;
    long long n = std::strtoll(number.c_str(), &rest, 10);
    if (number.empty() || *rest || number.find_first_not_of("0123456789") != std::string::npos)
        return usage_error(stream_command, "the frame number is a decimal number from 1");

    Loaded f;
    if (!load(*positional[0], f)) return EXIT_FILE;
    const uint32_t frames = f.store.frame_count();
    if (n < 1 || n > (long long)frames) {
        std::fprintf(stderr, "zelpan-cli stream: frame %s is not in the capture (1-%u)\n", number.c_str(), frames);
        return EXIT_STREAM;
    }
    zelpan::LayerIndexList index;
    zelpan::BuildLayerIndexes(f.context, f.store, index);
    zelpan::TcpFrameInfo probe;
    if (!zelpan::ReadTcpFrame(f.store, index, uint32_t(n - 1), probe)) {
        std::fprintf(stderr, "zelpan-cli stream: frame %lld carries no TCP segment over IP\n", n);
        return EXIT_STREAM;
    }
    zelpan::TcpStreamBuilder builder(f.store, index);
    const int32_t rows = int32_t(std::min<uint32_t>(frames, INT32_MAX));
    if (save) {
        zelpan::StreamFileWriter writer(*save);
        writer.open();
        builder.Build(int32_t(n - 1), rows, choice, writer);
        std::string message = writer.finish();
        if (!message.empty()) {
            std::fprintf(stderr, "%s\n", message.c_str());
            return EXIT_STREAM;
        }
        return EXIT_OK;
    }
    buffer_stdout();
    LinePrinter printer;
    builder.Build(int32_t(n - 1), rows, choice, printer);
    std::printf("ﾊﾞｲﾄ数\t%s\n", builder.ByteCountText().c_str());
    return finish_output();
}

}  // namespace

const Command stats_command = {
    "stats", "stats FILE [--source MAC]",
    "the statistics sheet: Frame, Byte and 合計時間 of the traffic page, then the distribution rows "
    "(for ALL, or for frames from the Ethernet source MAC) and the ﾌﾚｰﾑ and ﾊﾞｲﾄ totals",
    run_stats};
const Command stream_command = {
    "stream", "stream FILE N [--source 0|1|2] [--save OUT]",
    "the TCP data stream of frame N's connection, one line per text line as direction TAB text, then ﾊﾞｲﾄ数; "
    "--source 1 or 2 keeps the data sent by frame N's source or destination; --save writes the payload "
    "bytes to OUT instead (exit 1 when frame N carries no TCP)",
    run_stream};

}  // namespace zcli
