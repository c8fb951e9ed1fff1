#include "image_loading.h"

namespace kestrix::testing {

void LoadImage(TCustomHexBuffer& buffer, const std::vector<uint8_t>& bytes)
{
    buffer.LoadFromBytes(bytes);
}

}  // namespace kestrix::testing
