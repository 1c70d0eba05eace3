#include <gtest/gtest.h>

#include <omp.h>

#include <cstdint>

#include "correction/ParallelRuntime.h"
#include "platform/Platform.h"

// The run's preparation and pace against LLVM's runtime shared with the host, as a build with
// clang and the system's libomp links it: the header is LLVM's, the runtime is not ours, and
// its settings stay the host's through a whole run, one whose rows crawl included.
namespace {

#if !defined(KMP_VERSION_MAJOR)
#error "built against LLVM's omp.h"
#endif

uint32_t gClockNow = 0;

// Every row window takes longer than a crawling one.
uint32_t CrawlingClock() {
    return gClockNow += 1000;
}

TEST(SharedRuntime, KeepsTheHostsBlocktimeThroughARunWhoseRowsCrawl) {
    constexpr int kHostsBlocktime = 37;
    kmp_set_blocktime(kHostsBlocktime);
    vexo::platform::ScopedServices services;
    services->tickCount = CrawlingClock;

    PrepareParallelRuntime();
    EXPECT_EQ(kmp_get_blocktime(), kHostsBlocktime) << "after the run's preparation";
    RowPace pace;
    for (int row = 0; row < 4000; ++row) {
        pace.RowDone();
    }
    EXPECT_EQ(kmp_get_blocktime(), kHostsBlocktime) << "after the crawling rows";
}

}  // namespace
