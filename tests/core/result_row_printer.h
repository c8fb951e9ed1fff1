#pragma once

#include "hex_text.h"
#include "result_row.h"

#include <ostream>

namespace kestrix {

// Readable rows in test failure messages: caption and cells, non-ASCII bytes in hex.
inline void PrintTo(const ResultRow& row, std::ostream* out)
{
    auto text = [out](const std::string& s) {
        *out << '"';
        for (const unsigned char c : s) {
            if (c >= 0x20 && c < 0x7F) {
                *out << static_cast<char>(c);
            } else {
                *out << "\\x" << HexDigit(c >> 4) << HexDigit(c);
            }
        }
        *out << '"';
    };
    *out << '{';
    text(row.Caption);
    for (const std::string& cell : row.Cells) {
        *out << ", ";
        text(cell);
    }
    *out << ", icon " << row.ImageIndex << '}';
}

}  // namespace kestrix
