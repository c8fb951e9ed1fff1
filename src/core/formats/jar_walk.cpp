#include "jar_walk.h"

#include "midlet_text.h"
#include "png_walk.h"

#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <string_view>

namespace kestrix {
namespace {

constexpr uint32_t kLocalSignature = 0x04034B50;
constexpr uint32_t kCentralSignature = 0x02014B50;
constexpr uint32_t kEndSignature = 0x06054B50;
constexpr uint32_t kDescriptorSignature = 0x08074B50;
constexpr int64_t kLocalHeaderSize = 30;
constexpr int64_t kCentralHeaderSize = 46;
constexpr int64_t kEndRecordSize = 22;
constexpr uint32_t kLongestName = 4096;
constexpr uint32_t kHighestVersion = 63;
// Flag bits an archive of plain entries may carry: compression options (1, 2),
// data descriptor (3), enhanced deflate (4), patched data (5), UTF-8 names (11).
constexpr uint32_t kAllowedFlags = 0x083E;
constexpr uint32_t kDescriptorFlag = 0x0008;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr std::size_t kLargestManifest = 64 * 1024;
// Deflate reaches about 1000:1 on runs of one byte; real entries of a phone's
// applications stay far below 32:1. The bound keeps a hostile stream from
// costing more than a constant times its bytes.
constexpr uint64_t kLargestRatio = 32;
constexpr uint64_t kRatioSlack = 1 << 20;
constexpr int64_t kInflateChunk = 64 * 1024;

struct LocalEntry {
    int64_t Header = 0;
    int64_t NameAt = 0;
    uint32_t NameLength = 0;
    int64_t DataAt = 0;
    int64_t DataSize = 0;
    uint32_t Crc = 0;
    // The uncompressed size the header or the data descriptor states.
    int64_t Uncompressed = 0;
    uint16_t Method = 0;
    // The walk already inflated the data to their end.
    bool Inflated = false;
    int64_t End = 0;
};

struct InflateResult {
    bool Ended = false;
    int64_t Consumed = 0;
};

class Walker {
public:
    Walker(std::span<const uint8_t> bytes, bool thorough)
        : m_bytes(bytes), m_size(static_cast<int64_t>(bytes.size())), m_thorough(thorough)
    {
    }

    int64_t Examined() const { return m_examined; }

    void Touch(int64_t end) { m_examined = std::max(m_examined, std::min(end, m_size)); }

    bool Has(int64_t at, int64_t count)
    {
        Touch(at + count);
        return at >= 0 && count >= 0 && at + count <= m_size;
    }

    uint32_t Le16(int64_t at) const { return ReadLe16(m_bytes, at); }
    uint32_t Le32(int64_t at) const { return ReadLe32(m_bytes, at); }

    bool SignatureAt(int64_t at, uint32_t signature) { return Has(at, 4) && Le32(at) == signature; }

    std::string_view Text(int64_t at, int64_t count) const
    {
        return {reinterpret_cast<const char*>(m_bytes.data()) + at, static_cast<std::size_t>(count)};
    }

