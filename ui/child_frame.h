#pragma once
// The window of one open document: it owns the frames (FrameStore) and the decode
// context, stacks the frame list, the detail tree and the hex dump, and is the
// SearchWindow through which searches, marks and jumps reach its list.
#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>

#include "condition/layer_index.h"
#include "condition/search.h"
#include "decode/engine.h"
#include "store/capture_file.h"
#include "store/frame_store.h"

class QMdiSubWindow;
class QSplitter;

namespace zelpan {

class CBusyDlg;
class CZelDumpvw;
class CZelListvw;
class CZelTreevw;
class CZelpanDoc;

class CChildFrame : public QWidget, public SearchWindow {
    Q_OBJECT
public:
    // Registers itself in the application's WindowRegistry; registered() is false
    // when all 63 slots were taken (the caller then refuses the window).
    explicit CChildFrame(CZelpanDoc* document, QWidget* parent = nullptr);
    ~CChildFrame() override;
    bool registered() const { return registered_; }

    CZelpanDoc* document() const { return document_; }
    FrameStore& store() { return store_; }
    const FrameStore& store() const { return store_; }
    DecodeContext& context() { return *context_; }
    CZelListvw* listView() const { return list_; }
    CZelTreevw* treeView() const { return tree_; }
    CZelDumpvw* dumpView() const { return dump_; }
    QSplitter* outerSplitter() const { return outer_; }
    QSplitter* innerSplitter() const { return inner_; }
    QMdiSubWindow* subWindow() const;

    // The window's title ("name", or "name:2" for a document's second window).
    const QString& title() const { return title_; }
    void setTitle(const QString& title);
    void updateTitle();

    // Pane heights as 42 %, 36 % and 22 % of height.
    void arrangePanes(int height);

    // Loads a capture file into the (empty) window's store and sets its link type:
    // "" or the message to show. notice, when given, gets what a partial load left
    // out (for the information window).
    std::string loadFile(const std::string& path, CaptureKind kind, int64_t load_size,
                         std::string* notice = nullptr);
    // Copies another window's store and link type (a second window on a document).
    bool copyStoreFrom(const CChildFrame& source);

    // Asks the main window to update the command states when this window is active.
    void refreshCommandStates();

    // The busy indicator of this window.
    void ShowBusy();
    void HideBusy();
    void busyProgress(int done, int total);
    CBusyDlg* busyIndicator() const;

    // Whether the running capture writes into this window.
    bool captureTarget() const;
    // The record behind a row of the list. While a capture runs into this window
    // the list's own record pointers answer: the store's head is not ours then.
    const uint8_t* frameRecord(int row) const;
    // The list is being filled from the store.
    bool filling() const;

    // The mark commands.
    void markSelectedFrames();
    void markAllFrames();
    void unmarkAllFrames();

    // SearchWindow
    int32_t row_count() const override;
    int32_t selected_row() const override;
    bool row_selected(int32_t row) const override;
    void select_row(int32_t row, int32_t match_offset) override;
    void show_marked(int32_t row, bool marked) override;
    FrameStore* frame_store() override { return &store_; }
    const LayerIndexList* layer_indexes() override;
    SearchWindowState& search_state() override { return search_state_; }
    // A search marks through the store alone and repaints the marks once at its end.
    void busy(bool on) override;
    bool layerIndexesBuilt() const { return layer_index_ != nullptr; }

signals:
    void commandStatesChanged(CChildFrame* window);
    // Frames were marked or unmarked by a command (the traffic graph shows marks).
    void marksChanged();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CZelpanDoc* document_;
    FrameStore store_;
    std::unique_ptr<DecodeContext> context_;
    std::unique_ptr<LayerIndexList> layer_index_;
    SearchWindowState search_state_;
    QString title_;
    bool registered_ = false;
    bool bulk_marking_ = false;
    bool marked_in_bulk_ = false;
    QSplitter* outer_;
    QSplitter* inner_;
    CZelListvw* list_;
    CZelTreevw* tree_;
    CZelDumpvw* dump_;
    QPointer<CBusyDlg> busy_;
};

}  // namespace zelpan
