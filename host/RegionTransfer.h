#pragma once

#include <cstdint>

#include "host/CAImageBuffer.h"
#include "host/HostFilterInterface.h"

enum TransferDirection : int32_t {
    TransferRead = 0,   // request the region as input, copy inData into the buffer
    TransferWrite = 1,  // request the region as output, copy the buffer into outData
};

// Moves one region between the host's image and a caller's buffer of 8-bit or
// 16-bit samples, with one advanceState request and one copy pass.
//   hostRect: the region in the host image's coordinates;
//   bufferRect: the buffer's extent (its row length, and its plane height if planar);
//   bufferRegion: the part of the buffer to fill or read, also the host tile's size.
// The host's tile is interleaved, lastPlane - firstPlane + 1 samples a pixel. The
// samples are rescaled between the host's range (0-32768 for 16 bits) and the
// buffer's; from an 8-bit host they pass unchanged, also into a 16-bit buffer.
// Returns the host's failure code, which is in the result word too, or 0; a null
// buffer still makes the request and copies nothing.
int16_t TransferHostRegion8(const Rect* hostRect, const Rect* bufferRect, const Rect* bufferRegion,
                            int16_t firstPlane, int16_t lastPlane, TransferDirection direction,
                            CAImageLayout bufferLayout, uint8_t* readBuffer,
                            const uint8_t* writeBuffer);
int16_t TransferHostRegion16(const Rect* hostRect, const Rect* bufferRect, const Rect* bufferRegion,
                             int16_t firstPlane, int16_t lastPlane, TransferDirection direction,
                             CAImageLayout bufferLayout, uint16_t* readBuffer,
                             const uint16_t* writeBuffer);
