// The capture commands in the real main window: the settings dialog and the
// monitor through their widgets, and, where the process may capture, live
// captures on lo into a window, with datagrams the test sends to a port of its own.
#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "capture/capture_monitor.h"
#include "tests/gui/gui_support.h"
#include "tests/tsan/capture_harness.h"
#include "ui/capture_commands.h"
#include "ui/capture_monitor_dialog.h"
#include "ui/capture_settings_dialog.h"
#include "ui/document.h"
#include "ui/dump_view.h"
#include "ui/info_window.h"
#include "ui/list_view.h"
#include "ui/jump_dialog.h"
#include "ui/search_dialog.h"
#include "ui/search_commands.h"
#include "ui/tree_view.h"

using namespace zelpan;
using C = Command;

namespace {

QString u8(const char* s) { return QString::fromUtf8(s); }

// Handles events until done() holds or ms have passed.
bool wait_until(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return done();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

void write_text(const std::string& path, const std::string& content) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f << content;
}

void press(QWidget* w, int key) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &down);
}

#define NEED_LIVE_CAPTURE()                                 \
    do {                                                    \
        std::string why_ = ztc::live_capture_unavailable(); \
        if (!why_.empty()) GTEST_SKIP() << why_;            \
    } while (0)

// ---- the settings dialog on its own ----

class CaptureDialogsTest : public zgui::GuiTest {
protected:
    std::string dir() const { return dir_.path().toStdString(); }
    std::unique_ptr<CCaptureSettingsDlg> dialog(const CaptureSettings& stored,
                                                std::vector<CaptureDevice> devices = {{"lo", ""}, {"eth9", "Card"}},
                                                CCaptureSettingsDlg::Hooks hooks = {}) {
        if (!hooks.edit_filters) hooks.edit_filters = [](QWidget*, CaptureFilterList&, const std::string&) {};
        return std::make_unique<CCaptureSettingsDlg>(stored, std::move(devices), filters_, dir(), main_,
                                                     std::move(hooks));
    }
    CaptureFilterList filters_;
};

TEST_F(CaptureDialogsTest, TimeListsOpenFromTheStoredTimeAndChangeOneAtATime) {
    struct Case {
        uint32_t stored;
        const char* list;  // the one list changed
        int entry;
        QString hours, minutes, seconds;  // shown on opening
        uint32_t after;
    };
    const Case cases[] = {
        {5400, "stop_seconds", 1, "01", "30", "00", 5410},
        {3600, "stop_minutes", 1, "01", "00", "00", 4200},
        {0, "stop_hours", 6, "00", "00", "00", 21600},
        // Seven hours and more do not fit the hour list: it opens on "00".
        {7 * 3600 + 50, "stop_minutes", 5, "00", "00", "50", 3050},
        {23 * 3600 + 59 * 60 + 59, "stop_seconds", 0, "00", "50", "50", 3000},
    };
    for (const Case& c : cases) {
        CaptureSettings s;
        s.stop_time = c.stored;
        auto d = dialog(s);
        EXPECT_EQ(d->hours()->currentText(), c.hours) << c.stored;
        EXPECT_EQ(d->minutes()->currentText(), c.minutes) << c.stored;
        EXPECT_EQ(d->seconds()->currentText(), c.seconds) << c.stored;
        EXPECT_EQ(d->form().stop_time, c.stored) << "opening changes nothing";
        d->findChild<QComboBox*>(c.list)->setCurrentIndex(c.entry);
        EXPECT_EQ(d->form().stop_time, c.after) << c.stored << " " << c.list;
    }
}

