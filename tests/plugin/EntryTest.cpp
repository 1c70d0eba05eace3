#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "host/HostFilterInterface.h"
#include "host/Progress.h"
#include "platform/Platform.h"
#include "plugin/FilterHandles.h"
#include "plugin/LibraryLifetime.h"
#include "plugin/PluginMain.h"
#include "plugin/PluginModule.h"
#include "tools/host/FilterHost.h"
#include "tools/host/PluginSession.h"

// The entry's own rules, called in this process: the handles, the selectors that
// need no correction, and the library's load and unload work.
namespace {

using vexo::filterhost::FilterHost;
using vexo::filterhost::HostImage;
using vexo::filterhost::PluginSession;
using vexo::filterhost::PropertyOp;
using vexo::filterhost::RequestSource;

// The services the entry reaches, recorded instead of performed. The clock stands
// still but for the pauses, which move it on by their length.
struct Recorded {
    std::vector<std::string> debugLines;
    std::vector<uint32_t> sleeps;
    std::vector<std::string> messages;
    uint32_t now = 0;
    // The host calls that a ProgressWatch passes on, and where they go.
    std::vector<std::string> progressAtCalls;
    SetPropertyProc hostSetProperty = nullptr;
    FreeBufferProc hostFreeBuffer = nullptr;
};

Recorded& Log() {
    static Recorded recorded;
    return recorded;
}

class EntryTest : public testing::Test {
protected:
    EntryTest() {
        Log() = {};
        services_->debugOutput = [](const char* line) { Log().debugLines.emplace_back(line); };
        services_->sleepMilliseconds = [](uint32_t ms) {
            Log().sleeps.push_back(ms);
            Log().now += ms;
        };
        services_->tickCount = [] { return Log().now; };
        services_->showErrorMessage = [](const char* text, const char* caption) {
            Log().messages.push_back(std::string(caption) + ": " + text);
        };
    }

    // A copy: the record's pointer fields lie on 4-byte boundaries, where no
    // reference may bind to them.
    static Handle ParameterHandle(FilterHost& host) { return host.Record()->parameters; }
    static FilterParameters& ParametersOf(FilterHost& host) {
        return *reinterpret_cast<FilterParameters*>(*host.Record()->parameters);
    }
    static FilterData& DataOf(FilterHost& host) {
        return *reinterpret_cast<FilterData*>(*reinterpret_cast<Handle>(*host.DataSlot()));
    }

