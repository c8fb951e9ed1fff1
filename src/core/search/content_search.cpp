#include "content_search.h"

#include "arriving_image.h"
#include "content_candidates.h"
#include "erased_text.h"
#include "fast_find.h"
#include "file_entry_layout.h"
#include "item_checks.h"
#include "jad_jar_match.h"
#include "search_pacing.h"

#include <algorithm>
#include <atomic>
#include <unordered_set>

namespace kestrix {
namespace {

// The bytes from a candidate's start that telling its format (its signature,
// its form at 8) and reading an entry's header read.
constexpr int64_t kCandidateReach = 4096;
static_assert(std::ranges::all_of(kFormats, [](const FormatTraits& format) {
    return static_cast<int64_t>(format.Signature.size()) <= kCandidateReach &&
           8 + static_cast<int64_t>(format.Form.size()) <= kCandidateReach;
}));
static_assert(kFileEntryDataOffset <= kCandidateReach);

// The archives' icons a search keeps in all: an icon past it keeps its path
// but not its bytes, whatever the archives claim.
constexpr int64_t kIconBudget = int64_t{32} << 20;
// The first window FirstSignature looks in.
constexpr int64_t kSignatureWindow = int64_t{64} << 10;
// Image bytes per item the list is first made room for. Room not filled is
// never touched; a list that outgrows it is copied as it grows, new pages
// and all, which on a large image cost more than finding its items.
constexpr int64_t kBytesPerExpectedItem = 4096;

// Walks an item of row from bytes[0], with its facts where the row reads
// them.
FormatWalk WalkCandidate(const FormatTraits& row, std::span<const uint8_t> bytes, bool thorough)
{
    if (row.Facts == nullptr)
        return {row.Walk(bytes, thorough), std::nullopt};
    try {
        return row.Facts(bytes, thorough);
    } catch (...) {
        // An archive whose parts cannot even be held is no item.
        return {};
    }
}

// A file-system entry whose signature the search has met.
struct Entry {
    int64_t Header = 0;
    int64_t DataStart = 0;
    uint32_t Size = 0;
    std::string Name;
};

class ContentSearch {
public:
    // arriving: the image's load while it is still under way, or null.
    ContentSearch(std::span<const uint8_t> image, const ScanHooks& hooks, const SoundDecodeCheck& soundCheck,
                  ContentKinds kinds, FormatTable formats, const LoadWatermark* arriving = nullptr)
        : m_image(image), m_size(static_cast<int64_t>(image.size())), m_hooks(hooks), m_soundCheck(soundCheck),
          m_kinds(kinds), m_formats(formats), m_ownTable(formats.data() == std::data(kFormats)),
          m_candidates(image.data()), m_arriving(image, arriving), m_checks(hooks.DecodeCheck, soundCheck),
          m_extraBudget(ExtraWalkBudget(m_size))
    {
        m_found.Items.reserve(static_cast<std::size_t>(m_size / kBytesPerExpectedItem));
    }

    std::optional<ContentFound> Run()
    {
        if (m_hooks.ShowGauge)
            m_hooks.ShowGauge(static_cast<int32_t>(m_size));
        // The load has a core to itself: the checks take the other one only
        // while the search waits for bytes, so that the search keeps up with
        // the load and is done soon after it.
        if (m_arriving.Loading()) {
            m_checks.Hold(true);
            m_arriving.SetWaitHook([this](bool waiting) { m_checks.Hold(!waiting && m_arriving.Loading()); });
        }
        bool finished = false;
        try {
            if (Scan()) {
                ListItems();
                finished = m_checks.GiveVerdicts(m_found.Items, [this] { return Progress(m_size); });
            }
        } catch (const LoadStopped&) {
        }
        if (m_hooks.HideGauge)
            m_hooks.HideGauge();
        if (!finished)
            return std::nullopt;
        MatchDescriptors(m_found);
        return std::move(m_found);
    }

private:
    const FormatTraits& Row(ItemType type) const noexcept { return *RowOf(m_formats, type); }

    ContentKind Kind(ItemType type) const noexcept { return KindOf(type, m_formats); }

