#include "code_page.h"
#include "custom_hex_buffer.h"
#include "fast_find.h"

#include <cmath>

namespace kestrix {

void TCustomHexBuffer::PrepareFindData(ByteString data, bool ignoreCase, bool asText, ByteString& prepared)
{
    if (data.empty()) {
        prepared.clear();
        return;
    }
    auto* bytes = reinterpret_cast<uint8_t*>(data.data());
    const auto count = static_cast<int32_t>(data.size());
    const std::array<uint8_t, 256>& lower = AnsiLowerTable();
    if (ignoreCase)
        for (int32_t i = 0; i < count; ++i)
            bytes[i] = lower[bytes[i]];
    if (asText && m_translation != tkAsIs)
        TranslateFromAnsi(m_translation, bytes, bytes, count);
    if (asText && m_unicodeChars) {
        prepared.clear();
        prepared.reserve(data.size() * 2);
        for (int32_t i = 0; i < count; ++i) {
            const auto unit = static_cast<char16_t>(Cp1251ToUnicode(bytes[i]));
            const auto low = static_cast<char>(unit & 0xFF);
            const auto high = static_cast<char>(unit >> 8);
            prepared += m_unicodeBigEndian ? high : low;
            prepared += m_unicodeBigEndian ? low : high;
        }
    } else {
        prepared = std::move(data);
    }

    for (int i = 0; i < 256; ++i)
        m_exactTable[i] = static_cast<uint8_t>(i);
    if (m_translation == tkAsIs) {
        m_lowerTable = lower;
        return;
    }
    for (int i = 0; i < 256; ++i) {
        uint8_t b = static_cast<uint8_t>(i);
        TranslateToAnsi(m_translation, &b, &b, 1);
        b = lower[b];
        TranslateFromAnsi(m_translation, &b, &b, 1);
        m_lowerTable[i] = b;
    }
}

int32_t TCustomHexBuffer::FindBytes(const uint8_t* pattern, int32_t length, int32_t start, int32_t last,
                                    bool ignoreCase)
{
    const int32_t size = DataSize();
    if (last >= size)
        last = size - 1;
    if (length < 1)
        return -1;
    if (start < 0)
        start = 0;
    if (static_cast<int64_t>(start) + length > static_cast<int64_t>(last) + 1)
        return -1;

    const std::array<uint8_t, 256>& table = ignoreCase ? m_lowerTable : m_exactTable;
    if (m_findProgress && OnProgress)
        return FindBytesReporting(pattern, length, start, last, table);
    if (!ignoreCase)
        return FindExact(Data(), start, last + 1, pattern, length);

    const uint8_t* data = Data();
    const int32_t lastStart = last - length + 1;
    for (int32_t s = start; s <= lastStart; ++s) {
        int32_t i = 0;
        while (i < length && table[data[s + i]] == pattern[i])
            ++i;
        if (i == length)
            return s;
    }
    return -1;
}

// Byte by byte with a restart position, counting every pass of the loop so the
// reports come at the same points as in any other scan of the same range.
int32_t TCustomHexBuffer::FindBytesReporting(const uint8_t* pattern, int32_t length, int32_t start, int32_t last,
                                             const std::array<uint8_t, 256>& table)
{
    const uint8_t* data = Data();
    const int32_t size = DataSize();
    const int32_t step = size / 500;
    // Counts down to the next pass that is a multiple of step.
    int32_t passesToReport = step;
    int64_t p = start;
    int32_t i = 0;
    int64_t restart = static_cast<int64_t>(start) + 1;
    for (;;) {
        if (step == 0 || --passesToReport == 0) {
            passesToReport = step;
            const double percent = static_cast<double>(p) / size * 100;
            ReportProgress(pkFind, m_fileName, static_cast<uint8_t>(std::nearbyint(percent)));
        }
        if (p > last)
            return -1;
        if (table[data[p]] == pattern[i]) {
            if (i == length - 1)
                return static_cast<int32_t>(p - length + 1);
            if (i == 0)
                restart = p + 1;
            ++p;
            ++i;
        } else {
            p = restart;
            i = 0;
            restart = p + 1;
        }
    }
}

}  // namespace kestrix
