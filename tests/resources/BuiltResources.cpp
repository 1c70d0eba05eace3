#include "BuiltResources.h"

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#if defined(_WIN32)
#include "PluginDataFile.h"
#endif

namespace vexo::test {

Bytes ReadWholeFile(const char* path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error(std::string("cannot open ") + path);
    }
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

#if defined(_WIN32)

Bytes BuiltPropertyList() {
    return PluginDataFile().Resource("PIPL", 16002);
}
Bytes BuiltTerminology() {
    return PluginDataFile().Resource("AETE", 16003);
}

#else

Bytes BuiltPropertyList() {
    return ReadWholeFile(VEXO_PROPERTY_LIST_FILE);
}
Bytes BuiltTerminology() {
    return ReadWholeFile(VEXO_TERMINOLOGY_FILE);
}

#endif

}  // namespace vexo::test
