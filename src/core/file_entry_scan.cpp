#include "file_entry_scan.h"

#include "sliced_find.h"

#include <algorithm>
#include <string>
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
std::string ReadEntryName(const TCustomHexBuffer& buffer, int32_t h)
{
    std::string name(1, static_cast<char>(buffer.ByteAt(h - kNameDistance)));
    for (int32_t q = h - kNameDistance + 2; buffer.ByteAt(q) != 0; q += 2)
        name += static_cast<char>(buffer.ByteAt(q));
    return name;
}

uint32_t ReadBigEndian32(const TCustomHexBuffer& buffer, int32_t offset)
{
    return static_cast<uint32_t>(buffer.ByteAt(offset)) << 24 | static_cast<uint32_t>(buffer.ByteAt(offset + 1)) << 16 |
           static_cast<uint32_t>(buffer.ByteAt(offset + 2)) << 8 | buffer.ByteAt(offset + 3);
}

void RemoveRepeatedCaptions(std::vector<TResultRow>& rows)
{
    std::unordered_set<std::string> seen;
    std::erase_if(rows, [&seen](const TResultRow& row) { return !seen.insert(row.Caption).second; });
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

std::optional<std::vector<TResultRow>> ScanFileEntries(TCustomHexBuffer& buffer, const ScanHooks& hooks)
{
    const int32_t dataSize = buffer.DataSize();
    if (dataSize <= kMinScanSize)
        return std::nullopt;

    std::vector<TResultRow> rows;
    if (hooks.GaugeShow)
        hooks.GaugeShow(dataSize);
    int32_t previous = 0;
    for (;;) {
        const SlicedFindResult hit = FindHexPatternSliced(buffer, kEntrySignature, previous + 1, dataSize, hooks);
        if (hit.stopped || hit.offset < 0)
            break;
        const int32_t h = hit.offset;
        previous = h;
        // Entries whose name would start before the image or whose size would
        // run past its end are not complete in this image.
        if (h >= kNameDistance && static_cast<int64_t>(h) + kSizeOffset + 3 < dataSize) {
            std::string name = ReadEntryName(buffer, h);
            if (rows.empty() || rows.back().Caption != name) {
                const uint32_t size = ReadBigEndian32(buffer, h + kSizeOffset);
                const int64_t start = static_cast<int64_t>(h) + kDataOffset;
                TResultRow row;
                row.Cells = {FileTypeOf(name), std::to_string(start),
                             size <= kInlineSizeLimit ? std::to_string(start + size) : std::string(),
                             std::to_string(size)};
                row.Caption = std::move(name);
                row.ImageIndex = kFileRowIcon;
                rows.push_back(std::move(row));
                if (hooks.RowAppended)
                    hooks.RowAppended(rows.back());
                if (hooks.GaugeValue)
                    hooks.GaugeValue(h);
            }
        }
        if (hooks.Yield && !hooks.Yield())
            break;
    }
    RemoveRepeatedCaptions(rows);
    if (hooks.GaugeHide)
        hooks.GaugeHide();
    return rows;
}

}  // namespace kestrix
