#pragma once
// The detail tree: a model over the DetailTree recorder that the window's decode
// context feeds while the selected frame is decoded, and the view that shows it,
// remembers the protocols the user opens and drives the hex dump.
#include <QAbstractItemModel>
#include <QTreeView>
#include <cstdint>
#include <vector>

#include "decode/engine.h"

namespace zelpan {

class CChildFrame;
class CZelDumpvw;

class DetailTreeModel : public QAbstractItemModel {
    Q_OBJECT
public:
    explicit DetailTreeModel(const DetailTree& tree, QObject* parent = nullptr);

    // The recorder changed completely (a new frame, or cleared).
    void rebuild();

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    QModelIndex indexOf(int32_t handle) const;
    static int32_t handleOf(const QModelIndex& index) { return index.isValid() ? int32_t(index.internalId()) : 0; }

private:
    const DetailTree& tree_;
    // Children of each line in order, for row lookups: kids_[start_[h] .. start_[h] + count_[h]).
    // Entry 0 stands for the top level. Capacity is kept across frames.
    std::vector<int32_t> kids_;
    std::vector<uint32_t> start_, count_, row_;
};

class CZelTreevw : public QTreeView {
    Q_OBJECT
public:
    explicit CZelTreevw(CChildFrame* window, QWidget* parent = nullptr);

    void setDumpView(CZelDumpvw* dump) { dump_ = dump; }
    const DetailTree& detailTree() const { return tree_; }
    DetailTreeModel* treeModel() const { return model_; }

    // Decodes the frame at position row of the window's store and shows it.
    void ShowFrame(int row);
    // Selects the narrowest line covering byte offset (highlighting it).
    void SelectNodeCovering(uint32_t offset);
    void ClearTree();

    int shownRow() const { return shown_row_; }
    int32_t selectedHandle() const;
    int32_t highlightedNode() const { return highlighted_; }
    int32_t pendingNode() const { return pending_; }
    void selectHandle(int32_t handle);

protected:
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    void onExpansion(const QModelIndex& index, bool expanded);

    CChildFrame* window_;
    CZelDumpvw* dump_ = nullptr;
    DetailTree tree_;
    DetailTreeModel* model_;
    int shown_row_ = -1;
    int32_t highlighted_ = 0;
    int32_t pending_ = 0;
    bool populating_ = false;
};

}  // namespace zelpan
