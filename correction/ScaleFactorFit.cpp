#include <bit>
#include <cmath>
#include <cstdint>

#include "correction/CVexoCorrectionAlgorithm.h"

// The fit adapts the loaded preset to the image's size and aspect by evaluating the lens model
// at two reference points, with the same arithmetic as VexoInternalParams::TransformCoordinates
// where the other axis is 0:
// - vertical: the output point at the long side's centre and short-side position 0 must sample
//   source position 0 of the short side; fits VS.
// - horizontal: the output point at long-side position 0 and the short side's centre must sample
//   source position -1, one pixel before the first; the trial long-side scale is held within
//   [VS, 1.03 VS] and what the bound cuts off goes into the cubic term V3.
// A fit stops once the miss, relative to the centre, is at most 0.2 / side (about a tenth of a
// pixel). One that has not got there after kMaxIterations keeps the values it started from.
namespace {

constexpr float kTolerance = 0.2f;
constexpr float kToleranceOfEmptySide = 10000.0f;  // and above: that fit is skipped
constexpr int kMaxIterations = 100;
constexpr float kTrialScaleBound = 1.03f;
constexpr float kCubicDivisor = 3.0f;
constexpr float kPreset0V3 = 0.141f;
constexpr float kNeutralStrength = 50.0f;
constexpr float kStrengthStep = 0.1f;
constexpr float kMaxStrength = 100.0f;

static_assert(std::bit_cast<uint32_t>(kTolerance) == 0x3E4CCCCDu);
static_assert(std::bit_cast<uint32_t>(kToleranceOfEmptySide) == 0x461C4000u);
static_assert(std::bit_cast<uint32_t>(kTrialScaleBound) == 0x3F83D70Au);
static_assert(std::bit_cast<uint32_t>(kPreset0V3) == 0x3E10624Eu);
static_assert(std::bit_cast<uint32_t>(kStrengthStep) == 0x3DCCCCCDu);

float ToleranceFor(float side) {
    return side != 0.0f ? kTolerance / side : kToleranceOfEmptySide;
}

float Miss(float ratio) {
    return ratio < 1.0f ? 1.0f - ratio : ratio - 1.0f;
}

// The factor a strength applies to its coefficient: 1 at 50, 0.9 at 0, 1.1 at 100, clamped
// to [0, 2].
float StrengthFactor(float strength) {
    float f = (strength - kNeutralStrength) * kStrengthStep + kNeutralStrength;
    if (f < 0.0f) {
        f = 0.0f;
    } else if (f > kMaxStrength) {
        f = kMaxStrength;
    }
    return f / kNeutralStrength;
}

}  // namespace

void CVexoCorrectionAlgorithm::DetermineHorizontalAndVerticalScaleFactors(
    float initialHS, float initialVS, float initialV3, float scale, float radius, float invRadius,
    float longSide, float shortSide) {
    VexoInternalParams& lens = internalParams;
    lens.HS = initialHS;
    lens.V3 = initialV3;
    lens.VS = initialVS;

    const float cL = (longSide - 1.0f) * 0.5f;
    const float cS = (shortSide - 1.0f) * 0.5f;
    const float toleranceShort = ToleranceFor(shortSide);
    const float toleranceLong = ToleranceFor(longSide);

    if (toleranceShort < kToleranceOfEmptySide) {
        const float h3 = lens.H3;
        const float h5 = lens.H5;
        const float twist = lens.Twist;
        const float centreOffset = cS * invRadius;
        float b = initialVS;
        float miss = 0.0f;
        int iterations = 0;
        do {
            float v = centreOffset * b;
            if (h3 != 0.0f && v != 0.0f) {
                v = v - ((v * v) * v) * h3;
            }
            const float a = v * scale;
            if (h5 != 0.0f && a != 1.0f) {
                const float a2 = a * a;
                const float a3 = a2 * a;
                const float a5 = (a2 * a2) * a;
                v = v + (a5 - a3) * h5;
            }
            if (twist != 0.0f) {
                const float t = (v != 0.0f) ? -(twist * v) : 0.0f;
                if (t != 0.0f) {
                    v = v + (1.0f - ((v * scale) * v) * scale) * (twist * t);
                }
            }
            // 1 exactly when the unclamped source position, cS - v * radius, is 0.
            const float ratio = (cS != 0.0f) ? (cS - (cS - v * radius)) / cS : 1.0f;
            b = (ratio != 0.0f) ? b / ratio : 1.0f;
            miss = Miss(ratio);
            if (++iterations > kMaxIterations) {
                b = initialVS;
                miss = 0.0f;
            }
        } while (miss > toleranceShort);
        lens.VS = b;
    }

    if (toleranceLong < kToleranceOfEmptySide) {
        const float vs = lens.VS;
        const float v5 = lens.V5;
        const float twist = lens.Twist;
        const float highest = vs * kTrialScaleBound;
        float a = initialHS;
        float c = initialV3;
        float miss = 0.0f;
        int iterations = 0;
        do {
            float u = (-(cL * invRadius)) * a;
            if (c != 0.0f) {
                u = u - ((u * u) * u) * c;
            }
            if (v5 != 0.0f) {
                const float s = u * u;
                u = u + ((s * s) * u - s * u) * v5;
            }
            // The v that the twist gives a point on the short side's centre line.
            const float f = (twist != 0.0f && u != 0.0f) ? twist * u : 0.0f;
            const float w = 1.0f - f * f;
            u = (w > 0.0f) ? u * std::sqrt(w) : 0.0f;
            // 1 exactly when the unclamped source position, u * radius + cL, is -1.
            const float ratio = (cL != 0.0f) ? (cL - ((u * radius + cL) + 1.0f)) / cL : 1.0f;
            a = (ratio != 0.0f) ? a / ratio : 1.0f;

            // What the bound cuts off the wanted scale goes into the cubic term: a wanted scale
            // below VS (k > 1) pulls the reference point back towards the centre, one above the
            // bound (k < 1) pushes it outwards.
            float k = 1.0f;
            if (a < vs) {
                if (a != 0.0f) {
                    k = vs / a;
                }
                a = vs;
            }
            if (a > highest) {
                if (a != 0.0f) {
                    k = highest / a;
                }
                a = highest;
            }
            c = c + (k - 1.0f) / kCubicDivisor;

            miss = Miss(ratio);
            if (++iterations > kMaxIterations) {
                a = initialHS;
                c = initialV3;
                miss = 0.0f;
            }
        } while (miss > toleranceLong);
        lens.HS = a;
        lens.V3 = c;
    }

    // The horizontal fit reaches the result through V3 alone.
    lens.HS = lens.VS;
    if (params.preset == 0) {
        lens.V3 = kPreset0V3;
    }
    lens.V3 = StrengthFactor(params.horizontalStrength) * lens.V3;
    lens.H3 = StrengthFactor(params.verticalStrength) * lens.H3;
}