    vexo::platform::ScopedServices services_;
};

TEST_F(EntryTest, ParametersWritesDefaultsEvenIntoExistingHandles) {
    FilterHost host(HostImage(40, 30, 3, 8));
    PluginSession session(host, &PluginMain);
    ASSERT_EQ(session.Call(filterSelectorParameters), noErr);
    ASSERT_EQ(host.LiveHandles().size(), 2u);
    EXPECT_EQ(host.HandleInfo(host.Record()->parameters)->size, 16);
    EXPECT_EQ(host.HandleInfo(reinterpret_cast<Handle>(*host.DataSlot()))->size, 4);

    ParametersOf(host).value2 = 1.0f;
    DataOf(host).planes = 99;
    ASSERT_EQ(session.Call(filterSelectorParameters), noErr);
    EXPECT_EQ(host.LiveHandles().size(), 2u) << "no handle is made again";
    EXPECT_EQ(ParametersOf(host).value1, 50.0f);
    EXPECT_EQ(ParametersOf(host).value2, 50.0f);
    EXPECT_EQ(ParametersOf(host).value3, 50.0f);
    EXPECT_EQ(DataOf(host).planes, 3);
    EXPECT_EQ(DataOf(host).depth, 8);
    for (const auto& handle : host.LiveHandles()) {
        EXPECT_EQ(handle.lockCount, 0) << "handles stay unlocked between calls";
    }
}

TEST_F(EntryTest, PrepareLeavesExistingHandlesAloneAndAsksForNoBufferSpace) {
    FilterHost host(HostImage(40, 30, 3, 8));
    PluginSession session(host, &PluginMain);
    ASSERT_EQ(session.Call(filterSelectorParameters), noErr);
    ParametersOf(host).value1 = 7.0f;
    host.Record()->bufferSpace = 12345;
    ASSERT_EQ(session.Call(filterSelectorPrepare), noErr);
    EXPECT_EQ(ParametersOf(host).value1, 7.0f);
    EXPECT_EQ(host.Record()->bufferSpace, 0);
}

TEST_F(EntryTest, PrepareMakesTheMissingHandleAndFillsBoth) {
    FilterHost host(HostImage(40, 30, 4, 16));
    host.SetLayer(filterCaseFloatingSelection, 3, 1);
    host.SetDepth(0);
    PluginSession session(host, &PluginMain);
    ASSERT_EQ(session.Call(filterSelectorParameters), noErr);
    // The host lost the parameter handle but kept the data handle.
    host.Record()->handleProcs->disposeProc(host.Record()->parameters);
    host.Record()->parameters = nullptr;
    DataOf(host).planes = 99;

    ASSERT_EQ(session.Call(filterSelectorPrepare), noErr);
    ASSERT_NE(ParameterHandle(host), nullptr);
    EXPECT_EQ(ParametersOf(host).value3, 50.0f);
    EXPECT_EQ(DataOf(host).planes, 3) << "a layer counts its layer planes";
    EXPECT_EQ(DataOf(host).depth, 8) << "depth 0 is an old host's 8 bits";
}

TEST_F(EntryTest, FinishWithoutHandlesIsABadParameter) {
    FilterHost host(HostImage(40, 30, 3, 8));
    PluginSession session(host, &PluginMain);
    EXPECT_EQ(session.Call(filterSelectorFinish), filterBadParameters);
    EXPECT_TRUE(host.LiveHandles().empty());
}

// Windows shows the box, which PluginAboutSelector tests with a window.
#if !defined(_WIN32)
TEST_F(EntryTest, AboutSelectorAlwaysSucceeds) {
    FilterHost host(HostImage(40, 30, 3, 8));
    PluginSession session(host, &PluginMain);
    EXPECT_EQ(session.CallAbout(), noErr);
    EXPECT_EQ(Log().messages,
              std::vector<std::string>{"Plug-In - ERROR: Could not display About window"});
}
#endif

struct UnloadCase {
    uint32_t lastRunEnd;
    uint32_t now;
    std::vector<uint32_t> sleeps;
};

TEST_F(EntryTest, UnloadWaitsForASecondAfterTheLastRun) {
    const UnloadCase cases[] = {
        {0, 5000, {}},                // no run since the load
        {1000, 1300, {700}},          // 300 ms after the run
        {1000, 2000, {}},             // a whole second after it
        {1000, 9000, {}},             //
        {0xFFFFFF00u, 0x2Cu, {700}},  // the tick counter wrapped in between
    };
    for (const UnloadCase& c : cases) {
        Log().sleeps.clear();
        OnProcessAttach(&Log());
        EXPECT_EQ(gModuleHandle, &Log());
        gLastRunEnd = c.lastRunEnd;
        Log().now = c.now;
        OnProcessDetach();
        EXPECT_EQ(Log().sleeps, c.sleeps) << c.lastRunEnd << " " << c.now;
        EXPECT_EQ(gLastRunEnd, 0u);
        EXPECT_EQ(gModuleHandle, nullptr);
    }
}

// The smallest image that start corrects: a run takes little time.
HostImage SmallestImage() {
    return HostImage(24, 24, 1, 8);
}

// Passes the plug-in's property sets and buffer frees on to the host, noting for
// each whether progress reporting was on at that moment.
struct ProgressWatch {
    PropertyProcs properties;
    BufferProcs buffers;

    explicit ProgressWatch(FilterHost& host)
        : properties(*host.Record()->propertyProcs), buffers(*host.Record()->bufferProcs) {
        Log().hostSetProperty = properties.setPropertyProc;
        Log().hostFreeBuffer = buffers.freeProc;
        properties.setPropertyProc = [](OSType signature, OSType key, int32_t index,
                                        intptr_t value, Handle complex) {
            Log().progressAtCalls.push_back(Noted("set property", gProgressState.enabled));
            return Log().hostSetProperty(signature, key, index, value, complex);
        };
        buffers.freeProc = [](BufferID id) {
            Log().progressAtCalls.push_back(Noted("free buffer", gProgressState.enabled));
            Log().hostFreeBuffer(id);
        };
        host.Record()->propertyProcs = &properties;
        host.Record()->bufferProcs = &buffers;
    }

