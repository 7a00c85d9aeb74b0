// The statistics command and its sheet on the sample: the traffic page's texts,
// controls and graph, the distribution page's rows, recount and marking, and the
// capture start rule while a sheet is open. Pictures of both pages go to the
// test's directory, or to $ZELPAN_STATS_SCREENSHOTS (docs/) when set.
#include <QComboBox>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTreeWidget>

#include "tests/gui/gui_support.h"
#include "ui/info_window.h"
#include "ui/list_view.h"
#include "ui/statistics_sheet.h"
#include "ui/stats_commands.h"

using namespace zelpan;
using C = Command;

namespace {

QString u(const char* s) { return QString::fromUtf8(s); }

template <class T>
T* child(QObject* parent, const char* name) {
    T* c = parent ? parent->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    EXPECT_NE(c, nullptr) << name;
    return c;
}

QStringList items(QComboBox* c) {
    QStringList out;
    for (int k = 0; c && k < c->count(); ++k) out << c->itemText(k);
    return out;
}

QStringList row(QTreeWidget* list, int r) {
    QStringList out;
    QTreeWidgetItem* item = list->topLevelItem(r);
    for (int k = 0; item && k < 6; ++k) out << item->text(k);
    return out;
}

// Pixels of the graph's plot in a colour.
int count_colour(CTrafficGraph* g, const QColor& colour) {
    QImage img = g->grab().toImage();
    const QRect plot = g->plotRect();
    int n = 0;
    for (int y = plot.top(); y <= plot.bottom(); ++y)
        for (int x = plot.left(); x <= plot.right(); ++x)
            if (img.pixelColor(x, y) == colour) ++n;
    return n;
}

QString shot_path(const QString& fallback_dir, const char* name) {
    QString dir = qEnvironmentVariable("ZELPAN_STATS_SCREENSHOTS", fallback_dir);
    return dir + QLatin1Char('/') + QString::fromLatin1(name);
}

class StatsSheetTest : public zgui::GuiTest {
protected:
    CStatisticsSheet* openSheet(CChildFrame* w) {
        main_->mdiArea()->setActiveSubWindow(w->subWindow());
        settle();
        EXPECT_TRUE(main_->action(C::Statistics)->isEnabled());
        main_->action(C::Statistics)->trigger();
        settle(20);
        StatsCommands* s = StatsCommands::of(*main_);
        return s ? s->sheet(w) : nullptr;
    }
};

}  // namespace

