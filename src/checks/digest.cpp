#include "digest.h"

#include <openssl/evp.h>

#include <memory>
#include <stdexcept>
#include <string>

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

// The digest's implementation fetched once: OpenSSL 3 looks an implicit
// EVP_sha256() up anew on every use, which costs more than a small item's digest.
const EVP_MD* Fetched(const char* name)
{
    EVP_MD* type = EVP_MD_fetch(nullptr, name, nullptr);
    if (type == nullptr)
        throw std::runtime_error(std::string("the digest ") + name + " is not available");
    return type;
}

// One context per thread and digest, reset for each use.
std::string DigestHex(const EVP_MD* type, std::span<const uint8_t> bytes)
{
    thread_local DigestContext sha256(nullptr, &EVP_MD_CTX_free);
    thread_local DigestContext md5(nullptr, &EVP_MD_CTX_free);
    DigestContext& context = EVP_MD_get_size(type) == 16 ? md5 : sha256;
    if (!context)
        context.reset(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), type, nullptr) != 1)
        throw std::runtime_error("the digest could not be computed");
    Update(context, bytes);
    return Final(context);
}

const EVP_MD* Sha256Type()
{
    static const EVP_MD* const kType = Fetched("SHA256");
    return kType;
}

const EVP_MD* Md5Type()
{
    static const EVP_MD* const kType = Fetched("MD5");
    return kType;
}

}  // namespace

std::string Sha256Hex(std::span<const uint8_t> bytes)
{
    return DigestHex(Sha256Type(), bytes);
}

std::string Md5Hex(std::span<const uint8_t> bytes)
{
    return DigestHex(Md5Type(), bytes);
}

std::optional<ImageDigests> DigestImage(std::span<const uint8_t> image, const std::atomic<bool>* cancel)
{
    const DigestContext sha256 = NewContext(Sha256Type());
    const DigestContext md5 = NewContext(Md5Type());
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
