#include "host/TrackedMemory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "host/HostGlobals.h"
#include "tests/host/HostCall.h"
#include "tools/host/FilterHost.h"

namespace {

using vexo::filterhost::BufferCall;
using vexo::filterhost::BufferOp;
using vexo::filterhost::FilterHost;
using vexo::filterhost::HostFaults;
using vexo::filterhost::HostImage;

// Stands in for the C heap: can refuse allocations, and notes each release in the
// host's call sequence so that heap and host releases can be ordered together.
class HeapWatch {
public:
    explicit HeapWatch(FilterHost& host) : host_(host), saved_(gTrackedHeap) {
        active_ = this;
        gTrackedHeap = {&Allocate, &Free};
    }
    ~HeapWatch() {
        gTrackedHeap = saved_;
        active_ = nullptr;
    }

    bool failing = false;
    struct HeapRelease {
        uint64_t sequence;
        void* block;
    };
    std::vector<HeapRelease> releases;

private:
    static void* Allocate(std::size_t count, std::size_t size) {
        return active_->failing ? nullptr : std::calloc(count, size);
    }
    static void Free(void* block) {
        active_->releases.push_back({active_->host_.NextSequence(), block});
        std::free(block);
    }

    static inline HeapWatch* active_ = nullptr;
    FilterHost& host_;
    TrackedHeap saved_;
};

class TrackedMemory : public ::testing::Test {
protected:
    FilterHost host{HostImage(4, 4, 1, 8)};
    HostCall call{host};
    HeapWatch heap{host};

    void TearDown() override { EXPECT_TRUE(host.Misuses().empty()); }

    std::vector<BufferOp> BufferOps() const {
        std::vector<BufferOp> ops;
        for (const BufferCall& c : host.BufferCalls()) {
            ops.push_back(c.op);
        }
        return ops;
    }

    static std::vector<AllocationRecord*> Listed() {
        std::vector<AllocationRecord*> records;
        for (AllocationRecord* r = gAllocationList.head; r != nullptr; r = r->next) {
            records.push_back(r);
        }
        return records;
    }
};

bool AllZero(const void* block, std::size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(block);
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] != 0) {
            return false;
        }
    }
    return true;
}

struct AllocationCase {
    std::string name;
    HostFaults faults;
    bool heapFails;
    int16_t resultBefore;
    int16_t resultAfter;
    bool returnsBlock;
    int32_t fromHeap;  // of the listed block
    std::vector<BufferOp> hostCalls;
};

HostFaults Faults(void (*set)(HostFaults&)) {
    HostFaults faults;
    set(faults);
    return faults;
}