TEST_F(CaptureDialogsTest, ListsAndStoredChoicesOnOpening) {
    CaptureSettings s;
    s.stop_method = 2;  // out of range: shown as 手動
    s.auto_save = 1;
    s.name_form = 3;  // out of range: the first form
    s.adapter = "eth9";
    s.filter = "tcp";
    auto d = dialog(s);
    EXPECT_EQ(d->windowTitle(), u8("ｱﾀﾞﾌﾟﾀｰの選択"));
    ASSERT_EQ(d->adapters()->count(), 2);
    EXPECT_EQ(d->adapters()->currentIndex(), 0);
    EXPECT_EQ(d->adapters()->itemText(1), u8("eth9 (Card)"));
    EXPECT_EQ(d->form().adapter, "") << "adapter and filter start empty";
    EXPECT_EQ(d->form().filter, "");
    EXPECT_EQ(d->stopMethod()->currentText(), u8("手動"));
    EXPECT_EQ(d->stopMethod()->count(), 2);
    EXPECT_EQ(d->hours()->count(), 7);
    EXPECT_EQ(d->minutes()->itemText(5), u8("50"));
    EXPECT_TRUE(d->autoSave()->isChecked());
    EXPECT_EQ(d->autoSave()->text(), u8("ON(&A)"));
    EXPECT_EQ(d->nameForm()->currentText(), u8("HHMMSSnn"));
    EXPECT_EQ(d->nameForm()->itemText(2), u8("YYYYMMDD_HHMMSS-nn"));
    EXPECT_EQ(d->filterNames()->currentText(), u8("適用しない"));
    EXPECT_TRUE(d->expression()->isReadOnly());
    EXPECT_EQ(d->editButton()->text(), u8("編集(&E)"));
    EXPECT_EQ(d->cancelButton()->text(), u8("ｷｬﾝｾﾙ"));
    // Centred over the main window.
    d->show();
    QCoreApplication::processEvents();
    QPoint dc = d->frameGeometry().center(), mc = main_->frameGeometry().center();
    EXPECT_LE(std::abs(dc.x() - mc.x()), 2);
    EXPECT_LE(std::abs(dc.y() - mc.y()), 2);
    d->reject();
}

TEST_F(CaptureDialogsTest, FilterNamesAndTheEditorRefill) {
    write_text(dir() + "/capfil.dat", "\"web\",\"tcp port 80\"\r\n\"dns\",\"udp port 53\"\r\n");
    int edits = 0;
    CCaptureSettingsDlg::Hooks hooks;
    std::function<void(CaptureFilterList&)> edit;
    hooks.edit_filters = [&](QWidget* parent, CaptureFilterList& list, const std::string& directory) {
        ++edits;
        EXPECT_EQ(directory, dir());
        EXPECT_NE(parent, nullptr);
        edit(list);
    };
    auto d = dialog({}, {{"lo", ""}}, hooks);
    QComboBox* names = d->filterNames();
    ASSERT_EQ(names->count(), 3);
    EXPECT_EQ(names->itemText(1), u8("web"));
    names->setCurrentIndex(2);
    EXPECT_EQ(d->expression()->toPlainText(), "udp port 53");
    EXPECT_EQ(d->form().filter, "udp port 53");
    // Editing keeps the index and takes the expression again from it.
    edit = [](CaptureFilterList& list) { list[1].expression = "udp port 5353"; };
    d->editButton()->click();
    EXPECT_EQ(edits, 1);
    EXPECT_EQ(names->currentIndex(), 2);
    EXPECT_EQ(d->form().filter, "udp port 5353");
    EXPECT_EQ(d->expression()->toPlainText(), "udp port 5353");
    // An index that is gone leaves nothing selected and no filter.
    edit = [](CaptureFilterList& list) { list.pop_back(); };
    d->editButton()->click();
    EXPECT_EQ(names->count(), 2);
    EXPECT_EQ(names->currentIndex(), -1);
    EXPECT_EQ(d->form().filter, "");
    EXPECT_EQ(d->expression()->toPlainText(), "");
    names->setCurrentIndex(0);
    EXPECT_EQ(d->form().filter, "");
}

TEST_F(CaptureDialogsTest, ConfirmAndCancel) {
    CaptureSettings stored;
    stored.stop_time = 600;
    stored.adapter = "old";
    {
        // Cancel: nothing reaches the engine.
        CaptureSettings s = stored;
        auto d = dialog(s);
        d->adapters()->setCurrentIndex(1);
        d->stopMethod()->setCurrentIndex(1);
        d->cancelButton()->click();
        EXPECT_FALSE(d->Confirm(s));
        EXPECT_EQ(s.adapter, "old");
        EXPECT_EQ(s.stop_method, 0);
    }
    {
        // OK with the second adapter: its name, not its label.
        CaptureSettings s = stored;
        auto d = dialog(s);
        d->adapters()->setCurrentIndex(1);
        d->stopMethod()->setCurrentIndex(1);
        d->autoSave()->setChecked(true);
        d->nameForm()->setCurrentIndex(2);
        d->okButton()->click();
        EXPECT_EQ(d->result(), QDialog::Accepted);
        ASSERT_TRUE(d->Confirm(s));
        EXPECT_EQ(s.adapter, "eth9");
        EXPECT_EQ(s.stop_method, 1);
        EXPECT_EQ(s.stop_time, 600u);
        EXPECT_EQ(s.auto_save, 1);
        EXPECT_EQ(s.name_form, 2);
    }
    {
        // 時間 with 00:00:00 is kept as 手動.
        CaptureSettings s = stored;
        auto d = dialog(s);
        d->stopMethod()->setCurrentIndex(1);
        d->minutes()->setCurrentIndex(0);
        d->okButton()->click();
        ASSERT_TRUE(d->Confirm(s));
        EXPECT_EQ(s.stop_time, 0u);
        EXPECT_EQ(s.stop_method, 0);
    }
    {
        // No adapter at all: OK ends the dialog as cancelled.
        CaptureSettings s = stored;
        auto d = dialog(s, {});
        d->okButton()->click();
        EXPECT_EQ(d->result(), QDialog::Rejected);
        EXPECT_FALSE(d->Confirm(s));
        EXPECT_EQ(s.adapter, "old");
    }
    {
        // Enter confirms only from the OK button; in a list it does nothing.
        CaptureSettings s = stored;
        auto d = dialog(s);
        d->show();
        d->activateWindow();
        d->hours()->setFocus();
        QCoreApplication::processEvents();
        press(d.get(), Qt::Key_Return);
        EXPECT_TRUE(d->isVisible());
        d->okButton()->setFocus();
        QCoreApplication::processEvents();
        ASSERT_EQ(d->focusWidget(), d->okButton());
        press(d.get(), Qt::Key_Return);
        EXPECT_EQ(d->result(), QDialog::Accepted);
        EXPECT_FALSE(d->isVisible());
    }
}