    // Inflates the raw deflate stream at at, fed no further than limit, into out
    // (when not null, up to outLimit bytes). Feeding stops once a run of erased
    // flash is complete: a stream still open there was cut.
    InflateResult Inflate(int64_t at, int64_t limit, std::vector<uint8_t>* out, std::size_t outLimit)
    {
        z_stream stream{};
        if (inflateInit2(&stream, -MAX_WBITS) != Z_OK)
            return {};
        std::array<uint8_t, 32 * 1024> scratch;
        int64_t fed = at;
        int32_t erased = 0;
        bool lastChunk = false;
        uint64_t produced = 0;
        int code = Z_OK;
        for (;;) {
            if (stream.avail_in == 0) {
                if (lastChunk || fed >= limit)
                    break;
                int64_t chunkEnd = std::min(fed + kInflateChunk, limit);
                for (int64_t i = fed; i < chunkEnd; ++i) {
                    erased = m_bytes[static_cast<std::size_t>(i)] == 0xFF ? erased + 1 : 0;
                    if (erased == kErasedRunLength) {
                        chunkEnd = i + 1;
                        lastChunk = true;
                        break;
                    }
                }
                stream.next_in = const_cast<Bytef*>(m_bytes.data() + fed);
                stream.avail_in = static_cast<uInt>(chunkEnd - fed);
                fed = chunkEnd;
                Touch(fed);
            }
            stream.next_out = scratch.data();
            stream.avail_out = static_cast<uInt>(scratch.size());
            code = inflate(&stream, Z_NO_FLUSH);
            const std::size_t got = scratch.size() - stream.avail_out;
            produced += got;
            if (out != nullptr) {
                if (out->size() + got > outLimit) {
                    code = Z_DATA_ERROR;
                    break;
                }
                out->insert(out->end(), scratch.begin(), scratch.begin() + static_cast<std::ptrdiff_t>(got));
            }
            if (code == Z_STREAM_END)
                break;
            if ((code != Z_OK && code != Z_BUF_ERROR) || (code == Z_BUF_ERROR && stream.avail_in != 0))
                break;
            const auto consumed = static_cast<uint64_t>(fed - at - static_cast<int64_t>(stream.avail_in));
            if (produced > consumed * kLargestRatio + kRatioSlack)
                break;
        }
        const int64_t consumed = fed - at - static_cast<int64_t>(stream.avail_in);
        inflateEnd(&stream);
        return {code == Z_STREAM_END, consumed};
    }

    // Whether [from, to) holds a local or central header's signature: an extra
    // field never does, while headers whose extra fields step over the headers
    // after them (to share one stream of data between all of them) do.
    bool HoldsHeaderSignature(int64_t from, int64_t to)
    {
        for (int64_t q = from; q + 4 <= to; ++q) {
            const void* hit = std::memchr(m_bytes.data() + q, 0x50, static_cast<std::size_t>(to - 3 - q));
            if (hit == nullptr)
                break;
            q = static_cast<const uint8_t*>(hit) - m_bytes.data();
            if (Le32(q) == kLocalSignature || Le32(q) == kCentralSignature) {
                Touch(q + 4);
                return true;
            }
        }
        Touch(to);
        return false;
    }

    // The local entry whose header is at at, walked to the end of its data (and
    // data descriptor); std::nullopt when its header is no sound local header
    // or its data do not end inside the bytes.
    std::optional<LocalEntry> ReadLocal(int64_t at)
    {
        if (!SignatureAt(at, kLocalSignature) || !Has(at, kLocalHeaderSize))
            return std::nullopt;
        const uint32_t version = Le16(at + 4);
        const uint32_t flags = Le16(at + 6);
        const auto method = static_cast<uint16_t>(Le16(at + 8));
        const uint32_t date = Le16(at + 12);
        const uint32_t month = date >> 5 & 0x0F;
        const uint32_t day = date & 0x1F;
        if (version > kHighestVersion || (flags & ~kAllowedFlags) != 0 || (method != kStored && method != kDeflated) ||
            (date != 0 && (month < 1 || month > 12 || day < 1)))
            return std::nullopt;
        LocalEntry entry;
        entry.Header = at;
        entry.Method = method;
        entry.Crc = Le32(at + 14);
        const uint32_t compressed = Le32(at + 18);
        const uint32_t uncompressed = Le32(at + 22);
        entry.NameLength = Le16(at + 26);
        entry.NameAt = at + kLocalHeaderSize;
        entry.DataAt = entry.NameAt + entry.NameLength + Le16(at + 28);
        if (entry.NameLength == 0 || entry.NameLength > kLongestName || !Has(entry.NameAt, entry.NameLength) ||
            entry.DataAt > m_size)
            return std::nullopt;
        for (const char c : Text(entry.NameAt, entry.NameLength))
            if (static_cast<uint8_t>(c) < 0x20 || c == 0x7F)
                return std::nullopt;
        if (HoldsHeaderSignature(entry.NameAt + entry.NameLength, entry.DataAt))
            return std::nullopt;
        if (!m_thorough && (flags & kDescriptorFlag) != 0 && (method == kDeflated || compressed == 0))
            return std::nullopt;
        if ((flags & kDescriptorFlag) == 0) {
            if (compressed == 0xFFFFFFFF || (method == kStored && compressed != uncompressed) ||
                !Has(entry.DataAt, compressed))
                return std::nullopt;
            entry.DataSize = compressed;
            entry.Uncompressed = uncompressed;
            entry.End = entry.DataAt + compressed;
            return entry;
        }
        if (method == kDeflated) {
            // Java's jar tool signs its descriptors: the first one stating the
            // distance to it ends the data, without inflating them. Without
            // one the stream's own end decides.
            if (const std::optional<int64_t> described = FindDescriptor(entry.DataAt, false)) {
                entry.DataSize = *described;
            } else {
                const InflateResult inflated = Inflate(entry.DataAt, m_size, nullptr, 0);
                if (!inflated.Ended)
                    return std::nullopt;
                entry.DataSize = inflated.Consumed;
                entry.Inflated = true;
            }
        } else if (compressed != 0) {
            if (!Has(entry.DataAt, compressed))
                return std::nullopt;
            entry.DataSize = compressed;
        } else {
            const std::optional<int64_t> stored = FindDescriptor(entry.DataAt, true);
            if (!stored)
                return std::nullopt;
            entry.DataSize = *stored;
        }
        return ReadDescriptor(entry);
    }

