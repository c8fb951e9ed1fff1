#include "hex_view.h"

#include "file_entry_layout.h"

#include <QFontDatabase>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>

#include <algorithm>

namespace kestrix {
namespace {

constexpr int32_t kRow = HexViewModel::kBytesPerRow;

QColor Tint(MapClass kind)
{
    const auto rgb = MapColour(kind);
    // Light enough that the digits stay readable on it.
    return QColor((rgb[0] + 3 * 255) / 4, (rgb[1] + 3 * 255) / 4, (rgb[2] + 3 * 255) / 4);
}

}  // namespace

HexView::HexView(QWidget* parent) : QAbstractScrollArea(parent)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    setFont(font);
    const QFontMetrics metrics(font);
    m_charWidth = metrics.horizontalAdvance(QLatin1Char('0'));
    m_lineHeight = metrics.height() + 2;
    viewport()->setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setMinimumWidth(TextX(kRow) + 2 * m_charWidth + verticalScrollBar()->sizeHint().width());
}

void HexView::SetImage(std::span<const uint8_t> image)
{
    m_model.SetImage(image);
    m_cursor = 0;
    m_anchor = -1;
    m_highlightStart = m_highlightEnd = 0;
    m_items.SetItems({});
    m_marks.clear();
    UpdateScrollRange();
    verticalScrollBar()->setValue(0);
    viewport()->update();
    emit SelectionChanged();
}

void HexView::SetItems(std::vector<HexItem> items)
{
    m_items.SetItems(std::move(items));
    viewport()->update();
}

void HexView::SetMarks(std::vector<HexMark> marks)
{
    m_marks = std::move(marks);
    viewport()->update();
}

void HexView::SetHexOffsets(bool value)
{
    m_model.SetHexOffsets(value);
    viewport()->update();
    emit SelectionChanged();
}

void HexView::SetTextMode(HexTextMode mode)
{
    m_model.SetTextMode(mode);
    viewport()->update();
}

void HexView::Highlight(int64_t start, int64_t end)
{
    start = std::clamp<int64_t>(start, 0, m_model.Size());
    end = std::clamp<int64_t>(end, start, m_model.Size());
    m_highlightStart = start;
    m_highlightEnd = end;
    if (end > start)
        Reveal(start);
    viewport()->update();
}

void HexView::GoTo(int64_t offset)
{
    m_anchor = -1;
    MoveCursor(offset, false);
}

void HexView::Select(int64_t start, int64_t end)
{
    const int64_t size = m_model.Size();
    if (size == 0)
        return;
    start = std::clamp<int64_t>(start, 0, size - 1);
    end = std::clamp<int64_t>(end, start + 1, size);
    m_anchor = end - 1;
    m_cursor = start;
    Reveal(start);
    viewport()->update();
    emit SelectionChanged();
}

int64_t HexView::SelectionStart() const noexcept
{
    return m_anchor < 0 ? m_cursor : std::min(m_anchor, m_cursor);
}

int64_t HexView::SelectionEnd() const noexcept
{
    return m_anchor < 0 ? m_cursor : std::max(m_anchor, m_cursor) + 1;
}

int64_t HexView::TopRow() const noexcept
{
    return verticalScrollBar()->value();
}

int32_t HexView::VisibleRows() const noexcept
{
    return std::max(1, viewport()->height() / m_lineHeight);
}

int32_t HexView::HexX(int32_t column) const
{
    return m_charWidth * (12 + 3 * column + (column >= kRow / 2 ? 1 : 0));
}

int32_t HexView::TextX(int32_t column) const
{
    return HexX(kRow) + m_charWidth * (1 + column);
}

int64_t HexView::OffsetAt(QPoint point) const
{
    const int64_t row = TopRow() + point.y() / m_lineHeight;
    const int32_t x = point.x() + horizontalScrollBar()->value();
    int32_t column = -1;
    for (int32_t c = 0; c < kRow; ++c) {
        if ((x >= HexX(c) && x < HexX(c) + 3 * m_charWidth) || (x >= TextX(c) && x < TextX(c) + m_charWidth))
            column = c;
    }
    const int64_t offset = row * kRow + column;
    if (column < 0 || offset >= m_model.Size())
        return -1;
    return offset;
}

void HexView::UpdateScrollRange()
{
    const int64_t rows = m_model.RowCount();
    verticalScrollBar()->setRange(0, static_cast<int>(std::max<int64_t>(0, rows - VisibleRows())));
    verticalScrollBar()->setPageStep(VisibleRows());
    const int32_t width = TextX(kRow) + m_charWidth;
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

void HexView::Reveal(int64_t offset)
{
    const int64_t row = offset / kRow;
    const int64_t top = TopRow();
    if (row < top || row >= top + VisibleRows())
        verticalScrollBar()->setValue(static_cast<int>(std::max<int64_t>(0, row - VisibleRows() / 3)));
}

void HexView::MoveCursor(int64_t offset, bool extend)
{
    const int64_t size = m_model.Size();
    if (size == 0)
        return;
    offset = std::clamp<int64_t>(offset, 0, size - 1);
    if (extend && m_anchor < 0)
        m_anchor = m_cursor;
    else if (!extend)
        m_anchor = -1;
    m_cursor = offset;
    Reveal(offset);
    viewport()->update();
    emit SelectionChanged();
}

void HexView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    UpdateScrollRange();
}

