#include <windows.h>

#include "platform/Environment.h"

namespace vexo::platform {

EnvironmentRead ReadEnvironmentValue(const char* name, char* value, size_t size) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableA(name, value, static_cast<DWORD>(size));
    if (length == 0) {
        // An empty value and a missing variable both give 0; only the error tells them apart.
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
            return EnvironmentRead::Missing;
        }
        if (size > 0) {
            value[0] = '\0';
        }
        return EnvironmentRead::Found;
    }
    // A value that does not fit gives the size it needs instead, terminator included.
    return length < size ? EnvironmentRead::Found : EnvironmentRead::TooLong;
}

void SetEnvironmentValue(const char* name, const char* value) {
    SetEnvironmentVariableA(name, value);
}

uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

}  // namespace vexo::platform
