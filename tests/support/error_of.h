#pragma once

#include "exceptions.h"

#include <functional>
#include <string>

namespace kestrix::test_support {

// What call raises: "<class>: <message>" of the failure, or "no error".
inline std::string ErrorOf(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Exception& e) {
        return e.ClassName() + ": " + e.Message();
    }
    return "no error";
}

}  // namespace kestrix::test_support
