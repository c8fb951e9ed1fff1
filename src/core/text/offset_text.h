#pragma once

#include <cstdint>
#include <string_view>

namespace kestrix {

// Why an offset typed by the user was refused.
enum class OffsetTextError { None, Empty, NotANumber, OutOfRange };

struct ParsedOffset {
    int64_t Offset = -1;  // valid only when Error is None
    OffsetTextError Error = OffsetTextError::None;
};

// Reads an offset typed by the user: decimal ("1234"), hex with a 0x prefix
// ("0x4D2") or an h suffix ("4D2h"), either case, blanks around ignored. An
// offset is accepted when 0 <= offset < size; a number too large for 64 bits
// is OutOfRange too.
ParsedOffset ParseOffsetText(std::string_view text, int64_t size);

}  // namespace kestrix