    // The next candidate in [from, to), or -1: the vector scan for the
    // program's own table.
    int64_t NextCandidate(int64_t from, int64_t to) noexcept
    {
        return m_ownTable ? m_candidates.Next(from, to) : NextCandidateOf(m_formats, m_image.data(), from, to);
    }

    // False when the front end asked to stop.
    bool Scan()
    {
        // A candidate needs its second byte inside the image.
        const int64_t lastCandidate = m_size - 1;
        int64_t pos = 0;
        while (pos < lastCandidate || m_pending) {
            const int64_t sliceEnd = std::max(pos, std::min(lastCandidate, pos + kSearchSliceSize));
            const int64_t to = std::min(sliceEnd, NextEvent(pos, sliceEnd));
            m_arriving.Need(to + 1);
            if (!m_arriving.Loading())
                m_checks.Hold(false);
            const int64_t from = pos;
            while (pos < to) {
                const int64_t candidate = NextCandidate(pos, to);
                if (candidate < 0) {
                    pos = to;
                    break;
                }
                pos = Consider(candidate);
                if (m_pending)
                    break;
                if (m_work >= kSearchYieldInterval && !Progress(pos))
                    return false;
            }
            m_work += pos - from;
            // Past the last candidate only a pending entry's data remain.
            if (m_pending && pos >= lastCandidate)
                pos = std::max(pos, m_pending->DataStart);
            if (m_pending && pos == m_pending->DataStart)
                pos = HandleEvent(pos);
            if (m_work >= kSearchYieldInterval && !Progress(pos))
                return false;
        }
        return true;
    }

    // Where the pending entry's data start (never before pos); limit when no
    // entry is pending.
    int64_t NextEvent(int64_t pos, int64_t limit) const
    {
        return m_pending ? std::max(pos, m_pending->DataStart) : limit;
    }

    // Lists the pending entry's data at pos; returns where the search goes on.
    int64_t HandleEvent(int64_t pos)
    {
        if (!m_pending || pos != m_pending->DataStart)
            return pos;
        Entry entry = std::move(*m_pending);
        m_pending.reset();
        return ConsiderEntryData(entry);
    }

    // Takes in the entry whose signature is at h; returns where the search
    // goes on.
    int64_t ConsiderSignature(int64_t h)
    {
        // An entry whose name starts before the image or whose data start
        // beyond it is not whole here; a signature inside a listed item is
        // part of that item.
        if (h < kFileEntryNameDistance || h + kFileEntryDataOffset > m_size || InsideCover(h))
            return h + kEntryLeadOffset + 1;
        // A signature without a name is a chance hit in other data (tables of
        // small numbers hold the pattern): no phone file has an empty name.
        if (m_image[static_cast<std::size_t>(h - kFileEntryNameDistance)] == 0)
            return h + kEntryLeadOffset + 1;
        CutCoverAt(h - kFileEntryNameDistance);
        m_pending = Entry{h, h + kFileEntryDataOffset, ReadFileEntrySize(m_image, h), ReadFileEntryName(m_image, h)};
        // The rest of the entry's header is no item.
        return m_pending->DataStart;
    }

    // Whether another entry's signature starts after h and before end.
    bool SignatureBefore(int64_t h, int64_t end)
    {
        const int64_t signatureLength = static_cast<int64_t>(kFileEntrySignature.size());
        return FirstSignature(h + 1, std::min(m_size, end + signatureLength - 1)) >= 0;
    }

    // The first entry signature after h, or the image's size when none.
    int64_t SignatureAfter(int64_t h)
    {
        const int64_t hit = FirstSignature(h + 1, m_size);
        return hit >= 0 ? hit : m_size;
    }

    // The first entry signature wholly inside [from, to), or -1. While the
    // image loads, it looks a window at a time, each twice the last, and so
    // waits only for the bytes up to the signature it finds: the next entry
    // is usually near, the image's end far.
    int64_t FirstSignature(int64_t from, int64_t to)
    {
        const auto signatureLength = static_cast<int32_t>(kFileEntrySignature.size());
        for (int64_t window = kSignatureWindow; from + signatureLength <= to; window *= 2) {
            const int64_t upTo = std::min(to, from + window);
            m_arriving.Need(upTo);
            const int32_t hit = FindExact(m_image.data(), static_cast<int32_t>(from), static_cast<int32_t>(upTo),
                                          kFileEntrySignature.data(), signatureLength);
            if (hit >= 0 || upTo == to)
                return hit;
            from = upTo - signatureLength + 1;
        }
        return -1;
    }

