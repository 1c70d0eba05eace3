#include "framework/CAAlgorithm.h"

#include <cmath>

CAAlgorithmInterface::CAAlgorithmInterface() = default;

CAAlgorithmInterface& CAAlgorithmInterface::operator=(const CAAlgorithmInterface& other) = default;

CAHostInterface::CAHostInterface() = default;

CAHostInterface& CAHostInterface::operator=(const CAHostInterface& other) = default;

CAAlgorithm::CAAlgorithm() = default;

CAAlgorithm& CAAlgorithm::operator=(const CAAlgorithm& other) = default;

CAResult CAHostInterface::GetDataRef(CARect&, void**, int32_t*, CARect&, void**, int32_t*,
                                     CAChannelsType) {
    return CAResultNotImplemented;
}

void CAAlgorithm::ApplyLUT(float* value, float* table, int16_t count) {
    // An empty table has nothing to give; the value stays as it is.
    if (count < 1) {
        return;
    }
    const float v = *value;
    // A value that is not a number passes neither end test and has no index:
    // it takes the first entry, as values at or below 0 do.
    if (v <= 0.0f || std::isnan(v)) {
        *value = table[0];
        return;
    }
    const int32_t n = count;
    if (v >= 1.0f) {
        *value = table[n - 1];
        return;
    }
    const float p = v * static_cast<float>(n - 1);
    const int16_t i = static_cast<int16_t>(p);
    const int32_t j = (i + 1 < n - 1) ? i + 1 : n - 1;
    float r = (table[j] - table[i]) * (p - static_cast<float>(i)) + table[i];
    if (r < 0.0f) {
        r = 0.0f;
    }
    *value = r;
}
