#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <set>
#include <string>
#include <utility>

#include "platform/Platform.h"

namespace vexo::platform {
namespace {

// Physical cores are the distinct (package, core) pairs of the online processors;
// logical processors of one core (simultaneous multithreading) count once.
CoreQueryResult QueryPhysicalCoresPosix() {
    const long processors = sysconf(_SC_NPROCESSORS_CONF);
    if (processors <= 0) {
        return {CoreQueryStatus::Failed, 0};
    }
    std::set<std::pair<std::string, std::string>> cores;
    for (long cpu = 0; cpu < processors; ++cpu) {
        const std::string topology = "/sys/devices/system/cpu/cpu" + std::to_string(cpu) + "/topology/";
        std::ifstream package(topology + "physical_package_id");
        std::ifstream core(topology + "core_id");
        std::string packageId;
        std::string coreId;
        if (!(package >> packageId) || !(core >> coreId)) {
            continue;
        }
        cores.emplace(packageId, coreId);
    }
    if (cores.empty()) {
        return {CoreQueryStatus::Unavailable, 0};
    }
    return {CoreQueryStatus::Ok, static_cast<int32_t>(cores.size())};
}

bool PathExistsPosix(const char* path) { return access(path, F_OK) == 0; }

uint32_t TickCountPosix() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                                 static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void SleepPosix(uint32_t milliseconds) {
    timespec pause{static_cast<time_t>(milliseconds / 1000),
                   static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&pause, &pause) != 0) {
    }
}

// There is no debugger channel: the lines are dropped.
void DebugOutputPosix(const char*) {}

void ShowErrorMessagePosix(const char* text, const char* caption) {
    std::fprintf(stderr, "%s: %s\n", caption, text);
}

// There is no shell to hand an address to; nothing opens.
void OpenAddressPosix(void*, const char*) {}

OsVersion OsVersionPosix() { return {0, 0, 0}; }

}  // namespace

const Services& SystemServices() {
    static const Services services = {
        QueryPhysicalCoresPosix, PathExistsPosix,       TickCountPosix,   SleepPosix,
        DebugOutputPosix,        ShowErrorMessagePosix, OpenAddressPosix, OsVersionPosix,
    };
    return services;
}

}  // namespace vexo::platform
