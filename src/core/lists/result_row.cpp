#include "result_row.h"

#include "exceptions.h"

#include <charconv>

namespace kestrix {

const std::string& ResultRow::Cell(std::size_t k) const
{
    static const std::string kEmpty;
    return k < Cells.size() ? Cells[k] : kEmpty;
}

std::string& ResultRow::Cell(RowCell cell)
{
    const auto k = static_cast<std::size_t>(cell);
    if (Cells.size() <= k)
        Cells.resize(k + 1);
    return Cells[k];
}

ResultRow RowText(std::string caption, std::string type, const FoundRow& row, int32_t icon)
{
    return {std::move(caption),
            {std::move(type), std::to_string(row.Start), row.HasEnd() ? std::to_string(row.End) : std::string(),
             std::to_string(row.Size)},
            icon};
}

int32_t StrToInt(const std::string& text)
{
    int32_t value = 0;
    const char* first = text.data();
    const char* last = first + text.size();
    const auto [end, error] = std::from_chars(first, last, value);
    if (text.empty() || error != std::errc() || end != last)
        throw EConvertError(FormatMessage("'%s' is not a valid integer value", {text}));
    return value;
}

}  // namespace kestrix
