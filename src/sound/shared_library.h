#pragma once

#include <dlfcn.h>

namespace kestrix {

// Opens the shared library of that soname ("libavutil.so.57") with all its
// symbols bound now and kept to itself; null when it cannot be opened. For
// the libraries a decoder opens at its first decode rather than at a
// program's start.
void* OpenSharedLibrary(const char* soname);

// Resolves name in library into function; false when it is missing.
template <typename Function>
bool ResolveSymbol(void* library, const char* name, Function& function)
{
    function = reinterpret_cast<Function>(dlsym(library, name));
    return function != nullptr;
}

}  // namespace kestrix
