#include <gtest/gtest.h>

#include <cstring>

#include "tools/host/FilterHost.h"

namespace vexo::filterhost {
namespace {

TEST(FilterHostHandles, KeepsBookOfEveryHandleAndCall) {
    FilterHost host(HostImage(4, 4, 1, 8));
    const HandleProcs& procs = *host.Record()->handleProcs;
    Handle h = procs.newProc(16);
    ASSERT_NE(h, nullptr);
    ASSERT_NE(*h, nullptr);
    EXPECT_EQ(host.LiveHandles().size(), 1u);
    EXPECT_EQ(procs.getSizeProc(h), 16);

    Ptr block = procs.lockProc(h, true);
    EXPECT_EQ(block, *h);
    EXPECT_EQ(host.HandleInfo(h)->lockCount, 1);
    EXPECT_EQ(static_cast<std::byte>(block[15]), kUnsetByte);
    std::memcpy(block, "0123456789abcdef", 16);
    procs.unlockProc(h);
    procs.unlockProc(h);
    EXPECT_EQ(host.HandleInfo(h)->lockCount, 0);

    procs.disposeProc(h);
    EXPECT_TRUE(host.LiveHandles().empty());
    EXPECT_FALSE(host.HandleInfo(h).has_value());
    EXPECT_TRUE(host.Misuses().empty());

    const auto& calls = host.HandleCalls();
    const HandleOp ops[] = {HandleOp::New,    HandleOp::GetSize, HandleOp::Lock,
                            HandleOp::Unlock, HandleOp::Unlock,  HandleOp::Dispose};
    ASSERT_EQ(calls.size(), std::size(ops));
    for (size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(calls[i].op, ops[i]);
        EXPECT_EQ(calls[i].handle, h);
        EXPECT_TRUE(calls[i].succeeded);
    }
    EXPECT_EQ(calls[0].size, 16);
    EXPECT_TRUE(calls[2].moveHigh);
}

// A resized block moves, as on any host: only a plug-in that locks keeps an address.
TEST(FilterHostHandles, ResizingKeepsTheContentsMovesTheBlockAndNeedsItUnlocked) {
    FilterHost host(HostImage(4, 4, 1, 8));
    const HandleProcs& procs = *host.Record()->handleProcs;
    Handle h = procs.newProc(4);
    std::memcpy(*h, "abcd", 4);
    const char* before = *h;
    ASSERT_EQ(procs.setSizeProc(h, 8), noErr);
    EXPECT_NE(*h, before);
    EXPECT_EQ(std::memcmp(*h, "abcd", 4), 0);
    EXPECT_EQ(static_cast<std::byte>((*h)[7]), kUnsetByte);
    EXPECT_EQ(procs.getSizeProc(h), 8);
    ASSERT_EQ(procs.setSizeProc(h, 2), noErr);
    EXPECT_EQ(std::memcmp(*h, "ab", 2), 0);

    procs.lockProc(h, true);
    EXPECT_EQ(procs.setSizeProc(h, 100), memFullErr);
    EXPECT_EQ(procs.getSizeProc(h), 2);
    EXPECT_EQ(procs.setSizeProc(h, -1), paramErr);
}

TEST(FilterHostHandles, UnknownHandlesAreReportedNotFollowed) {
    FilterHost host(HostImage(4, 4, 1, 8));
    const HandleProcs& procs = *host.Record()->handleProcs;
    Handle h = procs.newProc(4);
    procs.disposeProc(h);
    EXPECT_EQ(procs.lockProc(h, true), nullptr);
    procs.unlockProc(h);
    EXPECT_EQ(procs.getSizeProc(h), 0);
    EXPECT_EQ(procs.setSizeProc(h, 8), paramErr);
    procs.disposeProc(h);
    procs.disposeProc(nullptr);
    EXPECT_EQ(host.Misuses().size(), 6u);
    EXPECT_EQ(procs.newProc(-1), nullptr);
}

TEST(FilterHostHandles, FaultsFailExactlyTheNthCreationLockOrResize) {
    struct Case {
        const char* name;
        HostFaults faults;
        int failedCreation, failedLock, failedResize;
    };
    const Case cases[] = {
        {"first creation", {.failHandleCreationAt = 1}, 1, 0, 0},
        {"second creation", {.failHandleCreationAt = 2}, 2, 0, 0},
        {"second lock", {.failHandleLockAt = 2}, 0, 2, 0},
        {"third resize", {.failHandleResizeAt = 3, .failureCode = -4}, 0, 0, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FilterHost host(HostImage(4, 4, 1, 8));
        host.SetFaults(c.faults);
        const HandleProcs& procs = *host.Record()->handleProcs;
        int live = 0;
        int locks = 0;
        for (int n = 1; n <= 3; ++n) {
            Handle h = procs.newProc(4);
            if (n == c.failedCreation) {
                EXPECT_EQ(h, nullptr);
                EXPECT_TRUE(host.HandleCalls().back().injected);
                continue;
            }
            ASSERT_NE(h, nullptr);
            ++live;
            const OSErr resized = procs.setSizeProc(h, 8);
            EXPECT_EQ(resized, n == c.failedResize ? c.faults.failureCode : OSErr{noErr});
            const Ptr block = procs.lockProc(h, true);
            EXPECT_EQ(block == nullptr, ++locks == c.failedLock) << "lock " << locks;
            procs.unlockProc(h);
        }
        EXPECT_EQ(host.LiveHandles().size(), static_cast<size_t>(live));
    }
}

}  // namespace
}  // namespace vexo::filterhost
