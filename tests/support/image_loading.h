#pragma once

#include "custom_hex_buffer.h"

#include <cstdint>
#include <vector>

namespace kestrix::test_support {

// Loads bytes into buffer as an opened image.
void LoadImage(TCustomHexBuffer& buffer, const std::vector<uint8_t>& bytes);

}  // namespace kestrix::test_support
