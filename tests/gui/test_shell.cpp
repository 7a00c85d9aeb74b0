// The shell around the documents: menus and shortcuts, the about box, the pane
// arrangement, the information window, the busy indicator and the registry slots.
#include <QApplication>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>

#include "tests/gui/gui_support.h"
#include "ui/document.h"
#include "ui/info_window.h"
#include "ui/list_view.h"
#include "ui/dump_view.h"
#include "ui/tree_view.h"
#include "zelpan_version.h"

using namespace zelpan;
using zgui::GuiTest;

namespace {

QStringList texts(QMenu* m) {
    QStringList out;
    for (QAction* a : m->actions()) {
        if (a->isSeparator() || !a->isVisible()) continue;
        QString t = a->text();
        if (!a->shortcut().isEmpty()) t += "\t" + a->shortcut().toString();
        out << t;
    }
    return out;
}

}  // namespace

TEST(About, VersionTextFromTheFourVersionParts) {
    EXPECT_EQ(VersionText(1, 2, 3, 1106), "Version 1.02.03(B06)");
    EXPECT_EQ(VersionText(2, 10, 0, 905), "Version 2.10.00(905)");
    EXPECT_EQ(VersionText(1, 0, 0, 100), "Version 1.00.00(100)");
    CAboutDlg about;
    EXPECT_EQ(about.windowTitle(), QString::fromUtf8("Zelpanのﾊﾞｰｼﾞｮﾝ情報"));
    EXPECT_EQ(about.versionText(), VersionText(ZELPAN_VERSION_MAJOR, ZELPAN_VERSION_MINOR, ZELPAN_VERSION_PATCH,
                                               ZELPAN_VERSION_TWEAK));
}

TEST_F(GuiTest, MenusHoldEveryItemWithItsShortcut) {
    open(zgui::sample_path());
    const QStringList top = {"ﾌｧｲﾙ(&F)", "ｷｬﾌﾟﾁｬｰ(&C)", "編集(&E)", "表示(&V)", "ｳｨﾝﾄﾞｳ(&W)", "ﾍﾙﾌﾟ(&H)"};
    QStringList bar;
    for (QAction* a : main_->menuBar()->actions())
        if (a->isVisible()) bar << a->text();
    EXPECT_EQ(bar, top);
    QStringList file = texts(main_->menu("menu_file"));
    QStringList want_file = {"新規作成(&N)\tCtrl+N", "開く(&O)...\tCtrl+O", "閉じる(&C)", "名前を付けて保存(&A)...",
                             "ﾏｰｸしたﾌﾚｰﾑを保存(&M)", "印刷(&P)...\tCtrl+P", "印刷ﾌﾟﾚﾋﾞｭｰ(&V)", "ﾌﾟﾘﾝﾀの設定(&R)..."};
    ASSERT_GE(file.size(), want_file.size() + 1);
    EXPECT_EQ(file.mid(0, want_file.size()), want_file);
    EXPECT_TRUE(file[want_file.size()].startsWith("&1 ")) << file[want_file.size()].toStdString();
    EXPECT_EQ(file.last(), "ｱﾌﾟﾘｹｰｼｮﾝの終了(&X)");
    EXPECT_EQ(texts(main_->menu("menu_save_marked")), QStringList({"ﾊﾞｲﾅﾘｰ形式で保存(&B)...", "ﾃｷｽﾄ形式で保存(&T)..."}));
    EXPECT_EQ(texts(main_->menu("menu_capture")), QStringList({"開始(&K)...\tCtrl+K", "停止(&S)", "統計(&T)..."}));
    EXPECT_EQ(texts(main_->menu("menu_edit")),
              QStringList({"選択ﾌﾚｰﾑをﾏｰｸ(&M)\tCtrl+M", "全ﾌﾚｰﾑをﾏｰｸ(&A)", "全ﾌﾚｰﾑのﾏｰｸ解除(&U)", "検索(&F)...\tCtrl+F",
                           "次の検索\tF3", "ｼﾞｬﾝﾌﾟ(&G)...\tCtrl+G", "ｷｬﾌﾟﾁｬｰﾌｨﾙﾀｰ(&C)...", "TCPﾃﾞｰﾀｽﾄﾘｰﾑ(&T)...\tCtrl+T"}));
    EXPECT_EQ(texts(main_->menu("menu_view")), QStringList({"ﾂｰﾙ ﾊﾞｰ(&T)", "ｽﾃｰﾀｽ ﾊﾞｰ(&S)"}));
    QStringList window = texts(main_->menu("menu_window"));
    EXPECT_EQ(window.mid(0, 4), QStringList({"新しいｳｨﾝﾄﾞｳを開く(&N)", "重ねて表示(&C)", "並べて表示(&T)", "ｱｲｺﾝの整列(&A)"}));
    EXPECT_EQ(texts(main_->menu("menu_help")), QStringList({"ﾄﾋﾟｯｸの検索(&H)\tF1", "Zelpan のﾊﾞｰｼﾞｮﾝ情報(&A)..."}));
    // Keys without a menu item, and the toolbar in its order.
    EXPECT_EQ(main_->action(Command::Save)->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    EXPECT_EQ(main_->action(Command::NextPane)->shortcut(), QKeySequence(Qt::Key_F6));
    EXPECT_EQ(main_->action(Command::PreviousPane)->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_F6));
    QList<QAction*> tools = main_->findChild<QToolBar*>("toolbar")->actions();
    QList<QAction*> want_tools;
    for (Command c : {Command::New, Command::Open, Command::Print, Command::CaptureStart, Command::CaptureStop,
                      Command::Statistics, Command::Find, Command::FindNext, Command::About, Command::ContextHelp})
        want_tools << main_->action(c);
    tools.removeIf([](QAction* a) { return a->isSeparator(); });
    EXPECT_EQ(tools, want_tools);
    EXPECT_EQ(main_->action(Command::CaptureStart)->statusTip(), QString::fromUtf8("ﾌﾚｰﾑのｷｬﾌﾟﾁｬｰを開始する"));
    EXPECT_EQ(main_->action(Command::CaptureStart)->toolTip(), QString::fromUtf8("ｷｬﾌﾟﾁｬｰ開始"));
    for (const char* name : {"ｶﾅ", "CAP", "NUM", "SCRL"})
        EXPECT_NE(main_->statusBar()->findChild<QWidget*>(QStringLiteral("indicator_") + QString::fromUtf8(name)),
                  nullptr);
}

