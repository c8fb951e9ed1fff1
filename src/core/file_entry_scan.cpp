#include "file_entry_scan.h"

#include "sliced_find.h"

#include <algorithm>
#include <climits>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>

namespace kestrix {
namespace {

constexpr std::string_view kEntrySignature = "000001FF000000";
// The name's first character lies this far before the signature.
constexpr int32_t kNameDistance = 89;
constexpr int32_t kSizeOffset = 22;
constexpr int32_t kDataOffset = 38;
// Largest size whose data are known to follow the entry directly.
constexpr uint32_t kInlineSizeLimit = 384;

// Low bytes of the 2-byte characters from h - 89 up to the first zero after
// the first one; the signature's zero at h + 1 ends it at the latest.
std::string ReadEntryName(std::span<const uint8_t> image, int32_t h)
{
    std::string name(1, static_cast<char>(image[static_cast<std::size_t>(h - kNameDistance)]));
    for (auto q = static_cast<std::size_t>(h - kNameDistance + 2); image[q] != 0; q += 2)
        name += static_cast<char>(image[q]);
    return name;
}

uint32_t ReadBigEndian32(std::span<const uint8_t> image, int32_t offset)
{
    const auto at = static_cast<std::size_t>(offset);
    return static_cast<uint32_t>(image[at]) << 24 | static_cast<uint32_t>(image[at + 1]) << 16 |
           static_cast<uint32_t>(image[at + 2]) << 8 | image[at + 3];
}

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
        const SlicedFindResult hit = FindHexPatternSliced(buffer, kEntrySignature, previous + 1, dataSize, hooks);
        if (hit.stopped || hit.offset < 0)
            break;
        const int32_t h = hit.offset;
        previous = h;
        // Entries whose name would start before the image or whose size would
        // run past its end are not complete in this image; nor is one whose
        // data would start beyond the largest offset.
        if (h >= kNameDistance && static_cast<int64_t>(h) + kSizeOffset + 3 < dataSize &&
            h <= INT32_MAX - kDataOffset) {
            const std::string name = ReadEntryName(image, h);
            if (rows.Empty() || rows.Name(rows.Count() - 1) != name) {
                const uint32_t size = ReadBigEndian32(image, h + kSizeOffset);
                FoundRow row;
                row.Start = h + kDataOffset;
                if (size <= kInlineSizeLimit)
                    row.End = OffsetOrNoEnd(static_cast<int64_t>(row.Start) + size);
                row.Size = size;
                rows.Append(row, name);
                hooks.TellRowAppended(rows);
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

TResultRow FileRowText(const FoundRows& rows, std::size_t index)
{
    std::string name(rows.Name(index));
    std::string type = FileTypeOf(name);
    return RowText(std::move(name), std::move(type), rows[index], kFileRowIcon);
}

}  // namespace kestrix
