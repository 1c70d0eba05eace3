// Writes the property list and the scripting terminology as binary files, for the
// resource compiler to embed and for tools that read them without the library.
//
//     vexo_resource_generator <property-list file> <terminology file>

#include <cstdio>
#include <exception>
#include <fstream>

#include "HostResources.h"

namespace {

bool WriteFile(const char* path, const vexo::resources::Bytes& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    file.close();
    if (!file) {
        std::fprintf(stderr, "cannot write %s\n", path);
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <property-list file> <terminology file>\n", argv[0]);
        return 2;
    }
    try {
        bool written = WriteFile(argv[1], vexo::resources::PropertyList());
        written = WriteFile(argv[2], vexo::resources::Terminology()) && written;
        return written ? 0 : 1;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
}
