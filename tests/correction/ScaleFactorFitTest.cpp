#include <gtest/gtest.h>

#include <bit>
#include <cstdint>

#include "correction/RunGeometry.h"
#include "correction/VexoInternalParams.h"
#include "tests/correction/CorrectionTestAccess.h"
#include "tests/correction/InMemoryHost.h"

namespace {

using Access = CVexoCorrectionAlgorithmTestAccess;
using vexo::testing::InMemoryHost;

TEST(RunGeometry, FollowsTheLongerSide) {
    struct Case {
        int32_t width, height;
        float radiusRatio;
        bool transposed;
        float longSide, shortSide, radius, invRadius, scale;
    };
    const Case cases[] = {
        {3000, 2000, 1.509f, false, 3000.0f, 2000.0f, 2720.388f, 0.00036759f, 2.7217493f},
        {2000, 3000, 1.509f, true, 3000.0f, 2000.0f, 2720.388f, 0.00036759f, 2.7217493f},
        {24, 24, 1.509f, false, 24.0f, 24.0f, 25.6086f, 0.0390494f, 2.22683f},
    };
    // The expected values are rounded to the digits shown.
    for (const Case& c : cases) {
        const RunGeometry g = ComputeRunGeometry(c.width, c.height, c.radiusRatio);
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        EXPECT_EQ(g.transposed, c.transposed);
        EXPECT_EQ(g.longSide, c.longSide);
        EXPECT_EQ(g.shortSide, c.shortSide);
        EXPECT_NEAR(g.radius, c.radius, c.radius * 2e-5f);
        EXPECT_NEAR(g.invRadius, c.invRadius, c.invRadius * 2e-5f);
        EXPECT_NEAR(g.scale, c.scale, c.scale * 2e-5f);
    }
}

// The preset loaded and fitted for an image, as a Process does it before its first plane.
struct Fitted {
    VexoInternalParams lens;
    RunGeometry geometry;
};

Fitted Fit(int32_t preset, int32_t width, int32_t height, float horizontalStrength = 50.0f,
           float verticalStrength = 50.0f) {
    InMemoryHost algorithm(width, height, 0, 8);
    algorithm.params.preset = preset;
    algorithm.params.horizontalStrength = horizontalStrength;
    algorithm.params.verticalStrength = verticalStrength;
    const RunGeometry geometry = Access::LoadAndFit(algorithm, width, height);
    return {algorithm.internalParams, geometry};
}

// Where the lens model sends a long-side position before the clamp: the same offset from the
// centre on a longer side, whose clamp it does not reach, shifted back.
float UnclampedLongSidePosition(const Fitted& f, float x, float y) {
    const float extra = 10.0f;
    float longPos = x + extra * 0.5f;
    float shortPos = y;
    const RunGeometry& g = f.geometry;
    f.lens.TransformCoordinates(&longPos, &shortPos, g.scale, g.radius, g.invRadius,
                                g.longSide + extra, g.shortSide);
    return longPos - extra * 0.5f;
}

float ShortSidePosition(const Fitted& f, float x, float y) {
    const RunGeometry& g = f.geometry;
    f.lens.TransformCoordinates(&x, &y, g.scale, g.radius, g.invRadius, g.longSide, g.shortSide);
    return y;
}

float LongSidePosition(const Fitted& f, float x, float y) {
    const RunGeometry& g = f.geometry;
    f.lens.TransformCoordinates(&x, &y, g.scale, g.radius, g.invRadius, g.longSide, g.shortSide);
    return x;
}

TEST(ScaleFactorFit, Preset2AimsTheReferencePointsAtTheImageEdges) {
    const Fitted f = Fit(2, 3000, 2000);
    EXPECT_NEAR(f.lens.VS, 1.06527f, 1e-5f);
    EXPECT_NEAR(f.lens.V3, 0.12787f, 1e-5f);
    EXPECT_EQ(f.lens.HS, f.lens.VS);
    // Top centre samples source row 0, left centre one column before the first.
    EXPECT_NEAR(ShortSidePosition(f, 1499.5f, 0.0f), 0.005f, 1e-3f);
    EXPECT_NEAR(UnclampedLongSidePosition(f, 0.0f, 999.5f), -1.087f, 1e-3f);
    EXPECT_EQ(LongSidePosition(f, 0.0f, 999.5f), 0.0f);
}

TEST(ScaleFactorFit, Preset0ForcesItsCubicTerm) {
    const Fitted f = Fit(0, 3000, 2000);
    EXPECT_EQ(std::bit_cast<uint32_t>(f.lens.V3), 0x3E10624Eu);  // 0.141
    EXPECT_EQ(f.lens.HS, f.lens.VS);
    EXPECT_NEAR(LongSidePosition(f, 0.0f, 999.5f), 62.0f, 0.5f);
}

// Within [VS, 1.03 VS] the horizontal fit changes nothing that is kept: V3 stays 0 and HS
// becomes VS, so the left centre samples well inside the source.
TEST(ScaleFactorFit, WantedScaleWithinTheBoundLeavesTheCubicTermAlone) {
    const Fitted f = Fit(2, 5000, 1000);
    EXPECT_NEAR(f.lens.VS, 1.00688f, 1e-5f);
    EXPECT_EQ(f.lens.V3, 0.0f);
    EXPECT_EQ(f.lens.HS, f.lens.VS);
    EXPECT_NEAR(LongSidePosition(f, 0.0f, 499.5f), 32.0f, 0.5f);
}

TEST(ScaleFactorFit, TallImageIsFittedAlongItsHeight) {
    const Fitted wide = Fit(2, 3000, 2000);
    const Fitted tall = Fit(2, 2000, 3000);
    EXPECT_TRUE(tall.geometry.transposed);
    EXPECT_EQ(tall.lens.HS, wide.lens.HS);
    EXPECT_EQ(tall.lens.VS, wide.lens.VS);
    EXPECT_EQ(tall.lens.V3, wide.lens.V3);
    EXPECT_EQ(tall.lens.H3, wide.lens.H3);
}

TEST(ScaleFactorFit, StrengthsScaleTheCubicTerms) {
    struct Case {
        float strength;
        float factor;
    };
    const Case cases[] = {{50.0f, 1.0f}, {100.0f, 1.1f},  {0.0f, 0.9f},  {550.0f, 2.0f},
                          {1e6f, 2.0f},  {-450.0f, 0.0f}, {-1e6f, 0.0f}, {75.0f, 1.05f}};
    // Preset 0 ends with V3 = 0.141 whatever the fit found; H3 is the preset's 0.28.
    for (const Case& c : cases) {
        const Fitted horizontal = Fit(0, 3000, 2000, c.strength, 50.0f);
        EXPECT_FLOAT_EQ(horizontal.lens.V3, 0.141f * c.factor) << c.strength;
        EXPECT_FLOAT_EQ(horizontal.lens.H3, 0.28f) << c.strength;
        const Fitted vertical = Fit(0, 3000, 2000, 50.0f, c.strength);
        EXPECT_FLOAT_EQ(vertical.lens.V3, 0.141f) << c.strength;
        EXPECT_FLOAT_EQ(vertical.lens.H3, 0.28f * c.factor) << c.strength;
    }
    // Strength 50 is exactly neutral.
    EXPECT_EQ(Fit(0, 3000, 2000).lens.V3, 0.141f);
    EXPECT_EQ(Fit(0, 3000, 2000).lens.H3, 0.28f);
}

class ScaleFactorFitLimits : public ::testing::Test {
protected:
    ScaleFactorFitLimits() : algorithm(3000, 2000, 0, 8) {
        algorithm.params.preset = 2;
        Access::SetVexoInternalParameters(algorithm, 2);
    }

