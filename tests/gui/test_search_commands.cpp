// The find, find next, jump and capture filter commands driven through the main
// window's actions, with the real dialogs and the windows' real lists.
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <fstream>
#include <sstream>

#include "store/frame_store.h"
#include "tests/gui/gui_support.h"
#include "ui/condition_edit_dialog.h"
#include "ui/dump_view.h"
#include "ui/filter_edit_dialog.h"
#include "ui/info_window.h"
#include "ui/jump_dialog.h"
#include "ui/list_view.h"
#include "ui/search_commands.h"
#include "ui/search_dialog.h"
#include "ui/tree_view.h"

using namespace zelpan;
using C = Command;

namespace {

// Rows of "findfil.dat" as the tests use them.
enum { ARP, SYN, ICMP, UDP, NOWHERE };
const char* const EXPRESSIONS[] = {"arp", "tcp[13:1] & 0x02 != 0", "icmp", "udp", "ip[9:1] == 99"};

QString u(const char* s) { return QString::fromUtf8(s); }

template <class T>
T* child(QObject* parent, const char* name) {
    T* c = parent ? parent->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    EXPECT_NE(c, nullptr) << name;
    return c;
}

void click(QObject* parent, const char* name) {
    if (auto* b = child<QAbstractButton>(parent, name)) b->click();
}

void set_box(QObject* parent, const char* name, bool on) {
    if (auto* b = child<QCheckBox>(parent, name); b && b->isChecked() != on) b->click();
}

std::string read_file(const QString& path) {
    std::ifstream f(path.toStdString(), std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

// What one search asks for in the dialog.
struct Search {
    int row;
    int direction = 1;  // 0 up, 1 down
    bool mark_while = false, mark_and_finish = false, all_windows = false;
};

QString not_found(const QString& title, int start_frame) {
    return title + u("\r\n検索開始ﾌﾚｰﾑ : ") + QString::number(start_frame) +
           u("\r\n検索条件に一致するﾌﾚｰﾑがありません。\r\n\r\n");
}

class SearchCommandsTest : public zgui::GuiTest {
protected:
    void SetUp() override {
        // The filter files live in the start-up directory: the test's own.
        previous_dir_ = QDir::currentPath();
        ASSERT_TRUE(QDir::setCurrent(dir_.path()));
        std::ofstream f(temp("findfil.dat").toStdString(), std::ios::binary);
        for (const char* e : EXPRESSIONS) f << '"' << e << "\"\r\n";
        f.close();
        GuiTest::SetUp();
        commands_ = SearchCommands::of(*main_);
        ASSERT_NE(commands_, nullptr);
        commands_->hooks().message_box = [this](QWidget*, const QString& t) { boxes_ << t; };
    }
    void TearDown() override {
        GuiTest::TearDown();
        QDir::setCurrent(previous_dir_);
    }

    bool enabled(C c) const { return main_->action(c)->isEnabled(); }
    void activate(CChildFrame* w) {
        main_->mdiArea()->setActiveSubWindow(w->subWindow());
        settle();
        ASSERT_EQ(main_->activeChild(), w);
    }

    // Opens the dialog on the active window, sets it up, starts; the queued
    // request has not run yet when this returns.
    void start(const Search& s) {
        main_->action(C::Find)->trigger();
        QPointer<CSearchDlg> d = commands_->searchDialog();
        ASSERT_FALSE(d.isNull());
        child<QListWidget>(d, "expressions")->setCurrentRow(s.row);
        click(d, "take1");
        click(d, "operation_none");
        if (!s.mark_and_finish) click(d, s.direction == 0 ? "up" : "down");
        set_box(d, "mark_while", s.mark_while);
        set_box(d, "mark_and_finish", s.mark_and_finish);
        set_box(d, "all_windows", s.all_windows);
        click(d, "start");
        EXPECT_TRUE(d.isNull() || !d->isVisible());
        EXPECT_EQ(commands_->searchDialog(), nullptr);
    }
    void search(const Search& s) {
        start(s);
        settle(50);
    }
    static QString info() { return CInfoWnd::current() ? CInfoWnd::current()->text() : QString(); }
    static void clear_info() {
        if (CInfoWnd::current()) CInfoWnd::current()->close();
        settle();
    }
    static bool shown_marked(CChildFrame* w, int row) {
        FrameListModel* m = w->listView()->frameModel();
        return m->data(m->index(row, 0), Qt::DecorationRole).value<QIcon>().cacheKey() ==
               FrameListModel::markImage(true).cacheKey();
    }
    // The rows whose mark bit is set, each checked against its image.
    static std::vector<int> marked_rows(CChildFrame* w) {
        std::vector<int> rows;
        for (int r = 0; r < w->row_count(); ++r) {
            EXPECT_EQ(shown_marked(w, r), w->store().marked(uint32_t(r))) << r;
            if (w->store().marked(uint32_t(r))) rows.push_back(r);
        }
        return rows;
    }

    SearchCommands* commands_ = nullptr;
    QStringList boxes_;
    QString previous_dir_;
};

}  // namespace

TEST_F(SearchCommandsTest, CommandsFollowTheEnablingRules) {
    EXPECT_FALSE(enabled(C::Find));
    EXPECT_TRUE(enabled(C::CaptureFilter));
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    for (C c : {C::Find, C::Jump, C::CaptureFilter, C::MarkSelected, C::MarkAll, C::UnmarkAll})
        EXPECT_TRUE(enabled(c)) << int(c);
    EXPECT_FALSE(enabled(C::FindNext));  // nothing searched yet
    search({SYN});
    EXPECT_TRUE(enabled(C::FindNext));

    // A capture running: all off, the capture filters too; the marks leave the target alone.
    app_->registry().SetCaptureTarget(w);
    app_->setCaptureRunning(true);
    main_->updateCommandStates();
    for (C c : {C::Find, C::FindNext, C::Jump, C::CaptureFilter, C::MarkSelected, C::MarkAll, C::UnmarkAll})
        EXPECT_FALSE(enabled(c)) << int(c);
    main_->onMarkAll();
    EXPECT_EQ(CountMarkedFrames(w->store()), 0u);
    commands_->find();
    EXPECT_EQ(commands_->searchDialog(), nullptr);
    app_->setCaptureRunning(false);
    app_->registry().SetCaptureTarget(nullptr);

    // An empty window: nothing to search, mark or jump in; find next is per window.
    CChildFrame* empty = main_->newDocument();
    ASSERT_EQ(main_->activeChild(), empty);
    for (C c : {C::Find, C::FindNext, C::Jump, C::MarkSelected, C::MarkAll, C::UnmarkAll})
        EXPECT_FALSE(enabled(c)) << int(c);
    EXPECT_TRUE(enabled(C::CaptureFilter));
    main_->onMarkAll();  // must not trip over the empty list
    activate(w);
    EXPECT_TRUE(enabled(C::FindNext));
}

TEST_F(SearchCommandsTest, SearchSelectsItsHitAndFindNextWalksToTheEnds) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(w->layerIndexesBuilt());
    main_->action(C::Find)->trigger();
    QPointer<CSearchDlg> d = commands_->searchDialog();
    ASSERT_FALSE(d.isNull());
    EXPECT_TRUE(d->isVisible());
    EXPECT_TRUE(w->layerIndexesBuilt());  // built when the dialog opens
    EXPECT_EQ(commands_->searchOrigin(), w);
    EXPECT_EQ(commands_->currentSlot(), app_->registry().SlotOf(w));
    // At most one dialog: the command does nothing while it is open.
    main_->action(C::Find)->trigger();
    EXPECT_EQ(commands_->searchDialog(), d.data());
    EXPECT_EQ(main_->findChildren<CSearchDlg*>().size(), 1);
    click(d, "cancel");
    settle();
    EXPECT_TRUE(d.isNull());
    EXPECT_EQ(commands_->searchDialog(), nullptr);

    // The request is queued to the window and runs from the event loop.
    start({SYN});
    EXPECT_EQ(w->selected_row(), -1);
    settle(50);
    ASSERT_EQ(w->selected_row(), 9);
    EXPECT_EQ(w->treeView()->shownRow(), 9);
    // The byte that matched (the TCP flags of an IPv4 frame) is highlighted.
    const uint8_t* frame = record_bytes(w->store().at(9));
    const uint32_t flags = 14 + (frame[14] & 0x0F) * 4 + 13;
    CZelDumpvw* dump = w->dumpView();
    EXPECT_LE(dump->highlightOffset(), flags);
    EXPECT_GT(dump->highlightOffset() + dump->highlightLength(), flags);
    EXPECT_EQ(w->treeView()->selectedHandle(), w->treeView()->detailTree().line_for_byte(flags));
    EXPECT_EQ(CountMarkedFrames(w->store()), 0u);
    EXPECT_EQ(commands_->searchOrigin(), w);  // kept until the next find command

    // Down to the last hit, then nothing more: reported, find next off.
    for (int want : {10, 30}) {
        main_->action(C::FindNext)->trigger();
        EXPECT_EQ(w->selected_row(), want);
        EXPECT_TRUE(enabled(C::FindNext));
    }
    EXPECT_EQ(info(), QString());
    main_->action(C::FindNext)->trigger();
    EXPECT_EQ(w->selected_row(), 30);
    EXPECT_EQ(info(), not_found(w->title(), 31));
    EXPECT_FALSE(enabled(C::FindNext));
    clear_info();

    // Upwards from frame 21: 11, 10, then the top.
    w->select_row(20, -1);
    search({SYN, 0});
    EXPECT_EQ(w->selected_row(), 10);
    main_->action(C::FindNext)->trigger();
    EXPECT_EQ(w->selected_row(), 9);
    main_->action(C::FindNext)->trigger();
    EXPECT_EQ(info(), not_found(w->title(), 10));
    EXPECT_FALSE(enabled(C::FindNext));
    clear_info();

    // A hit at the last frame: find next downwards has nowhere to go, silently.
    w->select_row(32, -1);
    search({UDP});
    EXPECT_EQ(w->selected_row(), 32);
    EXPECT_TRUE(enabled(C::FindNext));
    main_->action(C::FindNext)->trigger();
    EXPECT_EQ(w->selected_row(), 32);
    EXPECT_FALSE(enabled(C::FindNext));
    EXPECT_EQ(info(), QString());
    EXPECT_TRUE(boxes_.isEmpty());
}

TEST_F(SearchCommandsTest, MarkingModesSetMarkBitsAndImages) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    // Mark while searching: each hit selected and marked.
    search({ICMP, 1, true});
    EXPECT_EQ(w->selected_row(), 16);
    main_->action(C::FindNext)->trigger();
    EXPECT_EQ(w->selected_row(), 17);
    EXPECT_EQ(marked_rows(w), std::vector<int>({16, 17}));

