#pragma once

#include "registry_key.h"

#include <QByteArray>

#include <memory>

namespace kestrix {

// The text that holds one registry root (UTF-8, one line per item):
//
//   Kestrix registry 1
//   ; comment
//   [Software\Kestrix]
//   access = 0x00020019          (rights granted on the key; all when absent)
//   "Path" = sz "/home/me/images/"
//   "Count" = dword 42
//   "Blob" = binary <01 02 ff>
//
// Keys are written by their full path below the root; a key implies its parents.
// Value names and text are quoted with the escapes \\ \" \n \r \t \xHH. The
// types are none, sz, expand_sz, binary, dword, dword_be, link, multi_sz, qword
// or type(N). Data is "text" (its UTF-8 bytes and one terminating NUL), a
// decimal or 0x number (dword, dword_be and qword only) or <hex bytes>.
class RegistryText {
public:
    // The signature on the first line.
    static constexpr const char* kSignature = "Kestrix registry 1";

    // Parses the bytes of a store file into its root key. A file of blanks only
    // is an empty root. Raises RegistryError "line N: <what is wrong>" for
    // any malformed content; runs in time linear in the input.
    static std::unique_ptr<RegistryKey> Parse(const QByteArray& bytes);
    // The file text of a root key; Parse gives back an equal key.
    static QByteArray Serialize(const RegistryKey& root);
};

}  // namespace kestrix
