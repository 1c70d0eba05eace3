#include "host/CopyImageRegion.h"

#include <type_traits>

namespace {

// The factor that maps one in-memory range onto the other: 255/65535 is taken as
// the nearest float, which rounds 128 down and 129 up.
template <typename Source, typename Destination>
constexpr float RangeScale() {
    if constexpr (std::is_same_v<Source, Destination>) {
        return 1.0f;
    } else if constexpr (sizeof(Source) == 2) {
        return 255.0f / 65535.0f;
    } else {
        return 257.0f;
    }
}

int32_t Width(const Rect& rect) {
    return int32_t{rect.right} - rect.left;
}
int32_t Height(const Rect& rect) {
    return int32_t{rect.bottom} - rect.top;
}

bool IsInterleavedSource(CopyLayout layout) {
    return layout == CopyInterleavedToInterleaved || layout == CopyInterleavedToPlanar ||
           layout == CopyChannelToSingle;
}

bool IsInterleavedDestination(CopyLayout layout) {
    return layout == CopyInterleavedToInterleaved || layout == CopyPlanarToInterleaved ||
           layout == CopySingleToChannel;
}

}  // namespace

template <typename Source, typename Destination>
void CopyImageRegion(const Source* sourceData, const Rect& sourceImageRect,
                     const Rect& sourceRegionRect, Destination* destinationData,
                     const Rect& destinationImageRect, const Rect& destinationRegionRect,
                     int32_t firstPlane, int32_t lastPlane, CopyLayout layout) {
    if (sourceData == nullptr || destinationData == nullptr ||
        layout < CopyInterleavedToInterleaved || layout > CopySingleToSingle) {
        return;
    }
    // Image widths come from 16-bit edges, so three of them fit easily in 32 bits.
    const int32_t sourceRowStride = (IsInterleavedSource(layout) ? 3 : 1) * Width(sourceImageRect);
    const int32_t destinationRowStride =
        (IsInterleavedDestination(layout) ? 3 : 1) * Width(destinationImageRect);
    CopyPixels(sourceData, sourceRegionRect, sourceRowStride, Height(sourceImageRect),
               destinationData, destinationRegionRect, destinationRowStride,
               Height(destinationImageRect), firstPlane, lastPlane, layout,
               RangeScale<Source, Destination>());
}

template void CopyImageRegion<uint8_t, uint8_t>(const uint8_t*, const Rect&, const Rect&, uint8_t*,
                                                const Rect&, const Rect&, int32_t, int32_t,
                                                CopyLayout);
template void CopyImageRegion<uint16_t, uint8_t>(const uint16_t*, const Rect&, const Rect&,
                                                 uint8_t*, const Rect&, const Rect&, int32_t,
                                                 int32_t, CopyLayout);
template void CopyImageRegion<uint8_t, uint16_t>(const uint8_t*, const Rect&, const Rect&,
                                                 uint16_t*, const Rect&, const Rect&, int32_t,
                                                 int32_t, CopyLayout);
template void CopyImageRegion<uint16_t, uint16_t>(const uint16_t*, const Rect&, const Rect&,
                                                  uint16_t*, const Rect&, const Rect&, int32_t,
                                                  int32_t, CopyLayout);
