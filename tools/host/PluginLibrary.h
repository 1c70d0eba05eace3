#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vexo::platform {
class DynamicLibrary;
}

namespace vexo::filterhost {

// The entry point that a host calls, under the name the property list gives.
using PluginEntry = void (*)(int16_t selector, void* record, intptr_t* data, int16_t* result);

constexpr const char* kDefaultEntryName = "PluginMain";
constexpr const char* kPropertyListType = "PIPL";
constexpr int kPropertyListId = 16002;

// A plug-in library loaded for real, as a host loads it.
class PluginLibrary {
public:
    // Reads a library's property list where the library carries no resources.
    using PropertyListReader =
        std::function<std::optional<std::vector<uint8_t>>(const std::string& libraryPath)>;

    // Throws std::runtime_error with the system's reason when the library does not load,
    // or when path names no regular file (a folder, FIFO or device).
    explicit PluginLibrary(const std::string& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    const std::string& Path() const { return path_; }

    // The exported entry point, or null when the library has none of that name.
    PluginEntry Entry(const char* name = kDefaultEntryName) const;
    void* Symbol(const char* name) const;

    // The property list's bytes: on Windows the library's "PIPL" resource 16002;
    // elsewhere whatever the reader gives, by default the file beside the library
    // with the extension ".pipl" (the build writes the plug-in's there).
    std::optional<std::vector<uint8_t>> PropertyList() const;
    void SetPropertyListReader(PropertyListReader reader) { reader_ = std::move(reader); }

    // The default reader's file for a library path.
    static std::string PropertyListFileBeside(const std::string& libraryPath);

private:
    std::string path_;
    std::unique_ptr<platform::DynamicLibrary> library_;
    PropertyListReader reader_;
};

}  // namespace vexo::filterhost
