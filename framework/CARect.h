#pragma once

#include <cstdint>

#include "framework/Export.h"

// An integer rectangle; right and bottom are exclusive. The edges are declared
// right, left, top, bottom: that order is part of the exported layout.
// Comparisons look at the extent only: == and != compare width and height,
// the order operators compare areas. Positions are ignored.
class VEXO_EXPORT CARect {
public:
    int32_t right;
    int32_t left;
    int32_t top;
    int32_t bottom;

    CARect();
    CARect(int32_t width, int32_t height);
    CARect(int32_t left, int32_t right, int32_t top, int32_t bottom);
    CARect(const CARect& other);

    int32_t width() const;
    int32_t height() const;
    // width() x height() in 32 bits; an overflow wraps instead of being undefined.
    int32_t size() const;

    uint8_t operator==(CARect& other);
    uint8_t operator!=(CARect& other);
    uint8_t operator>(CARect& other);
    uint8_t operator>=(CARect& other);
    uint8_t operator<(CARect& other);
    uint8_t operator<=(CARect& other);
    CARect& operator=(const CARect& other);
};
