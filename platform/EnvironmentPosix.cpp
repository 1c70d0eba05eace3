#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/Environment.h"

namespace vexo::platform {

EnvironmentRead ReadEnvironmentValue(const char* name, char* value, size_t size) {
    const char* found = std::getenv(name);
    if (!found) {
        return EnvironmentRead::Missing;
    }
    const size_t length = std::strlen(found);
    if (length >= size) {
        return EnvironmentRead::TooLong;
    }
    std::memcpy(value, found, length + 1);
    return EnvironmentRead::Found;
}

void SetEnvironmentValue(const char* name, const char* value) {
    if (value) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

uint32_t CurrentProcessId() { return static_cast<uint32_t>(getpid()); }

}  // namespace vexo::platform
