#include "digest.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>

namespace kestrix {
namespace {

using DigestContext = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

// The slice a whole image is digested by between two looks at the cancel flag.
constexpr std::size_t kImageSlice = std::size_t{4} << 20;

std::string Hex(const unsigned char* digest, unsigned int length)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text(std::size_t{length} * 2, '0');
    for (unsigned int i = 0; i < length; ++i) {
        text[2 * i] = kDigits[digest[i] >> 4];
        text[2 * i + 1] = kDigits[digest[i] & 0x0F];
    }
    return text;
}

DigestContext NewContext(const EVP_MD* type)
{
    DigestContext context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), type, nullptr) != 1)
        throw std::bad_alloc();
    return context;
}

void Update(const DigestContext& context, std::span<const uint8_t> bytes)
{
    if (EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1)
        throw std::runtime_error("the digest could not be computed");
}

std::string Final(const DigestContext& context)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
        throw std::runtime_error("the digest could not be computed");
    return Hex(digest, length);
}

std::string DigestHex(const EVP_MD* type, std::span<const uint8_t> bytes)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, type, nullptr) != 1)
        throw std::runtime_error("the digest could not be computed");
    return Hex(digest, length);
}

}  // namespace

std::string Sha256Hex(std::span<const uint8_t> bytes)
{
    return DigestHex(EVP_sha256(), bytes);
}

std::string Md5Hex(std::span<const uint8_t> bytes)
{
    return DigestHex(EVP_md5(), bytes);
}

std::optional<ImageDigests> DigestImage(std::span<const uint8_t> image, const std::atomic<bool>* cancel)
{
    const DigestContext sha256 = NewContext(EVP_sha256());
    const DigestContext md5 = NewContext(EVP_md5());
    for (std::size_t at = 0; at < image.size(); at += kImageSlice) {
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed))
            return std::nullopt;
        const std::span<const uint8_t> slice = image.subspan(at, std::min(kImageSlice, image.size() - at));
        Update(sha256, slice);
        Update(md5, slice);
    }
    return ImageDigests{Final(sha256), Final(md5)};
}

}  // namespace kestrix
