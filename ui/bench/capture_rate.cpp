// How fast a live capture on lo can go before libpcap drops frames, in the
// window (offscreen) and in zelpan-cli. A sender thread paces UDP datagrams to
// a port of ours at RATE frames per second for SECONDS; the capture is
// filtered to that port, and at the end libpcap's ps_drop says what was lost.
// Needs capture privileges.
//
//   zelpan_capture_rate window RATE [SECONDS] [PAYLOAD]
//   zelpan_capture_rate cli PATH-TO-ZELPAN-CLI RATE [SECONDS] [PAYLOAD]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ui/app.h"
#include "ui/capture_commands.h"
#include "ui/capture_settings_dialog.h"
#include "ui/child_frame.h"
#include "ui/document.h"
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

// Sends rate*seconds datagrams, in 1 ms slices; returns how many went out.
uint64_t send_paced(const Port& port, uint32_t rate, double seconds, size_t payload) {
    std::vector<uint8_t> data(payload, 0x5a);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port.number);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const uint64_t total = uint64_t(rate * seconds);
    const auto start = clock_type::now();
    uint64_t sent = 0;
    while (sent < total) {
        double elapsed = std::chrono::duration<double>(clock_type::now() - start).count();
        uint64_t due = std::min<uint64_t>(total, uint64_t(elapsed * rate) + 1);
        while (sent < due) {
            std::memcpy(data.data(), &sent, sizeof sent);
            if (::sendto(port.tx, data.data(), data.size(), 0, reinterpret_cast<sockaddr*>(&a), sizeof a) ==
                ssize_t(data.size()))
                ++sent;
            else
                break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return sent;
}

int run_window(int argc, char** argv, uint32_t rate, double seconds, size_t payload) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qt(argc, argv);
    CZelpanApp app;
    auto* main = new CMainFrame;
    main->resize(1280, 900);
    main->show();
    CCaptureCommands* capture = CCaptureCommands::instance();
    if (!capture) return 3;
    Port port;
    std::string message;
    CaptureHooks& h = capture->hooks();
    h.plain = [&](QWidget*, const QString& t) { message = t.toStdString(); };
    h.exclamation = h.plain;
    h.devices = [] { return std::vector<CaptureDevice>{{"lo", ""}}; };
    h.edit_filters = [&](QWidget*, CaptureFilterList& list, const std::string&) {
        list.push_back({"rate", port.filter()});
    };
    h.run_settings = [](CCaptureSettingsDlg& d) {
        d.adapters()->setCurrentIndex(d.adapters()->findData(QStringLiteral("lo")));
        d.editButton()->click();
        d.filterNames()->setCurrentIndex(d.filterNames()->count() - 1);
        d.okButton()->click();
    };
    QTemporaryDir dir;
    capture->setDirectory(dir.path().toStdString());
    main->newDocument();
    main->action(Command::CaptureStart)->trigger();
    if (!capture->running()) {
        std::fprintf(stderr, "capture did not start: %s\n", message.c_str());
        return 2;
    }
    CChildFrame* w = capture->target();
    std::atomic<bool> done{false};
    uint64_t sent = 0;
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        sent = send_paced(port, rate, seconds, payload);
        done = true;
    });
    QElapsedTimer t;
    t.start();
    while (!done) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    sender.join();
    // Whatever is still queued gets its row, up to 2 s more.
    QElapsedTimer settle;
    settle.start();
    while (uint64_t(w->row_count()) < sent && settle.elapsed() < 2000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const int rows = w->row_count();
    main->action(Command::CaptureStop)->trigger();
    const CaptureStats& st = capture->engine().last_stats();
    std::printf("window: rate %u/s for %.1f s, payload %zu: sent %llu, rows %d, libpcap received %u, dropped %u\n",
                rate, seconds, payload, (unsigned long long)sent, rows, st.received, st.dropped);
    for (CChildFrame* c : main->childWindows())
        if (c->document()) c->document()->setModified(false);
    delete main;
    return st.dropped == 0 && uint64_t(rows) == sent ? 0 : 1;
}

int run_cli(const char* cli, uint32_t rate, double seconds, size_t payload) {
    Port port;
    char log[] = "/tmp/zelpan_rate_XXXXXX";
    int logfd = ::mkstemp(log);
    if (logfd < 0) return 3;
    pid_t child = ::fork();
    if (child == 0) {
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(logfd, 2);
        std::string f = port.filter();
        ::execl(cli, cli, "capture", "-i", "lo", "-f", f.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    // Up to 3 s for the adapter to open.
    for (int i = 0; i < 300; ++i) {
        char buf[4096] = {};
        ssize_t n = ::pread(logfd, buf, sizeof buf - 1, 0);
        if (n > 0 && std::strstr(buf, "capturing on")) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    uint64_t sent = send_paced(port, rate, seconds, payload);
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ::kill(child, SIGINT);
    int status = 0;
    ::waitpid(child, &status, 0);
    std::string text(8192, '\0');
    ssize_t n = ::pread(logfd, text.data(), text.size() - 1, 0);
    text.resize(n > 0 ? size_t(n) : 0);
    ::close(logfd);
    ::unlink(log);
    unsigned long shown = 0;
    unsigned received = 0, dropped = 0;
    const char* p = std::strstr(text.c_str(), "frames shown");
    const char* q = std::strstr(text.c_str(), "libpcap: ");
    if (!p || !q) {
        std::fprintf(stderr, "zelpan-cli said:\n%s", text.c_str());
        return 2;
    }
    // "zelpan-cli capture: N frames shown, ..."
    const char* line = p;
    while (line > text.c_str() && line[-1] != '\n') --line;
    std::sscanf(line, "zelpan-cli capture: %lu", &shown);
    std::sscanf(q, "libpcap: %u received, %u dropped", &received, &dropped);
    std::printf("cli: rate %u/s for %.1f s, payload %zu: sent %llu, shown %lu, libpcap received %u, dropped %u\n",
                rate, seconds, payload, (unsigned long long)sent, shown, received, dropped);
    return dropped == 0 && shown == sent ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "window") == 0) {
        return run_window(argc, argv, uint32_t(std::atol(argv[2])), argc > 3 ? std::atof(argv[3]) : 2.0,
                          argc > 4 ? size_t(std::atol(argv[4])) : 100);
    }
    if (argc >= 4 && std::strcmp(argv[1], "cli") == 0) {
        return run_cli(argv[2], uint32_t(std::atol(argv[3])), argc > 4 ? std::atof(argv[4]) : 2.0,
                       argc > 5 ? size_t(std::atol(argv[5])) : 100);
    }
    std::fprintf(stderr,
                 "usage: zelpan_capture_rate window RATE [SECONDS] [PAYLOAD]\n"
                 "       zelpan_capture_rate cli PATH-TO-ZELPAN-CLI RATE [SECONDS] [PAYLOAD]\n"
                 "exit 0 when every frame arrived and libpcap dropped none\n");
    return 64;
}
