#include "../support/picture_builders.h"
#include "picture_check.h"
#include "strict_decoder.h"

#include <gtest/gtest.h>

namespace kestrix {
namespace {

// The 52- and 56-byte info headers add the colour masks to the 40-byte one; Qt
// reads neither, the decoder reads them as the same picture.
TEST(BitmapHeaders, EveryInfoHeaderSizeDecodesToTheSamePixels)
{
    for (const uint16_t bits : {16, 24, 32}) {
        const DecodedPicture reference =
            DecodePicture(ItemType::Bmp, test_support::BuildBmp({.headerSize = 40, .bits = bits}));
        ASSERT_TRUE(reference.Ok()) << bits;
        for (const uint32_t headerSize : {52u, 56u, 108u, 124u}) {
            const auto bytes = test_support::BuildBmp({.headerSize = headerSize, .bits = bits});
            const DecodedPicture picture = DecodePicture(ItemType::Bmp, bytes);
            ASSERT_TRUE(picture.Ok()) << headerSize << " bytes, " << bits
                                      << " bits: " << PictureFaultName(picture.Fault);
            EXPECT_EQ(picture.Frames.at(0), reference.Frames.at(0)) << headerSize << " bytes, " << bits << " bits";
            EXPECT_TRUE((CheckPictureFault(ItemType::Bmp, bytes) == PictureFault::None))
                << headerSize << " bytes, " << bits << " bits";
        }
    }
}

}  // namespace
}  // namespace kestrix
