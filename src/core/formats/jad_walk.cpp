#include "jad_walk.h"

#include "erased_text.h"
#include "jad_grammar.h"
#include "midlet_text.h"

#include <algorithm>
#include <string_view>

namespace kestrix {
namespace {

constexpr int64_t kLongestKey = 128;
constexpr int64_t kLongestValue = 4096;
constexpr int64_t kLargestJarSize = 0x7FFFFFFF;
constexpr uint8_t kByteOrderMark[3] = {0xEF, 0xBB, 0xBF};
constexpr std::string_view kMidletPrefix = "MIDlet-";

bool IsText(uint8_t b) noexcept
{
    return (b >= 0x20 && b != 0x7F) || b == '\t';
}

bool IsKeyByte(uint8_t b) noexcept
{
    return (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') || (b >= '0' && b <= '9') || b == '-' || b == '_' ||
           b == '.';
}

struct AttributeLine {
    bool Valid = false;
    int64_t KeyLength = 0;
    int64_t ValueAt = 0;
    int64_t ValueLength = 0;
    // One past the line end, or one past the value when no line end follows it;
    // for a line that is no attribute line, where the reading stopped.
    int64_t End = 0;
    // False when the line stopped at a byte that is no text or at the bytes' end.
    bool HasLineEnd = false;
};

AttributeLine ReadLine(std::span<const uint8_t> bytes, int64_t at) noexcept
{
    const auto size = static_cast<int64_t>(bytes.size());
    const auto byte = [&](int64_t i) { return bytes[static_cast<std::size_t>(i)]; };
    AttributeLine line;
    int64_t p = at;
    while (p < size && p - at < kLongestKey && IsKeyByte(byte(p)))
        ++p;
    line.KeyLength = p - at;
    if (line.KeyLength == 0 || p >= size || byte(p) != ':') {
        line.End = p;
        return line;
    }
    ++p;
    while (p < size && (byte(p) == ' ' || byte(p) == '\t'))
        ++p;
    line.ValueAt = p;
    while (p < size && IsText(byte(p)) && !(byte(p) == 0xFF && ErasedTextAt(bytes, p)) &&
           p - line.ValueAt <= kLongestValue)
        ++p;
    if (p - line.ValueAt > kLongestValue) {
        line.End = p;
        return line;
    }
    line.ValueLength = p - line.ValueAt;
    while (line.ValueLength > 0 &&
           (byte(line.ValueAt + line.ValueLength - 1) == ' ' || byte(line.ValueAt + line.ValueLength - 1) == '\t'))
        --line.ValueLength;
    line.Valid = true;
    if (p < size && byte(p) == '\r') {
        ++p;
        line.HasLineEnd = true;
    }
    if (p < size && byte(p) == '\n') {
        ++p;
        line.HasLineEnd = true;
    }
    line.End = p;
    return line;
}

bool SameKey(std::string_view a, std::string_view b) noexcept
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

int64_t ParseJarSize(std::string_view text) noexcept
{
    if (text.empty() || text.size() > 10)
        return -1;
    int64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value <= kLargestJarSize ? value : -1;
}

// The start of the line holding at: after the last line end or byte that is no
// text before it, at most limit.
int64_t LineStart(std::span<const uint8_t> bytes, int64_t at, int64_t limit) noexcept
{
    while (at > limit) {
        const uint8_t b = bytes[static_cast<std::size_t>(at - 1)];
        if (b == '\n' || b == '\r' || !IsText(b))
            break;
        --at;
    }
    return at;
}

}  // namespace

JadWalk WalkJad(std::span<const uint8_t> bytes)
{
    const auto size = static_cast<int64_t>(std::min<std::size_t>(bytes.size(), 0x7FFFFFFF));
    const auto text = [&](int64_t at, int64_t count) {
        return std::string_view(reinterpret_cast<const char*>(bytes.data()) + at, static_cast<std::size_t>(count));
    };
    int64_t p = 0;
    if (size >= 3 && std::equal(kByteOrderMark, kByteOrderMark + 3, bytes.begin()))
        p = 3;
    JadWalk result;
    JadFacts& facts = result.Facts;
    int64_t examined = p;
    for (;;) {
        const AttributeLine line = ReadLine(bytes.first(static_cast<std::size_t>(size)), p);
        examined = std::max(examined, std::min(size, line.End + 1));
        if (!line.Valid)
            break;
        if (line.End > kLongestJad) {
            result.Walk.Examined = examined;
            return result;
        }
        const std::string_view key = text(p, line.KeyLength);
        const std::string_view value = text(line.ValueAt, line.ValueLength);
        if (SameKey(key, "MIDlet-Name"))
            facts.Name = MidletText(value);
        else if (SameKey(key, "MIDlet-Vendor"))
            facts.Vendor = MidletText(value);
        else if (SameKey(key, "MIDlet-Version"))
            facts.Version = MidletText(value);
        else if (SameKey(key, "MIDlet-Jar-URL"))
            facts.JarUrl = value;
        else if (SameKey(key, "MIDlet-Jar-Size"))
            facts.JarSize = ParseJarSize(value);
        else if (IsMidletEntry(key, value))
            facts.HasMidlet = true;
        p = line.End;
        if (!line.HasLineEnd)
            break;
    }
    const int named = static_cast<int>(!facts.Name.empty()) + static_cast<int>(!facts.Vendor.empty()) +
                      static_cast<int>(!facts.Version.empty()) + static_cast<int>(!facts.JarUrl.empty()) +
                      static_cast<int>(facts.JarSize >= 0);
    // A manifest's main section names the suite too, but never its archive.
    if (named < 2 || (facts.JarUrl.empty() && facts.JarSize < 0)) {
        result.Facts = {};
        result.Walk.Examined = examined;
        return result;
    }
    result.Walk.Verdict = named == 5 && facts.HasMidlet ? WalkVerdict::Whole : WalkVerdict::Truncated;
    result.Walk.End = static_cast<int32_t>(p);
    result.Walk.SureEnd = result.Walk.End;
    result.Walk.Examined = std::max<int64_t>(examined, p);
    return result;
}

namespace {

// JadRunStart; with stopAtMidlet, stops at the first earlier line of the run
// that starts with "MIDlet-" and returns -1.
int64_t RunStart(std::span<const uint8_t> bytes, int64_t at, bool stopAtMidlet) noexcept
{
    const int64_t limit = std::max<int64_t>(0, at - kLongestJadLookBack);
    int64_t start = LineStart(bytes, at, limit);
    while (start > limit) {
        const uint8_t before = bytes[static_cast<std::size_t>(start - 1)];
        if (before != '\n' && before != '\r')
            break;
        int64_t previousEnd = start - 1;
        if (before == '\n' && previousEnd > limit && bytes[static_cast<std::size_t>(previousEnd - 1)] == '\r')
            --previousEnd;
        int64_t previous = LineStart(bytes, previousEnd, limit);
        if (previousEnd - previous >= 3 &&
            std::equal(kByteOrderMark, kByteOrderMark + 3, bytes.begin() + static_cast<std::ptrdiff_t>(previous)))
            previous += 3;
        const AttributeLine line = ReadLine(bytes, previous);
        if (!line.Valid || line.End != start || previous == previousEnd)
            break;
        if (stopAtMidlet && std::equal(kMidletPrefix.begin(), kMidletPrefix.end(),
                                       bytes.begin() + static_cast<std::ptrdiff_t>(previous)))
            return -1;
        start = previous;
    }
    if (start >= 3 &&
        std::equal(kByteOrderMark, kByteOrderMark + 3, bytes.begin() + static_cast<std::ptrdiff_t>(start - 3)))
        start -= 3;
    return start;
}

}  // namespace

int64_t JadRunStart(std::span<const uint8_t> bytes, int64_t at) noexcept
{
    return RunStart(bytes, at, false);
}

bool IsJadCandidate(std::span<const uint8_t> bytes, int64_t at) noexcept
{
    const auto size = static_cast<int64_t>(bytes.size());
    if (at < 0 || at + static_cast<int64_t>(kMidletPrefix.size()) > size ||
        !std::equal(kMidletPrefix.begin(), kMidletPrefix.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at)))
        return false;
    if (at == 0)
        return true;
    const uint8_t before = bytes[static_cast<std::size_t>(at - 1)];
    if (at >= 3 && std::equal(kByteOrderMark, kByteOrderMark + 3, bytes.begin() + static_cast<std::ptrdiff_t>(at - 3)))
        return true;
    if (before != '\n' && before != '\r')
        return before == 0xFF || !IsText(before);
    return RunStart(bytes, at, true) >= 0;
}

}  // namespace kestrix
