#pragma once

#include <cstdint>

#include "host/HostFilterInterface.h"

// Readings and writes of the host's record that more than one selector makes.

// The planes the filter works on: a layer's own planes, or the flat image's.
inline int16_t FilteredPlaneCount(const FilterRecord& record) {
    return record.filterCase > filterCaseFlatImageWithSelection ? record.outLayerPlanes
                                                                : record.planes;
}

// Empty rects tell the host that no more data is wanted.
inline void ClearRequestRects(FilterRecord& record) {
    record.inRect = Rect{};
    record.outRect = Rect{};
    record.maskRect = Rect{};
}
