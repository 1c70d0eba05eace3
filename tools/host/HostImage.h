#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vexo::filterhost {

// The document our host filters: 1 to 16 planes of 8-bit or 16-bit samples, kept
// planar so that the interleaved tiles it hands out are always built, never
// aliased. 16-bit samples use the host's range 0 to 32768, not 0 to 65535.
class HostImage {
public:
    static constexpr int kMaxPlanes = 16;
    static constexpr int32_t kMaxExtent = 32767;  // the record's extents are int16
    static constexpr uint16_t kMax8 = 255;
    static constexpr uint16_t kMax16 = 32768;

    // Throws std::invalid_argument for sizes, plane counts or depths outside the above.
    HostImage(int32_t width, int32_t height, int planes, int bitsPerSample);

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }
    int Planes() const { return planes_; }
    int BitsPerSample() const { return bitsPerSample_; }
    int BytesPerSample() const { return bitsPerSample_ / 8; }
    uint16_t MaxSample() const { return bitsPerSample_ == 8 ? kMax8 : kMax16; }

    uint16_t Sample(int plane, int32_t x, int32_t y) const;
    void SetSample(int plane, int32_t x, int32_t y, uint16_t value);

    // Every sample from a function of its place: value(plane, x, y).
    template <typename Fn>
    void Fill(Fn value) {
        for (int plane = 0; plane < planes_; ++plane) {
            for (int32_t y = 0; y < height_; ++y) {
                for (int32_t x = 0; x < width_; ++x) {
                    SetSample(plane, x, y, static_cast<uint16_t>(value(plane, x, y)));
                }
            }
        }
    }

    // A plane's samples, row after row; Sample must be uint8_t for 8-bit images and
    // uint16_t for 16-bit ones.
    template <typename Sample>
    Sample* PlaneSamples(int plane) {
        return reinterpret_cast<Sample*>(PlaneBytes(plane));
    }
    template <typename Sample>
    const Sample* PlaneSamples(int plane) const {
        return reinterpret_cast<const Sample*>(PlaneBytes(plane));
    }

    friend bool operator==(const HostImage&, const HostImage&) = default;

private:
    std::byte* PlaneBytes(int plane);
    const std::byte* PlaneBytes(int plane) const;
    size_t SampleOffset(int plane, int32_t x, int32_t y) const;

    int32_t width_;
    int32_t height_;
    int planes_;
    int bitsPerSample_;
    std::vector<std::byte> bytes_;
};

}  // namespace vexo::filterhost
