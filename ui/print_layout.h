#pragma once
// Printing the frame list: the page layout as a pure computation (units of 1/100
// inch) and the drawing of one page through any QPainter.
#include <QString>
#include <cstdint>

#include "decode/engine.h"

class QPainter;
class QPrinter;

namespace zelpan {

class FrameListModel;

struct PrintLayout {
    static constexpr int LEFT = 50, TOP = 50, GAP = 10, CHAR_STEP = 8;

    int page_width = 0, page_height = 0;  // the printed area of a page
    int line_height = 16;
    int column_x[6] = {};
    int total_width = 0, total_height = 0;
    int rows = 0;
    int lines_per_page = 1;
    int rows_per_page = 1;  // lines_per_page less the column-title line
    int across = 1, down = 1, pages = 1;

    struct Page {
        int slice_x = 0, slice_y = 0;  // horizontal and vertical slice of the whole
        int first_row = 0, end_row = 0;
    };
    // Page p, counted from 1.
    Page page(int p) const;
};

// paper_width, paper_height: in tenths of a millimetre (2100 x 2970 for A4).
// font_height: the print font's height (13 when unknown). widths: the decode
// context's column_widths. list_width, list_height: the list's own extent.
PrintLayout ComputePrintLayout(int paper_width, int paper_height, int font_height, int rows,
                               const int32_t widths[COLUMN_COUNT], int list_width = 0, int list_height = 0);

// Paper of a printer in tenths of a millimetre, orientation applied.
void PrinterPaper(const QPrinter& printer, int& width, int& height);

// Draws page p of the layout in a painter whose units are 1/100 inch.
void DrawListPage(QPainter& painter, const PrintLayout& layout, int p, const QString& title,
                  const FrameListModel& model);

// Prints every page (or the printer's from/to range) and returns the pages printed;
// 0 when the printer could not be started.
int PrintFrameList(QPrinter& printer, const PrintLayout& layout, const QString& title, const FrameListModel& model);

}  // namespace zelpan
