#include "found_rows.h"

#include <algorithm>

namespace kestrix {

void FoundRows::Append(FoundRow row, std::string_view name)
{
    AppendRow(row, name);
    if (!m_details.empty())
        m_details.emplace_back();
}

void FoundRows::Append(FoundRow row, std::string_view name, const PictureDetails& details)
{
    m_details.resize(m_rows.size());
    m_details.push_back(details);
    AppendRow(row, name);
}

void FoundRows::AppendRow(FoundRow row, std::string_view name)
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

PictureDetails FoundRows::Details(std::size_t index) const
{
    return index < m_details.size() ? m_details[index] : PictureDetails{};
}

void FoundRows::RemoveIf(const std::function<bool(const FoundRow& row, std::string_view name)>& remove)
{
    const bool hasDetails = !m_details.empty();
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_rows.size(); ++i) {
        if (remove(m_rows[i], Name(i)))
            continue;
        if (kept != i) {
            m_rows[kept] = m_rows[i];
            if (hasDetails)
                m_details[kept] = m_details[i];
        }
        ++kept;
    }
    m_rows.resize(kept);
    if (hasDetails)
        m_details.resize(kept);
}

void FoundRows::Clear()
{
    m_rows.clear();
    m_rows.shrink_to_fit();
    m_names.clear();
    m_names.shrink_to_fit();
    m_details.clear();
    m_details.shrink_to_fit();
}

}  // namespace kestrix
