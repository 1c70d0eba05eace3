#include "PluginDataFile.h"

#include <stdexcept>
#include <string>

namespace vexo::test {

PluginDataFile::PluginDataFile()
    : module_(LoadLibraryExA(VEXO_PLUGIN_FILE, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
    if (module_ == nullptr) {
        throw std::runtime_error("cannot load " VEXO_PLUGIN_FILE ", error " +
                                 std::to_string(GetLastError()));
    }
}

PluginDataFile::~PluginDataFile() {
    FreeLibrary(module_);
}

Bytes PluginDataFile::Resource(LPCSTR type, WORD id) const {
    HRSRC found = FindResourceA(module_, MAKEINTRESOURCEA(id), type);
    HGLOBAL loaded = found != nullptr ? LoadResource(module_, found) : nullptr;
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr) {
        throw std::runtime_error("the plug-in has no resource " + std::to_string(id) +
                                 " of that type");
    }
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    return Bytes(bytes, bytes + SizeofResource(module_, found));
}

}  // namespace vexo::test
