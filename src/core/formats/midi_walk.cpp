#include "midi_walk.h"

#include <algorithm>
#include <vector>

namespace kestrix {
namespace {

constexpr int64_t kHeaderEnd = 14;
constexpr int64_t kChunkHeader = 8;
constexpr uint32_t kDefaultTempo = 500000;  // microseconds per quarter note
// Chunks of other types a file may hold before its tracks are all found: real
// files carry one or two (XFIH, XFKM). Without the bound a chain of them would
// be walked again from every header in it.
constexpr int32_t kMostForeignChunks = 16;
// Playing times are held below this (about 292 years), whatever the tempo and
// deltas say.
constexpr long double kLongestMicros = 9.2e18L;

bool HasType(std::span<const uint8_t> bytes, int64_t at, const char* type) noexcept
{
    for (int64_t i = 0; i < 4; ++i)
        if (bytes[static_cast<std::size_t>(at + i)] != static_cast<uint8_t>(type[i]))
            return false;
    return true;
}

struct TempoChange {
    int64_t Tick = 0;
    uint32_t Tempo = kDefaultTempo;
};

// Reads one variable-length quantity (at most 4 bytes) at p inside [p, end);
// false when it does not end in time.
bool ReadQuantity(std::span<const uint8_t> bytes, int64_t& p, int64_t end, uint32_t& value) noexcept
{
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (p >= end)
            return false;
        const uint8_t b = bytes[static_cast<std::size_t>(p++)];
        value = value << 7 | (b & 0x7Fu);
        if ((b & 0x80) == 0)
            return true;
    }
    return false;
}

// The events of one track's data [p, end): its length in ticks, with every
// tempo change appended to tempos; false when the events do not parse.
bool ReadTrack(std::span<const uint8_t> bytes, int64_t p, int64_t end, int64_t& ticks, std::vector<TempoChange>& tempos,
               int64_t& notes)
{
    ticks = 0;
    uint8_t status = 0;
    while (p < end) {
        uint32_t delta = 0;
        if (!ReadQuantity(bytes, p, end, delta) || p >= end)
            return false;
        ticks += delta;
        uint8_t b = bytes[static_cast<std::size_t>(p)];
        if (b >= 0x80) {
            ++p;
            status = b;
        } else if (status == 0 || status >= 0xF0) {
            return false;  // running status needs a channel event before it
        }
        if (status == 0xFF) {
            if (p >= end)
                return false;
            const uint8_t type = bytes[static_cast<std::size_t>(p++)];
            uint32_t length = 0;
            if (!ReadQuantity(bytes, p, end, length) || length > end - p)
                return false;
            if (type == 0x51 && length == 3)
                tempos.push_back(
                    {ticks, static_cast<uint32_t>(bytes[static_cast<std::size_t>(p)]) << 16 | ReadBe16(bytes, p + 1)});
            p += length;
            if (type == 0x2F)
                return p == end;
            status = 0;
        } else if (status == 0xF0 || status == 0xF7) {
            uint32_t length = 0;
            if (!ReadQuantity(bytes, p, end, length) || length > end - p)
                return false;
            p += length;
            status = 0;
        } else if (status >= 0xF0) {
            return false;
        } else {
            const int64_t data = (status & 0xF0) == 0xC0 || (status & 0xF0) == 0xD0 ? 1 : 2;
            if (p + data > end)
                return false;
            if ((status & 0xF0) == 0x90 && bytes[static_cast<std::size_t>(p + 1)] != 0)
                ++notes;
            p += data;
        }
    }
    return false;
}

// Milliseconds from tick 0 to ticks through the tempo changes (sorted by tick).
int64_t PlayingTime(int64_t ticks, const std::vector<TempoChange>& tempos, int32_t division)
{
    if (division < 0) {
        // SMPTE: frames per second (negative high byte) times ticks per frame.
        const int64_t fps = -static_cast<int8_t>(static_cast<uint16_t>(division) >> 8);
        const int64_t perFrame = division & 0xFF;
        if (fps <= 0 || perFrame == 0)
            return 0;
        return static_cast<int64_t>(
            std::min(kLongestMicros, static_cast<long double>(ticks) * 1000 / (fps * perFrame)));
    }
    long double micros = 0;
    int64_t at = 0;
    uint32_t tempo = kDefaultTempo;
    for (const TempoChange& change : tempos) {
        if (change.Tick >= ticks)
            break;
        micros += static_cast<long double>(change.Tick - at) * tempo / division;
        at = change.Tick;
        tempo = change.Tempo;
    }
    micros += static_cast<long double>(ticks - at) * tempo / division;
    return static_cast<int64_t>(std::min(kLongestMicros, micros) / 1000);
}

}  // namespace

