// The three panes of a child window driven as a user drives them: the frame list
// filled from a file, the tree of the selected frame, the dump and their links.
#include <QHeaderView>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <array>

#include "store/capture_file.h"
#include "tests/gui/gui_support.h"
#include "ui/document.h"
#include "ui/dump_view.h"
#include "ui/info_window.h"
#include "ui/list_view.h"
#include "ui/tree_view.h"

using namespace zelpan;
using zgui::GuiTest;

namespace {

using Row = std::array<std::string, 6>;

// The summary texts a pass over the store gives, as the list must show them.
std::vector<Row> summary_rows(const FrameStore& store, int32_t link_type) {
    DecodeContext c;
    c.mode = MODE_DISPLAY;
    c.link_type = link_type;
    DecodeContext* before = current_context();
    make_current(&c);
    std::vector<Row> rows;
    for (uint32_t i = 0; i < store.frame_count(); ++i) {
        clear_columns(c, long(i));
        decode_frame(0, store.at(i), link_type, int32_t(i + 1));
        Row r;
        r[0] = std::to_string(i + 1);
        for (int k = 1; k <= 5; ++k) r[size_t(k)] = c.columns[k];
        rows.push_back(r);
    }
    make_current(before);
    return rows;
}

void click_row(CZelListvw* list, int row, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    list->scrollTo(list->model()->index(row, 1));
    QRect r = list->visualRect(list->model()->index(row, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, mods, r.center());
}

// The top-level line of a protocol, or an invalid index.
QModelIndex top_line(CZelTreevw* tree, int protocol) {
    const DetailTree& t = tree->detailTree();
    for (int32_t h = t.first_top(); t.valid(h); h = t.line(h).next_sibling)
        if (t.line(h).protocol == protocol) return tree->treeModel()->indexOf(h);
    return {};
}

}  // namespace

TEST_F(GuiTest, FileFillsOneRowPerFrameWithTheSummaryTexts) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    CZelListvw* list = w->listView();
    FrameListModel* m = list->frameModel();
    ASSERT_EQ(m->rowCount(), 33);
    const char* titles[] = {"No", "時間", "送信元ｱﾄﾞﾚｽ", "送信先ｱﾄﾞﾚｽ", "ﾌﾟﾛﾄｺﾙ", "情報"};
    const int widths[] = {56, 112, 112, 112, 64, 416};
    for (int c = 0; c < 6; ++c) {
        EXPECT_EQ(m->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString(), QString::fromUtf8(titles[c]));
        // The last column may be wider: it fills what the others leave.
        if (c < 5)
            EXPECT_EQ(list->horizontalHeader()->sectionSize(c), widths[c]);
        else
            EXPECT_GE(list->horizontalHeader()->sectionSize(c), widths[c]);
    }
    std::vector<Row> want = summary_rows(w->store(), w->context().link_type);
    for (int r = 0; r < 33; ++r)
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(m->data(m->index(r, c), Qt::DisplayRole).toString().toStdString(), want[size_t(r)][size_t(c)])
                << "row " << r << " column " << c;
    EXPECT_EQ(m->cellText(0, 4), "ARP");
    EXPECT_EQ(m->cellText(0, 5), "Who has 192.168.10.1 ? Tell 192.168.10.23");
    EXPECT_EQ(m->cellText(32, 0), "33");
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    // The widths the pass measured are the window's, for printing.
    EXPECT_GE(w->context().column_widths[5], 41);
    EXPECT_EQ(w->busyIndicator(), nullptr);
}

