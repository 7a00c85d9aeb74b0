#include "ui/list_view.h"

#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QPixmap>
#include <QScrollBar>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>

#include "capture/capture_engine.h"
#include "store/decode_passes.h"
#include "ui/child_frame.h"
#include "ui/tree_view.h"

namespace zelpan {

const char* const FrameListModel::TITLES[COLUMNS] = {"No", "時間", "送信元ｱﾄﾞﾚｽ", "送信先ｱﾄﾞﾚｽ", "ﾌﾟﾛﾄｺﾙ", "情報"};
const int FrameListModel::WIDTHS[COLUMNS] = {56, 112, 112, 112, 64, 416};

namespace {

// A row's texts may not run the arena past 32-bit offsets; beyond that rows are
// kept with empty texts rather than wrapping onto earlier rows.
constexpr size_t ARENA_LIMIT = UINT32_MAX - 8 * COLUMN_SIZE;

QIcon drawn_mark(bool marked) {
    QPixmap p(13, 13);
    p.fill(Qt::transparent);
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing, false);
    if (marked) {
        g.setPen(QColor(128, 0, 0));
        g.setBrush(QColor(220, 30, 30));
        g.drawRect(1, 1, 10, 10);
        g.setPen(QPen(Qt::white, 2));
        g.drawLine(3, 6, 5, 9);
        g.drawLine(5, 9, 10, 3);
    } else {
        g.setPen(QColor(150, 150, 150));
        g.setBrush(Qt::white);
        g.drawRect(1, 1, 10, 10);
    }
    return QIcon(p);
}

}  // namespace

const QIcon& FrameListModel::markImage(bool marked) {
    static const QIcon unmarked_image = drawn_mark(false);
    static const QIcon marked_image = drawn_mark(true);
    return marked ? marked_image : unmarked_image;
}

FrameListModel::FrameListModel(QObject* parent) : QAbstractTableModel(parent) {}

int FrameListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shown_; }
int FrameListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : COLUMNS; }

std::string_view FrameListModel::text(int row, int column) const {
    if (row < 0 || row >= int(offsets_.size()) || column < 1 || column >= COLUMNS) return {};
    const char* p = arena_.data() + offsets_[size_t(row)];
    for (int k = 1; k < column; ++k) p += std::strlen(p) + 1;
    return std::string_view(p);
}

QString FrameListModel::cellText(int row, int column) const {
    if (column == 0) return row >= 0 && row < stagedRows() ? QString::number(row + 1) : QString();
    std::string_view t = text(row, column);
    return QString::fromUtf8(t.data(), qsizetype(t.size()));
}

QVariant FrameListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shown_) return {};
    switch (role) {
    case Qt::DisplayRole:
        return cellText(index.row(), index.column());
    case Qt::DecorationRole:
        if (index.column() != 0) return {};
        if (capturing_) {
            const uint8_t* r = capturedRecord(index.row());
            return markImage(r && (record_flags(r) & 1));
        }
        return markImage(store_ && store_->marked(uint32_t(index.row())));
    case Qt::TextAlignmentRole:
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant FrameListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= COLUMNS) return {};
    if (role == Qt::DisplayRole) return QString::fromUtf8(TITLES[section]);
    if (role == Qt::TextAlignmentRole) return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void append_row_texts(std::vector<char>& out, const DecodeContext& c) {
    for (int k = 1; k <= 5; ++k) {
        const char* t = c.columns[k];
        out.insert(out.end(), t, t + strnlen(t, COLUMN_SIZE - 1));
        out.push_back(0);
    }
}

void FrameListModel::stageEmptyRow() {
    // Keep the row (its number and mark still show) with empty texts, all such
    // rows sharing one set of five empty texts behind the last real row.
    if (!empty_at_) {
        empty_at_ = arena_.size();
        arena_.insert(arena_.end(), 5, char(0));
    }
    offsets_.push_back(uint32_t(empty_at_));
}

void FrameListModel::stage(const DecodeContext& c) {
    size_t at = arena_.size();
    if (at > ARENA_LIMIT) return stageEmptyRow();
    offsets_.push_back(uint32_t(at));
    append_row_texts(arena_, c);
}

