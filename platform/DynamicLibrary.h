#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// Loading a shared library at run time, as a host loads a plug-in. Only tools and
// tests use this; the plug-in itself never loads a library.
namespace vexo::platform {

class DynamicLibrary {
public:
    // Null on failure, with the system's reason in *error when error is given.
    static std::unique_ptr<DynamicLibrary> Open(const std::string& path, std::string* error);
    ~DynamicLibrary();
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    // The exported symbol's address, or null.
    void* Symbol(const char* name) const;

    // The bytes of the resource of this type and numeric id, or nothing when the
    // library has none. Only Windows libraries carry resources.
    std::optional<std::vector<uint8_t>> Resource(const char* type, int id) const;
    static bool HasResources();

    const std::string& Path() const { return path_; }

private:
    DynamicLibrary(void* handle, std::string path) : handle_(handle), path_(std::move(path)) {}

    void* handle_;
    std::string path_;
};

}  // namespace vexo::platform
