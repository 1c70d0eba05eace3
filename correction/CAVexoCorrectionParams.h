#pragma once

#include <cstdint>

#include "framework/Export.h"

// What a caller chooses for a correction: the lens preset and four strengths. A strength s
// scales its coefficient by clamp(50 + (s - 50) * 0.1, 0, 100) / 50, so 50 leaves it as it is
// and 0 to 100 moves it between 0.9 and 1.1 times its value.
class VEXO_EXPORT CAVexoCorrectionParams {
public:
    int32_t preset;            // lens preset 0, 1 or 2
    float param1;              // carried and copied; nothing reads it
    float param2;              // carried and copied; nothing reads it
    float horizontalStrength;  // scales V3, the cubic long-side term
    float verticalStrength;    // scales H3, the cubic short-side term

    // Preset 1, every strength 50.
    CAVexoCorrectionParams();
    CAVexoCorrectionParams(const CAVexoCorrectionParams& other) = default;
    ~CAVexoCorrectionParams();
    CAVexoCorrectionParams& operator=(const CAVexoCorrectionParams& other);
};

static_assert(sizeof(CAVexoCorrectionParams) == 20);
