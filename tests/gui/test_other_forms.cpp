// Files in forms the program reads but does not write: what the window shows,
// what the information window says, and where a save goes.
#include <QFile>

#include "store/capture_file.h"
#include "tests/gui/gui_support.h"
#include "ui/document.h"
#include "ui/info_window.h"
#include "ui/list_view.h"

using namespace zelpan;
using zgui::GuiTest;

namespace {

QByteArray file_bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Little-endian pcapng blocks.
void put32(QByteArray& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.append(char(v >> 8 * i));
}
void block(QByteArray& out, uint32_t type, QByteArray body) {
    while (body.size() % 4) body.append('\0');
    put32(out, type);
    put32(out, uint32_t(body.size() + 12));
    out.append(body);
    put32(out, uint32_t(body.size() + 12));
}
QByteArray words(std::initializer_list<uint32_t> v) {
    QByteArray b;
    for (uint32_t x : v) put32(b, x);
    return b;
}

}  // namespace

TEST_F(GuiTest, PcapngWithTwoLinkTypesOpensAndSaveAsksForAName) {
    QByteArray frame = file_bytes(zgui::source_path("samples/sample.zlc")).mid(24 + 16, 42);
    QByteArray f;
    block(f, 0x0A0D0D0A, words({0x1A2B3C4D, 0x00000001, 0xFFFFFFFF, 0xFFFFFFFF}));
    block(f, 1, words({1, 0}));    // Ethernet
    block(f, 1, words({113, 0}));  // Linux cooked
    for (uint32_t iface : {0u, 1u, 0u, 1u, 1u})
        block(f, 6, words({iface, 0, 5, uint32_t(frame.size()), uint32_t(frame.size())}) + frame);
    QString path = temp("two.pcapng");
    QFile out(path);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(f);
    out.close();

    CChildFrame* w = open(path);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->row_count(), 2);
    EXPECT_EQ(w->context().link_type, 1);
    ASSERT_NE(CInfoWnd::current(), nullptr);
    EXPECT_EQ(CInfoWnd::current()->text(),
              "Note : " + path + " : 3 frames of link type 113 (Linux cooked) left out; the window shows link "
                                 "type 1 (Ethernet) only.  \r\n");
    EXPECT_TRUE(messages_.isEmpty());

    // Saving under the file's own name would drop the cooked frames: the save asks.
    save_answers_ = {temp("two.zlc")};
    main_->action(Command::Save)->trigger();
    ASSERT_EQ(save_requests_.size(), 1u);
    EXPECT_EQ(file_bytes(path), f);
    EXPECT_EQ(IdentifyCaptureFile(temp("two.zlc").toStdString()), CaptureKind::Pcap);
    EXPECT_EQ(zgui::load_frames(temp("two.zlc")).frames.size(), 2u);
    EXPECT_EQ(w->title(), "two.zlc");
    // Now the document is in the program's own form: a save writes in place.
    main_->action(Command::Save)->trigger();
    EXPECT_EQ(save_requests_.size(), 1u);
}

TEST_F(GuiTest, CookedAndRawIpCapturesShowTheirColumns) {
    struct Case {
        const char* file;
        int link_type;
        int rows;
        QString protocol, source;  // of the first row
    } cases[] = {
        {"samples/cooked.zlc", 113, 8, "DNS", "10.0.0.9"},
        {"samples/cooked2.zlc", 276, 4, "NTP", "10.0.0.9"},
        {"samples/rawip.zlc", 101, 4, "ICMP", "192.0.2.1"},
        {"samples/formats.pcapng", 1, 3, "DNS", "10.1.0.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        CChildFrame* w = open(zgui::source_path(c.file));
        ASSERT_NE(w, nullptr);
        EXPECT_EQ(w->context().link_type, c.link_type);
        EXPECT_EQ(w->row_count(), c.rows);
        QAbstractItemModel* m = w->listView()->model();
        EXPECT_EQ(m->index(0, 2).data().toString(), c.source);
        EXPECT_EQ(m->index(0, 4).data().toString(), c.protocol);
    }
    EXPECT_EQ(CInfoWnd::current(), nullptr);
}
