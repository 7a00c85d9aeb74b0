// The find, find next, jump and capture filter commands of the main window.
#include "ui/search_commands.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMetaObject>
#include <QTimer>
#include <string>

#include "condition/filter_lists.h"
#include "condition/search.h"
#include "ui/app.h"
#include "ui/child_frame.h"
// search_dialog.h needs the editor complete for its editor() accessor.
#include "ui/condition_edit_dialog.h"
#include "ui/filter_edit_dialog.h"
#include "ui/info_window.h"
#include "ui/jump_dialog.h"
#include "ui/list_view.h"
#include "ui/main_frame.h"
#include "ui/search_dialog.h"

namespace zelpan {

namespace {

// A window that can be searched, marked or jumped in now.
bool searchable(const CChildFrame* w) {
    CZelpanApp* app = CZelpanApp::instance();
    // A list still filling is not the whole document yet.
    return w && app && !app->captureRunning() && w->row_count() > 0 && !w->filling();
}

}  // namespace

SearchCommands::SearchCommands(CMainFrame& main) : QObject(&main), main_(main) {
    setObjectName("search_commands");
    // Every window that becomes active is followed, so that its end closes its dialogs.
    connect(main.mdiArea(), &QMdiArea::subWindowActivated, this, [this](QMdiSubWindow* sub) {
        if (auto* w = sub ? qobject_cast<CChildFrame*>(sub->widget()) : nullptr) watch(w);
    });
    main.setCommandHandler(Command::Find, [this] { find(); }, [this] { return findEnabled(); });
    main.setCommandHandler(Command::FindNext, [this] { findNext(); }, [this] { return findNextEnabled(); });
    main.setCommandHandler(Command::Jump, [this] { jump(); }, [this] { return findEnabled(); });
    main.setCommandHandler(Command::CaptureFilter, [this] { captureFilter(); },
                           [this] { return captureFilterEnabled(); });
}

SearchCommands* SearchCommands::of(const CMainFrame& main) {
    return main.findChild<SearchCommands*>(QStringLiteral("search_commands"), Qt::FindDirectChildrenOnly);
}

bool SearchCommands::findEnabled() const { return searchable(main_.activeChild()); }

bool SearchCommands::findNextEnabled() const {
    CChildFrame* w = main_.activeChild();
    return searchable(w) && w->search_state().find_next_enabled;
}

bool SearchCommands::captureFilterEnabled() const {
    CZelpanApp* app = CZelpanApp::instance();
    return app && !app->captureRunning();
}

bool SearchCommands::capturing(const CChildFrame* w) { return w && w->captureTarget(); }

// ---- find ----

void SearchCommands::find() {
    CZelpanApp* app = CZelpanApp::instance();
    CChildFrame* w = main_.activeChild();
    if (dialog_ || !app || !findEnabled()) return;
    watch(w);
    origin_ = w;
    current_slot_ = app->registry().SlotOf(w);
    QPointer<CChildFrame> origin(w);
    QPointer<CMainFrame> main(&main_);
    CSearchDlg::Hooks hooks;
    hooks.message_box = hooks_.message_box;
    // The dialog closes right after this returns; the window searches afterwards.
    hooks.post_search_request = [this, origin] {
        if (origin) postSearchRequest(origin, origin);
    };
    hooks.main_frame = [main] { return main ? main->frameGeometry() : QRect(); };
    auto* d = new CSearchDlg(app->searchSettings(), app->searchExpressions(), app->startupDirectory(), &main_,
                             std::move(hooks));
    dialog_ = d;
    connect(d, &QDialog::finished, this, [this, d] {
        if (dialog_ == d) dialog_ = nullptr;
        // Deferred: the dialog also closes while the main window is going.
        QTimer::singleShot(0, &main_, &CMainFrame::updateCommandStates);
    });
    w->layer_indexes();
    d->show();
    main_.updateCommandStates();
}

void SearchCommands::postSearchRequest(CChildFrame* w, CChildFrame* origin) {
    if (!w) return;
    QPointer<SearchCommands> self(this);
    QPointer<CChildFrame> target(w), from(origin);
    // Dropped by Qt when the window goes first.
    QMetaObject::invokeMethod(
        w,
        [self, target, from] {
            if (self && target) self->runSearchRequest(target, from);
        },
        Qt::QueuedConnection);
}

void SearchCommands::runSearchRequest(CChildFrame* w, CChildFrame* origin) {
    CZelpanApp* app = CZelpanApp::instance();
    if (!app) return;
    int slot = app->registry().SlotOf(w);
    if (slot > 0) current_slot_ = slot;
    if (capturing(w)) {
        // Its store is being written: passed over like an empty window.
        if (SearchContinues(app->searchSettings(), SEARCH_EMPTY)) continueSearch(w, origin);
        return;
    }
    int result = RunSearch(w, &app->searchSettings(), false);
    finishSearch(w, result, origin);
}

void SearchCommands::findNext() {
    CZelpanApp* app = CZelpanApp::instance();
    CChildFrame* w = main_.activeChild();
    if (!app || !findNextEnabled()) return;
    watch(w);
    int slot = app->registry().SlotOf(w);
    if (slot > 0) current_slot_ = slot;
    int result = RunSearch(w, &app->searchSettings(), true);
    finishSearch(w, result, origin_);
}

void SearchCommands::finishSearch(CChildFrame* w, int result, CChildFrame* origin) {
    CZelpanApp* app = CZelpanApp::instance();
    std::string report = SearchResultReport(result, w->title().toStdString(), w->search_state().selection_at_start);
    if (!report.empty()) ShowMessage(QString::fromStdString(report));
    main_.updateCommandStates();
    if (app && SearchContinues(app->searchSettings(), result)) continueSearch(w, origin);
}

CChildFrame* SearchCommands::windowAt(int slot) const {
    CZelpanApp* app = CZelpanApp::instance();
    WindowRegistry::Window r = app ? app->registry().At(slot) : nullptr;
    if (!r) return nullptr;
    for (CChildFrame* w : main_.childWindows())
        if (static_cast<const void*>(w) == r) return w;
    return nullptr;
}

void SearchCommands::continueSearch(CChildFrame* from, CChildFrame* origin) {
    CZelpanApp* app = CZelpanApp::instance();
    if (!app) return;
    const WindowRegistry& registry = app->registry();
    int slot = registry.SlotOf(from);
    if (slot <= 0) slot = current_slot_;
    auto rows = [this](WindowRegistry::Window r) -> int32_t {
        for (CChildFrame* w : main_.childWindows())
            if (static_cast<const void*>(w) == r) return capturing(w) ? 0 : w->row_count();
        return 0;
    };
    int next_slot = NextSearchSlot(registry, slot, origin, rows);
    CChildFrame* next = next_slot > 0 ? windowAt(next_slot) : nullptr;
    if (!next) return;
    current_slot_ = next_slot;
    watch(next);
    if (QMdiSubWindow* sub = next->subWindow()) main_.mdiArea()->setActiveSubWindow(sub);
    postSearchRequest(next, origin);
}

// ---- jump ----

void SearchCommands::jump() {
    CChildFrame* w = main_.activeChild();
    if (!findEnabled() || jumps_.value(w)) return;
    watch(w);
    QPointer<CChildFrame> window(w);
    QPointer<CMainFrame> main(&main_);
    JumpHooks hooks;
    hooks.message_box = hooks_.message_box;
    hooks.show_message = [](const QString& text) { ShowMessage(text); };
    hooks.row_marked = [window](int32_t row) { return window && window->listView()->ShowMark(row, 4) == 1; };
    hooks.main_frame = [main] { return main ? main->frameGeometry() : QRect(); };
    // Owned by its window, so it cannot outlive the list it jumps in.
    auto* sheet = new CJumpDlg(w, w->title(), w, std::move(hooks));
    sheet->setWindowIcon(w->subWindow() ? w->subWindow()->windowIcon() : QApplication::windowIcon());
    jumps_.insert(w, sheet);
    const CChildFrame* key = w;
    connect(sheet, &QDialog::finished, this, [this, key, sheet] {
        if (jumps_.value(key) == sheet) jumps_.remove(key);
    });
    sheet->show();
}

// ---- capture filters ----

void SearchCommands::captureFilter() {
    CZelpanApp* app = CZelpanApp::instance();
    if (!app || !captureFilterEnabled()) return;
    const std::string& dir = app->startupDirectory();
    LoadCaptureFilters(CaptureFilterPath(dir), app->captureFilters());
    CFilterEditDlg::Hooks hooks;
    hooks.message_box = hooks_.message_box;
    CFilterEditDlg dlg(app->captureFilters(), dir, &main_, std::move(hooks));
    if (hooks_.run_modal) hooks_.run_modal(dlg);
    else dlg.exec();
}

// ---- windows going ----

void SearchCommands::watch(CChildFrame* w) {
    if (!w || watched_.contains(w)) return;
    watched_.insert(w);
    const CChildFrame* key = w;
    connect(w, &QObject::destroyed, this, [this, key] { windowGone(key); });
}

void SearchCommands::windowGone(const CChildFrame* w) {
    watched_.remove(w);
    // The sheet went with its window (its parent); only the reference is left.
    jumps_.remove(w);
    // Any window's end closes the search dialog, whichever window opened it.
    closeSearchDialog();
}

void SearchCommands::closeSearchDialog() {
    if (CSearchDlg* d = dialog_) {
        dialog_ = nullptr;
        d->close();
    }
}

CSearchDlg* OpenSearchDialog(const CMainFrame& main) {
    SearchCommands* s = SearchCommands::of(main);
    return s ? s->searchDialog() : nullptr;
}

void InstallSearchCommands(CMainFrame& main) { new SearchCommands(main); }

}  // namespace zelpan
