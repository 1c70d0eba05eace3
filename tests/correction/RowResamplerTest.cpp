#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "correction/RowResampler.h"
#include "correction/VexoInternalParams.h"

namespace {

// The integer part by the 2^20 rule (see IntegerPart): widen to double, add 2^20, and read the
// low 20 bits of the sum's upper 32-bit word.
int32_t IntegerPartThroughDouble(float v) {
    const uint64_t bits = std::bit_cast<uint64_t>(static_cast<double>(v) + 1048576.0);
    return static_cast<int32_t>((bits >> 32) & 0xFFFFFu);
}

TEST(IntegerPart, GivesTheSameIntegersAsTheDoubleArithmetic) {
    std::vector<float> values = {0.0f,
                                 -0.0f,
                                 std::numeric_limits<float>::denorm_min(),
                                 std::numeric_limits<float>::min(),
                                 0.5f,
                                 std::nextafter(1048576.0f, 0.0f)};
    // Around every integer a sample or a source position can take.
    for (int32_t k = 1; k <= 70000; ++k) {
        const float f = static_cast<float>(k);
        values.push_back(std::nextafter(f, 0.0f));
        values.push_back(f);
        values.push_back(std::nextafter(f, 2e6f));
    }
    // Random mantissas over every binary exponent up to 2^19.
    uint32_t state = 12345;
    for (int i = 0; i < 200000; ++i) {
        state = state * 1664525u + 1013904223u;
        const float mantissa = 1.0f + static_cast<float>(state >> 9) / 8388608.0f;
        values.push_back(std::ldexp(mantissa, static_cast<int>(state % 50u) - 30));
    }
    for (float v : values) {
        ASSERT_EQ(IntegerPart(v), IntegerPartThroughDouble(v)) << v;
    }
}

TEST(RoundAndClampToSampleRange, RoundsHalfUpAndClamps) {
    struct Case {
        float value;
        uint32_t eightBit;
        uint32_t sixteenBit;
    };
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const Case cases[] = {
        {254.5f, 255, 255},
        {254.49f, 254, 254},
        {-0.3f, 0, 0},
        {-0.6f, 0, 0},
        {0.49f, 0, 0},
        {0.5f, 1, 1},
        {127.0f, 127, 127},
        {255.2f, 255, 255},
        {300.0f, 255, 300},
        {32768.7f, 255, 32769},  // the 16-bit clamp is 65535, not 32768
        {65534.5f, 255, 65535},
        {65535.4f, 255, 65535},
        {70000.0f, 255, 65535},
        {-70000.0f, 0, 0},
        {nan, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RoundAndClampToSampleRange<EightBitSamples>(c.value), c.eightBit) << c.value;
        EXPECT_EQ(RoundAndClampToSampleRange<SixteenBitSamples>(c.value), c.sixteenBit) << c.value;
    }
}

// The weight of a ring sample at (dx, dy) from the cell's top-left sample: the cubic correction
// term of the axis on which it lies outside the cell times the linear weight of the other axis.
float ReferenceRingWeight(int32_t dx, int32_t dy, float fx, float fy) {
    const auto linear = [](int32_t d, float f) { return d == 0 ? 1.0f - f : f; };
    const auto cubic = [](int32_t d, float f) {
        const float g = d < 0 ? 1.0f - f : f;
        return (g * g - 1.0f) * g;
    };
    if (dy < 0 || dy > 1) {
        return cubic(dy, fy) * linear(dx, fx);
    }
    return cubic(dx, fx) * linear(dy, fy);
}

struct RingPosition {
    int32_t dx;
    int32_t dy;
};

// In the argument order of ApplyBicubicBump: clockwise from the top right.
constexpr RingPosition kRing[8] = {{1, -1}, {2, 0},  {2, 1},  {1, 2},
                                   {0, 2},  {-1, 1}, {-1, 0}, {0, -1}};

float Bump(float value, float fx, float fy, const float (&ring)[8], float gain) {
    return VexoInternalParams().ApplyBicubicBump(value, fx, fy, ring[0], ring[1], ring[2], ring[3],
                                                 ring[4], ring[5], ring[6], ring[7], gain);
}

TEST(ApplyBicubicBump, AtZeroFractionsEveryWeightIsZero) {
    const float ring[8] = {255.0f, 0.0f, 17.0f, 200.0f, 3.0f, 90.0f, 255.0f, 1.0f};
    for (float value : {0.0f, 42.0f, 255.0f, 32768.0f}) {
        EXPECT_EQ(Bump(value, 0.0f, 0.0f, ring, 0.4f), value);
    }
}

TEST(ApplyBicubicBump, EachRingSampleTakesItsOwnWeight) {
    const float fractions[][2] = {{0.25f, 0.5f}, {0.8f, 0.1f}, {0.5f, 0.5f}, {1.0f, 0.3f}};
    for (const auto& f : fractions) {
        for (int k = 0; k < 8; ++k) {
            float ring[8] = {};
            ring[k] = 1.0f;
            EXPECT_FLOAT_EQ(Bump(0.0f, f[0], f[1], ring, 1.0f),
                            ReferenceRingWeight(kRing[k].dx, kRing[k].dy, f[0], f[1]))
                << "ring sample " << k << " at fx " << f[0] << ", fy " << f[1];
        }
    }
}

TEST(ApplyBicubicBump, FlatRingLeavesTheValue) {
    const float ring[8] = {80.0f, 80.0f, 80.0f, 80.0f, 80.0f, 80.0f, 80.0f, 80.0f};
    EXPECT_NEAR(Bump(80.0f, 0.3f, 0.7f, ring, 0.4f), 80.0f, 1e-4f);
}

// A small source plane with a row stride wider than its rows.
template <typename Sample>
class Plane {
public:
    Plane(int32_t width, int32_t height)
        : width_(width), height_(height), samples_(stride_ * height, 0) {}

