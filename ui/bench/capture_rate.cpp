// How many frames a live capture on lo keeps, for the window (offscreen),
// zelpan-cli capture and tcpdump -w, in one run. A sender sends COUNT UDP
// datagrams to a port of ours, at RATE per second (0: as fast as it can); each
// capturer is filtered to that port and counted by reading back what it kept:
// the window's store or automatic-save files, the file zelpan-cli wrote (or its
// automatic-save files), tcpdump's file. Every datagram carries its number, so
// a frame kept twice or out of order is seen. Needs capture privileges.
//
//   zelpan_capture_rate compare COUNT RATE [--payload N] [--auto-save] [--only window|cli|tcpdump]
//   zelpan_capture_rate latency [FRAMES]      rows of frames sent one a second
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <algorithm>
#include <atomic>
#include <functional>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "store/capture_file.h"
#include "store/frame_store.h"
#include "ui/app.h"
#include "ui/capture_commands.h"
#include "ui/capture_settings_dialog.h"
#include "ui/child_frame.h"
#include "ui/document.h"
#include "ui/list_view.h"
#include "ui/main_frame.h"

using namespace zelpan;
using clock_type = std::chrono::steady_clock;

namespace {

struct Port {
    int rx = -1, tx = -1;
    uint16_t number = 0;
    Port() {
        rx = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        // Bound, so that the datagrams are not answered with ICMP; never read.
        if (::bind(rx, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
            ::getsockname(rx, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            number = ntohs(a.sin_port);
        tx = ::socket(AF_INET, SOCK_DGRAM, 0);
    }
    ~Port() {
        ::close(rx);
        ::close(tx);
    }
    std::string filter() const { return "udp dst port " + std::to_string(number); }
};

struct Sent {
    uint64_t count = 0;
    double seconds = 0;
};

// Sends total datagrams numbered from 0, paced in 1 ms slices at rate per
// second, or back to back when rate is 0. The receiving socket is never read,
// so it is emptied now and then to keep the sender from blocking on it.
Sent send_datagrams(const Port& port, uint64_t total, uint32_t rate, size_t payload) {
    std::vector<uint8_t> data(std::max<size_t>(payload, 8), 0x5a);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port.number);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto start = clock_type::now();
    uint64_t sent = 0;
    uint8_t sink[2048];
    while (sent < total) {
        uint64_t due = total;
        if (rate) {
            double elapsed = std::chrono::duration<double>(clock_type::now() - start).count();
            due = std::min<uint64_t>(total, uint64_t(elapsed * rate) + 1);
        }
        while (sent < due) {
            std::memcpy(data.data(), &sent, sizeof sent);
            if (::sendto(port.tx, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a) !=
                ssize_t(data.size()))
                break;
            ++sent;
            if (sent % 256 == 0)
                while (::recv(port.rx, sink, sizeof sink, MSG_DONTWAIT) > 0) {
                }
        }
        if (rate) std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    Sent s;
    s.count = sent;
    s.seconds = std::chrono::duration<double>(clock_type::now() - start).count();
    while (::recv(port.rx, sink, sizeof sink, MSG_DONTWAIT) > 0) {
    }
    return s;
}

// What a capturer kept of our datagrams: frames to the port, in order, once each.
struct Kept {
    uint64_t frames = 0, out_of_order = 0, files = 0;
    uint64_t next = 0;
    std::string problem;
    void take(const uint8_t* b, uint32_t n, uint16_t port) {
        // Ethernet (lo), IPv4 without options, UDP, then the number.
        if (n < 42 + 8 || b[12] != 0x08 || b[13] != 0x00 || b[23] != 17 || (b[36] << 8 | b[37]) != port) return;
        uint64_t seq;
        std::memcpy(&seq, b + 42, sizeof seq);
        if (seq != next) ++out_of_order;
        next = seq + 1;
        ++frames;
    }
    void store(const FrameStore& s, uint16_t port) {
        uint32_t i = 0;
        for (const uint8_t* r = s.first(); r && i < s.frame_count(); ++i, r = s.next(r, i))
            take(record_bytes(r), record_length(r), port);
    }
    void file(const std::string& path, uint16_t port) {
        FrameStore s;
        int32_t link = 0;
        std::string msg = LoadCaptureFile(path, s, link);
        if (!msg.empty()) {
            problem += path + ": " + msg + "; ";
            return;
        }
        ++files;
        store(s, port);
    }
    // Every capture file of a directory, in name order (the automatic-save names sort in order).
    void directory(const std::string& dir, uint16_t port) {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir))
            if (e.path().extension() == ".zlc") names.push_back(e.path().string());
        std::sort(names.begin(), names.end());
        for (const auto& n : names) file(n, port);
    }
};

void report(const char* who, const Sent& s, const Kept& k, const std::string& extra = {}) {
    std::printf("%-8s sent %llu in %.2f s (%.0f/s): kept %llu (%s)%s%s%s\n", who, (unsigned long long)s.count,
                s.seconds, s.seconds > 0 ? s.count / s.seconds : 0.0, (unsigned long long)k.frames,
                k.frames == s.count && k.out_of_order == 0 ? "all, in order" : "NOT all",
                k.out_of_order ? (", " + std::to_string(k.out_of_order) + " out of order").c_str() : "",
                k.files ? (", " + std::to_string(k.files) + " files").c_str() : "", extra.c_str());
    if (!k.problem.empty()) std::printf("         %s\n", k.problem.c_str());
    std::fflush(stdout);
}

// The main window with the capture hooks answered for lo and our filter.
struct Window {
    CZelpanApp app;
    CMainFrame* main = nullptr;
    CCaptureCommands* capture = nullptr;
    std::string message;
    explicit Window(const Port& port, bool auto_save, const std::string& dir) {
        main = new CMainFrame;
        main->resize(1280, 900);
        main->show();
        capture = CCaptureCommands::instance();
        if (!capture) return;
        CaptureHooks& h = capture->hooks();
        h.plain = [this](QWidget*, const QString& t) { message = t.toStdString(); };
        h.exclamation = h.plain;
        h.devices = [] { return std::vector<CaptureDevice>{{"lo", ""}}; };
        std::string filter = port.filter();
        h.edit_filters = [filter](QWidget*, CaptureFilterList& list, const std::string&) {
            list.push_back({"rate", filter});
        };
        h.run_settings = [auto_save](CCaptureSettingsDlg& d) {
            d.adapters()->setCurrentIndex(d.adapters()->findData(QStringLiteral("lo")));
            d.editButton()->click();
            d.filterNames()->setCurrentIndex(d.filterNames()->count() - 1);
            d.autoSave()->setChecked(auto_save);
            d.okButton()->click();
        };
        capture->setDirectory(dir);
    }
    ~Window() {
        for (CChildFrame* c : main->childWindows())
            if (c->document()) c->document()->setModified(false);
        delete main;
    }
    CChildFrame* start() {
        main->newDocument();
        main->action(Command::CaptureStart)->trigger();
        return capture->running() ? capture->target() : nullptr;
    }
};

void pump_until(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

int compare_window(uint64_t count, uint32_t rate, size_t payload, bool auto_save) {
    Port port;
    QTemporaryDir dir;
    Window win(port, auto_save, dir.path().toStdString());
    if (!win.capture) return 3;
    CChildFrame* w = win.start();
    if (!w) {
        std::fprintf(stderr, "window: capture did not start: %s\n", win.message.c_str());
        return 2;
    }
    std::atomic<bool> done{false};
    Sent sent;
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sent = send_datagrams(port, count, rate, payload);
        done = true;
    });
    pump_until([&] { return done.load(); }, 24 * 3600 * 1000);
    sender.join();
    // What is still on its way gets 1.5 s to arrive.
    pump_until([] { return false; }, 1500);
    win.main->action(Command::CaptureStop)->trigger();
    const CaptureStats& st = win.capture->engine().last_stats();
    Kept k;
    if (auto_save)
        k.directory(dir.path().toStdString(), port.number);
    else
        k.store(w->store(), port.number);
    report("window", sent, k, ", libpcap dropped " + std::to_string(st.dropped));
    return k.frames == sent.count && k.out_of_order == 0 ? 0 : 1;
}

std::string cli_path(const char* argv0) {
    if (const char* env = std::getenv("ZELPAN_CLI")) return env;
    std::error_code ec;
    auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        auto p = self.parent_path().parent_path() / "cli" / "zelpan-cli";
        if (std::filesystem::exists(p)) return p.string();
    }
    return "zelpan-cli";
}

