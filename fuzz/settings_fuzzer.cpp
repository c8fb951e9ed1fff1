// The settings store reading an arbitrary store file: parsing either fails with
// the store's exception or gives a key whose text parses back to the same text.
#include "exceptions.h"
#include "registry_text.h"

#include <QByteArray>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    std::unique_ptr<kestrix::RegistryKey> root;
    try {
        root = kestrix::RegistryText::Parse(bytes);
    } catch (const kestrix::Exception&) {
        return 0;
    }
    const QByteArray text = kestrix::RegistryText::Serialize(*root);
    if (kestrix::RegistryText::Serialize(*kestrix::RegistryText::Parse(text)) != text)
        std::abort();
    return 0;
}