    void Set(int32_t x, int32_t y, Sample value) { samples_[y * stride_ + x] = value; }
    float At(int32_t x, int32_t y) const { return samples_[y * stride_ + x]; }

    template <typename Fill>
    void FillWith(Fill value) {
        for (int32_t y = 0; y < height_; ++y) {
            for (int32_t x = 0; x < width_; ++x) {
                Set(x, y, static_cast<Sample>(value(x, y)));
            }
        }
    }

    float ValueAt(float xs, float ys, int32_t clampToNeighbours = 0, float gain = 0.4f) const {
        const SourcePlane<Sample> plane{samples_.data(), stride_, width_, height_};
        return SampleSourcePlane(plane, VexoInternalParams(), xs, ys, gain, clampToNeighbours);
    }

    // The four samples around (xs, ys) as the edge rule takes them, and their bilinear value.
    struct Cell {
        float p, right, below, diag, bilinear;
    };
    Cell CellAt(float xs, float ys) const {
        const int32_t cx = static_cast<int32_t>(std::floor(xs));
        const int32_t cy = static_cast<int32_t>(std::floor(ys));
        const float fx = xs - static_cast<float>(cx);
        const float fy = ys - static_cast<float>(cy);
        Cell c{At(cx, cy), At(cx, cy), At(cx, cy), At(cx, cy), 0.0f};
        if (cx + 1 < width_ && cy + 1 < height_) {
            c.right = At(cx + 1, cy);
            c.below = At(cx, cy + 1);
            c.diag = At(cx + 1, cy + 1);
        }
        c.bilinear = ((1.0f - fy) * (1.0f - fx)) * c.p + ((1.0f - fy) * fx) * c.right +
                     ((1.0f - fx) * fy) * c.below + (fy * fx) * c.diag;
        return c;
    }

