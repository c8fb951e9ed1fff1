#include "pattern_search.h"

#include "exceptions.h"
#include "hex_text.h"

#include <algorithm>
#include <vector>

namespace kestrix {

int32_t FindHexPattern(TCustomHexBuffer& buffer, std::string_view pattern, int32_t from, int32_t to)
{
    const auto textLength = static_cast<int32_t>(std::min<std::size_t>(pattern.size(), INT32_MAX));
    std::vector<uint8_t> converted(static_cast<std::size_t>(textLength) / 2 + 1);
    int32_t count = 0;
    HexTextToBytes(pattern.data(), converted.data(), textLength, buffer.SwapNibbles(), count);
    if (count == 0)
        return -1;

    int64_t start = std::max(from, 0);
    // After a one-byte match the selection is that byte; start past it so a
    // repeated one-byte search moves on to the next occurrence.
    if (count == 1 && buffer.SelectionLength() == 1)
        ++start;
    if (start >= buffer.DataSize())
        return -1;

    ByteString prepared;
    buffer.PrepareFindData(ByteString(reinterpret_cast<const char*>(converted.data()), static_cast<std::size_t>(count)),
                           false, false, prepared);
    const auto n = static_cast<int32_t>(prepared.size());
    if (n % buffer.BytesPerUnit() != 0)
        return -1;
    if (to <= 0)
        return -1;
    const int32_t found = buffer.FindBytes(reinterpret_cast<const uint8_t*>(prepared.data()), n,
                                           static_cast<int32_t>(start), to - 1, false);
    if (found < 0)
        return -1;
    buffer.SetSelStart(found + n - 1);
    buffer.SetSelEnd(found);
    return found;
}

}  // namespace kestrix
