#include "host/CopyPixels.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <limits>

namespace {

// Positions are formed in pointer-sized arithmetic: on a large 16-bit interleaved
// image, row x stride already passes 2^31 samples, and a 32-bit product would wrap
// into some other part of memory.
using Offset = std::ptrdiff_t;

// One side of a copy: where its rect starts and how its rows and planes follow.
struct Side {
    Offset top;
    Offset left;
    Offset rowStride;
    Offset plane;  // samples from one plane to the next

    Side(const Rect& rect, int32_t rowStride, int32_t planeRows)
        : top(rect.top),
          left(rect.left),
          rowStride(rowStride),
          plane(static_cast<Offset>(planeRows) * rowStride) {}

    Offset Row(Offset r) const { return (top + r) * rowStride; }
};

int32_t Width(const Rect& rect) {
    return int32_t{rect.right} - rect.left;
}
int32_t Height(const Rect& rect) {
    return int32_t{rect.bottom} - rect.top;
}

// Scale exactly 1.0: the value as it stands, narrowed to the destination type.
template <typename Source, typename Destination>
struct PlainCopy {
    void operator()(const Source* source, Offset sourceStep, Destination* destination,
                    Offset destinationStep, Offset count) const {
        Offset s = 0;
        Offset d = 0;
        for (Offset i = 0; i < count; ++i) {
            destination[d] = static_cast<Destination>(source[s]);
            s += sourceStep;
            d += destinationStep;
        }
    }
};

// Any other scale: v x scale in single precision, rounded half up. The integer part
// comes from adding 2^20 and reading bits 32-51 of the double, where 0 <= s < 2^20
// puts it after the add; the sum's rounding to a multiple of 2^-32 is part of the
// rule.
template <typename Source, typename Destination>
struct ScaledCopy {
    static constexpr uint32_t kMaximum = std::numeric_limits<Destination>::max();

    float scale;

    Destination Convert(Source value) const {
        const float product = static_cast<float>(value) * scale;
        const double rounded = static_cast<double>(product) + 0.5;
        const double shifted = rounded + 1048576.0;
        const uint32_t n = static_cast<uint32_t>(std::bit_cast<uint64_t>(shifted) >> 32) & 0xFFFFFu;
        return static_cast<Destination>(std::min(n, kMaximum));
    }

    void operator()(const Source* source, Offset sourceStep, Destination* destination,
                    Offset destinationStep, Offset count) const {
        Offset s = 0;
        Offset d = 0;
        Offset i = 0;
        for (; i + 4 <= count; i += 4) {
            destination[d] = Convert(source[s]);
            destination[d + destinationStep] = Convert(source[s + sourceStep]);
            destination[d + 2 * destinationStep] = Convert(source[s + 2 * sourceStep]);
            destination[d + 3 * destinationStep] = Convert(source[s + 3 * sourceStep]);
            s += 4 * sourceStep;
            d += 4 * destinationStep;
        }
        for (; i < count; ++i) {
            destination[d] = Convert(source[s]);
            s += sourceStep;
            d += destinationStep;
        }
    }
};

// The loop nests, one per layout code; run converts a strided run of samples. The
// order of work: codes 0-2 rows, pixels, then the samples of a pixel; code 3 planes,
// rows, columns; codes 4-8 rows, columns.
template <typename Source, typename Destination, typename Run>
void CopyLayoutNest(const Source* source, const Side& s, Destination* destination, const Side& d,
                    Offset width, Offset height, Offset planes, Offset firstPlane,
                    CopyLayout layout, const Run& run) {
    switch (layout) {
        case CopyInterleavedToInterleaved:
            for (Offset r = 0; r < height; ++r) {
                Offset sourcePixel = s.Row(r) + 3 * s.left;
                Offset destinationPixel = d.Row(r) + 3 * d.left;
                for (Offset c = 0; c < width; ++c) {
                    run(source + sourcePixel, 1, destination + destinationPixel, 1, planes);
                    sourcePixel += planes;
                    destinationPixel += planes;
                }
            }
            break;
        case CopyInterleavedToPlanar:
            for (Offset r = 0; r < height; ++r) {
                Offset sourcePixel = s.Row(r) + 3 * s.left;
                Offset destinationPixel = d.Row(r) + d.left;
                for (Offset c = 0; c < width; ++c) {
                    run(source + sourcePixel, 1, destination + destinationPixel, d.plane, planes);
                    sourcePixel += planes;
                    destinationPixel += 1;
                }
            }
            break;
        case CopyPlanarToInterleaved:
            for (Offset r = 0; r < height; ++r) {
                Offset sourcePixel = s.Row(r) + s.left;
                Offset destinationPixel = d.Row(r) + 3 * d.left;
                for (Offset c = 0; c < width; ++c) {
                    run(source + sourcePixel, s.plane, destination + destinationPixel, 1, planes);
                    sourcePixel += 1;
                    destinationPixel += planes;
                }
            }
            break;
        case CopyPlanarToPlanar:
            for (Offset k = 0; k < planes; ++k) {
                for (Offset r = 0; r < height; ++r) {
                    run(source + k * s.plane + s.Row(r) + s.left, 1,
                        destination + k * d.plane + d.Row(r) + d.left, 1, width);
                }
            }
            break;
        case CopySingleToChannel:
            for (Offset r = 0; r < height; ++r) {
                run(source + s.Row(r) + s.left, 1, destination + d.Row(r) + 3 * d.left + firstPlane,
                    3, width);
            }
            break;
        case CopySingleToPlane:
            for (Offset r = 0; r < height; ++r) {
                run(source + s.Row(r) + s.left, 1,
                    destination + firstPlane * d.plane + d.Row(r) + d.left, 1, width);
            }
            break;
        case CopyChannelToSingle:
            for (Offset r = 0; r < height; ++r) {
                run(source + s.Row(r) + 3 * s.left + firstPlane, 3, destination + d.Row(r) + d.left,
                    1, width);
            }
            break;
        case CopyPlaneToSingle:
            for (Offset r = 0; r < height; ++r) {
                run(source + firstPlane * s.plane + s.Row(r) + s.left, 1,
                    destination + d.Row(r) + d.left, 1, width);
            }
            break;
        case CopySingleToSingle:
            for (Offset r = 0; r < height; ++r) {
                run(source + s.Row(r) + s.left, 1, destination + d.Row(r) + d.left, 1, width);
            }
            break;
    }
}

bool IsKnownLayout(CopyLayout layout) {
    return layout >= CopyInterleavedToInterleaved && layout <= CopySingleToSingle;
}

bool UsesPlaneRange(CopyLayout layout) {
    return layout <= CopyPlanarToPlanar;
}

}  // namespace