TEST_F(GuiTest, ListFilledInSmallRangesOnSeveralThreadsMatchesOneOrderedPass) {
    // The bundled sample has an FTP data connection that only the tracking
    // carried from frame to frame names; two-frame ranges cut through it.
    qputenv("ZELPAN_THREADS", "3");
    qputenv("ZELPAN_RANGE_FRAMES", "2");
    CChildFrame* w = open(zgui::source_path("samples/sample.zlc"));
    qunsetenv("ZELPAN_THREADS");
    qunsetenv("ZELPAN_RANGE_FRAMES");
    ASSERT_NE(w, nullptr);
    w->listView()->finishFill();
    FrameListModel* m = w->listView()->frameModel();
    std::vector<Row> want = summary_rows(w->store(), w->context().link_type);
    ASSERT_EQ(m->rowCount(), int(want.size()));
    int ftp_data = 0;
    for (int r = 0; r < m->rowCount(); ++r) {
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(m->cellText(r, c).toStdString(), want[size_t(r)][size_t(c)]) << "row " << r << " column " << c;
        ftp_data += m->cellText(r, 4) == "FTP-DATA";
    }
    EXPECT_GT(ftp_data, 0);
}

TEST_F(GuiTest, LongFileShowsItsFirstRowsAtOnceAndTheRestFromTheEventLoop) {
    const uint32_t total = 150000;
    QString path = zgui::write_repeated_sample(temp("big.zlc"), total);
    ASSERT_FALSE(path.isEmpty());
    CChildFrame* w = main_->openDocument(path);
    ASSERT_NE(w, nullptr);
    CZelListvw* list = w->listView();
    ASSERT_TRUE(list->filling());
    int first = list->RowCount();
    EXPECT_GT(first, 0);
    EXPECT_LT(first, int(total));
    EXPECT_NE(w->busyIndicator(), nullptr);
    // The shown rows are usable while the rest are filled in.
    click_row(list, 5);
    EXPECT_EQ(w->treeView()->shownRow(), 5);
    QElapsedTimer t;
    t.start();
    while (list->filling() && t.elapsed() < 60000) settle();
    ASSERT_FALSE(list->filling());
    ASSERT_EQ(list->RowCount(), int(total));
    FrameListModel* m = list->frameModel();
    for (int r : {0, 33, 1000, 99999, int(total) - 1}) {
        EXPECT_EQ(m->cellText(r, 0), QString::number(r + 1));
        for (int c = 2; c <= 5; ++c) EXPECT_EQ(m->cellText(r, c), m->cellText(r % 33, c)) << r << " " << c;
    }
    EXPECT_EQ(w->busyIndicator(), nullptr);
    // Texts are kept compactly: well under the frames' own bytes plus a little per row.
    EXPECT_LT(m->memoryBytes(), size_t(w->store().used_bytes()) + size_t(total) * 8);
}

TEST_F(GuiTest, ClosingAWindowWhileItsListFillsEndsTheFill) {
    QString path = zgui::write_repeated_sample(temp("big.zlc"), 100000);
    CChildFrame* w = main_->openDocument(path);
    ASSERT_NE(w, nullptr);
    ASSERT_TRUE(w->listView()->filling());
    w->subWindow()->close();
    settle(50);
    EXPECT_TRUE(main_->childWindows().isEmpty());
    EXPECT_EQ(app_->registry().At(1), nullptr);
}

TEST_F(GuiTest, SelectingARowShowsItsFrameInTheTreeAndTheDump) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    CZelTreevw* tree = w->treeView();
    CZelDumpvw* dump = w->dumpView();
    click_row(w->listView(), 9);
    ASSERT_EQ(tree->shownRow(), 9);
    QAbstractItemModel* m = tree->model();
    ASSERT_GE(m->rowCount(), 4);
    EXPECT_EQ(m->index(0, 0).data().toString(), "Frame No.10");
    EXPECT_EQ(m->index(0, 0, m->index(0, 0)).data().toString(), "Frame Length : 74 bytes");
    EXPECT_EQ(m->index(1, 0).data().toString(), "Ethernet II");
    EXPECT_TRUE(m->index(2, 0).data().toString().startsWith("Internet Protocol : 192.168.10.23 > 93.184.216.34"));
    EXPECT_TRUE(m->index(3, 0).data().toString().startsWith("Transmission Control Protocol"));
    const uint8_t* r = w->store().at(9);
    EXPECT_EQ(dump->bytes(), record_bytes(r));
    EXPECT_EQ(dump->length(), 74u);
    EXPECT_EQ(dump->highlightLength(), 0u);
    // The previous frame's time is the one before it (random access, not a walk).
    EXPECT_EQ(m->index(2, 0, m->index(0, 0)).data().toString(), "Lapsed time from prvious frame : 0.0024 sec");

    // Selecting the shown row again does not decode it again.
    QSignalSpy resets(m, &QAbstractItemModel::modelReset);
    click_row(w->listView(), 9);
    EXPECT_EQ(resets.count(), 0);
    click_row(w->listView(), 0);
    EXPECT_EQ(resets.count(), 1);
    EXPECT_EQ(dump->length(), 42u);
}

