// The picture walks and the search for every picture over arbitrary bytes. The first
// input byte chooses how much erased flash (FFh) lies before and after the rest,
// and what the decode check answers. Every result is checked against the rules
// the walks and the search promise.
#include "bmp_walk.h"
#include "content_candidates.h"
#include "erased_flash_input.h"
#include "gif_walk.h"
#include "jpeg_walk.h"
#include "picture_search.h"
#include "png_walk.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <vector>

namespace {

using namespace kestrix;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

WalkResult Walk(ItemType type, std::span<const uint8_t> bytes)
{
    switch (type) {
    case ItemType::Gif: return WalkGif(bytes);
    case ItemType::Bmp: return WalkBmp(bytes);
    case ItemType::Jpeg: return WalkJpeg(bytes);
    case ItemType::Png: return WalkPng(bytes);
    default: return {};
    }
}

// A walk's result stays in its bytes; a whole picture ends with its end marker and
// walks the same when nothing follows it.
void CheckWalk(ItemType type, std::span<const uint8_t> bytes)
{
    const WalkResult walk = Walk(type, bytes);
    const auto size = static_cast<int64_t>(bytes.size());
    if (walk.Verdict == WalkVerdict::NoItem) {
        Check(walk.End == 0);
        return;
    }
    Check(walk.End > 0 && walk.End <= size);
    Check(walk.SureEnd >= 0 && walk.SureEnd <= walk.End);
    Check(walk.Examined >= walk.End && walk.Examined <= size);
    Check(walk.Width >= 1 && walk.Height >= 1 && walk.Frames >= 0);
    if (walk.Verdict != WalkVerdict::Whole)
        return;
    const auto end = static_cast<std::size_t>(walk.End);
    if (type == ItemType::Gif)
        Check(bytes[end - 1] == 0x3B);
    if (type == ItemType::Jpeg)
        Check(end >= 4 && bytes[end - 2] == 0xFF && bytes[end - 1] == 0xD9);
    if (type == ItemType::Png)
        Check(end >= 45 && std::equal(bytes.begin() + static_cast<std::ptrdiff_t>(end - 8),
                                      bytes.begin() + static_cast<std::ptrdiff_t>(end - 4), "IEND"));
    const WalkResult alone = Walk(type, bytes.first(end));
    Check(alone.Verdict == WalkVerdict::Whole && alone.End == walk.End && alone.Width == walk.Width &&
          alone.Height == walk.Height && alone.Frames == walk.Frames);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t control = data[0];
    const std::vector<uint8_t> image = AmongErasedFlash(data, size);
    const std::span<const uint8_t> bytes(image);

    // Every walk from the first byte, and each candidate's own walk.
    for (const ItemType type : {ItemType::Gif, ItemType::Bmp, ItemType::Jpeg, ItemType::Png})
        CheckWalk(type, bytes);
    for (std::size_t at = 0; at + 1 < bytes.size(); ++at)
        if (const auto type = ContentCandidateAt(bytes, static_cast<int64_t>(at));
            type && KindOf(*type) == ContentKind::Picture)
            CheckWalk(*type, bytes.subspan(at));

    // The check calls some pictures damaged, by the parity of their size.
    const bool damageOdd = (control & 0x20) != 0;
    std::atomic<int> asked = 0;
    const PictureDecodeCheck check = [&](ItemType, std::span<const uint8_t> picture, const std::atomic<bool>&) {
        ++asked;
        Check(picture.data() >= bytes.data() && picture.data() + picture.size() <= bytes.data() + bytes.size());
        return damageOdd && picture.size() % 2 == 1 ? ItemStatus::Damaged : ItemStatus::Complete;
    };
    const bool useCheck = (control & 0x40) != 0;
    ScanHooks hooks;
    if (useCheck)
        hooks.DecodeCheck = check;
    const auto rows = FindAllPictures(bytes, hooks);
    Check(rows.has_value());
    int32_t previousEnd = 0;
    for (const FoundItem& row : *rows) {
        Check(row.Start >= previousEnd && row.End > row.Start && row.End <= static_cast<int32_t>(bytes.size()));
        previousEnd = row.End;
        Check(KindOf(row.Type) == ContentKind::Picture);
        Check(row.Trailing >= 0 && row.Trailing < row.Size());
        Check(row.Trailing == 0 || !row.EntryName.empty());
        // An entry's data and a bitmap cut by erased flash end where their
        // walk alone would not say: the rest holds for pictures on their own.
        const auto rest = bytes.subspan(static_cast<std::size_t>(row.Start));
        const bool alone = row.EntryName.empty() && row.Type != ItemType::Bmp;
        if (alone && row.Status == ItemStatus::Truncated) {
            Check(Walk(row.Type, rest).Verdict == WalkVerdict::Truncated);
        } else if (row.Status != ItemStatus::Truncated && row.Reason != StatusReason::BrokenInEntry) {
            // A whole picture walks the same with nothing after it.
            const WalkResult walk = Walk(row.Type, rest.first(static_cast<std::size_t>(row.FormatSize())));
            Check(walk.Verdict == WalkVerdict::Whole && walk.End == row.FormatSize());
            Check(row.Width == walk.Width && row.Height == walk.Height && row.Frames == walk.Frames);
        }
        if (useCheck && damageOdd && row.Status == ItemStatus::Complete)
            Check(row.FormatSize() % 2 == 0);
        Check(row.Frames == 0 || row.Type == ItemType::Gif);
        // A named picture lies 38 bytes after an entry signature (00 00 01 FF ...).
        if (!row.EntryName.empty())
            Check(row.Start >= 38 + 89 && row.EntryName.size() <= 45 &&
                  bytes[static_cast<std::size_t>(row.Start) - 36] == 0x01);
    }
    Check(asked.load() <= static_cast<int>(rows->size()));
    return 0;
}
