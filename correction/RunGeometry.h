#pragma once

#include <cstdint>

// The image circle of one run, derived once from the image's sides and the preset's radius
// ratio RR. The lens model's long axis lies along the longer side (see VexoInternalParams.h).
struct RunGeometry {
    bool transposed;  // taller than wide: the row is the long-side position
    float longSide;   // the larger side in pixels; the width when both are equal
    float shortSide;  // the smaller side in pixels; the height when both are equal
    float radius;     // lens radius in pixels: half the diagonal times RR
    float invRadius;  // 1 / radius
    float scale;      // 2 * radius / (shortSide - 1)
};

RunGeometry ComputeRunGeometry(int32_t width, int32_t height, float radiusRatio);
