#include "sliced_find.h"

#include "hex_text.h"
#include "pattern_search.h"

#include <algorithm>
#include <vector>

namespace kestrix {

SlicedFindResult FindHexPatternSliced(TCustomHexBuffer& buffer, std::string_view pattern, int32_t from, int32_t to,
                                      const ScanHooks& hooks, int32_t sliceSize)
{
    std::vector<uint8_t> converted(pattern.size() / 2 + 1);
    int32_t length = 0;
    HexTextToBytes(pattern.data(), converted.data(), static_cast<int32_t>(pattern.size()), false, length);

    int64_t start = std::max(from, 0);
    const int64_t end = std::min<int64_t>(to, buffer.DataSize());
    // A one-byte search depends on the selection left by the previous slice,
    // so it is never split.
    if (length < 2 || sliceSize < 1 || end - start <= static_cast<int64_t>(sliceSize) + length - 1)
        return {FindHexPattern(buffer, pattern, from, to), false};

    for (;;) {
        const int64_t sliceEnd = std::min(end, start + sliceSize + length - 1);
        const int32_t found =
            FindHexPattern(buffer, pattern, static_cast<int32_t>(start), static_cast<int32_t>(sliceEnd));
        if (found >= 0)
            return {found, false};
        start += sliceSize;
        if (start + length > end)
            return {};
        if (!hooks.KeepGoing())
            return {-1, true};
    }
}

}  // namespace kestrix
