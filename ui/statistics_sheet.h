#pragma once
// The statistics sheet of one window: the traffic page (frames and bytes per
// second, peaks, span, the time graph with zoom and pages, one source address) and
// the distribution page (frames and bytes per top protocol, recounted for one
// source address, marking the selected protocols). Modeless, deletes itself when
// closed; a child of its window, which it never outlives.
#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <vector>

#include "condition/layer_index.h"
#include "stats/distribution.h"
#include "stats/traffic.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;
class QTreeWidget;

namespace zelpan {

class CChildFrame;

// The graph area: a black frame with the bars, the per-second line and the axes.
class CTrafficGraph : public QWidget {
    Q_OBJECT
public:
    explicit CTrafficGraph(QWidget* parent = nullptr);
    // What to draw; the pointers stay valid while the page lives.
    void setData(const FrameStore* store, const TrafficResults* results, int link_type);
    void setView(const TrafficView& view, int unit, const MacAddress* source);
    // The plotting rectangle inside the widget.
    QRect plotRect() const;
    // Graph colours.
    static const QColor BAR_COLOURS[3];  // normal, marked, peak
    static const QColor LINE_COLOUR;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const FrameStore* store_ = nullptr;
    const TrafficResults* results_ = nullptr;
    int link_type_ = 1;
    TrafficView view_;
    int unit_ = UNIT_FRAME;
    bool filtered_ = false;
    MacAddress source_{};
};

class CStatisticsPage : public QWidget {
    Q_OBJECT
public:
    // Computes the traffic results of the window's frames and hides the busy
    // indicator the command showed.
    explicit CStatisticsPage(CChildFrame* window, QWidget* parent = nullptr);

    const TrafficResults& results() const { return results_; }
    const TrafficView& view() const { return view_; }
    CTrafficGraph* graph() const { return graph_; }
    QString frameText() const;
    QString byteText() const;
    QString spanText() const;

public slots:
    void unitChanged(int index);
    void sourceChanged(int index);
    void zoomChanged(int index);
    void scrollLeft();
    void scrollRight();
    // After marks changed: the graph again.
    void refreshGraph();

private:
    void showView();

    CChildFrame* window_;
    TrafficResults results_;
    TrafficView view_;
    int unit_ = UNIT_FRAME;
    int source_index_ = 0;
    int zoom_index_ = 0;
    QComboBox* unit_box_;
    QComboBox* source_box_;
    QComboBox* zoom_box_;
    QPushButton* left_;
    QPushButton* right_;
    QLineEdit* frame_text_;
    QLineEdit* byte_text_;
    QLineEdit* span_text_;
    CTrafficGraph* graph_;
};

class CDistributionPage : public QWidget {
    Q_OBJECT
public:
    // Builds the window's layer indexes when missing, then fills the page.
    explicit CDistributionPage(CChildFrame* window, QWidget* parent = nullptr);

    QTreeWidget* list() const { return list_; }
    QString conditionText() const;
    QString framesText() const;
    QString bytesText() const;

public slots:
    void sourceChanged(int index);
    void selectionChanged();
    void mark();

signals:
    void marked();

private:
    void showCounts();

    CChildFrame* window_;
    const LayerIndexList* index_ = nullptr;
    std::vector<DistributionEntry> table_;
    DistributionTotals totals_;
    QString source_text_;
    QComboBox* source_box_;
    QTreeWidget* list_;
    QLineEdit* frames_;
    QLineEdit* bytes_;
    QLineEdit* condition_;
    QPushButton* mark_;
};

class CStatisticsSheet : public QDialog {
    Q_OBJECT
public:
    explicit CStatisticsSheet(CChildFrame* window);

    CStatisticsPage* trafficPage() const { return traffic_; }
    CDistributionPage* distributionPage() const { return distribution_; }
    QTabWidget* pages() const { return pages_; }

public slots:
    // The mark commands: the traffic graph again.
    void refreshGraph();

private:
    QTabWidget* pages_;
    CStatisticsPage* traffic_;
    CDistributionPage* distribution_;
};

}  // namespace zelpan
