#include "framework/CATypes.h"

bool CAChannelsPlaneRange(CAChannelsType channels, int16_t* firstPlane, int16_t* lastPlane) {
    const uint32_t value = static_cast<uint32_t>(channels);
    constexpr uint32_t kSinglePlaneBase = CAChannelsSinglePlaneBase;
    int16_t first;
    int16_t last;
    if (value <= 2) {
        first = last = static_cast<int16_t>(value);
    } else if (value >= kSinglePlaneBase && value < kSinglePlaneBase + kCASinglePlaneCount) {
        first = last = static_cast<int16_t>(value - kSinglePlaneBase);
    } else if (value == CAChannelsInterleaved || value == CAChannelsPlanar) {
        first = 0;
        last = 2;
    } else {
        return false;
    }
    *firstPlane = first;
    *lastPlane = last;
    return true;
}
