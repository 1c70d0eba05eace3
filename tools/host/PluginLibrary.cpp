#include "tools/host/PluginLibrary.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/DynamicLibrary.h"

namespace vexo::filterhost {
namespace {

std::optional<std::vector<uint8_t>> ReadFileBeside(const std::string& libraryPath) {
    std::ifstream file(PluginLibrary::PropertyListFileBeside(libraryPath), std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>());
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) : path_(path), reader_(&ReadFileBeside) {
    std::string error;
    library_ = platform::DynamicLibrary::Open(path, &error);
    if (!library_) {
        throw std::runtime_error(error);
    }
}

PluginLibrary::~PluginLibrary() = default;

void* PluginLibrary::Symbol(const char* name) const {
    return library_->Symbol(name);
}

PluginEntry PluginLibrary::Entry(const char* name) const {
    return reinterpret_cast<PluginEntry>(library_->Symbol(name));
}

std::optional<std::vector<uint8_t>> PluginLibrary::PropertyList() const {
    if (platform::DynamicLibrary::HasResources()) {
        return library_->Resource(kPropertyListType, kPropertyListId);
    }
    return reader_ ? reader_(path_) : std::nullopt;
}

std::string PluginLibrary::PropertyListFileBeside(const std::string& libraryPath) {
    const size_t slash = libraryPath.find_last_of("/\\");
    const size_t dot = libraryPath.find_last_of('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? libraryPath.substr(0, dot) : libraryPath) + ".pipl";
}

}  // namespace vexo::filterhost
