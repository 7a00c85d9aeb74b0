#include "ui/dump_view.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "ui/tree_view.h"

namespace zelpan {

namespace {
const QColor HIGHLIGHT_TEXT(255, 255, 255);
const QColor HIGHLIGHT_BACK(0, 0, 128);
char shown_char(uint8_t b) { return b < 32 || b > 126 ? '.' : char(b); }
const char HEX[] = "0123456789ABCDEF";
}  // namespace

CZelDumpvw::CZelDumpvw(QWidget* parent) : QAbstractScrollArea(parent) {
    setObjectName("hex_dump");
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    setDumpFont(font());
}

void CZelDumpvw::setDumpFont(const QFont& font) {
    font_ = font;
    QFontMetrics m(font_);
    // One advance for every cell, so drawing and the click mapping agree.
    char_width_ = std::max(1, m.horizontalAdvance(QLatin1Char('0')));
    line_height_ = std::max(1, m.height());
    ascent_ = m.ascent();
    updateScrollBars();
    viewport()->update();
}

QSize CZelDumpvw::contentSize() const {
    if (!bytes_) return {0, 0};
    qint64 lines = qint64(length_ / 16) + 2;
    return {LINE_CHARS * char_width_, int(std::min<qint64>(lines * line_height_, INT32_MAX / 2))};
}

void CZelDumpvw::updateScrollBars() {
    QSize s = contentSize();
    QSize v = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, s.width() - v.width()));
    horizontalScrollBar()->setPageStep(v.width());
    horizontalScrollBar()->setSingleStep(char_width_);
    verticalScrollBar()->setRange(0, std::max(0, s.height() - v.height()));
    verticalScrollBar()->setPageStep(v.height());
    verticalScrollBar()->setSingleStep(line_height_);
}

void CZelDumpvw::ShowBytes(const uint8_t* bytes, uint32_t length, uint32_t highlight_offset,
                           uint32_t highlight_length) {
    bytes_ = bytes;
    length_ = bytes ? length : 0;
    hl_offset_ = highlight_offset;
    hl_length_ = highlight_length;
    updateScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    if (hl_length_) scrollToHighlight();
    viewport()->update();
}

void CZelDumpvw::ClearDump() { ShowBytes(nullptr, 0); }

void CZelDumpvw::Highlight(uint32_t offset, uint32_t length) {
    hl_offset_ = offset;
    hl_length_ = length;
    scrollToHighlight();
    viewport()->update();
}

void CZelDumpvw::scrollToHighlight() {
    if (!bytes_ || hl_length_ == 0 || hl_offset_ >= length_) return;
    uint32_t last_byte = std::min<uint64_t>(uint64_t(hl_offset_) + hl_length_, length_) - 1;
    int top = int(hl_offset_ / 16) * line_height_;
    int bottom = int(last_byte / 16 + 1) * line_height_;
    int v = verticalScrollBar()->value();
    if (top < v || bottom > v + viewport()->height()) verticalScrollBar()->setValue(top);
}

void CZelDumpvw::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

QString CZelDumpvw::lineText(const uint8_t* bytes, uint32_t length, uint32_t line) {
    uint64_t first = uint64_t(line) * 16;
    if (!bytes || first >= length) return {};
    int n = int(std::min<uint64_t>(16, length - first));
    QString s = QString::asprintf("%06X : ", unsigned(first));
    QString hex(16 * 3, QLatin1Char(' '));
    QString text;
    for (int i = 0; i < n; ++i) {
        uint8_t b = bytes[first + uint64_t(i)];
        hex[i * 3] = QLatin1Char(HEX[b >> 4]);
        hex[i * 3 + 1] = QLatin1Char(HEX[b & 15]);
        text += QLatin1Char(shown_char(b));
    }
    return s + hex + QLatin1Char(' ') + text;
}

