#pragma once
// The frame list: one row per frame of the window's store. Row texts live in one
// byte arena per window (five NUL-ended texts a row) with one offset per row, so a
// million frames cost one allocation that grows, not a million strings; data()
// makes the QString of a cell only when the view asks for it.
#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QIcon>
#include <QTableView>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "decode/engine.h"
#include "store/frame_store.h"

namespace zelpan {
struct FrameListUpdate;
}

class QPainter;
class QPrinter;

namespace zelpan {

class CChildFrame;
class CZelTreevw;

// Appends columns 1 to 5 of c as a row's five NUL-ended texts.
void append_row_texts(std::vector<char>& out, const DecodeContext& c);

class FrameListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int COLUMNS = 6;
    static const char* const TITLES[COLUMNS];
    static const int WIDTHS[COLUMNS];

    explicit FrameListModel(QObject* parent = nullptr);

    // The store whose marks the state images show (may change, may be null).
    void setStore(const FrameStore* store) { store_ = store; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // Texts of a shown row; column 0 is the frame number.
    std::string_view text(int row, int column) const;
    QString cellText(int row, int column) const;

    // Rows are first staged from the decode context's columns 1 to 5, then shown
    // together: one insertion per batch keeps a long fill cheap for the view.
    void stage(const DecodeContext& c);
    int stagedRows() const { return int(offsets_.size()); }
    // Rows made elsewhere in the same form: size bytes of texts, starts[i] the
    // first byte of row i.
    void stageRows(const char* texts, size_t size, const uint32_t* starts, size_t rows);
    void commit();
    // One row at once (a captured frame).
    void appendRow(const DecodeContext& c);
    // While a capture runs the capture thread owns the store's head, so the rows
    // keep their records and the marks are read from those. Rows appended with
    // record stay on record until endCapture().
    void beginCapture();
    // Staged only: commit() shows it (the view is told in batches during a capture).
    void stageCapturedRow(const DecodeContext& c, const uint8_t* record);
    void endCapture();
    bool capturing() const { return capturing_; }
    // The record of a captured row, or nullptr when the rows are not on records.
    const uint8_t* capturedRecord(int row) const;
    void clearAll();
    // Room for rows more rows of about bytes_per_row each.
    void reserve(size_t rows, size_t bytes_per_row);

    // The state image column changed for rows first..last.
    void marksChanged(int first, int last);

    size_t memoryBytes() const {
        return arena_.capacity() + offsets_.capacity() * sizeof(uint32_t) + records_.capacity() * sizeof(void*);
    }
    size_t arenaBytes() const { return arena_.size(); }

    static const QIcon& markImage(bool marked);

private:
    // A row past the arena's limit: empty texts shared by all such rows.
    void stageEmptyRow();
    const FrameStore* store_ = nullptr;
    std::vector<char> arena_;
    std::vector<uint32_t> offsets_;  // row start in arena_, staged rows included
    std::vector<const uint8_t*> records_;  // per row, while a capture runs
    bool capturing_ = false;
    int shown_ = 0;                  // rows the view knows about
    size_t empty_at_ = 0;            // shared empty texts once the arena is full
};

// The pass that fills the list from the window's store, in slices so that the
// window stays responsive and the first rows show at once.
class ListFill;

class CZelListvw : public QTableView {
    Q_OBJECT
public:
    explicit CZelListvw(CChildFrame* window, QWidget* parent = nullptr);
    ~CZelListvw() override;

    FrameListModel* frameModel() const { return model_; }
    void setTreeView(CZelTreevw* tree) { tree_ = tree; }
    CZelTreevw* treeView() const { return tree_; }

    // Fills the empty list from the window's store. The first rows are there when
    // it returns; the rest follow from the event loop (filling() until done).
    // synchronous: the whole pass at once (tests, tools).
    void FillFromStore(bool synchronous = false);
    bool filling() const { return fill_ != nullptr; }
    // Runs a fill that is under way to its end.
    void finishFill();
    // Ends a fill that is under way where it is (its threads are gone on return).
    void StopFill();

    // A capture's hand-off: a frame was added at u.index (its row is made from
    // u.record, as the store does not count it yet), or the store was emptied.
    void OnCaptureFrame(const FrameListUpdate& u);
    // The same for a frame already counted in the window's store (action 1 added
    // at index, 2 emptied); for callers that fill the store themselves.
    void OnCaptureFrame(int action, uint32_t index);
    // A capture into this window starts or ends: the rows keep their records
    // in between, so nothing reads the store's head meanwhile.
    void BeginCapture();
    void EndCapture();
    // The record behind a row: the kept one during a capture, else the store's.
    const uint8_t* rowRecord(int row) const;

    // Mark display: 0 mark if selected; 1, 3 mark; 2 unmark; 4 query. 1 when it
    // marked, unmarked or found the row marked; -1 otherwise (and while marks are off).
    int ShowMark(int row, int action);
    // Selects row for search and jump (actions -1, 1, 3 as the search uses them).
    int SelectRow(int row, int previous_row, int byte_offset, int action);
    int FirstSelectedRow() const;
    // Rows of the list, a captured row the view has not been told of yet included.
    int RowCount() const { return model_->stagedRows(); }
    void ClearAll();
    bool rowSelected(int row) const;
    int lastShownRow() const { return last_shown_row_; }

    // Brings a row into view: a row above the top line or below the bottom comes to
    // the second line; a row partly visible at the bottom stays where it is.
    void ensureRowVisible(int row);

signals:
    void fillFinished();
    void rowsChanged();

protected:
    bool viewportEvent(QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    friend class ListFill;
    void followSelection();
    void fillSlice();
    void endFill();
    // Decodes one captured record into a row (staged while capturing).
    void addCapturedRow(const uint8_t* record, uint32_t index, int32_t link_type, DecodeContext& c);
    // Tells the view of the captured rows staged since the last time.
    void showCapturedRows();
    // The last column takes the width the others leave, never less than its own.
    void fitLastColumn();

    CChildFrame* window_;
    CZelTreevw* tree_ = nullptr;
    FrameListModel* model_;
    int last_shown_row_ = -1;
    bool marks_enabled_ = true;
    bool fitting_last_column_ = false;
    bool last_column_by_hand_ = false;
    std::unique_ptr<ListFill> fill_;
    QTimer fill_timer_;
    // Every insertion relays out and repaints the whole view (about a millisecond),
    // so captured rows reach the view at most every CAPTURE_SHOW_MS; a frame after
    // a quiet spell shows at once.
    static constexpr int CAPTURE_SHOW_MS = 25;
    QTimer capture_show_timer_;
    QElapsedTimer capture_shown_;
};

}  // namespace zelpan
