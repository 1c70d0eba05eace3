#pragma once

#include <cstdint>
#include <cstring>

#include "tools/host/FilterHost.h"

namespace vexo::filterhost::testing {

// An image whose samples all differ from their neighbours in every direction and
// plane, so that a tile at the wrong place, plane or stride shows.
inline HostImage DistinctImage(int32_t width, int32_t height, int planes, int bits) {
    HostImage image(width, height, planes, bits);
    const int modulus = bits == 8 ? 251 : 32749;
    image.Fill([&](int plane, int32_t x, int32_t y) {
        return (plane * 1009 + x * 7 + y * 131) % modulus;
    });
    return image;
}

// The record is packed, so its pointer fields may be misaligned: compare copies,
// never references.
template <typename T>
T Get(T field) {
    return field;
}

struct Side {
    HostRect rect;
    int16_t loPlane = 0;
    int16_t hiPlane = 0;
};

// Asks for data through advanceState as a plug-in does.
inline OSErr Request(FilterHost& host, const Side& in, const Side& out) {
    FilterRecord* r = host.Record();
    r->inRect = in.rect.ToRect();
    r->inLoPlane = in.loPlane;
    r->inHiPlane = in.hiPlane;
    r->outRect = out.rect.ToRect();
    r->outLoPlane = out.loPlane;
    r->outHiPlane = out.hiPlane;
    return r->advanceState();
}

inline uint16_t TileSample(const void* data, int32_t rowBytes, int bits, int planes, int32_t x,
                           int32_t y, int plane) {
    const auto* row = static_cast<const unsigned char*>(data) + static_cast<size_t>(y) * rowBytes;
    const size_t index = static_cast<size_t>(x) * planes + plane;
    if (bits == 8) {
        return row[index];
    }
    uint16_t value;
    std::memcpy(&value, row + index * 2, 2);
    return value;
}

inline void SetTileSample(void* data, int32_t rowBytes, int bits, int planes, int32_t x, int32_t y,
                          int plane, uint16_t value) {
    auto* row = static_cast<unsigned char*>(data) + static_cast<size_t>(y) * rowBytes;
    const size_t index = static_cast<size_t>(x) * planes + plane;
    if (bits == 8) {
        row[index] = static_cast<unsigned char>(value);
    } else {
        std::memcpy(row + index * 2, &value, 2);
    }
}

}  // namespace vexo::filterhost::testing
