#include "tools/host/PluginLibrary.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "platform/DynamicLibrary.h"

namespace vexo::filterhost {
namespace {

// What a path names, when it is there and no regular file.
std::optional<std::string> NonRegularKind(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status) || std::filesystem::is_regular_file(status)) {
        return std::nullopt;
    }
    switch (status.type()) {
        case std::filesystem::file_type::directory:
            return "a folder";
        case std::filesystem::file_type::fifo:
            return "a FIFO";
        case std::filesystem::file_type::character:
            return "a character device";
        case std::filesystem::file_type::block:
            return "a block device";
        case std::filesystem::file_type::socket:
            return "a socket";
        default:
            return "no regular file";
    }
}

std::optional<std::vector<uint8_t>> ReadFileBeside(const std::string& libraryPath) {
    const std::string path = PluginLibrary::PropertyListFileBeside(libraryPath);
    // Opening a FIFO would wait for a writer.
    if (NonRegularKind(path)) {
        return std::nullopt;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>());
}

}  // namespace

PluginLibrary::PluginLibrary(const std::string& path) : path_(path), reader_(&ReadFileBeside) {
    // A library is a file. The system's loader, opening a FIFO, would wait for a
    // writer for ever, before any word to the user.
    if (const std::optional<std::string> kind = NonRegularKind(path)) {
        throw std::runtime_error("it is " + *kind + ", not a regular file");
    }
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