// ---- the monitor on its own ----

TEST_F(CaptureDialogsTest, MonitorTextsAndBars) {
    int stops = 0;
    bool running = true;
    auto* m = new CCaptureMonitorDlg(nullptr, [&] {
        ++stops;
        return running;
    });
    EXPECT_EQ(m->windowTitle(), u8("ｷｬﾌﾟﾁｬｰ"));
    EXPECT_FALSE(m->isModal());
    // Before the first refresh: the resource texts.
    EXPECT_EQ(m->label("byte_label")->text(), "5000");
    EXPECT_EQ(m->label("frame_label")->text(), "500");
    EXPECT_EQ(m->label("elapsed")->text(), "00.00.00.000");
    EXPECT_EQ(m->label("total_frames")->text(), "0");
    EXPECT_EQ(m->label("store_use")->text(), "      0.00 %");
    EXPECT_EQ(m->byteBarMaximum(), 5000);
    EXPECT_EQ(m->frameBarMaximum(), 500);
    std::vector<QString> captions;
    for (QGroupBox* g : m->findChildren<QGroupBox*>()) captions.push_back(g->title());
    EXPECT_EQ(captions, (std::vector<QString>{"Bytes/Second", "Frames/Second"}));

    MonitorReadings r;
    r.capacity = CAPTURE_STORE_CAPACITY;
    r.ticks = 75;
    r.frames_counted = 80;
    r.used_bytes = 80 * 16 + 8000 * 2;
    r.bytes_mark = r.frames_mark = 40;
    r.window_bytes = 8000;
    r.window_frames = 40;
    r.max_bytes = 8200;
    r.max_frames = 40;
    m->refresh(r);
    EXPECT_EQ(m->label("elapsed")->text(), "00:00:37.5");
    EXPECT_EQ(m->label("bytes_per_second")->text(), "        8000");
    EXPECT_EQ(m->label("max_bytes_per_second")->text(), "        8200");
    EXPECT_EQ(m->label("frames_per_second")->text(), "          40");
    EXPECT_EQ(m->label("total_bytes")->text(), "           16000");
    EXPECT_EQ(m->label("total_frames")->text(), "              80");
    EXPECT_EQ(m->label("store_use")->text(), "  0.14 %");
    // Above its range the byte bar is full and its label shows the maximum.
    EXPECT_EQ(m->byteBarPosition(), 5000);
    EXPECT_EQ(m->label("byte_label")->text(), "8200");
    EXPECT_EQ(m->frameBarPosition(), 40);
    EXPECT_EQ(m->label("frame_label")->text(), "500");
    // Nothing new since: both rates 0, the maxima stay.
    r.ticks = 76;
    m->refresh(r);
    EXPECT_EQ(m->label("bytes_per_second")->text(), "           0");
    EXPECT_EQ(m->label("max_bytes_per_second")->text(), "        8200");
    EXPECT_EQ(m->byteBarPosition(), 0);
    EXPECT_EQ(m->label("byte_label")->text(), "5000");

    // 停止 and Escape while a capture runs stop it; without one they close.
    QPointer<CCaptureMonitorDlg> alive(m);
    m->show();
    m->stopButton()->click();
    EXPECT_EQ(stops, 1);
    press(m, Qt::Key_Escape);
    EXPECT_EQ(stops, 2);
    settle();
    ASSERT_TRUE(alive);
    EXPECT_TRUE(m->isVisible()) << "the stop itself destroys it";
    running = false;
    m->stopButton()->click();
    settle();
    EXPECT_FALSE(alive);
}

