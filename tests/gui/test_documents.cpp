// Documents through the main window's commands: open, new, save, save marked in
// both forms, the second window, closing a modified document, dropped files and
// the enabling of the commands.
#include <QFile>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMimeData>
#include <QSettings>
#include <QTest>
#include <QUrl>

#include "store/capture_file.h"
#include "store/text_export.h"
#include "tests/gui/gui_support.h"
#include "ui/document.h"
#include "ui/list_view.h"

using namespace zelpan;
using zgui::GuiTest;

namespace {

QByteArray file_bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void select_rows(CChildFrame* w, std::initializer_list<int> rows) {
    CZelListvw* list = w->listView();
    list->clearSelection();
    for (int r : rows)
        list->selectionModel()->select(list->model()->index(r, 0),
                                       QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

}  // namespace

TEST_F(GuiTest, StartsWithOneEmptyDocumentThatHasNoStore) {
    CChildFrame* w = main_->newDocument();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(w->row_count(), 0);
    EXPECT_FALSE(w->store().present());
    EXPECT_TRUE(w->title().startsWith("Zelpan"));
    EXPECT_EQ(app_->registry().At(1), w);
    EXPECT_FALSE(main_->action(Command::SaveAs)->isEnabled());
    EXPECT_FALSE(main_->action(Command::Print)->isEnabled());
    EXPECT_FALSE(main_->action(Command::MarkAll)->isEnabled());
    // Nothing to save: the message, and no file.
    main_->saveDocument(w, temp("x.zlc"));
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_EQ(messages_[0], QString::fromUtf8("保存するﾌﾚｰﾑﾃﾞｰﾀがありません。  "));
    EXPECT_FALSE(QFile::exists(temp("x.zlc")));
    // A second window needs frames.
    EXPECT_EQ(main_->openNewWindow(), nullptr);
    EXPECT_EQ(main_->childWindows().size(), 1);
}

TEST_F(GuiTest, OpenReportsFilesItCannotTakeAndOpensTheOthers) {
    QFile text(temp("notes.txt"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("this is not a capture file at all, just some words\n");
    text.close();
    QString missing = temp("missing.zlc");
    open_answer_ = {zgui::sample_path(), temp("notes.txt"), missing, zgui::source_path("samples/null.zlc")};
    main_->action(Command::Open)->trigger();
    for (CChildFrame* w : main_->childWindows()) w->listView()->finishFill();
    ASSERT_EQ(main_->childWindows().size(), 2);
    EXPECT_EQ(main_->childWindows()[0]->title(), "sample.zlc");
    EXPECT_EQ(main_->childWindows()[1]->title(), "null.zlc");
    EXPECT_EQ(main_->childWindows()[1]->context().link_type, 0);
    ASSERT_EQ(messages_.size(), 2);
    EXPECT_EQ(messages_[0], QString::fromUtf8("zelpanで解釈できないﾌｧｲﾙ形式です。 "));
    EXPECT_EQ(messages_[1], missing + " can't opened.  ");
    // Opened files lead the recent-file list (4 at most).
    QStringList recent = app_->recentFiles();
    ASSERT_EQ(recent.size(), 2);
    EXPECT_TRUE(recent[0].endsWith("null.zlc"));
    for (int i = 0; i < 5; ++i) app_->addRecentFile(temp(QString("r%1.zlc").arg(i)));
    EXPECT_EQ(app_->recentFiles().size(), CZelpanApp::RECENT_FILES);
    EXPECT_EQ(QSettings("Veltor", "Zelpan").value("Recent File List/File1").toString(), temp("r4.zlc"));
    // Opening a document again brings its window forward.
    EXPECT_EQ(main_->openDocument(zgui::sample_path()), main_->childWindows()[0]);
    EXPECT_EQ(main_->childWindows().size(), 2);
}

TEST_F(GuiTest, SaveAsWritesEveryFrameAndRenamesTheDocument) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    w->document()->setModified(true);
    EXPECT_TRUE(main_->action(Command::SaveAs)->isEnabled());
    save_answers_ = {temp("copy.zlc")};
    main_->action(Command::SaveAs)->trigger();
    ASSERT_EQ(save_requests_.size(), 1u);
    EXPECT_EQ(save_requests_[0].suffix, "zlc");
    EXPECT_EQ(save_requests_[0].filter, QString::fromUtf8("Zelpan ﾌｧｲﾙ (*.zlc);;全てのﾌｧｲﾙ (*.*)"));
    zgui::LoadedFrames a = zgui::load_frames(zgui::sample_path()), b = zgui::load_frames(temp("copy.zlc"));
    ASSERT_EQ(b.message, "");
    EXPECT_EQ(b.frames, a.frames);
    EXPECT_EQ(w->title(), "copy.zlc");
    EXPECT_FALSE(w->document()->modified());
    EXPECT_TRUE(messages_.isEmpty());
    // A write that fails says so and keeps the modified flag.
    w->document()->setModified(true);
    EXPECT_FALSE(main_->saveDocument(w, temp("no/such/dir/x.zlc")));
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].contains("can't"));
    EXPECT_TRUE(w->document()->modified());
}

TEST_F(GuiTest, SaveMarkedInCaptureFormWritesTheMarkedFramesOrAsks) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    zgui::LoadedFrames all = zgui::load_frames(zgui::sample_path());

