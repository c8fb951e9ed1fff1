#include "hex_text.h"

namespace kestrix {
namespace {

// Value of a hex digit, or -1 for any other byte.
int HexDigitValue(char c) noexcept
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

}  // namespace

uint8_t* HexTextToBytes(const char* source, uint8_t* destination, int32_t sourceLength, bool swapNibbles,
                        int32_t& count)
{
    count = 0;
    uint8_t accumulated = 0;
    bool expectHigh = true;
    for (int32_t i = 0; i < sourceLength; ++i) {
        const int value = HexDigitValue(source[i]);
        if (value < 0)
            continue;
        if (expectHigh) {
            accumulated = static_cast<uint8_t>(value << 4);
            expectHigh = false;
            continue;
        }
        accumulated = static_cast<uint8_t>(accumulated | value);
        expectHigh = true;
        destination[count++] =
            swapNibbles ? static_cast<uint8_t>((accumulated & 0x0F) << 4 | accumulated >> 4) : accumulated;
    }
    return destination;
}

}  // namespace kestrix
