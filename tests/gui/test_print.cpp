// The printed frame list: the page layout computation and a print to a PDF file.
#include <QFile>
#include <QPrinter>
#include <QRegularExpression>

#include "tests/gui/gui_support.h"
#include "ui/list_view.h"
#include "ui/print_layout.h"

using namespace zelpan;
using zgui::GuiTest;

namespace {

int pdf_pages(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return -1;
    QByteArray pdf = f.readAll();
    static const QRegularExpression page(QStringLiteral("/Type\\s*/Page(?!s)"));
    return int(QString::fromLatin1(pdf).count(page));
}

void widths_of(int32_t (&w)[COLUMN_COUNT], int time, int src, int dst, int proto, int info) {
    for (int32_t& x : w) x = 0;
    w[1] = time;
    w[2] = src;
    w[3] = dst;
    w[4] = proto;
    w[5] = info;
}

}  // namespace

TEST(PrintLayout, PageAreaColumnsAndPageCounts) {
    int32_t w[COLUMN_COUNT];
    widths_of(w, 15, 15, 15, 4, 30);
    // A4 portrait: 2100 x 2970 tenths of a millimetre.
    PrintLayout a4 = ComputePrintLayout(2100, 2970, 13, 33, w);
    EXPECT_EQ(a4.page_width, 2100 * 100 / 254 - 100);
    EXPECT_EQ(a4.page_height, 2970 * 100 / 254 - 100);
    EXPECT_EQ(a4.line_height, 16);
    EXPECT_EQ(a4.column_x[1], 48);
    EXPECT_EQ(a4.column_x[2], 48 + 8 * 15);
    EXPECT_EQ(a4.column_x[5], 48 + 8 * (15 + 15 + 15 + 4));
    EXPECT_EQ(a4.total_width, a4.column_x[5] + 8 * 30);
    EXPECT_EQ(a4.lines_per_page, a4.page_height / 16);
    EXPECT_EQ(a4.rows_per_page, a4.lines_per_page - 1);
    EXPECT_EQ(a4.across, 1);
    EXPECT_EQ(a4.down, 1);
    EXPECT_EQ(a4.pages, 1);
    EXPECT_EQ(ComputePrintLayout(2100, 2970, 0, 33, w).line_height, 16);

    struct Case {
        int paper_w, paper_h, rows, info, list_w, list_h;
        int across, down;
    } cases[] = {
        {2100, 2970, 33, 30, 0, 0, 1, 1},
        {2100, 2970, 33, 40, 0, 0, 2, 1},       // 760 wide: just over a page
        {2100, 2970, 33, 200, 0, 0, 3, 1},      // a 200-character 情報 spreads across
        {2100, 2970, 65, 30, 0, 0, 1, 1},       // 65 rows and the title line fill one page
        {2100, 2970, 66, 30, 0, 0, 1, 2},       // one more row needs a second page down
        {2970, 4200, 200, 200, 0, 0, 2, 3},     // A3: 96 rows a page
        {2970, 2100, 100, 30, 0, 0, 1, 3},      // A4 landscape: 44 rows a page
        {2100, 2970, 10, 30, 872, 0, 2, 1},     // the list's own extent counts
        {2100, 2970, 10, 30, 0, 3000, 1, 3},
    };
    for (const Case& c : cases) {
        widths_of(w, 15, 15, 15, 4, c.info);
        PrintLayout l = ComputePrintLayout(c.paper_w, c.paper_h, 13, c.rows, w, c.list_w, c.list_h);
        EXPECT_EQ(l.across, c.across) << c.paper_w << "x" << c.paper_h << " rows " << c.rows << " info " << c.info;
        EXPECT_EQ(l.down, c.down) << c.paper_w << "x" << c.paper_h << " rows " << c.rows << " info " << c.info;
        EXPECT_EQ(l.pages, l.across * l.down);
    }
}

TEST(PrintLayout, PagesGoAcrossFirstAndEveryRowIsPrintedOnce) {
    int32_t w[COLUMN_COUNT];
    widths_of(w, 15, 39, 39, 6, 200);
    PrintLayout l = ComputePrintLayout(2100, 2970, 13, 500, w);
    ASSERT_GT(l.across, 1);
    ASSERT_GT(l.down, 1);
    std::vector<int> printed(500, 0);
    for (int p = 1; p <= l.pages; ++p) {
        PrintLayout::Page g = l.page(p);
        EXPECT_EQ(g.slice_x, (p - 1) % l.across);
        EXPECT_EQ(g.slice_y, (p - 1) / l.across);
        EXPECT_LE(g.end_row - g.first_row, l.rows_per_page);
        if (g.slice_x == 0)
            for (int r = g.first_row; r < g.end_row; ++r) ++printed[size_t(r)];
    }
    for (int r = 0; r < 500; ++r) EXPECT_EQ(printed[size_t(r)], 1) << r;
    EXPECT_EQ(l.page(l.pages).end_row, 500);
    // A seven-digit frame number does not run into the time column.
    EXPECT_EQ(ComputePrintLayout(2100, 2970, 13, 1000000, w).column_x[1], 64);
}

TEST_F(GuiTest, PrintingToAPdfFileGivesThePagesOfTheLayout) {
    CChildFrame* w = open(zgui::sample_path());
    ASSERT_NE(w, nullptr);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setOutputFileName(temp("list.pdf"));
    PrintLayout l = main_->printLayout(w, &printer);
    EXPECT_EQ(l.rows, 33);
    EXPECT_EQ(l.column_x[2] - l.column_x[1], 8 * w->context().column_widths[1]);
    EXPECT_EQ(main_->printTo(w, printer), l.pages);
    EXPECT_EQ(pdf_pages(temp("list.pdf")), l.pages);
    EXPECT_GE(l.pages, 1);

    // A chosen range prints only those pages.
    ASSERT_GE(l.pages, 2);
    printer.setOutputFileName(temp("range.pdf"));
    printer.setPrintRange(QPrinter::PageRange);
    printer.setFromTo(2, 2);
    EXPECT_EQ(main_->printTo(w, printer), 1);
    EXPECT_EQ(pdf_pages(temp("range.pdf")), 1);

    // Landscape A3 through the preview command prints its own layout.
    QPrinter& shared = app_->printer();
    shared.setOutputFormat(QPrinter::PdfFormat);
    shared.setPageSize(QPageSize(QPageSize::A3));
    shared.setPageOrientation(QPageLayout::Landscape);
    shared.setOutputFileName(temp("preview.pdf"));
    PrintLayout a3 = main_->printLayout(w, &shared);
    EXPECT_EQ(a3.page_width, 4200 * 100 / 254 - 100);
    main_->action(Command::PrintPreview)->trigger();
    EXPECT_EQ(pdf_pages(temp("preview.pdf")), a3.pages);
}
