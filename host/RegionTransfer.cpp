#include "host/RegionTransfer.h"

#include <bit>

#include "framework/CATypes.h"
#include "host/CopyImageRegion.h"
#include "host/CopyPixels.h"
#include "host/HostGlobals.h"
#include "host/HostRequest.h"
#include "host/PICAHostInterface.h"

namespace {

// Factors between the host's 16-bit range 0-32768 and a buffer's range (0-255 or
// 0-65535). An 8-bit host's samples pass unchanged either way, also into and out
// of a 16-bit buffer.
constexpr float kHost16ToBuffer8 = 255.0f / 32768.0f;
constexpr float kBuffer8ToHost16 = 32768.0f / 255.0f;
constexpr float kHost16ToBuffer16 = 65535.0f / 32768.0f;
constexpr float kBuffer16ToHost16 = 32768.0f / 65535.0f;
static_assert(std::bit_cast<uint32_t>(kHost16ToBuffer8) == 0x3BFF0000u);
static_assert(std::bit_cast<uint32_t>(kBuffer8ToHost16) == 0x43008081u);
static_assert(std::bit_cast<uint32_t>(kHost16ToBuffer16) == 0x3FFFFF00u);
static_assert(std::bit_cast<uint32_t>(kBuffer16ToHost16) == 0x3F000080u);

template <typename Host, typename Buffer>
constexpr float ReadScale() {
    if constexpr (sizeof(Host) == 1) {
        return 1.0f;
    } else {
        return sizeof(Buffer) == 1 ? kHost16ToBuffer8 : kHost16ToBuffer16;
    }
}

template <typename Host, typename Buffer>
constexpr float WriteScale() {
    if constexpr (sizeof(Host) == 1) {
        return 1.0f;
    } else {
        return sizeof(Buffer) == 1 ? kBuffer8ToHost16 : kBuffer16ToHost16;
    }
}

int32_t Width(const Rect& rect) {
    return int32_t{rect.right} - rect.left;
}
int32_t Height(const Rect& rect) {
    return int32_t{rect.bottom} - rect.top;
}

// The host's side and the buffer's side of one transfer, as the kernel takes them.
struct TransferGeometry {
    Rect tile;  // the host's tile, whose data pointer stands at its top-left corner
    int32_t hostRowStride;
    int32_t hostPlaneRows;
    Rect bufferRegion;
    int32_t bufferRowStride;
    int32_t bufferPlaneRows;
    int16_t firstPlane;
    int16_t lastPlane;
};

template <typename Host, typename Buffer>
void CopyTile(const FilterRecord& record, const TransferGeometry& g, TransferDirection direction,
              CopyLayout layout, Buffer* readBuffer, const Buffer* writeBuffer) {
    if (direction == TransferRead && readBuffer != nullptr) {
        CopyPixels(static_cast<const Host*>(record.inData), g.tile, g.hostRowStride,
                   g.hostPlaneRows, readBuffer, g.bufferRegion, g.bufferRowStride,
                   g.bufferPlaneRows, g.firstPlane, g.lastPlane, layout, ReadScale<Host, Buffer>());
    } else if (direction == TransferWrite && writeBuffer != nullptr) {
        CopyPixels(writeBuffer, g.bufferRegion, g.bufferRowStride, g.bufferPlaneRows,
                   static_cast<Host*>(record.outData), g.tile, g.hostRowStride, g.hostPlaneRows,
                   g.firstPlane, g.lastPlane, layout, WriteScale<Host, Buffer>());
    }
}

// The host's tile is always interleaved; the buffer's layout picks the code.
CopyLayout HostTransferLayout(TransferDirection direction, CAImageLayout bufferLayout) {
    switch (bufferLayout) {
        case CAImageInterleaved:
            return CopyInterleavedToInterleaved;
        case CAImagePlanar:
            return direction == TransferRead ? CopyInterleavedToPlanar : CopyPlanarToInterleaved;
        default:
            return CopySingleToSingle;
    }
}

template <typename Buffer>
int16_t TransferHostRegion(const Rect* hostRect, const Rect* bufferRect, const Rect* bufferRegion,
                           int16_t firstPlane, int16_t lastPlane, TransferDirection direction,
                           CAImageLayout bufferLayout, Buffer* readBuffer,
                           const Buffer* writeBuffer) {
    if (gFilterRecord == nullptr) {
        StoreHostResult(kNoAdvanceStateError);
        return kNoAdvanceStateError;
    }
    FilterRecord& record = *gFilterRecord;
    const bool eightBitHost = IsEightBitHostDepth(record.depth);
    const int16_t planes = static_cast<int16_t>(lastPlane - firstPlane + 1);
    PrepareHostRequest(record, direction == TransferRead ? hostRect : nullptr,
                       direction == TransferWrite ? hostRect : nullptr, firstPlane, lastPlane);
    const OSErr result = CallAdvanceState(record);
    if (result != noErr) {
        return result;
    }
    const bool reading = direction == TransferRead && readBuffer != nullptr;
    const bool writing = direction == TransferWrite && writeBuffer != nullptr;
    // An empty rect has nothing to copy, and the host rightly hands out no tile for it.
    if ((!reading && !writing) || Width(*hostRect) <= 0 || Height(*hostRect) <= 0) {
        return noErr;
    }
    // A host that answers success without a tile would have us copy through null;
    // the data was not delivered, and the request counts as failed, in the result
    // word as in the answer.
    if ((reading ? record.inData : record.outData) == nullptr) {
        StoreHostResult(kNoAdvanceStateError);
        return kNoAdvanceStateError;
    }

    TransferGeometry g;
    g.tile = Rect{0, 0, static_cast<int16_t>(Height(*bufferRegion)),
                  static_cast<int16_t>(Width(*bufferRegion))};
    // A 16-bit count of planes times a 16-bit width stays inside 32 bits.
    g.bufferRowStride = (bufferLayout == CAImageInterleaved ? planes : 1) * Width(*bufferRect);
    g.bufferPlaneRows = Height(*bufferRect);
    g.bufferRegion = *bufferRegion;
    const int32_t hostRowBytes = reading ? record.inRowBytes : record.outRowBytes;
    g.hostRowStride = eightBitHost ? hostRowBytes : hostRowBytes / 2;
    g.hostPlaneRows = Height(*hostRect);
    g.firstPlane = firstPlane;
    g.lastPlane = lastPlane;

    const CopyLayout layout = HostTransferLayout(direction, bufferLayout);
    if (eightBitHost) {
        CopyTile<uint8_t>(record, g, direction, layout, readBuffer, writeBuffer);
    } else {
        CopyTile<uint16_t>(record, g, direction, layout, readBuffer, writeBuffer);
    }
    return noErr;
}

// The planes a selector covers and the layout of the caller's buffer for it.
bool SelectorPlanes(CAChannelsType channels, int16_t* firstPlane, int16_t* lastPlane,
                    CAImageLayout* bufferLayout) {
    if (!CAChannelsPlaneRange(channels, firstPlane, lastPlane)) {
        return false;
    }
    *bufferLayout = channels == CAChannelsInterleaved ? CAImageInterleaved
                    : channels == CAChannelsPlanar    ? CAImagePlanar
                                                      : CAImageSinglePlane;
    return true;
}

// The caller's buffer covers exactly the region: {0, 0, height, width}, with the
// extent taken in 16 bits like the host's rect it came from.
Rect BufferRectFor(const Rect& hostRect) {
    return Rect{0, 0, static_cast<int16_t>(hostRect.bottom - hostRect.top),
                static_cast<int16_t>(hostRect.right - hostRect.left)};
}

// The code between an in-memory image and the caller's buffer, or false where the
// image cannot serve the request: three planes from a single-plane image, a layout
// that is none of the three, or a single plane beyond the three samples of an
// interleaved pixel.
bool InMemoryLayout(CAImageLayout imageLayout, CAImageLayout bufferLayout, int16_t firstPlane,
                    TransferDirection direction, CopyLayout* layout) {
    const bool reading = direction == TransferRead;
    switch (bufferLayout) {
        case CAImageInterleaved:
        case CAImagePlanar: {
            const bool bufferInterleaved = bufferLayout == CAImageInterleaved;
            if (imageLayout == CAImageInterleaved) {
                *layout = bufferInterleaved ? CopyInterleavedToInterleaved
                          : reading         ? CopyInterleavedToPlanar
                                            : CopyPlanarToInterleaved;
                return true;
            }
            if (imageLayout == CAImagePlanar) {
                *layout = !bufferInterleaved ? CopyPlanarToPlanar
                          : reading          ? CopyPlanarToInterleaved
                                             : CopyInterleavedToPlanar;
                return true;
            }
            return false;
        }
        case CAImageSinglePlane:
            switch (imageLayout) {
                case CAImageInterleaved:
                    if (firstPlane > 2) {
                        return false;
                    }
                    *layout = reading ? CopyChannelToSingle : CopySingleToChannel;
                    return true;
                case CAImagePlanar:
                    *layout = reading ? CopyPlaneToSingle : CopySingleToPlane;
                    return true;
                case CAImageSinglePlane:
                    *layout = CopySingleToSingle;
                    return true;
            }
            return false;
    }
    return false;
}

// Reads a region of the image into the buffer, or writes the buffer into it, with
// the wrapper that the two sample widths call for.
template <typename Image, typename Buffer>
void CopyInMemory(const CAImageBuffer& image, const Rect& region, void* buffer,
                  const Rect& bufferRect, int16_t firstPlane, int16_t lastPlane,
                  TransferDirection direction, CopyLayout layout) {
    if (direction == TransferRead) {
        CopyImageRegion(static_cast<const Image*>(image.data), image.rect, region,
                        static_cast<Buffer*>(buffer), bufferRect, bufferRect, firstPlane, lastPlane,
                        layout);
    } else {
        CopyImageRegion(static_cast<const Buffer*>(buffer), bufferRect, bufferRect,
                        static_cast<Image*>(image.data), image.rect, region, firstPlane, lastPlane,
                        layout);
    }
}

CAResult TransferRegion(const CAImageInfo& imageInfo, CAImageBuffer* image, CARect& region,
                        void* buffer, CAChannelsType channels, TransferDirection direction) {
    int16_t firstPlane = 0;
    int16_t lastPlane = 0;
    CAImageLayout bufferLayout = CAImageSinglePlane;
    if (!SelectorPlanes(channels, &firstPlane, &lastPlane, &bufferLayout)) {
        return CAResultDataUnavailable;
    }
    const Rect hostRect = ToHostRect(region);
    const Rect bufferRect = BufferRectFor(hostRect);
    const bool eightBitBuffer = CAIsEightBitDepth(imageInfo.depth);
    const CAImageBuffer* attached =
        direction == TransferRead ? imageInfo.sourceImage : imageInfo.destinationImage;

    if (attached == nullptr) {
        int16_t result;
        if (eightBitBuffer) {
            auto* bytes = static_cast<uint8_t*>(buffer);
            result = TransferHostRegion8(&hostRect, &bufferRect, &bufferRect, firstPlane, lastPlane,
                                         direction, bufferLayout,
                                         direction == TransferRead ? bytes : nullptr,
                                         direction == TransferWrite ? bytes : nullptr);
        } else {
            auto* samples = static_cast<uint16_t*>(buffer);
            result = TransferHostRegion16(&hostRect, &bufferRect, &bufferRect, firstPlane,
                                          lastPlane, direction, bufferLayout,
                                          direction == TransferRead ? samples : nullptr,
                                          direction == TransferWrite ? samples : nullptr);
        }
        return result != noErr ? CAResultDataUnavailable : CAResultOk;
    }

    // The attached image only chooses this path; the copy is made with the image
    // the caller names, and without one there is nothing to copy with.
    CopyLayout layout = CopySingleToSingle;
    if (image == nullptr ||
        !InMemoryLayout(image->layout, bufferLayout, firstPlane, direction, &layout)) {
        return CAResultDataUnavailable;
    }
    const bool eightBitImage = image->depth == 8;
    if (eightBitImage && eightBitBuffer) {
        CopyInMemory<uint8_t, uint8_t>(*image, hostRect, buffer, bufferRect, firstPlane, lastPlane,
                                       direction, layout);
    } else if (eightBitImage) {
        CopyInMemory<uint8_t, uint16_t>(*image, hostRect, buffer, bufferRect, firstPlane, lastPlane,
                                        direction, layout);
    } else if (eightBitBuffer) {
        CopyInMemory<uint16_t, uint8_t>(*image, hostRect, buffer, bufferRect, firstPlane, lastPlane,
                                        direction, layout);
    } else {
        CopyInMemory<uint16_t, uint16_t>(*image, hostRect, buffer, bufferRect, firstPlane,
                                         lastPlane, direction, layout);
    }
    return CAResultOk;
}

}  // namespace

