#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "framework/CAAlgorithm.h"

namespace {

// A complete algorithm that records what each side sees of the shared base.
class ProbeAlgorithm final : public CAAlgorithm {
public:
    CAResult Init(int32_t) override {
        workBlock = AllocateBuffer(40);
        return CAResultOk;
    }
    CAResult Analyze(CARect&) override { return CAResultOk; }
    CAResult Process(CARect&, CARect&, CAProcessType) override { return CAResultOk; }
    int32_t Version() override { return 1; }
    CAResult Release() override { return CAResultOk; }

    void* AllocateBuffer(uint32_t) override { return &block; }
    void FreeBuffer(void*) override {}
    void ReportProgress(CAProgressStage, int32_t) override {}
    CAResult GetData(CAImageBuffer*, CARect&, void*, CAChannelsType) override {
        return CAResultOk;
    }
    CAResult PutData(CAImageBuffer*, CARect&, void*, CAChannelsType) override {
        return CAResultOk;
    }
    int32_t ReservedOperation() override { return 0; }

    static void Lookup(float* value, float* table, int16_t count) { ApplyLUT(value, table, count); }

    char block[40] = {};
};

TEST(CAAlgorithm, BothInterfacesShareOneImageDescriptionAndWorkBlock) {
    ProbeAlgorithm algorithm;
    CAAlgorithmInterface& algorithmSide = algorithm;
    CAHostInterface& hostSide = algorithm;
    EXPECT_EQ(&algorithmSide.imageInfo, &hostSide.imageInfo);
    EXPECT_EQ(&algorithmSide.workBlock, &hostSide.workBlock);

    hostSide.imageInfo.width = 3000;
    hostSide.imageInfo.depth = 16;
    EXPECT_EQ(algorithmSide.imageInfo.width, 3000);
    EXPECT_EQ(algorithmSide.imageInfo.depth, 16);
    EXPECT_EQ(algorithmSide.imageInfo.channels, 3);  // the shared base got the defaults once

    EXPECT_EQ(algorithmSide.Init(2), CAResultOk);
    EXPECT_EQ(hostSide.workBlock, algorithm.block);
}

TEST(CAAlgorithm, DefaultGetDataRefIsNotImplementedAndStoresNothing) {
    ProbeAlgorithm algorithm;
    CARect rect(10, 10);
    void* inData = &algorithm;
    void* outData = &algorithm;
    int32_t inRowBytes = 123;
    int32_t outRowBytes = 456;
    CAHostInterface& host = algorithm;
    EXPECT_EQ(host.GetDataRef(rect, &inData, &inRowBytes, rect, &outData, &outRowBytes,
                              static_cast<CAChannelsType>(5)),
              CAResultNotImplemented);
    EXPECT_EQ(inData, &algorithm);
    EXPECT_EQ(outData, &algorithm);
    EXPECT_EQ(inRowBytes, 123);
    EXPECT_EQ(outRowBytes, 456);
}

TEST(CAAlgorithm, CopiesTakeTheWholeSharedBase) {
    ProbeAlgorithm a;
    a.imageInfo.width = 77;
    a.workBlock = &a;
    ProbeAlgorithm b(a);
    EXPECT_EQ(b.imageInfo.width, 77);
    EXPECT_EQ(b.workBlock, &a);
    ProbeAlgorithm c;
    c = a;
    EXPECT_EQ(c.imageInfo.width, 77);
    EXPECT_EQ(c.workBlock, &a);
}

struct LookupCase {
    float value;
    float expected;
};

TEST(CAAlgorithmApplyLUT, InterpolatesAndClampsOnlyInterpolatedResults) {
    float rising[] = {0.0f, 10.0f, 20.0f};
    const LookupCase risingCases[] = {
        {0.25f, 5.0f}, {0.999f, 19.98f}, {0.0f, 0.0f}, {-1.0f, 0.0f}, {1.5f, 20.0f},
    };
    for (const LookupCase& c : risingCases) {
        float v = c.value;
        ProbeAlgorithm::Lookup(&v, rising, 3);
        EXPECT_NEAR(v, c.expected, 1e-4f) << "value " << c.value;
    }

    float falling[] = {-5.0f, 5.0f};
    float v = 0.25f;
    ProbeAlgorithm::Lookup(&v, falling, 2);
    EXPECT_EQ(v, 0.0f) << "an interpolated -2.5 is clamped at 0";
    v = 0.0f;
    ProbeAlgorithm::Lookup(&v, falling, 2);
    EXPECT_EQ(v, -5.0f) << "an end entry is written as it stands";
}

TEST(CAAlgorithmApplyLUT, SingleEntryTableGivesThatEntryForEveryValue) {
    float table[] = {42.0f};
    for (float value : {-1.0f, 0.0f, 0.5f, 1.0f, 7.0f}) {
        float v = value;
        ProbeAlgorithm::Lookup(&v, table, 1);
        EXPECT_EQ(v, 42.0f) << value;
    }
}

TEST(CAAlgorithmApplyLUT, NotANumberTakesTheFirstEntry) {
    float table[] = {3.0f, 10.0f, 20.0f};
    float v = std::numeric_limits<float>::quiet_NaN();
    ProbeAlgorithm::Lookup(&v, table, 3);
    EXPECT_EQ(v, 3.0f);
    v = -std::numeric_limits<float>::quiet_NaN();
    ProbeAlgorithm::Lookup(&v, table, 3);
    EXPECT_EQ(v, 3.0f);
}

TEST(CAAlgorithmApplyLUT, EmptyOrNegativeCountLeavesValueAndReadsNothing) {
    for (int16_t count : {int16_t{0}, int16_t{-1}, int16_t{-32768}}) {
        float v = 0.5f;
        ProbeAlgorithm::Lookup(&v, nullptr, count);
        EXPECT_EQ(v, 0.5f) << count;
    }
}

struct PlaneRangeCase {
    int32_t channels;
    bool accepted;
    int16_t first;
    int16_t last;
};

TEST(CAChannelsPlaneRange, MapsSelectorsToPlanesAndRefusesTheRest) {
    const PlaneRangeCase cases[] = {
        {0, true, 0, 0},   {1, true, 1, 1},   {2, true, 2, 2},   {5, true, 0, 0},
        {6, true, 1, 1},   {7, true, 2, 2},   {8, true, 3, 3},   {14, true, 9, 9},
        {15, true, 0, 2},  {16, true, 0, 2},  {3, false, 0, 0},  {4, false, 0, 0},
        {17, false, 0, 0}, {-1, false, 0, 0}, {std::numeric_limits<int32_t>::min(), false, 0, 0},
    };
    for (const PlaneRangeCase& c : cases) {
        int16_t first = -7;
        int16_t last = -7;
        EXPECT_EQ(CAChannelsPlaneRange(static_cast<CAChannelsType>(c.channels), &first, &last),
                  c.accepted)
            << c.channels;
        EXPECT_EQ(first, c.accepted ? c.first : -7) << c.channels;
        EXPECT_EQ(last, c.accepted ? c.last : -7) << c.channels;
    }
}

}  // namespace
