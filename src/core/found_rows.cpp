#include "found_rows.h"

#include <algorithm>

namespace kestrix {

void FoundRows::Append(FoundRow row, std::string_view name)
{
    name = name.substr(0, UINT16_MAX);
    row.NameOffset = static_cast<uint32_t>(m_names.size());
    row.NameLength = static_cast<uint16_t>(name.size());
    m_names.append(name);
    m_rows.push_back(row);
}

std::string_view FoundRows::Name(std::size_t index) const
{
    const FoundRow& row = m_rows[index];
    return std::string_view(m_names).substr(row.NameOffset, row.NameLength);
}

void FoundRows::RemoveIf(const std::function<bool(const FoundRow& row, std::string_view name)>& remove)
{
    std::erase_if(m_rows, [&](const FoundRow& row) {
        return remove(row, std::string_view(m_names).substr(row.NameOffset, row.NameLength));
    });
}

void FoundRows::Clear()
{
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_names.clear();
    m_names.shrink_to_fit();
}

}  // namespace kestrix
