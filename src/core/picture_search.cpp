#include "picture_search.h"

#include "check_pool.h"
#include "file_entry_layout.h"
#include "format_table.h"
#include "picture_candidates.h"
#include "search_pacing.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

namespace kestrix {
namespace {

class PictureSearch {
public:
    PictureSearch(std::span<const uint8_t> image, const ScanHooks& hooks, const PictureDecodeCheck& check)
        : m_image(image), m_size(static_cast<int64_t>(image.size())), m_hooks(hooks), m_check(check),
          m_extraBudget(ExtraWalkBudget(m_size))
    {
    }

    std::optional<std::vector<FoundPicture>> Run()
    {
        if (m_hooks.ShowGauge)
            m_hooks.ShowGauge(static_cast<int32_t>(m_size));
        const bool finished = Scan() && CheckPictures();
        if (m_hooks.HideGauge)
            m_hooks.HideGauge();
        if (!finished)
            return std::nullopt;
        return std::move(m_rows);
    }

private:
    // False when the front end asked to stop.
    bool Scan()
    {
        // A candidate needs its second byte inside the image.
        const int64_t lastCandidate = m_size - 1;
        int64_t pos = 0;
        while (pos < lastCandidate) {
            const int64_t sliceEnd = std::min(lastCandidate, pos + kSearchSliceSize);
            const int64_t sliceStart = pos;
            while (pos < sliceEnd) {
                const int64_t candidate = NextPictureCandidate(m_image.data(), pos, sliceEnd);
                if (candidate < 0)
                    break;
                pos = Consider(candidate);
                if (m_work >= kSearchYieldInterval && !Progress(pos))
                    return false;
            }
            pos = std::max(pos, sliceEnd);
            m_work += pos - sliceStart;
            if (m_work >= kSearchYieldInterval && !Progress(pos))
                return false;
        }
        return true;
    }

    // Waits for the decode checks that ran beside the scan; false when the
    // front end asked to stop.
    bool CheckPictures()
    {
        if (!m_checks.Finish([this] { return Progress(m_size); }))
            return false;
        for (const auto& [index, ticket] : m_unchecked)
            m_rows[index].Status = m_checks.Verdict(ticket);
        return true;
    }

    bool Progress(int64_t pos)
    {
        m_work = 0;
        if (m_hooks.MoveGauge)
            m_hooks.MoveGauge(static_cast<int32_t>(std::min(pos, m_size)));
        return !m_hooks.KeepGoing || m_hooks.KeepGoing();
    }

    // Walks the candidate at start and lists it where it belongs; returns where
    // the search for candidates goes on.
    int64_t Consider(int64_t start)
    {
        const bool nested = m_cover >= 0 && start < Cover().End;
        if (nested) {
            // Whatever starts inside a whole picture, or inside the parts of a
            // truncated one that its walk is sure of, is part of it.
            if (Cover().Status != PictureStatus::Truncated)
                return Cover().End;
            if (start < m_coverSureEnd)
                return m_coverSureEnd;
            if (m_extraBudget <= 0)
                return Cover().End;
        }
        const PictureType type = *PictureCandidateKind(m_image.data(), start);
        const WalkResult walk =
            TraitsOf(type).Walk(m_image.subspan(static_cast<std::size_t>(start)), m_extraBudget > 0);
        m_work += walk.Examined;
        m_extraBudget -= nested ? walk.Examined : std::max<int64_t>(0, walk.Examined - walk.End);
        if (walk.Verdict == WalkVerdict::NotPicture)
            return start + 1;
        // A truncated walk that ran on past its cut has met this picture.
        if (nested)
            Cover().End = static_cast<int32_t>(start);
        m_rows.push_back(MakeRow(type, start, walk));
        m_cover = static_cast<int32_t>(m_rows.size() - 1);
        if (m_rows.back().Status == PictureStatus::Complete && m_check) {
            const FoundPicture& added = m_rows.back();
            const auto bytes =
                m_image.subspan(static_cast<std::size_t>(added.Start), static_cast<std::size_t>(added.Size()));
            m_unchecked.emplace_back(m_rows.size() - 1,
                                     m_checks.Add([this, type, bytes](const std::atomic<bool>& cancel) {
                                         return m_check(type, bytes, cancel);
                                     }));
        }
        m_coverSureEnd = start + walk.SureEnd;
        return walk.Verdict == WalkVerdict::Whole ? start + walk.End : start + 1;
    }

    FoundPicture& Cover() { return m_rows[static_cast<std::size_t>(m_cover)]; }

    FoundPicture MakeRow(PictureType type, int64_t start, const WalkResult& walk) const
    {
        FoundPicture row;
        row.Type = type;
        row.Start = static_cast<int32_t>(start);
        row.End = static_cast<int32_t>(start + walk.End);
        row.Width = walk.Width;
        row.Height = walk.Height;
        row.Frames = walk.Frames;
        row.Status = StatusOf(walk);
        row.EntryName = EntryNameAt(m_image, start);
        return row;
    }

    // Complete until the decode check says otherwise (CheckPictures).
    static PictureStatus StatusOf(const WalkResult& walk) noexcept
    {
        if (walk.Verdict != WalkVerdict::Whole)
            return PictureStatus::Truncated;
        return walk.HasImageData ? PictureStatus::Complete : PictureStatus::Damaged;
    }

    std::span<const uint8_t> m_image;
    int64_t m_size;
    const ScanHooks& m_hooks;
    const PictureDecodeCheck& m_check;
    // The decode checks of the pictures listed Complete, each with its row.
    CheckPool m_checks;
    std::vector<FoundPicture> m_rows;
    std::vector<std::pair<std::size_t, std::size_t>> m_unchecked;
    // The listed row that reaches furthest, -1 before the first, and the end of
    // the parts its walk is sure of.
    int32_t m_cover = -1;
    int64_t m_coverSureEnd = 0;
    int64_t m_extraBudget;
    int64_t m_work = 0;
};

}  // namespace

const char* PictureTypeName(PictureType type) noexcept
{
    return TraitsOf(type).Name.data();
}

const char* PictureStatusName(PictureStatus status) noexcept
{
    switch (status) {
    case PictureStatus::Complete: return "complete";
    case PictureStatus::Truncated: return "truncated";
    case PictureStatus::Damaged: return "damaged";
    case PictureStatus::Unchecked: return "unchecked";
    }
    return "";
}

std::optional<std::vector<FoundPicture>> FindAllPictures(std::span<const uint8_t> image, const ScanHooks& hooks)
{
    return PictureSearch(image, hooks, hooks.DecodeCheck).Run();
}

}  // namespace kestrix
