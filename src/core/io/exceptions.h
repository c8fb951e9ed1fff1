#pragma once

#include <stdexcept>
#include <string>

namespace kestrix {

// Base of every failure the system raises: a class name (as shown to the
// user and to scripts) and a message. what() returns the message.
class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : Exception("Exception", message) {}
    const std::string& ClassName() const noexcept { return m_className; }
    std::string Message() const { return what(); }

protected:
    Exception(std::string className, const std::string& message)
        : std::runtime_error(message), m_className(std::move(className))
    {
    }

private:
    std::string m_className;
};

#define KESTRIX_EXCEPTION(Name, Base)                                                                                  \
    class Name : public Base {                                                                                         \
    public:                                                                                                            \
        explicit Name(const std::string& message) : Base(#Name, message) {}                                            \
                                                                                                                       \
    protected:                                                                                                         \
        Name(std::string className, const std::string& message) : Base(std::move(className), message) {}               \
    };

KESTRIX_EXCEPTION(EStreamError, Exception)
KESTRIX_EXCEPTION(EReadError, EStreamError)
KESTRIX_EXCEPTION(EWriteError, EStreamError)
KESTRIX_EXCEPTION(EFOpenError, EStreamError)
KESTRIX_EXCEPTION(FileCreateError, EStreamError)
// A save would have replaced the file the open image was loaded from.
KESTRIX_EXCEPTION(ReplacesImageError, FileCreateError)
KESTRIX_EXCEPTION(EHexBuffer, Exception)
KESTRIX_EXCEPTION(ERangeError, Exception)
KESTRIX_EXCEPTION(EConvertError, Exception)

#undef KESTRIX_EXCEPTION

// Replaces each "%s" of format, in order, by the next argument (UTF-8 text).
std::string FormatMessage(const std::string& format, std::initializer_list<std::string> args);

// The operating system's text for an error code, with trailing blanks,
// control characters and full stops removed.
std::string SystemErrorText(int errorCode);

}  // namespace kestrix
