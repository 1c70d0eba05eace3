#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "correction/CVexoCorrectionAlgorithm.h"
#include "correction/ThreadCount.h"
#include "tests/correction/InMemoryHost.h"
#include "tests/correction/NoisePicture.h"
#include "tests/correction/StubbedServices.h"

namespace {

using vexo::testing::HostCall;
using vexo::testing::InMemoryHost;
using vexo::testing::Noise;
using vexo::testing::StubbedServices;
using Kind = HostCall::Kind;

CAResult ProcessWholeImage(InMemoryHost& host) {
    CARect inRect(host.Width(), host.Height());
    CARect outRect(host.Width(), host.Height());
    return host.Process(inRect, outRect, CAProcessWholeImage);
}

// Init with the start handler's preset, then Process.
CAResult InitAndProcess(InMemoryHost& host, int32_t preset = 2) {
    host.Init(preset);
    return ProcessWholeImage(host);
}

TEST(CorrectionRun, ReportsOneStepPerRowBetweenStartAndEndThenPauses) {
    StubbedServices services;
    InMemoryHost host(6, 1000, 3, 8);
    ASSERT_EQ(InitAndProcess(host), CAResultOk);

    std::vector<HostCall> run;
    for (const HostCall& call : host.calls) {
        EXPECT_TRUE(call.onCallingThread);
        EXPECT_NE(call.kind, Kind::Other) << "GetData, PutData and ReservedOperation stay unused";
        if (call.kind == Kind::Progress || call.kind == Kind::DataRequest) {
            run.push_back(call);
        }
    }
    ASSERT_EQ(run.size(), 1u + 3u * (1u + 1000u) + 1u);
    EXPECT_EQ(run.front().stage, CAProgressStart);
    EXPECT_EQ(run.front().count, 3000);
    size_t at = 1;
    for (int32_t plane = 0; plane < 3; ++plane) {
        EXPECT_EQ(run[at].kind, Kind::DataRequest);
        EXPECT_EQ(run[at].channels, 5 + plane);
        ++at;
        for (int32_t row = 0; row < 1000; ++row, ++at) {
            ASSERT_EQ(run[at].kind, Kind::Progress) << "plane " << plane << " row " << row;
            ASSERT_EQ(run[at].stage, CAProgressStep);
            ASSERT_EQ(run[at].count, 1);
        }
    }
    EXPECT_EQ(run.back().stage, CAProgressEnd);
    EXPECT_EQ(services.Sleeps(), std::vector<uint32_t>{1000});
}

TEST(CorrectionRun, StopsAtTheEleventhPlaneWithTheFirstTenWritten) {
    StubbedServices services;
    InMemoryHost host(6, 4, 11, 8);
    EXPECT_EQ(InitAndProcess(host), CAResultDataUnavailable);

    const std::vector<HostCall> requests = host.CallsOf(Kind::DataRequest);
    ASSERT_EQ(requests.size(), 10u);
    for (int32_t plane = 0; plane < 10; ++plane) {
        EXPECT_EQ(requests[plane].channels, 5 + plane);
        EXPECT_FALSE(host.OutputUntouched(plane)) << plane;
    }
    EXPECT_TRUE(host.OutputUntouched(10));
    const std::vector<HostCall> progress = host.CallsOf(Kind::Progress);
    EXPECT_EQ(progress.front().count, 44);
    EXPECT_EQ(progress.back().stage, CAProgressStep) << "no end report";
    EXPECT_TRUE(services.Sleeps().empty());
}

TEST(CorrectionRun, FailedDataRequestStopsTheRunAtOnce) {
    StubbedServices services;
    InMemoryHost host(6, 4, 3, 8);
    host.failDataRequest = 2;
    EXPECT_EQ(InitAndProcess(host), CAResultDataUnavailable);

    EXPECT_EQ(host.CallsOf(Kind::DataRequest).size(), 2u);
    EXPECT_FALSE(host.OutputUntouched(0));
    EXPECT_TRUE(host.OutputUntouched(1));
    EXPECT_TRUE(host.OutputUntouched(2));
    EXPECT_EQ(host.CallsOf(Kind::Progress).back().stage, CAProgressStep) << "no end report";
    EXPECT_TRUE(services.Sleeps().empty());
}

TEST(CorrectionRun, RectsOfDifferentSizesAreRefusedBeforeAnything) {
    StubbedServices services;
    InMemoryHost host(100, 50, 3, 8);
    CARect inRect(100, 50);
    CARect outRect(50, 100);
    EXPECT_EQ(host.Process(inRect, outRect, CAProcessWholeImage), CAResultBadParameter);
    EXPECT_TRUE(host.calls.empty());
    EXPECT_TRUE(services.Sleeps().empty());
}

TEST(CorrectionRun, NothingToResampleStillReportsAndPauses) {
    struct Case {
        int32_t height;
        int32_t planes;
    };
    for (const Case c : {Case{4, 0}, Case{0, 2}}) {
        SCOPED_TRACE(testing::Message() << c.planes << " planes of " << c.height << " rows");
        StubbedServices services;
        InMemoryHost host(6, c.height, c.planes, 8);
        EXPECT_EQ(InitAndProcess(host), CAResultOk);
        EXPECT_EQ(host.CallsOf(Kind::DataRequest).size(), static_cast<size_t>(c.planes));
        const std::vector<HostCall> progress = host.CallsOf(Kind::Progress);
        ASSERT_EQ(progress.size(), 2u);
        EXPECT_EQ(progress[0].stage, CAProgressStart);
        EXPECT_EQ(progress[0].count, 0);
        EXPECT_EQ(progress[1].stage, CAProgressEnd);
        EXPECT_EQ(services.Sleeps(), std::vector<uint32_t>{1000});
    }
}

TEST(CorrectionAlgorithm, InitGivesTheHeldBlockBackBeforeTakingANewOne) {
    StubbedServices services;
    InMemoryHost host(6, 4, 1, 8);
    ASSERT_EQ(host.Init(2), CAResultOk);
    const void* first = host.workBlock;
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(host.Init(0), CAResultOk);
    ASSERT_EQ(host.calls.size(), 3u);
    EXPECT_EQ(host.calls[0].kind, Kind::Allocate);
    EXPECT_EQ(host.calls[0].count, 40);
    EXPECT_EQ(host.calls[1].kind, Kind::Free);
    EXPECT_EQ(host.calls[1].block, first);
    EXPECT_EQ(host.calls[2].kind, Kind::Allocate);
    EXPECT_EQ(host.calls[2].count, 40);
    EXPECT_EQ(host.workBlock, host.calls[2].block);
    EXPECT_EQ(host.params.preset, 0);
    EXPECT_EQ(host.appliedParams.preset, 0);

    EXPECT_EQ(host.Release(), CAResultOk);
    EXPECT_EQ(host.workBlock, nullptr);
    ASSERT_EQ(host.calls.size(), 4u);
    EXPECT_EQ(host.calls[3].kind, Kind::Free);
    EXPECT_EQ(host.calls[3].block, host.calls[2].block);
    EXPECT_EQ(host.Release(), CAResultOk) << "nothing held";
    EXPECT_EQ(host.calls.size(), 4u);
}

TEST(CorrectionAlgorithm, InitWithoutMemoryKeepsThePresetAndTheRunStillWorks) {
    StubbedServices services;
    InMemoryHost host(6, 4, 1, 8);
    host.failAllocation = true;
    EXPECT_EQ(host.Init(2), CAResultOutOfMemory);
    EXPECT_EQ(host.workBlock, nullptr);
    EXPECT_EQ(host.params.preset, 1);
    EXPECT_EQ(host.appliedParams.preset, 1);
    EXPECT_EQ(ProcessWholeImage(host), CAResultOk) << "the run does not need the block";
}

TEST(CorrectionAlgorithm, InitTakesTheThreadCountEveryTime) {
    StubbedServices services(3);
    InMemoryHost host(6, 4, 1, 8);
    gThreadCount = 1;
    host.Init(2);
    EXPECT_EQ(gThreadCount, 3);
    services.AddPath("c:\\5Core");
    host.Init(2);
    EXPECT_EQ(gThreadCount, 5) << "a marker created between runs applies to the next";
}

TEST(CorrectionAlgorithm, NewObjectStateAndFixedAnswers) {
    InMemoryHost host(6, 4, 1, 8);
    EXPECT_EQ(host.workBlock, nullptr);
    EXPECT_EQ(host.params.preset, 1);
    EXPECT_EQ(host.params.horizontalStrength, 50.0f);
    EXPECT_TRUE(host.reservedFlag);
    EXPECT_EQ(host.Version(), 1);
    CARect anyRect(-5, 3, 9, -2);
    EXPECT_EQ(host.Analyze(anyRect), CAResultOk);
    EXPECT_TRUE(host.calls.empty());
}

// A correction whose host services do nothing, so that it can be copied.
class CopyableCorrection final : public CVexoCorrectionAlgorithm {
public:
    void* AllocateBuffer(uint32_t) override { return nullptr; }
    void FreeBuffer(void*) override {}
    void ReportProgress(CAProgressStage, int32_t) override {}
    CAResult GetData(CAImageBuffer*, CARect&, void*, CAChannelsType) override {
        return CAResultDataUnavailable;
    }
    CAResult PutData(CAImageBuffer*, CARect&, void*, CAChannelsType) override {
        return CAResultDataUnavailable;
    }
    int32_t ReservedOperation() override { return 0; }
};

TEST(CorrectionAlgorithm, CopiesTakeTheSharedBaseAndEveryMember) {
    CopyableCorrection source;
    source.imageInfo.width = 77;
    source.workBlock = &source;
    source.internalParams.VS = 1.5f;
    source.params.preset = 0;
    source.params.param1 = 3.0f;
    source.bicubicGain = 0.25f;
    source.clampToNeighbours = 1;
    source.reservedFlag = false;
    source.appliedParams.verticalStrength = 9.0f;

    const auto expectCopy = [&source](const CopyableCorrection& copy) {
        EXPECT_EQ(copy.imageInfo.width, 77);
        EXPECT_EQ(copy.workBlock, &source);
        EXPECT_EQ(copy.internalParams.VS, 1.5f);
        EXPECT_EQ(copy.params.preset, 0);
        EXPECT_EQ(copy.params.param1, 3.0f);
        EXPECT_EQ(copy.bicubicGain, 0.25f);
        EXPECT_EQ(copy.clampToNeighbours, 1);
        EXPECT_FALSE(copy.reservedFlag);
        EXPECT_EQ(copy.appliedParams.verticalStrength, 9.0f);
    };
    const CopyableCorrection constructed(source);
    expectCopy(constructed);
    CopyableCorrection assigned;
    assigned = source;
    expectCopy(assigned);
}

// A flat image stays exactly flat: every bilinear value is the constant and every bump cancels.
// It also shows that each run writes every sample of every row and nothing beyond the rows.
TEST(CorrectionRun, ConstantImageStaysExactlyConstant) {
    struct Case {
        int32_t width, height, depth, preset;
        uint32_t value;
    };
    const Case cases[] = {
        {40, 30, 8, 2, 77},     {30, 40, 8, 2, 77},
        {40, 30, 8, 0, 255},    {30, 40, 8, 1, 0},
        {40, 30, 16, 2, 30000}, {30, 40, 16, 2, 32768},
        {40, 30, 16, 1, 65535}, {40, 30, 0, 2, 40000},
        {30, 40, 12, 0, 1234},  // any depth but 8 is 16-bit
        {24, 24, 8, 2, 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", depth " << c.depth
                                        << ", preset " << c.preset << ", value " << c.value);
        StubbedServices services;
        InMemoryHost host(c.width, c.height, 2, c.depth);
        host.FillInput([&c](int32_t, int32_t, int32_t) { return c.value; });
        ASSERT_EQ(InitAndProcess(host, c.preset), CAResultOk);
        for (int32_t plane = 0; plane < 2; ++plane) {
            const std::vector<uint32_t> out = host.OutputPlane(plane);
            EXPECT_EQ(std::count(out.begin(), out.end(), c.value), static_cast<long>(out.size()));
            EXPECT_TRUE(host.OutputPaddingUntouched(plane));
        }
    }
}

TEST(CorrectionRun, OutputIsTheSameForEveryThreadCount) {
    struct Case {
        int32_t width, height, depth;
    };
    for (const Case c : {Case{53, 37, 8}, Case{37, 53, 8}, Case{53, 37, 16}, Case{37, 53, 16}}) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", depth " << c.depth);
        const uint32_t range = c.depth == 8 ? 256 : 32769;
        std::vector<std::vector<uint32_t>> reference;
        for (int32_t threads : {1, 2, 3, 8}) {
            StubbedServices services(threads);
            InMemoryHost host(c.width, c.height, 2, c.depth);
            host.FillInput(
                [range](int32_t p, int32_t x, int32_t y) { return Noise(p, x, y, range); });
            ASSERT_EQ(InitAndProcess(host), CAResultOk);
            ASSERT_EQ(gThreadCount, threads);
            for (const HostCall& call : host.calls) {
                ASSERT_TRUE(call.onCallingThread);
            }
            std::vector<std::vector<uint32_t>> planes = {host.OutputPlane(0), host.OutputPlane(1)};
            if (reference.empty()) {
                reference = planes;
            } else {
                EXPECT_EQ(planes, reference) << threads << " threads";
            }
        }
    }
}

