#pragma once

#include <string>
#include <string_view>

namespace kestrix {

// The text of a descriptor's or manifest's attribute value as UTF-8: the bytes
// as they are when they are valid UTF-8 (a UTF-8 byte order mark dropped),
// else each byte decoded as Windows-1251, as phones of the time wrote them.
// The command line's table, its JSON and the window all show this text.
std::string MidletText(std::string_view bytes);

}  // namespace kestrix