    // No marks, answer No: nothing is written.
    answers_ = {UiHooks::No};
    save_answers_ = {temp("none.zlc")};
    main_->action(Command::SaveMarkedBinary)->trigger();
    ASSERT_EQ(questions_.size(), 1);
    EXPECT_EQ(questions_[0], QString::fromUtf8("ﾏｰｸしたﾌﾚｰﾑﾃﾞｰﾀがありません。  \n全ﾌﾚｰﾑﾃﾞｰﾀを保存しますか？  "));
    EXPECT_TRUE(save_requests_.empty());
    EXPECT_FALSE(QFile::exists(temp("none.zlc")));

    // No marks, answer Yes: every frame.
    answers_ = {UiHooks::Yes};
    save_answers_ = {temp("all.zlc")};
    main_->action(Command::SaveMarkedBinary)->trigger();
    ASSERT_EQ(save_requests_.size(), 1u);
    EXPECT_EQ(save_requests_[0].initial, "sample.zlc");
    EXPECT_EQ(zgui::load_frames(temp("all.zlc")).frames, all.frames);

    // Frames 2 and 5 marked: only those, without a question; the name stays.
    select_rows(w, {1, 4});
    main_->action(Command::MarkSelected)->trigger();
    save_answers_ = {temp("marked.zlc")};
    main_->action(Command::SaveMarkedBinary)->trigger();
    EXPECT_EQ(questions_.size(), 2);
    zgui::LoadedFrames marked = zgui::load_frames(temp("marked.zlc"));
    ASSERT_EQ(marked.frames.size(), 2u);
    EXPECT_EQ(marked.frames[0], all.frames[1]);
    EXPECT_EQ(marked.frames[1], all.frames[4]);
    EXPECT_EQ(w->title(), "sample.zlc");
    // A cancelled dialog writes nothing.
    main_->action(Command::SaveMarkedBinary)->trigger();
    EXPECT_EQ(save_requests_.size(), 3u);
}

