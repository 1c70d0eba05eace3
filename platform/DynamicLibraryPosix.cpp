#include <dlfcn.h>
#include <elf.h>
#include <link.h>

#include <fstream>
#include <string_view>
#include <vector>

#include "platform/DynamicLibrary.h"

namespace vexo::platform {
namespace {

// The system's loader maps a library's segments without checking that the file
// holds them, and then dies of SIGBUS on the first page past its end: a library
// cut short, by an interrupted copy say, must be refused before it gets there.
// Anything that is not a library of our own kind is left for the loader to refuse.
bool EndsBeforeItsSegments(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        return false;
    }
    const auto size = static_cast<uint64_t>(file.tellg());
    ElfW(Ehdr) header{};
    file.seekg(0);
    if (!file.read(reinterpret_cast<char*>(&header), sizeof header) ||
        std::string_view(reinterpret_cast<const char*>(header.e_ident), SELFMAG) != ELFMAG ||
        header.e_ident[EI_CLASS] != (sizeof(void*) == 8 ? ELFCLASS64 : ELFCLASS32) ||
        header.e_phentsize != sizeof(ElfW(Phdr))) {
        return false;
    }
    std::vector<ElfW(Phdr)> segments(header.e_phnum);
    file.seekg(static_cast<std::streamoff>(header.e_phoff));
    if (!file.read(reinterpret_cast<char*>(segments.data()),
                   static_cast<std::streamsize>(segments.size() * sizeof(ElfW(Phdr))))) {
        return true;
    }
    for (const ElfW(Phdr) & segment : segments) {
        if (segment.p_type == PT_LOAD &&
            (segment.p_offset > size || segment.p_filesz > size - segment.p_offset)) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& path, std::string* error) {
    if (EndsBeforeItsSegments(path)) {
        if (error) {
            *error = path + ": the file ends before the library does (is it truncated?)";
        }
        return nullptr;
    }
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