// ---- the commands ----

class CaptureCommandsTest : public zgui::GuiTest {
protected:
    void SetUp() override {
        zgui::GuiTest::SetUp();
        capture_ = CCaptureCommands::instance();
        ASSERT_NE(capture_, nullptr);
        capture_->setDirectory(dir_.path().toStdString());
        CaptureHooks& h = capture_->hooks();
        h.exclamation = [this](QWidget*, const QString& t) { exclamations_ << t; };
        h.plain = [this](QWidget*, const QString& t) { plain_ << t; };
        h.devices = [this] { return devices_; };
        h.edit_filters = [this](QWidget*, CaptureFilterList& list, const std::string&) {
            list.push_back({"test", filter_});
        };
        h.run_settings = [this](CCaptureSettingsDlg& d) {
            ++settings_runs_;
            if (cancel_) {
                d.cancelButton()->click();
                return;
            }
            int i = d.adapters()->findData(QString::fromStdString(adapter_));
            if (i >= 0) d.adapters()->setCurrentIndex(i);
            if (!filter_.empty()) {
                d.editButton()->click();
                d.filterNames()->setCurrentIndex(d.filterNames()->count() - 1);
            }
            d.stopMethod()->setCurrentIndex(stop_method_);
            d.seconds()->setCurrentIndex(seconds_entry_);
            d.autoSave()->setChecked(auto_save_);
            d.okButton()->click();
        };
    }
    void TearDown() override {
        if (CInfoWnd* info = CInfoWnd::current()) info->close();
        zgui::GuiTest::TearDown();
    }

    // Starts on lo, filtered to the port, from a new window; the capture target.
    CChildFrame* start_on(const ztc::TestPort& port) {
        filter_ = port.filter();
        if (!main_->newDocument()) return nullptr;
        main_->action(C::CaptureStart)->trigger();
        return capture_->running() ? capture_->target() : nullptr;
    }
    QString info_text() const { return CInfoWnd::current() ? CInfoWnd::current()->text() : QString(); }

    CCaptureCommands* capture_ = nullptr;
    QStringList exclamations_, plain_;
    std::vector<CaptureDevice> devices_{{"lo", ""}};
    std::string adapter_ = "lo", filter_;
    int stop_method_ = 0, seconds_entry_ = 0;
    bool auto_save_ = false, cancel_ = false;
    int settings_runs_ = 0;
};

TEST_F(CaptureCommandsTest, NoEmptyWindowCancelAndStopWhileIdle) {
    CChildFrame* full = open(zgui::sample_path());
    ASSERT_NE(full, nullptr);
    const int rows = full->row_count();
    EXPECT_TRUE(main_->action(C::CaptureStart)->isEnabled());
    EXPECT_FALSE(main_->action(C::CaptureStop)->isEnabled());
    main_->action(C::CaptureStart)->trigger();
    EXPECT_EQ(exclamations_, QStringList{u8(NO_CAPTURE_WINDOW_TEXT)});
    EXPECT_EQ(settings_runs_, 0);
    EXPECT_EQ(app_->registry().CaptureTarget(), nullptr);

    // With a new window the command reaches the settings; cancelling starts nothing.
    CChildFrame* empty = main_->newDocument();
    ASSERT_NE(empty, nullptr);
    main_->mdiArea()->setActiveSubWindow(full->subWindow());
    cancel_ = true;
    main_->action(C::CaptureStart)->trigger();
    EXPECT_EQ(settings_runs_, 1);
    EXPECT_FALSE(capture_->running());
    EXPECT_FALSE(app_->captureRunning());
    EXPECT_EQ(app_->registry().CaptureTarget(), nullptr);
    EXPECT_EQ(capture_->monitor(), nullptr);
    EXPECT_FALSE(main_->captureTimer()->isActive());
    EXPECT_TRUE(plain_.isEmpty());
    // Stop while idle changes nothing.
    capture_->StopCaptureCommand();
    EXPECT_TRUE(main_->action(C::CaptureStart)->isEnabled());
    EXPECT_EQ(full->row_count(), rows);
    EXPECT_EQ(empty->row_count(), 0);
    // The search dialog open keeps the capture from starting.
    main_->mdiArea()->setActiveSubWindow(full->subWindow());
    main_->action(C::Find)->trigger();
    QPointer<CSearchDlg> search = OpenSearchDialog(*main_);
    ASSERT_TRUE(search);
    EXPECT_FALSE(main_->action(C::CaptureStart)->isEnabled());
    search->close();
    settle(10);
    EXPECT_TRUE(main_->action(C::CaptureStart)->isEnabled());
}