template <typename Source, typename Destination>
void CopyPixels(const Source* sourceData, const Rect& sourceRect, int32_t sourceRowStride,
                int32_t sourcePlaneRows, Destination* destinationData, const Rect& destinationRect,
                int32_t destinationRowStride, int32_t destinationPlaneRows, int32_t firstPlane,
                int32_t lastPlane, CopyLayout layout, float scale) {
    const int32_t width = std::min(Width(sourceRect), Width(destinationRect));
    const int32_t height = std::min(Height(sourceRect), Height(destinationRect));
    const Offset planes = Offset{lastPlane} - firstPlane + 1;
    if (width <= 0 || height <= 0 || !IsKnownLayout(layout) ||
        (UsesPlaneRange(layout) && planes <= 0)) {
        return;
    }
    const Side source(sourceRect, sourceRowStride, sourcePlaneRows);
    const Side destination(destinationRect, destinationRowStride, destinationPlaneRows);
    if (scale == 1.0f) {
        CopyLayoutNest(sourceData, source, destinationData, destination, width, height, planes,
                       firstPlane, layout, PlainCopy<Source, Destination>{});
    } else {
        CopyLayoutNest(sourceData, source, destinationData, destination, width, height, planes,
                       firstPlane, layout, ScaledCopy<Source, Destination>{scale});
    }
}

template void CopyPixels<uint8_t, uint8_t>(const uint8_t*, const Rect&, int32_t, int32_t, uint8_t*,
                                           const Rect&, int32_t, int32_t, int32_t, int32_t,
                                           CopyLayout, float);
template void CopyPixels<uint16_t, uint8_t>(const uint16_t*, const Rect&, int32_t, int32_t,
                                            uint8_t*, const Rect&, int32_t, int32_t, int32_t,
                                            int32_t, CopyLayout, float);
template void CopyPixels<uint8_t, uint16_t>(const uint8_t*, const Rect&, int32_t, int32_t,
                                            uint16_t*, const Rect&, int32_t, int32_t, int32_t,
                                            int32_t, CopyLayout, float);
template void CopyPixels<uint16_t, uint16_t>(const uint16_t*, const Rect&, int32_t, int32_t,
                                             uint16_t*, const Rect&, int32_t, int32_t, int32_t,
                                             int32_t, CopyLayout, float);