    int64_t ConsiderEntryData(const Entry& entry)
    {
        const int64_t start = entry.DataStart;
        const int64_t statedEnd = start + static_cast<int64_t>(entry.Size);
        // Looking ahead costs no more than the entry's bytes or the bytes up to
        // the next signature, which the search reaches anyway.
        const bool whole = statedEnd <= m_size && !SignatureBefore(entry.Header, statedEnd);
        m_arriving.Need(start + kCandidateReach);
        std::optional<ItemType> type = ContentCandidateAt(m_image, start, m_formats);
        // A descriptor in an entry starts with the entry's data, whatever
        // attribute comes first.
        if (!type || Row(*type).Start.AnyLeadInEntry)
            type = AnyLeadFormatAt(start, whole ? statedEnd : m_size);
        if (type) {
            if (!whole) {
                // The size cannot be right: the walk decides, as if no entry held the data.
                const int64_t after = ConsiderCandidate(start, *type, entry.Name);
                if (after > start + 1 || Listed(start))
                    return after;
            } else if (const auto after = ConsiderSizedEntry(entry, *type)) {
                return *after;
            }
        }
        if (!m_fileNames.insert(entry.Name).second)
            return start;
        FoundItem item;
        item.Type = ItemType::File;
        item.Start = static_cast<int32_t>(start);
        if (whole) {
            item.End = static_cast<int32_t>(statedEnd);
            item.Status = ItemStatus::Unchecked;
            item.Reason = StatusReason::NoCheck;
        } else {
            // Cut at the next entry's name, or at the image's end.
            const int64_t next = SignatureAfter(entry.Header);
            item.End =
                static_cast<int32_t>(next < m_size ? std::clamp(next - kFileEntryNameDistance, start, m_size) : m_size);
            item.Status = ItemStatus::Truncated;
            item.Reason = StatusReason::Cut;
        }
        item.EntryName = entry.Name;
        Append(std::move(item), int64_t{0}, true);
        return m_found.Items.back().End;
    }

    // The first format tried in an entry whatever its lead (AnyLeadInEntry)
    // whose walk finds an item in the bytes from start (to end at most).
    std::optional<ItemType> AnyLeadFormatAt(int64_t start, int64_t end)
    {
        for (const FormatTraits& row : m_formats) {
            if (!row.Start.AnyLeadInEntry)
                continue;
            const WalkResult walk = m_arriving.WalkLoaded(
                start, end, [&row](std::span<const uint8_t> bytes) { return row.Walk(bytes, true); });
            m_work += walk.Examined;
            if (walk.Verdict != WalkVerdict::NoItem)
                return row.Type;
        }
        return std::nullopt;
    }

    // Lists the data of an entry of a known format, walked within the entry's
    // size; where the search goes on, or none when the data are no item of
    // that format.
    std::optional<int64_t> ConsiderSizedEntry(const Entry& entry, ItemType type)
    {
        const int64_t start = entry.DataStart;
        const auto size = static_cast<int64_t>(entry.Size);
        m_arriving.Need(start + size);
        FormatWalk walked = WalkCandidate(
            Row(type), m_image.subspan(static_cast<std::size_t>(start), static_cast<std::size_t>(size)), true);
        m_work += walked.Walk.Examined;
        const WalkResult& walk = walked.Walk;
        if (walk.Verdict == WalkVerdict::NoItem)
            return std::nullopt;
        FoundItem item = MakeItem(type, start, walk, entry.Name);
        item.End = static_cast<int32_t>(start + size);
        if (walk.Verdict != WalkVerdict::Whole)
            SetStatus(item, NeedsMoreBytes(type, start, size, walk) ? ItemStatus::Truncated : ItemStatus::Damaged,
                      StatusReason::BrokenInEntry);
        else if (walk.End < size && ErasedFrom(type, start + walk.End, start + size))
            SetStatus(item, ItemStatus::Truncated, StatusReason::Cut);
        else {
            // The entry holds the whole item and more: the rest is the entry's.
            item.Trailing = static_cast<int32_t>(size - walk.End);
            SetStatusOf(item, type, walk);
        }
        Append(std::move(item), size, true, std::move(walked.Midlet));
        return start + size;
    }