TEST_F(CaptureCommandsTest, StartFailuresShowTheirMessageAndLeaveNothingRunning) {
    // An adapter that does not exist fails whether or not the process may capture.
    devices_ = {{"zelpan-no-such-adapter", ""}};
    adapter_ = "zelpan-no-such-adapter";
    CChildFrame* w = main_->newDocument();
    ASSERT_NE(w, nullptr);
    main_->action(C::CaptureStart)->trigger();
    ASSERT_EQ(plain_.size(), 1);
    EXPECT_TRUE(plain_[0].startsWith(u8("Capture can't be started.  \nPCAP error: Error opening the adapter(1).  ")))
        << plain_[0].toStdString();
    EXPECT_FALSE(capture_->running());
    EXPECT_FALSE(app_->captureRunning());
    EXPECT_EQ(app_->registry().CaptureTarget(), nullptr);
    EXPECT_EQ(capture_->monitor(), nullptr);
    EXPECT_FALSE(main_->captureTimer()->isActive());
    EXPECT_TRUE(main_->action(C::CaptureStart)->isEnabled());
    EXPECT_EQ(w->row_count(), 0);
}

TEST_F(CaptureCommandsTest, FilterThatDoesNotCompile) {
    NEED_LIVE_CAPTURE();
    filter_ = "udp dst port";
    CChildFrame* w = main_->newDocument();
    ASSERT_NE(w, nullptr);
    main_->action(C::CaptureStart)->trigger();
    ASSERT_EQ(plain_.size(), 1);
    EXPECT_TRUE(plain_[0].startsWith(u8("Capture can't be started.  \nPCAP error : Error calling pcap_compile.  ")))
        << plain_[0].toStdString();
    EXPECT_FALSE(capture_->running());
    EXPECT_EQ(app_->registry().CaptureTarget(), nullptr);
    EXPECT_EQ(capture_->monitor(), nullptr);
    EXPECT_FALSE(main_->captureTimer()->isActive());
    EXPECT_TRUE(w->store().present()) << "the window keeps its new store";
    EXPECT_EQ(w->row_count(), 0);
}