// Runs a capturer program in dir until it says it is ready (or 3 s pass), sends,
// lets it settle, stops it with SIGINT and waits for it. Its standard error is returned.
std::string run_external(const std::vector<std::string>& args, const std::string& dir, const char* ready,
                         const Port& port, uint64_t count, uint32_t rate, size_t payload, Sent& sent) {
    std::string log = dir + "/stderr.txt";
    pid_t child = ::fork();
    if (child == 0) {
        if (::chdir(dir.c_str()) != 0) _exit(126);
        int null = ::open("/dev/null", O_WRONLY);
        int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(null, 1);
        ::dup2(err, 2);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        _exit(127);
    }
    auto read_log = [&] {
        std::string text;
        if (FILE* f = std::fopen(log.c_str(), "r")) {
            char buf[4096];
            size_t n;
            while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
            std::fclose(f);
        }
        return text;
    };
    for (int i = 0; i < 300 && read_log().find(ready) == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    sent = send_datagrams(port, count, rate, payload);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);
    return read_log();
}

int compare_cli(const std::string& cli, uint64_t count, uint32_t rate, size_t payload, bool auto_save) {
    Port port;
    QTemporaryDir dir;
    std::string d = dir.path().toStdString();
    std::vector<std::string> args = {cli, "capture", "-i", "lo", "-f", port.filter(), "-w", d + "/out.pcap"};
    if (auto_save) args = {cli, "capture", "-i", "lo", "-f", port.filter(), "--auto-save", "0"};
    Sent sent;
    std::string text = run_external(args, d, "capturing on", port, count, rate, payload, sent);
    Kept k;
    if (auto_save)
        k.directory(d, port.number);
    else
        k.file(d + "/out.pcap", port.number);
    std::string dropped;
    if (size_t at = text.find("libpcap: "); at != std::string::npos)
        dropped = ", " + text.substr(at, text.find('\n', at) - at);
    report("cli", sent, k, dropped);
    return k.frames == sent.count && k.out_of_order == 0 ? 0 : 1;
}

