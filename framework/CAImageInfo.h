#pragma once

#include <cstdint>

#include "framework/Export.h"

struct CAImageBuffer;

// The image an algorithm works on. Both image pointers are borrowed; null means
// that the host supplies (or receives) the data.
class VEXO_EXPORT CAImageInfo {
public:
    int32_t width;
    int32_t height;
    int32_t channels;  // planes processed one after the other
    int32_t depth;     // exactly 8 selects 8-bit samples, any other value 16-bit
    int32_t reserved0;
    int32_t reserved1;
    CAImageBuffer* sourceImage;
    CAImageBuffer* destinationImage;

    CAImageInfo();
    CAImageInfo(const CAImageInfo& other);
    CAImageInfo& operator=(const CAImageInfo& other);
};

// Whether a depth selects 8-bit samples; every other value selects 16-bit ones.
inline bool CAIsEightBitDepth(int32_t depth) { return depth == 8; }