TEST_F(CaptureCommandsTest, LiveCaptureShowsFramesAsTheyArriveAndSavesThem) {
    NEED_LIVE_CAPTURE();
    ztc::TestPort port;
    ASSERT_TRUE(port.ok());
    CChildFrame* other = open(zgui::sample_path());
    ASSERT_NE(other, nullptr);
    CChildFrame* w = start_on(port);
    ASSERT_NE(w, nullptr) << plain_.join("|").toStdString();
    EXPECT_EQ(capture_->target(), w);
    EXPECT_EQ(app_->registry().CaptureTarget(), static_cast<WindowRegistry::Window>(w));
    EXPECT_EQ(w->store().capacity(), CAPTURE_STORE_CAPACITY);
    ASSERT_NE(capture_->monitor(), nullptr);
    EXPECT_EQ(capture_->monitor()->parent(), w);
    EXPECT_TRUE(main_->captureTimer()->isActive());

    // Command states while the capture runs.
    for (C c : {C::Open, C::Save, C::SaveAs, C::SaveMarkedBinary, C::SaveMarkedText, C::Print, C::PrintPreview,
                C::PrintSetup, C::CaptureStart, C::MarkSelected, C::MarkAll, C::UnmarkAll, C::NewWindow})
        EXPECT_FALSE(main_->action(c)->isEnabled()) << int(c);
    EXPECT_TRUE(main_->action(C::CaptureStop)->isEnabled());

    // One at a time: each frame has its row before the next is sent.
    FrameListModel* model = w->listView()->frameModel();
    for (uint32_t i = 0; i < 5; ++i) {
        ASSERT_TRUE(port.send(i, 20 + i));
        ASSERT_TRUE(wait_until([&] { return w->row_count() == int(i + 1); })) << "frame " << i;
        // The view is told within its batching interval.
        EXPECT_TRUE(wait_until([&] { return model->rowCount() == int(i + 1); }, 200)) << "frame " << i;
        EXPECT_EQ(model->cellText(int(i), 0), QString::number(i + 1));
        EXPECT_EQ(model->cellText(int(i), 4), "UDP");
        EXPECT_TRUE(model->cellText(int(i), 5).contains(QString::number(port.port()))) << model->cellText(int(i), 5).toStdString();
    }
    // Bursts of 50, each within what the kernel's buffer holds for lo.
    const uint32_t total = 305;
    for (uint32_t i = 5; i < total; ++i) {
        ASSERT_TRUE(port.send(i, 100));
        if (i % 50 == 4) {
            ASSERT_TRUE(wait_until([&] { return w->row_count() == int(i + 1); })) << w->row_count();
        }
    }
    ASSERT_TRUE(wait_until([&] { return w->row_count() == int(total); })) << w->row_count();
    EXPECT_TRUE(wait_until([&] { return model->rowCount() == int(total); }, 200));
    port.drain();

    // The monitor counts them. The window's own timer may have ticked meanwhile.
    const uint32_t ticks = capture_->engine().ticks();
    capture_->Tick();
    capture_->Tick();
    capture_->Tick();
    CCaptureMonitorDlg* m = capture_->monitor();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->label("total_frames")->text(), QString::asprintf("%16u", total));
    const uint32_t half_seconds = ticks + 3;
    EXPECT_EQ(m->label("elapsed")->text(),
              QString::asprintf("00:00:%02u.%u", half_seconds / 2, half_seconds % 2 ? 5 : 0));
    const unsigned bytes = 5 * (42 + 20) + (0 + 1 + 2 + 3 + 4) + (total - 5) * (42 + 100);
    EXPECT_EQ(m->label("total_bytes")->text(), QString::asprintf("%16u", bytes));

    // Looking at a frame meanwhile, and marks do nothing on the target.
    w->listView()->SelectRow(2, -1, -1, -1);
    EXPECT_EQ(w->treeView()->shownRow(), 2);
    EXPECT_GT(w->treeView()->model()->rowCount(), 0);
    ASSERT_NE(w->dumpView()->bytes(), nullptr);
    EXPECT_EQ(ztc::frame_sequence(w->dumpView()->bytes(), 42 + 22), 2);
    w->markAllFrames();
    EXPECT_EQ(w->listView()->ShowMark(2, 4), -1);
    // The other window is not the target: a second window on it may still open.
    main_->mdiArea()->setActiveSubWindow(other->subWindow());
    EXPECT_TRUE(main_->action(C::NewWindow)->isEnabled());
    EXPECT_EQ(main_->openDocument(zgui::sample_path()), nullptr) << "nothing opens while capturing";

    // Stop: the rows mirror the counted frames.
    main_->action(C::CaptureStop)->trigger();
    EXPECT_FALSE(capture_->running());
    EXPECT_FALSE(app_->captureRunning());
    EXPECT_EQ(capture_->monitor(), nullptr);
    EXPECT_FALSE(main_->captureTimer()->isActive());
    EXPECT_EQ(app_->registry().CaptureTarget(), nullptr);
    EXPECT_TRUE(main_->action(C::CaptureStart)->isEnabled());
    EXPECT_TRUE(w->document()->modified());
    EXPECT_TRUE(info_text().isEmpty()) << "a stop reports nothing";
    settle(50);
    EXPECT_EQ(w->row_count(), int(total)) << "nothing after the stop";
    EXPECT_EQ(model->rowCount(), int(total));
    EXPECT_EQ(w->store().frame_count(), total);
    for (uint32_t i = 0; i < total; ++i) {
        const uint8_t* r = w->store().at(i);
        ASSERT_NE(r, nullptr);
        ASSERT_EQ(ztc::frame_sequence(record_bytes(r), record_length(r)), long(i));
        ASSERT_FALSE(w->store().marked(i));
    }

    // The document saves and reopens with the same frames.
    main_->mdiArea()->setActiveSubWindow(w->subWindow());
    EXPECT_TRUE(main_->action(C::SaveAs)->isEnabled());
    QString path = temp("captured.zlc");
    ASSERT_TRUE(main_->saveDocument(w, path));
    EXPECT_FALSE(w->document()->modified());
    zgui::LoadedFrames saved = zgui::load_frames(path);
    ASSERT_EQ(saved.message, "");
    EXPECT_EQ(saved.link_type, 1);
    ASSERT_EQ(saved.frames.size(), total);
    for (uint32_t i = 0; i < total; ++i) {
        const uint8_t* r = w->store().at(i);
        ASSERT_EQ(saved.frames[i], std::vector<uint8_t>(record_bytes(r), record_bytes(r) + record_length(r))) << i;
    }
    CChildFrame* again = open(path);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again->row_count(), int(total));
    EXPECT_EQ(again->listView()->frameModel()->cellText(7, 5), model->cellText(7, 5));
}