void HexView::paintEvent(QPaintEvent*)
{
    QPainter painter(viewport());
    painter.fillRect(viewport()->rect(), palette().base());
    painter.translate(-horizontalScrollBar()->value(), 0);
    const int64_t top = TopRow();
    const int64_t size = m_model.Size();
    const int64_t selStart = SelectionStart();
    const int64_t selEnd = SelectionEnd();
    const QColor selection = palette().highlight().color();
    const QColor highlight(255, 226, 92);
    const QFontMetrics metrics(font());
    const int32_t ascent = metrics.ascent() + 1;
    const std::vector<HexMark> marks = MarksOnScreen();
    for (int32_t line = 0; line <= VisibleRows(); ++line) {
        const int64_t row = top + line;
        if (row >= m_model.RowCount())
            break;
        const int32_t y = line * m_lineHeight;
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(m_charWidth, y + ascent, m_model.RowOffsetText(row));
        for (int32_t c = 0; c < kRow; ++c) {
            const int64_t offset = row * kRow + c;
            if (offset >= size)
                break;
            QColor back;
            bool selected = false;
            if (offset >= selStart && offset < selEnd) {
                back = selection;
                selected = true;
            } else if (offset >= m_highlightStart && offset < m_highlightEnd) {
                back = highlight;
            } else if (const HexItem* item = m_items.ItemAt(offset)) {
                back = Tint(item->Class);
            }
            const QRect hexCell(HexX(c) - m_charWidth / 2, y, 3 * m_charWidth, m_lineHeight);
            const QRect textCell(TextX(c), y, m_charWidth, m_lineHeight);
            if (back.isValid()) {
                painter.fillRect(hexCell, back);
                painter.fillRect(textCell, back);
            }
            if (offset == m_cursor) {
                painter.setPen(QPen(palette().text().color(), 1));
                painter.drawRect(hexCell.adjusted(0, 0, -1, -1));
            }
            painter.setPen(selected ? palette().highlightedText().color() : palette().text().color());
            painter.drawText(HexX(c), y + ascent, m_model.HexCell(row, c));
            painter.drawText(TextX(c), y + ascent, m_model.TextCell(row, c));
        }
        for (const HexMark& mark : marks) {
            const int64_t first = std::max<int64_t>(mark.Start, row * kRow);
            const int64_t last = std::min<int64_t>(mark.End, (row + 1) * kRow) - 1;
            if (first > last)
                continue;
            const auto c0 = static_cast<int32_t>(first - row * kRow);
            const auto c1 = static_cast<int32_t>(last - row * kRow);
            painter.setPen(QPen(QColor(200, 30, 30), 2));
            const int32_t x0 = HexX(c0) - m_charWidth / 2;
            const int32_t x1 = HexX(c1) + 5 * m_charWidth / 2;
            painter.drawLine(x0, y + m_lineHeight - 1, x1, y + m_lineHeight - 1);
            painter.drawLine(TextX(c0), y + m_lineHeight - 1, TextX(c1 + 1), y + m_lineHeight - 1);
        }
    }
}

std::vector<HexMark> HexView::MarksOnScreen() const
{
    std::vector<HexMark> marks = m_marks;
    // An entry's header lies before its data, at most this far.
    constexpr int64_t kHeaderReach = kFileEntryNameDistance + kFileEntryDataOffset + 2;
    const int64_t first = TopRow() * kRow;
    const int64_t last = first + (int64_t{VisibleRows()} + 1) * kRow + kHeaderReach;
    const std::vector<HexItem>& items = m_items.Items();
    auto at = std::lower_bound(items.begin(), items.end(), first,
                               [](const HexItem& item, int64_t value) { return item.Start < value; });
    for (; at != items.end() && at->Start < last; ++at) {
        const std::vector<HexMark> fields = EntryHeaderFields(m_model.Image(), at->Start);
        marks.insert(marks.end(), fields.begin(), fields.end());
    }
    return marks;
}

void HexView::mousePressEvent(QMouseEvent* event)
{
    setFocus();
    const int64_t offset = OffsetAt(event->position().toPoint());
    if (offset >= 0 && event->button() == Qt::LeftButton)
        MoveCursor(offset, (event->modifiers() & Qt::ShiftModifier) != 0);
}

void HexView::mouseMoveEvent(QMouseEvent* event)
{
    const int64_t offset = OffsetAt(event->position().toPoint());
    emit Hovered(offset);
    if ((event->buttons() & Qt::LeftButton) != 0 && offset >= 0)
        MoveCursor(offset, true);
}

bool HexView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const int64_t offset = OffsetAt(help->pos());
        const HexItem* item = offset >= 0 ? m_items.ItemAt(offset) : nullptr;
        const QString text = item != nullptr && DescribeItem ? DescribeItem(*item) : QString();
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, viewport());
        return true;
    }
    return QAbstractScrollArea::viewportEvent(event);
}

void HexView::keyPressEvent(QKeyEvent* event)
{
    const bool extend = (event->modifiers() & Qt::ShiftModifier) != 0;
    const bool control = (event->modifiers() & Qt::ControlModifier) != 0;
    const int64_t page = static_cast<int64_t>(VisibleRows()) * kRow;
    int64_t target = -1;
    switch (event->key()) {
    case Qt::Key_Left: target = m_cursor - 1; break;
    case Qt::Key_Right: target = m_cursor + 1; break;
    case Qt::Key_Up: target = m_cursor - kRow; break;
    case Qt::Key_Down: target = m_cursor + kRow; break;
    case Qt::Key_PageUp: target = m_cursor - page; break;
    case Qt::Key_PageDown: target = m_cursor + page; break;
    case Qt::Key_Home: target = control ? 0 : m_cursor - m_cursor % kRow; break;
    case Qt::Key_End: target = control ? m_model.Size() - 1 : m_cursor - m_cursor % kRow + kRow - 1; break;
    default: QAbstractScrollArea::keyPressEvent(event); return;
    }
    // Up and Left at the first byte stay there rather than wrap.
    MoveCursor(std::max<int64_t>(0, target), extend);
}

}  // namespace kestrix