TEST_F(GuiTest, SaveMarkedAsTextWritesTheExportOfTheMarkedFrames) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    FrameStore store;
    int32_t link = 1;
    ASSERT_EQ(LoadCaptureFile(zgui::sample_path().toStdString(), store, link), "");
    DecodeContext c;
    c.link_type = link;
    c.mode = MODE_DISPLAY;
    DecodeContext* before = current_context();
    make_current(&c);

    // No marks, Yes: all frames, as the core's export writes them.
    answers_ = {UiHooks::Yes};
    save_answers_ = {temp("all.txt")};
    main_->action(Command::SaveMarkedText)->trigger();
    ASSERT_EQ(save_requests_.size(), 1u);
    EXPECT_EQ(save_requests_[0].initial, "sample.txt");
    EXPECT_EQ(save_requests_[0].suffix, "txt");
    EXPECT_EQ(save_requests_[0].filter, QString::fromUtf8("ﾃｷｽﾄ ﾌｧｲﾙ (*.txt);;全てのﾌｧｲﾙ (*.*)"));
    make_current(&c);
    ASSERT_EQ(ExportFramesAsText(temp("want_all.txt").toStdString(), store, false), "");
    QByteArray got = file_bytes(temp("all.txt"));
    ASSERT_FALSE(got.isEmpty());
    // The file starts with its own path; compare after that line.
    QByteArray want = file_bytes(temp("want_all.txt"));
    EXPECT_EQ(got.mid(got.indexOf("\r\n")), want.mid(want.indexOf("\r\n")));
    EXPECT_TRUE(got.startsWith(temp("all.txt").toUtf8() + "\r\n\r\n\r\n"));
    EXPECT_TRUE(got.contains("Frame No. 33\r\n"));

    // No marks, No: nothing.
    answers_ = {UiHooks::No};
    save_answers_ = {temp("none.txt")};
    main_->action(Command::SaveMarkedText)->trigger();
    EXPECT_FALSE(QFile::exists(temp("none.txt")));

    // Frames 2 and 5 marked: their headings keep their numbers.
    select_rows(w, {1, 4});
    main_->action(Command::MarkSelected)->trigger();
    save_answers_ = {temp("marked.txt")};
    main_->action(Command::SaveMarkedText)->trigger();
    store.set_marked(1, true);
    store.set_marked(4, true);
    make_current(&c);
    ASSERT_EQ(ExportFramesAsText(temp("want_marked.txt").toStdString(), store, true), "");
    make_current(before);
    got = file_bytes(temp("marked.txt"));
    want = file_bytes(temp("want_marked.txt"));
    EXPECT_EQ(got.mid(got.indexOf("\r\n")), want.mid(want.indexOf("\r\n")));
    EXPECT_TRUE(got.contains("Frame No. 2\r\n"));
    EXPECT_TRUE(got.contains("Frame No. 5\r\n"));
    EXPECT_FALSE(got.contains("Frame No. 1\r\n"));
    EXPECT_EQ(w->busyIndicator(), nullptr);
}

TEST(TextFileName, TakesThePartBeforeTheLastDot) {
    struct {
        const char* title;
        const char* name;
    } cases[] = {{"abc.zlc", "abc.txt"}, {"abc", "abc"}, {".zlc", ".zlc"},
                 {"a.b.zlc", "a.b.txt"}, {"abc.zlc:2", "abc.txt"}, {"x.", "x.txt"}};
    for (const auto& c : cases) EXPECT_EQ(CMainFrame::textFileName(c.title), c.name) << c.title;
}

TEST_F(GuiTest, SecondWindowCopiesTheStoreWithItsMarks) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    w->store().set_marked(1, true);
    w->store().set_marked(4, true);
    main_->action(Command::NewWindow)->trigger();
    ASSERT_EQ(main_->childWindows().size(), 2);
    CChildFrame* second = main_->childWindows()[1];
    second->listView()->finishFill();
    EXPECT_EQ(second->document(), w->document());
    EXPECT_EQ(w->title(), "sample.zlc:1");
    EXPECT_EQ(second->title(), "sample.zlc:2");
    EXPECT_EQ(app_->registry().At(2), second);
    ASSERT_EQ(second->row_count(), 33);
    EXPECT_NE(second->store().block(), w->store().block());
    EXPECT_EQ(second->store().capacity(), w->store().capacity());
    FrameListModel* a = w->listView()->frameModel();
    FrameListModel* b = second->listView()->frameModel();
    for (int r = 0; r < 33; ++r) {
        for (int c = 0; c < 6; ++c) EXPECT_EQ(b->cellText(r, c), a->cellText(r, c));
        EXPECT_EQ(second->listView()->ShowMark(r, 4), (r == 1 || r == 4) ? 1 : -1) << r;
    }
    // Marks are per window from now on.
    second->store().set_marked(7, true);
    EXPECT_FALSE(w->store().marked(7));
    // Closing one leaves the other with the plain title and moves it to slot 1.
    w->subWindow()->close();
    settle();
    EXPECT_EQ(second->title(), "sample.zlc");
    EXPECT_EQ(app_->registry().At(1), second);
}

