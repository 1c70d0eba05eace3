#include "host/PIVexoCorrectionAlgorithm.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

#include "host/TrackedMemory.h"
#include "platform/Platform.h"
#include "tests/host/HostCall.h"
#include "tools/host/FilterHost.h"

namespace {

using vexo::filterhost::BufferOp;
using vexo::filterhost::FilterHost;
using vexo::filterhost::HostFaults;
using vexo::filterhost::HostImage;
using vexo::filterhost::HostRect;
using Reports = std::vector<std::pair<int32_t, int32_t>>;

static_assert(std::is_base_of_v<CVexoCorrectionAlgorithm, PIVexoCorrectionAlgorithm>);
static_assert(std::is_base_of_v<PICAHostInterface, PIVexoCorrectionAlgorithm>);
static_assert(std::is_base_of_v<CAHostInterface, PICAHostInterface>);
static_assert(!std::has_virtual_destructor_v<PIVexoCorrectionAlgorithm>);
// Two CAHostInterface subobjects make a plain conversion to it ambiguous.
static_assert(!std::is_convertible_v<PIVexoCorrectionAlgorithm*, CAHostInterface*>);

// No real pause after a run, and a fixed core count.
class QuietServices {
public:
    QuietServices() {
        services_->sleepMilliseconds = [](uint32_t) {};
        services_->queryPhysicalCores = [] {
            return vexo::platform::CoreQueryResult{vexo::platform::CoreQueryStatus::Ok, 2};
        };
        services_->pathExists = [](const char*) { return false; };
    }

private:
    vexo::platform::ScopedServices services_;
};

CAHostInterface& ThroughAlgorithm(PIVexoCorrectionAlgorithm& object) {
    return static_cast<CAAlgorithm&>(object);
}

CAHostInterface& ThroughHostSide(PIVexoCorrectionAlgorithm& object) {
    return static_cast<PICAHostInterface&>(object);
}

class PIVexoCorrection : public ::testing::Test {
protected:
    QuietServices services;
    FilterHost host{HostImage(6, 3, 2, 8)};
    HostCall call{host};
};

TEST_F(PIVexoCorrection, NewObjectHoldsTheDefaultsAndLeavesTheHostAlone) {
    auto* object = new PIVexoCorrectionAlgorithm;
    const CAImageInfo& info = object->imageInfo;
    EXPECT_EQ(info.width, 0);
    EXPECT_EQ(info.height, 0);
    EXPECT_EQ(info.channels, 3);
    EXPECT_EQ(info.depth, 8);
    EXPECT_EQ(info.reserved0, 0);
    EXPECT_EQ(info.reserved1, 4);
    EXPECT_EQ(info.sourceImage, nullptr);
    EXPECT_EQ(info.destinationImage, nullptr);
    EXPECT_EQ(object->workBlock, nullptr);
    EXPECT_EQ(object->params.preset, 1);
    EXPECT_EQ(object->params.param1, 50.0f);
    EXPECT_EQ(object->params.param2, 50.0f);
    EXPECT_EQ(object->params.horizontalStrength, 50.0f);
    EXPECT_EQ(object->params.verticalStrength, 50.0f);
    EXPECT_TRUE(object->reservedFlag);
    delete object;
    EXPECT_TRUE(host.BufferCalls().empty());
    EXPECT_TRUE(host.DataRequests().empty());
    EXPECT_TRUE(host.ProgressReports().empty());
}

TEST_F(PIVexoCorrection, BothHostOccurrencesReachOneImageDescription) {
    PIVexoCorrectionAlgorithm object;
    CAHostInterface& viaAlgorithm = ThroughAlgorithm(object);
    CAHostInterface& viaHostSide = ThroughHostSide(object);
    CAAlgorithmInterface& algorithmSide = object;
    EXPECT_NE(static_cast<void*>(&viaAlgorithm), static_cast<void*>(&viaHostSide));
    EXPECT_EQ(&viaAlgorithm.imageInfo, &viaHostSide.imageInfo);
    EXPECT_EQ(&algorithmSide.imageInfo, &viaHostSide.imageInfo);
    EXPECT_EQ(&viaAlgorithm.workBlock, &viaHostSide.workBlock);

    viaHostSide.imageInfo.width = 3000;
    viaHostSide.imageInfo.depth = 16;
    EXPECT_EQ(viaAlgorithm.imageInfo.width, 3000);
    EXPECT_EQ(algorithmSide.imageInfo.depth, 16);
}

// The same seven overrides answer through either occurrence.
TEST_F(PIVexoCorrection, OverridesServeBothOccurrences) {
    PIVexoCorrectionAlgorithm object;
    for (CAHostInterface* side : {&ThroughAlgorithm(object), &ThroughHostSide(object)}) {
        host.ClearLogs();
        EXPECT_EQ(side->ReservedOperation(), 0);

        // A real request, never the base default's CAResultNotImplemented.
        CARect rect(6, 3);
        void* inData = nullptr;
        void* outData = nullptr;
        int32_t inRowBytes = 0;
        int32_t outRowBytes = 0;
        EXPECT_EQ(side->GetDataRef(rect, &inData, &inRowBytes, rect, &outData, &outRowBytes,
                                   static_cast<CAChannelsType>(6)),
                  CAResultOk);
        ASSERT_EQ(host.DataRequests().size(), 1u);
        EXPECT_EQ(host.DataRequests()[0].inLoPlane, 1);
        EXPECT_NE(inData, nullptr);
        for (int32_t refused : {3, 4, 17, -1}) {
            EXPECT_EQ(side->GetDataRef(rect, &inData, &inRowBytes, rect, &outData, &outRowBytes,
                                       static_cast<CAChannelsType>(refused)),
                      CAResultDataUnavailable);
        }
        EXPECT_EQ(host.DataRequests().size(), 1u);

        std::vector<uint8_t> buffer(18, 0);
        EXPECT_EQ(side->GetData(nullptr, rect, buffer.data(), static_cast<CAChannelsType>(5)),
                  CAResultOk);
        EXPECT_EQ(side->PutData(nullptr, rect, buffer.data(), static_cast<CAChannelsType>(5)),
                  CAResultOk);
        EXPECT_EQ(host.DataRequests().size(), 3u);

        host.ClearLogs();
        side->ReportProgress(static_cast<CAProgressStage>(3), 10);
        side->ReportProgress(static_cast<CAProgressStage>(-1), 10);
        UpdateProgress(ProgressOpEnable);
        side->ReportProgress(CAProgressStart, 2);
        side->ReportProgress(CAProgressStep, 0);
        side->ReportProgress(CAProgressStep, -5);
        side->ReportProgress(CAProgressStep, 1);
        side->ReportProgress(CAProgressEnd, 0);
        EXPECT_EQ(host.ProgressReports(), (Reports{{0, 2}, {1, 2}, {1, 2}, {2, 2}}));
        UpdateProgress(ProgressOpDisable);
    }
}

TEST_F(PIVexoCorrection, BuffersGoBackThroughEitherOccurrence) {
    PIVexoCorrectionAlgorithm object;
    void* block = ThroughAlgorithm(object).AllocateBuffer(40);
    ASSERT_NE(block, nullptr);
    ASSERT_NE(gAllocationList.head, nullptr);
    EXPECT_EQ(gAllocationList.head->block, block);
    EXPECT_EQ(gAllocationList.head->fromHeap, 0);

    host.ClearLogs();
    int unlisted = 0;
    ThroughHostSide(object).FreeBuffer(nullptr);
    ThroughHostSide(object).FreeBuffer(&unlisted);
    EXPECT_TRUE(host.BufferCalls().empty());
    EXPECT_EQ(gAllocationList.head->block, block);

    ThroughHostSide(object).FreeBuffer(block);
    EXPECT_EQ(gAllocationList.head, nullptr);
    ASSERT_EQ(host.BufferCalls().size(), 2u);
    EXPECT_EQ(host.BufferCalls()[0].op, BufferOp::Unlock);
    EXPECT_EQ(host.BufferCalls()[1].op, BufferOp::Free);
    EXPECT_TRUE(host.LiveBuffers().empty());
}

// The run of a start call, with the start handler's part played here: the working
// block comes from the host and goes back, each plane is one request for the whole
// image, and the host sees the report sequences of a successful and a failed run.
TEST_F(PIVexoCorrection, RunsThroughTheHost) {
    struct Case {
        const char* name;
        HostFaults faults;
        CAResult processResult;
        Reports reports;
    };
    HostFaults secondPlaneFails;
    secondPlaneFails.failAdvanceStateForPlane = 1;
    const Case cases[] = {
        {"successful run",
         {},
         CAResultOk,
         {{0, 6}, {1, 6}, {2, 6}, {3, 6}, {4, 6}, {5, 6}, {6, 6}, {6, 6}}},
        {"second plane's request fails",
         secondPlaneFails,
         CAResultDataUnavailable,
         {{0, 6}, {1, 6}, {2, 6}, {3, 6}, {3, 6}, {4, 6}, {5, 6}, {6, 6}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        host.SetFaults(c.faults);
        host.ClearLogs();
        *gResult = 0;
        auto* object = new PIVexoCorrectionAlgorithm;
        object->imageInfo.width = 6;
        object->imageInfo.height = 3;
        object->imageInfo.channels = 2;
        object->imageInfo.depth = 8;
        object->imageInfo.reserved1 = 0;

        ASSERT_EQ(object->Init(2), CAResultOk);
        ASSERT_NE(object->workBlock, nullptr);
        EXPECT_EQ(host.LiveBuffers().size(), 1u);
        CARect whole(6, 3);
        EXPECT_EQ(object->Analyze(whole), CAResultOk);
        UpdateProgress(ProgressOpEnable);
        CARect in(6, 3);
        CARect out(6, 3);
        EXPECT_EQ(object->Process(in, out, CAProcessWholeImage), c.processResult);
        UpdateProgress(ProgressOpFinish);
        UpdateProgress(ProgressOpDisable);
        EXPECT_EQ(object->Release(), CAResultOk);
        delete object;

        EXPECT_EQ(host.ProgressReports(), c.reports);
        EXPECT_TRUE(host.LiveBuffers().empty());
        EXPECT_EQ(gAllocationList.head, nullptr);
        const HostRect image{0, 0, 3, 6};
        for (std::size_t plane = 0; plane < host.DataRequests().size(); ++plane) {
            const auto& request = host.DataRequests()[plane];
            EXPECT_EQ(request.inRect, image);
            EXPECT_EQ(request.outRect, image);
            EXPECT_EQ(request.inLoPlane, static_cast<int16_t>(plane));
            EXPECT_EQ(request.outHiPlane, static_cast<int16_t>(plane));
        }
        EXPECT_EQ(host.DataRequests().size(), 2u);
        EXPECT_TRUE(host.Misuses().empty());
    }
}

}  // namespace
