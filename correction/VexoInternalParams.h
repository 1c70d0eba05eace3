#pragma once

#include "framework/Export.h"

// The lens model: twelve coefficients that map a position of the corrected image back to the
// position of the fisheye image that it is sampled from. Pure arithmetic: no image, no threads.
//
// Coordinate systems
// - Pixel positions count from 0 (first pixel of a side) to side - 1 (last pixel), as floats.
//   The model's long axis always lies along the image's longer side: for an image taller than
//   wide the row is the long-side position and the column the short-side one. A square image
//   counts as wide.
// - The centre of a side is cL = (longSide - 1) / 2, cS = (shortSide - 1) / 2.
// - Normalised positions: u along the long side, v along the short side, both measured from the
//   centre in units of the lens radius (half the image diagonal times RR). v is positive towards
//   position 0 of the short side.
// - scale = 2 * radius / (shortSide - 1) turns v into the short-side position in units of
//   cS: A = v * scale is +1 or -1 on the first or last pixel of the short side.
//
// All arithmetic is single precision, square roots included, and every expression is grouped
// exactly as written: the output must be bit-identical on every build and thread count.
class VEXO_EXPORT VexoInternalParams {
public:
    // The terms, in declaration order (which is the exported layout); u0 is u before any term.
    float HS = 0.0f;     // u = ((x - cL) / radius) * HS
    float V3 = 0.0f;     // u = u - u0^3 * V3
    float VC3 = 0.0f;    // u = u + (u^3 - u) * D, with D = VC3 * v^2 + VCQ3 * v^4
    float V5 = 0.0f;     // u = u + (u^5 - u^3) * V5
    float RR = 0.0f;     // radius = half the diagonal * RR; read by the caller, not the transform
    float Twist = 0.0f;  // u = u - (1 - u^2) * Twist * v, then v = v + (1 - v^2 scale^2) Twist u
    float VCQ3 = 0.0f;   // the v^4 weight of D (see VC3)
    float VS = 0.0f;     // v = -((y - cS) / radius) * VS
    float H3 = 0.0f;     // v = v - v^3 * H3
    float HC3 = 0.0f;    // v = v + (B^3 - B) * u0^2 * HC3, with B = v * scale
    float H5 = 0.0f;     // v = v + (A^5 - A^3) * H5, with A = v * scale
    float HC = 0.0f;     // v = v - u0^2 * v * HC
    // Last, u = u * sqrt(1 - v^2), and both are turned back into clamped pixel positions.

    // All coefficients 0: no lens until a preset is loaded or assigned.
    VexoInternalParams();
    VexoInternalParams(const VexoInternalParams& other) = default;
    ~VexoInternalParams();
    VexoInternalParams& operator=(const VexoInternalParams& other);

    // Replaces an output position (long-side and short-side pixel position) by the source
    // position it samples, clamped into [0, longSide - 1] x [0, shortSide - 1]. scale, radius
    // and invRadius are the caller's geometry of the image (see above). Safe to call from any
    // number of threads at once.
    void TransformCoordinates(float* longPos, float* shortPos, float scale, float radius,
                              float invRadius, float longSide, float shortSide) const;

    // Adds the bicubic correction to a bilinear value at fraction (fx, fy) between its four
    // samples, from the eight side samples of the surrounding 4 x 4 block's outer ring, clockwise
    // from the top right. Reads no coefficient.
    float ApplyBicubicBump(float value, float fx, float fy, float aboveRight, float rightUpper,
                           float rightLower, float belowRight, float belowLeft, float leftLower,
                           float leftUpper, float aboveLeft, float gain) const;
};

static_assert(sizeof(VexoInternalParams) == 12 * sizeof(float));
