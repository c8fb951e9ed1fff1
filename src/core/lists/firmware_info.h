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

// Where a fact lies in the image: from its offset up to its stop byte (or the
// image's end), in the order of ReadFirmwareInfo.
struct FactRange {
    int32_t Start = 0;
    int32_t End = 0;  // one past the value's last byte; Start when the value is empty
    bool operator==(const FactRange&) const = default;
};

// The ranges of the five facts; a fact beyond the image's end is empty
// (End == Start, at its offset).
std::vector<FactRange> FirmwareFactRanges(std::span<const uint8_t> image);

// A fact's value as the lists show it: the value kept, followed by
// "… (N bytes)" when the whole value is longer.
std::string ShownFactValue(const FirmwareFact& fact);

}  // namespace kestrix
