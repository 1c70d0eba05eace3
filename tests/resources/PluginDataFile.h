#pragma once

#include <windows.h>

#include "ResourceReader.h"

namespace vexo::test {

// The built plug-in library, mapped as data only: its resources can be read
// without running any of its code.
class PluginDataFile {
public:
    PluginDataFile();
    ~PluginDataFile();
    PluginDataFile(const PluginDataFile&) = delete;
    PluginDataFile& operator=(const PluginDataFile&) = delete;

    HMODULE handle() const { return module_; }

    // The bytes of resource (type, id); throws std::runtime_error when it is missing.
    Bytes Resource(LPCSTR type, WORD id) const;

private:
    HMODULE module_;
};

}  // namespace vexo::test
