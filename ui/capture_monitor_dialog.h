#pragma once
// "ｷｬﾌﾟﾁｬｰ": the modeless monitor of a running capture, owned by the target window.
// Every tick of the capture timer it shows the rates and their maxima, the elapsed
// time, the totals and how full the store is (texts worked out by the core's
// RefreshMonitor); 停止, Escape and the close box stop the capture.
#include <QDialog>
#include <functional>

#include "capture/capture_monitor.h"

class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;

namespace zelpan {

class CCaptureMonitorDlg : public QDialog {
    Q_OBJECT
public:
    // stop: what 停止 does; false when no capture ran, and the monitor then closes.
    CCaptureMonitorDlg(QWidget* owner, std::function<bool()> stop);

    // One refresh from the engine's counters.
    void refresh(const MonitorReadings& readings);
    // What is shown now.
    const MonitorView& view() const { return view_; }
    int byteBarPosition() const;
    int frameBarPosition() const;
    int byteBarMaximum() const;
    int frameBarMaximum() const;
    QLabel* label(const char* name) const;
    QPushButton* stopButton() const { return stop_button_; }

public slots:
    void reject() override;

private:
    void display(const MonitorView& v);

    std::function<bool()> stop_;
    MonitorMarks seen_;
    MonitorView view_;
    QProgressBar* byte_bar_;
    QProgressBar* frame_bar_;
    QLabel* byte_label_;
    QLabel* frame_label_;
    QLabel* bps_;
    QLabel* max_bps_;
    QLabel* fps_;
    QLabel* max_fps_;
    QLabel* elapsed_;
    QLabel* total_bytes_;
    QLabel* total_frames_;
    QLabel* store_use_;
    QPushButton* stop_button_;
};

}  // namespace zelpan
