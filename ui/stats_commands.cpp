// The statistics and TCP data stream commands of the main window.
#include "ui/stats_commands.h"
#include "ui/dialog_util.h"

#include <QTimer>

#include "condition/condition.h"
#include "ui/app.h"
#include "ui/child_frame.h"
#include "ui/info_window.h"
#include "ui/main_frame.h"
#include "ui/statistics_sheet.h"

namespace zelpan {

const char* const StatsCommands::NO_FRAMES_TEXT = "統計情報を表示するﾌﾚｰﾑﾃﾞｰﾀがありません。  ";

StatsCommands::StatsCommands(CMainFrame& main) : QObject(&main), main_(main) {
    setObjectName("stats_commands");
    QPointer<CMainFrame> m(&main);
    stream_hooks_.main_frame = [m] { return m ? m->frameGeometry() : QRect(); };
    main.setCommandHandler(Command::Statistics, [this] { statistics(); }, [this] { return enabled(); });
    main.setCommandHandler(Command::TcpStream, [this] { tcpStream(); }, [this] { return enabled(); });
}

StatsCommands* StatsCommands::of(const CMainFrame& main) {
    return main.findChild<StatsCommands*>(QStringLiteral("stats_commands"), Qt::FindDirectChildrenOnly);
}

bool StatsCommands::enabled() const {
    CZelpanApp* app = CZelpanApp::instance();
    CChildFrame* w = main_.activeChild();
    // A list still filling is not the whole document yet.
    return w && app && !app->captureRunning() && w->row_count() > 0 && !w->filling();
}

bool StatsCommands::anySheetOpen() const {
    for (const QPointer<CStatisticsSheet>& s : sheets_)
        if (s) return true;
    return false;
}

void StatsCommands::statistics() {
    CZelpanApp* app = CZelpanApp::instance();
    CChildFrame* w = main_.activeChild();
    if (!w || !app) return;
    if (w->row_count() == 0) {
        if (app->hooks().information) app->hooks().information(&main_, u8(NO_FRAMES_TEXT));
        return;
    }
    if (sheets_.value(w) || !enabled()) return;
    w->ShowBusy();
    // The traffic page hides the indicator once its results are in.
    auto* sheet = new CStatisticsSheet(w);
    w->HideBusy();
    const CChildFrame* key = w;
    sheets_.insert(key, sheet);
    connect(w, &CChildFrame::marksChanged, sheet, &CStatisticsSheet::refreshGraph);
    connect(sheet, &QObject::destroyed, this, [this, key] {
        sheets_.remove(key);
        // Deferred: the sheet also goes while its window is going.
        QTimer::singleShot(0, &main_, &CMainFrame::updateCommandStates);
    });
    sheet->show();
    CentreOnMainFrame(sheet);
    main_.updateCommandStates();
}

void StatsCommands::tcpStream() {
    CChildFrame* w = main_.activeChild();
    if (!w || !enabled() || streams_.value(w)) return;
    int32_t row = w->selected_row();
    if (row < 0) return;
    const LayerIndexList* index = w->layer_indexes();
    if (!index) return;
    ConditionParse p;
    ConditionExpression tcp;
    ParseCondition(p, "tcp", VALUE_NUMBER, tcp);
    FrameLayerIndex ix;
    if (!index->view(uint32_t(row), ix) || EvaluateCondition(w->store(), ix, tcp) != 1) return;
    auto* dialog = new CTcpStreamDlg(w, row, stream_hooks_);
    const CChildFrame* key = w;
    streams_.insert(key, dialog);
    connect(dialog, &CTcpStreamDlg::marked, w, &CChildFrame::marksChanged);
    connect(dialog, &QObject::destroyed, this, [this, key] { streams_.remove(key); });
    dialog->show();
}

bool StatisticsSheetOpen(const CMainFrame& main) {
    StatsCommands* s = StatsCommands::of(main);
    return s && s->anySheetOpen();
}

void InstallStatsCommands(CMainFrame& main) { new StatsCommands(main); }

}  // namespace zelpan
