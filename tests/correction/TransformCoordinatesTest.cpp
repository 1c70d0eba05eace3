#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "correction/RunGeometry.h"
#include "correction/VexoInternalParams.h"
#include "tests/correction/CorrectionTestAccess.h"
#include "tests/correction/InMemoryHost.h"

namespace {

using Access = CVexoCorrectionAlgorithmTestAccess;
using vexo::testing::InMemoryHost;

struct Mapped {
    float x;
    float y;
};

Mapped Transform(const VexoInternalParams& lens, const RunGeometry& g, float x, float y) {
    lens.TransformCoordinates(&x, &y, g.scale, g.radius, g.invRadius, g.longSide, g.shortSide);
    return {x, y};
}

VexoInternalParams FittedPreset(int32_t preset, int32_t width, int32_t height, RunGeometry* g) {
    InMemoryHost algorithm(width, height, 0, 8);
    algorithm.params.preset = preset;
    *g = Access::LoadAndFit(algorithm, width, height);
    return algorithm.internalParams;
}

// HS = VS = 1 and nothing else: a lens whose only effect is the sqrt(1 - v^2) factor.
VexoInternalParams PlainLens() {
    VexoInternalParams lens;
    lens.HS = 1.0f;
    lens.VS = 1.0f;
    return lens;
}

TEST(TransformCoordinates, CentreOfOddSidesStaysExactlyInPlace) {
    const RunGeometry g = ComputeRunGeometry(3001, 2001, 1.2f);
    VexoInternalParams everyTerm;
    float value = 0.05f;
    for (float* field : {&everyTerm.HS, &everyTerm.V3, &everyTerm.VC3, &everyTerm.V5,
                         &everyTerm.Twist, &everyTerm.VCQ3, &everyTerm.VS, &everyTerm.H3,
                         &everyTerm.HC3, &everyTerm.H5, &everyTerm.HC}) {
        *field = value;
        value += 0.05f;
    }
    RunGeometry unused;
    for (const VexoInternalParams& lens :
         {everyTerm, FittedPreset(0, 3001, 2001, &unused), FittedPreset(1, 3001, 2001, &unused),
          FittedPreset(2, 3001, 2001, &unused)}) {
        const Mapped m = Transform(lens, g, 1500.0f, 1000.0f);
        EXPECT_EQ(m.x, 1500.0f);
        EXPECT_EQ(m.y, 1000.0f);
    }
}

TEST(TransformCoordinates, PlainLensPullsTheLongSideTowardsTheCentreOnly) {
    struct Case {
        float radiusRatio;
        float x;
        float y;
    };
    const Case cases[] = {
        {1.0f, 0.0f, 0.0f},
        {1.0f, 2999.0f, 1999.0f},
        {1.0f, 100.0f, 999.5f},
        {1.0f, 2100.0f, 37.0f},
        {0.7f, 640.0f, 1500.0f},
        {2.5f, 1.0f, 3.0f},
        // (cS - y) / radius beyond 1: the long-side position lands on the centre.
        {0.3f, 10.0f, 0.0f},
        {0.3f, 2900.0f, 1999.0f},
    };
    const VexoInternalParams lens = PlainLens();
    for (const Case& c : cases) {
        const RunGeometry g = ComputeRunGeometry(3000, 2000, c.radiusRatio);
        const double cL = 1499.5;
        const double cS = 999.5;
        const double argument = 1.0 - std::pow((cS - c.y) / g.radius, 2.0);
        const double expectedX = argument > 0.0 ? cL + (c.x - cL) * std::sqrt(argument) : cL;
        const Mapped m = Transform(lens, g, c.x, c.y);
        EXPECT_NEAR(m.x, expectedX, 1e-3) << c.x << ", " << c.y << " RR " << c.radiusRatio;
        EXPECT_NEAR(m.y, c.y, 1e-3) << c.x << ", " << c.y << " RR " << c.radiusRatio;
    }
}

TEST(TransformCoordinates, ClampsOntoTheFirstAndLastPixel) {
    const RunGeometry g = ComputeRunGeometry(3000, 2000, 1.0f);
    VexoInternalParams wide = PlainLens();
    wide.HS = 2.0f;
    wide.VS = 2.0f;
    EXPECT_EQ(Transform(wide, g, 0.0f, 999.5f).x, 0.0f);
    EXPECT_EQ(Transform(wide, g, 2999.0f, 999.5f).x, 2999.0f) << "side - 1, not side";
    EXPECT_EQ(Transform(wide, g, 1499.5f, 0.0f).y, 0.0f);
    EXPECT_EQ(Transform(wide, g, 1499.5f, 1999.0f).y, 1999.0f);
}

// The caller reads the source at the result, so it must lie inside the image even where the
// arithmetic breaks down: a position that is not a number, or a one-pixel short side, which makes
// scale infinite and the H5 term not a number.
TEST(TransformCoordinates, ResultStaysInsideTheImageWhenTheArithmeticBreaksDown) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    RunGeometry g;
    const VexoInternalParams preset0 = FittedPreset(0, 3000, 2000, &g);
    for (const Mapped& at : {Mapped{nan, nan}, Mapped{nan, 5.0f}, Mapped{5.0f, nan}}) {
        const Mapped m = Transform(preset0, g, at.x, at.y);
        EXPECT_GE(m.x, 0.0f);
        EXPECT_LE(m.x, 2999.0f);
        EXPECT_GE(m.y, 0.0f);
        EXPECT_LE(m.y, 1999.0f);
    }

    RunGeometry line;
    const VexoInternalParams lens = FittedPreset(0, 50, 1, &line);
    for (float x : {0.0f, 10.0f, 49.0f}) {
        const Mapped m = Transform(lens, line, x, 0.0f);
        EXPECT_GE(m.x, 0.0f) << x;
        EXPECT_LE(m.x, 49.0f) << x;
        EXPECT_EQ(m.y, 0.0f) << x;
    }
}

// With no twist every term is odd in the axis it changes and even in the other.
TEST(TransformCoordinates, MirroredPositionsMapToMirroredSources) {
    for (int32_t preset = 0; preset < 3; ++preset) {
        RunGeometry g;
        const VexoInternalParams lens = FittedPreset(preset, 3000, 2000, &g);
        const float lastLong = 2999.0f;
        const float lastShort = 1999.0f;
        for (float x = 0.0f; x <= lastLong; x += 211.0f) {
            for (float y = 0.0f; y <= lastShort; y += 143.0f) {
                const Mapped m = Transform(lens, g, x, y);
                const Mapped acrossLong = Transform(lens, g, lastLong - x, y);
                const Mapped acrossShort = Transform(lens, g, x, lastShort - y);
                EXPECT_NEAR(acrossLong.x, lastLong - m.x, 2e-3) << preset << ": " << x << ", " << y;
                EXPECT_NEAR(acrossLong.y, m.y, 2e-3) << preset << ": " << x << ", " << y;
                EXPECT_NEAR(acrossShort.x, m.x, 2e-3) << preset << ": " << x << ", " << y;
                EXPECT_NEAR(acrossShort.y, lastShort - m.y, 2e-3)
                    << preset << ": " << x << ", " << y;
            }
        }
    }
}

}  // namespace