TEST_F(GuiTest, ChildWindowStacksItsPanesAtFortyTwoThirtySixAndTwentyTwo) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    QSize area = main_->mdiArea()->viewport()->size();
    QSize sub = w->subWindow()->size();
    EXPECT_NEAR(sub.width(), area.width() * 3 / 4, 2);
    EXPECT_NEAR(sub.height(), area.height() * 3 / 4, 2);
    QList<int> outer = w->outerSplitter()->sizes(), inner = w->innerSplitter()->sizes();
    ASSERT_EQ(outer.size(), 2);
    ASSERT_EQ(inner.size(), 2);
    double total = outer[0] + inner[0] + inner[1];
    EXPECT_NEAR(outer[0] / total, 0.42, 0.03);
    EXPECT_NEAR(inner[0] / total, 0.36, 0.03);
    EXPECT_NEAR(inner[1] / total, 0.22, 0.03);
    // F6 walks the panes.
    main_->activateWindow();
    QApplication::setActiveWindow(main_);
    w->listView()->setFocus();
    ASSERT_TRUE(w->listView()->hasFocus());
    main_->action(Command::NextPane)->trigger();
    EXPECT_TRUE(w->treeView()->hasFocus());
    main_->action(Command::NextPane)->trigger();
    EXPECT_TRUE(w->dumpView()->hasFocus());
    main_->action(Command::NextPane)->trigger();
    EXPECT_TRUE(w->listView()->hasFocus());
    main_->action(Command::PreviousPane)->trigger();
    EXPECT_TRUE(w->dumpView()->hasFocus());
}

TEST_F(GuiTest, InformationWindowCollectsMessagesUntilClosed) {
    ShowMessage("first");
    ShowMessage(QString::fromUtf8("二つ目"));
    CInfoWnd* info = CInfoWnd::current();
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->windowTitle(), "Zelpan - Information");
    EXPECT_FALSE(info->isModal());
    EXPECT_EQ(info->text(), QString::fromUtf8("first\r\n二つ目\r\n"));
    info->close();
    settle();
    EXPECT_EQ(CInfoWnd::current(), nullptr);
    ShowMessage("again");
    ASSERT_NE(CInfoWnd::current(), nullptr);
    EXPECT_EQ(CInfoWnd::current()->text(), "again\r\n");
}

TEST_F(GuiTest, CaptureTimerTicksEveryHalfSecondIntoItsReceiver) {
    EXPECT_EQ(main_->captureTimer()->interval(), 500);
    main_->startCaptureTimer();
    QTest::qWait(600);  // no receiver yet: nothing happens
    int ticks = 0;
    main_->setCaptureTick([&ticks] { ++ticks; });
    QTest::qWait(1100);
    main_->stopCaptureTimer();
    EXPECT_GE(ticks, 1);
    EXPECT_LE(ticks, 3);
    int stopped = ticks;
    QTest::qWait(600);
    EXPECT_EQ(ticks, stopped);
    main_->setCaptureTick({});
}

TEST_F(GuiTest, BusyIndicatorComesAndGoesWithItsWindow) {
    CChildFrame* w = main_->newDocument();
    w->ShowBusy();
    CBusyDlg* busy = w->busyIndicator();
    ASSERT_NE(busy, nullptr);
    EXPECT_EQ(busy->windowTitle(), "Zelpan");
    EXPECT_NE(busy->findChild<QLabel*>(), nullptr);
    EXPECT_EQ(busy->findChild<QLabel*>()->text(), QString::fromUtf8("しばらくお待ちください"));
    EXPECT_FALSE(busy->isModal());
    w->ShowBusy();
    EXPECT_EQ(w->busyIndicator(), busy);
    EXPECT_FALSE(busy->progressShown());
    w->busyProgress(5, 10);
    EXPECT_TRUE(busy->progressShown());
    w->HideBusy();
    EXPECT_EQ(w->busyIndicator(), nullptr);
}

TEST_F(GuiTest, WindowsTakeRegistrySlotsInOrderAndASixtyFourthIsRefused) {
    std::vector<CChildFrame*> windows;
    for (int i = 0; i < WindowRegistry::SLOTS - 1; ++i) {
        CChildFrame* w = main_->newDocument();
        ASSERT_NE(w, nullptr) << i;
        windows.push_back(w);
    }
    EXPECT_EQ(app_->registry().At(63), windows.back());
    EXPECT_EQ(main_->newDocument(), nullptr);
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_EQ(messages_[0], QString::fromUtf8("これ以上ｳｨﾝﾄﾞｳを開けません。  "));
    EXPECT_EQ(main_->childWindows().size(), 63);
    windows.front()->subWindow()->close();
    settle();
    EXPECT_EQ(app_->registry().At(1), windows[1]);
    EXPECT_EQ(app_->registry().At(63), nullptr);
}