void CZelDumpvw::paintEvent(QPaintEvent* event) {
    QPainter p(viewport());
    if (!bytes_) return;
    p.setFont(font_);
    const int cw = char_width_, lh = line_height_;
    const int dx = horizontalScrollBar()->value(), dy = verticalScrollBar()->value();
    const QRect area = event->rect();
    const QColor text_colour = palette().color(QPalette::Text);
    uint32_t lines = (length_ + 15) / 16;
    uint32_t first_line = uint32_t(std::max(0, (area.top() + dy) / lh));
    uint32_t last_line = std::min<uint32_t>(lines, uint32_t((area.bottom() + dy) / lh + 1));
    const uint64_t hl_end = uint64_t(hl_offset_) + hl_length_;
    char cell[3] = {0, 0, 0};
    for (uint32_t line = first_line; line < last_line; ++line) {
        int y = int(line) * lh - dy;
        int baseline = y + ascent_;
        uint32_t base = line * 16;
        int n = int(std::min<uint32_t>(16, length_ - base));
        p.setPen(text_colour);
        p.drawText(-dx, baseline, QString::asprintf("%06X : ", base));
        for (int i = 0; i < n; ++i) {
            uint32_t off = base + uint32_t(i);
            uint8_t b = bytes_[off];
            bool lit = hl_length_ && off >= hl_offset_ && off < hl_end;
            int hx = (HEX_START + i * HEX_STEP) * cw - dx;
            int tx = (TEXT_START + i * TEXT_STEP) * cw - dx;
            if (lit) {
                // The run continues through the gap to the next highlighted cell.
                bool next_lit = i + 1 < n && off + 1 < hl_end;
                p.fillRect(hx, y, (next_lit ? HEX_STEP : 2) * cw, lh, HIGHLIGHT_BACK);
                p.fillRect(tx, y, TEXT_STEP * cw, lh, HIGHLIGHT_BACK);
                p.setPen(HIGHLIGHT_TEXT);
            } else {
                p.setPen(text_colour);
            }
            cell[0] = HEX[b >> 4];
            cell[1] = HEX[b & 15];
            p.drawText(hx, baseline, QLatin1String(cell, 2));
            char c = shown_char(b);
            p.drawText(tx, baseline, QLatin1String(&c, 1));
        }
    }
}

int64_t CZelDumpvw::byteAt(QPoint point) const {
    if (!bytes_) return -1;
    const int64_t cw = char_width_, lh = line_height_;
    const int64_t x = point.x() + horizontalScrollBar()->value();
    const int64_t y = point.y() + verticalScrollBar()->value();
    int64_t start, step;
    if (x >= HEX_START * cw && x < (HEX_START + 16 * HEX_STEP) * cw) {
        start = HEX_START * cw;
        step = HEX_STEP * cw;
    } else if (x >= TEXT_START * cw && x < (TEXT_START + 16 * TEXT_STEP) * cw) {
        start = TEXT_START * cw;
        step = TEXT_STEP * cw;
    } else {
        return -1;
    }
    const int64_t full = length_ / 16, rest = length_ % 16;
    bool inside = (y >= 0 && y < full * lh) || (y >= full * lh && y < (full + 1) * lh && x < start + rest * step);
    if (!inside) return -1;
    return (x - start) / step + (y / lh) * 16;
}

QPoint CZelDumpvw::cellPosition(uint32_t offset, bool text_column) const {
    int i = int(offset % 16);
    int x = (text_column ? TEXT_START + i * TEXT_STEP : HEX_START + i * HEX_STEP) * char_width_;
    int y = int(offset / 16) * line_height_;
    return {x - horizontalScrollBar()->value(), y - verticalScrollBar()->value()};
}

void CZelDumpvw::mousePressEvent(QMouseEvent* event) {
    QAbstractScrollArea::mousePressEvent(event);
    if (event->button() != Qt::LeftButton) return;
    int64_t b = byteAt(event->position().toPoint());
    if (b >= 0 && tree_) tree_->SelectNodeCovering(uint32_t(b));
}

}  // namespace zelpan