TEST_F(StatsSheetTest, TrafficPageOfTheSample) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(main_->action(C::CaptureStart)->isEnabled());
    QPointer<CStatisticsSheet> sheet = openSheet(w);
    ASSERT_FALSE(sheet.isNull());
    EXPECT_EQ(sheet->windowTitle(), w->title());
    EXPECT_EQ(w->busyIndicator(), nullptr);
    ASSERT_EQ(sheet->pages()->count(), 2);
    EXPECT_EQ(sheet->pages()->tabText(0), u("ﾄﾗﾌｨｯｸ"));
    EXPECT_EQ(sheet->pages()->tabText(1), u("分布"));

    CStatisticsPage* page = sheet->trafficPage();
    EXPECT_EQ(child<QLineEdit>(page, "frame_text")->text(), u("33 : MAX FPS 20(20)"));
    EXPECT_EQ(child<QLineEdit>(page, "byte_text")->text(), u("5197 : MAX BPS 2681(20)"));
    EXPECT_EQ(child<QLineEdit>(page, "span_text")->text(), u("0:00:01.633"));
    EXPECT_EQ(items(child<QComboBox>(page, "unit")), (QStringList{"FRAME", "BYTE"}));
    EXPECT_EQ(items(child<QComboBox>(page, "zoom")), (QStringList{"X1", "X2", "X4", "X8", "X16", "X32", "X64"}));
    QStringList sources = items(child<QComboBox>(page, "source"));
    ASSERT_GE(sources.size(), 3);
    EXPECT_EQ(sources[0], u("ALL"));
    EXPECT_EQ(sources[1], u("00:1B:21:3A:4F:01"));  // the first frame's sender
    auto* left = child<QPushButton>(page, "left");
    auto* right = child<QPushButton>(page, "right");
    EXPECT_FALSE(left->isEnabled());
    EXPECT_FALSE(right->isEnabled());

    // One sheet per window; the capture cannot start while it is open.
    main_->action(C::Statistics)->trigger();
    EXPECT_EQ(StatsCommands::of(*main_)->sheet(w), sheet.data());
    EXPECT_FALSE(main_->action(C::CaptureStart)->isEnabled());

    // Zoom and pages.
    child<QComboBox>(page, "zoom")->setCurrentIndex(2);  // X4
    EXPECT_EQ(page->view().factor, 4);
    EXPECT_FALSE(left->isEnabled());
    EXPECT_TRUE(right->isEnabled());
    right->click();
    EXPECT_EQ(page->view().page, 1);
    EXPECT_TRUE(left->isEnabled());
    child<QComboBox>(page, "zoom")->setCurrentIndex(0);
    EXPECT_EQ(page->view().page, 0);
    EXPECT_FALSE(right->isEnabled());

    // The graph: yellow bars, the peak's blue, no green until frames are marked,
    // which the mark command repaints.
    sheet->resize(760, 560);
    settle(20);
    CTrafficGraph* graph = page->graph();
    EXPECT_GT(count_colour(graph, CTrafficGraph::BAR_COLOURS[BAR_NORMAL]), 0);
    EXPECT_GT(count_colour(graph, CTrafficGraph::BAR_COLOURS[BAR_PEAK]), 0);
    EXPECT_GT(count_colour(graph, CTrafficGraph::LINE_COLOUR), 0);
    EXPECT_EQ(count_colour(graph, CTrafficGraph::BAR_COLOURS[BAR_MARKED]), 0);
    main_->action(C::MarkAll)->trigger();
    settle(20);
    EXPECT_GT(count_colour(graph, CTrafficGraph::BAR_COLOURS[BAR_MARKED]), 0);
    main_->action(C::UnmarkAll)->trigger();
    settle(20);

    // Bytes: the value axis follows the byte peak.
    child<QComboBox>(page, "unit")->setCurrentIndex(1);
    // One source: only its frames are drawn, the texts stay.
    child<QComboBox>(page, "source")->setCurrentIndex(2);
    settle(20);
    EXPECT_EQ(child<QLineEdit>(page, "frame_text")->text(), u("33 : MAX FPS 20(20)"));
    child<QComboBox>(page, "source")->setCurrentIndex(0);
    child<QComboBox>(page, "unit")->setCurrentIndex(0);
    // The TCP connection's frames marked for the picture.
    CZelListvw* list = w->listView();
    list->SelectRow(5, -1, -1, -1);
    for (int r = 9; r <= 15; ++r)
        list->selectionModel()->select(list->model()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    w->markSelectedFrames();
    settle(50);
    EXPECT_TRUE(w->store().marked(5));
    EXPECT_GT(count_colour(graph, CTrafficGraph::BAR_COLOURS[BAR_MARKED]), 0);
    QImage shot = sheet->grab().toImage();
    EXPECT_TRUE(shot.save(shot_path(dir_.path(), "statistics_traffic.png"), "PNG"));

    // Closing the sheet lets the capture start again.
    sheet->close();
    settle(20);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(StatsCommands::of(*main_)->sheet(w), nullptr);
    EXPECT_TRUE(main_->action(C::CaptureStart)->isEnabled());
}

TEST_F(StatsSheetTest, OneFrameCaptureRefusesZoom) {
    QString path = zgui::write_repeated_sample(temp("one.zlc"), 1);
    CChildFrame* w = open(path);
    ASSERT_NE(w, nullptr);
    CStatisticsSheet* sheet = openSheet(w);
    ASSERT_NE(sheet, nullptr);
    CStatisticsPage* page = sheet->trafficPage();
    auto* zoom = child<QComboBox>(page, "zoom");
    zoom->setCurrentIndex(3);
    EXPECT_EQ(zoom->currentIndex(), 0);
    EXPECT_EQ(page->view().factor, 1);
    EXPECT_FALSE(child<QPushButton>(page, "right")->isEnabled());
    EXPECT_EQ(child<QLineEdit>(page, "span_text")->text(), u("0:00:00.000"));
}

