#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace kestrix {

// The bytes of a PNG file of an 8-bit RGB picture: rgb holds width * height
// pixels as red, green, blue, row after row. Width and height are at least 1.
std::vector<uint8_t> EncodeRgbPng(int32_t width, int32_t height, std::span<const uint8_t> rgb);

}  // namespace kestrix