void FrameListModel::stageRows(const char* texts, size_t size, const uint32_t* starts, size_t rows) {
    if (rows == 0) return;
    size_t at = arena_.size();
    if (at + size > ARENA_LIMIT) {
        // Near the limit: row by row, so the rows past it get the shared empty texts.
        for (size_t i = 0; i < rows; ++i) {
            size_t here = arena_.size();
            if (here > ARENA_LIMIT) {
                stageEmptyRow();
                continue;
            }
            size_t end = i + 1 < rows ? starts[i + 1] : size;
            offsets_.push_back(uint32_t(here));
            arena_.insert(arena_.end(), texts + starts[i], texts + end);
        }
        return;
    }
    arena_.insert(arena_.end(), texts, texts + size);
    for (size_t i = 0; i < rows; ++i) offsets_.push_back(uint32_t(at + starts[i]));
}

void FrameListModel::commit() {
    int staged = int(offsets_.size());
    if (staged <= shown_) return;
    beginInsertRows(QModelIndex(), shown_, staged - 1);
    shown_ = staged;
    endInsertRows();
}

void FrameListModel::appendRow(const DecodeContext& c) {
    stage(c);
    commit();
}

void FrameListModel::beginCapture() {
    capturing_ = true;
    records_.clear();
}

void FrameListModel::stageCapturedRow(const DecodeContext& c, const uint8_t* record) {
    stage(c);
    records_.push_back(record);
}

void FrameListModel::endCapture() {
    capturing_ = false;
    // The store's head is the UI thread's again; the marks come from there.
    records_.clear();
    records_.shrink_to_fit();
}

const uint8_t* FrameListModel::capturedRecord(int row) const {
    return row >= 0 && size_t(row) < records_.size() ? records_[size_t(row)] : nullptr;
}

void FrameListModel::clearAll() {
    beginResetModel();
    arena_.clear();
    offsets_.clear();
    records_.clear();
    shown_ = 0;
    empty_at_ = 0;
    endResetModel();
}

void FrameListModel::reserve(size_t rows, size_t bytes_per_row) {
    offsets_.reserve(offsets_.size() + rows);
    arena_.reserve(std::min(arena_.size() + rows * bytes_per_row, ARENA_LIMIT + 8));
}

void FrameListModel::marksChanged(int first, int last) {
    if (shown_ == 0) return;
    first = std::max(first, 0);
    last = std::min(last, shown_ - 1);
    if (first > last) return;
    emit dataChanged(index(first, 0), index(last, 0), {Qt::DecorationRole});
}

// ---- the fill pass ----

// The rows of one range, made on a worker thread: five NUL-ended texts a row,
// as the model keeps them, and each row's start.
struct RowChunk {
    std::vector<char> texts;
    std::vector<uint32_t> starts;
};

class ListFill {
public:
    ~ListFill() { stop(); }

    // Decodes the store's frames over every core on a thread of its own; the
    // event loop takes the finished ranges, in frame order, with take().
    void start() {
        thread = std::thread([this] {
            PassOptions options;
            options.cancelled = [this] { return cancel.load(std::memory_order_relaxed); };
            RunRangePass(*ctx, *store, total, [this] { return std::make_unique<Range>(*this); }, options);
            std::lock_guard<std::mutex> lock(m);
            finished = true;
            ready.notify_all();
        });
    }
    void stop() {
        cancel = true;
        if (thread.joinable()) thread.join();
    }
    // Waits until a range or the end is there.
    void waitForRows() {
        std::unique_lock<std::mutex> lock(m);
        ready.wait(lock, [this] { return finished || !chunks.empty(); });
    }
    // Moves the finished ranges into the model; true once every range is in.
    bool take(FrameListModel& model) {
        std::deque<RowChunk> got;
        bool all;
        {
            std::lock_guard<std::mutex> lock(m);
            got.swap(chunks);
            all = finished;
        }
        for (RowChunk& c : got) {
            model.stageRows(c.texts.data(), c.texts.size(), c.starts.data(), c.starts.size());
            next += uint32_t(c.starts.size());
            std::lock_guard<std::mutex> lock(m);
            if (spare.size() < 8) spare.push_back(std::move(c));
        }
        return all;
    }

