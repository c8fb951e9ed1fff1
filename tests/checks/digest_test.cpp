#include "digest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrix {
namespace {

std::span<const uint8_t> BytesOf(const std::string& text)
{
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

// The published test vectors of SHA-256 (FIPS 180-2) and MD5 (RFC 1321).
TEST(Digest, KnownVectors)
{
    const struct {
        const char* name;
        std::string text;
        const char* sha256;
        const char* md5;
    } cases[] = {
        {"empty", "", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855",
         "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
         "900150983cd24fb0d6963f7d28e17f72"},
        {"two blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1", "8215ef0796a20bcaaae116d3876c664a"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Sha256Hex(BytesOf(c.text)), c.sha256);
        EXPECT_EQ(Md5Hex(BytesOf(c.text)), c.md5);
        const std::optional<ImageDigests> image = DigestImage(BytesOf(c.text));
        ASSERT_TRUE(image.has_value());
        EXPECT_EQ(*image, (ImageDigests{c.sha256, c.md5}));
    }
}

// An image digested slice by slice gives the digests of its bytes taken at
// once, whatever its size against the slices; a cancelled one gives none.
TEST(Digest, ImageInSlicesMatchesOneShotAndCancels)
{
    std::vector<uint8_t> image((std::size_t{9} << 20) + 3);
    for (std::size_t i = 0; i < image.size(); ++i)
        image[i] = static_cast<uint8_t>(i * 131 + (i >> 12));
    const std::optional<ImageDigests> digests = DigestImage(image);
    ASSERT_TRUE(digests.has_value());
    EXPECT_EQ(digests->Sha256, Sha256Hex(image));
    EXPECT_EQ(digests->Md5, Md5Hex(image));

    const std::atomic<bool> cancel{true};
    EXPECT_FALSE(DigestImage(image, &cancel).has_value());
}

}  // namespace
}  // namespace kestrix
