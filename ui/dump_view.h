#pragma once
// The hex dump of the shown frame: offset, 16 hex cells and 16 characters a line,
// the bytes of the selected tree line highlighted white on navy. A click on a
// cell asks the tree for the narrowest line covering that byte. Drawing and the
// click mapping share one set of metrics, measured from the fixed-pitch font.
#include <QAbstractScrollArea>
#include <QFont>
#include <cstdint>

namespace zelpan {

class CZelTreevw;

class CZelDumpvw : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int HEX_START = 9, HEX_STEP = 3;
    static constexpr int TEXT_START = 58, TEXT_STEP = 1;
    static constexpr int LINE_CHARS = 95;

    explicit CZelDumpvw(QWidget* parent = nullptr);

    void setTreeView(CZelTreevw* tree) { tree_ = tree; }
    void setDumpFont(const QFont& font);

    // Shows length bytes (not copied: they stay valid while the window's store does).
    void ShowBytes(const uint8_t* bytes, uint32_t length, uint32_t highlight_offset = 0,
                   uint32_t highlight_length = 0);
    void Highlight(uint32_t offset, uint32_t length);
    void ClearDump();

    const uint8_t* bytes() const { return bytes_; }
    uint32_t length() const { return length_; }
    uint32_t highlightOffset() const { return hl_offset_; }
    uint32_t highlightLength() const { return hl_length_; }
    int lineHeight() const { return line_height_; }
    int charWidth() const { return char_width_; }
    // Scrollable size in pixels (95 characters by length / 16 + 2 lines).
    QSize contentSize() const;
    // The byte under a point of the viewport, or -1 (the click rule).
    int64_t byteAt(QPoint viewport_point) const;
    // Viewport position of a cell's top-left corner (hex column or text column).
    QPoint cellPosition(uint32_t offset, bool text_column) const;
    // The line one of whose hex/text cells one is, in the dump's text form ("%06X : ...").
    static QString lineText(const uint8_t* bytes, uint32_t length, uint32_t line);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateScrollBars();
    void scrollToHighlight();

    CZelTreevw* tree_ = nullptr;
    QFont font_;
    int line_height_ = 13;
    int char_width_ = 6;
    int ascent_ = 10;
    const uint8_t* bytes_ = nullptr;
    uint32_t length_ = 0;
    uint32_t hl_offset_ = 0, hl_length_ = 0;
};

}  // namespace zelpan
