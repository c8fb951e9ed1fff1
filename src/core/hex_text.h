#pragma once

#include <cstdint>

namespace kestrix {

// Turns hex-digit text into bytes, two digits per byte, high digit first.
// Characters other than 0-9, a-f, A-F are skipped; an unpaired last digit is
// dropped. With swapNibbles each written byte has its halves exchanged.
// destination needs room for sourceLength / 2 bytes; count receives the number
// written. Returns destination.
uint8_t* HexTextToBytes(const char* source, uint8_t* destination, int32_t sourceLength, bool swapNibbles,
                        int32_t& count);

}  // namespace kestrix
