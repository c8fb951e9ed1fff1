// The content search over arbitrary bytes: every format's walk, the file-system
// entries and the decode checks together. The first input byte chooses how much
// erased flash lies before and after the rest, and what the decode check
// answers. Every result is checked against the rules the search promises.
#include "content_candidates.h"
#include "content_search.h"
#include "erased_flash_input.h"
#include "file_entry_layout.h"

#include <atomic>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace kestrix;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

// Whether the item's bytes are the data of a file-system entry.
bool InEntry(std::span<const uint8_t> image, const FoundItem& item)
{
    return !item.EntryName.empty() && HasFileEntrySignature(image, item.Start - kFileEntryDataOffset);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t control = data[0];
    const std::vector<uint8_t> image = AmongErasedFlash(data, size, (control & 0x80) != 0 ? 0x00 : 0xFF);
    const std::span<const uint8_t> bytes(image);

    const bool damageOdd = (control & 0x20) != 0;
    std::atomic<int> asked = 0;
    ScanHooks hooks;
    if ((control & 0x40) != 0)
        hooks.DecodeCheck = [&](ItemType, std::span<const uint8_t> picture, const std::atomic<bool>&) {
            ++asked;
            Check(picture.data() >= bytes.data() && picture.data() + picture.size() <= bytes.data() + bytes.size());
            return damageOdd && picture.size() % 2 == 1 ? ItemStatus::Damaged : ItemStatus::Complete;
        };
    const std::optional<ContentFound> found = FindAllContent(bytes, hooks);
    Check(found.has_value());
    const auto imageSize = static_cast<int32_t>(bytes.size());
    int32_t previousEnd = 0;
    std::set<std::string> fileNames;
    for (const FoundItem& item : found->Items) {
        Check(item.Start >= previousEnd && item.End >= item.Start && item.End <= imageSize);
        previousEnd = item.End;
        const bool inEntry = InEntry(bytes, item);
        if (item.Type == ItemType::File) {
            // Data of no known format come only from an entry, once per name.
            Check(HasFileEntrySignature(bytes, item.Start - kFileEntryDataOffset));
            Check(item.Status == ItemStatus::Unchecked || item.Status == ItemStatus::Truncated);
            Check(fileNames.insert(item.EntryName).second);
            continue;
        }
        Check(item.End > item.Start);
        Check(KindOf(item.Type) != ContentKind::File);
        // A descriptor may start at an earlier line than its "MIDlet-" line.
        const auto candidate = ContentCandidateAt(bytes, item.Start);
        Check(item.Type == ItemType::Jad || (candidate && *candidate == item.Type));
        if (item.Midlet >= 0)
            Check(KindOf(item.Type) == ContentKind::Application &&
                  static_cast<std::size_t>(item.Midlet) < found->Midlets.size());
        if (KindOf(item.Type) != ContentKind::Picture)
            Check(item.Width == 0 && item.Height == 0 && item.Frames == 0);
        if (inEntry || item.Type == ItemType::Jad)
            continue;
        const auto rest = bytes.subspan(static_cast<std::size_t>(item.Start));
        const FormatTraits& format = TraitsOf(item.Type);
        if (item.Status == ItemStatus::Truncated) {
            Check(format.Walk(rest, true).Verdict == WalkVerdict::Truncated);
        } else {
            // A whole item walks the same with nothing after it.
            const WalkResult alone = format.Walk(rest.first(static_cast<std::size_t>(item.Size())), true);
            Check(alone.Verdict == WalkVerdict::Whole && alone.End == item.Size());
        }
        if (hooks.DecodeCheck && damageOdd && item.Status == ItemStatus::Complete &&
            KindOf(item.Type) == ContentKind::Picture)
            Check(item.Size() % 2 == 0);
    }
    Check(asked.load() <= static_cast<int>(found->Items.size()));
    Check(ContentCaptions(found->Items).size() == found->Items.size());
    return 0;
}
