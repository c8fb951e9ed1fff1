#include "jad_grammar.h"

#include <algorithm>

namespace kestrix {
namespace {

std::string_view Trimmed(std::string_view text) noexcept
{
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool IsDigit(char c) noexcept
{
    return c >= '0' && c <= '9';
}

}  // namespace

bool IsMidletEntry(std::string_view key, std::string_view value) noexcept
{
    constexpr std::string_view kPrefix = "midlet-";
    if (key.size() <= kPrefix.size() || key.size() > kPrefix.size() + 9)
        return false;
    for (std::size_t i = 0; i < kPrefix.size(); ++i) {
        const char c = key[i];
        if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != kPrefix[i])
            return false;
    }
    const std::string_view number = key.substr(kPrefix.size());
    if (number[0] == '0' || !std::all_of(number.begin(), number.end(), IsDigit))
        return false;
    const std::size_t firstComma = value.find(',');
    if (firstComma == std::string_view::npos)
        return false;
    const std::size_t secondComma = value.find(',', firstComma + 1);
    if (secondComma == std::string_view::npos || value.find(',', secondComma + 1) != std::string_view::npos)
        return false;
    return !Trimmed(value.substr(0, firstComma)).empty() && !Trimmed(value.substr(secondComma + 1)).empty();
}

}  // namespace kestrix
