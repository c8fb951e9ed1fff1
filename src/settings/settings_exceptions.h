#pragma once

#include "exceptions.h"

namespace kestrix {

// A failure of the registry storage or of its store file.
class RegistryError : public Exception {
public:
    explicit RegistryError(const std::string& message) : Exception("RegistryError", message) {}
};

// A failure of the ini-file storage.
class IniFileError : public Exception {
public:
    explicit IniFileError(const std::string& message) : Exception("IniFileError", message) {}
};

}  // namespace kestrix
