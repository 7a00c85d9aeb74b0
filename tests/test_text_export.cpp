// Text export: the dump lines, the file layout byte for byte around the decoder
// lines, marked-only exports, and the failures it reports.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "store/text_export.h"

using namespace zelpan;
namespace fs = std::filesystem;

namespace {

using Bytes8 = std::vector<uint8_t>;

struct TimedFrame {
    uint32_t sec, usec;
    Bytes8 bytes;
};

struct Fixture {
    DecodeContext c;
    FrameStore store;
    std::string dir;
    explicit Fixture(const std::vector<TimedFrame>& frames) {
        char t[] = "/tmp/zelpan-export-XXXXXX";
        dir = ::mkdtemp(t);
        c.mode = MODE_DISPLAY;
        c.link_type = 1;
        make_current(&c);
        uint64_t need = STORE_HEAD;
        for (const auto& f : frames) need += 16 + f.bytes.size();
        store.allocate(uint32_t(need));
        for (const auto& f : frames) store.append(f.sec, f.usec, f.bytes.data(), uint32_t(f.bytes.size()));
    }
    ~Fixture() {
        make_current(nullptr);
        fs::remove_all(dir);
    }
    std::string path(const char* name) const { return dir + "/" + name; }
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Exported {
    std::string heading;
    std::vector<std::string> detail, dump;
};

// Splits an export into its frames, checking the layout: the path, two empty
// lines, then per frame its heading, an empty line, detail lines, two empty lines,
// dump lines, two empty lines. Every line ends in CR LF.
std::vector<Exported> parse(const std::string& text, const std::string& path) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find("\r\n", at);
        if (end == std::string::npos) {
            ADD_FAILURE() << "text after the last CR LF";
            return {};
        }
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    for (const auto& l : lines)
        if (l.find_first_of("\r\n") != std::string::npos) ADD_FAILURE() << "lone CR or LF in: " << l;
    std::vector<Exported> out;
    if (lines.size() < 3 || lines[0] != path || lines[1] != "" || lines[2] != "") {
        ADD_FAILURE() << "bad file head";
        return out;
    }
    size_t i = 3;
    auto take_until_two_empty = [&](std::vector<std::string>& into) {
        while (i < lines.size() && lines[i] != "") into.push_back(lines[i++]);
        EXPECT_TRUE(i + 1 < lines.size() && lines[i] == "" && lines[i + 1] == "") << "at line " << i;
        i += 2;
    };
    while (i < lines.size()) {
        Exported e;
        e.heading = lines[i++];
        EXPECT_TRUE(i < lines.size() && lines[i] == "") << e.heading;
        ++i;
        take_until_two_empty(e.detail);
        take_until_two_empty(e.dump);
        out.push_back(e);
    }
    return out;
}

struct FileSizeLimit {
    rlimit old{};
    explicit FileSizeLimit(rlim_t n) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit l = old;
        l.rlim_cur = n;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~FileSizeLimit() { setrlimit(RLIMIT_FSIZE, &old); }
};

Bytes8 range(int n) {
    Bytes8 v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) v[size_t(i)] = uint8_t(i);
    return v;
}

}  // namespace