    // The data size of an entry of unknown size: the distance to the first
    // signed data descriptor whose compressed size (and for stored data its
    // uncompressed size too) equals it. The search gives up at a local or
    // central header: otherwise every false local header in a row of them
    // would search the rest of the bytes.
    std::optional<int64_t> FindDescriptor(int64_t dataAt, bool stored)
    {
        int32_t erased = 0;
        for (int64_t q = dataAt; q + 4 <= m_size; ++q) {
            // Deflated data, like their stream, end at erased flash.
            erased = m_bytes[static_cast<std::size_t>(q)] == 0xFF ? erased + 1 : 0;
            if (!stored && erased == kErasedRunLength) {
                Touch(q + 1);
                return std::nullopt;
            }
            if (m_bytes[static_cast<std::size_t>(q)] != 0x50)
                continue;
            const uint32_t signature = Le32(q);
            const int64_t distance = q - dataAt;
            if (signature == kDescriptorSignature && q + 16 <= m_size && Le32(q + 8) == distance &&
                (!stored || Le32(q + 12) == distance)) {
                Touch(q + 16);
                return distance;
            }
            if (signature == kLocalSignature || signature == kCentralSignature) {
                Touch(q + 4);
                return std::nullopt;
            }
        }
        Touch(m_size);
        return std::nullopt;
    }

    std::optional<LocalEntry> ReadDescriptor(LocalEntry entry)
    {
        int64_t d = entry.DataAt + entry.DataSize;
        if (SignatureAt(d, kDescriptorSignature))
            d += 4;
        if (!Has(d, 12) || Le32(d + 4) != entry.DataSize ||
            (entry.Method == kStored && Le32(d + 8) != static_cast<uint32_t>(entry.DataSize)))
            return std::nullopt;
        entry.Crc = Le32(d);
        entry.Uncompressed = Le32(d + 8);
        entry.End = d + 12;
        return entry;
    }

    // Whether the entry's data check out on their own: stored data against the
    // CRC, deflated data by a stream ending exactly at their end.
    bool DataCheck(const LocalEntry& entry)
    {
        if (entry.Inflated)
            return true;
        if (entry.Method == kStored)
            return Crc32(m_bytes.subspan(static_cast<std::size_t>(entry.DataAt),
                                         static_cast<std::size_t>(entry.DataSize))) == entry.Crc;
        const InflateResult inflated = Inflate(entry.DataAt, entry.DataAt + entry.DataSize, nullptr, 0);
        return inflated.Ended && inflated.Consumed == entry.DataSize;
    }