    // Whether erased flash (FFh or 00h) begins at from, running to end or for
    // kErasedRunLength bytes: an entry whose format ends there was cut, its
    // last bytes never written. After text, FFh is erased only as a run
    // (ErasedTextAt): one FFh is the letter "я".
    bool ErasedFrom(ItemType type, int64_t from, int64_t end) const
    {
        if (Row(type).IsText && m_image[static_cast<std::size_t>(from)] == 0xFF)
            return ErasedTextAt(m_image.subspan(static_cast<std::size_t>(from), static_cast<std::size_t>(end - from)),
                                0);
        const int64_t count = std::min<int64_t>(kErasedRunLength, end - from);
        return count > 0 && (IsRunOf(m_image, from, count, 0xFF) || IsRunOf(m_image, from, count, 0x00));
    }

    // Whether data of type at start, whose walk within size bytes was cut,
    // go on past those bytes: the walk over the rest of the image reads on.
    bool NeedsMoreBytes(ItemType type, int64_t start, int64_t size, const WalkResult& walk)
    {
        // Without budget left (only hostile images spend it), a cut walk is
        // taken for cut data.
        if (walk.Examined >= size || m_extraBudget <= 0)
            return true;
        const WalkResult free = WalkCandidateLoaded(type, start, false).Walk;
        m_work += free.Examined;
        m_extraBudget -= free.Examined;
        return free.Examined > size;
    }

    // Walks the candidate at start and lists it where it belongs; returns where
    // the search for candidates goes on.
    int64_t Consider(int64_t start)
    {
        m_arriving.Need(start + kCandidateReach);
        if (HasFileEntrySignature(m_image, start - kEntryLeadOffset))
            return ConsiderSignature(start - kEntryLeadOffset);
        const std::optional<ItemType> type = ContentCandidateAt(m_image, start, m_formats);
        if (!type)
            return start + 1;
        const FormatTraits& row = Row(*type);
        if (row.Start.Begin == nullptr)
            return ConsiderCandidate(start, *type, {});
        // The item starts before its signature (a descriptor's run of lines
        // before its "MIDlet-" line), but never inside what is already listed.
        const int64_t floor = m_cover >= 0 ? std::max<int64_t>(Cover().End, 0) : 0;
        if (start < floor)
            return start + 1;
        const int64_t after = ConsiderCandidate(row.Start.Begin(m_image, start, floor), *type, {});
        return std::max(after, start + static_cast<int64_t>(row.Signature.size()));
    }

    int64_t ConsiderCandidate(int64_t start, ItemType type, const std::string& entryName)
    {
        const bool nested = m_cover >= 0 && start < Cover().End;
        const bool afterErasure = nested && m_coverErasedAt >= 0;
        if (nested && !afterErasure) {
            // Whatever starts inside a whole item, an entry's data, or the parts
            // of a truncated item that its walk is sure of, is part of it.
            if (m_coverSolid || Cover().Status != ItemStatus::Truncated)
                return Cover().End;
            if (start < m_coverSureEnd)
                return m_coverSureEnd;
        }
        if (nested && m_extraBudget <= 0) {
            m_coverErasedAt = -1;
            return Cover().End;
        }
        FormatWalk walked = WalkCandidateLoaded(type, start, m_extraBudget > 0);
        const WalkResult& walk = walked.Walk;
        m_work += walk.Examined;
        m_extraBudget -= nested ? walk.Examined : std::max<int64_t>(0, walk.Examined - walk.End);
        if (walk.Verdict == WalkVerdict::NoItem || (afterErasure && walk.Verdict != WalkVerdict::Whole))
            return start + 1;
        if (afterErasure) {
            // A whole item after erased flash inside a bitmap's pixels: the
            // bitmap was cut where the erased run starts.
            Cover().End = static_cast<int32_t>(m_coverErasedAt);
            SetStatus(Cover(), ItemStatus::Truncated, StatusReason::Cut);
            m_coverErasedAt = -1;
        } else if (nested) {
            // A truncated walk that ran on past its cut has met this item.
            Cover().End = static_cast<int32_t>(start);
        }
        FoundItem item = MakeItem(type, start, walk, entryName.empty() ? EntryNameAt(m_image, start) : entryName);
        SetStatusOf(item, type, walk);
        Append(std::move(item), walk.SureEnd, false, std::move(walked.Midlet));
        if (walk.Verdict != WalkVerdict::Whole)
            return start + 1;
        // Items may follow erased flash inside a bitmap's pixels.
        if (Row(type).MayHoldErased && (m_coverErasedAt = ErasedRunIn(start + walk.SureEnd, start + walk.End)) >= 0)
            return m_coverErasedAt + kErasedRunLength;
        return start + walk.End;
    }

