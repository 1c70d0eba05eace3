#include <gtest/gtest.h>

#include <omp.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "correction/ParallelRuntime.h"
#include "platform/Environment.h"
#include "platform/Platform.h"

// The runtime's waiting as a run's pace asks for it. Only the runtime the Windows plug-in
// carries takes settings from us; a runtime shared with the host is never changed (see
// SharedRuntimeTest.cpp).
namespace {

#if defined(VEXO_PRIVATE_OPENMP_RUNTIME)

// A clock that moves on by the given step at each reading.
uint32_t gClockNow = 0;
std::vector<uint32_t> gClockSteps;
size_t gClockReading = 0;

uint32_t SteppingClock() {
    const uint32_t step = gClockSteps.empty() ? 0 : gClockSteps[gClockReading % gClockSteps.size()];
    ++gClockReading;
    gClockNow += step;
    return gClockNow;
}

TEST(RowPace, WorkersSleepBetweenRowsOnlyWhenRowsKeepCrawling) {
    struct Case {
        const char* name;
        std::vector<uint32_t> windowMs;  // what each window of rows takes, repeated
        bool sleeps;
    };
    const Case cases[] = {
        {"quiet rows", {1}, false},
        {"rows that stall now and then", {900, 2}, false},
        {"rows that crawl", {300}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        vexo::platform::ScopedServices services;
        services->tickCount = SteppingClock;
        gClockSteps = c.windowMs;
        gClockReading = 0;
        PrepareParallelRuntime();
        const int spinning = kmp_get_blocktime();
        ASSERT_GT(spinning, 0);
        gClockReading = gClockSteps.size() - 1;  // the first reading starts the first window
        RowPace pace;
        gClockReading = 0;
        for (int row = 0; row < 4000; ++row) {
            pace.RowDone();
        }
        EXPECT_EQ(kmp_get_blocktime(), c.sleeps ? 0 : spinning);
        // The next run starts spinning again.
        PrepareParallelRuntime();
        EXPECT_EQ(kmp_get_blocktime(), spinning);
    }
}

// Workers that sleep between regions are woken for every one: a lost wake-up hangs the run
// and a thread left out leaves its part of the row unwritten.
TEST(RowPace, SleepingWorkersTakePartInEveryRegion) {
    PrepareParallelRuntime();
    const int spinning = kmp_get_blocktime();
    kmp_set_blocktime(0);
    constexpr int kThreads = 4;
    constexpr int kRegions = 2000;
    std::vector<int> regionsSeen(kThreads, 0);
    for (int region = 0; region < kRegions; ++region) {
#pragma omp parallel num_threads(kThreads)
        {
            if (omp_get_num_threads() == kThreads) {
                ++regionsSeen[omp_get_thread_num()];
            }
        }
    }
    kmp_set_blocktime(spinning);
    EXPECT_EQ(regionsSeen, std::vector<int>(kThreads, kRegions));
}

std::string RegistrationName() {
    char name[48];
    std::snprintf(name, sizeof(name), "__KMP_REGISTERED_LIB_%u",
                  static_cast<unsigned>(vexo::platform::CurrentProcessId()));
    return name;
}

std::string Registration(const std::string& name) {
    char value[1024];
    return vexo::platform::ReadEnvironmentValue(name.c_str(), value, sizeof(value)) ==
                   vexo::platform::EnvironmentRead::Found
               ? value
               : "";
}

// A host's first runs on two threads at once, beside another copy of the runtime registered in
// the environment. The first run hides that registration while our runtime starts; a second
// run that begins meanwhile must not take what it then finds for the host's and put that back
// after the first has restored the real one. Under CTest this is the process's first start.
TEST(ParallelRuntimeStart, FirstRunsOnTwoThreadsAtOnceLeaveAnotherCopyRegistered) {
    const std::string name = RegistrationName();
    const std::string otherCopy = "0x7ffb2a4c1000-cafe1234-libomp.dll";  // as a copy writes it
    vexo::platform::SetEnvironmentValue(name.c_str(), otherCopy.c_str());

    std::atomic<bool> firstDone{false};
    std::atomic<bool> secondWaiting{false};
    std::thread second([&] {
        secondWaiting = true;
        // Into the first run's start: the registration is hidden, or already our runtime's.
        while (!firstDone && Registration(name) == otherCopy) {
        }
        PrepareParallelRuntime();
    });
    while (!secondWaiting) {
    }
    std::thread first([&] {
        PrepareParallelRuntime();
        firstDone = true;
    });
    first.join();
    second.join();

    EXPECT_EQ(Registration(name), otherCopy);
    vexo::platform::SetEnvironmentValue(name.c_str(), nullptr);
}

#endif

}  // namespace
