#pragma once

#include "hex_items.h"
#include "hex_view_model.h"

#include <QAbstractScrollArea>

#include <cstdint>
#include <functional>
#include <vector>

namespace kestrix {

// The hex view: offset, hex and text columns of HexViewModel, drawn row by row
// for the rows on screen only, so an image of any size scrolls alike. Found
// items are tinted by class, one range is highlighted (the row selected on a
// page), the header fields of file entries are underlined. The mouse and Shift with the arrow keys
// select bytes; hovering over an item shows its caption.
class HexView : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit HexView(QWidget* parent = nullptr);

    HexViewModel& Model() noexcept { return m_model; }
    const HexViewModel& Model() const noexcept { return m_model; }
    // Shows image from its start with nothing selected.
    void SetImage(std::span<const uint8_t> image);
    void SetItems(std::vector<HexItem> items);
    const HexItemIndex& Items() const noexcept { return m_items; }
    void SetMarks(std::vector<HexMark> marks);
    const std::vector<HexMark>& Marks() const noexcept { return m_marks; }
    // The marks to draw: the highlighted row's and the header fields of every
    // entry whose data start on screen or just below it.
    std::vector<HexMark> MarksOnScreen() const;
    void SetHexOffsets(bool value);
    void SetTextMode(HexTextMode mode);

    // Highlights [start, end) and scrolls it into sight; an empty range removes the highlight.
    void Highlight(int64_t start, int64_t end);
    int64_t HighlightStart() const noexcept { return m_highlightStart; }
    int64_t HighlightEnd() const noexcept { return m_highlightEnd; }

    // Scrolls offset's row into sight (a third down the view) unless it is shown.
    void Reveal(int64_t offset);
    // Puts the cursor on offset (clamped to the image), dropping the selection,
    // and scrolls there.
    void GoTo(int64_t offset);
    // Selects [start, end) with the cursor on start, and scrolls there.
    void Select(int64_t start, int64_t end);
    int64_t Cursor() const noexcept { return m_cursor; }
    // The selection [SelectionStart, SelectionEnd); both equal when nothing is selected.
    int64_t SelectionStart() const noexcept;
    int64_t SelectionEnd() const noexcept;
    // The first row on screen.
    int64_t TopRow() const noexcept;
    int32_t VisibleRows() const noexcept;
    // The byte under a point of the viewport, -1 for none.
    int64_t OffsetAt(QPoint point) const;

    // The caption shown when hovering over item; empty shows none.
    std::function<QString(const HexItem& item)> DescribeItem;

signals:
    // The cursor or the selection changed.
    void SelectionChanged();
    // The mouse is over offset (-1: over no byte).
    void Hovered(qint64 offset);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    void UpdateScrollRange();
    void MoveCursor(int64_t offset, bool extend);
    int32_t HexX(int32_t column) const;
    int32_t TextX(int32_t column) const;

    HexViewModel m_model;
    HexItemIndex m_items;
    std::vector<HexMark> m_marks;
    int64_t m_cursor = 0;
    int64_t m_anchor = -1;
    int64_t m_highlightStart = 0;
    int64_t m_highlightEnd = 0;
    int32_t m_charWidth = 8;
    int32_t m_lineHeight = 16;
};

}  // namespace kestrix