// A tall image goes through the model with its row as the long-side position, so it is
// corrected as the transposed wide image would be, up to the order of float sums.
TEST(CorrectionRun, TallImageIsCorrectedLikeTheTransposedWideImage) {
    for (int32_t depth : {8, 16}) {
        SCOPED_TRACE(testing::Message() << "depth " << depth);
        StubbedServices services;
        const auto smooth = [](int32_t x, int32_t y) {
            return static_cast<uint32_t>(128.0 + 100.0 * std::sin(x * 0.31) * std::cos(y * 0.23));
        };
        InMemoryHost wide(64, 40, 1, depth);
        wide.FillInput([&](int32_t, int32_t x, int32_t y) { return smooth(x, y); });
        InMemoryHost tall(40, 64, 1, depth);
        tall.FillInput([&](int32_t, int32_t x, int32_t y) { return smooth(y, x); });
        ASSERT_EQ(InitAndProcess(wide), CAResultOk);
        ASSERT_EQ(InitAndProcess(tall), CAResultOk);

        int32_t exact = 0;
        for (int32_t y = 0; y < 64; ++y) {
            for (int32_t x = 0; x < 40; ++x) {
                const int64_t a = tall.OutputAt(0, x, y);
                const int64_t b = wide.OutputAt(0, y, x);
                ASSERT_LE(std::abs(a - b), 1) << x << ", " << y;
                exact += a == b;
            }
        }
        EXPECT_GE(exact, 64 * 40 * 95 / 100);
    }
}