    int32_t Width() const { return width_; }
    int32_t Height() const { return height_; }

private:
    int32_t width_;
    int32_t height_;
    int32_t stride_ = width_ + 3;
    std::vector<Sample> samples_;
};

class SampleSourcePlaneTest : public ::testing::Test {
protected:
    SampleSourcePlaneTest() : plane(9, 7) {
        plane.FillWith([](int32_t x, int32_t y) { return (x + y) % 2 == 0 ? 200 : 50; });
    }
    Plane<uint8_t> plane;
};

TEST_F(SampleSourcePlaneTest, PositionOnASampleGivesThatSample) {
    for (int32_t y = 0; y < plane.Height(); ++y) {
        for (int32_t x = 0; x < plane.Width(); ++x) {
            EXPECT_EQ(plane.ValueAt(static_cast<float>(x), static_cast<float>(y)), plane.At(x, y))
                << x << ", " << y;
        }
    }
}

TEST_F(SampleSourcePlaneTest, LastColumnOrRowInterpolatesNeitherAxis) {
    const float lastX = static_cast<float>(plane.Width() - 1);
    const float lastY = static_cast<float>(plane.Height() - 1);
    EXPECT_EQ(plane.ValueAt(lastX, 2.5f), plane.At(plane.Width() - 1, 2));
    EXPECT_EQ(plane.ValueAt(3.5f, lastY), plane.At(3, plane.Height() - 1));
    EXPECT_EQ(plane.ValueAt(3.5f, lastY, 1), plane.At(3, plane.Height() - 1));
}

// The checkerboard makes any bump large, so a purely bilinear value shows that none was applied.
TEST_F(SampleSourcePlaneTest, BumpOnlyWhereTheWholeBlockLiesInside) {
    const float w = static_cast<float>(plane.Width());
    const float h = static_cast<float>(plane.Height());
    const float outside[][2] = {
        {0.5f, 3.5f},   {3.5f, 0.5f}, {w - 2.0f + 0.5f, 3.5f}, {3.5f, h - 2.0f + 0.5f},
        {0.25f, 0.75f},
    };
    for (const auto& at : outside) {
        EXPECT_EQ(plane.ValueAt(at[0], at[1]), plane.CellAt(at[0], at[1]).bilinear)
            << at[0] << ", " << at[1];
    }
    const float inside[][2] = {{1.3f, 1.6f}, {3.25f, 2.75f}, {w - 3.0f + 0.2f, h - 3.0f + 0.7f}};
    for (const auto& at : inside) {
        EXPECT_GT(std::abs(plane.ValueAt(at[0], at[1]) - plane.CellAt(at[0], at[1]).bilinear), 1.0f)
            << at[0] << ", " << at[1];
    }
}

TEST(SampleSourcePlane, EachRingPositionFeedsItsOwnWeightAndTheCornersNone) {
    const float fx = 0.3f;
    const float fy = 0.6f;
    const float gain = 0.4f;
    for (int32_t dy = -1; dy <= 2; ++dy) {
        for (int32_t dx = -1; dx <= 2; ++dx) {
            const bool inCell = dx >= 0 && dx <= 1 && dy >= 0 && dy <= 1;
            if (inCell) {
                continue;
            }
            Plane<uint8_t> plane(8, 8);
            plane.Set(3 + dx, 3 + dy, 100);
            const bool corner = (dx == -1 || dx == 2) && (dy == -1 || dy == 2);
            const float expected =
                corner ? 0.0f : gain * (ReferenceRingWeight(dx, dy, fx, fy) * 100.0f);
            EXPECT_NEAR(plane.ValueAt(3.0f + fx, 3.0f + fy, 0, gain), expected, 1e-4f)
                << dx << ", " << dy;
        }
    }
}

// Next to a step the bump overshoots cells whose four samples are all alike.
TEST(SampleSourcePlane, NeighbourClampKeepsTheValueWithinItsFourSamples) {
    Plane<uint8_t> plane(9, 7);
    plane.FillWith([](int32_t x, int32_t y) { return x + y < 7 ? 50 : 200; });
    bool overshoots = false;
    for (float ys = 0.0f; ys <= 6.0f; ys += 0.37f) {
        for (float xs = 0.0f; xs <= 8.0f; xs += 0.29f) {
            const auto cell = plane.CellAt(xs, ys);
            const float low = std::min({cell.p, cell.right, cell.below, cell.diag});
            const float high = std::max({cell.p, cell.right, cell.below, cell.diag});
            const float clamped = plane.ValueAt(xs, ys, 1);
            EXPECT_GE(clamped, low) << xs << ", " << ys;
            EXPECT_LE(clamped, high) << xs << ", " << ys;
            const float free = plane.ValueAt(xs, ys, 0);
            overshoots = overshoots || free < low || free > high;
        }
    }
    EXPECT_TRUE(overshoots) << "without the clamp the bump leaves the range of the four samples";
}

// The bilinear value stays within the host's 16-bit range; a bump overshoot does not.
TEST(SampleSourcePlane, SixteenBitOvershootAboveTheHostMaximumReachesTheOutput) {
    Plane<uint16_t> plane(10, 6);
    plane.FillWith([](int32_t x, int32_t) { return x < 4 ? 0 : 32768; });
    const float value = plane.ValueAt(4.5f, 2.5f);
    EXPECT_EQ(plane.CellAt(4.5f, 2.5f).bilinear, 32768.0f);
    EXPECT_GT(RoundAndClampToSampleRange<SixteenBitSamples>(value), 32768u);
}

}  // namespace
