#pragma once

#include "stream.h"

#include <cstdint>

namespace kestrix::test_support {

// A memory stream that claims more bytes than it holds, as a file that shrinks
// while it is read: Size() is the claimed size whatever was written.
class ShortStream : public MemoryStream {
public:
    explicit ShortStream(int64_t claimed) : m_claimed(claimed) {}
    int64_t Size() override { return m_claimed; }

private:
    int64_t m_claimed;
};

}  // namespace kestrix::test_support
