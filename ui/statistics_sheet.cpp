#include "ui/statistics_sheet.h"
#include "ui/dialog_util.h"

#include <QApplication>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPainter>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/child_frame.h"
#include "ui/info_window.h"
#include "ui/list_view.h"

namespace zelpan {

namespace {

QLineEdit* read_only(const char* name, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(QString::fromLatin1(name));
    e->setReadOnly(true);
    return e;
}

QComboBox* combo(const char* name, QWidget* parent) {
    auto* c = new QComboBox(parent);
    c->setObjectName(QString::fromLatin1(name));
    return c;
}

const QColor AXIS_TEXT(112, 112, 112);

// The window as MarkDistribution sees it: marks go to the records only, and the
// list repaints its mark column once afterwards instead of once a row.
class BulkMarks : public SearchWindow {
public:
    explicit BulkMarks(CChildFrame& w) : w_(w) {}
    int32_t row_count() const override { return w_.row_count(); }
    int32_t selected_row() const override { return w_.selected_row(); }
    bool row_selected(int32_t row) const override { return w_.row_selected(row); }
    void select_row(int32_t row, int32_t match_offset) override { w_.select_row(row, match_offset); }
    void show_marked(int32_t row, bool marked) override {
        if (row >= 0 && row < w_.row_count()) w_.store().set_marked(uint32_t(row), marked);
    }
    FrameStore* frame_store() override { return &w_.store(); }
    const LayerIndexList* layer_indexes() override { return w_.layer_indexes(); }
    SearchWindowState& search_state() override { return w_.search_state(); }

private:
    CChildFrame& w_;
};
constexpr int LEFT_MARGIN = 64, BOTTOM_MARGIN = 22, TOP_MARGIN = 10, RIGHT_MARGIN = 36;

}  // namespace

// ---- graph ----

const QColor CTrafficGraph::BAR_COLOURS[3] = {QColor(255, 255, 0), QColor(0x33, 0xFF, 0x33), QColor(0, 0, 255)};
const QColor CTrafficGraph::LINE_COLOUR(255, 0, 0);

CTrafficGraph::CTrafficGraph(QWidget* parent) : QWidget(parent) {
    setObjectName("graph");
    setMinimumSize(360, 200);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CTrafficGraph::setData(const FrameStore* store, const TrafficResults* results, int link_type) {
    store_ = store;
    results_ = results;
    link_type_ = link_type;
    update();
}

void CTrafficGraph::setView(const TrafficView& view, int unit, const MacAddress* source) {
    view_ = view;
    unit_ = unit;
    filtered_ = source != nullptr;
    if (source) source_ = *source;
    update();
}

QRect CTrafficGraph::plotRect() const {
    return QRect(LEFT_MARGIN, TOP_MARGIN, std::max(width() - LEFT_MARGIN - RIGHT_MARGIN, 10),
                 std::max(height() - TOP_MARGIN - BOTTOM_MARGIN, 10));
}

void CTrafficGraph::paintEvent(QPaintEvent*) {
    QPainter g(this);
    const QRect plot = plotRect();
    g.fillRect(plot, Qt::black);
    if (!store_ || !results_) return;
    const TrafficResults& r = *results_;
    const uint64_t peak = std::max<uint64_t>(UnitPeak(r, unit_), 1);
    const int left = plot.left(), bottom = plot.bottom(), w = plot.width() - 1, h = plot.height() - 1;
    auto y_of = [&](uint64_t v) { return bottom - int(double(h) * double(std::min(v, peak)) / double(peak)); };
    auto x_of = [&](uint64_t t) {
        if (view_.width == 0) return double(left);
        return left + double(w) * (double(t) - double(view_.start)) / double(view_.width);
    };

    // Value axis: grid lines with their values, and 0 at the baseline.
    QFont small = font();
    small.setPointSizeF(std::max(7.0, small.pointSizeF() - 1));
    g.setFont(small);
    const int text_h = g.fontMetrics().height();
    g.setPen(AXIS_TEXT);
    g.drawText(QRect(0, bottom - text_h / 2, LEFT_MARGIN - 6, text_h), Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("0"));
    for (uint64_t v : GridValues(UnitPeak(r, unit_))) {
        int y = y_of(v);
        g.setPen(QPen(QColor(80, 80, 80), 1, Qt::DotLine));
        g.drawLine(left, y, plot.right(), y);
        g.setPen(AXIS_TEXT);
        g.drawText(QRect(0, y - text_h / 2, LEFT_MARGIN - 6, text_h), Qt::AlignRight | Qt::AlignVCenter,
                   QString::number(qulonglong(v)));
    }
    // Time axis.
    for (const TimeTick& t : TimeTicks(view_, r)) {
        int x = int(x_of(t.time));
        g.setPen(QColor(80, 80, 80));
        g.drawLine(x, bottom, x, bottom + 3);
        g.setPen(AXIS_TEXT);
        QString text = QString::fromStdString(t.text);
        int tw = g.fontMetrics().horizontalAdvance(text);
        g.drawText(QRect(x - tw / 2 - 2, bottom + 4, tw + 4, text_h), Qt::AlignCenter, text);
    }

    // Bars, one column per pixel.
    g.setClipRect(plot);
    const MacAddress* source = filtered_ ? &source_ : nullptr;
    TrafficGraph graph = ComputeTrafficGraph(*store_, r, link_type_, unit_, source, view_, w + 1);
    for (size_t c = 0; c < graph.columns.size(); ++c) {
        const std::vector<Bar>& stack = graph.columns[c];
        for (size_t k = 0; k < stack.size(); ++k) {
            uint64_t from = k + 1 < stack.size() ? stack[k + 1].height : 0;
            g.setPen(BAR_COLOURS[stack[k].colour]);
            int x = left + int(c);
            int y0 = y_of(from), y1 = y_of(stack[k].height);
            g.drawLine(x, k + 1 < stack.size() ? y0 - 1 : y0, x, y1);
        }
    }
    // The per-second line; at X1 through the 64 slots.
    std::vector<LinePoint> line = graph.line;
    if (view_.factor == 1 && r.span >= TRAFFIC_SLOTS) line = SlotLine(BuildTrafficSlots(graph.line, r), graph.line);
    g.setRenderHint(QPainter::Antialiasing, false);
    g.setPen(QPen(LINE_COLOUR, 1));
    QPolygonF poly;
    const double lo = left - 2.0 * w, hi = left + 3.0 * w;
    for (const LinePoint& p : line) {
        double x = x_of(p.time);
        poly << QPointF(std::clamp(x, lo, hi), y_of(p.value));
    }
    if (poly.size() > 1) g.drawPolyline(poly);
    g.setClipping(false);
    g.setPen(Qt::black);
    g.drawRect(plot.adjusted(0, 0, -1, -1));
}

// ---- traffic page ----

CStatisticsPage::CStatisticsPage(CChildFrame* window, QWidget* parent) : QWidget(parent), window_(window) {
    setObjectName("traffic_page");
    unit_box_ = combo("unit", this);
    unit_box_->addItems({QStringLiteral("FRAME"), QStringLiteral("BYTE")});
    source_box_ = combo("source", this);
    source_box_->addItem(QStringLiteral("ALL"));
    zoom_box_ = combo("zoom", this);
    for (int f : ZOOM_FACTORS) zoom_box_->addItem(QStringLiteral("X%1").arg(f));
    left_ = dialog_button("<(&B)", "left", this);
    right_ = dialog_button(">(&F)", "right", this);
    frame_text_ = read_only("frame_text", this);
    byte_text_ = read_only("byte_text", this);
    span_text_ = read_only("span_text", this);
    graph_ = new CTrafficGraph(this);

    auto* controls = new QGridLayout;
    controls->addWidget(new QLabel(u8("単位"), this), 0, 0);
    controls->addWidget(unit_box_, 1, 0);
    controls->addWidget(new QLabel(u8("送信元ｱﾄﾞﾚｽ"), this), 0, 1);
    controls->addWidget(source_box_, 1, 1);
    controls->addWidget(new QLabel(u8("時間軸の調整"), this), 0, 2);
    auto* zoom_row = new QHBoxLayout;
    zoom_row->addWidget(zoom_box_);
    zoom_row->addWidget(left_);
    zoom_row->addWidget(right_);
    controls->addLayout(zoom_row, 1, 2);
    controls->setColumnStretch(1, 1);
    auto* texts = new QGridLayout;
    const char* titles[3] = {"Frame", "Byte", "合計時間"};
    QLineEdit* fields[3] = {frame_text_, byte_text_, span_text_};
    for (int k = 0; k < 3; ++k) {
        texts->addWidget(new QLabel(u8(titles[k]), this), 0, k);
        texts->addWidget(fields[k], 1, k);
    }
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(controls);
    outer->addLayout(texts);
    outer->addWidget(graph_, 1);

    if (window_ && window_->store().present()) {
        results_ = ComputeTraffic(window_->store(), window_->context().link_type);
        for (const MacAddress& a : results_.sources) source_box_->addItem(QString::fromStdString(SourceText(a)));
        graph_->setData(&window_->store(), &results_, window_->context().link_type);
    }
    view_ = InitialView(results_);
    frame_text_->setText(frameText());
    byte_text_->setText(byteText());
    span_text_->setText(spanText());
    showView();

    connect(unit_box_, &QComboBox::currentIndexChanged, this, &CStatisticsPage::unitChanged);
    connect(source_box_, &QComboBox::currentIndexChanged, this, &CStatisticsPage::sourceChanged);
    connect(zoom_box_, &QComboBox::currentIndexChanged, this, &CStatisticsPage::zoomChanged);
    connect(left_, &QPushButton::clicked, this, &CStatisticsPage::scrollLeft);
    connect(right_, &QPushButton::clicked, this, &CStatisticsPage::scrollRight);
    if (window_) window_->HideBusy();
}

QString CStatisticsPage::frameText() const { return QString::fromStdString(TrafficFrameText(results_)); }
QString CStatisticsPage::byteText() const { return QString::fromStdString(TrafficByteText(results_)); }
QString CStatisticsPage::spanText() const { return QString::fromStdString(SpanText(results_.span)); }

void CStatisticsPage::showView() {
    left_->setEnabled(view_.left_enabled);
    right_->setEnabled(view_.right_enabled);
    MacAddress a{};
    bool filtered = source_index_ > 0 && size_t(source_index_) <= results_.sources.size();
    if (filtered) a = results_.sources[size_t(source_index_ - 1)];
    graph_->setView(view_, unit_, filtered ? &a : nullptr);
}

void CStatisticsPage::unitChanged(int index) {
    unit_ = index == 1 ? UNIT_BYTE : UNIT_FRAME;
    showView();
}

void CStatisticsPage::sourceChanged(int index) {
    source_index_ = std::max(index, 0);
    showView();
}

void CStatisticsPage::zoomChanged(int index) {
    if (index < 0 || index >= int(std::size(ZOOM_FACTORS))) return;
    if (!SetZoom(view_, results_, ZOOM_FACTORS[index])) {
        // Refused: the combo goes back to the factor in use.
        QSignalBlocker quiet(zoom_box_);
        zoom_box_->setCurrentIndex(zoom_index_);
        return;
    }
    zoom_index_ = index;
    showView();
}

void CStatisticsPage::scrollLeft() {
    ScrollLeft(view_, results_);
    showView();
}

void CStatisticsPage::scrollRight() {
    ScrollRight(view_, results_);
    showView();
}

void CStatisticsPage::refreshGraph() { graph_->update(); }

// ---- distribution page ----

CDistributionPage::CDistributionPage(CChildFrame* window, QWidget* parent) : QWidget(parent), window_(window) {
    setObjectName("distribution_page");
    source_box_ = combo("source", this);
    source_box_->addItem(QStringLiteral("ALL"));
    list_ = new QTreeWidget(this);
    list_->setObjectName("list");
    list_->setRootIsDecorated(false);
    list_->setUniformRowHeights(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setColumnCount(6);
    QStringList titles;
    for (const char* t : DISTRIBUTION_COLUMNS) titles << u8(t);
    list_->setHeaderLabels(titles);
    list_->header()->setStretchLastSection(false);
    for (int k = 0; k < 6; ++k) {
        list_->setColumnWidth(k, k == 0 ? 112 : 80);
        list_->headerItem()->setTextAlignment(k, (k == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
    }
    frames_ = read_only("frames", this);
    bytes_ = read_only("bytes", this);
    condition_ = read_only("condition", this);
    mark_ = dialog_button("ﾏｰｸ(&M)", "mark", this);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(u8("送信元ｱﾄﾞﾚｽ"), this));
    top->addWidget(source_box_, 1);
    auto* totals = new QHBoxLayout;
    totals->addWidget(new QLabel(u8("ﾌﾚｰﾑ"), this));
    totals->addWidget(frames_, 1);
    totals->addWidget(new QLabel(u8("ﾊﾞｲﾄ"), this));
    totals->addWidget(bytes_, 1);
    auto* marking = new QHBoxLayout;
    marking->addWidget(new QLabel(u8("ﾏｰｸ条件"), this));
    marking->addWidget(condition_, 1);
    marking->addWidget(mark_);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(top);
    outer->addWidget(list_, 1);
    outer->addLayout(totals);
    outer->addLayout(marking);

    if (window_ && window_->store().present()) {
        index_ = window_->layer_indexes();
        if (index_) table_ = index_->distribution();
        totals_ = ResetDistribution(table_, window_->store());
        for (const MacAddress& a : SourceAddresses(window_->store(), window_->context().link_type))
            source_box_->addItem(QString::fromStdString(SourceText(a)));
    }
    for (size_t r = 0; r < table_.size(); ++r) {
        auto* item = new QTreeWidgetItem(list_);
        for (int k = 1; k < 6; ++k) item->setTextAlignment(k, Qt::AlignRight | Qt::AlignVCenter);
    }
    source_text_ = u8(SourceConditionText("ALL"));
    showCounts();
    selectionChanged();

    connect(source_box_, &QComboBox::currentIndexChanged, this, &CDistributionPage::sourceChanged);
    connect(list_, &QTreeWidget::itemSelectionChanged, this, &CDistributionPage::selectionChanged);
    connect(mark_, &QPushButton::clicked, this, &CDistributionPage::mark);
}

void CDistributionPage::showCounts() {
    for (size_t r = 0; r < table_.size(); ++r) {
        QTreeWidgetItem* item = list_->topLevelItem(int(r));
        std::array<std::string, 6> texts = DistributionRowTexts(table_[r], totals_.frames);
        for (int k = 0; k < 6; ++k) item->setText(k, u8(texts[size_t(k)]));
    }
    frames_->setText(u8(TotalPairText(totals_.chosen_frames, totals_.frames)));
    bytes_->setText(u8(TotalPairText(totals_.chosen_bytes, totals_.bytes)));
}

void CDistributionPage::sourceChanged(int index) {
    source_text_ = u8(SourceConditionText(source_box_->itemText(index).toStdString()));
    selectionChanged();
    if (!window_ || !window_->store().present()) return;
    window_->ShowBusy();
    MacAddress a;
    if (index > 0 && index_ && ParseSourceText(source_box_->itemText(index).toStdString(), a))
        totals_ = RecountDistribution(table_, window_->store(), *index_, window_->context().link_type, a);
    else
        totals_ = ResetDistribution(table_, window_->store());
    window_->HideBusy();
    showCounts();
}

void CDistributionPage::selectionChanged() {
    std::vector<std::string> labels;
    for (int r = 0; r < list_->topLevelItemCount(); ++r)
        if (list_->topLevelItem(r)->isSelected()) labels.push_back(table_[size_t(r)].label);
    condition_->setText(u8(MarkConditionText(source_text_.toStdString(), labels)));
}

void CDistributionPage::mark() {
    std::vector<int32_t> protocols;
    for (int r = 0; r < list_->topLevelItemCount(); ++r)
        if (list_->topLevelItem(r)->isSelected()) protocols.push_back(table_[size_t(r)].top_protocol);
    if (protocols.empty() || !window_ || !index_) return;
    MacAddress a;
    const int chosen = source_box_->currentIndex();
    bool filtered = chosen > 0 && ParseSourceText(source_box_->currentText().toStdString(), a);
    window_->ShowBusy();
    BulkMarks marks(*window_);
    MarkDistribution(marks, *index_, protocols, filtered ? &a : nullptr, window_->context().link_type);
    window_->listView()->frameModel()->marksChanged(0, window_->row_count() - 1);
    window_->HideBusy();
    emit marked();
}

QString CDistributionPage::conditionText() const { return condition_->text(); }
QString CDistributionPage::framesText() const { return frames_->text(); }
QString CDistributionPage::bytesText() const { return bytes_->text(); }

// ---- sheet ----

CStatisticsSheet::CStatisticsSheet(CChildFrame* window) : QDialog(window) {
    setObjectName("statistics_sheet");
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(window ? window->title() : QString());
    if (window && window->subWindow()) setWindowIcon(window->subWindow()->windowIcon());
    pages_ = new QTabWidget(this);
    traffic_ = new CStatisticsPage(window, pages_);
    distribution_ = new CDistributionPage(window, pages_);
    pages_->addTab(traffic_, u8("ﾄﾗﾌｨｯｸ"));
    pages_->addTab(distribution_, u8("分布"));
    auto* cancel = dialog_button("ｷｬﾝｾﾙ", "cancel", this);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    auto* outer = new QVBoxLayout(this);
    outer->addWidget(pages_, 1);
    outer->addLayout(buttons);
    resize(720, 520);
    connect(distribution_, &CDistributionPage::marked, this, &CStatisticsSheet::refreshGraph);
}

void CStatisticsSheet::refreshGraph() { traffic_->refreshGraph(); }

}  // namespace zelpan