TEST_F(CaptureCommandsTest, ClosingWindowsStopsTheCapture) {
    NEED_LIVE_CAPTURE();
    ztc::TestPort port;
    ASSERT_TRUE(port.ok());
    {
        // The target: stopped before its question, so the frames can be saved.
        CChildFrame* w = start_on(port);
        ASSERT_NE(w, nullptr);
        for (uint32_t i = 0; i < 3; ++i) port.send(i, 30);
        ASSERT_TRUE(wait_until([&] { return w->row_count() == 3; }));
        QPointer<CChildFrame> alive(w);
        answers_ = {UiHooks::No};
        w->subWindow()->close();
        settle(20);
        EXPECT_FALSE(alive);
        EXPECT_EQ(questions_.size(), 1) << "the captured frames count as changes";
        EXPECT_FALSE(capture_->running());
        EXPECT_FALSE(app_->captureRunning());
        EXPECT_EQ(app_->registry().CaptureTarget(), nullptr);
        EXPECT_EQ(capture_->monitor(), nullptr);
        EXPECT_FALSE(main_->captureTimer()->isActive());
    }
    {
        // Cancelling the question keeps the window, stopped with its frames.
        CChildFrame* w = start_on(port);
        ASSERT_NE(w, nullptr);
        port.send(0, 30);
        ASSERT_TRUE(wait_until([&] { return w->row_count() == 1; }));
        answers_ = {UiHooks::Cancel};
        w->subWindow()->close();
        settle(20);
        EXPECT_FALSE(capture_->running());
        EXPECT_EQ(w->row_count(), 1);
        EXPECT_TRUE(w->document()->modified());
        w->document()->setModified(false);
        w->subWindow()->close();
        settle(20);
    }
    {
        // Any other window going stops it too.
        CChildFrame* other = open(zgui::sample_path());
        ASSERT_NE(other, nullptr);
        CChildFrame* w = start_on(port);
        ASSERT_NE(w, nullptr);
        ASSERT_NE(w, other);
        port.send(0, 30);
        ASSERT_TRUE(wait_until([&] { return w->row_count() == 1; }));
        other->subWindow()->close();
        settle(20);
        EXPECT_FALSE(capture_->running());
        EXPECT_EQ(capture_->monitor(), nullptr);
        EXPECT_TRUE(w->document()->modified());
        EXPECT_TRUE(main_->action(C::CaptureStart)->isEnabled());
        port.send(1, 30);
        settle(50);
        EXPECT_EQ(w->row_count(), 1);
    }
}

TEST_F(CaptureCommandsTest, MonitorStopAndProgramEnd) {
    NEED_LIVE_CAPTURE();
    ztc::TestPort port;
    ASSERT_TRUE(port.ok());
    CChildFrame* w = start_on(port);
    ASSERT_NE(w, nullptr);
    port.send(0, 30);
    ASSERT_TRUE(wait_until([&] { return w->row_count() == 1; }));
    // The monitor's 停止 is the stop command.
    QPointer<CCaptureMonitorDlg> m = capture_->monitor();
    ASSERT_TRUE(m);
    m->stopButton()->click();
    EXPECT_FALSE(capture_->running());
    EXPECT_EQ(capture_->monitor(), nullptr);
    EXPECT_TRUE(main_->action(C::CaptureStart)->isEnabled());
    EXPECT_TRUE(w->document()->modified());
    settle();
    EXPECT_FALSE(m);
    // Again into a new window; closing the main window stops it and asks about both.
    CChildFrame* second = start_on(port);
    ASSERT_NE(second, nullptr);
    ASSERT_NE(second, w);
    port.send(1, 30);
    ASSERT_TRUE(wait_until([&] { return second->row_count() == 1; }));
    answers_ = {UiHooks::No, UiHooks::No};
    main_->close();
    settle(20);
    EXPECT_FALSE(capture_->running());
    EXPECT_FALSE(app_->captureRunning());
    EXPECT_EQ(questions_.size(), 2);
    EXPECT_TRUE(main_->childWindows().isEmpty());
}

TEST_F(CaptureCommandsTest, MainWindowGoingWhileCapturing) {
    NEED_LIVE_CAPTURE();
    ztc::TestPort port;
    ASSERT_TRUE(port.ok());
    CChildFrame* w = start_on(port);
    ASSERT_NE(w, nullptr);
    for (uint32_t i = 0; i < 50; ++i) port.send(i, 30);
    // Left running, frames still on their way: the fixture deletes the main window,
    // whose windows stop the capture as they go.
    wait_until([&] { return w->row_count() > 10; });
}

