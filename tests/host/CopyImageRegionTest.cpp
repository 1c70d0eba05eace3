#include "host/CopyImageRegion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <vector>

namespace {

Rect MakeRect(int16_t top, int16_t left, int16_t bottom, int16_t right) {
    return Rect{top, left, bottom, right};
}

struct RangeCase {
    uint32_t input;
    uint32_t expected;
};

TEST(CopyImageRegion, SixteenBitImageReadsIntoEightBitBuffer) {
    const RangeCase cases[] = {{65535, 255}, {32768, 128}, {129, 1}, {128, 0}};
    for (const RangeCase& c : cases) {
        const uint16_t image = static_cast<uint16_t>(c.input);
        uint8_t buffer = 0xEE;
        const Rect one = MakeRect(0, 0, 1, 1);
        CopyImageRegion16To8(&image, one, one, &buffer, one, one, 0, 0, CopySingleToSingle);
        EXPECT_EQ(buffer, c.expected) << "from " << c.input;
    }
}

TEST(CopyImageRegion, EightBitBufferWritesIntoSixteenBitImage) {
    const RangeCase cases[] = {{255, 65535}, {1, 257}, {0, 0}};
    for (const RangeCase& c : cases) {
        const uint8_t buffer = static_cast<uint8_t>(c.input);
        uint16_t image = 0xEEEE;
        const Rect one = MakeRect(0, 0, 1, 1);
        CopyImageRegion8To16(&buffer, one, one, &image, one, one, 0, 0, CopySingleToSingle);
        EXPECT_EQ(image, c.expected) << "from " << c.input;
    }
}

TEST(CopyImageRegion, SameDepthCopiesUnchanged) {
    const std::vector<uint16_t> wide = {0, 1, 300, 32768, 65535};
    std::vector<uint16_t> wideCopy(wide.size());
    const std::vector<uint8_t> narrow = {0, 1, 128, 254, 255};
    std::vector<uint8_t> narrowCopy(narrow.size());
    const Rect row = MakeRect(0, 0, 1, 5);
    CopyImageRegion16To16(wide.data(), row, row, wideCopy.data(), row, row, 0, 0,
                          CopySingleToSingle);
    CopyImageRegion8To8(narrow.data(), row, row, narrowCopy.data(), row, row, 0, 0,
                        CopySingleToSingle);
    EXPECT_EQ(wideCopy, wide);
    EXPECT_EQ(narrowCopy, narrow);
}

// Strides and plane rows come from each side's own image: a region of a large
// planar image lands in a small planar buffer plane by plane.
TEST(CopyImageRegion, PlanarImageRegionIntoPlanarBuffer) {
    std::vector<uint16_t> image(3 * 50 * 100);
    std::iota(image.begin(), image.end(), uint16_t{0});
    std::vector<uint16_t> buffer(3 * 10 * 10, 0);
    const Rect region = MakeRect(20, 30, 30, 40);
    const Rect bufferRect = MakeRect(0, 0, 10, 10);
    CopyImageRegion16To16(image.data(), MakeRect(0, 0, 50, 100), region, buffer.data(), bufferRect,
                          bufferRect, 0, 2, CopyPlanarToPlanar);
    for (int k = 0; k < 3; ++k) {
        for (int y = 0; y < 10; ++y) {
            for (int x = 0; x < 10; ++x) {
                ASSERT_EQ(buffer[k * 100 + y * 10 + x], image[k * 5000 + (20 + y) * 100 + 30 + x])
                    << "plane " << k << " row " << y << " column " << x;
            }
        }
    }
}

TEST(CopyImageRegion, InterleavedChannelIntoSingleBuffer) {
    std::vector<uint8_t> image(3 * 4 * 100);
    for (std::size_t i = 0; i < image.size(); ++i) {
        image[i] = static_cast<uint8_t>(i * 31u);
    }
    std::vector<uint8_t> buffer(2 * 5, 0);
    const Rect bufferRect = MakeRect(0, 0, 2, 5);
    CopyImageRegion8To8(image.data(), MakeRect(0, 0, 4, 100), MakeRect(1, 7, 3, 12), buffer.data(),
                        bufferRect, bufferRect, 1, 1, CopyChannelToSingle);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 5; ++x) {
            EXPECT_EQ(buffer[y * 5 + x], image[(1 + y) * 300 + 3 * (7 + x) + 1]);
        }
    }
}

TEST(CopyImageRegion, NullPointerOrUnknownLayoutCopiesNothing) {
    const std::vector<uint8_t> image(9, 200);
    std::vector<uint8_t> buffer(9, 7);
    const Rect rect = MakeRect(0, 0, 3, 3);
    CopyImageRegion8To8(image.data(), rect, rect, buffer.data(), rect, rect, 0, 0,
                        static_cast<CopyLayout>(9));
    CopyImageRegion8To8(nullptr, rect, rect, buffer.data(), rect, rect, 0, 0, CopySingleToSingle);
    CopyImageRegion8To8(image.data(), rect, rect, nullptr, rect, rect, 0, 0, CopySingleToSingle);
    EXPECT_EQ(buffer, std::vector<uint8_t>(9, 7));
}

}  // namespace
