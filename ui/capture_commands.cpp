// The capture start and stop commands of the main window.
#include "ui/capture_commands.h"
#include "ui/dialog_util.h"

#include <QMdiArea>
#include <QMessageBox>
#include <QMetaObject>

#include "ui/app.h"
#include "ui/capture_monitor_dialog.h"
#include "ui/capture_settings_dialog.h"
#include "ui/child_frame.h"
#include "ui/document.h"
#include "ui/filter_edit_dialog.h"
#include "ui/info_window.h"
#include "ui/list_view.h"
#include "ui/main_frame.h"
#include "ui/jump_dialog.h"
#include "ui/search_dialog.h"
#include "ui/search_commands.h"
#include "ui/stats_commands.h"

namespace zelpan {

namespace {

CCaptureCommands* the_instance = nullptr;

}  // namespace

CaptureHooks CaptureHooks::standard() {
    CaptureHooks h;
    h.run_settings = [](CCaptureSettingsDlg& d) { d.exec(); };
    h.edit_filters = [](QWidget* parent, CaptureFilterList& list, const std::string& directory) {
        CFilterEditDlg editor(list, directory, parent);
        editor.exec();
    };
    h.devices = [] { return ListCaptureDevices(); };
    h.exclamation = [](QWidget* parent, const QString& text) { message_box(parent, text, QMessageBox::Warning); };
    h.plain = [](QWidget* parent, const QString& text) { message_box(parent, text, QMessageBox::NoIcon); };
    return h;
}

int RunCaptureSettings(CaptureSettings& settings, const std::string& directory, QWidget* parent,
                       const CaptureHooks& hooks) {
    CZelpanApp* app = CZelpanApp::instance();
    CaptureFilterList own;
    CaptureFilterList& filters = app ? app->captureFilters() : own;
    CCaptureSettingsDlg dialog(settings, hooks.devices ? hooks.devices() : ListCaptureDevices(), filters, directory,
                               parent, {hooks.edit_filters});
    if (hooks.run_settings)
        hooks.run_settings(dialog);
    else
        dialog.exec();
    return dialog.Confirm(settings) ? 1 : 0;
}

// The capture thread's side: each hand-off is queued to the UI thread and the call
// returns at once; the engine waits for FrameTaken, never for this thread.
class CCaptureCommands::Sink : public CaptureSink {
public:
    explicit Sink(CCaptureCommands* owner) : owner_(owner) {}
    void PostFrame(const FrameListUpdate& u) override {
        QMetaObject::invokeMethod(owner_, [o = owner_, u] { o->takeFrame(u); }, Qt::QueuedConnection);
    }
    void PostEnd(const CaptureEnd& e) override {
        QMetaObject::invokeMethod(owner_, [o = owner_, e] { o->takeEnd(e); }, Qt::QueuedConnection);
    }
    // UI thread, inside StartCapture.
    void Warning(const std::string& text) override { owner_->warn(text); }

private:
    CCaptureCommands* owner_;
};

CCaptureCommands::CCaptureCommands(CMainFrame& main)
    : QObject(&main), main_(main), hooks_(CaptureHooks::standard()), sink_(std::make_unique<Sink>(this)) {
    setObjectName("capture_commands");
    CZelpanApp* app = CZelpanApp::instance();
    setDirectory(app ? app->startupDirectory() : StartupDirectory());
    the_instance = this;
}

CCaptureCommands::~CCaptureCommands() {
    if (the_instance == this) the_instance = nullptr;
    // The windows stopped any capture as they went; this is the last resort, and
    // the main window's members are gone by now, so only the engine is touched.
    if (engine_.Running()) {
        engine_.StopCapture();
        if (CZelpanApp* app = CZelpanApp::instance()) app->setCaptureRunning(false);
    }
}

CCaptureCommands* CCaptureCommands::instance() { return the_instance; }

void CCaptureCommands::setDirectory(std::string dir) {
    directory_ = std::move(dir);
    engine_.set_startup_directory(directory_);
}

void CCaptureCommands::setStartEnabled(bool on) {
    start_enabled_ = on;
    main_.updateCommandStates();
}

bool CCaptureCommands::startCommandEnabled() const {
    CZelpanApp* app = CZelpanApp::instance();
    // Nor while the search dialog or a statistics sheet is open anywhere.
    return app && !app->captureRunning() && !engine_.Running() && start_enabled_ && main_.activeChild() &&
           !OpenSearchDialog(main_) && !StatisticsSheetOpen(main_);
}

bool CCaptureCommands::stopCommandEnabled() const {
    CZelpanApp* app = CZelpanApp::instance();
    return app && app->captureRunning();
}

void CCaptureCommands::StartCaptureCommand(CChildFrame* from) {
    CZelpanApp* app = CZelpanApp::instance();
    if (!app || app->captureRunning() || engine_.Running()) return;
    WindowRegistry& registry = app->registry();
    auto rows = [](WindowRegistry::Window w) {
        auto* c = static_cast<const CChildFrame*>(w);
        return c->listView() ? c->row_count() : -1;
    };
    auto* chosen = static_cast<const CChildFrame*>(ChooseCaptureTarget(registry, from, rows));
    if (!chosen) {
        hooks_.exclamation(&main_, u8(NO_CAPTURE_WINDOW_TEXT));
        return;
    }
    // The registry holds the windows as they registered themselves.
    CChildFrame* target = const_cast<CChildFrame*>(chosen);
    registry.SetCaptureTarget(target);
    if (StartCapture(target) != 1) {
        registry.SetCaptureTarget(nullptr);
        return;
    }
    app->setCaptureRunning(true);
    start_enabled_ = false;
    // The frames go to the target, which need not be the window of the command.
    if (target->subWindow() && main_.mdiArea()->activeSubWindow() != target->subWindow())
        main_.mdiArea()->setActiveSubWindow(target->subWindow());
    refreshStates(target);
}

int CCaptureCommands::StartCapture(CChildFrame* target) {
    CZelpanApp* app = CZelpanApp::instance();
    if (!app || !target) return 0;
    QPointer<CChildFrame> guard(target);
    if (!RunCaptureSettings(engine_.settings(), directory_, &main_, hooks_)) return 0;
    if (!guard || app->registry().CaptureTarget() != static_cast<WindowRegistry::Window>(target)) return 0;

    DecodeContext& c = target->context();
    make_current(&c);
    c.mode = MODE_DISPLAY;
    // From here on the list keeps each row's record and leaves the store alone.
    target->listView()->BeginCapture();

    destroyMonitor();
    auto* monitor = new CCaptureMonitorDlg(target, [this] {
        if (!engine_.Running()) return false;
        StopCaptureCommand();
        return true;
    });
    monitor_ = monitor;
    monitor->show();
    // Beside the list rather than over it: top right of the main window.
    QRect m = main_.frameGeometry();
    monitor->move(m.right() - 12 - monitor->frameGeometry().width(), m.top() + 44);
    main_.setCaptureTick([this] { Tick(); });
    main_.startCaptureTimer();
    target_ = target;

    std::string error = engine_.StartCapture({&target->store(), &c, &app->registry(), target}, *sink_);
    if (error.empty()) return 1;

    main_.stopCaptureTimer();
    main_.setCaptureTick({});
    destroyMonitor();
    if (guard) target->listView()->EndCapture();
    target_ = nullptr;
    app->registry().SetCaptureTarget(nullptr);
    hooks_.plain(&main_, u8(CCaptureEngine::StartFailureMessage(error)));
    return 0;
}

void CCaptureCommands::warn(const std::string& text) { hooks_.plain(&main_, u8(text)); }

void CCaptureCommands::takeFrame(const FrameListUpdate& u) {
    // A frame of a capture that was stopped meanwhile is neither shown nor counted.
    if (!engine_.IsCurrent(u)) return;
    if (CChildFrame* w = target_; w && w->listView()) w->listView()->OnCaptureFrame(u);
    engine_.FrameTaken(u);
}

void CCaptureCommands::takeEnd(const CaptureEnd& e) {
    if (!engine_.FinishEnded(e)) return;
    captureOver(target_, true);
    ShowMessage(u8(CaptureEndReport(e)));
}

void CCaptureCommands::destroyMonitor() {
    if (!monitor_) return;
    CCaptureMonitorDlg* m = monitor_;
    monitor_ = nullptr;
    // Later: this may run inside the monitor's own 停止.
    m->hide();
    m->deleteLater();
}

void CCaptureCommands::captureOver(CChildFrame* w, bool refresh) {
    if (CZelpanApp* app = CZelpanApp::instance()) app->setCaptureRunning(false);
    main_.stopCaptureTimer();
    main_.setCaptureTick({});
    destroyMonitor();
    if (w) {
        if (w->listView()) w->listView()->EndCapture();
        if (w->row_count() > 0 && w->document()) w->document()->setModified(true);
    }
    target_ = nullptr;
    start_enabled_ = true;
    if (refresh) refreshStates(w);
}

bool CCaptureCommands::stop(bool refresh) {
    if (!engine_.Running()) {
        start_enabled_ = true;
        if (refresh) refreshStates(nullptr);
        return false;
    }
    CChildFrame* w = target_;
    engine_.StopCapture();
    captureOver(w, refresh);
    return true;
}

void CCaptureCommands::StopCaptureCommand() { stop(true); }

void CCaptureCommands::Tick() {
    if (!engine_.Running()) return;
    if (engine_.Tick()) {
        // The stop time was reached: as if 停止 had been pressed.
        captureOver(target_, true);
        return;
    }
    if (monitor_) monitor_->refresh(engine_.Readings());
}

void CCaptureCommands::windowClosing(CChildFrame* w) {
    // The target's frames are stopped first, so that closing asks to save them.
    if (engine_.Running() && w == target_) StopCaptureCommand();
}

void CCaptureCommands::windowDestroyed(CChildFrame* w) {
    if (!engine_.Running()) return;
    CChildFrame* t = target_;
    engine_.StopCapture();
    // A window that is going needs nothing more; the main window brings the
    // command states up to date once it has gone.
    captureOver(t == w ? nullptr : t, false);
}

void CCaptureCommands::refreshStates(CChildFrame* w) {
    main_.updateCommandStates();
    if (w) w->refreshCommandStates();
}

void InstallCaptureCommands(CMainFrame& main) {
    auto* c = new CCaptureCommands(main);
    main.setCommandHandler(
        Command::CaptureStart, [c, &main] { c->StartCaptureCommand(main.activeChild()); },
        [c] { return c->startCommandEnabled(); });
    main.setCommandHandler(
        Command::CaptureStop, [c] { c->StopCaptureCommand(); }, [c] { return c->stopCommandEnabled(); });
}

}  // namespace zelpan
