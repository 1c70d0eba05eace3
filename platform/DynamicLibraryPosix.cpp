#include <dlfcn.h>

#include "platform/DynamicLibrary.h"

namespace vexo::platform {

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& path, std::string* error) {
    // Local symbols: two plug-ins loaded side by side must not resolve each other's.
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        if (error) {
            const char* reason = dlerror();
            *error = reason ? reason : "cannot load " + path;
        }
        return nullptr;
    }
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(handle, path));
}

DynamicLibrary::~DynamicLibrary() {
    dlclose(handle_);
}

void* DynamicLibrary::Symbol(const char* name) const {
    return dlsym(handle_, name);
}

std::optional<std::vector<uint8_t>> DynamicLibrary::Resource(const char*, int) const {
    return std::nullopt;
}

bool DynamicLibrary::HasResources() {
    return false;
}

}  // namespace vexo::platform
