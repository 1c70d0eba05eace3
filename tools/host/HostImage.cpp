#include "tools/host/HostImage.h"

#include <cstring>
#include <stdexcept>

namespace vexo::filterhost {

HostImage::HostImage(int32_t width, int32_t height, int planes, int bitsPerSample)
    : width_(width), height_(height), planes_(planes), bitsPerSample_(bitsPerSample) {
    if (width < 0 || height < 0 || width > kMaxExtent || height > kMaxExtent) {
        throw std::invalid_argument("image extents must lie in 0..32767");
    }
    if (planes < 1 || planes > kMaxPlanes) {
        throw std::invalid_argument("an image has 1 to 16 planes");
    }
    if (bitsPerSample != 8 && bitsPerSample != 16) {
        throw std::invalid_argument("samples are 8 or 16 bits");
    }
    bytes_.resize(static_cast<size_t>(width) * static_cast<size_t>(height) *
                  static_cast<size_t>(planes) * static_cast<size_t>(BytesPerSample()));
}

size_t HostImage::SampleOffset(int plane, int32_t x, int32_t y) const {
    if (plane < 0 || plane >= planes_ || x < 0 || x >= width_ || y < 0 || y >= height_) {
        throw std::out_of_range("sample outside the image");
    }
    const size_t index =
        (static_cast<size_t>(plane) * static_cast<size_t>(height_) + static_cast<size_t>(y)) *
            static_cast<size_t>(width_) +
        static_cast<size_t>(x);
    return index * static_cast<size_t>(BytesPerSample());
}

uint16_t HostImage::Sample(int plane, int32_t x, int32_t y) const {
    const std::byte* at = bytes_.data() + SampleOffset(plane, x, y);
    if (bitsPerSample_ == 8) {
        return static_cast<uint16_t>(*at);
    }
    uint16_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

void HostImage::SetSample(int plane, int32_t x, int32_t y, uint16_t value) {
    std::byte* at = bytes_.data() + SampleOffset(plane, x, y);
    if (bitsPerSample_ == 8) {
        if (value > kMax8) {
            throw std::invalid_argument("8-bit samples lie in 0..255");
        }
        *at = static_cast<std::byte>(value);
    } else {
        std::memcpy(at, &value, sizeof value);
    }
}

std::byte* HostImage::PlaneBytes(int plane) {
    return bytes_.data() + static_cast<size_t>(plane) * static_cast<size_t>(width_) *
                               static_cast<size_t>(height_) * static_cast<size_t>(BytesPerSample());
}

const std::byte* HostImage::PlaneBytes(int plane) const {
    return const_cast<HostImage*>(this)->PlaneBytes(plane);
}

}  // namespace vexo::filterhost
