#include <gtest/gtest.h>

#include <cstring>

#include "tools/host/FilterHost.h"

namespace vexo::filterhost {
namespace {

TEST(FilterHostBuffers, KeepsBookOfEveryBufferAndCall) {
    FilterHost host(HostImage(4, 4, 1, 8));
    const BufferProcs& procs = *host.Record()->bufferProcs;
    BufferID id = nullptr;
    ASSERT_EQ(procs.allocateProc(100, &id), noErr);
    ASSERT_NE(id, nullptr);
    ASSERT_EQ(host.LiveBuffers().size(), 1u);
    EXPECT_EQ(host.Buffer(id)->size, 100);
    EXPECT_EQ(host.Buffer(id)->lockCount, 0);

    Ptr block = procs.lockProc(id, true);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(host.Buffer(id)->lockCount, 1);
    // Fresh buffers are not zeroed: a plug-in that relies on it shows.
    EXPECT_EQ(static_cast<std::byte>(block[0]), kUnsetByte);
    EXPECT_EQ(static_cast<std::byte>(block[99]), kUnsetByte);
    std::memset(block, 0, 100);
    EXPECT_EQ(procs.lockProc(id, false), block);
    EXPECT_EQ(host.Buffer(id)->lockCount, 2);
    procs.unlockProc(id);
    procs.unlockProc(id);
    procs.unlockProc(id);  // one too many changes nothing
    EXPECT_EQ(host.Buffer(id)->lockCount, 0);
    procs.freeProc(id);
    EXPECT_TRUE(host.LiveBuffers().empty());
    EXPECT_FALSE(host.Buffer(id).has_value());
    EXPECT_TRUE(host.Misuses().empty());

    const auto& calls = host.BufferCalls();
    const BufferOp ops[] = {BufferOp::Allocate, BufferOp::Lock,   BufferOp::Lock, BufferOp::Unlock,
                            BufferOp::Unlock,   BufferOp::Unlock, BufferOp::Free};
    ASSERT_EQ(calls.size(), std::size(ops));
    for (size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(calls[i].op, ops[i]);
        EXPECT_EQ(calls[i].id, reinterpret_cast<uintptr_t>(id));
        EXPECT_TRUE(calls[i].succeeded);
        EXPECT_FALSE(calls[i].injected);
        if (i > 0) {
            EXPECT_GT(calls[i].sequence, calls[i - 1].sequence);
        }
    }
    EXPECT_EQ(calls[0].size, 100);
    EXPECT_TRUE(calls[1].moveHigh);
    EXPECT_FALSE(calls[2].moveHigh);
}

TEST(FilterHostBuffers, AZeroSizeBufferStillLocksToAnAddress) {
    FilterHost host(HostImage(4, 4, 1, 8));
    const BufferProcs& procs = *host.Record()->bufferProcs;
    BufferID id = nullptr;
    ASSERT_EQ(procs.allocateProc(0, &id), noErr);
    EXPECT_NE(procs.lockProc(id, true), nullptr);
    EXPECT_EQ(host.Buffer(id)->size, 0);
}

TEST(FilterHostBuffers, SpaceShrinksWithLiveBuffersAndBoundsAllocations) {
    FilterHost host(HostImage(4, 4, 1, 8));
    host.SetBufferSpace(1000);
    const BufferProcs& procs = *host.Record()->bufferProcs;
    EXPECT_EQ(procs.spaceProc(), 1000);
    BufferID first = nullptr;
    ASSERT_EQ(procs.allocateProc(600, &first), noErr);
    EXPECT_EQ(procs.spaceProc(), 400);
    BufferID second = nullptr;
    EXPECT_EQ(procs.allocateProc(401, &second), memFullErr);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(procs.allocateProc(-1, &second), paramErr);
    EXPECT_EQ(second, nullptr);
    procs.freeProc(first);
    EXPECT_EQ(procs.spaceProc(), 1000);
    EXPECT_EQ(host.BufferCalls().back().op, BufferOp::Space);
    EXPECT_EQ(host.BufferCalls().back().size, 1000);
}

TEST(FilterHostBuffers, UnknownIdsAreReportedNotFollowed) {
    FilterHost host(HostImage(4, 4, 1, 8));
    const BufferProcs& procs = *host.Record()->bufferProcs;
    BufferID id = nullptr;
    ASSERT_EQ(procs.allocateProc(8, &id), noErr);
    procs.freeProc(id);
    EXPECT_EQ(procs.lockProc(id, true), nullptr);
    procs.unlockProc(id);
    procs.freeProc(id);
    procs.freeProc(reinterpret_cast<BufferID>(uintptr_t{0xDEAD}));
    EXPECT_EQ(host.Misuses().size(), 4u);
    EXPECT_FALSE(host.BufferCalls().back().succeeded);
}

TEST(FilterHostBuffers, FaultsFailExactlyTheNthAllocationOrLock) {
    struct Case {
        const char* name;
        HostFaults faults;
        int failedAllocation;  // 1-based; 0: none
        int failedLock;
    };
    const Case cases[] = {
        {"first allocation", {.failAllocationAt = 1}, 1, 0},
        {"third allocation", {.failAllocationAt = 3, .failureCode = -1}, 3, 0},
        {"second lock", {.failBufferLockAt = 2}, 0, 2},
        {"nothing", {}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FilterHost host(HostImage(4, 4, 1, 8));
        host.SetFaults(c.faults);
        const BufferProcs& procs = *host.Record()->bufferProcs;
        int locks = 0;
        for (int n = 1; n <= 4; ++n) {
            BufferID id = nullptr;
            const OSErr result = procs.allocateProc(16, &id);
            if (n == c.failedAllocation) {
                EXPECT_EQ(result, c.faults.failureCode);
                EXPECT_EQ(id, nullptr);
                EXPECT_TRUE(host.BufferCalls().back().injected);
                continue;
            }
            ASSERT_EQ(result, noErr) << "allocation " << n;
            const Ptr block = procs.lockProc(id, true);
            EXPECT_EQ(block == nullptr, ++locks == c.failedLock) << "lock " << locks;
            EXPECT_EQ(host.Buffer(id)->lockCount, block ? 1 : 0);
        }
        EXPECT_EQ(host.LiveBuffers().size(), c.failedAllocation ? 3u : 4u);
    }
}

TEST(FilterHostBuffers, SettingFaultsRestartsTheCount) {
    FilterHost host(HostImage(4, 4, 1, 8));
    const BufferProcs& procs = *host.Record()->bufferProcs;
    BufferID id = nullptr;
    ASSERT_EQ(procs.allocateProc(1, &id), noErr);
    host.SetFaults({.failAllocationAt = 1});
    EXPECT_EQ(procs.allocateProc(1, &id), memFullErr);
    EXPECT_EQ(procs.allocateProc(1, &id), noErr);
}

}  // namespace
}  // namespace vexo::filterhost
