#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "tests/filterhost/FilterHostTestSupport.h"
#include "tools/host/PluginLibrary.h"
#include "tools/host/PluginSession.h"

namespace vexo::filterhost {
namespace {

using testing::DistinctImage;

// The test plug-in of this folder, built beside this test.
const char* const kTestPlugin = VEXO_TEST_PLUGIN_PATH;

std::vector<uint8_t> FileBytes(const char* path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

HostImage Inverted(const HostImage& image) {
    HostImage inverted = image;
    inverted.Fill(
        [&](int p, int32_t x, int32_t y) { return image.MaxSample() - image.Sample(p, x, y); });
    return inverted;
}

TEST(FilterHostPluginLibrary, LoadsALibraryAndFindsItsEntryPoints) {
    PluginLibrary library(kTestPlugin);
    EXPECT_EQ(library.Path(), kTestPlugin);
    EXPECT_NE(library.Entry(), nullptr);
    EXPECT_NE(library.Entry("PluginMainByRows"), nullptr);
    EXPECT_EQ(library.Entry("NoSuchEntry"), nullptr);
    FilterHost host(HostImage(4, 4, 1, 8));
    EXPECT_THROW(PluginSession(host, library.Entry("NoSuchEntry")), std::invalid_argument);
}

TEST(FilterHostPluginLibrary, SaysWhyALibraryDoesNotLoad) {
    try {
        PluginLibrary library(std::string(kTestPlugin) + ".missing");
        FAIL() << "a missing library loaded";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()), "");
    }
}

TEST(FilterHostPluginLibrary, ReadsThePropertyList) {
    PluginLibrary library(kTestPlugin);
    const std::vector<uint8_t> expected = FileBytes(VEXO_TEST_PLUGIN_PIPL);
    ASSERT_FALSE(expected.empty());
    EXPECT_EQ(library.PropertyList(), expected);

    // Without resources the reader decides; with them it is never asked.
    const std::vector<uint8_t> other = {1, 2, 3};
    library.SetPropertyListReader([&](const std::string& path) {
        EXPECT_EQ(path, kTestPlugin);
        return std::optional(other);
    });
    EXPECT_EQ(library.PropertyList(), platform::DynamicLibrary::HasResources() ? expected : other);
}

TEST(FilterHostPluginLibrary, LooksForThePropertyListFileBesideTheLibrary) {
    EXPECT_EQ(PluginLibrary::PropertyListFileBeside("/a/b/Vexo.so"), "/a/b/Vexo.pipl");
    EXPECT_EQ(PluginLibrary::PropertyListFileBeside("C:\\x\\Vexo.8bf"), "C:\\x\\Vexo.pipl");
    EXPECT_EQ(PluginLibrary::PropertyListFileBeside("/a.b/plugin"), "/a.b/plugin.pipl");
}

TEST(FilterHostSession, RunsALoadedPlugInThatFetchesEachPlaneThroughAdvanceState) {
    struct Case {
        int planes, bits;
    };
    for (const Case c : {Case{1, 8}, Case{3, 8}, Case{4, 16}, Case{16, 8}}) {
        SCOPED_TRACE(::testing::Message() << c.planes << " planes @" << c.bits);
        PluginLibrary library(kTestPlugin);
        FilterHost host(DistinctImage(9, 7, c.planes, c.bits));
        const HostImage original = host.Image();
        PluginSession session(host, library.Entry());

        const SessionOutcome outcome = session.Run();
        EXPECT_EQ(outcome.result, noErr);
        EXPECT_EQ(outcome.failedSelector, -1);
        EXPECT_EQ(outcome.continueCalls, 0);
        EXPECT_TRUE(host.Image() == Inverted(original));
        EXPECT_EQ(session.Selectors(),
                  (std::vector<int16_t>{filterSelectorParameters, filterSelectorPrepare,
                                        filterSelectorStart, filterSelectorFinish}));
        EXPECT_EQ(session.Results(), std::vector<OSErr>(4, noErr));

        const auto& requests = host.DataRequests();
        ASSERT_EQ(requests.size(), static_cast<size_t>(c.planes));
        for (int p = 0; p < c.planes; ++p) {
            EXPECT_EQ(requests[p].source, RequestSource::AdvanceState);
            EXPECT_EQ(requests[p].inRect, (HostRect{0, 0, 7, 9}));
            EXPECT_EQ(requests[p].outRect, requests[p].inRect);
            EXPECT_EQ(requests[p].inLoPlane, p);
            EXPECT_EQ(requests[p].outHiPlane, p);
            EXPECT_EQ(requests[p].result, noErr);
            EXPECT_EQ(host.ProgressReports()[p], std::make_pair(p + 1, c.planes));
        }
        // Every suite was reached across the library boundary, and all is given back.
        EXPECT_EQ(host.BufferCalls().size(), 4u);
        EXPECT_EQ(host.HandleCalls().size(), 4u);
        ASSERT_EQ(host.PropertyCalls().size(), 1u);
        EXPECT_EQ(host.PropertyCalls()[0].key, propWatchSuspension);
        EXPECT_TRUE(host.LiveBuffers().empty());
        EXPECT_TRUE(host.LiveHandles().empty());
        EXPECT_EQ(*host.DataSlot(), 0);
        EXPECT_TRUE(host.Misuses().empty());
        EXPECT_LT(session.Calls()[2].sequence, requests.front().sequence);
        EXPECT_GT(session.Calls()[2].returnSequence, requests.back().sequence);
    }
}

TEST(FilterHostSession, ServesTheRectsAPlugInLeavesAndCallsContinueUntilTheyAreEmpty) {
    PluginLibrary library(kTestPlugin);
    FilterHost host(DistinctImage(5, 6, 3, 16));
    host.SetFilterRect({1, 1, 4, 5});
    const HostImage original = host.Image();
    PluginSession session(host, library.Entry("PluginMainByRows"));

    const SessionOutcome outcome = session.Run({.callParameters = false});
    EXPECT_EQ(outcome.result, noErr);
    EXPECT_EQ(outcome.continueCalls, 3);
    EXPECT_EQ(session.Selectors(),
              (std::vector<int16_t>{filterSelectorPrepare, filterSelectorStart,
                                    filterSelectorContinue, filterSelectorContinue,
                                    filterSelectorContinue, filterSelectorFinish}));
    const HostImage inverted = Inverted(original);
    for (int p = 0; p < 3; ++p) {
        for (int32_t y = 0; y < 6; ++y) {
            for (int32_t x = 0; x < 5; ++x) {
                const bool selected = y >= 1 && y < 4 && x >= 1;
                ASSERT_EQ(host.Image().Sample(p, x, y),
                          (selected ? inverted : original).Sample(p, x, y))
                    << "at " << x << "," << y << " plane " << p;
            }
        }
    }
    const auto& requests = host.DataRequests();
    ASSERT_EQ(requests.size(), 3u);
    for (int16_t row = 0; row < 3; ++row) {
        EXPECT_EQ(requests[row].source, RequestSource::SelectorReturn);
        EXPECT_EQ(requests[row].outRect,
                  (HostRect{static_cast<int16_t>(row + 1), 1, static_cast<int16_t>(row + 2), 5}));
        EXPECT_EQ(requests[row].outLoPlane, 0);
        EXPECT_EQ(requests[row].outHiPlane, 2);
    }
    EXPECT_TRUE(host.Misuses().empty());
}

TEST(FilterHostSession, AFailedCallEndsTheSessionWithItsResult) {
    struct Case {
        const char* name;
        HostFaults faults;
        int16_t failedSelector;
        int planesInverted;
    };
    const Case cases[] = {
        {"second plane refused", {.failAdvanceStateForPlane = 1}, filterSelectorStart, 1},
        {"first request refused",
         {.failAdvanceStateAt = 1, .failureCode = -1},
         filterSelectorStart,
         0},
        {"no scratch buffer", {.failAllocationAt = 1}, filterSelectorStart, 0},
        {"no data handle", {.failHandleCreationAt = 1}, filterSelectorPrepare, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PluginLibrary library(kTestPlugin);
        FilterHost host(DistinctImage(4, 4, 3, 8));
        host.SetFaults(c.faults);
        const HostImage original = host.Image();
        PluginSession session(host, library.Entry());

        const SessionOutcome outcome = session.Run();
        EXPECT_EQ(outcome.result, c.faults.failureCode);
        EXPECT_EQ(outcome.failedSelector, c.failedSelector);
        EXPECT_EQ(session.Selectors().back(), c.failedSelector);
        EXPECT_EQ(session.Results().back(), c.faults.failureCode);
        for (int p = 0; p < 3; ++p) {
            const HostImage& expected = p < c.planesInverted ? Inverted(original) : original;
            EXPECT_EQ(host.Image().Sample(p, 2, 3), expected.Sample(p, 2, 3)) << "plane " << p;
        }
    }
}

TEST(FilterHostSession, MakesSingleCallsAndTheAboutCall) {
    PluginLibrary library(kTestPlugin);
    FilterHost host(HostImage(4, 4, 1, 8));
    PluginSession session(host, library.Entry());
    using WindowQuery = intptr_t (*)();
    const auto lastAboutWindow = reinterpret_cast<WindowQuery>(library.Symbol("LastAboutWindow"));
    ASSERT_NE(lastAboutWindow, nullptr);

    EXPECT_EQ(session.CallAbout(0x1234), noErr);
    EXPECT_EQ(lastAboutWindow(), 0x1234);
    EXPECT_EQ(session.Call(filterSelectorAbout), noErr);
    EXPECT_EQ(lastAboutWindow(), 0);
    EXPECT_EQ(session.Call(6), filterBadParameters);
    EXPECT_EQ(session.Call(-1), filterBadParameters);
    EXPECT_EQ(session.Call(filterSelectorPrepare), noErr);
    EXPECT_NE(*host.DataSlot(), 0);
    EXPECT_EQ(session.Selectors(), (std::vector<int16_t>{filterSelectorAbout, filterSelectorAbout,
                                                         6, -1, filterSelectorPrepare}));
    EXPECT_EQ(session.Results(),
              (std::vector<OSErr>{noErr, noErr, filterBadParameters, filterBadParameters, noErr}));
}

// In-process entries for what no well-behaved plug-in does.
void NeverDone(int16_t selector, void* record, intptr_t*, int16_t*) {
    auto* r = static_cast<FilterRecord*>(record);
    if (selector == filterSelectorStart || selector == filterSelectorContinue) {
        r->outRect = {0, 0, 1, 1};
    }
}

void AsksBeyondTheImage(int16_t selector, void* record, intptr_t*, int16_t*) {
    auto* r = static_cast<FilterRecord*>(record);
    if (selector == filterSelectorStart) {
        r->inRect = {0, 0, 5, 5};
        r->inputPadding = plugInWantsErrorOnBoundsException;
    }
}

TEST(FilterHostSession, GivesUpOnAPlugInThatNeverStopsAsking) {
    FilterHost host(HostImage(4, 4, 1, 8));
    PluginSession session(host, &NeverDone);
    const SessionOutcome outcome = session.Run({.maxContinueCalls = 5});
    EXPECT_TRUE(outcome.continueLimitReached);
    EXPECT_EQ(outcome.continueCalls, 5);
    EXPECT_EQ(outcome.result, noErr);
    EXPECT_EQ(session.Selectors().back(), filterSelectorFinish);
    EXPECT_EQ(session.Calls().size(), 1u + 1u + 1u + 5u + 1u);
}

TEST(FilterHostSession, EndsARunWhoseRectsTheHostCannotServe) {
    FilterHost host(HostImage(4, 4, 1, 8));
    PluginSession session(host, &AsksBeyondTheImage);
    const SessionOutcome outcome = session.Run();
    EXPECT_EQ(outcome.result, paramErr);
    EXPECT_EQ(outcome.failedSelector, -1);
    EXPECT_EQ(outcome.continueCalls, 0);
    EXPECT_EQ(session.Selectors().back(), filterSelectorStart);
    ASSERT_EQ(host.DataRequests().size(), 1u);
    EXPECT_EQ(host.DataRequests()[0].source, RequestSource::SelectorReturn);
}

}  // namespace
}  // namespace vexo::filterhost
