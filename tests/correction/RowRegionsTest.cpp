#include <gtest/gtest.h>

#include <omp.h>

#include <atomic>
#include <algorithm>
#include <cstdint>
#include <thread>
#include <vector>

#include "correction/PlaneDrivers.h"
#include "tests/correction/InMemoryHost.h"
#include "tests/correction/NoisePicture.h"
#include "tests/correction/StubbedServices.h"

// How the runtime shares a run out: one parallel region per output row, on exactly the run's
// thread count, each thread resampling the block of columns that a static schedule gives it.
namespace {

using vexo::testing::InMemoryHost;
using vexo::testing::StubbedServices;

struct BlockSeen {
    int32_t y;
    int32_t begin;
    int32_t end;
    int thread;
    int threads;
    int level;
    bool onHostThread;
};

// Enough room for every block of the largest case, so that no worker ever allocates.
constexpr size_t kMaxBlocks = 4096;
BlockSeen gSeen[kMaxBlocks];
std::atomic<size_t> gSeenCount{0};
std::thread::id gHostThread;

void RecordBlock(int32_t y, int32_t begin, int32_t end) {
    const size_t slot = gSeenCount.fetch_add(1);
    if (slot < kMaxBlocks) {
        gSeen[slot] = {y,
                       begin,
                       end,
                       omp_get_thread_num(),
                       omp_get_num_threads(),
                       omp_get_level(),
                       std::this_thread::get_id() == gHostThread};
    }
}

class ObservedRegions {
public:
    ObservedRegions() {
        gSeenCount = 0;
        gHostThread = std::this_thread::get_id();
        gRowRegionObserver = RecordBlock;
    }
    ~ObservedRegions() { gRowRegionObserver = nullptr; }
    ObservedRegions(const ObservedRegions&) = delete;
    ObservedRegions& operator=(const ObservedRegions&) = delete;
    std::vector<BlockSeen> Blocks() const {
        return {gSeen, gSeen + std::min(gSeenCount.load(), kMaxBlocks)};
    }
};

// The columns of thread t of n under a static schedule without chunk size: contiguous blocks in
// thread order, the first width % n of them one column longer.
int32_t StaticBlockBegin(int32_t width, int thread, int threads) {
    const int32_t base = width / threads;
    const int32_t longer = width % threads;
    return thread * base + std::min<int32_t>(thread, longer);
}

TEST(RowRegions, EveryRowIsItsOwnRegionOnTheRunsThreadsInStaticBlocks) {
    struct Case {
        int32_t width, height, depth, threads;
    };
    for (const Case c : {Case{29, 24, 8, 1}, Case{29, 24, 8, 3}, Case{24, 31, 16, 8},
                         Case{37, 25, 8, 8}}) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", depth " << c.depth
                                        << ", " << c.threads << " threads");
        constexpr int32_t kPlanes = 2;
        StubbedServices services(c.threads);
        InMemoryHost host(c.width, c.height, kPlanes, c.depth);
        host.FillInput(
            [](int32_t p, int32_t x, int32_t y) { return vexo::testing::Noise(p, x, y, 256); });
        ObservedRegions regions;
        host.Init(2);
        CARect inRect(c.width, c.height);
        CARect outRect(c.width, c.height);
        ASSERT_EQ(host.Process(inRect, outRect, CAProcessWholeImage), CAResultOk);

        const std::vector<BlockSeen> blocks = regions.Blocks();
        ASSERT_EQ(blocks.size(), static_cast<size_t>(kPlanes * c.height * c.threads));
        // The regions follow one another: the blocks of a row are all seen before any block
        // of the next, every plane's rows in order.
        for (size_t region = 0; region < blocks.size() / c.threads; ++region) {
            const int32_t y = static_cast<int32_t>(region % c.height);
            std::vector<bool> threadSeen(c.threads, false);
            for (int i = 0; i < c.threads; ++i) {
                const BlockSeen& b = blocks[region * c.threads + i];
                ASSERT_EQ(b.y, y) << "region " << region;
                EXPECT_EQ(b.threads, c.threads);
                EXPECT_EQ(b.level, 1) << "a nested or serialised region";
                ASSERT_GE(b.thread, 0);
                ASSERT_LT(b.thread, c.threads);
                EXPECT_FALSE(threadSeen[b.thread]) << "thread " << b.thread << " twice in a row";
                threadSeen[b.thread] = true;
                // The host's thread is one of the team, as its first thread.
                EXPECT_EQ(b.onHostThread, b.thread == 0) << "thread " << b.thread;
                EXPECT_EQ(b.begin, StaticBlockBegin(c.width, b.thread, c.threads));
                EXPECT_EQ(b.end, StaticBlockBegin(c.width, b.thread + 1, c.threads));
            }
        }
    }
}

}  // namespace
