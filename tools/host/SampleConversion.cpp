#include "tools/host/SampleConversion.h"

#include <algorithm>
#include <stdexcept>

namespace vexo::hosttool {
namespace {

using filterhost::HostImage;

constexpr uint32_t kFileMax16 = 65535;
constexpr uint32_t kHostMax16 = HostImage::kMax16;

// value × numerator / denominator, rounded to the nearest integer, halves up.
constexpr uint16_t ScaleRounded(uint64_t value, uint64_t numerator, uint64_t denominator) {
    return static_cast<uint16_t>((2 * value * numerator + denominator) / (2 * denominator));
}

// One plane at a time, straight through the plane's own samples.
template <typename Sample, typename Convert>
void ToPlanes(const RasterImage& image, HostImage& planes, Convert convert) {
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    const auto channels = static_cast<size_t>(image.Channels());
    for (int plane = 0; plane < planes.Planes(); ++plane) {
        Sample* out = planes.PlaneSamples<Sample>(plane);
        const uint16_t* in = image.samples.data() + plane;
        for (size_t i = 0; i < pixels; ++i) {
            out[i] = static_cast<Sample>(convert(in[i * channels]));
        }
    }
}

template <typename Sample, typename Convert>
void FromPlanes(const HostImage& planes, RasterImage& image, Convert convert) {
    const size_t pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    const auto channels = static_cast<size_t>(image.Channels());
    for (int plane = 0; plane < planes.Planes(); ++plane) {
        const Sample* in = planes.PlaneSamples<Sample>(plane);
        uint16_t* out = image.samples.data() + plane;
        for (size_t i = 0; i < pixels; ++i) {
            out[i * channels] = convert(in[i]);
        }
    }
}

uint16_t Unchanged(uint16_t sample) {
    return sample;
}

}  // namespace

uint16_t FileToHost16(uint16_t fileSample) {
    return ScaleRounded(fileSample, kHostMax16, kFileMax16);
}

uint16_t HostToFile16(uint16_t hostSample) {
    return ScaleRounded(std::min<uint32_t>(hostSample, kHostMax16), kFileMax16, kHostMax16);
}

HostImage ToHostImage(const RasterImage& image) {
    HostImage planes(image.width, image.height, image.Channels(), image.bitsPerSample);
    if (image.bitsPerSample == 16) {
        ToPlanes<uint16_t>(image, planes, &FileToHost16);
    } else {
        ToPlanes<uint8_t>(image, planes, &Unchanged);
    }
    return planes;
}

void StoreHostImage(const HostImage& planes, RasterImage& image) {
    if (planes.Width() != image.width || planes.Height() != image.height ||
        planes.Planes() != image.Channels() || planes.BitsPerSample() != image.bitsPerSample) {
        throw std::invalid_argument("the host image does not match the file's image");
    }
    if (image.bitsPerSample == 16) {
        FromPlanes<uint16_t>(planes, image, &HostToFile16);
    } else {
        FromPlanes<uint8_t>(planes, image, &Unchanged);
    }
}

}  // namespace vexo::hosttool
