#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

// The reference for the sample scaling of the host region transfers, as plain arithmetic,
// shared by their tests and their fuzz target.
namespace vexo::testing {

// Rounds half up and clamps; a scale of 1 keeps the low bits.
inline uint32_t Convert(uint32_t value, float scale, uint32_t maximum) {
    if (scale == 1.0f) {
        return value & maximum;
    }
    const double rounded = std::floor(static_cast<double>(static_cast<float>(value) * scale) + 0.5);
    return static_cast<uint32_t>(std::min(rounded, static_cast<double>(maximum)));
}

// Between the host's 16-bit range 0-32768 and the buffer's; an 8-bit host's samples pass
// unchanged.
inline float ReadScale(int hostBits, int bufferBits) {
    if (hostBits == 8) {
        return 1.0f;
    }
    return bufferBits == 8 ? 255.0f / 32768.0f : 65535.0f / 32768.0f;
}

inline float WriteScale(int hostBits, int bufferBits) {
    if (hostBits == 8) {
        return 1.0f;
    }
    return bufferBits == 8 ? 32768.0f / 255.0f : 32768.0f / 65535.0f;
}

}  // namespace vexo::testing