TEST(CorrectionRun, RepeatedProcessGivesTheSameImage) {
    StubbedServices services;
    InMemoryHost host(50, 33, 1, 8);
    host.FillInput([](int32_t p, int32_t x, int32_t y) { return Noise(p, x, y, 256); });
    ASSERT_EQ(InitAndProcess(host), CAResultOk);
    const std::vector<uint32_t> first = host.OutputPlane(0);
    ASSERT_EQ(ProcessWholeImage(host), CAResultOk);
    EXPECT_EQ(host.OutputPlane(0), first);
}

// An index without a preset loads nothing; on a new object the run then works on zero
// coefficients, and must still read only inside the image.
TEST(CorrectionRun, UnknownPresetOnANewObjectRunsOnDefinedValues) {
    StubbedServices services;
    InMemoryHost host(20, 12, 1, 8);
    host.FillInput([](int32_t p, int32_t x, int32_t y) { return Noise(p, x, y, 256); });
    ASSERT_EQ(InitAndProcess(host, 7), CAResultOk);
    const std::vector<uint32_t> first = host.OutputPlane(0);
    EXPECT_FALSE(host.OutputUntouched(0));
    ASSERT_EQ(ProcessWholeImage(host), CAResultOk);
    EXPECT_EQ(host.OutputPlane(0), first);
}

