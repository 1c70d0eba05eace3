#pragma once

#include <cstdint>

#include "tools/host/HostImage.h"
#include "tools/host/RasterImage.h"

// Between a file's samples and our host's planes. 8-bit samples pass unchanged;
// 16-bit files span 0..65535 while the host's 16-bit samples span 0..32768, so
// these scale with rounding to the nearest value, halves up.
namespace vexo::hosttool {

uint16_t FileToHost16(uint16_t fileSample);
// The plug-in may write 16-bit results up to 65535 into the host's planes; what
// lies above the host's 32768 is the correction's overshoot, and is clamped.
uint16_t HostToFile16(uint16_t hostSample);

// The host image of a file's pixels, one plane per channel, extra channels last.
filterhost::HostImage ToHostImage(const RasterImage& image);
// Replaces image's samples by the host's planes, which must match its shape.
void StoreHostImage(const filterhost::HostImage& planes, RasterImage& image);

}  // namespace vexo::hosttool