    // Mark all and finish: every hit from the selection on, the selection kept, no report.
    main_->action(C::UnmarkAll)->trigger();
    search({UDP, 1, false, true});
    EXPECT_EQ(w->selected_row(), 17);
    EXPECT_EQ(marked_rows(w), std::vector<int>({19, 20, 22, 29, 32}));
    EXPECT_FALSE(enabled(C::FindNext));
    EXPECT_EQ(info(), QString());

    // Nothing found while marking all: reported.
    search({ARP, 1, false, true});
    EXPECT_EQ(info(), not_found(w->title(), 18));
    EXPECT_EQ(marked_rows(w).size(), 5u);
}

TEST_F(SearchCommandsTest, AllWindowsSearchGoesOnUntilAHitOrTheOrigin) {
    CChildFrame* fddi = open(zgui::source_path("samples/fddi.zlc"));
    CChildFrame* null = open(zgui::source_path("samples/null.zlc"));
    CChildFrame* sample = open(zgui::sample_path());
    ASSERT_TRUE(fddi && null && sample);
    activate(fddi);
    search({SYN, 1, false, false, true});
    EXPECT_EQ(info(), not_found(fddi->title(), 1) + not_found(null->title(), 1));
    EXPECT_EQ(main_->activeChild(), sample);
    EXPECT_EQ(sample->selected_row(), 9);
    EXPECT_EQ(fddi->selected_row(), -1);
    EXPECT_EQ(null->selected_row(), -1);
    EXPECT_EQ(commands_->currentSlot(), app_->registry().SlotOf(sample));
    EXPECT_EQ(commands_->searchOrigin(), fddi);

    // Find next past the last hit reports and stops at the origin.
    clear_info();
    main_->action(C::FindNext)->trigger();
    main_->action(C::FindNext)->trigger();
    EXPECT_EQ(sample->selected_row(), 30);
    main_->action(C::FindNext)->trigger();
    settle(50);
    EXPECT_EQ(info(), not_found(sample->title(), 31));
    EXPECT_EQ(main_->activeChild(), sample);

    // Found nowhere: every window reports once, the round ends at the origin.
    clear_info();
    search({NOWHERE, 1, false, false, true});
    EXPECT_EQ(info(), not_found(sample->title(), 31) + not_found(fddi->title(), 1) + not_found(null->title(), 1));
    EXPECT_EQ(main_->activeChild(), null);

    // A window a capture runs into is passed over.
    clear_info();
    activate(fddi);
    start({SYN, 1, false, false, true});
    app_->registry().SetCaptureTarget(null);
    app_->setCaptureRunning(true);
    settle(50);
    app_->setCaptureRunning(false);
    app_->registry().SetCaptureTarget(nullptr);
    EXPECT_EQ(info(), not_found(fddi->title(), 1));
    EXPECT_EQ(main_->activeChild(), sample);
}

