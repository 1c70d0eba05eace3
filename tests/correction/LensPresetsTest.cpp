#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>

#include "correction/CAVexoCorrectionParams.h"
#include "correction/VexoInternalParams.h"
#include "tests/correction/CorrectionTestAccess.h"
#include "tests/correction/InMemoryHost.h"

namespace {

using Access = CVexoCorrectionAlgorithmTestAccess;
using vexo::testing::InMemoryHost;

std::array<uint32_t, 12> BitsOf(const VexoInternalParams& p) {
    return {std::bit_cast<uint32_t>(p.HS),   std::bit_cast<uint32_t>(p.V3),
            std::bit_cast<uint32_t>(p.VC3),  std::bit_cast<uint32_t>(p.V5),
            std::bit_cast<uint32_t>(p.RR),   std::bit_cast<uint32_t>(p.Twist),
            std::bit_cast<uint32_t>(p.VCQ3), std::bit_cast<uint32_t>(p.VS),
            std::bit_cast<uint32_t>(p.H3),   std::bit_cast<uint32_t>(p.HC3),
            std::bit_cast<uint32_t>(p.H5),   std::bit_cast<uint32_t>(p.HC)};
}

void FillWith(VexoInternalParams& p, float value) {
    p.HS = p.V3 = p.VC3 = p.V5 = p.RR = p.Twist = p.VCQ3 = p.VS = p.H3 = p.HC3 = p.H5 = p.HC =
        value;
}

// The coefficients in field order: HS V3 VC3 V5 RR Twist VCQ3 VS H3 HC3 H5 HC.
constexpr std::array<std::array<uint32_t, 12>, 3> kPresetBits = {{
    {0x3FAAD773, 0, 0x3E3851EC, 0x3DF5C28F, 0x3F47AE14, 0, 0x3E9EB852, 0x3FAAD773, 0x3E8F5C29,
     0x3D75C28F, 0x3DB851EC, 0},
    {0x3F98346E, 0, 0x3E147AE1, 0x3D8F5C29, 0x3F7D70A4, 0, 0x3E3851EC, 0x3F98346E, 0x3EB851EC, 0,
     0x3CF5C28F, 0},
    {0x3F884EA5, 0, 0x3E147AE1, 0x3DA3D70A, 0x3FC126E9, 0, 0x3E3851EC, 0x3F884EA5, 0x3ECCCCCD, 0, 0,
     0},
}};
constexpr uint32_t kBicubicGainBits = 0x3ECCCCCD;  // 0.4

TEST(SetVexoInternalParameters, LoadsEveryValueOfThePresetBitForBit) {
    for (int32_t preset = 0; preset < 3; ++preset) {
        InMemoryHost algorithm(8, 8, 0, 8);
        // Nothing of an earlier preset, fit or strength scaling may survive a load.
        FillWith(algorithm.internalParams, -7.0f);
        algorithm.bicubicGain = -7.0f;
        algorithm.clampToNeighbours = 9;

        EXPECT_EQ(Access::SetVexoInternalParameters(algorithm, preset), CAResultOk);
        EXPECT_EQ(BitsOf(algorithm.internalParams), kPresetBits[preset]) << "preset " << preset;
        EXPECT_EQ(std::bit_cast<uint32_t>(algorithm.bicubicGain), kBicubicGainBits);
        EXPECT_EQ(algorithm.clampToNeighbours, 0);
    }
}

TEST(SetVexoInternalParameters, UnknownPresetChangesNothing) {
    for (int32_t preset : {-1, 3, 1000}) {
        InMemoryHost algorithm(8, 8, 0, 8);
        FillWith(algorithm.internalParams, -7.0f);
        algorithm.bicubicGain = 3.0f;
        algorithm.clampToNeighbours = 9;
        const auto before = BitsOf(algorithm.internalParams);

        EXPECT_EQ(Access::SetVexoInternalParameters(algorithm, preset), CAResultBadParameter);
        EXPECT_EQ(BitsOf(algorithm.internalParams), before);
        EXPECT_EQ(algorithm.bicubicGain, 3.0f);
        EXPECT_EQ(algorithm.clampToNeighbours, 9);
    }
}

TEST(VexoInternalParams, AssignmentCopiesAllTwelveCoefficients) {
    VexoInternalParams source;
    float value = 1.0f;
    for (float* field :
         {&source.HS, &source.V3, &source.VC3, &source.V5, &source.RR, &source.Twist, &source.VCQ3,
          &source.VS, &source.H3, &source.HC3, &source.H5, &source.HC}) {
        *field = value++;
    }
    VexoInternalParams target;
    VexoInternalParams& result = (target = source);
    EXPECT_EQ(&result, &target);
    EXPECT_EQ(BitsOf(target), BitsOf(source));
}

TEST(CAVexoCorrectionParams, DefaultsToPresetOneAndNeutralStrengths) {
    const CAVexoCorrectionParams params;
    EXPECT_EQ(params.preset, 1);
    EXPECT_EQ(params.param1, 50.0f);
    EXPECT_EQ(params.param2, 50.0f);
    EXPECT_EQ(params.horizontalStrength, 50.0f);
    EXPECT_EQ(params.verticalStrength, 50.0f);
}

TEST(CAVexoCorrectionParams, AssignmentCopiesAllFiveFields) {
    CAVexoCorrectionParams source;
    source.preset = 2;
    source.param1 = 1.0f;
    source.param2 = 2.0f;
    source.horizontalStrength = 3.0f;
    source.verticalStrength = 4.0f;
    CAVexoCorrectionParams target;
    CAVexoCorrectionParams& result = (target = source);
    EXPECT_EQ(&result, &target);
    EXPECT_EQ(target.preset, 2);
    EXPECT_EQ(target.param1, 1.0f);
    EXPECT_EQ(target.param2, 2.0f);
    EXPECT_EQ(target.horizontalStrength, 3.0f);
    EXPECT_EQ(target.verticalStrength, 4.0f);
}

}  // namespace
