#include "shared_library.h"

namespace kestrix {

void* OpenSharedLibrary(const char* soname)
{
    return dlopen(soname, RTLD_NOW | RTLD_LOCAL);
}

}  // namespace kestrix