int compare_tcpdump(uint64_t count, uint32_t rate, size_t payload) {
    Port port;
    QTemporaryDir dir;
    std::string d = dir.path().toStdString();
    Sent sent;
    std::string text = run_external({"tcpdump", "-i", "lo", "-w", d + "/out.pcap", port.filter()}, d,
                                    "listening on", port, count, rate, payload, sent);
    Kept k;
    k.file(d + "/out.pcap", port.number);
    std::string dropped;
    if (size_t at = text.find("dropped by kernel"); at != std::string::npos) {
        size_t from = text.rfind('\n', at);
        dropped = ", " + text.substr(from == std::string::npos ? 0 : from + 1, at - (from + 1)) + "dropped by kernel";
    }
    report("tcpdump", sent, k, dropped);
    return 0;
}

int latency(uint32_t frames) {
    Port port;
    QTemporaryDir dir;
    Window win(port, false, dir.path().toStdString());
    CChildFrame* w = win.start();
    if (!w) {
        std::fprintf(stderr, "window: capture did not start: %s\n", win.message.c_str());
        return 2;
    }
    pump_until([] { return false; }, 300);
    double worst = 0;
    for (uint32_t i = 0; i < frames; ++i) {
        int before = w->listView()->frameModel()->rowCount();
        auto t0 = clock_type::now();
        send_datagrams(port, 1, 0, 100);
        pump_until([&] { return w->listView()->frameModel()->rowCount() > before; }, 2000);
        double ms = std::chrono::duration<double, std::milli>(clock_type::now() - t0).count();
        std::printf("frame %u: row shown after %.0f ms\n", i + 1, ms);
        worst = std::max(worst, ms);
        pump_until([] { return false; }, 1000);
    }
    win.main->action(Command::CaptureStop)->trigger();
    std::printf("latency: worst %.0f ms over %u frames sent one a second\n", worst, frames);
    return worst < 500 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    if (argc >= 4 && std::strcmp(argv[1], "compare") == 0) {
        uint64_t count = std::strtoull(argv[2], nullptr, 10);
        uint32_t rate = uint32_t(std::atol(argv[3]));
        size_t payload = 100;
        bool auto_save = false;
        std::string only;
        for (int i = 4; i < argc; ++i) {
            if (!std::strcmp(argv[i], "--payload") && i + 1 < argc) payload = size_t(std::atol(argv[++i]));
            else if (!std::strcmp(argv[i], "--auto-save")) auto_save = true;
            else if (!std::strcmp(argv[i], "--only") && i + 1 < argc) only = argv[++i];
        }
        std::printf("%llu datagrams of %zu bytes at %s, automatic saving %s\n", (unsigned long long)count, payload,
                    rate ? (std::to_string(rate) + "/s").c_str() : "the sender's maximum rate",
                    auto_save ? "on" : "off");
        int rc = 0;
        if (only.empty() || only == "window") rc |= compare_window(count, rate, payload, auto_save);
        if (only.empty() || only == "cli") rc |= compare_cli(cli_path(argv[0]), count, rate, payload, auto_save);
        if (only.empty() || only == "tcpdump") compare_tcpdump(count, rate, payload);
        return rc;
    }
    if (argc >= 2 && std::strcmp(argv[1], "latency") == 0)
        return latency(argc > 2 ? uint32_t(std::atol(argv[2])) : 5);
    std::fprintf(stderr,
                 "usage: zelpan_capture_rate compare COUNT RATE [--payload N] [--auto-save] [--only window|cli|tcpdump]\n"
                 "         RATE 0 sends as fast as the sender can; counts what the window, zelpan-cli capture\n"
                 "         and tcpdump -w kept (read back from their store and files)\n"
                 "       zelpan_capture_rate latency [FRAMES]\n"
                 "         how soon the window lists frames sent one a second\n"
                 "exit 0 when the window and zelpan-cli kept every frame in order\n");
    return 64;
}
