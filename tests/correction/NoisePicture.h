#pragma once

#include <cstdint>

namespace vexo::testing {

// A sample in [0, range) that looks random but is fixed by its place, so that a run's
// output can be compared across thread counts, kernels and builds.
inline uint32_t Noise(int32_t plane, int32_t x, int32_t y, uint32_t range) {
    uint32_t h = static_cast<uint32_t>(plane * 7919 + x * 104729 + y * 1299709);
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    h ^= h >> 15;
    return h % range;
}

}  // namespace vexo::testing