TEST_F(GuiTest, TreeLineHighlightsItsBytesAndBringsThemIntoView) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    CZelTreevw* tree = w->treeView();
    CZelDumpvw* dump = w->dumpView();
    click_row(w->listView(), 9);
    const DetailTree& t = tree->detailTree();
    struct Case {
        int protocol;
        uint32_t offset, length;
    } cases[] = {{P_FRAME, 0, 74}, {P_ETHERNET2, 0, 14}, {P_IP, 14, 20}, {P_TCP, 34, 40}};
    for (const Case& c : cases) {
        QModelIndex i = top_line(tree, c.protocol);
        ASSERT_TRUE(i.isValid()) << c.protocol;
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualRect(i).center());
        int32_t h = DetailTreeModel::handleOf(i);
        EXPECT_EQ(tree->selectedHandle(), h);
        EXPECT_EQ(t.line(h).offset, c.offset);
        EXPECT_EQ(dump->highlightOffset(), c.offset) << c.protocol;
        EXPECT_EQ(dump->highlightLength(), c.length) << c.protocol;
    }
    // A highlight out of sight is scrolled to: the frame with the most bytes.
    int longest = 0;
    for (uint32_t i = 0; i < w->store().frame_count(); ++i)
        if (record_length(w->store().at(i)) > record_length(w->store().at(uint32_t(longest)))) longest = int(i);
    click_row(w->listView(), longest);
    dump->resize(dump->width(), 120);
    dump->verticalScrollBar()->setValue(dump->verticalScrollBar()->maximum());
    ASSERT_GT(dump->verticalScrollBar()->value(), 0);
    QModelIndex eth = top_line(tree, P_ETHERNET2);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, tree->visualRect(eth).center());
    EXPECT_EQ(dump->verticalScrollBar()->value(), 0);
}

TEST_F(GuiTest, ClickingADumpByteSelectsTheNarrowestLineCoveringIt) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    CZelTreevw* tree = w->treeView();
    CZelDumpvw* dump = w->dumpView();
    click_row(w->listView(), 9);
    const DetailTree& t = tree->detailTree();
    for (uint32_t offset : {0u, 6u, 12u, 18u, 23u, 26u, 34u, 38u, 47u, 73u})
        for (bool text_column : {false, true}) {
            QPoint p = dump->cellPosition(offset, text_column) + QPoint(1, 1);
            QTest::mouseClick(dump->viewport(), Qt::LeftButton, Qt::NoModifier, p);
            int32_t want = t.line_for_byte(offset);
            ASSERT_TRUE(t.valid(want));
            EXPECT_EQ(tree->selectedHandle(), want) << offset << (text_column ? " text" : " hex");
            EXPECT_EQ(dump->highlightOffset(), t.line(want).offset);
            EXPECT_EQ(dump->highlightLength(), t.line(want).length);
        }
    // The 3rd byte of the second line in the text column is offset 18.
    EXPECT_EQ(dump->byteAt(dump->cellPosition(18, true) + QPoint(1, 1)), 18);
    int32_t before = tree->selectedHandle();
    const int cw = dump->charWidth(), lh = dump->lineHeight();
    // Right of the text column, left of the hex column, and past the last byte: nothing.
    for (QPoint p : {QPoint((CZelDumpvw::TEXT_START + 16) * cw + 2, 2), QPoint(cw, lh + 2),
                     QPoint((CZelDumpvw::HEX_START + 10 * 3) * cw + 1, 4 * lh + 2)}) {
        EXPECT_EQ(dump->byteAt(p), -1);
        QTest::mouseClick(dump->viewport(), Qt::LeftButton, Qt::NoModifier, p);
        EXPECT_EQ(tree->selectedHandle(), before);
    }
}

