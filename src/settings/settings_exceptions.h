#pragma once

#include "exceptions.h"

namespace kestrix {

// A failure of the registry storage or of its store file.
class ERegistryException : public Exception {
public:
    explicit ERegistryException(const std::string& message) : Exception("ERegistryException", message) {}
};

// A failure of the ini-file storage.
class EIniFileException : public Exception {
public:
    explicit EIniFileException(const std::string& message) : Exception("EIniFileException", message) {}
};

}  // namespace kestrix
