#include "flash_image_builder.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace kestrix::test_support {

FlashImageBuilder::FlashImageBuilder(std::size_t size, uint8_t fill) : m_bytes(size, fill) {}

FlashImageBuilder& FlashImageBuilder::Fill(std::size_t offset, std::size_t count, uint8_t value)
{
    if (offset + count > m_bytes.size())
        throw std::out_of_range("Fill past the image end");
    std::fill_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(offset), count, value);
    return *this;
}

FlashImageBuilder& FlashImageBuilder::Put(std::size_t offset, std::string_view bytes)
{
    if (offset + bytes.size() > m_bytes.size())
        throw std::out_of_range("Put past the image end");
    std::copy(bytes.begin(), bytes.end(), m_bytes.begin() + static_cast<std::ptrdiff_t>(offset));
    return *this;
}

FlashImageBuilder& FlashImageBuilder::Put(std::size_t offset, const std::vector<uint8_t>& bytes)
{
    return Put(offset, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

FlashImageBuilder& FlashImageBuilder::PutFact(FactLayout fact, std::string_view text)
{
    Put(static_cast<std::size_t>(fact.offset), text);
    m_bytes.at(static_cast<std::size_t>(fact.offset) + text.size()) = fact.stop;
    return *this;
}

FlashImageBuilder& FlashImageBuilder::PutFileEntry(std::size_t h, std::string_view name, uint32_t size,
                                                   std::string_view data)
{
    if (h < 89 || name.empty() || name.size() > 45)
        throw std::invalid_argument("file entry out of layout");
    Fill(h - 89, 89, 0x00);
    for (std::size_t i = 0; i < name.size(); ++i)
        m_bytes.at(h - 89 + 2 * i) = static_cast<uint8_t>(name[i]);
    Put(h, std::string_view("\x00\x00\x01\xFF\x00\x00\x00", 7));
    Fill(h + 7, 31, 0x00);
    const uint8_t sizeBytes[4] = {static_cast<uint8_t>(size >> 24), static_cast<uint8_t>(size >> 16),
                                  static_cast<uint8_t>(size >> 8), static_cast<uint8_t>(size)};
    Put(h + 22, std::string_view(reinterpret_cast<const char*>(sizeBytes), 4));
    Put(h + 38, data);
    return *this;
}

std::string_view FlashImageBuilder::View() const noexcept
{
    return {reinterpret_cast<const char*>(m_bytes.data()), m_bytes.size()};
}

void FlashImageBuilder::WriteTo(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(m_bytes.data()), static_cast<std::streamsize>(m_bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string_view AsText(std::span<const uint8_t> bytes)
{
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

}  // namespace kestrix::test_support