TEST_F(GuiTest, ProtocolOpenedByTheUserOpensOnTheNextFrame) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    CZelTreevw* tree = w->treeView();
    click_row(w->listView(), 9);
    QModelIndex ip = top_line(tree, P_IP);
    ASSERT_TRUE(ip.isValid());
    EXPECT_FALSE(tree->isExpanded(ip));
    tree->setFocus();
    tree->setCurrentIndex(ip);
    QTest::keyClick(tree, Qt::Key_Right);
    ASSERT_TRUE(tree->isExpanded(top_line(tree, P_IP)));
    EXPECT_EQ(protocol_expanded(uint32_t(P_IP) << 8), 1);

    click_row(w->listView(), 11);
    ip = top_line(tree, P_IP);
    ASSERT_TRUE(ip.isValid());
    EXPECT_TRUE(tree->isExpanded(ip));
    EXPECT_FALSE(tree->isExpanded(top_line(tree, P_TCP)));

    tree->setFocus();
    tree->setCurrentIndex(ip);
    QTest::keyClick(tree, Qt::Key_Left);
    EXPECT_EQ(protocol_expanded(uint32_t(P_IP) << 8), 0);
    click_row(w->listView(), 12);
    EXPECT_FALSE(tree->isExpanded(top_line(tree, P_IP)));
}

TEST_F(GuiTest, MarkImagesFollowTheMarkBits) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    CZelListvw* list = w->listView();
    FrameListModel* m = list->frameModel();
    auto image = [m](int row) { return m->data(m->index(row, 0), Qt::DecorationRole).value<QIcon>().cacheKey(); };
    const qint64 marked = FrameListModel::markImage(true).cacheKey();
    const qint64 unmarked = FrameListModel::markImage(false).cacheKey();
    ASSERT_NE(marked, unmarked);
    for (int r = 0; r < 33; ++r) EXPECT_EQ(image(r), unmarked);

    click_row(list, 1);
    click_row(list, 4, Qt::ControlModifier);
    EXPECT_TRUE(main_->action(Command::MarkSelected)->isEnabled());
    main_->action(Command::MarkSelected)->trigger();
    for (int r = 0; r < 33; ++r) {
        bool want = r == 1 || r == 4;
        EXPECT_EQ(w->store().marked(uint32_t(r)), want) << r;
        EXPECT_EQ(image(r), want ? marked : unmarked) << r;
        EXPECT_EQ(list->ShowMark(r, 4), want ? 1 : -1);
    }
    main_->action(Command::MarkAll)->trigger();
    for (int r = 0; r < 33; ++r) EXPECT_EQ(image(r), marked);
    EXPECT_EQ(CountMarkedFrames(w->store()), 33u);
    main_->action(Command::UnmarkAll)->trigger();
    for (int r = 0; r < 33; ++r) EXPECT_EQ(image(r), unmarked);
    EXPECT_EQ(CountMarkedFrames(w->store()), 0u);
    // Mark display actions.
    EXPECT_EQ(list->ShowMark(3, 0), -1);  // not selected
    EXPECT_EQ(list->ShowMark(4, 0), 1);   // selected
    EXPECT_EQ(list->ShowMark(4, 2), 1);
    EXPECT_EQ(list->ShowMark(40, 1), -1);
}

