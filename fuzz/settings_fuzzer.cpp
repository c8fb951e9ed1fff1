// The settings store reading an arbitrary store file: parsing either fails with
// the store's exception or gives a key whose text parses back to the same text.
#include "exceptions.h"
#include "registry_file.h"

#include <QByteArray>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    std::unique_ptr<kestrix::RegistryKey> root;
    try {
        root = kestrix::RegistryFile::Parse(bytes);
    } catch (const kestrix::Exception&) {
        return 0;
    }
    const QByteArray text = kestrix::RegistryFile::Serialize(*root);
    if (kestrix::RegistryFile::Serialize(*kestrix::RegistryFile::Parse(text)) != text)
        std::abort();
    return 0;
}
