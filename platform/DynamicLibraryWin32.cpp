#include <windows.h>

#include "platform/DynamicLibrary.h"

namespace vexo::platform {
namespace {

std::string LastErrorText(const std::string& path) {
    const DWORD code = GetLastError();
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = "cannot load " + path + " (error " + std::to_string(code) + ")";
    if (length && text) {
        message += ": ";
        message.append(text, length);
        while (!message.empty() && (message.back() == '\n' || message.back() == '\r')) {
            message.pop_back();
        }
    }
    LocalFree(text);
    return message;
}

}  // namespace

std::unique_ptr<DynamicLibrary> DynamicLibrary::Open(const std::string& path, std::string* error) {
    // A plug-in that fails to load must not stop a host with a system dialog.
    const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryA(path.c_str());
    SetErrorMode(previous);
    if (!module) {
        if (error) {
            *error = LastErrorText(path);
        }
        return nullptr;
    }
    return std::unique_ptr<DynamicLibrary>(new DynamicLibrary(module, path));
}

DynamicLibrary::~DynamicLibrary() {
    FreeLibrary(static_cast<HMODULE>(handle_));
}

void* DynamicLibrary::Symbol(const char* name) const {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::optional<std::vector<uint8_t>> DynamicLibrary::Resource(const char* type, int id) const {
    const auto module = static_cast<HMODULE>(handle_);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(id), type);
    if (!found) {
        return std::nullopt;
    }
    HGLOBAL loaded = LoadResource(module, found);
    const DWORD size = SizeofResource(module, found);
    const auto* bytes = loaded ? static_cast<const uint8_t*>(LockResource(loaded)) : nullptr;
    if (!bytes) {
        return std::nullopt;
    }
    return std::vector<uint8_t>(bytes, bytes + size);
}

bool DynamicLibrary::HasResources() {
    return true;
}

}  // namespace vexo::platform
