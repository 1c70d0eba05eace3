#pragma once

#include <cstdint>

#include "correction/VexoInternalParams.h"

// A built-in lens: its coefficients and the resampler's two settings.
struct LensPreset {
    VexoInternalParams coefficients;
    float bicubicGain;
    int32_t clampToNeighbours;
};

inline constexpr int32_t kLensPresetCount = 3;

// The preset of that index, or null for an index without one.
const LensPreset* FindLensPreset(int32_t index);