TEST_F(TrackedMemory, AllocationRowsGiveTheirBlockAndResultWord) {
    const std::vector<AllocationCase> cases = {
        {"host delivers", {}, false, 0, 0, true, 0, {BufferOp::Allocate, BufferOp::Lock}},
        {"no buffer suite",
         Faults([](HostFaults& f) { f.noBufferSuite = true; }),
         false,
         0,
         0,
         true,
         1,
         {}},
        {"allocateProc refuses",
         Faults([](HostFaults& f) { f.failAllocationAt = 1; }),
         false,
         0,
         memFullErr,
         true,
         1,
         {BufferOp::Allocate}},
        {"allocateProc refuses with its own code",
         Faults([](HostFaults& f) {
             f.failAllocationAt = 1;
             f.failureCode = -1;
         }),
         false,
         0,
         -1,
         true,
         1,
         {BufferOp::Allocate}},
        {"lockProc gives null",
         Faults([](HostFaults& f) { f.failBufferLockAt = 1; }),
         false,
         0,
         memFullErr,
         true,
         1,
         {BufferOp::Allocate, BufferOp::Lock, BufferOp::Free}},
        {"host and heap fail",
         Faults([](HostFaults& f) { f.failAllocationAt = 1; }),
         true,
         0,
         memFullErr,
         false,
         0,
         {BufferOp::Allocate}},
        {"lock and heap fail",
         Faults([](HostFaults& f) { f.failBufferLockAt = 1; }),
         true,
         0,
         memFullErr,
         false,
         0,
         {BufferOp::Allocate, BufferOp::Lock, BufferOp::Free}},
        // -108 is 0xFF94; an earlier 1 in the word stays beside it.
        {"heap fails on top of an earlier code",
         Faults([](HostFaults& f) { f.noBufferSuite = true; }),
         true,
         1,
         -107,
         false,
         0,
         {}},
        // The host's answer decides; an error already in the word does not turn a
        // delivered buffer away.
        {"earlier error in the word",
         {},
         false,
         userCanceledErr,
         userCanceledErr,
         true,
         0,
         {BufferOp::Allocate, BufferOp::Lock}},
    };
    for (const AllocationCase& c : cases) {
        SCOPED_TRACE(c.name);
        host.SetFaults(c.faults);
        host.ClearLogs();
        heap.failing = c.heapFails;
        *gResult = c.resultBefore;

        void* block = AllocateTrackedMemory(64);

        EXPECT_EQ(*gResult, c.resultAfter);
        EXPECT_EQ(BufferOps(), c.hostCalls);
        ASSERT_EQ(block != nullptr, c.returnsBlock);
        if (block == nullptr) {
            EXPECT_TRUE(Listed().empty());
        } else {
            EXPECT_TRUE(AllZero(block, 64));
            ASSERT_EQ(Listed().size(), 1u);
            EXPECT_EQ(Listed()[0]->block, block);
            EXPECT_EQ(Listed()[0]->fromHeap, c.fromHeap);
            FreeTrackedMemory(block);
        }
        // A buffer given up after a failed lock goes straight back to the host.
        EXPECT_TRUE(host.LiveBuffers().empty());
        EXPECT_TRUE(Listed().empty());
    }
}

TEST_F(TrackedMemory, IncompleteBufferSuiteCountsAsNone) {
    BufferProcs partial = *host.Record()->bufferProcs;
    partial.unlockProc = nullptr;
    host.Record()->bufferProcs = &partial;
    void* block = AllocateTrackedMemory(16);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Listed()[0]->fromHeap, 1);
    EXPECT_TRUE(host.BufferCalls().empty());
    EXPECT_EQ(*gResult, 0);
}

TEST_F(TrackedMemory, ZeroSizeHostBlockIsListedAndNotWritten) {
    auto* block = static_cast<unsigned char*>(AllocateTrackedMemory(0));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(Listed()[0]->fromHeap, 0);
    // The host fills new buffers with 0xA5; a zero-size block is left as it is.
    EXPECT_EQ(*block, static_cast<unsigned char>(vexo::filterhost::kUnsetByte));
}

TEST_F(TrackedMemory, SizeBeyondTheHostsRangeGoesToTheHeap) {
    heap.failing = true;  // keeps the test from taking 2 GB
    EXPECT_EQ(AllocateTrackedMemory(0x80000000u), nullptr);
    EXPECT_TRUE(host.BufferCalls().empty());
    EXPECT_EQ(*gResult, memFullErr);
}

TEST_F(TrackedMemory, FreeingAHostBlockUnlocksThenFrees) {
    void* block = AllocateTrackedMemory(32);
    ASSERT_NE(block, nullptr);
    host.ClearLogs();
    FreeTrackedMemory(block);
    EXPECT_EQ(BufferOps(), (std::vector<BufferOp>{BufferOp::Unlock, BufferOp::Free}));
    EXPECT_TRUE(host.LiveBuffers().empty());
    EXPECT_TRUE(Listed().empty());

    // Twice, null, and a block never handed out: nothing happens.
    host.ClearLogs();
    int unlisted = 0;
    FreeTrackedMemory(block);
    FreeTrackedMemory(nullptr);
    FreeTrackedMemory(&unlisted);
    EXPECT_TRUE(host.BufferCalls().empty());
    EXPECT_TRUE(heap.releases.empty());
    EXPECT_EQ(*gResult, 0);
}

