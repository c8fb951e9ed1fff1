// HexTextToBytes, HexTextToInt and FindBytes against plain references.
// Input: [control byte][pattern length byte][start: 2 bytes][last: 2 bytes][rest].
// The rest is both the hex text and, after the pattern bytes, the image.
#include "custom_hex_buffer.h"
#include "exceptions.h"
#include "hex_text.h"
#include "naive_search.h"
#include "pattern_search.h"

#include <cstdlib>
#include <string>
#include <vector>

namespace {

using namespace kestrix;

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::vector<uint8_t> ReferenceHexBytes(const std::string& text, bool swap)
{
    std::vector<int> digits;
    for (const char c : text)
        if (HexValue(c) >= 0)
            digits.push_back(HexValue(c));
    std::vector<uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(swap ? digits[i + 1] * 16 + digits[i] : digits[i] * 16 + digits[i + 1]));
    return bytes;
}

int64_t ReferenceHexInt(const std::string& text)
{
    if (text.empty())
        return -1;
    uint32_t value = 0;
    for (const char c : text) {
        if (HexValue(c) < 0)
            return -1;
        value = value * 16 + static_cast<uint32_t>(HexValue(c));
    }
    return value;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < 6)
        return 0;
    const bool swap = (data[0] & 1) != 0;
    const std::size_t patternLength = data[1] % 16;
    const int32_t start = static_cast<int16_t>(data[2] | data[3] << 8);
    const int32_t last = static_cast<int16_t>(data[4] | data[5] << 8);
    const std::string text(reinterpret_cast<const char*>(data + 6), size - 6);

    std::vector<uint8_t> bytes(text.size() / 2 + 1);
    int32_t count = -1;
    HexTextToBytes(text.data(), bytes.data(), static_cast<int32_t>(text.size()), swap, count);
    bytes.resize(static_cast<std::size_t>(count));
    Check(bytes == ReferenceHexBytes(text, swap));

    const std::string word = text.substr(0, 12);
    int64_t parsed = -1;
    try {
        parsed = HexTextToInt(word);
    } catch (const EConvertError&) {
    }
    Check(parsed == ReferenceHexInt(word));

    const std::size_t split = std::min(patternLength, text.size());
    const std::vector<uint8_t> pattern(data + 6, data + 6 + split);
    const std::vector<uint8_t> image(data + 6 + split, data + size);
    THexBuffer buffer;
    buffer.LoadFromBytes(image);
    const int32_t found = buffer.FindBytes(pattern.data(), static_cast<int32_t>(pattern.size()), start, last, false);
    Check(found == test_support::NaiveFind(image, pattern, start, last));
    return 0;
}