TEST_F(CaptureCommandsTest, StopTimeEndsTheCaptureOnTheTwentiethTick) {
    NEED_LIVE_CAPTURE();
    ztc::TestPort port;
    ASSERT_TRUE(port.ok());
    stop_method_ = 1;
    seconds_entry_ = 1;  // 00:00:10
    CChildFrame* w = start_on(port);
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(capture_->engine().settings().stop_method, 1);
    EXPECT_EQ(capture_->engine().settings().stop_time, 10u);
    // The timer is driven by hand here.
    main_->stopCaptureTimer();
    for (int i = 1; i < 20; ++i) {
        capture_->Tick();
        ASSERT_TRUE(capture_->running()) << "tick " << i;
    }
    EXPECT_EQ(capture_->monitor()->label("elapsed")->text(), "00:00:09.5");
    capture_->Tick();
    EXPECT_FALSE(capture_->running());
    EXPECT_FALSE(app_->captureRunning());
    EXPECT_EQ(capture_->monitor(), nullptr);
    EXPECT_TRUE(main_->action(C::CaptureStart)->isEnabled());
    EXPECT_FALSE(w->document()->modified()) << "no rows, nothing changed";
    EXPECT_TRUE(info_text().isEmpty());
}

TEST_F(CaptureCommandsTest, FullStoreEndsTheCaptureWithItsReport) {
    NEED_LIVE_CAPTURE();
    ztc::TestPort port;
    ASSERT_TRUE(port.ok());
    // Room for a few frames of 16 + 42 + 500 bytes besides the reserve.
    capture_->engine().set_store_capacity(STORE_HEAD + CAPTURE_RESERVE + 4 * 558);
    CChildFrame* w = start_on(port);
    ASSERT_NE(w, nullptr);
    for (uint32_t i = 0; i < 20; ++i) port.send(i, 500);
    ASSERT_TRUE(wait_until([&] { return !capture_->running(); }));
    port.drain();
    settle(50);
    const int rows = w->row_count();
    EXPECT_GT(rows, 0);
    EXPECT_LT(rows, 20);
    EXPECT_EQ(w->store().frame_count(), uint32_t(rows));
    EXPECT_EQ(info_text(), QString::fromUtf8("ﾌﾚｰﾑﾊﾞｯﾌｧｵｰﾊﾞｰﾌﾛｰのため%1ﾌﾚｰﾑでｷｬﾌﾟﾁｬｰを中断しました。\r\n\r\n").arg(rows));
    EXPECT_FALSE(app_->captureRunning());
    EXPECT_EQ(capture_->monitor(), nullptr);
    EXPECT_FALSE(main_->captureTimer()->isActive());
    EXPECT_EQ(app_->registry().CaptureTarget(), nullptr);
    EXPECT_TRUE(w->document()->modified());
    EXPECT_TRUE(main_->action(C::CaptureStart)->isEnabled());
    for (int i = 0; i < rows; ++i)
        EXPECT_EQ(ztc::frame_sequence(record_bytes(w->store().at(uint32_t(i))), 42 + 500), i);
}

TEST_F(CaptureCommandsTest, FullStoreWithAutomaticSavingEmptiesTheListAndGoesOn) {
    NEED_LIVE_CAPTURE();
    ztc::TestPort port;
    ASSERT_TRUE(port.ok());
    capture_->engine().set_store_capacity(STORE_HEAD + CAPTURE_RESERVE + 4 * 558);
    auto_save_ = true;
    CChildFrame* w = start_on(port);
    ASSERT_NE(w, nullptr);
    int emptied = 0, most = 0;
    QObject::connect(w->listView()->frameModel(), &QAbstractItemModel::modelReset, w, [&] { ++emptied; });
    for (uint32_t i = 0; i < 20; ++i) {
        const int rows = w->row_count(), resets = emptied;
        port.send(i, 500);
        ASSERT_TRUE(wait_until([&] { return w->row_count() == rows + 1 || emptied > resets; })) << i;
        settle(5);  // an emptying right behind the frame
        most = std::max(most, rows + 1);
    }
    settle(50);
    EXPECT_TRUE(capture_->running()) << "automatic saving goes on";
    EXPECT_GT(emptied, 0);
    EXPECT_LT(most, 20);
    const int rows = w->row_count();
    ASSERT_GT(rows, 0);
    EXPECT_EQ(w->listView()->frameModel()->cellText(0, 0), "1") << "numbering starts again";
    main_->action(C::CaptureStop)->trigger();
    EXPECT_EQ(w->store().frame_count(), uint32_t(rows));
    // The files in the directory hold every frame, in order.
    QStringList files = QDir(dir_.path()).entryList({"*.zlc"}, QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 2);
    long next = 0;
    for (const QString& f : files) {
        zgui::LoadedFrames got = zgui::load_frames(dir_.filePath(f));
        ASSERT_EQ(got.message, "");
        for (const auto& bytes : got.frames) EXPECT_EQ(ztc::frame_sequence(bytes.data(), uint32_t(bytes.size())), next++);
    }
    EXPECT_EQ(next, 20);
}

}  // namespace
