#include "correction/ThreadCount.h"

#include "platform/Platform.h"

int32_t gThreadCount = 1;

namespace {

constexpr const char* kMarkerPaths[] = {
    "c:\\1Core", "c:\\2Core", "c:\\3Core", "c:\\4Core",
    "c:\\5Core", "c:\\6Core", "c:\\7Core", "c:\\8Core",
};

}  // namespace

int GetProcessorCoreCount() {
    namespace platform = vexo::platform;
    const platform::CoreQueryResult query = platform::QueryPhysicalCores();
    switch (query.status) {
        case platform::CoreQueryStatus::Unavailable:
            return 1;
        case platform::CoreQueryStatus::OutOfMemory:
            return 2;
        case platform::CoreQueryStatus::Failed:
            return 3;
        case platform::CoreQueryStatus::Ok:
            break;
    }
    int digit = 1;
    for (const char* marker : kMarkerPaths) {
        if (platform::PathExists(marker)) {
            return digit;
        }
        ++digit;
    }
    // A system that reports no core still runs, on one thread: zero threads is no valid request.
    return query.cores > 0 ? query.cores : 1;
}
