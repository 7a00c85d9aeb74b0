// The TCP data stream command and dialog on a generated conversation: the lines
// and their colours, the source combo, marking, saving, and the cases where the
// command does nothing. A picture of the dialog goes to the test's directory, or
// to $ZELPAN_STATS_SCREENSHOTS (docs/) when set.
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QTextBlock>
#include <QPlainTextEdit>
#include <fstream>
#include <sstream>

#include "condition/layer_index.h"
#include "store/capture_file.h"
#include "tests/gui/gui_support.h"
#include "tests/stream_frames.h"
#include "tests/support.h"
#include "ui/list_view.h"
#include "ui/stats_commands.h"
#include "ui/tcp_stream_dialog.h"

using namespace zelpan;
using C = Command;

namespace {

QString u(const char* s) { return QString::fromUtf8(s); }

template <class T>
T* child(QObject* parent, const char* name) {
    T* c = parent ? parent->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    EXPECT_NE(c, nullptr) << name;
    return c;
}

std::string read_file(const QString& path) {
    std::ifstream f(path.toStdString(), std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

const zt::End CLIENT = zt::end4(1, 192, 168, 0, 10, 40000);
const zt::End SERVER = zt::end4(2, 192, 168, 0, 20, 25);

// A short mail exchange: each side's lines acknowledged by the other, then a UDP frame.
std::vector<zt::Bytes8> conversation() {
    std::vector<zt::Bytes8> f = {zt::tcp_frame(CLIENT, SERVER, 100, 0, "", zt::SYN),
                                 zt::tcp_frame(SERVER, CLIENT, 500, 101, "", zt::SYN | zt::ACK),
                                 zt::tcp_frame(CLIENT, SERVER, 101, 501, "", zt::ACK)};
    uint32_t c = 101, s = 501;
    const char* talk[][2] = {
        {nullptr, "220 mail.example.test ESMTP ready\r\n"},
        {"EHLO client.example.test\r\n", "250-mail.example.test\r\n250 SIZE 10240000\r\n"},
        {"MAIL FROM:<alice@example.test>\r\n", "250 OK\r\n"},
        {"RCPT TO:<bob@example.test>\r\n", "250 Accepted\r\n"},
        {"DATA\r\n", "354 End data with <CR><LF>.<CR><LF>\r\n"},
        {"Subject: test\r\n\r\nHello Bob\r\n.\r\n", "250 Queued as 4711\r\n"},
        {"QUIT\r\n", "221 Bye\r\n"},
    };
    for (const auto& t : talk) {
        if (t[0]) {
            std::string m = t[0];
            f.push_back(zt::tcp_frame(CLIENT, SERVER, c, s, m));
            c += uint32_t(m.size());
        }
        std::string r = t[1];
        f.push_back(zt::tcp_frame(SERVER, CLIENT, s, c, r));
        s += uint32_t(r.size());
        f.push_back(zt::tcp_frame(CLIENT, SERVER, c, s, "", zt::ACK));
    }
    f.push_back(zt::udp_to(53));
    return f;
}

QString write_capture(const QString& path, const std::vector<zt::Bytes8>& frames) {
    FrameStore store;
    zt::fill_store(store, zt::timed(frames));
    EXPECT_EQ(WriteCaptureFile(path.toStdString(), store, 1, false), "");
    return path;
}

class StreamTest : public zgui::GuiTest {
protected:
    CTcpStreamDlg* openStream(CChildFrame* w, int row) {
        main_->mdiArea()->setActiveSubWindow(w->subWindow());
        settle();
        if (row >= 0) w->listView()->SelectRow(row, -1, -1, -1);
        else w->listView()->clearSelection();
        EXPECT_TRUE(main_->action(C::TcpStream)->isEnabled());
        main_->action(C::TcpStream)->trigger();
        settle(20);
        return StatsCommands::of(*main_)->stream(w);
    }
    // Lines of the text with the colour of each.
    static std::vector<std::pair<QString, QColor>> lines(QPlainTextEdit* t) {
        std::vector<std::pair<QString, QColor>> out;
        for (QTextBlock b = t->document()->begin(); b.isValid(); b = b.next()) {
            if (b.text().isEmpty()) continue;
            QColor colour = b.begin() != b.end() ? b.begin().fragment().charFormat().foreground().color() : QColor();
            out.push_back({b.text(), colour});
        }
        return out;
    }
};

const QColor RED(255, 0, 0), BLUE(0, 0, 255);

}  // namespace

TEST_F(StreamTest, TheLoginInBothColours) {
    std::vector<zt::Bytes8> frames = {
        zt::tcp_frame(CLIENT, SERVER, 100, 0, "", zt::SYN), zt::tcp_frame(SERVER, CLIENT, 500, 101, "", zt::SYN | zt::ACK),
        zt::tcp_frame(CLIENT, SERVER, 101, 501, "USER abc\r\n\r\n"), zt::tcp_frame(SERVER, CLIENT, 501, 113, "331 ok\r\n"),
        zt::tcp_frame(CLIENT, SERVER, 113, 509, "", zt::ACK), zt::udp_to(53)};
    CChildFrame* w = open(write_capture(temp("login.zlc"), frames));
    ASSERT_NE(w, nullptr);
    QPointer<CTcpStreamDlg> d = openStream(w, 2);
    ASSERT_FALSE(d.isNull());
    EXPECT_EQ(d->windowTitle(), u("TCPﾃﾞｰﾀｽﾄﾘｰﾑ"));
    auto* source = child<QComboBox>(d, "source");
    EXPECT_EQ(source->count(), 3);
    EXPECT_EQ(source->itemText(0), u("ALL"));
    EXPECT_EQ(source->itemText(1), u("192.168.0.10"));
    EXPECT_EQ(source->itemText(2), u("192.168.0.20"));
    auto l = lines(d->textView());
    ASSERT_EQ(l.size(), 3u);
    EXPECT_EQ(l[0].first, u("00003 : USER abc.."));
    EXPECT_EQ(l[0].second, RED);
    EXPECT_EQ(l[1].first, u("00003 : .."));
    EXPECT_EQ(l[2].first, u("00004 : 331 ok.."));
    EXPECT_EQ(l[2].second, BLUE);
    EXPECT_EQ(child<QLineEdit>(d, "bytes")->text(), u("20(128)"));
    // The placement: right edge 12 left of the main window's, top 44 below its top.
    QRect m = main_->frameGeometry(), g = d->frameGeometry();
    EXPECT_EQ(g.right(), m.right() - 12);
    EXPECT_EQ(g.top(), m.top() + 44);

    // The destination's data alone, in blue.
    source->setCurrentIndex(2);
    l = lines(d->textView());
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(l[0].first, u("00004 : 331 ok.."));
    EXPECT_EQ(l[0].second, BLUE);
    EXPECT_EQ(child<QLineEdit>(d, "bytes")->text(), u("8(62)"));

    // Saving writes exactly the shown bytes and leaves the text alone.
    save_answers_.push_back(temp("out.bin"));
    child<QPushButton>(d, "save")->click();
    ASSERT_EQ(save_requests_.size(), 1u);
    EXPECT_EQ(save_requests_[0].initial, u("login"));
    EXPECT_EQ(save_requests_[0].filter, u("全てのﾌｧｲﾙ (*.*)"));
    EXPECT_EQ(read_file(temp("out.bin")), "331 ok\r\n");
    EXPECT_EQ(lines(d->textView()).size(), 1u);
    source->setCurrentIndex(0);
    save_answers_.push_back(temp("out.bin"));
    child<QPushButton>(d, "save")->click();
    EXPECT_EQ(read_file(temp("out.bin")), "USER abc\r\n\r\n331 ok\r\n");
    // Cancelled: nothing written.
    child<QPushButton>(d, "save")->click();
    EXPECT_EQ(read_file(temp("out.bin")), "USER abc\r\n\r\n331 ok\r\n");

    // ﾏｰｸ marks the frames whose data is shown.
    child<QPushButton>(d, "mark")->click();
    for (uint32_t i = 0; i < w->store().frame_count(); ++i) EXPECT_EQ(w->store().marked(i), i == 2 || i == 3) << i;
    EXPECT_EQ(w->listView()->ShowMark(3, 4), 1);

    // One dialog per window.
    main_->action(C::TcpStream)->trigger();
    EXPECT_EQ(StatsCommands::of(*main_)->stream(w), d.data());
    child<QPushButton>(d, "cancel")->click();
    settle(20);
    EXPECT_TRUE(d.isNull());
    EXPECT_EQ(StatsCommands::of(*main_)->stream(w), nullptr);
}

TEST_F(StreamTest, NothingForAFrameWithoutTcpOrWithoutSelection) {
    std::vector<zt::Bytes8> frames = conversation();
    CChildFrame* w = open(write_capture(temp("mail.zlc"), frames));
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(openStream(w, int(frames.size()) - 1), nullptr);  // the UDP frame
    EXPECT_TRUE(w->layerIndexesBuilt());
    EXPECT_EQ(openStream(w, -1), nullptr);
}

TEST_F(StreamTest, ScreenshotOfAMailExchange) {
    std::vector<zt::Bytes8> frames = conversation();
    CChildFrame* w = open(write_capture(temp("mail.zlc"), frames));
    ASSERT_NE(w, nullptr);
    CTcpStreamDlg* d = openStream(w, 0);
    ASSERT_NE(d, nullptr);
    auto l = lines(d->textView());
    ASSERT_GE(l.size(), 10u);
    EXPECT_EQ(l[0].first, u("00004 : 220 mail.example.test ESMTP ready.."));
    EXPECT_EQ(l[0].second, BLUE);
    EXPECT_EQ(l[1].first, u("00006 : EHLO client.example.test.."));
    EXPECT_EQ(l[1].second, RED);
    d->resize(640, 420);
    settle(50);
    QString dir = qEnvironmentVariable("ZELPAN_STATS_SCREENSHOTS", dir_.path());
    EXPECT_TRUE(d->grab().toImage().save(dir + QStringLiteral("/tcp_stream.png"), "PNG"));
}