// Sides of one or two pixels break the lens arithmetic down (a one-pixel short side makes scale
// infinite); every read must still lie inside the plane.
TEST(CorrectionRun, DegenerateSidesReadOnlyInsideThePlane) {
    struct Case {
        int32_t width, height, preset;
    };
    for (const Case c :
         {Case{50, 1, 0}, Case{1, 50, 1}, Case{1, 1, 0}, Case{2, 2, 2}, Case{3, 2, 0}}) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", preset " << c.preset);
        StubbedServices services;
        InMemoryHost host(c.width, c.height, 1, 8, 0);
        host.FillInput([](int32_t, int32_t, int32_t) { return 7u; });
        ASSERT_EQ(InitAndProcess(host, c.preset), CAResultOk);
        const std::vector<uint32_t> out = host.OutputPlane(0);
        EXPECT_EQ(std::count(out.begin(), out.end(), 7u), static_cast<long>(out.size()));
    }
}

uint64_t Fnv1a(const std::vector<uint32_t>& samples) {
    uint64_t hash = 0xcbf29ce484222325u;
    for (uint32_t sample : samples) {
        hash = (hash ^ sample) * 0x100000001b3u;
    }
    return hash;
}

// The arithmetic is single precision throughout, grouped as written and never fused, so every
// build (and every compiler that keeps to that) gives these very samples.
TEST(CorrectionRun, OutputIsTheRecordedImageOnEveryBuild) {
    struct Case {
        int32_t width, height, depth, preset;
        uint64_t hash;
    };
    const Case cases[] = {
        {64, 48, 8, 2, 10144883461016985536u}, {48, 64, 8, 2, 18338997841960868517u},
        {64, 48, 16, 2, 7152368610324972095u}, {64, 48, 8, 0, 6918211568395975927u},
        {64, 48, 16, 1, 1939041970610030617u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height << ", depth " << c.depth
                                        << ", preset " << c.preset);
        StubbedServices services;
        InMemoryHost host(c.width, c.height, 1, c.depth);
        const uint32_t range = c.depth == 8 ? 256 : 32769;
        host.FillInput([range](int32_t p, int32_t x, int32_t y) { return Noise(p, x, y, range); });
        ASSERT_EQ(InitAndProcess(host, c.preset), CAResultOk);
        EXPECT_EQ(Fnv1a(host.OutputPlane(0)), c.hash);
    }
}

}  // namespace
