#include "correction/VexoInternalParams.h"

#include <cmath>

namespace {

// Pulls a pixel position onto [0, last]. Written so that a position that is not a number lands on
// 0 too: the caller reads the source at the result, so it must lie inside the image whatever the
// coefficients and geometry (a side of one pixel makes scale infinite, for one).
float ClampToSide(float position, float last) {
    if (!(position >= 0.0f)) {
        return 0.0f;
    }
    if (position > last) {
        return last;
    }
    return position;
}

}  // namespace

VexoInternalParams::VexoInternalParams() = default;

VexoInternalParams::~VexoInternalParams() = default;

VexoInternalParams& VexoInternalParams::operator=(const VexoInternalParams& other) = default;

// The guards skip only terms that would add zero (a zero coefficient, a zero variable, a
// normalised position of exactly 1), so they save work without changing any result.
void VexoInternalParams::TransformCoordinates(float* longPos, float* shortPos, float scale,
                                              float radius, float invRadius, float longSide,
                                              float shortSide) const {
    const float x = *longPos;
    const float y = *shortPos;

    const float lastLong = longSide - 1.0f;
    const float lastShort = shortSide - 1.0f;
    const float cL = lastLong * 0.5f;
    const float cS = lastShort * 0.5f;

    float u = ((x - cL) * invRadius) * HS;
    float v = (-((y - cS) * invRadius)) * VS;
    const float u0Squared = u * u;

    if (H3 != 0.0f && v != 0.0f) {
        v = v - ((v * v) * v) * H3;
    }
    if (HC != 0.0f && u != 0.0f) {
        v = v - (u0Squared * v) * HC;
    }
    const float a = v * scale;
    if (H5 != 0.0f && a != 1.0f) {
        const float a2 = a * a;
        const float a3 = a2 * a;
        const float a5 = (a2 * a2) * a;
        v = v + (a5 - a3) * H5;
    }
    const float b = v * scale;
    if (HC3 != 0.0f && b != 1.0f) {
        v = v + (((b * b) * b - b) * u0Squared) * HC3;
    }
    // u is still the first u here, so u0Squared * u is u cubed.
    if (V3 != 0.0f) {
        u = u - (u0Squared * u) * V3;
    }
    const float s = u * u;
    if (V5 != 0.0f) {
        u = u + ((s * s) * u - s * u) * V5;
    }

    const float q = v * v;
    float d = (VC3 != 0.0f && v != 0.0f) ? VC3 * q : 0.0f;
    if (VCQ3 != 0.0f && v != 0.0f) {
        d = d + (q * q) * VCQ3;
    }
    if (d != 0.0f) {
        u = u + ((u * u) * u - u) * d;
    }

    if (Twist != 0.0f && v != 0.0f) {
        u = u - (1.0f - u * u) * (Twist * v);
    }
    // q is still the square of v from before this step.
    if (Twist != 0.0f && u != 0.0f) {
        v = v + (1.0f - (q * scale) * scale) * (Twist * u);
    }

    // A point whose v has reached the edge lands on the long side's centre line.
    const float w = 1.0f - v * v;
    u = (w > 0.0f) ? u * std::sqrt(w) : 0.0f;

    *longPos = ClampToSide(u * radius + cL, lastLong);
    *shortPos = ClampToSide(cS - v * radius, lastShort);
}

float VexoInternalParams::ApplyBicubicBump(float value, float fx, float fy, float aboveRight,
                                           float rightUpper, float rightLower, float belowRight,
                                           float belowLeft, float leftLower, float leftUpper,
                                           float aboveLeft, float gain) const {
    const float t = 1.0f - fy;
    const float a = 1.0f - fx;
    const float cU = (t * t - 1.0f) * t;
    const float cV = (fx * fx - 1.0f) * fx;
    const float cW = (fy * fy - 1.0f) * fy;
    const float cB = (a * a - 1.0f) * a;

    const float wAboveRight = cU * fx;
    const float wRightUpper = cV * t;
    const float wRightLower = cV * fy;
    const float wBelowRight = cW * fx;
    const float wBelowLeft = cW * a;
    const float wLeftLower = cB * fy;
    const float wLeftUpper = cB * t;
    const float wAboveLeft = cU * a;

    const float weighted = aboveRight * wAboveRight + rightUpper * wRightUpper +
                           rightLower * wRightLower + belowRight * wBelowRight +
                           belowLeft * wBelowLeft + leftLower * wLeftLower +
                           leftUpper * wLeftUpper + aboveLeft * wAboveLeft;
    const float weights = wAboveRight + wRightUpper + wRightLower + wBelowRight + wBelowLeft +
                          wLeftLower + wLeftUpper + wAboveLeft;
    return value + gain * (weighted - weights * value);
}