    std::unique_ptr<DecodeContext> ctx;
    const FrameStore* store = nullptr;
    uint32_t next = 0;  // rows in the model
    uint32_t total = 0;
    bool reserved = false;
    QElapsedTimer clock;

private:
    class Range : public RangeWork {
    public:
        explicit Range(ListFill& f) : f_(f) {}
        void decode(DecodeContext& c, uint32_t first, uint32_t count, const uint8_t* r) override {
            if (rows_.starts.capacity() == 0) f_.reuse(rows_);
            for (uint32_t i = 0; r && i < count; ++i) {
                clear_columns(c, long(first + i));
                c.layer_index = nullptr;
                decode_frame(0, r, c.link_type, int32_t(first + i + 1));
                rows_.starts.push_back(uint32_t(rows_.texts.size()));
                append_row_texts(rows_.texts, c);
                r += RECORD_HEADER + record_length(r);
            }
        }
        void take(uint32_t, uint32_t) override { f_.hand_over(rows_); }
        void reset() override {
            rows_.texts.clear();
            rows_.starts.clear();
        }

    private:
        ListFill& f_;
        RowChunk rows_;
    };

    void hand_over(RowChunk& rows) {
        std::lock_guard<std::mutex> lock(m);
        chunks.push_back(std::move(rows));
        rows = RowChunk();
        if (!spare.empty()) {
            rows = std::move(spare.back());
            spare.pop_back();
        }
        rows.texts.clear();
        rows.starts.clear();
        ready.notify_all();
    }
    void reuse(RowChunk& rows) {
        std::lock_guard<std::mutex> lock(m);
        if (!spare.empty()) {
            rows = std::move(spare.back());
            spare.pop_back();
            rows.texts.clear();
            rows.starts.clear();
        }
    }

    std::thread thread;
    std::atomic<bool> cancel{false};
    std::mutex m;
    std::condition_variable ready;
    std::deque<RowChunk> chunks;  // taken ranges not yet in the model
    std::deque<RowChunk> spare;   // emptied buffers, for the next ranges
    bool finished = false;
};

CZelListvw::CZelListvw(CChildFrame* window, QWidget* parent)
    : QTableView(parent), window_(window), model_(new FrameListModel(this)) {
    setObjectName("frame_list");
    setModel(model_);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setShowGrid(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    setIconSize(QSize(13, 13));
    verticalHeader()->hide();
    // Fixed row heights keep a million rows as cheap for the header as ten.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setMinimumSectionSize(1);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
    for (int c = 0; c < FrameListModel::COLUMNS; ++c) horizontalHeader()->resizeSection(c, FrameListModel::WIDTHS[c]);
    // Once the user sizes the last column it keeps that size; a change to any
    // other column gives the last one what is left.
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int logical, int, int) {
        if (logical == FrameListModel::COLUMNS - 1) {
            if (!fitting_last_column_) last_column_by_hand_ = true;
        } else {
            fitLastColumn();
        }
    });
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    fill_timer_.setInterval(15);
    connect(&fill_timer_, &QTimer::timeout, this, &CZelListvw::fillSlice);
    capture_show_timer_.setSingleShot(true);
    connect(&capture_show_timer_, &QTimer::timeout, this, &CZelListvw::showCapturedRows);
}

CZelListvw::~CZelListvw() = default;

void CZelListvw::FillFromStore(bool synchronous) {
    FrameStore& store = window_->store();
    if (fill_) {
        fill_timer_.stop();
        fill_.reset();
    }
    model_->setStore(&store);
    if (!store.present() || store.frame_count() == 0 || !store.first()) {
        window_->HideBusy();
        return;
    }
    fill_ = std::make_unique<ListFill>();
    // The pass keeps its own copy of the context, so that a frame shown in the
    // tree meanwhile cannot disturb the state carried from frame to frame.
    fill_->ctx = std::make_unique<DecodeContext>(window_->context());
    DecodeContext& c = *fill_->ctx;
    c.tree = nullptr;
    c.exporter = nullptr;
    c.layer_index = nullptr;
    c.mode = MODE_DISPLAY;
    fill_->store = &store;
    fill_->total = store.frame_count();
    fill_->clock.start();
    fill_->start();
    // The first rows are in the list when this returns.
    fill_->waitForRows();
    fillSlice();
    if (synchronous) finishFill();
    else if (fill_) fill_timer_.start();
}

void CZelListvw::finishFill() {
    while (fill_) {
        fill_->waitForRows();
        fillSlice();
    }
}

void CZelListvw::StopFill() {
    fill_timer_.stop();
    fill_.reset();
}