TEST_F(StatsSheetTest, DistributionPageOfTheSample) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    CStatisticsSheet* sheet = openSheet(w);
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(w->layerIndexesBuilt());
    sheet->pages()->setCurrentIndex(1);
    CDistributionPage* page = sheet->distributionPage();
    QTreeWidget* list = page->list();
    QStringList headers;
    for (int k = 0; k < 6; ++k) headers << list->headerItem()->text(k);
    EXPECT_EQ(headers, (QStringList{u("ﾌﾟﾛﾄｺﾙ"), u("比率"), u("ﾌﾚｰﾑ数"), u("ﾊﾞｲﾄ数"), u("ﾌﾚｰﾑ数小計"), u("ﾊﾞｲﾄ数小計")}));
    EXPECT_EQ(list->columnWidth(0), 112);
    EXPECT_EQ(list->columnWidth(5), 80);
    EXPECT_EQ(list->topLevelItem(0)->textAlignment(1) & Qt::AlignRight, Qt::AlignRight);
    ASSERT_EQ(list->topLevelItemCount(), 11);
    EXPECT_EQ(row(list, 0), (QStringList{"ARP", "6.06 %", "2", "84", "2", "84"}));
    EXPECT_EQ(row(list, 3), (QStringList{"TCP", "18.18 %", "6", "428", "6", "428"}));
    EXPECT_EQ(row(list, 4), (QStringList{"HTTP", "6.06 %", "2", "352", "2", "352"}));
    EXPECT_EQ(page->framesText(), u("33(33)"));
    EXPECT_EQ(page->bytesText(), u("5197(5197)"));
    EXPECT_EQ(page->conditionText(), u("なし"));

    // One sender: its counts beside the totals; rows it never sent show zeros.
    auto* source = child<QComboBox>(page, "source");
    ASSERT_EQ(source->itemText(2), u("00:0D:B9:41:6A:10"));
    source->setCurrentIndex(2);
    EXPECT_EQ(row(list, 0), (QStringList{"ARP", "3.03 %", "1", "42", "2", "84"}));
    EXPECT_EQ(row(list, 6), (QStringList{"UDP", "0.00 %", "0", "0", "5", "1811"}));
    EXPECT_EQ(page->framesText(), u("13(33)"));
    EXPECT_EQ(page->bytesText(), u("1692(5197)"));

    // Two rows selected with ALL: exactly the ARP and ICMP frames are marked.
    source->setCurrentIndex(0);
    list->topLevelItem(0)->setSelected(true);
    list->topLevelItem(5)->setSelected(true);
    EXPECT_EQ(page->conditionText(), u("送信元ｱﾄﾞﾚｽ(ALL) && ﾌﾟﾛﾄｺﾙ(ARP || ICMP)"));
    child<QPushButton>(page, "mark")->click();
    settle(20);
    std::vector<uint32_t> marked;
    for (uint32_t i = 0; i < w->store().frame_count(); ++i)
        if (w->store().marked(i)) marked.push_back(i + 1);
    EXPECT_EQ(marked, (std::vector<uint32_t>{1, 2, 17, 18, 19}));
    EXPECT_EQ(w->listView()->ShowMark(16, 4), 1);
    // With a sender chosen the condition names it, and only its frames are marked.
    source->setCurrentIndex(2);
    EXPECT_EQ(page->conditionText(), u("送信元ｱﾄﾞﾚｽ(00:0D:B9:41:6A:10) && ﾌﾟﾛﾄｺﾙ(ARP || ICMP)"));
    main_->action(C::UnmarkAll)->trigger();
    child<QPushButton>(page, "mark")->click();
    marked.clear();
    for (uint32_t i = 0; i < w->store().frame_count(); ++i)
        if (w->store().marked(i)) marked.push_back(i + 1);
    EXPECT_EQ(marked, (std::vector<uint32_t>{2, 18, 19}));
    source->setCurrentIndex(0);

    sheet->resize(760, 560);
    settle(50);
    QImage shot = sheet->grab().toImage();
    EXPECT_TRUE(shot.save(shot_path(dir_.path(), "statistics_distribution.png"), "PNG"));

    // The window's end takes its sheet with it.
    QPointer<CStatisticsSheet> alive(sheet);
    w->subWindow()->close();
    settle(20);
    EXPECT_TRUE(alive.isNull());
}

TEST_F(StatsSheetTest, DisabledWithoutFrames) {
    CChildFrame* w = main_->newDocument();
    ASSERT_NE(w, nullptr);
    EXPECT_FALSE(main_->action(C::Statistics)->isEnabled());
    EXPECT_FALSE(main_->action(C::TcpStream)->isEnabled());
    // Reached anyway, the command says why.
    StatsCommands::of(*main_)->statistics();
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_EQ(messages_[0], u(StatsCommands::NO_FRAMES_TEXT));
    EXPECT_EQ(StatsCommands::of(*main_)->sheet(w), nullptr);
}