TEST_F(GuiTest, SelectRowForASearchSelectsShowsAndHighlights) {
    QString path = zgui::write_repeated_sample(temp("mid.zlc"), 3300);
    CChildFrame* w = open(path);
    ASSERT_NE(w, nullptr);
    CZelListvw* list = w->listView();
    click_row(list, 2);
    const int row = 2009;  // the 30th frame of the sample: IPv6 UDP
    EXPECT_EQ(list->SelectRow(row, 2, 50, -1), row);
    EXPECT_EQ(list->FirstSelectedRow(), row);
    EXPECT_FALSE(list->rowSelected(2));
    EXPECT_EQ(list->verticalScrollBar()->value(), row - 1);
    EXPECT_EQ(w->treeView()->shownRow(), row);
    const DetailTree& t = w->treeView()->detailTree();
    EXPECT_EQ(w->treeView()->selectedHandle(), t.line_for_byte(50));
    EXPECT_EQ(w->dumpView()->highlightOffset(), t.line(t.line_for_byte(50)).offset);
    EXPECT_EQ(list->SelectRow(3300, -1, -1, -1), -2);
    EXPECT_EQ(list->SelectRow(5, -1, -1, 7), -1);
    EXPECT_EQ(list->SelectRow(7, -1, -1, 1), 7);
    EXPECT_TRUE(w->store().marked(7));
    // The same through the search interface; a row in view does not scroll.
    SearchWindow* s = w;
    int value = list->verticalScrollBar()->value();
    s->select_row(row + 3, -1);
    EXPECT_EQ(s->selected_row(), row + 3);
    EXPECT_EQ(list->verticalScrollBar()->value(), value);
    EXPECT_EQ(s->row_count(), 3300);
    const LayerIndexList* ix = s->layer_indexes();
    ASSERT_NE(ix, nullptr);
    EXPECT_EQ(ix->size(), 3300u);
    EXPECT_EQ(s->layer_indexes(), ix);
}

TEST_F(GuiTest, CapturedFramesAppendOneRowEachAndEmptyingClearsEverything) {
    CChildFrame* w = main_->newDocument();
    ASSERT_NE(w, nullptr);
    FrameStore sample;
    int32_t link = 1;
    ASSERT_EQ(LoadCaptureFile(zgui::sample_path().toStdString(), sample, link), "");
    ASSERT_TRUE(w->store().allocate(CAPTURE_STORE_CAPACITY));
    for (uint32_t i = 0; i < 3; ++i) {
        const uint8_t* r = sample.at(i);
        uint8_t* added = w->store().append(record_seconds(r), record_microseconds(r), record_bytes(r), record_length(r));
        ASSERT_NE(added, nullptr);
        set_record_flags(added, 1);
        w->listView()->OnCaptureFrame(1, i);
        EXPECT_EQ(w->row_count(), int(i + 1));
        EXPECT_FALSE(w->store().marked(i));
    }
    FrameListModel* m = w->listView()->frameModel();
    EXPECT_EQ(m->cellText(2, 0), "3");
    EXPECT_EQ(m->cellText(2, 4), "DHCP");
    click_row(w->listView(), 1);
    EXPECT_EQ(w->treeView()->shownRow(), 1);
    w->store().clear();
    w->listView()->OnCaptureFrame(2, 0);
    EXPECT_EQ(w->row_count(), 0);
    EXPECT_EQ(w->treeView()->model()->rowCount(), 0);
    EXPECT_EQ(w->dumpView()->bytes(), nullptr);
}

