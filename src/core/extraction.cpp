#include "extraction.h"

#include "atomic_file.h"
#include "code_page.h"
#include "exceptions.h"

#include <algorithm>
#include <climits>

namespace kestrix {
namespace {

int32_t RangeCount(int32_t start, int32_t end)
{
    const int64_t count = static_cast<int64_t>(end) - start;
    return static_cast<int32_t>(std::clamp<int64_t>(count, INT32_MIN, INT32_MAX));
}

}  // namespace

std::string SafeFileName(const std::string& caption)
{
    std::string name;
    name.reserve(caption.size() * 2);
    for (const char c : caption) {
        const char32_t cp = Cp1251ToUnicode(static_cast<uint8_t>(c));
        if (cp == U'/' || cp == U'\\' || cp < 0x20 || cp == 0x7F)
            name += '_';
        else
            name += Cp1251ToUtf8(std::string_view(&c, 1));
    }
    if (name.empty() || name == "." || name == "..")
        name = "_" + name;
    return name;
}

std::vector<ExtractItem> PlanExtraction(SavePage page, const std::vector<TResultRow>& rows,
                                         const std::vector<bool>& selected)
{
    std::vector<ExtractItem> items;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (!selected.empty() && (i >= selected.size() || !selected[i]))
            continue;
        const TResultRow& row = rows[i];
        if (page == spFiles && row.Cell(rcEnd).empty())
            continue;
        if (page == spGraphics && row.Caption.empty())
            continue;
        const std::string name = page == spFiles ? row.Caption : row.Caption + "." + row.Cell(rcType);
        items.push_back({static_cast<int32_t>(i), SafeFileName(name), row.Cell(rcStart), row.Cell(rcEnd)});
    }
    return items;
}

std::string ExtractToFolder(TCustomHexBuffer& buffer, const std::string& folder, const ExtractItem& item)
{
    const int32_t end = StrToInt(item.EndText);
    const int32_t start = StrToInt(item.StartText);
    const std::string path = (folder.empty() ? std::string(".") : folder) + "/" + item.FileName;
    WriteRangeToFileAtomically(buffer, path, start, RangeCount(start, end));
    return path;
}

void WriteRangeToFileAtomically(TCustomHexBuffer& buffer, const std::string& path, int32_t start, int32_t count)
{
    AtomicFile file(path);
    buffer.WriteRangeToStream(file, start, count);
    file.Commit();
}

}  // namespace kestrix
