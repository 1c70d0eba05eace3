#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/HostFilterInterface.h"
#include "tests/plugin/EngineReference.h"
#include "tests/plugin/ErrorMessageWatch.h"
#include "tools/host/FilterHost.h"
#include "tools/host/PluginLibrary.h"
#include "tools/host/PluginSession.h"

// The built plug-in, loaded for real and driven through our filter host as a host
// application drives it.
namespace {

using vexo::filterhost::FilterHost;
using vexo::filterhost::HostFaults;
using vexo::filterhost::HostImage;
using vexo::filterhost::HostRect;
using vexo::filterhost::PluginLibrary;
using vexo::filterhost::PluginSession;
using vexo::filterhost::SessionOutcome;
using vexo::testing::PatternImage;
using vexo::testing::PlaneOf;
using vexo::testing::ReferenceCorrection;

PluginLibrary& Plugin() {
    static PluginLibrary library(VEXO_PLUGIN_FILE);
    return library;
}

bool RectsEmpty(const FilterRecord& record) {
    return HostRect::From(record.inRect).Empty() && HostRect::From(record.outRect).Empty() &&
           HostRect::From(record.maskRect).Empty();
}

// What every call sequence must leave behind, whatever happened in it.
void ExpectNothingLeft(FilterHost& host) {
    EXPECT_TRUE(host.LiveBuffers().empty()) << "host buffers left allocated";
    EXPECT_TRUE(host.LiveHandles().empty()) << "handles left undisposed";
    EXPECT_EQ(*host.DataSlot(), 0);
    const Handle parameters = host.Record()->parameters;  // a copy: the field is packed
    EXPECT_EQ(parameters, nullptr);
    EXPECT_TRUE(RectsEmpty(*host.Record()));
    EXPECT_TRUE(host.Misuses().empty()) << host.Misuses().front();
}

struct ImageCase {
    const char* name;
    int32_t width;
    int32_t height;
    int planes;
    int bits;
    int16_t imageMode;
    int32_t recordDepth;  // what the record says; 0 is an old host's 8 bits
};

class PluginRun : public testing::TestWithParam<ImageCase> {};

TEST_P(PluginRun, CorrectsEveryPlaneAsTheEngineDoesAndLeavesNothingBehind) {
    const ImageCase& c = GetParam();
    FilterHost host(PatternImage(c.width, c.height, c.planes, c.bits));
    host.SetImageMode(c.imageMode);
    host.SetDepth(c.recordDepth);
    const auto expected = ReferenceCorrection(host.Image(), c.planes);

    PluginSession session(host, Plugin().Entry());
    const SessionOutcome outcome = session.Run();

    EXPECT_EQ(outcome.result, noErr);
    EXPECT_EQ(session.Selectors(),
              (std::vector<int16_t>{filterSelectorParameters, filterSelectorPrepare,
                                    filterSelectorStart, filterSelectorFinish}));
    for (int p = 0; p < c.planes; ++p) {
        EXPECT_EQ(PlaneOf(host.Image(), p), expected[p]) << "plane " << p;
    }
    // One report to start, one per row of every plane, one to end.
    const auto reports = host.ProgressReports();
    const int32_t total = c.planes * c.height;
    ASSERT_EQ(reports.size(), static_cast<size_t>(total) + 2);
    EXPECT_EQ(reports.front(), std::make_pair(0, total));
    EXPECT_EQ(reports.back(), std::make_pair(total, total));
    EXPECT_EQ(host.Property(propWatchSuspension), 0);
    EXPECT_EQ(host.Record()->bufferSpace, 0);
    ExpectNothingLeft(host);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, PluginRun,
    testing::Values(ImageCase{"Rgb8", 64, 48, 3, 8, vexo::filterhost::plugInModeRGBColor, 8},
                    ImageCase{"Rgb16", 64, 48, 3, 16, vexo::filterhost::plugInModeRGB48, 16},
                    ImageCase{"TallGray8", 30, 52, 1, 8, vexo::filterhost::plugInModeGrayScale, 8},
                    ImageCase{"Cmyk8", 40, 32, 4, 8, vexo::filterhost::plugInModeCMYKColor, 8},
                    ImageCase{"Lab16", 33, 27, 3, 16, vexo::filterhost::plugInModeLab48, 16},
                    ImageCase{"DepthZero", 40, 30, 3, 8, vexo::filterhost::plugInModeRGBColor, 0}),
    [](const testing::TestParamInfo<ImageCase>& info) { return info.param.name; });

TEST(PluginRun, MultichannelImageStopsAtTheTenthPlaneWithNothingLeaked) {
    constexpr int kPlanes = 12;
    FilterHost host(PatternImage(32, 28, kPlanes, 8));
    host.SetImageMode(vexo::filterhost::plugInModeMultichannel);
    const HostImage original = host.Image();
    const auto expected = ReferenceCorrection(host.Image(), 10);

    PluginSession session(host, Plugin().Entry());
    const SessionOutcome outcome = session.Run();

    EXPECT_EQ(outcome.result, memFullErr);
    EXPECT_EQ(outcome.failedSelector, filterSelectorStart);
    for (int p = 0; p < 10; ++p) {
        EXPECT_EQ(PlaneOf(host.Image(), p), expected[p]) << "plane " << p;
    }
    for (int p = 10; p < kPlanes; ++p) {
        EXPECT_EQ(PlaneOf(host.Image(), p), PlaneOf(original, p)) << "plane " << p;
    }
    // The host's display still runs to its end.
    EXPECT_EQ(host.ProgressReports().back(), std::make_pair(kPlanes * 28, kPlanes * 28));
    ExpectNothingLeft(host);
}

TEST(PluginRun, SmallestSelectionCorrectsTheWholeImage) {
    FilterHost host(PatternImage(4000, 3000, 1, 8));
    host.SetFilterRect({100, 200, 124, 224});  // top, left, bottom, right: 24 x 24
    const auto expected = ReferenceCorrection(host.Image(), 1);

    PluginSession session(host, Plugin().Entry());
    EXPECT_EQ(session.Run().result, noErr);
    EXPECT_EQ(PlaneOf(host.Image(), 0), expected[0]);
    ExpectNothingLeft(host);
}

TEST(PluginRun, LayerTakesItsPlaneCountFromTheLayerPlanes) {
    // Three colour planes and a transparency plane, of which the filter sees the colour.
    FilterHost host(PatternImage(40, 30, 4, 8));
    host.SetLayer(filterCaseEditableTransparencyNoSelection, 3, 1);
    const HostImage original = host.Image();
    const auto expected = ReferenceCorrection(host.Image(), 3);

    PluginSession session(host, Plugin().Entry());
    EXPECT_EQ(session.Run().result, noErr);
    for (int p = 0; p < 3; ++p) {
        EXPECT_EQ(PlaneOf(host.Image(), p), expected[p]) << "plane " << p;
    }
    EXPECT_EQ(PlaneOf(host.Image(), 3), PlaneOf(original, 3));
    EXPECT_EQ(host.ProgressReports().back(), std::make_pair(3 * 30, 3 * 30));
    ExpectNothingLeft(host);
}

struct RefusalCase {
    const char* name;
    int32_t width;
    int32_t height;
    HostRect selection;  // top, left, bottom, right; empty: the whole image
};

class PluginRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(PluginRefusal, TellsTheUserAndCancelsWithoutTouchingTheImage) {
    const RefusalCase& c = GetParam();
    FilterHost host(PatternImage(c.width, c.height, 3, 8));
    if (!c.selection.Empty()) {
        host.SetFilterRect(c.selection);
    }
    const HostImage original = host.Image();

