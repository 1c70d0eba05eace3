#include <dlfcn.h>

#include "platform/Module.h"

namespace vexo::platform {

void* ModuleContaining(const void* address) {
    Dl_info info{};
    return dladdr(address, &info) ? info.dli_fbase : nullptr;
}

bool PinModuleContaining(const void* address) {
    Dl_info info{};
    if (!dladdr(address, &info) || !info.dli_fname) {
        return false;
    }
    // A second reference that is never dropped, marked never to unload.
    return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}

}  // namespace vexo::platform
