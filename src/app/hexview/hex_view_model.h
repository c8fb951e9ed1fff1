#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <span>

namespace kestrix {

// How the text column reads the bytes.
enum class HexTextMode { Cp1251, Utf16Le, Utf16Be };

// The cells of the hex view over the loaded image, read straight from its
// bytes (no copy): sixteen bytes a row, an offset column, a hex column and a
// text column. Rows and columns outside the image give empty cells.
class HexViewModel {
public:
    static constexpr int32_t kBytesPerRow = 16;

    // The bytes shown; they must outlive the model or be replaced first.
    void SetImage(std::span<const uint8_t> image) noexcept { m_image = image; }
    std::span<const uint8_t> Image() const noexcept { return m_image; }
    int64_t Size() const noexcept { return static_cast<int64_t>(m_image.size()); }
    // Rows needed for the whole image (the last may be short); 0 when empty.
    int64_t RowCount() const noexcept { return (Size() + kBytesPerRow - 1) / kBytesPerRow; }

    bool HexOffsets() const noexcept { return m_hexOffsets; }
    void SetHexOffsets(bool value) noexcept { m_hexOffsets = value; }
    HexTextMode TextMode() const noexcept { return m_textMode; }
    void SetTextMode(HexTextMode mode) noexcept { m_textMode = mode; }

    // An offset as the view writes it: eight hex digits ("0001A2B0") or ten
    // decimal digits, as HexOffsets says.
    QString OffsetText(int64_t offset) const;
    // The offset column of row: the offset of its first byte; empty past the end.
    QString RowOffsetText(int64_t row) const;
    // The byte at row and column (0..15) as two hex digits; empty outside the image.
    QString HexCell(int64_t row, int32_t column) const;
    // The text column's character for row and column: the byte in
    // Windows-1251, or in the UTF-16 modes the character of the two-byte
    // unit starting at the even column (the odd column gives an empty cell).
    // Control characters and a unit cut by the image's end show as ".";
    // outside the image the cell is empty.
    QString TextCell(int64_t row, int32_t column) const;
    // The byte at offset, none outside the image.
    std::optional<uint8_t> ByteAt(int64_t offset) const noexcept;

private:
    std::span<const uint8_t> m_image;
    bool m_hexOffsets = true;
    HexTextMode m_textMode = HexTextMode::Cp1251;
};

}  // namespace kestrix

namespace kestrix {

// The selection line of the view: "Выделено: A – B (N байт)" with B the last
// selected byte, or "Курсор: A" when nothing is selected; offsets as the model writes them.
QString SelectionText(const HexViewModel& model, int64_t start, int64_t end, int64_t cursor);
// The values of the bytes at offset: 8, 16 and 32 bits, unsigned, both byte
// orders for the wider ones; a value the image's end cuts is left out.
QString CursorValuesText(const HexViewModel& model, int64_t offset);
// bytes as hex text, "4D 6F 74".
QString BytesAsHex(std::span<const uint8_t> bytes);

}  // namespace kestrix
