#include "host/CopyPixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace {

Rect MakeRect(int16_t top, int16_t left, int16_t bottom, int16_t right) {
    return Rect{top, left, bottom, right};
}

struct Geometry {
    std::string name;
    Rect sourceRect;
    int32_t sourceRowStride;
    int32_t sourcePlaneRows;
    Rect destinationRect;
    int32_t destinationRowStride;
    int32_t destinationPlaneRows;
    int32_t firstPlane;
    int32_t lastPlane;
};

struct Position {
    std::ptrdiff_t source;
    std::ptrdiff_t destination;
};

// The positions of every copied sample, straight from the layout table, one sample
// at a time and with none of the kernel's row and pixel stepping.
std::vector<Position> ReferencePositions(const Geometry& g, int32_t code) {
    std::vector<Position> positions;
    if (code < 0 || code > 8) {
        return positions;
    }
    const Rect& s = g.sourceRect;
    const Rect& d = g.destinationRect;
    const int64_t width = std::min(s.right - s.left, d.right - d.left);
    const int64_t height = std::min(s.bottom - s.top, d.bottom - d.top);
    const int64_t planes = code <= 3 ? int64_t{g.lastPlane} - g.firstPlane + 1 : 1;
    const int64_t sPlane = int64_t{g.sourcePlaneRows} * g.sourceRowStride;
    const int64_t dPlane = int64_t{g.destinationPlaneRows} * g.destinationRowStride;
    const int64_t f = g.firstPlane;
    for (int64_t r = 0; r < height; ++r) {
        const int64_t sRow = (s.top + r) * g.sourceRowStride;
        const int64_t dRow = (d.top + r) * g.destinationRowStride;
        for (int64_t c = 0; c < width; ++c) {
            for (int64_t k = 0; k < planes; ++k) {
                const int64_t sInterleaved = sRow + 3 * s.left + planes * c + k;
                const int64_t dInterleaved = dRow + 3 * d.left + planes * c + k;
                const int64_t sPlanar = k * sPlane + sRow + s.left + c;
                const int64_t dPlanar = k * dPlane + dRow + d.left + c;
                const int64_t sSingle = sRow + s.left + c;
                const int64_t dSingle = dRow + d.left + c;
                switch (code) {
                    case 0:
                        positions.push_back({sInterleaved, dInterleaved});
                        break;
                    case 1:
                        positions.push_back({sInterleaved, dPlanar});
                        break;
                    case 2:
                        positions.push_back({sPlanar, dInterleaved});
                        break;
                    case 3:
                        positions.push_back({sPlanar, dPlanar});
                        break;
                    case 4:
                        positions.push_back({sSingle, dRow + 3 * d.left + f + 3 * c});
                        break;
                    case 5:
                        positions.push_back({sSingle, f * dPlane + dSingle});
                        break;
                    case 6:
                        positions.push_back({sRow + 3 * s.left + f + 3 * c, dSingle});
                        break;
                    case 7:
                        positions.push_back({f * sPlane + sSingle, dSingle});
                        break;
                    case 8:
                        positions.push_back({sSingle, dSingle});
                        break;
                }
            }
        }
    }
    return positions;
}

// Scaled conversion as plain arithmetic: for in-range values the 2^20 rule is the
// floor of p + 0.5, since no float product lies within 2^-33 below an integer.
template <typename Destination>
Destination ReferenceConvert(uint32_t value, float scale) {
    if (scale == 1.0f) {
        return static_cast<Destination>(value);
    }
    const float product = static_cast<float>(value) * scale;
    const double rounded = std::floor(static_cast<double>(product) + 0.5);
    const double maximum = std::numeric_limits<Destination>::max();
    return static_cast<Destination>(std::min(rounded, maximum));
}

template <typename Source, typename Destination>
struct KernelCase {
    using SourceType = Source;
    using DestinationType = Destination;
    static constexpr auto kernel = &CopyPixels<Source, Destination>;
};

template <typename Case>
class CopyPixelsLayouts : public ::testing::Test {};

using KernelCases = ::testing::Types<KernelCase<uint8_t, uint8_t>, KernelCase<uint16_t, uint8_t>,
                                     KernelCase<uint8_t, uint16_t>, KernelCase<uint16_t, uint16_t>>;
TYPED_TEST_SUITE(CopyPixelsLayouts, KernelCases);

