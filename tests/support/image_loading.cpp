#include "image_loading.h"

namespace kestrix::test_support {

void LoadImage(TCustomHexBuffer& buffer, const std::vector<uint8_t>& bytes)
{
    MemoryStream stream;
    stream.WriteBuffer(bytes.data(), static_cast<int32_t>(bytes.size()));
    buffer.LoadFromStream(stream);
}

}  // namespace kestrix::test_support
