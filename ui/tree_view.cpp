#include "ui/tree_view.h"

#include <QHeaderView>

#include "ui/child_frame.h"
#include "ui/dump_view.h"

namespace zelpan {

DetailTreeModel::DetailTreeModel(const DetailTree& tree, QObject* parent) : QAbstractItemModel(parent), tree_(tree) {}

void DetailTreeModel::rebuild() {
    beginResetModel();
    size_t n = size_t(tree_.size());
    kids_.clear();
    start_.assign(n + 1, 0);
    count_.assign(n + 1, 0);
    row_.assign(n + 1, 0);
    for (size_t h = 0; h <= n; ++h) {
        start_[h] = uint32_t(kids_.size());
        int32_t child = h == 0 ? tree_.first_top() : tree_.line(int32_t(h)).first_child;
        uint32_t row = 0;
        while (tree_.valid(child)) {
            kids_.push_back(child);
            row_[size_t(child)] = row++;
            child = tree_.line(child).next_sibling;
        }
        count_[h] = row;
    }
    endResetModel();
}

QModelIndex DetailTreeModel::index(int row, int column, const QModelIndex& parent) const {
    size_t p = size_t(handleOf(parent));
    if (column != 0 || row < 0 || p >= count_.size() || uint32_t(row) >= count_[p]) return {};
    return createIndex(row, 0, quintptr(kids_[start_[p] + uint32_t(row)]));
}

QModelIndex DetailTreeModel::parent(const QModelIndex& child) const {
    int32_t h = handleOf(child);
    if (!tree_.valid(h) || size_t(h) >= row_.size()) return {};
    int32_t p = tree_.line(h).parent;
    if (p == ROOT_NODE || !tree_.valid(p)) return {};
    return createIndex(int(row_[size_t(p)]), 0, quintptr(p));
}

int DetailTreeModel::rowCount(const QModelIndex& parent) const {
    size_t p = size_t(handleOf(parent));
    return p < count_.size() ? int(count_[p]) : 0;
}

int DetailTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant DetailTreeModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole) return {};
    int32_t h = handleOf(index);
    if (!tree_.valid(h)) return {};
    std::string_view t = tree_.text(h);
    return QString::fromUtf8(t.data(), qsizetype(t.size()));
}

QModelIndex DetailTreeModel::indexOf(int32_t handle) const {
    if (!tree_.valid(handle) || size_t(handle) >= row_.size()) return {};
    return createIndex(int(row_[size_t(handle)]), 0, quintptr(handle));
}

CZelTreevw::CZelTreevw(CChildFrame* window, QWidget* parent)
    : QTreeView(parent), window_(window), model_(new DetailTreeModel(tree_, this)) {
    setObjectName("detail_tree");
    model_->rebuild();
    setModel(model_);
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    connect(this, &QTreeView::expanded, this, [this](const QModelIndex& i) { onExpansion(i, true); });
    connect(this, &QTreeView::collapsed, this, [this](const QModelIndex& i) { onExpansion(i, false); });
}

void CZelTreevw::ShowFrame(int row) {
    DecodeContext& c = window_->context();
    populating_ = true;
    tree_.clear();
    highlighted_ = pending_ = 0;
    shown_row_ = row;
    const uint8_t* r = row >= 0 ? window_->frameRecord(row) : nullptr;
    int32_t top = 0;
    if (r) {
        DecodeContext* previous = current_context();
        make_current(&c);
        c.mode = MODE_DISPLAY;
        // Random access to the first and the previous record, not a walk.
        c.first_time = record_time(window_->frameRecord(0));
        c.previous_time = row > 0 ? record_time(window_->frameRecord(row - 1)) : c.first_time;
        c.layer_index = nullptr;
        TreeSink* before = c.tree;
        c.tree = &tree_;
        top = decode_frame(ROOT_NODE, r, c.link_type, row + 1);
        c.tree = before;
        make_current(previous);
        tree_.finish();
    }
    model_->rebuild();
    for (int32_t h = 1; h <= tree_.size(); ++h)
        if (tree_.line(h).expanded) setExpanded(model_->indexOf(h), true);
    populating_ = false;
    if (!r) {
        if (dump_) dump_->ClearDump();
        return;
    }
    if (top) scrollTo(model_->indexOf(top), QAbstractItemView::PositionAtTop);
    if (dump_) dump_->ShowBytes(record_bytes(r), record_length(r));
    int32_t n = last_expanded_node(tree_.registry(), tree_.registry_count());
    pending_ = tree_.valid(n) ? n : top;
    // The keyboard starts from there; nothing is highlighted until a line is chosen.
    if (tree_.valid(pending_))
        selectionModel()->setCurrentIndex(model_->indexOf(pending_), QItemSelectionModel::NoUpdate);
}

void CZelTreevw::ClearTree() {
    populating_ = true;
    tree_.clear();
    model_->rebuild();
    populating_ = false;
    shown_row_ = -1;
    highlighted_ = pending_ = 0;
    if (dump_) dump_->ClearDump();
}

int32_t CZelTreevw::selectedHandle() const {
    if (!selectionModel()) return 0;
    QModelIndexList rows = selectionModel()->selectedIndexes();
    return rows.isEmpty() ? 0 : DetailTreeModel::handleOf(rows.front());
}

void CZelTreevw::selectHandle(int32_t handle) {
    QModelIndex i = model_->indexOf(handle);
    if (!i.isValid()) return;
    // Opening the parents to reveal the line is not the user's choice of protocol.
    populating_ = true;
    for (QModelIndex p = i.parent(); p.isValid(); p = p.parent()) setExpanded(p, true);
    populating_ = false;
    selectionModel()->setCurrentIndex(i, QItemSelectionModel::ClearAndSelect);
    scrollTo(i);
}

void CZelTreevw::SelectNodeCovering(uint32_t offset) {
    if (tree_.size() == 0) return;
    int32_t h = tree_.line_for_byte(offset);
    if (!tree_.valid(h)) return;
    pending_ = h;
    setFocus(Qt::OtherFocusReason);
    selectHandle(h);
}

void CZelTreevw::selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) {
    QTreeView::selectionChanged(selected, deselected);
    if (populating_) return;
    int32_t h = selectedHandle();
    if (!tree_.valid(h)) return;
    const DetailTree::Line& l = tree_.line(h);
    if (dump_) dump_->Highlight(l.offset, l.length);
    highlighted_ = h;
    if (h == pending_) pending_ = 0;
}

void CZelTreevw::onExpansion(const QModelIndex& index, bool expanded) {
    if (populating_) return;
    int32_t h = DetailTreeModel::handleOf(index);
    if (!tree_.valid(h)) return;
    // Top-level lines change the protocol's remembered state.
    tree_.set_expanded(h, expanded);
    if (model_->rowCount(index) > 0) selectHandle(h);
}

}  // namespace zelpan
