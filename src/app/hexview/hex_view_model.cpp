#include "hex_view_model.h"

#include "code_page.h"

namespace kestrix {

QString HexViewModel::OffsetText(int64_t offset) const
{
    return m_hexOffsets ? QStringLiteral("%1").arg(offset, 8, 16, QLatin1Char('0')).toUpper()
                        : QStringLiteral("%1").arg(offset, 10, 10, QLatin1Char('0'));
}

QString HexViewModel::RowOffsetText(int64_t row) const
{
    if (row < 0 || row >= RowCount())
        return {};
    return OffsetText(row * kBytesPerRow);
}

std::optional<uint8_t> HexViewModel::ByteAt(int64_t offset) const noexcept
{
    if (offset < 0 || offset >= Size())
        return std::nullopt;
    return m_image[static_cast<std::size_t>(offset)];
}

QString HexViewModel::HexCell(int64_t row, int32_t column) const
{
    if (column < 0 || column >= kBytesPerRow || row < 0)
        return {};
    const std::optional<uint8_t> b = ByteAt(row * kBytesPerRow + column);
    if (!b)
        return {};
    return QStringLiteral("%1").arg(*b, 2, 16, QLatin1Char('0')).toUpper();
}

QString HexViewModel::TextCell(int64_t row, int32_t column) const
{
    if (column < 0 || column >= kBytesPerRow || row < 0)
        return {};
    const int64_t offset = row * kBytesPerRow + column;
    const std::optional<uint8_t> b = ByteAt(offset);
    if (!b)
        return {};
    if (m_textMode == HexTextMode::Cp1251) {
        if (IsControlByte(*b))
            return QStringLiteral(".");
        return QString(QChar(static_cast<char16_t>(Cp1251ToUnicode(*b))));
    }
    if (column % 2 != 0)
        return {};
    const std::optional<uint8_t> next = ByteAt(offset + 1);
    if (!next)
        return QStringLiteral(".");
    const auto unit = static_cast<char16_t>(m_textMode == HexTextMode::Utf16Le ? (*next << 8 | *b) : (*b << 8 | *next));
    const QChar c(unit);
    if (c.isSurrogate() || !c.isPrint())
        return QStringLiteral(".");
    return QString(c);
}

}  // namespace kestrix

namespace kestrix {

QString SelectionText(const HexViewModel& model, int64_t start, int64_t end, int64_t cursor)
{
    if (end <= start)
        return QStringLiteral("Курсор: %1").arg(model.OffsetText(cursor));
    return QStringLiteral("Выделено: %1 – %2 (%3 байт)")
        .arg(model.OffsetText(start), model.OffsetText(end - 1))
        .arg(end - start);
}

QString CursorValuesText(const HexViewModel& model, int64_t offset)
{
    QStringList parts;
    for (const int width : {1, 2, 4}) {
        uint32_t little = 0;
        uint32_t big = 0;
        bool whole = true;
        for (int i = 0; i < width && whole; ++i) {
            const std::optional<uint8_t> b = model.ByteAt(offset + i);
            whole = b.has_value();
            if (whole) {
                little |= static_cast<uint32_t>(*b) << (8 * i);
                big = big << 8 | *b;
            }
        }
        if (!whole)
            break;
        if (width == 1)
            parts << QStringLiteral("8 бит: %1").arg(little);
        else
            parts << QStringLiteral("%1 бит LE: %2, BE: %3").arg(8 * width).arg(little).arg(big);
    }
    return parts.join(QStringLiteral(" · "));
}

QString BytesAsHex(std::span<const uint8_t> bytes)
{
    QString text;
    text.reserve(static_cast<qsizetype>(bytes.size()) * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += QLatin1Char(' ');
        text += QLatin1Char("0123456789ABCDEF"[bytes[i] >> 4]);
        text += QLatin1Char("0123456789ABCDEF"[bytes[i] & 0x0F]);
    }
    return text;
}

}  // namespace kestrix
