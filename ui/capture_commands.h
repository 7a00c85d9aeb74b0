#pragma once
// The capture start and stop commands and the window side of a running capture:
// the one capture engine, the sink that carries its hand-offs to the UI thread,
// the settings dialog, the monitor and the 500 ms timer.
#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <string>
#include <vector>

#include "capture/capture_engine.h"
#include "condition/filter_lists.h"
#include "ui/capture_monitor_dialog.h"
#include "ui/child_frame.h"

class QWidget;

namespace zelpan {

class CCaptureSettingsDlg;
class CMainFrame;

// Every dialog and message of the capture goes through these, so a test can
// answer them. The defaults are the real dialogs and message boxes.
struct CaptureHooks {
    // Runs the settings dialog (default: modally); its result() tells the outcome.
    std::function<void(CCaptureSettingsDlg& dialog)> run_settings;
    // The capture filter list editor of the settings dialog's 編集(&E).
    std::function<void(QWidget* parent, CaptureFilterList& list, const std::string& directory)> edit_filters;
    // The adapters the settings dialog offers.
    std::function<std::vector<CaptureDevice>()> devices;
    // A message box with the exclamation icon, and one without an icon.
    std::function<void(QWidget* parent, const QString& text)> exclamation;
    std::function<void(QWidget* parent, const QString& text)> plain;

    static CaptureHooks standard();
};

class CCaptureCommands : public QObject {
    Q_OBJECT
public:
    explicit CCaptureCommands(CMainFrame& main);
    ~CCaptureCommands() override;
    // The one instance (made by InstallCaptureCommands), or nullptr.
    static CCaptureCommands* instance();

    CCaptureEngine& engine() { return engine_; }
    CaptureHooks& hooks() { return hooks_; }
    // Where "capfil.dat" is read and automatic-save files go (the start-up directory).
    const std::string& directory() const { return directory_; }
    void setDirectory(std::string dir);

    // 開始(&K)...: from the window the command came from.
    void StartCaptureCommand(CChildFrame* from);
    // The settings dialog, then the capture into target (already the registry's
    // capture target). 1 when the capture runs, 0 otherwise.
    int StartCapture(CChildFrame* target);
    // 停止(&S) and the monitor's 停止: stops a running capture, then enables the
    // start command again and refreshes the command states.
    void StopCaptureCommand();
    // One tick of the capture timer: counts it, applies the stop time, refreshes
    // the monitor.
    void Tick();

    bool running() const { return engine_.Running(); }
    CChildFrame* target() const { return target_; }
    CCaptureMonitorDlg* monitor() const { return monitor_; }

    // The start command's own flag (cleared while a capture runs). Other tool
    // windows that must keep the capture from starting may clear it too.
    bool startEnabled() const { return start_enabled_; }
    void setStartEnabled(bool on);
    bool startCommandEnabled() const;
    bool stopCommandEnabled() const;

    // A child window closes (before its save question) or is destroyed.
    void windowClosing(CChildFrame* w);
    void windowDestroyed(CChildFrame* w);

private:
    class Sink;
    friend class Sink;
    void takeFrame(const FrameListUpdate& u);
    void takeEnd(const CaptureEnd& e);
    void warn(const std::string& text);
    // What every end of a capture undoes on the window side.
    void captureOver(CChildFrame* target, bool refresh);
    bool stop(bool refresh);
    void destroyMonitor();
    void refreshStates(CChildFrame* w);

    CMainFrame& main_;
    CaptureHooks hooks_;
    std::string directory_;
    std::unique_ptr<Sink> sink_;
    // After the sink: the engine goes first and takes its thread with it.
    CCaptureEngine engine_;
    QPointer<CChildFrame> target_;
    QPointer<CCaptureMonitorDlg> monitor_;
    bool start_enabled_ = true;
};

// 1 when the dialog was confirmed with an adapter; settings then hold the choice.
int RunCaptureSettings(CaptureSettings& settings, const std::string& directory, QWidget* parent,
                       const CaptureHooks& hooks);

}  // namespace zelpan