TEST_F(TrackedMemory, FreeAllReleasesNewestFirst) {
    HostFaults secondFromHeap;
    secondFromHeap.failAllocationAt = 2;
    host.SetFaults(secondFromHeap);
    void* a = AllocateTrackedMemory(8);
    void* b = AllocateTrackedMemory(8);
    void* c = AllocateTrackedMemory(8);
    ASSERT_TRUE(a && b && c);
    const uintptr_t idA = reinterpret_cast<uintptr_t>(Listed()[0]->bufferID);
    const uintptr_t idC = reinterpret_cast<uintptr_t>(Listed()[2]->bufferID);
    ASSERT_EQ(Listed()[1]->fromHeap, 1);
    host.ClearLogs();

    FreeAllAllocations();

    // Host calls and heap releases in one sequence.
    auto name = [&](uintptr_t id) { return id == idA ? "A" : id == idC ? "C" : "?"; };
    std::vector<std::pair<uint64_t, std::string>> steps;
    for (const BufferCall& call : host.BufferCalls()) {
        const char* op = call.op == BufferOp::Unlock ? "unlock "
                         : call.op == BufferOp::Free ? "free "
                                                     : "other ";
        steps.emplace_back(call.sequence, op + std::string(name(call.id)));
    }
    for (const HeapWatch::HeapRelease& release : heap.releases) {
        steps.emplace_back(release.sequence, release.block == b ? "heap B" : "heap ?");
    }
    std::sort(steps.begin(), steps.end());
    std::vector<std::string> order;
    for (const auto& step : steps) {
        order.push_back(step.second);
    }
    EXPECT_EQ(order,
              (std::vector<std::string>{"unlock C", "free C", "heap B", "unlock A", "free A"}));
    EXPECT_TRUE(Listed().empty());
    EXPECT_EQ(gAllocationList.tail, nullptr);
    EXPECT_TRUE(host.LiveBuffers().empty());

    host.ClearLogs();
    FreeAllAllocations();
    EXPECT_TRUE(host.BufferCalls().empty());
}

// The record of the releasing call has lost its suite: the listing still ends, and
// nothing is called through a null pointer.
TEST_F(TrackedMemory, HostBlockReleasedWithoutASuiteIsDroppedSafely) {
    void* block = AllocateTrackedMemory(8);
    ASSERT_NE(block, nullptr);
    HostFaults noSuite;
    noSuite.noBufferSuite = true;
    host.SetFaults(noSuite);
    host.ClearLogs();
    FreeTrackedMemory(block);
    EXPECT_TRUE(Listed().empty());
    EXPECT_TRUE(host.BufferCalls().empty());
}

// Listed as host blocks of made-up ids: should the test stop early, the clean-up
// hands them to the filter host, which refuses unknown ids, not to free().
TEST_F(TrackedMemory, UntrackingKeepsTheListLinkedBothWays) {
    int blocks[4] = {};
    for (int& block : blocks) {
        ASSERT_EQ(TrackAllocation(&block, reinterpret_cast<BufferID>(&block), 0), 0);
    }
    BufferID id = nullptr;
    int32_t fromHeap = 7;
    ASSERT_EQ(UntrackAllocation(&blocks[1], &id, &fromHeap), 0);
    EXPECT_EQ(id, reinterpret_cast<BufferID>(&blocks[1]));
    EXPECT_EQ(fromHeap, 0);
    ASSERT_EQ(UntrackAllocation(&blocks[3], &id, &fromHeap), 0);  // the tail
    ASSERT_EQ(UntrackAllocation(&blocks[0], &id, &fromHeap), 0);  // the head

    ASSERT_EQ(Listed().size(), 1u);
    EXPECT_EQ(gAllocationList.head, gAllocationList.tail);
    EXPECT_EQ(gAllocationList.head->block, &blocks[2]);
    EXPECT_EQ(gAllocationList.head->prev, nullptr);
    EXPECT_EQ(gAllocationList.head->next, nullptr);

    // Not listed: -1, and nothing written.
    id = nullptr;
    fromHeap = 7;
    EXPECT_EQ(UntrackAllocation(&blocks[1], &id, &fromHeap), -1);
    EXPECT_EQ(id, nullptr);
    EXPECT_EQ(fromHeap, 7);
    ASSERT_EQ(UntrackAllocation(&blocks[2], &id, &fromHeap), 0);
    EXPECT_EQ(gAllocationList.head, nullptr);
    EXPECT_EQ(gAllocationList.tail, nullptr);
}

}  // namespace
