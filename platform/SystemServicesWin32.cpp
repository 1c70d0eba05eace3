#include <windows.h>
#include <shellapi.h>

#include <cstdlib>

#include "platform/Platform.h"

namespace vexo::platform {
namespace {

using GetLogicalProcessorInformationFn = BOOL(WINAPI*)(PSYSTEM_LOGICAL_PROCESSOR_INFORMATION,
                                                       PDWORD);

// Looked up at run time: older systems lack the call.
CoreQueryResult QueryPhysicalCoresWin32() {
    HMODULE kernel = GetModuleHandleA("kernel32");
    auto query = kernel ? reinterpret_cast<GetLogicalProcessorInformationFn>(reinterpret_cast<void*>(
                              GetProcAddress(kernel, "GetLogicalProcessorInformation")))
                        : nullptr;
    if (!query) {
        return {CoreQueryStatus::Unavailable, 0};
    }
    SYSTEM_LOGICAL_PROCESSOR_INFORMATION* buffer = nullptr;
    DWORD length = 0;
    while (!query(buffer, &length)) {
        const DWORD error = GetLastError();
        std::free(buffer);
        buffer = nullptr;
        if (error != ERROR_INSUFFICIENT_BUFFER) {
            return {CoreQueryStatus::Failed, 0};
        }
        buffer = static_cast<SYSTEM_LOGICAL_PROCESSOR_INFORMATION*>(std::calloc(length, 1));
        if (!buffer) {
            return {CoreQueryStatus::OutOfMemory, 0};
        }
    }
    int32_t cores = 0;
    const DWORD entrySize = sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION);
    for (DWORD offset = 0; offset + entrySize <= length; offset += entrySize) {
        if (buffer[offset / entrySize].Relationship == RelationProcessorCore) {
            ++cores;
        }
    }
    std::free(buffer);
    return {CoreQueryStatus::Ok, cores};
}

bool PathExistsWin32(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

uint32_t TickCountWin32() { return GetTickCount(); }

void SleepWin32(uint32_t milliseconds) { Sleep(milliseconds); }

void DebugOutputWin32(const char* line) { OutputDebugStringA(line); }

void ShowErrorMessageWin32(const char* text, const char* caption) {
    MessageBoxA(nullptr, text, caption, MB_SETFOREGROUND | MB_ICONERROR);
}

void OpenAddressWin32(void* owner, const char* address) {
    ShellExecuteA(static_cast<HWND>(owner), "open", address, nullptr, nullptr, SW_SHOWNORMAL);
}

OsVersion OsVersionWin32() {
    OSVERSIONINFOA info{};
    info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    GetVersionExA(&info);
#pragma GCC diagnostic pop
    return {info.dwPlatformId, info.dwMajorVersion, info.dwMinorVersion};
}

static_assert(sizeof(OSVERSIONINFOA) == 148);
static_assert(sizeof(SYSTEM_LOGICAL_PROCESSOR_INFORMATION) == 32);

}  // namespace

const Services& SystemServices() {
    static const Services services = {
        QueryPhysicalCoresWin32, PathExistsWin32,     TickCountWin32,   SleepWin32,
        DebugOutputWin32,        ShowErrorMessageWin32, OpenAddressWin32, OsVersionWin32,
    };
    return services;
}

}  // namespace vexo::platform