    void FitTo(const RunGeometry& geometry) {
        Access::DetermineHorizontalAndVerticalScaleFactors(algorithm, geometry);
    }

    InMemoryHost algorithm;
    VexoInternalParams& lens = algorithm.internalParams;
};

// A fit that never comes within tolerance gives up after 100 iterations with its start values.
TEST_F(ScaleFactorFitLimits, VerticalFitOutOfReachKeepsItsStartValue) {
    // v - 3 v^3 peaks at 0.22, below the 0.37 that the top centre needs.
    lens.H3 = 3.0f;
    lens.VS = 1.2345f;
    FitTo(ComputeRunGeometry(3000, 2000, lens.RR));
    EXPECT_EQ(lens.VS, 1.2345f);
    EXPECT_EQ(lens.HS, 1.2345f);
}

TEST_F(ScaleFactorFitLimits, HorizontalFitOutOfReachKeepsItsStartValue) {
    lens.V5 = 10.0f;
    lens.V3 = 0.25f;
    FitTo(ComputeRunGeometry(3000, 2000, lens.RR));
    EXPECT_EQ(lens.V3, 0.25f);
    EXPECT_EQ(lens.HS, lens.VS);
}

TEST_F(ScaleFactorFitLimits, SideOfLengthZeroSkipsItsFit) {
    lens.V3 = 0.25f;
    RunGeometry noLongSide = ComputeRunGeometry(3000, 2000, lens.RR);
    noLongSide.longSide = 0.0f;
    FitTo(noLongSide);
    EXPECT_EQ(lens.V3, 0.25f) << "horizontal fit skipped";
    EXPECT_NEAR(lens.VS, 1.06527f, 1e-5f) << "vertical fit ran";

    Access::SetVexoInternalParameters(algorithm, 2);
    RunGeometry noShortSide = ComputeRunGeometry(3000, 2000, lens.RR);
    noShortSide.shortSide = 0.0f;
    FitTo(noShortSide);
    EXPECT_EQ(lens.VS, 1.0649f) << "vertical fit skipped";
}

// A short side of one pixel puts the reference point on the centre: one iteration, ratio 1.
TEST_F(ScaleFactorFitLimits, ReferencePointOnTheCentreEndsTheFitAtOnce) {
    FitTo(ComputeRunGeometry(3000, 1, lens.RR));
    EXPECT_EQ(lens.VS, 1.0649f);
    EXPECT_EQ(lens.HS, 1.0649f);
}

TEST_F(ScaleFactorFitLimits, RepeatedRunsStartAfreshFromThePreset) {
    Access::LoadAndFit(algorithm, 3000, 2000);
    const VexoInternalParams once = lens;
    Access::LoadAndFit(algorithm, 3000, 2000);
    EXPECT_EQ(std::bit_cast<uint32_t>(lens.VS), std::bit_cast<uint32_t>(once.VS));
    EXPECT_EQ(std::bit_cast<uint32_t>(lens.V3), std::bit_cast<uint32_t>(once.V3));
    EXPECT_EQ(std::bit_cast<uint32_t>(lens.H3), std::bit_cast<uint32_t>(once.H3));
}

}  // namespace