TEST_F(SearchCommandsTest, DialogsCloseWithTheirWindows) {
    CChildFrame* w = open(zgui::sample_path());
    CChildFrame* other = open(zgui::source_path("samples/null.zlc"));
    ASSERT_TRUE(w && other);
    activate(w);
    main_->action(C::Jump)->trigger();
    QPointer<CJumpDlg> sheet = commands_->jumpSheet(w);
    ASSERT_FALSE(sheet.isNull());
    main_->action(C::Jump)->trigger();  // one sheet per window
    EXPECT_EQ(commands_->jumpSheet(w), sheet.data());
    main_->action(C::Find)->trigger();
    QPointer<CSearchDlg> d = commands_->searchDialog();
    ASSERT_FALSE(d.isNull());

    // Any window's end closes the search dialog; a window's end closes its sheet.
    other->subWindow()->close();
    settle();
    EXPECT_TRUE(d.isNull());
    EXPECT_FALSE(sheet.isNull());
    w->subWindow()->close();
    settle();
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(commands_->searchOrigin(), nullptr);
}

TEST_F(SearchCommandsTest, JumpSheetGoesToNumbersAndMarks) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    main_->action(C::Jump)->trigger();
    QPointer<CJumpDlg> sheet = commands_->jumpSheet(w);
    ASSERT_FALSE(sheet.isNull());
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowTitle(), u("ｼﾞｬﾝﾌﾟ - ") + w->title());

    auto* number = child<QLineEdit>(sheet->numberPage(), "number");
    const std::pair<const char*, const char*> refused[] = {
        {"0", "番号(0)が不正です。(1-33)  "}, {"34", "番号(34)が不正です。(1-33)  "}, {"12a", "番号(12a)が不正です。(1-33)  "}};
    for (const auto& [text, message] : refused) {
        number->setText(text);
        click(sheet->numberPage(), "jump");
        EXPECT_EQ(boxes_.value(boxes_.size() - 1), u(message)) << text;
    }
    EXPECT_EQ(w->selected_row(), -1);
    number->setText("12");
    click(sheet->numberPage(), "jump");
    EXPECT_EQ(w->selected_row(), 11);
    EXPECT_EQ(w->treeView()->shownRow(), 11);
    EXPECT_EQ(w->search_state().last_hit, 11);

    // Marks at frames 5 and 21, set through the mark command.
    w->select_row(4, -1);
    main_->action(C::MarkSelected)->trigger();
    w->select_row(20, -1);
    main_->action(C::MarkSelected)->trigger();
    w->select_row(11, -1);
    CJumpMark* marks = sheet->markPage();
    click(marks, "down");
    EXPECT_EQ(w->selected_row(), 20);
    click(marks, "down");
    EXPECT_EQ(w->selected_row(), 20);
    EXPECT_EQ(info(), u("検索開始ﾌﾚｰﾑ : 22\r\nﾏｰｸしたﾌﾚｰﾑがありません。\r\n\r\n"));
    click(marks, "up");
    EXPECT_EQ(w->selected_row(), 4);
    EXPECT_EQ(boxes_.size(), 3);

    // Closing clears the window's reference; the command opens a new sheet.
    sheet->close();
    settle();
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(commands_->jumpSheet(w), nullptr);
    main_->action(C::Jump)->trigger();
    EXPECT_NE(commands_->jumpSheet(w), nullptr);
}

