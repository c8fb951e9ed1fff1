#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrix {

// The most bytes of a fact's value that are kept.
inline constexpr std::size_t kMaxFactBytes = 4096;

// One fact read at a fixed offset of a flash image. Text is Windows-1251.
struct FirmwareFact {
    std::string Caption;
    // The value's first kMaxFactBytes bytes, or "Неизвестно" when the fact lies
    // beyond the end of the image.
    std::string Value;
    // The whole value's length in bytes; none when the fact lies beyond the image.
    std::optional<int32_t> Length;

    bool operator==(const FirmwareFact&) const = default;
};

// The five facts read at fixed offsets of image: "PDS", "Версия прошивки",
// "Модель телефона", "Заводской номер", "Версия Flex". A value runs to its stop
// byte or, without one, to the end of the image; only its beginning is kept.
std::vector<FirmwareFact> ReadFirmwareInfo(std::span<const uint8_t> image);

// A fact's value as the lists show it: the value kept, followed by
// "… (N bytes)" when the whole value is longer.
std::string ShownFactValue(const FirmwareFact& fact);

}  // namespace kestrix