void CZelListvw::fillSlice() {
    if (!fill_) return;
    ListFill& f = *fill_;
    bool all = f.take(*model_);
    if (!f.reserved && f.next > 0 && f.next < f.total) {
        size_t per_row = model_->arenaBytes() / f.next + 4;
        model_->reserve(f.total - f.next, per_row + per_row / 16);
        f.reserved = true;
    }
    model_->commit();
    if (f.clock.elapsed() > 1000) window_->busyProgress(int(f.next / 1024), int(f.total / 1024));
    if (all) endFill();
}

void CZelListvw::endFill() {
    fill_timer_.stop();
    if (!fill_) return;
    fill_->stop();
    // What the pass learnt (column widths for printing, FTP data ports for the
    // tree) becomes the window's, as after a pass with the window's own context.
    DecodeContext& w = window_->context();
    TreeSink* tree = w.tree;
    LineSink* exporter = w.exporter;
    w = *fill_->ctx;
    w.tree = tree;
    w.exporter = exporter;
    w.layer_index = nullptr;
    fill_.reset();
    window_->HideBusy();
    emit fillFinished();
    emit rowsChanged();
}

void CZelListvw::OnCaptureFrame(const FrameListUpdate& u) {
    if (u.action == FrameAction::Emptied) {
        if (u.context) clear_columns(*u.context, 0);
        ClearAll();
        return;
    }
    if (!u.record || !u.context) return;
    // The records are not counted in the store yet: the rows are made from them
    // alone; those of a batch lie one behind the other.
    const uint8_t* r = u.record;
    for (uint32_t i = 0; i < u.count; ++i) {
        if (i) r += RECORD_HEADER + record_length(r);
        addCapturedRow(r, u.index + i, u.link_type, *u.context);
    }
    if (model_->capturing()) {
        qint64 since = capture_shown_.isValid() ? capture_shown_.elapsed() : CAPTURE_SHOW_MS;
        if (since >= CAPTURE_SHOW_MS)
            showCapturedRows();
        else if (!capture_show_timer_.isActive())
            capture_show_timer_.start(int(CAPTURE_SHOW_MS - since));
    }
    // The command states depend only on whether there are rows; during a capture
    // they are brought up to date once, with the first row, not for every frame.
    if (!model_->capturing() || RowCount() == int(u.count)) emit rowsChanged();
}

void CZelListvw::addCapturedRow(const uint8_t* record, uint32_t index, int32_t link_type, DecodeContext& c) {
    uint8_t* r = const_cast<uint8_t*>(record);
    DecodeContext* previous = current_context();
    make_current(&c);
    c.mode = MODE_DISPLAY;
    if (index == 0) c.first_time = c.previous_time = record_time(r);
    // Captured frames start unmarked. Byte 15 is the back link's high byte in
    // this store, not a spare byte, so it stays as the store wrote it.
    set_record_flags(r, 0);
    c.layer_index = nullptr;
    clear_columns(c, long(index));
    decode_frame(0, r, link_type, int32_t(index + 1));
    if (model_->capturing())
        model_->stageCapturedRow(c, r);
    else
        model_->appendRow(c);
    make_current(previous);
}

void CZelListvw::OnCaptureFrame(int action, uint32_t index) {
    FrameStore& store = window_->store();
    model_->setStore(&store);
    FrameListUpdate u;
    u.store = &store;
    u.context = &window_->context();
    u.index = index;
    u.link_type = window_->context().link_type;
    u.action = action == 2 ? FrameAction::Emptied : FrameAction::Added;
    if (action == 1) {
        u.record = store.at(index);
        if (!u.record) return;
    } else if (action != 2) {
        return;
    }
    OnCaptureFrame(u);
}

void CZelListvw::BeginCapture() {
    if (fill_) {
        fill_timer_.stop();
        fill_.reset();
    }
    model_->setStore(&window_->store());
    model_->beginCapture();
    ClearAll();
}

void CZelListvw::showCapturedRows() {
    capture_show_timer_.stop();
    model_->commit();
    capture_shown_.start();
}

void CZelListvw::EndCapture() {
    if (!model_->capturing()) return;
    // A stop can leave counted frames whose batch never reached the list; the
    // capture thread is gone, so the store is read directly.
    int rows = RowCount();
    const uint8_t* last = rows > 0 ? model_->capturedRecord(rows - 1) : nullptr;
    DecodeContext& c = window_->context();
    CaptureCatchUp(window_->store(), last, uint32_t(rows), [&](const uint8_t* r, uint32_t index) {
        addCapturedRow(r, index, c.link_type, c);
    });
    showCapturedRows();
    capture_shown_.invalidate();
    model_->endCapture();
    emit rowsChanged();
}

