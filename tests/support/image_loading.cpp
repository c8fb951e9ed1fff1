#include "image_loading.h"

namespace kestrix::test_support {

void LoadImage(TCustomHexBuffer& buffer, const std::vector<uint8_t>& bytes)
{
    buffer.LoadFromBytes(bytes);
}

}  // namespace kestrix::test_support
