// A library that carries the plug-in's OpenMP runtime as the plug-in does (statically, in a
// DLL), and reports on standard output what that runtime's exit handler did once it has run.
// The handler runs in the library's DLL_PROCESS_DETACH, from the C runtime's list of exit
// functions, last registered first: the report, registered before the runtime starts, comes
// after it. The runtime's first step in a clean-up is to withdraw its registration from the
// process environment, so whether that registration is still there tells whether the handler
// went into the clean-up.
#include <windows.h>

#include <omp.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

void Say(const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, static_cast<DWORD>(lstrlenA(text)), &written,
              nullptr);
}

void ReportWhatTheRuntimeLeft() {
    char name[48];
    std::snprintf(name, sizeof(name), "__KMP_REGISTERED_LIB_%lu", GetCurrentProcessId());
    char value[1024];
    const DWORD length = GetEnvironmentVariableA(name, value, sizeof(value));
    Say(length > 0 ? "runtime still registered\n" : "runtime unregistered\n");
}

// Before any OpenMP call, so before the runtime registers its own exit handler.
const bool gReportRegistered = std::atexit(ReportWhatTheRuntimeLeft) == 0;

}  // namespace

// Runs one parallel region on `threads` threads and returns how many of them took part, or -1
// when the report could not be registered.
extern "C" __declspec(dllexport) int ProbeParallelRegion(int threads) {
    if (!gReportRegistered) {
        return -1;
    }
    std::atomic<int> seen{0};
#pragma omp parallel num_threads(threads)
    { seen.fetch_add(1); }
    return seen.load();
}