std::vector<Geometry> LayoutGeometries() {
    std::vector<Geometry> geometries = {
        {"smaller rect wins", MakeRect(0, 0, 4, 10), 10, 4, MakeRect(0, 0, 8, 6), 6, 8, 0, 0},
        {"offset rects", MakeRect(2, 3, 5, 7), 12, 6, MakeRect(1, 1, 4, 5), 9, 5, 0, 2},
        {"first plane shifts channels only", MakeRect(0, 1, 3, 4), 15, 3, MakeRect(1, 0, 4, 3), 11,
         5, 2, 4},
        {"third channel", MakeRect(0, 0, 2, 3), 9, 2, MakeRect(0, 0, 2, 3), 9, 2, 2, 2},
        {"second plane", MakeRect(1, 2, 4, 6), 8, 5, MakeRect(0, 1, 3, 5), 7, 4, 1, 1},
        {"two planes", MakeRect(0, 2, 3, 6), 20, 3, MakeRect(0, 0, 3, 4), 8, 3, 0, 1},
        {"width of nine, four at a time and one", MakeRect(0, 0, 2, 9), 27, 2, MakeRect(0, 0, 2, 9),
         27, 2, 0, 2},
        {"planes below first", MakeRect(0, 0, 3, 3), 9, 3, MakeRect(0, 0, 3, 3), 9, 3, 1, 0},
        {"inverted source", MakeRect(3, 0, 0, 3), 9, 3, MakeRect(0, 0, 3, 3), 9, 3, 0, 2},
    };
    // A few more shapes from a fixed seed; the generator's sequence is fixed by the
    // standard, so every build sees the same ones.
    std::mt19937 generator(20240611u);
    auto pick = [&](uint32_t bound) { return static_cast<int16_t>(generator() % bound); };
    for (int i = 0; i < 6; ++i) {
        Geometry g;
        g.name = "seeded " + std::to_string(i);
        g.firstPlane = pick(3);
        g.lastPlane = g.firstPlane + pick(3);
        const int16_t sourceTop = pick(4);
        const int16_t sourceLeft = pick(4);
        g.sourceRect =
            MakeRect(sourceTop, sourceLeft, sourceTop + 1 + pick(6), sourceLeft + 1 + pick(9));
        const int16_t destinationTop = pick(4);
        const int16_t destinationLeft = pick(4);
        g.destinationRect = MakeRect(destinationTop, destinationLeft, destinationTop + 1 + pick(6),
                                     destinationLeft + 1 + pick(9));
        g.sourceRowStride = 3 * (g.sourceRect.right + pick(3)) + g.lastPlane;
        g.sourcePlaneRows = g.sourceRect.bottom + pick(2);
        g.destinationRowStride = 3 * (g.destinationRect.right + pick(3)) + g.lastPlane;
        g.destinationPlaneRows = g.destinationRect.bottom + pick(2);
        geometries.push_back(g);
    }
    return geometries;
}

TYPED_TEST(CopyPixelsLayouts, AgreeWithThePositionTable) {
    using Source = typename TypeParam::SourceType;
    using Destination = typename TypeParam::DestinationType;
    // 16-bit sources span the host's 0-32768, so that every scale keeps within the
    // kernel's limits; the second scale of each list overflows an 8-bit destination
    // and so exercises the clamp.
    constexpr bool wideSource = sizeof(Source) == 2;
    const uint32_t sourceMaximum = wideSource ? 32768u : 255u;
    const std::vector<float> scales =
        wideSource ? std::vector<float>{1.0f, 65535.0f / 32768.0f, 255.0f / 65535.0f}
                   : std::vector<float>{1.0f, 257.0f, 0.75f};
    for (const Geometry& g : LayoutGeometries()) {
        for (int32_t code = 0; code <= 9; ++code) {
            for (float scale : scales) {
                SCOPED_TRACE(g.name + ", code " + std::to_string(code) + ", scale " +
                             std::to_string(scale));
                // Buffers sized for every position of every code, with a margin that
                // would catch a write past the last expected one.
                std::ptrdiff_t sourceSize = 64;
                std::ptrdiff_t destinationSize = 64;
                for (int32_t any = 0; any <= 8; ++any) {
                    for (const Position& p : ReferencePositions(g, any)) {
                        sourceSize = std::max(sourceSize, p.source + 17);
                        destinationSize = std::max(destinationSize, p.destination + 17);
                    }
                }
                std::vector<Source> source(sourceSize);
                for (std::size_t i = 0; i < source.size(); ++i) {
                    source[i] = static_cast<Source>((i * 7919u + 13u) % (sourceMaximum + 1));
                }
                std::vector<Destination> destination(destinationSize);
                for (std::size_t i = 0; i < destination.size(); ++i) {
                    destination[i] = static_cast<Destination>(0xA5u + i);
                }
                std::vector<Destination> expected = destination;
                for (const Position& p : ReferencePositions(g, code)) {
                    expected[p.destination] =
                        ReferenceConvert<Destination>(source[p.source], scale);
                }

                TypeParam::kernel(source.data(), g.sourceRect, g.sourceRowStride, g.sourcePlaneRows,
                                  destination.data(), g.destinationRect, g.destinationRowStride,
                                  g.destinationPlaneRows, g.firstPlane, g.lastPlane,
                                  static_cast<CopyLayout>(code), scale);
                EXPECT_EQ(destination, expected);
            }
        }
    }
}