int16_t TransferHostRegion8(const Rect* hostRect, const Rect* bufferRect, const Rect* bufferRegion,
                            int16_t firstPlane, int16_t lastPlane, TransferDirection direction,
                            CAImageLayout bufferLayout, uint8_t* readBuffer,
                            const uint8_t* writeBuffer) {
    return TransferHostRegion(hostRect, bufferRect, bufferRegion, firstPlane, lastPlane, direction,
                              bufferLayout, readBuffer, writeBuffer);
}

int16_t TransferHostRegion16(const Rect* hostRect, const Rect* bufferRect, const Rect* bufferRegion,
                             int16_t firstPlane, int16_t lastPlane, TransferDirection direction,
                             CAImageLayout bufferLayout, uint16_t* readBuffer,
                             const uint16_t* writeBuffer) {
    return TransferHostRegion(hostRect, bufferRect, bufferRegion, firstPlane, lastPlane, direction,
                              bufferLayout, readBuffer, writeBuffer);
}

CAResult PICAHostInterface::GetData(CAImageBuffer* image, CARect& region, void* buffer,
                                    CAChannelsType channels) {
    return TransferRegion(imageInfo, image, region, buffer, channels, TransferRead);
}

CAResult PICAHostInterface::PutData(CAImageBuffer* image, CARect& region, void* buffer,
                                    CAChannelsType channels) {
    return TransferRegion(imageInfo, image, region, buffer, channels, TransferWrite);
}
