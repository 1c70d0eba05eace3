#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/Platform.h"

namespace vexo::testing {

// For the length of one test: the processor query answers what the test says, only the paths
// the test adds exist, and pauses are recorded instead of slept. The real services come back at
// the end.
class StubbedServices {
public:
    explicit StubbedServices(int32_t cores = 4) {
        State() = {};
        State().query = {platform::CoreQueryStatus::Ok, cores};
        services_->queryPhysicalCores = [] { return State().query; };
        services_->pathExists = [](const char* path) {
            State().queriedPaths.emplace_back(path);
            return State().existingPaths.count(path) != 0;
        };
        services_->sleepMilliseconds = [](uint32_t ms) { State().sleeps.push_back(ms); };
    }

    StubbedServices(const StubbedServices&) = delete;
    StubbedServices& operator=(const StubbedServices&) = delete;

    void SetQuery(platform::CoreQueryStatus status, int32_t cores) {
        State().query = {status, cores};
    }
    void AddPath(const std::string& path) { State().existingPaths.insert(path); }
    void RemovePath(const std::string& path) { State().existingPaths.erase(path); }
    // Lets the real file system answer the path tests.
    void UseRealPaths() { services_->pathExists = platform::SystemServices().pathExists; }

    const std::vector<uint32_t>& Sleeps() const { return State().sleeps; }
    const std::vector<std::string>& QueriedPaths() const { return State().queriedPaths; }

private:
    struct Stubs {
        platform::CoreQueryResult query{};
        std::set<std::string> existingPaths;
        std::vector<std::string> queriedPaths;
        std::vector<uint32_t> sleeps;
    };

    static Stubs& State() {
        static Stubs stubs;
        return stubs;
    }

    platform::ScopedServices services_;
};

}  // namespace vexo::testing
