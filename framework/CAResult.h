#pragma once

#include <cstdint>

// Result of every framework operation: 0 is success, anything else a failure.
// Failures travel as values; nothing is thrown across an interface.
using CAResult = int32_t;

enum CAResultCode : CAResult {
    CAResultOk = 0,
    CAResultOutOfMemory = 1,
    CAResultBadParameter = 4,
    CAResultDataUnavailable = 14,
    CAResultNotImplemented = 18,
};