    // The uncompressed data of a walked entry, or std::nullopt when they are
    // longer than limit or do not inflate.
    std::optional<std::vector<uint8_t>> Contents(const LocalEntry& entry, std::size_t limit)
    {
        if (entry.Uncompressed > static_cast<int64_t>(limit))
            return std::nullopt;
        if (entry.Method == kStored) {
            if (entry.DataSize > static_cast<int64_t>(limit))
                return std::nullopt;
            const auto begin = m_bytes.begin() + entry.DataAt;
            return std::vector<uint8_t>(begin, begin + entry.DataSize);
        }
        std::vector<uint8_t> out;
        const InflateResult inflated = Inflate(entry.DataAt, entry.DataAt + entry.DataSize, &out, limit);
        if (!inflated.Ended)
            return std::nullopt;
        return out;
    }

private:
    std::span<const uint8_t> m_bytes;
    int64_t m_size;
    bool m_thorough;
    int64_t m_examined = 0;
};

bool SameName(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

// The main section of a manifest: "Name: value" lines up to the first empty
// line, a line starting with one space continuing the one before.
void ReadManifest(std::string_view text, MidletFacts& facts)
{
    if (text.substr(0, 3) == "\xEF\xBB\xBF")
        text.remove_prefix(3);
    std::string midlet1;
    std::string* value = nullptr;
    std::string ignored;
    while (!text.empty()) {
        const std::size_t lineEnd = text.find_first_of("\r\n");
        const std::string_view line = text.substr(0, lineEnd);
        text.remove_prefix(lineEnd == std::string_view::npos ? text.size() : lineEnd);
        if (text.substr(0, 2) == "\r\n")
            text.remove_prefix(2);
        else if (!text.empty())
            text.remove_prefix(1);
        if (line.empty())
            break;
        if (line.front() == ' ') {
            if (value != nullptr)
                value->append(line.substr(1));
            continue;
        }
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            value = nullptr;
            continue;
        }
        const std::string_view key = line.substr(0, colon);
        value = SameName(key, "MIDlet-Name")      ? &facts.Name
                : SameName(key, "MIDlet-Vendor")  ? &facts.Vendor
                : SameName(key, "MIDlet-Version") ? &facts.Version
                : SameName(key, "MIDlet-Icon")    ? &facts.IconPath
                : SameName(key, "MIDlet-1")       ? &midlet1
                                                  : &ignored;
        value->assign(line.substr(colon + 1));
    }
    for (std::string* field : {&facts.Name, &facts.Vendor, &facts.Version})
        *field = MidletText(Trimmed(*field));
    facts.IconPath.assign(Trimmed(facts.IconPath));
    if (facts.IconPath.empty()) {
        const std::size_t first = midlet1.find(',');
        if (first != std::string::npos) {
            const std::size_t second = midlet1.find(',', first + 1);
            facts.IconPath.assign(Trimmed(std::string_view(midlet1).substr(
                first + 1, second == std::string::npos ? std::string::npos : second - first - 1)));
        }
    }
}

void ReadFacts(Walker& walker, const std::vector<LocalEntry>& entries, std::size_t count, MidletFacts& facts)
{
    const auto named = [&](std::string_view name) -> const LocalEntry* {
        for (std::size_t i = 0; i < count; ++i)
            if (SameName(walker.Text(entries[i].NameAt, entries[i].NameLength), name))
                return &entries[i];
        return nullptr;
    };
    const LocalEntry* manifest = named("META-INF/MANIFEST.MF");
    if (manifest == nullptr)
        return;
    const auto text = walker.Contents(*manifest, kLargestManifest);
    if (!text)
        return;
    facts.HasManifest = true;
    ReadManifest({reinterpret_cast<const char*>(text->data()), text->size()}, facts);
    std::string_view iconName = facts.IconPath;
    if (!iconName.empty() && iconName.front() == '/')
        iconName.remove_prefix(1);
    if (iconName.empty())
        return;
    for (std::size_t i = 0; i < count; ++i)
        if (walker.Text(entries[i].NameAt, entries[i].NameLength) == iconName) {
            if (auto icon = walker.Contents(entries[i], kLargestJarIcon))
                facts.Icon = std::move(*icon);
            return;
        }
}

// Where the central directory at cd ends in a sound end record, the directory
// naming every walked entry once; that record's end, or 0. base receives the
// archive start the record's own offsets point to (-1 when the directory's
// headers or the record are not sound).
int64_t CheckDirectory(Walker& walker, const std::vector<LocalEntry>& entries, int64_t cd, int64_t& base)
{
    base = -1;
    std::vector<bool> named(entries.size(), false);
    bool allNamed = true;
    int64_t count = 0;
    int64_t q = cd;
    while (walker.SignatureAt(q, kCentralSignature) && walker.Has(q, kCentralHeaderSize)) {
        const uint32_t nameLength = walker.Le16(q + 28);
        const int64_t next = q + kCentralHeaderSize + nameLength + walker.Le16(q + 30) + walker.Le16(q + 32);
        if (!walker.Has(q, next - q))
            return 0;
        const int64_t local = walker.Le32(q + 42);
        const auto found = std::lower_bound(entries.begin(), entries.end(), local,
                                            [](const LocalEntry& e, int64_t at) { return e.Header < at; });
        const auto index = static_cast<std::size_t>(found - entries.begin());
        if (found == entries.end() || found->Header != local || named[index] || found->NameLength != nameLength ||
            walker.Text(found->NameAt, nameLength) != walker.Text(q + kCentralHeaderSize, nameLength) ||
            walker.Le32(q + 20) != static_cast<uint32_t>(found->DataSize))
            allNamed = false;
        else
            named[index] = true;
        ++count;
        q = next;
    }
    if (!walker.SignatureAt(q, kEndSignature) || !walker.Has(q, kEndRecordSize))
        return 0;
    const int64_t end = q + kEndRecordSize + walker.Le16(q + 20);
    if (walker.Le16(q + 4) != 0 || walker.Le16(q + 6) != 0 || walker.Le16(q + 8) != walker.Le16(q + 10) ||
        walker.Le32(q + 12) != static_cast<uint32_t>(q - cd) || !walker.Has(q, end - q))
        return 0;
    base = cd - static_cast<int64_t>(walker.Le32(q + 16));
    if (base != 0 || !allNamed || count != static_cast<int64_t>(entries.size()) || walker.Le16(q + 10) != count)
        return 0;
    return end;
}

}  // namespace

JarWalk WalkJar(std::span<const uint8_t> bytes, bool thorough)
{
    Walker walker(bytes.first(std::min<std::size_t>(bytes.size(), 0x7FFFFFFF)), thorough);
    std::vector<LocalEntry> entries;
    int64_t p = 0;
    while (const auto entry = walker.ReadLocal(p)) {
        entries.push_back(*entry);
        p = entry->End;
    }
    JarWalk result;
    if (entries.empty()) {
        result.Walk.Examined = walker.Examined();
        return result;
    }
    int64_t base = -1;
    const int64_t end = CheckDirectory(walker, entries, p, base);
    std::size_t whole = entries.size();
    if (end > 0) {
        result.Walk.Verdict = WalkVerdict::Whole;
        result.Walk.End = static_cast<int32_t>(end);
    } else {
        // A directory of an archive starting at one of the walked headers: the
        // walk went on from a cut archive into the next one.
        const auto next = std::lower_bound(entries.begin(), entries.end(), base,
                                           [](const LocalEntry& e, int64_t at) { return e.Header < at; });
        if (base > 0 && next != entries.end() && next->Header == base) {
            whole = static_cast<std::size_t>(next - entries.begin());
        } else if (!walker.SignatureAt(p, kCentralSignature) && !walker.SignatureAt(p, kLocalSignature) &&
                   !walker.DataCheck(entries.back())) {
            --whole;
        }
        if (whole == 0) {
            result.Walk.Examined = walker.Examined();
            return result;
        }
        result.Walk.Verdict = WalkVerdict::Truncated;
        result.Walk.End = static_cast<int32_t>(entries[whole - 1].End);
    }
    ReadFacts(walker, entries, whole, result.Midlet);
    result.Walk.SureEnd = result.Walk.End;
    result.Walk.Examined = std::max<int64_t>(walker.Examined(), result.Walk.End);
    return result;
}

}  // namespace kestrix
