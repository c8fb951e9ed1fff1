#include "file_entry_scan.h"

#include "file_entry_layout.h"
#include "sliced_find.h"

#include <algorithm>
#include <climits>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>

namespace kestrix {
namespace {

// Largest size whose data are known to follow the entry directly.
constexpr uint32_t kInlineSizeLimit = 384;

void RemoveRepeatedNames(FoundRows& rows)
{
    std::unordered_set<std::string_view> seen;
    rows.RemoveIf([&seen](const FoundRow&, std::string_view name) { return !seen.insert(name).second; });
}

}  // namespace

std::string FileTypeOf(const std::string& name)
{
    const auto length = static_cast<int64_t>(name.size());
    // Positions count from 1; one below 1 counts as 1.
    auto at = [&](int64_t position) {
        position = std::max<int64_t>(position, 1);
        return position <= length ? name[static_cast<std::size_t>(position - 1)] : '\0';
    };
    auto copy = [&](int64_t position, std::size_t count) {
        position = std::max<int64_t>(position, 1);
        return position <= length ? name.substr(static_cast<std::size_t>(position - 1), count) : std::string();
    };
    if (at(length - 3) == '.')
        return copy(length - 2, 3);
    if (at(length - 2) == '.')
        return copy(length - 1, 2);
    if (at(length - 1) == '.')
        return copy(length, 1);
    return "xxx";
}

bool ScanFileEntries(TCustomHexBuffer& buffer, const ScanHooks& hooks, FoundRows& rows)
{
    const int32_t dataSize = buffer.DataSize();
    if (dataSize <= kMinScanSize)
        return false;

    rows.Clear();
    const std::span<const uint8_t> image = buffer.Bytes();
    hooks.ShowGauge(dataSize);
    int32_t previous = 0;
    for (;;) {
        const SlicedFindResult hit =
            FindHexPatternSliced(buffer, kFileEntrySignatureHex, previous + 1, dataSize, hooks);
        if (hit.Stopped || hit.Offset < 0)
            break;
        const int32_t h = hit.Offset;
        previous = h;
        // Entries whose name would start before the image or whose size would
        // run past its end are not complete in this image; nor is one whose
        // data would start beyond the largest offset.
        if (h >= kFileEntryNameDistance && h + kFileEntrySizeOffset + 3 < dataSize &&
            h <= INT32_MAX - kFileEntryDataOffset) {
            const std::string name = ReadFileEntryName(image, h);
            if (rows.Empty() || rows.Name(rows.Count() - 1) != name) {
                const uint32_t size = ReadFileEntrySize(image, h);
                FoundRow row;
                row.Start = static_cast<int32_t>(h + kFileEntryDataOffset);
                if (size <= kInlineSizeLimit)
                    row.End = OffsetOrNoEnd(static_cast<int64_t>(row.Start) + size);
                row.Size = size;
                rows.Append(row, name);
                hooks.RowAppended(rows);
                hooks.MoveGauge(h);
            }
        }
        if (!hooks.KeepGoing())
            break;
    }
    RemoveRepeatedNames(rows);
    hooks.HideGauge();
    return true;
}

ResultRow FileRowText(const FoundRows& rows, std::size_t index)
{
    std::string name(rows.Name(index));
    std::string type = FileTypeOf(name);
    return RowText(std::move(name), std::move(type), rows[index], kFileRowIcon);
}

}  // namespace kestrix
