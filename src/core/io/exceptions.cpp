#include "exceptions.h"

#include <cstring>

namespace kestrix {

std::string FormatMessage(const std::string& format, std::initializer_list<std::string> args)
{
    std::string out;
    auto arg = args.begin();
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] == '%' && i + 1 < format.size() && format[i + 1] == 's' && arg != args.end()) {
            out += *arg++;
            ++i;
        } else {
            out += format[i];
        }
    }
    return out;
}

std::string SystemErrorText(int errorCode)
{
    std::string text = std::strerror(errorCode);
    while (!text.empty()) {
        const unsigned char last = static_cast<unsigned char>(text.back());
        if (last <= ' ' || last == '.' || last == 0x7F)
            text.pop_back();
        else
            break;
    }
    return text;
}

}  // namespace kestrix
