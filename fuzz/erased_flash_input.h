#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The walk harnesses' image: the input after its first (control) byte, with
// control & 0x0F bytes of erased flash before it and, when control has 0x10,
// 300 after it, so that items meet odd offsets and erased flash at their end.
// Requires size >= 1.
inline std::vector<uint8_t> AmongErasedFlash(const uint8_t* data, std::size_t size, uint8_t erased = 0xFF)
{
    const uint8_t control = data[0];
    std::vector<uint8_t> image(control & 0x0F, erased);
    image.insert(image.end(), data + 1, data + size);
    image.resize(image.size() + ((control & 0x10) != 0 ? 300 : 0), erased);
    return image;
}