TEST(TextExport, DumpLines) {
    struct Case {
        Bytes8 bytes;
        std::string line;
    } cases[] = {
        {{0x41, 0x42, 0x0D, 0x43}, "  41420D43" + std::string(29, ' ') + "AB.C"},
        {{0x1F, 0x20, 0x7E, 0x7F, 0xFF}, "  1F207E7F FF" + std::string(26, ' ') + ". ~.."},
        {range(9), "  00010203 04050607 08" + std::string(17, ' ') + "........."},
        {{'H', 'e', 'l', 'l', 'o', ',', ' ', 'w', 'o', 'r', 'l', 'd', '!', ' ', '~', 0x7F},
         "  48656C6C 6F2C2077 6F726C64 21207E7F  Hello, world! ~."},
        {{}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(HexDumpLine(c.bytes.data(), int(c.bytes.size())), c.line) << c.line;
}

TEST(TextExport, LayoutByteForByte) {
    Bytes8 second = range(16);
    second.push_back(0xC8);
    Fixture fx({{1000, 0, range(16)}, {1001, 500000, second}, {1001, 500250, {}}, {1002, 0, range(3)}});
    std::string path = fx.path("out.txt");
    ASSERT_EQ(ExportFramesAsText(path, fx.store, false), "");
    EXPECT_EQ(fx.c.mode, MODE_DISPLAY);
    EXPECT_EQ(fx.c.exporter, nullptr);

    std::string text = slurp(path);
    const std::string lead = path + "\r\n\r\n\r\nFrame No. 1\r\n\r\n  Frame No.1\r\n    Frame Length : 16 bytes\r\n"
                                    "    Time : ";
    EXPECT_EQ(text.substr(0, lead.size()), lead);
    std::vector<Exported> frames = parse(text, path);
    ASSERT_EQ(frames.size(), 4u);
    const char* lapse[4][2] = {{"0.0000", "0.0000"}, {"1.5000", "1.5000"}, {"0.0002", "1.5002"},
                               {"0.4998", "2.0000"}};
    const char* lengths[4] = {"16", "17", "0", "3"};
    for (int i = 0; i < 4; ++i) {
        const Exported& e = frames[size_t(i)];
        std::string n = std::to_string(i + 1);
        EXPECT_EQ(e.heading, "Frame No. " + n);
        ASSERT_GE(e.detail.size(), 5u);
        EXPECT_EQ(e.detail[0], "  Frame No." + n);
        EXPECT_EQ(e.detail[1], std::string("    Frame Length : ") + lengths[i] + " bytes");
        EXPECT_EQ(e.detail[2].rfind("    Time : ", 0), 0u);
        EXPECT_EQ(e.detail[3], std::string("    Lapsed time from prvious frame : ") + lapse[i][0] + " sec");
        EXPECT_EQ(e.detail[4], std::string("    Lapsed time from first frame : ") + lapse[i][1] + " sec");
        for (const auto& l : e.detail) EXPECT_EQ(l.rfind("  ", 0), 0u) << l;
    }
    const std::string sixteen = "  00010203 04050607 08090A0B 0C0D0E0F  ................";
    EXPECT_EQ(frames[0].dump, std::vector<std::string>{sixteen});
    EXPECT_EQ(frames[1].dump, (std::vector<std::string>{sixteen, "  C8" + std::string(35, ' ') + "."}));
    EXPECT_TRUE(frames[2].dump.empty());
    EXPECT_EQ(frames[3].dump, std::vector<std::string>{"  000102" + std::string(31, ' ') + "..."});
    // The file ends with the last frame's two empty lines.
    EXPECT_EQ(text.substr(text.size() - 9), "...\r\n\r\n\r\n");
}

TEST(TextExport, MarkedOnlyKeepsNumbersAndLapsedTimes) {
    Fixture fx({{1000, 0, range(20)}, {1001, 500000, range(20)}, {1003, 0, range(20)}, {1010, 0, range(20)},
                {1010, 250000, range(20)}});
    fx.store.set_marked(1, true);
    fx.store.set_marked(4, true);
    std::string path = fx.path("m.txt");
    ASSERT_EQ(ExportFramesAsText(path, fx.store, true), "");
    std::vector<Exported> frames = parse(slurp(path), path);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].heading, "Frame No. 2");
    EXPECT_EQ(frames[1].heading, "Frame No. 5");
    ASSERT_GE(frames[1].detail.size(), 5u);
    EXPECT_EQ(frames[1].detail[0], "  Frame No.5");
    EXPECT_EQ(frames[1].detail[3], "    Lapsed time from prvious frame : 0.2500 sec");  // from frame 4
    EXPECT_EQ(frames[1].detail[4], "    Lapsed time from first frame : 10.2500 sec");
    EXPECT_EQ(frames[0].dump.size(), 2u);
}

TEST(TextExport, Failures) {
    Fixture fx({{1000, 0, range(60)}});
    std::string nowhere = fx.path("no/such/dir/out.txt");
    EXPECT_EQ(ExportFramesAsText(nowhere, fx.store, false), "ERROR : " + nowhere + " can't created.  ");
    EXPECT_EQ(fx.c.mode, MODE_DISPLAY);
    struct stat st;
    if (::stat("/dev/full", &st) == 0 && S_ISCHR(st.st_mode)) {
        EXPECT_EQ(ExportFramesAsText("/dev/full", fx.store, false), "ERROR : /dev/full can't writed.  ");
        EXPECT_EQ(fx.c.mode, MODE_DISPLAY);
        EXPECT_EQ(fx.c.exporter, nullptr);
    }
}

// A disk that fills up mid-export leaves a file of whole lines, the beginning of
// the full export.
TEST(TextExport, PartialExportHoldsWholeLines) {
    std::vector<TimedFrame> frames;
    for (uint32_t i = 0; i < 200; ++i) frames.push_back({1000 + i, 0, range(1000)});
    Fixture fx(frames);
    std::string path = fx.path("big.txt");
    ASSERT_EQ(ExportFramesAsText(path, fx.store, false), "");
    std::string full = slurp(path);
    ASSERT_GT(full.size(), 300000u);
    for (rlim_t limit : {rlim_t(0), rlim_t(100), rlim_t(150001)}) {
        std::string msg;
        {
            FileSizeLimit lim(limit);
            msg = ExportFramesAsText(path, fx.store, false);
        }
        EXPECT_EQ(msg, "ERROR : " + path + " can't writed.  ");
        std::string part = slurp(path);
        EXPECT_LE(part.size(), limit);
        EXPECT_EQ(full.compare(0, part.size(), part), 0);
        if (!part.empty()) {
            EXPECT_EQ(part.substr(part.size() - 2), "\r\n");
        }
        if (limit > 100000) {
            EXPECT_GT(part.size(), 60000u);
        }
    }
}