// One sample through a single-plane copy.
template <typename Source, typename Destination>
uint32_t ConvertOne(void (*kernel)(const Source*, const Rect&, int32_t, int32_t, Destination*,
                                   const Rect&, int32_t, int32_t, int32_t, int32_t, CopyLayout,
                                   float),
                    uint32_t value, float scale) {
    const Source source = static_cast<Source>(value);
    Destination destination = 0;
    const Rect one = MakeRect(0, 0, 1, 1);
    kernel(&source, one, 1, 1, &destination, one, 1, 1, 0, 0, CopySingleToSingle, scale);
    return destination;
}

struct ValueCase {
    const char* kernel;
    float scale;
    uint32_t input;
    uint32_t expected;
};

uint32_t RunValueCase(const ValueCase& c) {
    const std::string name = c.kernel;
    if (name == "8To8") {
        return ConvertOne(CopyPixels8To8, c.input, c.scale);
    }
    if (name == "16To8") {
        return ConvertOne(CopyPixels16To8, c.input, c.scale);
    }
    if (name == "8To16") {
        return ConvertOne(CopyPixels8To16, c.input, c.scale);
    }
    return ConvertOne(CopyPixels16To16, c.input, c.scale);
}

TEST(CopyPixelsValues, ConvertByTheRoundingRule) {
    const float to8From16Memory = 255.0f / 65535.0f;
    const float doubleHost = 65535.0f / 32768.0f;
    const ValueCase cases[] = {
        {"8To16", 257.0f, 0, 0},
        {"8To16", 257.0f, 1, 257},
        {"8To16", 257.0f, 128, 32896},
        {"8To16", 257.0f, 255, 65535},
        {"16To8", to8From16Memory, 128, 0},
        {"16To8", to8From16Memory, 129, 1},
        {"16To8", to8From16Memory, 32767, 127},
        {"16To8", to8From16Memory, 32768, 128},
        {"16To8", to8From16Memory, 65535, 255},
        {"16To16", doubleHost, 16384, 32768},
        {"16To16", doubleHost, 32767, 65533},
        {"16To16", doubleHost, 32768, 65535},
        {"16To16", doubleHost, 40000, 65535},  // clamped
        {"16To8", 1.0f, 300, 44},              // scale 1.0 keeps the low 8 bits
        {"8To16", 1.0f, 255, 255},             // and widens unchanged
        {"8To8", 2.0f, 200, 255},              // clamped at the 8-bit maximum
        {"8To8", 0.5f, 3, 2},                  // 1.5 rounds half up
        // The host transfer scales, each at the end of its range.
        {"16To8", 255.0f / 32768.0f, 32768, 255},
        {"8To16", 32768.0f / 255.0f, 255, 32768},
        {"16To16", 32768.0f / 65535.0f, 65535, 32768},
        {"16To16", 0.0f, 65535, 0},
    };
    for (const ValueCase& c : cases) {
        EXPECT_EQ(RunValueCase(c), c.expected)
            << c.kernel << " scale " << c.scale << " of " << c.input;
    }
}

#if defined(__linux__)
// A 30000-pixel-wide interleaved 16-bit image has rows of 90000 samples; its row
// 30000 starts 2.7e9 samples in, past what a 32-bit offset can hold.
TEST(CopyPixelsOffsets, ReachRowsBeyondTwoToTheThirtyOne) {
    constexpr int32_t rowStride = 90000;
    constexpr int16_t row = 30000;
    constexpr std::size_t samples = static_cast<std::size_t>(row + 1) * rowStride;
    void* mapping = mmap(nullptr, samples * sizeof(uint16_t), PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (mapping == MAP_FAILED) {
        GTEST_SKIP() << "no address space for a 5.4 GB mapping";
    }
    auto* destination = static_cast<uint16_t*>(mapping);
    const uint16_t source[4] = {11, 22, 33, 44};
    const Rect sourceRect = MakeRect(0, 0, 1, 4);
    const Rect destinationRect = MakeRect(row, 100, row + 1, 104);
    CopyPixels16To16(source, sourceRect, 4, 1, destination, destinationRect, rowStride, 1, 0, 0,
                     CopySingleToSingle, 1.0f);
    const std::size_t start = static_cast<std::size_t>(row) * rowStride + 100;
    EXPECT_EQ(destination[start], 11);
    EXPECT_EQ(destination[start + 3], 44);
    munmap(mapping, samples * sizeof(uint16_t));
}
#endif

}  // namespace
