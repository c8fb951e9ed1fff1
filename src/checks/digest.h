#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kestrix {

// The digests Kestrix gives of bytes, from OpenSSL's libcrypto (EVP).

// SHA-256 of bytes as 64 lowercase hexadecimal digits. Safe from several
// threads at once.
std::string Sha256Hex(std::span<const uint8_t> bytes);

// MD5 of bytes as 32 lowercase hexadecimal digits.
std::string Md5Hex(std::span<const uint8_t> bytes);

// The digests of a whole image.
struct ImageDigests {
    std::string Sha256;
    std::string Md5;
    bool operator==(const ImageDigests&) const = default;
};

// SHA-256 and MD5 of image, both in one pass over it a slice at a time; none
// once cancel (may be null) is true. Linear in the image's size, constant memory.
std::optional<ImageDigests> DigestImage(std::span<const uint8_t> image, const std::atomic<bool>* cancel = nullptr);

}  // namespace kestrix
