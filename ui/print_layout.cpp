#include "ui/print_layout.h"

#include <QPainter>
#include <QPrinter>
#include <algorithm>

#include "ui/app.h"
#include "ui/list_view.h"

namespace zelpan {

namespace {
int ceil_div(int64_t a, int64_t b) { return b <= 0 ? 1 : int((a + b - 1) / b); }
int digits(int n) {
    int d = 1;
    while (n >= 10) {
        n /= 10;
        ++d;
    }
    return d;
}
}  // namespace

PrintLayout ComputePrintLayout(int paper_width, int paper_height, int font_height, int rows,
                               const int32_t widths[COLUMN_COUNT], int list_width, int list_height) {
    PrintLayout l;
    l.page_width = std::max(1, paper_width * 100 / 254 - 100);
    l.page_height = std::max(1, paper_height * 100 / 254 - 100);
    l.line_height = (font_height > 0 ? font_height : 13) + 3;
    l.rows = std::max(0, rows);
    const int cw = PrintLayout::CHAR_STEP;
    // The number column holds six characters; a seven-digit frame number would run
    // into the time, so the column grows with the numbers printed.
    l.column_x[0] = 0;
    l.column_x[1] = cw * std::max(6, digits(l.rows) + 1);
    for (int k = 1; k <= 4; ++k) l.column_x[k + 1] = l.column_x[k] + cw * std::max(0, widths[k]);
    int end = l.column_x[5] + cw * std::max(0, widths[5]);
    l.total_width = std::max(end, list_width);
    l.total_height = std::max(int(std::min<int64_t>(int64_t(l.rows) * l.line_height, INT32_MAX)), list_height);
    l.lines_per_page = std::max(1, l.page_height / l.line_height);
    // The column titles take the first line of every page, so that many rows fewer
    // fit; counting them keeps the last row of a page from falling off its bottom.
    l.rows_per_page = std::max(1, l.lines_per_page - 1);
    l.across = std::max(1, ceil_div(l.total_width, l.page_width));
    l.down = std::max({1, ceil_div(l.total_height, l.page_height), ceil_div(l.rows, l.rows_per_page)});
    l.pages = l.across * l.down;
    return l;
}

PrintLayout::Page PrintLayout::page(int p) const {
    Page g;
    if (p < 1) p = 1;
    g.slice_x = (p - 1) % across;
    g.slice_y = (p - 1) / across;
    g.first_row = std::min(rows, g.slice_y * rows_per_page);
    g.end_row = std::min(rows, g.first_row + rows_per_page);
    return g;
}

void PrinterPaper(const QPrinter& printer, int& width, int& height) {
    QRectF r = printer.pageLayout().fullRect(QPageLayout::Millimeter);
    width = int(r.width() * 10 + 0.5);
    height = int(r.height() * 10 + 0.5);
    if (width <= 0 || height <= 0) {
        width = 2100;
        height = 2970;
    }
}

void DrawListPage(QPainter& painter, const PrintLayout& l, int p, const QString& title, const FrameListModel& model) {
    const PrintLayout::Page g = l.page(p);
    QFont font = CZelpanApp::instance() ? CZelpanApp::instance()->fixedFont() : QFont("monospace");
    font.setPixelSize(l.line_height - 3);
    painter.setFont(font);
    painter.setPen(Qt::black);
    const int lh = l.line_height;
    const QRect area(PrintLayout::LEFT, PrintLayout::TOP, l.page_width, l.page_height);
    painter.drawText(QRect(area.left(), area.top() - PrintLayout::GAP - lh, area.width(), lh),
                     Qt::AlignHCenter | Qt::AlignBottom, title);
    painter.drawText(QRect(area.left(), area.bottom() + 1 + PrintLayout::GAP, area.width(), lh),
                     Qt::AlignHCenter | Qt::AlignTop, QString::asprintf("Page -%d/%d -", p, l.pages));
    painter.save();
    painter.setClipRect(area);
    const int x0 = area.left() - g.slice_x * l.page_width;
    auto line = [&](int y, auto text_of) {
        for (int k = 0; k < FrameListModel::COLUMNS; ++k) {
            int x = x0 + l.column_x[k];
            int next = k + 1 < FrameListModel::COLUMNS ? x0 + l.column_x[k + 1] : x0 + l.total_width;
            if (next < area.left() || x > area.right()) continue;
            painter.drawText(QPoint(x, y + lh - 3 - 2), text_of(k));
        }
    };
    line(area.top(), [&](int k) { return QString::fromUtf8(FrameListModel::TITLES[k]); });
    int y = area.top() + lh;
    for (int row = g.first_row; row < g.end_row; ++row, y += lh)
        line(y, [&](int k) { return model.cellText(row, k); });
    painter.restore();
}

int PrintFrameList(QPrinter& printer, const PrintLayout& layout, const QString& title, const FrameListModel& model) {
    int from = 1, to = layout.pages;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        from = printer.fromPage();
        to = std::min(std::max(printer.toPage(), from), layout.pages);
    }
    printer.setFullPage(true);
    QPainter painter;
    if (!painter.begin(&printer)) return 0;
    // Units of 1/100 inch from the paper's corner.
    double scale = printer.resolution() / 100.0;
    painter.scale(scale, scale);
    int printed = 0;
    for (int p = from; p <= to; ++p) {
        if (printed && !printer.newPage()) break;
        DrawListPage(painter, layout, p, title, model);
        ++printed;
    }
    painter.end();
    return printed;
}

}  // namespace zelpan
