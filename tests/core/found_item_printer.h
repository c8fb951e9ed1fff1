#pragma once

#include "content_search.h"

#include <ostream>

namespace kestrix {

// Readable items in test failure messages: type, status, range, size of a
// picture, trailing bytes and the entry's name with non-ASCII bytes as '?'.
inline void PrintTo(const FoundItem& item, std::ostream* out)
{
    *out << '{' << ContentTypeName(item.Type) << ' ' << ItemStatusName(item.Status) << ' ' << item.Start << ".."
         << item.End << ' ' << item.Width << 'x' << item.Height << " frames " << item.Frames << " trailing "
         << item.Trailing << " entry \"";
    for (const unsigned char c : item.EntryName)
        *out << (c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    *out << "\"}";
}

}  // namespace kestrix