    static std::string Noted(const char* call, bool progressOn) {
        return std::string(call) + (progressOn ? ", progress on" : ", progress off");
    }
};

// The start handler's order: the watch suspension is set before progress is
// switched on and before any data is asked for; the working block goes back to the
// host while the progress report is still open; start leaves no data request behind.
TEST_F(EntryTest, StartSuspendsTheWatchFirstAndGivesTheBlockBackBeforeProgressEnds) {
    FilterHost host(SmallestImage());
    ProgressWatch watch(host);
    gProgressState.enabled = false;  // as at load, whatever an earlier test left

    PluginSession session(host, &PluginMain);
    const auto outcome = session.Run();
    ASSERT_EQ(outcome.result, noErr);

    EXPECT_EQ(Log().progressAtCalls,
              (std::vector<std::string>{"set property, progress off", "free buffer, progress on"}));
    ASSERT_EQ(host.PropertyCalls().size(), 1u);
    const auto& suspension = host.PropertyCalls()[0];
    EXPECT_EQ(suspension.op, PropertyOp::Set);
    EXPECT_EQ(suspension.key, propWatchSuspension);
    EXPECT_EQ(suspension.simpleValue, 0);
    ASSERT_FALSE(host.DataRequests().empty());
    EXPECT_LT(suspension.sequence, host.DataRequests().front().sequence);

    EXPECT_EQ(outcome.continueCalls, 0) << "start left its rects asking for data";
    for (const auto& request : host.DataRequests()) {
        EXPECT_EQ(request.source, RequestSource::AdvanceState);
    }
}

// The unload wait counts from the end of the last successful run, the run's closing
// pause included; a failed run notes no time, so the wait still counts from the
// successful run before it.
TEST_F(EntryTest, UnloadWaitCountsFromTheEndOfTheLastSuccessfulRun) {
    OnProcessAttach(&Log());
    Log().now = 5000;
    {
        FilterHost host(SmallestImage());
        PluginSession session(host, &PluginMain);
        ASSERT_EQ(session.Run().result, noErr);
    }
    const uint32_t runEnd = Log().now;
    ASSERT_GT(runEnd, 5000u) << "the run ends with a pause";
    {
        Log().now = runEnd + 100;
        FilterHost host(SmallestImage());
        host.SetFaults({.failAdvanceStateForPlane = 0});
        PluginSession session(host, &PluginMain);
        ASSERT_EQ(session.Run().result, memFullErr);
    }
    Log().now = runEnd + 400;
    Log().sleeps.clear();
    OnProcessDetach();
    EXPECT_EQ(Log().sleeps, std::vector<uint32_t>{600});
}

TEST_F(EntryTest, EveryNotificationWritesItsDebuggerLine) {
    OnProcessAttach(nullptr);
    OnThreadAttach();
    OnThreadDetach();
    OnUnknownNotification();
    OnProcessDetach();
    EXPECT_EQ(Log().debugLines,
              (std::vector<std::string>{
                  "DllMain() DLL_PROCESS_ATTACH\n", "DllMain() DLL_THREAD_ATTACH\n",
                  "DllMain() DLL_THREAD_DETACH\n", "DllMain() default case encountered\n",
                  "DllMain() DLL_PROCESS_DETACH\n"}));
}

TEST_F(EntryTest, CallsWithoutARecordOrResultWordTouchNothing) {
    int16_t result = 0;
    intptr_t data = 0;
    PluginMain(filterSelectorStart, nullptr, &data, &result);
    EXPECT_EQ(result, filterBadParameters);
    PluginMain(filterSelectorStart, nullptr, &data, nullptr);  // nothing to answer: no crash
    EXPECT_EQ(data, 0);
}

}  // namespace
