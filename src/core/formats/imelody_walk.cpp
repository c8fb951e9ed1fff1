#include "imelody_walk.h"

#include "erased_text.h"
#include "imelody_score.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

namespace kestrix {
namespace {

constexpr std::string_view kBegin = "BEGIN:IMELODY";
constexpr std::string_view kEnd = "END:IMELODY";

// Whether bytes[at] is text: printable ASCII, a tab, or a Windows-1251 letter
// (80h..FFh), FFh ("я") unless erased flash starts there.
bool IsTextAt(std::span<const uint8_t> bytes, int64_t at) noexcept
{
    const uint8_t c = bytes[static_cast<std::size_t>(at)];
    return c == '\t' || (c >= 0x20 && c <= 0x7E) || (c >= 0x80 && c <= 0xFE) || (c == 0xFF && !ErasedTextAt(bytes, at));
}

bool IsNameChar(char c) noexcept
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-';
}

std::string_view LineAt(std::span<const uint8_t> bytes, int64_t start, int64_t end) noexcept
{
    return {reinterpret_cast<const char*>(bytes.data()) + start, static_cast<std::size_t>(end - start)};
}

// A property line "NAME:value".
bool IsPropertyLine(std::string_view line) noexcept
{
    const std::size_t colon = line.find(':');
    return colon != std::string_view::npos && colon > 0 &&
           std::all_of(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(colon), IsNameChar);
}

// A note's length in 1/192 whole notes, so that dots and triplets stay whole numbers.
int64_t NoteLength(char duration, char modifier) noexcept
{
    const int64_t base = int64_t{192} >> (duration - '0');
    switch (modifier) {
    case '.': return base * 3 / 2;
    case ':': return base * 7 / 4;
    case ';': return base * 2 / 3;
    default: return base;
    }
}

// The melody's length in 1/192 whole notes: every note letter or rest "r" with
// a duration digit after it (and its octave, sharp or flat marks before).
int64_t MelodyLength(std::string_view melody) noexcept
{
    int64_t length = 0;
    for (std::size_t i = 0; i < melody.size(); ++i) {
        const char c = melody[i];
        const bool note = (c >= 'a' && c <= 'g') || c == 'r';
        if (!note || i + 1 >= melody.size() || melody[i + 1] < '0' || melody[i + 1] > '5')
            continue;
        const char modifier = i + 2 < melody.size() ? melody[i + 2] : ' ';
        length += NoteLength(melody[i + 1], modifier);
        ++i;
    }
    return length;
}

}  // namespace

WalkResult WalkImelody(std::span<const uint8_t> bytes) noexcept
{
    const auto size = static_cast<int64_t>(bytes.size());
    const auto begin = static_cast<int64_t>(kBegin.size());
    if (size < begin || std::memcmp(bytes.data(), kBegin.data(), kBegin.size()) != 0)
        return {};
    const int64_t limit = std::min<int64_t>(size, kLongestImelody);
    WalkResult result;
    result.Channels = 1;
    result.Verdict = WalkVerdict::Truncated;
    int64_t p = begin;
    int64_t beat = 120;
    int64_t melody = 0;
    int lines = 0;
    int64_t accepted = 0;
    for (;;) {
        // p is at the end of a line's text: its line end comes.
        int64_t next = p;
        if (next < limit && bytes[static_cast<std::size_t>(next)] == '\r')
            ++next;
        if (next < limit && bytes[static_cast<std::size_t>(next)] == '\n')
            ++next;
        if (next == p)
            break;  // no line end
        accepted = p = next;
        int64_t end = p;
        while (end < limit && IsTextAt(bytes, end))
            ++end;
        const std::string_view line = LineAt(bytes, p, end);
        if (lines == 0 && !IsPropertyLine(line))
            return {};
        const bool lineEnds = end < limit && (bytes[static_cast<std::size_t>(end)] == '\r' ||
                                              bytes[static_cast<std::size_t>(end)] == '\n');
        if (line == kEnd) {
            result.Verdict = WalkVerdict::Whole;
            accepted = end;
            if (end < size && bytes[static_cast<std::size_t>(end)] == '\r')
                ++accepted;
            if (accepted < size && bytes[static_cast<std::size_t>(accepted)] == '\n')
                ++accepted;
            break;
        }
        if (!lineEnds) {
            if (lines == 0)
                return {};
            p = end;
            break;
        }
        if (line.starts_with("BEAT:")) {
            int64_t value = 0;
            for (const char c : line.substr(5))
                if (c >= '0' && c <= '9' && value < 1000)
                    value = value * 10 + (c - '0');
            if (value > 0)
                beat = value;
        } else if (line.starts_with("MELODY:")) {
            melody += MelodyLength(line.substr(7));
        }
        ++lines;
        p = end;
    }
    if (lines == 0 && result.Verdict != WalkVerdict::Whole)
        return {};
    result.End = static_cast<int32_t>(accepted);
    result.SureEnd = static_cast<int32_t>(std::min<int64_t>(accepted, begin));
    result.Examined = std::min(size, std::max(accepted, p) + 1);
    // A whole note is four beats: 192 parts of it last 4 * 60000 / beat ms.
    result.DurationMs = melody * 240000 / (192 * beat);
    // A melody that keeps its grammar plays its repeat blocks as often as they say.
    if (result.Verdict == WalkVerdict::Whole) {
        try {
            const ImelodyScore score = ReadImelody(bytes.first(static_cast<std::size_t>(accepted)));
            if (score.Valid)
                result.DurationMs = score.DurationMs();
        } catch (const std::bad_alloc&) {
        }
    }
    return result;
}

}  // namespace kestrix
