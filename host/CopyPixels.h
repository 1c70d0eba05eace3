#pragma once

#include <cstdint>

#include "host/HostFilterInterface.h"

// The layouts of the two sides of a pixel copy. P is the plane count
// lastPlane - firstPlane + 1; the planes of a planar side are numbered from 0 on
// both sides, whatever firstPlane is. Codes 4-7 address one channel (of a buffer
// of three samples a pixel) or one plane, by firstPlane.
enum CopyLayout : int32_t {
    CopyInterleavedToInterleaved = 0,  // P samples a pixel on both sides
    CopyInterleavedToPlanar = 1,       // P samples a pixel to planes 0 .. P-1
    CopyPlanarToInterleaved = 2,       // planes 0 .. P-1 to P samples a pixel
    CopyPlanarToPlanar = 3,            // planes 0 .. P-1 on both sides
    CopySingleToChannel = 4,           // into channel firstPlane, three samples a pixel
    CopySingleToPlane = 5,             // into plane firstPlane
    CopyChannelToSingle = 6,           // from channel firstPlane, three samples a pixel
    CopyPlaneToSingle = 7,             // from plane firstPlane
    CopySingleToSingle = 8,
};

// Copies the top-left W x H samples of sourceRect into destinationRect, W and H
// being the smaller of the two rects' widths and heights; the rest of the larger
// rect is left alone. Everything counts samples, not bytes: a rect is in its own
// buffer's coordinates, a row stride is the distance between rows, and plane rows
// the rows of one plane of a planar side (plane k starts k x planeRows x rowStride
// in). An interleaved side of codes 0-2 steps P samples a pixel, but its row still
// starts 3 x left samples in.
//
// A scale of exactly 1.0 assigns each sample unchanged (a 16-bit sample keeps its
// low 8 bits in an 8-bit destination). Any other scale rounds v x scale half up and
// clamps at the destination's largest value.
//
// Nothing is validated: the caller keeps every addressed sample inside its buffer
// and scale x the largest sample + 0.5 below 2^20. Empty or inverted rects, P <= 0
// with codes 0-3 and unknown codes copy nothing.
template <typename Source, typename Destination>
void CopyPixels(const Source* sourceData, const Rect& sourceRect, int32_t sourceRowStride,
                int32_t sourcePlaneRows, Destination* destinationData, const Rect& destinationRect,
                int32_t destinationRowStride, int32_t destinationPlaneRows, int32_t firstPlane,
                int32_t lastPlane, CopyLayout layout, float scale);

extern template void CopyPixels<uint8_t, uint8_t>(const uint8_t*, const Rect&, int32_t, int32_t,
                                                  uint8_t*, const Rect&, int32_t, int32_t, int32_t,
                                                  int32_t, CopyLayout, float);
extern template void CopyPixels<uint16_t, uint8_t>(const uint16_t*, const Rect&, int32_t, int32_t,
                                                   uint8_t*, const Rect&, int32_t, int32_t, int32_t,
                                                   int32_t, CopyLayout, float);
extern template void CopyPixels<uint8_t, uint16_t>(const uint8_t*, const Rect&, int32_t, int32_t,
                                                   uint16_t*, const Rect&, int32_t, int32_t,
                                                   int32_t, int32_t, CopyLayout, float);
extern template void CopyPixels<uint16_t, uint16_t>(const uint16_t*, const Rect&, int32_t, int32_t,
                                                    uint16_t*, const Rect&, int32_t, int32_t,
                                                    int32_t, int32_t, CopyLayout, float);

inline constexpr auto CopyPixels8To8 = &CopyPixels<uint8_t, uint8_t>;
inline constexpr auto CopyPixels16To8 = &CopyPixels<uint16_t, uint8_t>;
inline constexpr auto CopyPixels8To16 = &CopyPixels<uint8_t, uint16_t>;
inline constexpr auto CopyPixels16To16 = &CopyPixels<uint16_t, uint16_t>;
