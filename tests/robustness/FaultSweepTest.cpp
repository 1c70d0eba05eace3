#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/HostFilterInterface.h"
#include "host/TrackedMemory.h"
#include "plugin/PluginMain.h"
#include "tests/correction/StubbedServices.h"
#include "tools/host/FilterHost.h"
#include "tools/host/PluginSession.h"

// One whole host session per host callback and call number, with exactly that call
// failing: whatever fails, the plug-in leaves nothing behind and tells the host what
// went wrong, or corrects the image as if nothing had happened.
namespace {

using vexo::filterhost::FilterHost;
using vexo::filterhost::HostFaults;
using vexo::filterhost::HostImage;
using vexo::filterhost::HostRect;
using vexo::filterhost::PluginSession;

constexpr int32_t kWidth = 40;
constexpr int32_t kHeight = 30;
constexpr int kPlanes = 3;

HostImage PatternImage() {
    HostImage image(kWidth, kHeight, kPlanes, 8);
    image.Fill([](int p, int32_t x, int32_t y) { return (x * 7 + y * 3 + p * 50) % 256; });
    return image;
}

// The kinds of host call that can fail, and how to make call `at` of that kind fail.
enum class Kind { Allocation, BufferLock, HandleCreation, HandleLock, AdvanceState, Property };

const char* Name(Kind kind) {
    switch (kind) {
        case Kind::Allocation: return "allocation";
        case Kind::BufferLock: return "buffer lock";
        case Kind::HandleCreation: return "handle creation";
        case Kind::HandleLock: return "handle lock";
        case Kind::AdvanceState: return "advanceState";
        case Kind::Property: return "property";
    }
    return "?";
}

HostFaults FailingAt(Kind kind, int32_t at) {
    HostFaults faults;
    switch (kind) {
        case Kind::Allocation: faults.failAllocationAt = at; break;
        case Kind::BufferLock: faults.failBufferLockAt = at; break;
        case Kind::HandleCreation: faults.failHandleCreationAt = at; break;
        case Kind::HandleLock: faults.failHandleLockAt = at; break;
        case Kind::AdvanceState: faults.failAdvanceStateAt = at; break;
        case Kind::Property: faults.failPropertyAt = at; break;
    }
    return faults;
}

struct SessionResult {
    std::vector<OSErr> results;  // one per selector called, the host stopping at the first failure
    HostImage image;
};

// parameters, prepare, start, continue, finish, as a host calls them, until one fails.
SessionResult RunSession(const HostFaults& faults, std::vector<std::string>& problems) {
    FilterHost host(PatternImage());
    host.SetFaults(faults);
    PluginSession session(host, &PluginMain);
    SessionResult outcome{{}, host.Image()};
    for (int16_t selector : {filterSelectorParameters, filterSelectorPrepare, filterSelectorStart,
                             filterSelectorContinue, filterSelectorFinish}) {
        const OSErr result = session.Call(selector);
        outcome.results.push_back(result);
        if (selector == filterSelectorStart || selector == filterSelectorContinue) {
            const FilterRecord& r = *host.Record();
            if (!HostRect::From(r.inRect).Empty() || !HostRect::From(r.outRect).Empty() ||
                !HostRect::From(r.maskRect).Empty()) {
                problems.push_back("rects ask for data after selector " + std::to_string(selector));
            }
        }
        if (result != noErr) {
            break;
        }
    }
    host.ReleaseTiles();
    // Whatever happened, the session is over: finish ran or a failed call was cleaned up.
    if (!host.LiveBuffers().empty()) problems.push_back("host buffers left");
    if (!host.LiveHandles().empty()) problems.push_back("handles left");
    if (*host.DataSlot() != 0) problems.push_back("data slot not cleared");
    const Handle parameters = host.Record()->parameters;  // a copy: the field is packed
    if (parameters != nullptr) problems.push_back("parameter handle not cleared");
    if (gAllocationList.head != nullptr || gAllocationList.tail != nullptr) {
        problems.push_back("tracked blocks left");
        FreeAllAllocations();
    }
    for (const std::string& misuse : host.Misuses()) problems.push_back("misuse: " + misuse);
    outcome.image = host.Image();
    return outcome;
}

// How many calls of each kind a fault-free session makes on the test image.
int32_t CallsOf(Kind kind) {
    switch (kind) {
        case Kind::Allocation: return 1;      // the working block, in start
        case Kind::BufferLock: return 1;      // the same block
        case Kind::HandleCreation: return 2;  // parameter and data handle, in parameters
        case Kind::HandleLock: return 8;      // both handles in parameters, prepare, start, finish
        case Kind::AdvanceState: return 3;    // one request per plane
        case Kind::Property: return 1;        // watch suspension, in start
    }
    return 0;
}

// What the host must see when call `at` of a kind fails: the result of every selector
// called. Beyond the last call of a kind nothing fails.
std::vector<OSErr> ExpectedResults(Kind kind, int32_t at) {
    const std::vector<OSErr> success = {noErr, noErr, noErr, noErr, noErr};
    if (at > CallsOf(kind)) {
        return success;
    }
    switch (kind) {
        case Kind::Allocation:
        case Kind::BufferLock:
            // The block comes from the heap instead, and the first plane request's
            // result replaces the host's code in the result word.
            return success;
        case Kind::Property:
            return success;  // the watch suspension is a courtesy; its failure is no failure
        case Kind::HandleCreation:
            // Whichever handle exists is disposed; the clean-up then finds none to lock.
            return {filterBadParameters};
        case Kind::HandleLock:
            if (at <= 2) return {memFullErr};
            if (at <= 4) return {noErr, memFullErr};
            if (at <= 6) return success;  // start clears the result word and runs regardless
            // Finish has disposed the handles by the time the clean-up looks for them.
            return {noErr, noErr, noErr, noErr, filterBadParameters};
        case Kind::AdvanceState:
            return {noErr, noErr, memFullErr};
    }
    return {};
}

class FaultSweep : public testing::Test {
protected:
    FaultSweep() {
        services_->showErrorMessage = [](const char*, const char*) {};
    }
    vexo::testing::StubbedServices stubs_{2};
    vexo::platform::ScopedServices services_;
};

TEST_F(FaultSweep, AFaultFreeSessionMakesTheCallsTheSweepCovers) {
    FilterHost host(PatternImage());
    PluginSession session(host, &PluginMain);
    for (int16_t selector : {filterSelectorParameters, filterSelectorPrepare, filterSelectorStart,
                             filterSelectorContinue, filterSelectorFinish}) {
        ASSERT_EQ(session.Call(selector), noErr) << selector;
    }
    int32_t allocations = 0, bufferLocks = 0, creations = 0, handleLocks = 0;
    for (const auto& call : host.BufferCalls()) {
        allocations += call.op == vexo::filterhost::BufferOp::Allocate;
        bufferLocks += call.op == vexo::filterhost::BufferOp::Lock;
    }
    for (const auto& call : host.HandleCalls()) {
        creations += call.op == vexo::filterhost::HandleOp::New;
        handleLocks += call.op == vexo::filterhost::HandleOp::Lock;
    }
    EXPECT_EQ(allocations, CallsOf(Kind::Allocation));
    EXPECT_EQ(bufferLocks, CallsOf(Kind::BufferLock));
    EXPECT_EQ(creations, CallsOf(Kind::HandleCreation));
    EXPECT_EQ(handleLocks, CallsOf(Kind::HandleLock));
    EXPECT_EQ(static_cast<int32_t>(host.DataRequests().size()), CallsOf(Kind::AdvanceState));
    EXPECT_EQ(static_cast<int32_t>(host.PropertyCalls().size()), CallsOf(Kind::Property));
}

TEST_F(FaultSweep, EveryFailingCallIsReportedOrAbsorbedAndLeavesNothingBehind) {
    std::vector<std::string> ignored;
    const SessionResult reference = RunSession({}, ignored);
    ASSERT_EQ(reference.results, (std::vector<OSErr>{noErr, noErr, noErr, noErr, noErr}));
    ASSERT_FALSE(reference.image == PatternImage()) << "the fault-free run corrects the image";

    for (Kind kind : {Kind::Allocation, Kind::BufferLock, Kind::HandleCreation, Kind::HandleLock,
                      Kind::AdvanceState, Kind::Property}) {
        for (int32_t at = 1; at <= CallsOf(kind) + 1; ++at) {
            SCOPED_TRACE(std::string(Name(kind)) + " call " + std::to_string(at) + " fails");
            std::vector<std::string> problems;
            const SessionResult outcome = RunSession(FailingAt(kind, at), problems);
            EXPECT_EQ(outcome.results, ExpectedResults(kind, at));
            EXPECT_TRUE(problems.empty()) << testing::PrintToString(problems);
            if (outcome.results.size() == 5 && outcome.results.back() == noErr) {
                EXPECT_TRUE(outcome.image == reference.image)
                    << "an absorbed failure changes nothing in the result";
            }
        }
    }
}

// The heap failing as well as the host: the run needs no working block, so it still
// corrects the image, and no block is left listed.
TEST_F(FaultSweep, ARunWithoutAnyWorkingMemoryStillCorrectsAndLeavesNothing) {
    std::vector<std::string> ignored;
    const SessionResult reference = RunSession({}, ignored);

    const TrackedHeap saved = gTrackedHeap;
    gTrackedHeap.allocateZeroed = [](std::size_t, std::size_t) -> void* { return nullptr; };
    std::vector<std::string> problems;
    const SessionResult outcome = RunSession(FailingAt(Kind::Allocation, 1), problems);
    gTrackedHeap = saved;

    EXPECT_EQ(outcome.results, (std::vector<OSErr>{noErr, noErr, noErr, noErr, noErr}));
    EXPECT_TRUE(problems.empty()) << testing::PrintToString(problems);
    EXPECT_TRUE(outcome.image == reference.image);
}

}  // namespace