    vexo::test::ErrorMessageWatch message;
    PluginSession session(host, Plugin().Entry());
    const SessionOutcome outcome = session.Run();

    EXPECT_EQ(outcome.result, userCanceledErr);
    EXPECT_EQ(outcome.failedSelector, filterSelectorStart);
    EXPECT_EQ(message.Caption(), "Pellion Plug-In - ERROR");
    EXPECT_EQ(message.Text(),
              "Image (or selection) must be at least 24x24.  Use your imaging application to "
              "increase the image size (or select a larger area).");
    EXPECT_TRUE(host.Image() == original);
    EXPECT_TRUE(host.ProgressCalls().empty());
    EXPECT_TRUE(host.DataRequests().empty());
    ExpectNothingLeft(host);
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, PluginRefusal,
    testing::Values(RefusalCase{"NarrowSelection", 100, 600, {50, 10, 550, 33}},
                    RefusalCase{"LowSelection", 600, 100, {10, 50, 33, 550}},
                    RefusalCase{"SmallImage", 23, 40, {}}),
    [](const testing::TestParamInfo<RefusalCase>& info) { return info.param.name; });

struct FaultCase {
    const char* name;
    HostFaults faults;
    OSErr result;
    int16_t failedSelector;  // -1: the run succeeds
};

class PluginHostFault : public testing::TestWithParam<FaultCase> {};

TEST_P(PluginHostFault, EndsWithItsCodeAndLeavesNothingBehind) {
    const FaultCase& c = GetParam();
    FilterHost host(PatternImage(32, 24, 3, 8));
    const auto expected = ReferenceCorrection(host.Image(), 3);
    host.SetFaults(c.faults);

    PluginSession session(host, Plugin().Entry());
    const SessionOutcome outcome = session.Run();

    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.failedSelector, c.failedSelector);
    if (c.failedSelector == -1) {
        for (int p = 0; p < 3; ++p) {
            EXPECT_EQ(PlaneOf(host.Image(), p), expected[p]) << "plane " << p;
        }
    }
    ExpectNothingLeft(host);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, PluginHostFault,
    testing::Values(
        // The second plane's request fails after the first plane was corrected.
        FaultCase{"AdvanceStateFailsOnSecondPlane",
                  {.failAdvanceStateForPlane = 1},
                  memFullErr,
                  filterSelectorStart},
        // A host that says yes but hands out no tile: the run stops as after a refused
        // request, instead of writing through null.
        FaultCase{"TilesWithheld", {.withholdTiles = true}, memFullErr, filterSelectorStart},
        // Working memory then comes from the heap, and the run goes on.
        FaultCase{"BufferAllocationFails", {.failAllocationAt = 1}, noErr, -1},
        FaultCase{"BufferLockFails", {.failBufferLockAt = 1}, noErr, -1},
        FaultCase{"NoBufferSuite", {.noBufferSuite = true}, noErr, -1},
        FaultCase{"NoPropertySuite", {.noPropertySuite = true}, noErr, -1},
        FaultCase{"NoProgressProc", {.noProgressProc = true}, noErr, -1},
        // A handle that cannot be made leaves none; the clean-up then finds them missing.
        FaultCase{"FirstHandleCannotBeCreated",
                  {.failHandleCreationAt = 1},
                  filterBadParameters,
                  filterSelectorParameters},
        FaultCase{"SecondHandleCannotBeCreated",
                  {.failHandleCreationAt = 2},
                  filterBadParameters,
                  filterSelectorParameters},
        FaultCase{"NoHandleSuite",
                  {.noHandleSuite = true},
                  filterBadParameters,
                  filterSelectorParameters},
        FaultCase{"HandleWontLock", {.failHandleLockAt = 1}, memFullErr, filterSelectorParameters}),
    [](const testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

TEST(PluginSelectors, UnknownSelectorsAreRefusedAndCleanUp) {
    for (int16_t selector : {int16_t{6}, int16_t{-1}, int16_t{32767}}) {
        FilterHost host(PatternImage(32, 24, 3, 8));
        PluginSession session(host, Plugin().Entry());
        ASSERT_EQ(session.Call(filterSelectorPrepare), noErr);
        ASSERT_EQ(host.LiveHandles().size(), 2u);
        EXPECT_EQ(session.Call(selector), filterBadParameters) << selector;
        ExpectNothingLeft(host);
    }
}

TEST(PluginSelectors, ContinueOnlyEmptiesTheRects) {
    FilterHost host(PatternImage(32, 24, 3, 8));
    const HostImage original = host.Image();
    PluginSession session(host, Plugin().Entry());
    host.Record()->inRect = {0, 0, 10, 10};
    host.Record()->outRect = {0, 0, 10, 10};
    host.Record()->maskRect = {0, 0, 10, 10};
    EXPECT_EQ(session.Call(filterSelectorContinue), noErr);
    EXPECT_TRUE(RectsEmpty(*host.Record()));
    EXPECT_TRUE(host.Image() == original);
}

TEST(PluginSelectors, RepeatedRunsReuseTheHandlesAndGiveTheSameResult) {
    FilterHost host(PatternImage(32, 24, 3, 8));
    const HostImage original = host.Image();
    PluginSession session(host, Plugin().Entry());
    ASSERT_EQ(session.Run().result, noErr);
    const HostImage once = host.Image();
    host.Image() = original;
    ASSERT_EQ(session.Run({.callParameters = false}).result, noErr);
    EXPECT_TRUE(host.Image() == once);
    ExpectNothingLeft(host);
}

}  // namespace

namespace {

// Hosts unload a filter after a run and load it again for the next; the library's
// worker threads must not bring the host down in between.
TEST(PluginLibraryLifetime, SurvivesRepeatedLoadRunUnload) {
    for (int cycle = 0; cycle < 5; ++cycle) {
        PluginLibrary library(VEXO_PLUGIN_FILE);
        FilterHost host(PatternImage(32, 24, 3, 8));
        PluginSession session(host, library.Entry());
        ASSERT_EQ(session.Run().result, noErr) << "cycle " << cycle;
        ExpectNothingLeft(host);
    }
}

}  // namespace