    // WalkCandidate of the candidate of type at start over the rest of the
    // image, once the bytes it reads are loaded.
    FormatWalk WalkCandidateLoaded(ItemType type, int64_t start, bool thorough)
    {
        const FormatTraits& row = Row(type);
        return m_arriving.WalkLoaded(start, m_size, [&row, thorough](std::span<const uint8_t> bytes) {
            return WalkCandidate(row, bytes, thorough);
        });
    }

    // The start of the first run of kErasedRunLength bytes FFh in [from, end),
    // or -1.
    int64_t ErasedRunIn(int64_t from, int64_t end) const
    {
        int64_t run = 0;
        for (int64_t at = from; at < end; ++at) {
            run = m_image[static_cast<std::size_t>(at)] == 0xFF ? run + 1 : 0;
            if (run == kErasedRunLength)
                return at + 1 - run;
        }
        return -1;
    }

    FoundItem MakeItem(ItemType type, int64_t start, const WalkResult& walk, std::string entryName) const
    {
        FoundItem item;
        item.Type = type;
        item.Start = static_cast<int32_t>(start);
        item.End = static_cast<int32_t>(start + walk.End);
        if (Kind(type) == ContentKind::Picture) {
            item.Width = walk.Width;
            item.Height = walk.Height;
            item.Frames = walk.Frames;
        }
        item.DurationMs = walk.DurationMs;
        item.SampleRate = walk.SampleRate;
        item.Channels = walk.Channels;
        item.Tracks = walk.Tracks;
        item.EntryName = std::move(entryName);
        return item;
    }

    // Appends item as the new cover: sureEnd is how far (from its start) its
    // walk is sure of its parts, solid for an entry's data, whose size is sure.
    void Append(FoundItem item, int64_t sureEnd, bool solid, std::optional<MidletInfo> midlet = std::nullopt)
    {
        if (midlet) {
            m_iconBytes += static_cast<int64_t>(midlet->Icon.size());
            if (m_iconBytes > kIconBudget)
                midlet->Icon = {};
            item.Midlet = static_cast<int32_t>(m_found.Midlets.size());
            m_found.Midlets.push_back(std::move(*midlet));
        }
        m_coverErasedAt = -1;
        const bool whole = item.Status == ItemStatus::Complete;
        m_coverSureEnd = item.Start + sureEnd;
        m_found.Items.push_back(std::move(item));
        m_cover = static_cast<int64_t>(m_found.Items.size() - 1);
        m_coverSolid = solid;
        if (whole)
            QueueCheck(m_found.Items.size() - 1);
    }

    // Queues the decoders' check of a whole picture or sound of a listed kind.
    void QueueCheck(std::size_t index)
    {
        const FoundItem& item = m_found.Items[index];
        if (!m_kinds.Has(Kind(item.Type)) || item.Type == ItemType::File)
            return;
        m_checks.Queue(
            index, item.Type, Row(item.Type).Decoder,
            m_image.subspan(static_cast<std::size_t>(item.Start), static_cast<std::size_t>(item.FormatSize())));
    }

    // Complete until the decode check says otherwise.
    void SetStatusOf(FoundItem& item, ItemType type, const WalkResult& walk) const noexcept
    {
        if (walk.Verdict != WalkVerdict::Whole)
            SetStatus(item, ItemStatus::Truncated, StatusReason::Cut);
        else if (Kind(type) == ContentKind::Picture && !walk.HasImageData)
            SetStatus(item, ItemStatus::Damaged, StatusReason::NoImageData);
        else
            SetStatus(item, ItemStatus::Complete, StatusReason::None);
    }

