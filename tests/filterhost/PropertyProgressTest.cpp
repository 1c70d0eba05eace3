#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "tools/host/FilterHost.h"

namespace vexo::filterhost {
namespace {

constexpr OSType kTitle = MakeOSType("titl");

TEST(FilterHostProperties, StoresAnswersAndRecordsEveryCall) {
    FilterHost host(HostImage(4, 4, 1, 8));
    host.SetProperty(kTitle, 0, 99);
    const PropertyProcs& procs = *host.Record()->propertyProcs;
    const OSType sig = host.Record()->hostSig;

    EXPECT_EQ(procs.setPropertyProc(sig, propWatchSuspension, 0, 0, nullptr), noErr);
    EXPECT_EQ(host.Property(propWatchSuspension), 0);
    intptr_t value = -1;
    Handle complex = reinterpret_cast<Handle>(&value);
    EXPECT_EQ(procs.getPropertyProc(sig, kTitle, 0, &value, &complex), noErr);
    EXPECT_EQ(value, 99);
    EXPECT_EQ(complex, nullptr);
    EXPECT_EQ(procs.getPropertyProc(sig, kTitle, 1, &value, nullptr), errPlugInPropertyUndefined);
    EXPECT_EQ(procs.getPropertyProc(sig, kTitle, 0, nullptr, nullptr), paramErr);

    const auto& calls = host.PropertyCalls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0].op, PropertyOp::Set);
    EXPECT_EQ(calls[0].signature, kHostSignature);
    EXPECT_EQ(calls[0].key, propWatchSuspension);
    EXPECT_EQ(calls[0].index, 0);
    EXPECT_EQ(calls[0].simpleValue, 0);
    EXPECT_EQ(calls[0].complexValue, nullptr);
    EXPECT_EQ(calls[1].op, PropertyOp::Get);
    EXPECT_EQ(calls[1].simpleValue, 99);
    EXPECT_EQ(calls[2].result, errPlugInPropertyUndefined);
    EXPECT_EQ(host.Misuses().size(), 1u);
}

TEST(FilterHostProperties, FaultFailsTheNthCallOfEitherKind) {
    FilterHost host(HostImage(4, 4, 1, 8));
    host.SetFaults({.failPropertyAt = 2, .failureCode = -30900});
    const PropertyProcs& procs = *host.Record()->propertyProcs;
    intptr_t value = 0;
    EXPECT_EQ(procs.setPropertyProc(0, propWatchSuspension, 0, 1, nullptr), noErr);
    EXPECT_EQ(procs.getPropertyProc(0, propWatchSuspension, 0, &value, nullptr), -30900);
    EXPECT_EQ(procs.setPropertyProc(0, propWatchSuspension, 0, 2, nullptr), noErr);
    EXPECT_EQ(host.Property(propWatchSuspension), 2);
    EXPECT_TRUE(host.PropertyCalls()[1].injected);
}

TEST(FilterHostProgress, ReportsAreRecordedInOrder) {
    FilterHost host(HostImage(4, 4, 1, 8));
    const ProgressProc progress = host.Record()->progressProc;
    progress(0, 6);
    progress(3, 6);
    progress(6, 6);
    progress(6, 6);
    const std::vector<std::pair<int32_t, int32_t>> expected = {{0, 6}, {3, 6}, {6, 6}, {6, 6}};
    EXPECT_EQ(host.ProgressReports(), expected);
    EXPECT_LT(host.ProgressCalls()[0].sequence, host.ProgressCalls()[1].sequence);
    host.ClearLogs();
    EXPECT_TRUE(host.ProgressReports().empty());
}

TEST(FilterHostProgress, AbortAnswersAsTheFaultSwitchSays) {
    FilterHost host(HostImage(4, 4, 1, 8));
    EXPECT_FALSE(host.Record()->abortProc());
    host.SetFaults({.abortRequested = true});
    EXPECT_TRUE(host.Record()->abortProc());
    EXPECT_EQ(host.AbortCalls(), 2);
}

// One sequence runs through every suite, so the order across suites can be checked.
TEST(FilterHostCallLog, SequenceNumbersRunAcrossSuites) {
    FilterHost host(HostImage(4, 4, 1, 8));
    FilterRecord& r = *host.Record();
    r.progressProc(0, 1);
    Handle h = r.handleProcs->newProc(1);
    r.propertyProcs->setPropertyProc(0, propWatchSuspension, 0, 0, nullptr);
    BufferID id = nullptr;
    r.bufferProcs->allocateProc(1, &id);
    r.advanceState();
    EXPECT_NE(h, nullptr);
    EXPECT_LT(host.ProgressCalls()[0].sequence, host.HandleCalls()[0].sequence);
    EXPECT_LT(host.HandleCalls()[0].sequence, host.PropertyCalls()[0].sequence);
    EXPECT_LT(host.PropertyCalls()[0].sequence, host.BufferCalls()[0].sequence);
    EXPECT_LT(host.BufferCalls()[0].sequence, host.DataRequests()[0].sequence);
}

}  // namespace
}  // namespace vexo::filterhost
