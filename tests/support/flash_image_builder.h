#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kestrix::test_support {

// Offsets of the five firmware facts and their stop bytes.
struct FactLayout {
    int32_t offset;
    uint8_t stop;
};
inline constexpr FactLayout kPdsFact{102976, 0xFF};
inline constexpr FactLayout kFirmwareVersionFact{9568740, 0x00};
inline constexpr FactLayout kPhoneModelFact{82451, 0x05};
inline constexpr FactLayout kSerialNumberFact{82960, 0x00};
inline constexpr FactLayout kFlexVersionFact{102926, 0x00};

// Builds small synthetic flash images in memory: a filled block with facts,
// file-system entries and pictures written at chosen offsets. Text arguments are
// Windows-1251 bytes.
class FlashImageBuilder {
public:
    explicit FlashImageBuilder(std::size_t size, uint8_t fill = 0xFF);

    FlashImageBuilder& Fill(std::size_t offset, std::size_t count, uint8_t value);
    FlashImageBuilder& Put(std::size_t offset, std::string_view bytes);
    FlashImageBuilder& Put(std::size_t offset, const std::vector<uint8_t>& bytes);
    // Writes text followed by the fact's stop byte at the fact's offset.
    FlashImageBuilder& PutFact(FactLayout fact, std::string_view text);
    // A file-system entry with its signature at h: the name as 2-byte
    // characters from h - 89 (a 00h low byte after it), the size big-endian at
    // h + 22 and data from h + 38. h must be at least 89.
    FlashImageBuilder& PutFileEntry(std::size_t h, std::string_view name, uint32_t size, std::string_view data = {});

    const std::vector<uint8_t>& Bytes() const noexcept { return m_bytes; }
    std::string_view View() const noexcept;
    void WriteTo(const std::string& path) const;

private:
    std::vector<uint8_t> m_bytes;
};

// Reads a whole file; empty when it cannot be read.
std::vector<uint8_t> ReadFileBytes(const std::string& path);

// The bytes as text, for matching what a file or an output holds.
std::string_view AsText(std::span<const uint8_t> bytes);

}  // namespace kestrix::test_support