TEST(DumpView, SixtyByteFrameGivesFourLinesAndFiveLinesOfScroll) {
    CZelDumpvw dump;
    dump.resize(700, 300);
    std::vector<uint8_t> bytes(60);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + 30);
    bytes[0] = 0x41;
    bytes[1] = 0x7F;
    bytes[2] = 0x1F;
    dump.ShowBytes(bytes.data(), 60);
    EXPECT_EQ(dump.contentSize(), QSize(95 * dump.charWidth(), 5 * dump.lineHeight()));
    EXPECT_TRUE(CZelDumpvw::lineText(bytes.data(), 60, 0).startsWith("000000 : 41 7F 1F 33 "));
    EXPECT_TRUE(CZelDumpvw::lineText(bytes.data(), 60, 0).mid(58).startsWith("A..3"));
    EXPECT_TRUE(CZelDumpvw::lineText(bytes.data(), 60, 3).startsWith("000030 : "));
    EXPECT_EQ(CZelDumpvw::lineText(bytes.data(), 60, 3).length(), 58 + 12);
    EXPECT_TRUE(CZelDumpvw::lineText(bytes.data(), 60, 4).isEmpty());
    // The last line holds 12 bytes: a click on its 13th cell finds nothing.
    EXPECT_EQ(dump.byteAt(dump.cellPosition(59, false) + QPoint(1, 1)), 59);
    EXPECT_EQ(dump.byteAt(dump.cellPosition(60, false) + QPoint(1, 1)), -1);
    EXPECT_EQ(dump.byteAt(dump.cellPosition(60, true) + QPoint(1, 1)), -1);
    // Drawing a highlight across a line break leaves both lines lit.
    dump.Highlight(12, 8);
    QImage img = dump.viewport()->grab().toImage();
    auto navy = [&img](QPoint p) { return img.pixelColor(p) == QColor(0, 0, 128); };
    const int cw = dump.charWidth(), lh = dump.lineHeight();
    // Cell corners: above the glyphs, so only the background shows.
    EXPECT_TRUE(navy(dump.cellPosition(12, false) + QPoint(0, 1)));
    EXPECT_TRUE(navy(dump.cellPosition(15, true) + QPoint(0, 1)));
    EXPECT_TRUE(navy(dump.cellPosition(16, false) + QPoint(0, 1)));
    EXPECT_TRUE(navy(dump.cellPosition(19, true) + QPoint(0, 1)));
    EXPECT_FALSE(navy(dump.cellPosition(11, false) + QPoint(0, 1)));
    EXPECT_FALSE(navy(dump.cellPosition(11, true) + QPoint(0, 1)));
    EXPECT_FALSE(navy(dump.cellPosition(20, false) + QPoint(cw / 2, 1)));
    EXPECT_FALSE(navy(dump.cellPosition(20, true) + QPoint(0, 1)));
    (void)lh;
    dump.ClearDump();
    EXPECT_EQ(dump.bytes(), nullptr);
    EXPECT_EQ(dump.contentSize(), QSize(0, 0));
}

TEST_F(GuiTest, LastListColumnTakesTheWidthLeftButNeverLessThanItsOwn) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    CZelListvw* list = w->listView();
    QHeaderView* header = list->horizontalHeader();
    auto others = [&] {
        int sum = 0;
        for (int c = 0; c < 5; ++c) sum += header->sectionSize(c);
        return sum;
    };
    // A wide list: the last column reaches the right edge, nothing scrolls sideways.
    list->resize(1500, 300);
    settle();
    EXPECT_EQ(others() + header->sectionSize(5), list->viewport()->width());
    EXPECT_GT(header->sectionSize(5), 416);
    // Narrower than the columns: the last one keeps its own width.
    list->resize(500, 300);
    settle();
    EXPECT_EQ(header->sectionSize(5), 416);
    // A column the user widens takes its room from the last one.
    list->resize(1500, 300);
    settle();
    header->resizeSection(0, 156);
    EXPECT_EQ(others() + header->sectionSize(5), list->viewport()->width());
    // Once the user sizes the last column it stays as they left it.
    header->resizeSection(5, 300);
    list->resize(1400, 300);
    settle();
    EXPECT_EQ(header->sectionSize(5), 300);
}
