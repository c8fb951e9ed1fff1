#pragma once

#include <string>
#include <string_view>

namespace kestrix {

// bytes (a path or a message that holds one) as text safe to print on a terminal:
// valid UTF-8 stays, while control characters (U+0000–U+001F, U+007F–U+009F) and
// bytes that are not UTF-8 are shown as \xNN of their bytes. keepLineBreaks keeps
// "\n" as it is, for messages of several lines.
std::string TerminalText(std::string_view bytes, bool keepLineBreaks = false);

// bytes as valid UTF-8 for JSON: valid UTF-8 stays, every byte that is not part of
// a valid sequence becomes U+FFFD.
std::string ShownText(std::string_view bytes);

}  // namespace kestrix
