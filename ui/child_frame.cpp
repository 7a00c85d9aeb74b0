#include "ui/child_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QMdiSubWindow>
#include <QSplitter>
#include <QVBoxLayout>

#include "ui/app.h"
#include "ui/capture_commands.h"
#include "ui/document.h"
#include "ui/dump_view.h"
#include "ui/info_window.h"
#include "ui/list_view.h"
#include "ui/main_frame.h"
#include "ui/tree_view.h"

namespace zelpan {

CChildFrame::CChildFrame(CZelpanDoc* document, QWidget* parent)
    : QWidget(parent), document_(document), context_(std::make_unique<DecodeContext>()) {
    setObjectName("child_frame");
    CZelpanApp* app = CZelpanApp::instance();
    registered_ = app && app->registry().Register(this) > 0;
    if (app) app->setCurrentChild(this);
    context_->mode = MODE_DISPLAY;

    outer_ = new QSplitter(Qt::Vertical, this);
    outer_->setObjectName("outer_splitter");
    outer_->setChildrenCollapsible(false);
    list_ = new CZelListvw(this, outer_);
    inner_ = new QSplitter(Qt::Vertical, outer_);
    inner_->setObjectName("inner_splitter");
    inner_->setChildrenCollapsible(false);
    tree_ = new CZelTreevw(this, inner_);
    dump_ = new CZelDumpvw(inner_);
    if (app) dump_->setDumpFont(app->fixedFont());
    outer_->addWidget(list_);
    outer_->addWidget(inner_);
    inner_->addWidget(tree_);
    inner_->addWidget(dump_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(outer_);

    list_->setWhatsThis(QString::fromUtf8("ﾌﾚｰﾑの一覧: 1 行が 1 ﾌﾚｰﾑです。選択したﾌﾚｰﾑの詳細が下に表示されます。"));
    tree_->setWhatsThis(QString::fromUtf8("選択したﾌﾚｰﾑの詳細: 行を選ぶと、その行のﾊﾞｲﾄがﾀﾞﾝﾌﾟで強調されます。"));
    dump_->setWhatsThis(QString::fromUtf8("ﾌﾚｰﾑのﾀﾞﾝﾌﾟ: ﾊﾞｲﾄをｸﾘｯｸすると、そのﾊﾞｲﾄを含む最も狭い行が選ばれます。"));
    list_->setTreeView(tree_);
    tree_->setDumpView(dump_);
    dump_->setTreeView(tree_);
    setFocusProxy(list_);

    connect(list_, &CZelListvw::rowsChanged, this, &CChildFrame::refreshCommandStates);
    connect(list_, &CZelListvw::fillFinished, this, &CChildFrame::refreshCommandStates);
    if (document_) document_->addWindow(this);
}

CChildFrame::~CChildFrame() {
    // The list's fill decodes the store on threads of its own: it ends first.
    if (list_) list_->StopFill();
    // Any window going stops a running capture, before the store it may write goes.
    if (CCaptureCommands* capture = CCaptureCommands::instance()) capture->windowDestroyed(this);
    HideBusy();
    // Tool windows read the store and the layer indexes: they go before those do.
    for (QDialog* d : findChildren<QDialog*>(QString(), Qt::FindDirectChildrenOnly)) delete d;
    if (CInfoWnd* info = CInfoWnd::current()) info->close();
    CZelpanApp* app = CZelpanApp::instance();
    if (app) {
        app->registry().Remove(this);
        if (app->currentChild() == this) app->setCurrentChild(nullptr);
    }
    if (document_) {
        document_->removeWindow(this);
        if (document_->windowCount() == 0) document_->deleteLater();
    }
    // The views read the store and the context while they go; end them first.
    delete outer_;
    outer_ = nullptr;
}

QMdiSubWindow* CChildFrame::subWindow() const { return qobject_cast<QMdiSubWindow*>(parentWidget()); }

void CChildFrame::setTitle(const QString& title) {
    title_ = title;
    updateTitle();
}

void CChildFrame::updateTitle() {
    bool modified = document_ && document_->modified();
    setWindowTitle(title_ + QStringLiteral("[*]"));
    setWindowModified(modified);
    if (QMdiSubWindow* sub = subWindow()) {
        sub->setWindowTitle(title_ + QStringLiteral("[*]"));
        sub->setWindowModified(modified);
    }
}

void CChildFrame::arrangePanes(int height) {
    int h = std::max(height, 100);
    outer_->setSizes({h * 42 / 100, h - h * 42 / 100});
    inner_->setSizes({h * 36 / 100, h * 22 / 100});
}

std::string CChildFrame::loadFile(const std::string& path, CaptureKind kind, int64_t load_size,
                                  std::string* notice) {
    if (load_size <= 0) return {};
    if (!store_.allocate(uint64_t(load_size))) return MemoryErrorText(path, load_size);
    DecodeContext* previous = current_context();
    make_current(context_.get());
    std::string message = ReadCaptureFile(path, kind, store_, uint64_t(load_size), context_->link_type, notice);
    make_current(previous);
    if (!message.empty()) store_.release();
    layer_index_.reset();
    return message;
}

bool CChildFrame::copyStoreFrom(const CChildFrame& source) {
    if (!store_.copy_from(source.store_)) return false;
    context_->link_type = source.context_->link_type;
    layer_index_.reset();
    return true;
}

void CChildFrame::refreshCommandStates() { emit commandStatesChanged(this); }

void CChildFrame::ShowBusy() {
    if (busy_) return;
    busy_ = new CBusyDlg(this);
    busy_->setWindowFlag(Qt::Window);
    busy_->show();
    CentreOnMainFrame(busy_);
    // Painted before the pass starts; no user input reaches anything meanwhile.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void CChildFrame::HideBusy() {
    if (busy_) delete busy_.data();
}

CBusyDlg* CChildFrame::busyIndicator() const { return busy_; }

void CChildFrame::busyProgress(int done, int total) {
    if (busy_) busy_->setProgress(done, total);
}

bool CChildFrame::captureTarget() const {
    CZelpanApp* app = CZelpanApp::instance();
    return app && app->captureRunning() && app->registry().CaptureTarget() == this;
}

const uint8_t* CChildFrame::frameRecord(int row) const {
    if (list_) return list_->rowRecord(row);
    return row >= 0 ? store_.at(uint32_t(row)) : nullptr;
}

bool CChildFrame::filling() const { return list_ && list_->filling(); }

int32_t CChildFrame::row_count() const { return list_ ? list_->RowCount() : 0; }
int32_t CChildFrame::selected_row() const { return list_ ? list_->FirstSelectedRow() : -1; }
bool CChildFrame::row_selected(int32_t row) const { return list_ && list_->rowSelected(row); }

void CChildFrame::select_row(int32_t row, int32_t match_offset) {
    if (list_) list_->SelectRow(row, -1, match_offset, -1);
}

void CChildFrame::show_marked(int32_t row, bool marked) {
    if (!list_ || row < 0 || row >= row_count()) return;
    if (bulk_marking_) {
        // One repaint for the whole command instead of one per row.
        store_.set_marked(uint32_t(row), marked);
        marked_in_bulk_ = true;
        return;
    }
    list_->ShowMark(row, marked ? 1 : 2);
}

void CChildFrame::busy(bool on) {
    if (on) {
        ShowBusy();
        bulk_marking_ = true;
        marked_in_bulk_ = false;
        return;
    }
    bulk_marking_ = false;
    if (marked_in_bulk_ && list_) list_->frameModel()->marksChanged(0, row_count() - 1);
    marked_in_bulk_ = false;
    HideBusy();
}

const LayerIndexList* CChildFrame::layer_indexes() {
    if (!layer_index_) {
        if (!store_.present()) return nullptr;
        ShowBusy();
        auto list = std::make_unique<LayerIndexList>();
        BuildLayerIndexes(*context_, store_, *list);
        layer_index_ = std::move(list);
        HideBusy();
    }
    return layer_index_.get();
}

void CChildFrame::markSelectedFrames() {
    MarkSelectedFrames(*this, captureTarget());
    emit marksChanged();
}

void CChildFrame::markAllFrames() {
    bulk_marking_ = true;
    MarkAllFrames(*this, captureTarget());
    bulk_marking_ = false;
    list_->frameModel()->marksChanged(0, row_count() - 1);
    emit marksChanged();
}

void CChildFrame::unmarkAllFrames() {
    bulk_marking_ = true;
    UnmarkAllFrames(*this, captureTarget());
    bulk_marking_ = false;
    list_->frameModel()->marksChanged(0, row_count() - 1);
    emit marksChanged();
}

void CChildFrame::closeEvent(QCloseEvent* event) {
    // Closing the capture target stops its capture first: the frames then count as
    // changes, and the question below offers to save them.
    if (CCaptureCommands* capture = CCaptureCommands::instance()) capture->windowClosing(this);
    CZelpanApp* app = CZelpanApp::instance();
    CMainFrame* main = app ? app->mainFrame() : nullptr;
    if (document_ && document_->modified() && document_->windowCount() <= 1 && main &&
        !main->saveModified(this)) {
        event->ignore();
        return;
    }
    event->accept();
}

}  // namespace zelpan