WalkResult WalkMidi(std::span<const uint8_t> bytes) noexcept
{
    try {
        return SummarizeMidi(bytes).Walk;
    } catch (...) {
        // Only the list of tempo changes allocates: a file of millions of them
        // that cannot be held is no item.
        return {};
    }
}

MidiSummary SummarizeMidi(std::span<const uint8_t> bytes)
{
    MidiSummary summary;
    const auto size = static_cast<int64_t>(bytes.size());
    summary.Walk.Examined = std::min<int64_t>(size, kHeaderEnd + kChunkHeader);
    if (size < kHeaderEnd || !HasType(bytes, 0, "MThd") || ReadBe32(bytes, 4) != 6)
        return summary;
    const uint32_t format = ReadBe16(bytes, 8);
    const uint32_t tracks = ReadBe16(bytes, 10);
    const auto division = static_cast<int32_t>(static_cast<int16_t>(ReadBe16(bytes, 12)));
    if (format > 2 || tracks == 0 || (format == 0 && tracks != 1) || division == 0)
        return summary;
    // The first chunk must look like one, or the header is a chance hit; erased
    // flash there cut the file after its header.
    if (size >= kHeaderEnd + kChunkHeader && !IsPrintableTag(bytes, kHeaderEnd) &&
        !IsRunOf(bytes, kHeaderEnd, kChunkHeader, 0xFF) && !IsRunOf(bytes, kHeaderEnd, kChunkHeader, 0x00))
        return summary;

    WalkResult& result = summary.Walk;
    result.Tracks = static_cast<int32_t>(tracks);
    result.Verdict = WalkVerdict::Truncated;
    int64_t p = kHeaderEnd;
    int64_t examined = p;
    uint32_t found = 0;
    int32_t foreign = 0;
    bool eventsParse = true;
    int64_t longest = 0;
    std::vector<TempoChange> tempos;
    while (found < tracks) {
        if (p + kChunkHeader > size) {
            examined = size;
            break;
        }
        examined = p + kChunkHeader;
        if (!IsPrintableTag(bytes, p))
            break;
        const int64_t end = p + kChunkHeader + ReadBe32(bytes, p + 4);
        if (end > size)
            break;
        if (HasType(bytes, p, "MTrk")) {
            examined = end;
            if (end - p < kChunkHeader + 3 || bytes[static_cast<std::size_t>(end - 3)] != 0xFF ||
                bytes[static_cast<std::size_t>(end - 2)] != 0x2F || bytes[static_cast<std::size_t>(end - 1)] != 0x00)
                break;
            int64_t ticks = 0;
            if (eventsParse && ReadTrack(bytes, p + kChunkHeader, end, ticks, tempos, summary.Notes))
                longest = std::max(longest, ticks);
            else
                eventsParse = false;
            ++found;
        } else if (++foreign > kMostForeignChunks) {
            if (found == 0)
                return MidiSummary{.Walk = {.Examined = examined}};
            break;
        }
        p = end;
    }
    if (found == tracks) {
        result.Verdict = WalkVerdict::Whole;
        if (eventsParse) {
            std::stable_sort(tempos.begin(), tempos.end(),
                             [](const TempoChange& a, const TempoChange& b) { return a.Tick < b.Tick; });
            result.DurationMs = PlayingTime(longest, tempos, division);
        }
    }
    summary.EventsParse = eventsParse && found == tracks;
    result.End = static_cast<int32_t>(p);
    result.SureEnd = static_cast<int32_t>(kHeaderEnd);
    result.Examined = std::min(size, std::max(examined, p));
    return summary;
}

}  // namespace kestrix
