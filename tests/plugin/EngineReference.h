#pragma once

#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "tests/correction/InMemoryHost.h"
#include "tests/correction/StubbedServices.h"
#include "tools/host/HostImage.h"

// Images for the plug-in's runs and the engine's own correction of them in this process, which
// is what the built plug-in must produce.
namespace vexo::testing {

// Gradients, a grid of edges and a plane-dependent offset: every part of the lens
// model and of the resampler has something to move.
inline uint16_t PatternSample(int plane, int32_t x, int32_t y, uint16_t maxSample) {
    const uint32_t ramp = static_cast<uint32_t>(x * 5 + y * 3 + plane * 61);
    const uint32_t grid = ((x / 7 + y / 5) % 2) ? 90u : 0u;
    return static_cast<uint16_t>((ramp + grid) % 256u * maxSample / 255u);
}

inline filterhost::HostImage PatternImage(int32_t width, int32_t height, int planes, int bits) {
    filterhost::HostImage image(width, height, planes, bits);
    const uint16_t maxSample = image.MaxSample();
    image.Fill([&](int p, int32_t x, int32_t y) { return PatternSample(p, x, y, maxSample); });
    return image;
}

// The engine run in this process on the same planes: what the plug-in must produce.
inline std::vector<std::vector<uint32_t>> ReferenceCorrection(
    const filterhost::HostImage& image, int planes) {
    StubbedServices services;
    InMemoryHost reference(image.Width(), image.Height(), planes, image.BitsPerSample());
    reference.FillInput([&](int32_t p, int32_t x, int32_t y) { return image.Sample(p, x, y); });
    reference.Init(2);
    CARect in(image.Width(), image.Height());
    CARect out(image.Width(), image.Height());
    EXPECT_EQ(reference.Process(in, out, CAProcessWholeImage), CAResultOk);
    reference.Release();
    std::vector<std::vector<uint32_t>> result;
    for (int p = 0; p < planes; ++p) {
        result.push_back(reference.OutputPlane(p));
    }
    return result;
}

inline std::vector<uint32_t> PlaneOf(const filterhost::HostImage& image, int plane) {
    std::vector<uint32_t> samples;
    for (int32_t y = 0; y < image.Height(); ++y) {
        for (int32_t x = 0; x < image.Width(); ++x) {
            samples.push_back(image.Sample(plane, x, y));
        }
    }
    return samples;
}

}  // namespace vexo::testing