const uint8_t* CZelListvw::rowRecord(int row) const {
    if (row < 0) return nullptr;
    if (model_->capturing()) return model_->capturedRecord(row);
    return window_->store().at(uint32_t(row));
}

bool CZelListvw::rowSelected(int row) const {
    return selectionModel() && selectionModel()->isRowSelected(row, QModelIndex());
}

int CZelListvw::ShowMark(int row, int action) {
    // No marks on a list a capture is running into: the store is not ours yet.
    if (!marks_enabled_ || model_->capturing() || row < 0 || row >= model_->rowCount()) return -1;
    FrameStore& store = window_->store();
    bool mark;
    switch (action) {
    case 0:
        if (!rowSelected(row)) return -1;
        mark = true;
        break;
    case 1:
    case 3:
        mark = true;
        break;
    case 2:
        mark = false;
        break;
    case 4:
        return store.marked(uint32_t(row)) ? 1 : -1;
    default:
        return -1;
    }
    // The image shows the record's mark bit, so the two cannot drift apart.
    store.set_marked(uint32_t(row), mark);
    model_->marksChanged(row, row);
    return 1;
}

int CZelListvw::SelectRow(int row, int previous_row, int byte_offset, int action) {
    if (row < 0 || row >= RowCount()) return -2;
    if (row >= model_->rowCount()) showCapturedRows();
    if (action == 1) {
        ShowMark(row, 1);
        return row;
    }
    if (action != -1 && action != 3) return -1;
    if (previous_row != -1) selectionModel()->select(model_->index(previous_row, 0),
                                                     QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
    ensureRowVisible(row);
    selectionModel()->setCurrentIndex(model_->index(row, 0), QItemSelectionModel::ClearAndSelect |
                                                                 QItemSelectionModel::Rows);
    setFocus();
    if (action == 3) ShowMark(row, 3);
    if (last_shown_row_ != row && tree_) {
        last_shown_row_ = row;
        tree_->ShowFrame(row);
    }
    if (byte_offset != -1 && tree_) tree_->SelectNodeCovering(uint32_t(byte_offset));
    return row;
}

int CZelListvw::FirstSelectedRow() const {
    if (!selectionModel()) return -1;
    int first = -1;
    for (const QItemSelectionRange& r : selectionModel()->selection())
        if (first < 0 || r.top() < first) first = r.top();
    return first;
}

void CZelListvw::ClearAll() {
    fill_timer_.stop();
    capture_show_timer_.stop();
    fill_.reset();
    model_->clearAll();
    last_shown_row_ = -1;
    if (tree_) tree_->ClearTree();
    emit rowsChanged();
}

void CZelListvw::ensureRowVisible(int row) {
    if (row < 0 || row >= model_->rowCount()) return;
    int top = rowViewportPosition(row);
    int h = rowHeight(row);
    if (top >= viewport()->height() || top < h) verticalScrollBar()->setValue(std::max(0, row - 1));
}

void CZelListvw::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    followSelection();
}

void CZelListvw::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QTableView::selectionChanged(selected, deselected);
    followSelection();
    window_->refreshCommandStates();
}

void CZelListvw::followSelection() {
    QModelIndex current = currentIndex();
    if (!current.isValid() || !tree_) return;
    int row = current.row();
    if (row == last_shown_row_ || !rowSelected(row)) return;
    last_shown_row_ = row;
    tree_->ShowFrame(row);
}

bool CZelListvw::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Resize) fitLastColumn();
    return QTableView::viewportEvent(event);
}

void CZelListvw::fitLastColumn() {
    if (last_column_by_hand_ || fitting_last_column_) return;
    const int last = FrameListModel::COLUMNS - 1;
    int others = 0;
    for (int c = 0; c < last; ++c) others += horizontalHeader()->sectionSize(c);
    int width = std::max(FrameListModel::WIDTHS[last], viewport()->width() - others);
    if (width == horizontalHeader()->sectionSize(last)) return;
    fitting_last_column_ = true;
    horizontalHeader()->resizeSection(last, width);
    fitting_last_column_ = false;
}

}  // namespace zelpan
