#pragma once
// The statistics and TCP data stream commands of a main window, and the tool
// windows they open: at most one statistics sheet and one stream dialog per window.
#include <QHash>
#include <QObject>
#include <QPointer>

#include "ui/statistics_sheet.h"
#include "ui/tcp_stream_dialog.h"

namespace zelpan {

class CChildFrame;
class CMainFrame;

class StatsCommands : public QObject {
    Q_OBJECT
public:
    static const char* const NO_FRAMES_TEXT;

    // Wires the two commands into main; the object is a child of main.
    explicit StatsCommands(CMainFrame& main);
    static StatsCommands* of(const CMainFrame& main);

    // The stream dialog's save dialog and message box (tests answer here).
    CTcpStreamDlg::Hooks& streamHooks() { return stream_hooks_; }

    CStatisticsSheet* sheet(const CChildFrame* window) const { return sheets_.value(window); }
    CTcpStreamDlg* stream(const CChildFrame* window) const { return streams_.value(window); }
    bool anySheetOpen() const;

    // The commands, on the active window.
    void statistics();
    void tcpStream();
    bool enabled() const;

private:
    CMainFrame& main_;
    CTcpStreamDlg::Hooks stream_hooks_;
    QHash<const CChildFrame*, QPointer<CStatisticsSheet>> sheets_;
    QHash<const CChildFrame*, QPointer<CTcpStreamDlg>> streams_;
};

// Whether a statistics sheet is open in any window of main (the capture start rule asks).
bool StatisticsSheetOpen(const CMainFrame& main);

}  // namespace zelpan
