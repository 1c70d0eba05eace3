#pragma once

#include <cstdint>

#include "host/CopyPixels.h"
#include "host/HostFilterInterface.h"

// Copies a region between two images held whole in memory, packed without gaps: a
// row holds width samples on a single-plane or planar side and 3 x width on an
// interleaved one, and the planes of a planar image follow at height x width. An
// image rect gives only the image's width and height; a region rect places the
// copied area in that image's own coordinates. Between 8-bit and 16-bit samples the
// ranges 0-255 and 0-65535 correspond (255 becomes 65535 and back).
//
// A null data pointer or an unknown layout copies nothing. The regions must lie in
// their images and the planes the layout addresses must exist.
template <typename Source, typename Destination>
void CopyImageRegion(const Source* sourceData, const Rect& sourceImageRect,
                     const Rect& sourceRegionRect, Destination* destinationData,
                     const Rect& destinationImageRect, const Rect& destinationRegionRect,
                     int32_t firstPlane, int32_t lastPlane, CopyLayout layout);

extern template void CopyImageRegion<uint8_t, uint8_t>(const uint8_t*, const Rect&, const Rect&,
                                                       uint8_t*, const Rect&, const Rect&, int32_t,
                                                       int32_t, CopyLayout);
extern template void CopyImageRegion<uint16_t, uint8_t>(const uint16_t*, const Rect&, const Rect&,
                                                        uint8_t*, const Rect&, const Rect&, int32_t,
                                                        int32_t, CopyLayout);
extern template void CopyImageRegion<uint8_t, uint16_t>(const uint8_t*, const Rect&, const Rect&,
                                                        uint16_t*, const Rect&, const Rect&,
                                                        int32_t, int32_t, CopyLayout);
extern template void CopyImageRegion<uint16_t, uint16_t>(const uint16_t*, const Rect&, const Rect&,
                                                         uint16_t*, const Rect&, const Rect&,
                                                         int32_t, int32_t, CopyLayout);

inline constexpr auto CopyImageRegion8To8 = &CopyImageRegion<uint8_t, uint8_t>;
inline constexpr auto CopyImageRegion16To8 = &CopyImageRegion<uint16_t, uint8_t>;
inline constexpr auto CopyImageRegion8To16 = &CopyImageRegion<uint8_t, uint16_t>;
inline constexpr auto CopyImageRegion16To16 = &CopyImageRegion<uint16_t, uint16_t>;