    static void SetStatus(FoundItem& item, ItemStatus status, StatusReason reason) noexcept
    {
        item.Status = status;
        item.Reason = status == ItemStatus::Complete ? StatusReason::None : reason;
    }

    bool Listed(int64_t start) const { return !m_found.Items.empty() && m_found.Items.back().Start == start; }

    // Whether at lies in a listed item that owns it (not past the sure parts
    // of a truncated one).
    bool InsideCover(int64_t at)
    {
        if (m_cover < 0 || at >= Cover().End)
            return false;
        return m_coverSolid || Cover().Status != ItemStatus::Truncated || at < m_coverSureEnd;
    }

    // A truncated item that ran on past its cut ends where an entry's header
    // starts.
    void CutCoverAt(int64_t at)
    {
        if (m_cover >= 0 && !m_coverSolid && Cover().Status == ItemStatus::Truncated && at < Cover().End)
            Cover().End = static_cast<int32_t>(std::max<int64_t>(at, m_coverSureEnd));
    }

    FoundItem& Cover() { return m_found.Items[static_cast<std::size_t>(m_cover)]; }

    // Drops the items of kinds not asked for (listed only so that they cover
    // their bytes) and tells the front end the list.
    void ListItems()
    {
        std::vector<std::size_t> moved(m_found.Items.size());
        std::size_t kept = 0;
        for (std::size_t i = 0; i < m_found.Items.size(); ++i) {
            moved[i] = kept;
            if (!m_kinds.Has(Kind(m_found.Items[i].Type)))
                continue;
            if (kept != i)
                m_found.Items[kept] = std::move(m_found.Items[i]);
            ++kept;
        }
        m_found.Items.resize(kept);
        // Only items of the kinds asked for are checked: they keep their checks.
        m_checks.Renumber(moved);
        m_hooks.ItemsListed(m_found);
    }

    bool Progress(int64_t pos)
    {
        m_work = 0;
        if (m_hooks.MoveGauge)
            m_hooks.MoveGauge(static_cast<int32_t>(std::min(pos, m_size)));
        return !m_hooks.KeepGoing || m_hooks.KeepGoing();
    }

    std::span<const uint8_t> m_image;
    int64_t m_size;
    const ScanHooks& m_hooks;
    ContentFound m_found;
    const SoundDecodeCheck& m_soundCheck;
    ContentKinds m_kinds;
    FormatTable m_formats;
    // Whether m_formats is kFormats, whose leads the vector scan knows.
    bool m_ownTable;
    ContentCandidateCursor m_candidates;
    ArrivingImage m_arriving;
    // The decoders' checks of the items listed Complete.
    ItemChecks m_checks;
    // The listed item that reaches furthest, -1 before the first; the end of
    // the parts its walk is sure of; whether all its bytes are sure.
    int64_t m_cover = -1;
    int64_t m_coverSureEnd = 0;
    bool m_coverSolid = false;
    // Where erased flash starts in the pixels of a whole bitmap cover, -1 when
    // none: a whole item after it cuts the bitmap there.
    int64_t m_coverErasedAt = -1;
    int64_t m_iconBytes = 0;
    int64_t m_extraBudget;
    int64_t m_work = 0;
    // The entry whose data come next.
    std::optional<Entry> m_pending;
    // The names the listed File items carry.
    std::unordered_set<std::string> m_fileNames;
};

}  // namespace

std::optional<ContentFound> FindAllContent(std::span<const uint8_t> image, const ScanHooks& hooks,
                                           const SoundDecodeCheck& soundCheck, ContentKinds kinds, FormatTable formats)
{
    return ContentSearch(image, hooks, soundCheck, kinds, formats).Run();
}

std::optional<ContentFound> FindAllContentWhileLoading(LoadWatermark& arriving, const ScanHooks& hooks,
                                                       const SoundDecodeCheck& soundCheck, ContentKinds kinds)
{
    const LoadWatermarkReader reader(arriving);
    if (!reader.Block())
        return std::nullopt;
    return ContentSearch(*reader.Block(), hooks, soundCheck, kinds, kFormats, &arriving).Run();
}

}  // namespace kestrix