TEST_F(SearchCommandsTest, CaptureFilterCommandReloadsTheListAndOpensTheEditor) {
    {
        std::ofstream f(temp("capfil.dat").toStdString(), std::ios::binary);
        f << "\"lan\",\"net 192.168.10.0/24\"\r\n";
    }
    app_->captureFilters() = {{"stale", "tcp"}, {"old", "udp"}};
    int runs = 0;
    commands_->hooks().run_modal = [&](QDialog& dlg) {
        ++runs;
        EXPECT_EQ(dlg.parentWidget(), main_);
        EXPECT_EQ(dlg.windowTitle(), u("ﾌｨﾙﾀｰの編集"));
        auto* names = child<QListWidget>(&dlg, "names");
        ASSERT_EQ(names->count(), 1);
        EXPECT_EQ(names->item(0)->text(), "lan");
        EXPECT_EQ(child<QLineEdit>(&dlg, "expression")->text(), "net 192.168.10.0/24");
        child<QLineEdit>(&dlg, "name")->setText("web");
        child<QLineEdit>(&dlg, "expression")->setText("tcp port");
        click(&dlg, "add");  // libpcap refuses it
        child<QLineEdit>(&dlg, "expression")->setText("tcp port 80");
        click(&dlg, "add");
        click(&dlg, "cancel");
    };
    main_->action(C::CaptureFilter)->trigger();
    EXPECT_EQ(runs, 1);
    ASSERT_EQ(boxes_.size(), 1);
    EXPECT_TRUE(boxes_[0].startsWith(u("条件式に問題があります。  \nPCAP error : "))) << boxes_[0].toStdString();
    ASSERT_EQ(app_->captureFilters().size(), 2u);
    EXPECT_EQ(app_->captureFilters()[1].expression, "tcp port 80");
    EXPECT_EQ(read_file(temp("capfil.dat")), "\"lan\",\"net 192.168.10.0/24\"\r\n\"web\",\"tcp port 80\"\r\n");
}
