#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "host/HostFilterInterface.h"
#include "host/TrackedMemory.h"
#include "plugin/PluginMain.h"
#include "tests/correction/StubbedServices.h"
#include "tools/host/FilterHost.h"
#include "tools/host/PluginSession.h"

// Record contents that hosts can send and the run must not trust blindly; each case
// was found by the session fuzzer.
namespace {

using vexo::filterhost::FilterHost;
using vexo::filterhost::HostImage;
using vexo::filterhost::HostRect;
using vexo::filterhost::PluginSession;

struct DepthCase {
    int32_t depth;
    int bits;  // the samples our host serves
    OSErr expected;
};

class RecordContent : public testing::TestWithParam<DepthCase> {
protected:
    RecordContent() { services_->showErrorMessage = [](const char*, const char*) {}; }
    vexo::testing::StubbedServices stubs_{2};
    vexo::platform::ScopedServices services_;
};

// A sample size the run cannot read (a 1-bit bitmap, 32-bit floats, nonsense) is
// refused before any pixel is touched, rather than read as 16-bit rows past the ends
// of the host's tiles.
TEST_P(RecordContent, OnlyEightAndSixteenBitSamplesAreRead) {
    const DepthCase& c = GetParam();
    HostImage image(40, 30, 3, c.bits);
    image.Fill([](int p, int32_t x, int32_t y) { return (x * 7 + y * 3 + p * 50) % 256; });
    FilterHost host(image);
    host.SetDepth(c.depth);
    PluginSession session(host, &PluginMain);
    const auto outcome = session.Run();

    EXPECT_EQ(outcome.result, c.expected);
    if (c.expected != noErr) {
        EXPECT_EQ(outcome.failedSelector, filterSelectorStart);
        EXPECT_TRUE(host.DataRequests().empty()) << "no plane is requested";
        EXPECT_TRUE(host.Image() == image) << "the image is untouched";
    } else {
        EXPECT_FALSE(host.Image() == image) << "the image is corrected";
    }
    EXPECT_TRUE(host.LiveBuffers().empty());
    EXPECT_TRUE(host.LiveHandles().empty());
    EXPECT_EQ(gAllocationList.head, nullptr);
    EXPECT_TRUE(HostRect::From(host.Record()->inRect).Empty());
    EXPECT_TRUE(host.Misuses().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Depths, RecordContent,
    testing::Values(DepthCase{0, 8, noErr}, DepthCase{8, 8, noErr}, DepthCase{16, 16, noErr},
                    DepthCase{1, 8, filterBadParameters}, DepthCase{32, 16, filterBadParameters},
                    DepthCase{24, 8, filterBadParameters}, DepthCase{-16, 16, filterBadParameters},
                    DepthCase{0x10010, 16, filterBadParameters}),
    [](const testing::TestParamInfo<DepthCase>& info) {
        const int32_t d = info.param.depth;
        return (d < 0 ? "Minus" + std::to_string(-d) : std::to_string(d)) + "Bits";
    });

// A refused working block is no failure of the run, also when no plane request
// follows to overwrite the host's code (a record of no planes): the host must not
// receive its allocation code, -50 here, as the run's result.
TEST(RecordContentAllocation, AHostsAllocationCodeIsNotTheRunsResult) {
    vexo::testing::StubbedServices stubs(2);
    FilterHost host(HostImage(40, 30, 3, 8));
    host.Record()->planes = 0;
    vexo::filterhost::HostFaults faults;
    faults.failAllocationAt = 1;
    faults.failureCode = -50;
    host.SetFaults(faults);
    PluginSession session(host, &PluginMain);
    const auto outcome = session.Run();
    EXPECT_EQ(outcome.result, noErr);
    EXPECT_TRUE(host.LiveBuffers().empty());
    EXPECT_TRUE(host.LiveHandles().empty());
    EXPECT_EQ(gAllocationList.head, nullptr);
}

}  // namespace