TEST_F(GuiTest, ClosingAModifiedDocumentAsksWhetherToSave) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    w->document()->setModified(true);
    EXPECT_TRUE(w->subWindow()->isWindowModified());

    answers_ = {UiHooks::Cancel};
    EXPECT_FALSE(w->subWindow()->close());
    ASSERT_EQ(questions_.size(), 1);
    EXPECT_EQ(questions_[0], QString::fromUtf8("sample.zlc への変更を保存しますか?"));
    EXPECT_EQ(main_->childWindows().size(), 1);

    // Yes on an untitled document asks for a name and saves there.
    CChildFrame* fresh = main_->newDocument();
    ASSERT_TRUE(fresh->copyStoreFrom(*w));
    fresh->listView()->FillFromStore(true);
    fresh->document()->setModified(true);
    answers_ = {UiHooks::Yes};
    save_answers_ = {temp("saved.zlc")};
    EXPECT_TRUE(fresh->subWindow()->close());
    settle();
    EXPECT_EQ(zgui::load_frames(temp("saved.zlc")).frames.size(), 33u);

    // The main window asks for each modified document; Cancel keeps it open.
    answers_ = {UiHooks::Cancel};
    EXPECT_FALSE(main_->close());
    EXPECT_EQ(main_->childWindows().size(), 1);
    answers_ = {UiHooks::No};
    EXPECT_TRUE(w->subWindow()->close());
    settle();
    EXPECT_TRUE(main_->childWindows().isEmpty());
    EXPECT_EQ(app_->registry().At(1), nullptr);
    // An unmodified document closes without a question.
    int asked = questions_.size();
    CChildFrame* again = open(zgui::sample_path());
    again->subWindow()->close();
    settle();
    EXPECT_EQ(questions_.size(), asked);
}

TEST_F(GuiTest, DroppedFilesAreOpened) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(zgui::sample_path()), QUrl::fromLocalFile(zgui::source_path("samples/null.zlc")),
                  QUrl::fromLocalFile(zgui::source_path("samples/fddi.zlc"))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main_, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(main_, &drop);
    ASSERT_EQ(main_->childWindows().size(), 3);
    EXPECT_EQ(main_->childWindows()[2]->context().link_type, 10);
}

TEST_F(GuiTest, CommandsFollowTheEnablingRules) {
    using C = Command;
    // No document: the menus of an empty main window.
    EXPECT_FALSE(main_->menu("menu_edit")->menuAction()->isVisible());
    EXPECT_FALSE(main_->action(C::Close)->isVisible());
    EXPECT_TRUE(main_->action(C::Open)->isEnabled());
    EXPECT_TRUE(main_->action(C::PrintSetup)->isEnabled());
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(main_->menu("menu_edit")->menuAction()->isVisible());
    for (C c : {C::SaveAs, C::SaveMarkedBinary, C::SaveMarkedText, C::Print, C::PrintPreview, C::MarkSelected,
                C::MarkAll, C::UnmarkAll, C::NewWindow, C::Close, C::Statistics, C::TcpStream})
        EXPECT_TRUE(main_->action(c)->isEnabled()) << int(c);
    // Present but disabled here: no capture runs, no search was made yet, and
    // help has no handler.
    for (C c : {C::CaptureStop, C::FindNext, C::HelpTopics})
        EXPECT_FALSE(main_->action(c)->isEnabled()) << int(c);
    int called = 0;
    main_->setCommandHandler(C::Find, [&called] { ++called; }, [w] { return w->row_count() > 0; });
    EXPECT_TRUE(main_->action(C::Find)->isEnabled());
    main_->action(C::Find)->trigger();
    EXPECT_EQ(called, 1);
    main_->setCommandHandler(C::Find, {}, {});
    EXPECT_FALSE(main_->action(C::Find)->isEnabled());
    // While a capture runs, the document commands are off.
    app_->setCaptureRunning(true);
    main_->updateCommandStates();
    for (C c : {C::Open, C::SaveAs, C::SaveMarkedBinary, C::Print, C::PrintSetup, C::MarkAll, C::Statistics,
                C::TcpStream})
        EXPECT_FALSE(main_->action(c)->isEnabled()) << int(c);
    app_->setCaptureRunning(false);
    main_->updateCommandStates();
    // An empty window as the active one: nothing to save or print.
    main_->newDocument();
    EXPECT_FALSE(main_->action(C::SaveAs)->isEnabled());
    EXPECT_FALSE(main_->action(C::Print)->isEnabled());
    EXPECT_FALSE(main_->action(C::Statistics)->isEnabled());
    EXPECT_FALSE(main_->action(C::TcpStream)->isEnabled());
}
