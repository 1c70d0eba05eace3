#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <string>
#include <vector>

#include "correction/CVexoCorrectionAlgorithm.h"
#include "correction/RowKernels.h"
#include "correction/RowResampler.h"
#include "correction/RunGeometry.h"
#include "correction/VexoInternalParams.h"
#include "tests/correction/CorrectionTestAccess.h"
#include "tests/correction/InMemoryHost.h"
#include "tests/correction/NoisePicture.h"
#include "tests/correction/StubbedServices.h"

namespace {

using vexo::testing::InMemoryHost;
using vexo::testing::Noise;
using vexo::testing::StubbedServices;

// The vector kernels this processor can run; each is held to the plain body.
std::vector<RowKernel> VectorKernels() {
    std::vector<RowKernel> kernels;
    for (RowKernel kernel : {RowKernel::Sse2, RowKernel::Avx2}) {
        if (RowKernelAvailable(kernel)) {
            kernels.push_back(kernel);
        }
    }
    return kernels;
}

const char* KernelName(RowKernel kernel) {
    switch (kernel) {
    case RowKernel::Plain:
        return "plain";
    case RowKernel::Sse2:
        return "SSE2";
    case RowKernel::Avx2:
        return "AVX2";
    }
    return "?";
}

// Noise with runs of the extremes, so that the bump overshoots both ends of the sample range.
uint32_t Harsh(int32_t plane, int32_t x, int32_t y, uint32_t maximum) {
    const uint32_t n = Noise(plane, x, y, 1000);
    if (n < 300) {
        return (n & 1) != 0 ? maximum : 0;
    }
    return Noise(plane + 1, x, y, maximum + 1);
}

// A lens with every term in use, so that every guard of the transform takes part.
VexoInternalParams EveryTermLens() {
    VexoInternalParams lens;
    lens.HS = 0.93f;
    lens.V3 = 0.11f;
    lens.VC3 = -0.07f;
    lens.V5 = 0.05f;
    lens.RR = 1.5f;
    lens.Twist = 0.02f;
    lens.VCQ3 = 0.03f;
    lens.VS = 1.02f;
    lens.H3 = 0.09f;
    lens.HC3 = -0.04f;
    lens.H5 = 0.06f;
    lens.HC = 0.01f;
    return lens;
}

// The lens of preset 2 fitted to the image, as a run uses it.
VexoInternalParams FittedPreset(int32_t width, int32_t height, RunGeometry& geometry) {
    InMemoryHost algorithm(width, height, 0, 8);
    algorithm.params.preset = 2;
    geometry = CVexoCorrectionAlgorithmTestAccess::LoadAndFit(algorithm, width, height);
    return algorithm.internalParams;
}

// ---- The transform, bit for bit, signs of zero included ------------------------------------

struct Positions {
    std::vector<float> longPos;
    std::vector<float> shortPos;
};

// Every pixel of the image, plus the centre lines and the edges exactly, where u or v is a zero
// of either sign and A or B can be exactly 1; padded to whole vectors.
Positions EveryPositionOf(const RunGeometry& g) {
    Positions p;
    const float cL = (g.longSide - 1.0f) * 0.5f;
    const float cS = (g.shortSide - 1.0f) * 0.5f;
    std::vector<float> longs = {cL, -0.0f, 0.0f, g.longSide - 1.0f, g.longSide, -1.0f};
    std::vector<float> shorts = {cS, -0.0f, 0.0f, g.shortSide - 1.0f, g.shortSide, -1.0f};
    for (float x = 0.0f; x < g.longSide; x += 1.0f) {
        longs.push_back(x);
    }
    for (float y = 0.0f; y < g.shortSide; y += 1.0f) {
        shorts.push_back(y);
    }
    for (float y : shorts) {
        for (float x : longs) {
            p.longPos.push_back(x);
            p.shortPos.push_back(y);
        }
    }
    while (p.longPos.size() % 8 != 0) {
        p.longPos.push_back(cL);
        p.shortPos.push_back(cS);
    }
    return p;
}

TEST(RowKernels, LanesTransformExactlyAsThePlainCode) {
    struct Case {
        const char* lens;
        int32_t width, height;
    };
    const Case cases[] = {
        {"preset", 24, 24},   {"preset", 61, 37},     {"preset", 37, 61},
        {"every term", 24, 24}, {"every term", 61, 37}, {"every term", 37, 61},
    };
    for (RowKernel kernel : VectorKernels()) {
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message() << KernelName(kernel) << ", " << c.lens << ", "
                                            << c.width << " x " << c.height);
            RunGeometry g{};
            VexoInternalParams lens = FittedPreset(c.width, c.height, g);
            if (std::string(c.lens) == "every term") {
                lens = EveryTermLens();
            }
            Positions plain = EveryPositionOf(g);
            Positions inLanes = plain;
            TransformCoordinatesInLanes(RowKernel::Plain, lens, g, plain.longPos.data(),
                                        plain.shortPos.data(),
                                        static_cast<int32_t>(plain.longPos.size()));
            TransformCoordinatesInLanes(kernel, lens, g, inLanes.longPos.data(),
                                        inLanes.shortPos.data(),
                                        static_cast<int32_t>(inLanes.longPos.size()));
            for (size_t k = 0; k < plain.longPos.size(); ++k) {
                // Bits, not values: 0.0 and -0.0 compare equal but are told apart here.
                ASSERT_EQ(std::bit_cast<uint32_t>(inLanes.longPos[k]),
                          std::bit_cast<uint32_t>(plain.longPos[k]))
                    << "position " << k;
                ASSERT_EQ(std::bit_cast<uint32_t>(inLanes.shortPos[k]),
                          std::bit_cast<uint32_t>(plain.shortPos[k]))
                    << "position " << k;
            }
        }
    }
}

// ---- Whole rows, every setting -------------------------------------------------------------

struct RowCase {
    int32_t width, height;
};

// Wide, tall, odd, the smallest image the plug-in takes, and planes too small for a 4 x 4 block.
constexpr RowCase kRowCases[] = {{24, 24}, {25, 24}, {24, 25}, {97, 61}, {61, 97}, {1203, 27},
                                 {27, 1203}, {3, 30}, {30, 3}, {4, 4}, {5, 7}};

// Whether the vector kernel writes what the plain body writes for every row of a plane, for
// blocks that start at every lane offset.
template <typename Sample, typename Body>
void ExpectRowsMatch(const ResampleLineJob<Sample>& prototype, Body plainBody, Body vectorBody) {
    const int32_t width = prototype.source.width;
    const int32_t height = prototype.source.height;
    std::vector<Sample> plain(width);
    std::vector<Sample> vector(width);
    for (int32_t y = 0; y < height; ++y) {
        ResampleLineJob<Sample> job = prototype;
        job.y = y;
        job.outputRow = plain.data();
        plainBody(job, 0, width);
        // Two blocks split at a column that is not a multiple of the lanes, as threads get them.
        const int32_t split = (y * 5 + 3) % (width + 1);
        job.outputRow = vector.data();
        vectorBody(job, 0, split);
        vectorBody(job, split, width);
        ASSERT_EQ(vector, plain) << "row " << y << ", blocks split at " << split;
    }
}

template <typename Sample>
std::vector<Sample> PlaneOf(int32_t width, int32_t height, int32_t stride, uint32_t maximum) {
    std::vector<Sample> plane(static_cast<size_t>(stride) * height, 0);
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            plane[static_cast<size_t>(y) * stride + x] =
                static_cast<Sample>(Harsh(0, x, y, maximum));
        }
    }
    return plane;
}

struct Setting {
    const char* lens;
    float gain;
    int32_t clampToNeighbours;
};

// The presets' gain and clamp, no bump, a strong bump, and the clamp with either bump.
constexpr Setting kSettings[] = {{"preset", 0.4f, 0},     {"preset", 0.0f, 0},
                                 {"preset", 1.7f, 0},     {"preset", 0.4f, 1},
                                 {"preset", 1.7f, 1},     {"every term", 0.4f, 0},
                                 {"every term", 1.7f, 1}};

template <typename Sample>
void ExpectEveryRowMatches(RowKernel kernel) {
    const bool eightBit = sizeof(Sample) == 1;
    const uint32_t maximum = eightBit ? 255u : 65535u;
    for (const RowCase& c : kRowCases) {
        const int32_t stride = c.width + 3;
        const std::vector<Sample> plane = PlaneOf<Sample>(c.width, c.height, stride, maximum);
        for (const Setting& s : kSettings) {
            SCOPED_TRACE(testing::Message()
                         << KernelName(kernel) << ", " << (eightBit ? 8 : 16) << "-bit, "
                         << c.width << " x " << c.height << ", " << s.lens << ", gain " << s.gain
                         << ", clamp " << s.clampToNeighbours);
            RunGeometry g{};
            VexoInternalParams lens = FittedPreset(c.width, c.height, g);
            if (std::string(s.lens) == "every term") {
                lens = EveryTermLens();
            }
            ResampleLineJob<Sample> job{};
            job.source = {plane.data(), stride, c.width, c.height};
            job.geometry = g;
            job.internalParams = &lens;
            job.bicubicGain = s.gain;
            job.clampToNeighbours = s.clampToNeighbours;
            if constexpr (sizeof(Sample) == 1) {
                ExpectRowsMatch(job, RowBlockBody8(RowKernel::Plain), RowBlockBody8(kernel));
            } else {
                ExpectRowsMatch(job, RowBlockBody16(RowKernel::Plain), RowBlockBody16(kernel));
            }
        }
    }
}

TEST(RowKernels, EightBitRowsAreThePlainRows) {
    for (RowKernel kernel : VectorKernels()) {
        ExpectEveryRowMatches<uint8_t>(kernel);
    }
}

TEST(RowKernels, SixteenBitRowsAreThePlainRows) {
    for (RowKernel kernel : VectorKernels()) {
        ExpectEveryRowMatches<uint16_t>(kernel);
    }
}

// ---- Whole runs through the drivers --------------------------------------------------------

class PinnedKernel {
public:
    explicit PinnedKernel(RowKernel kernel) { pinned_ = PinRowKernel(kernel); }
    ~PinnedKernel() { UnpinRowKernel(); }
    PinnedKernel(const PinnedKernel&) = delete;
    PinnedKernel& operator=(const PinnedKernel&) = delete;
    bool Pinned() const { return pinned_; }

private:
    bool pinned_ = false;
};

std::vector<std::vector<uint32_t>> CorrectWith(RowKernel kernel, int32_t width, int32_t height,
                                               int32_t depth, int32_t threads) {
    const PinnedKernel pin(kernel);
    EXPECT_TRUE(pin.Pinned());
    EXPECT_EQ(RowKernelForRun(), kernel);
    StubbedServices services(threads);
    InMemoryHost host(width, height, 2, depth);
    const uint32_t maximum = depth == 8 ? 255u : 32768u;
    host.FillInput([maximum](int32_t p, int32_t x, int32_t y) { return Harsh(p, x, y, maximum); });
    host.Init(2);
    CARect inRect(width, height);
    CARect outRect(width, height);
    EXPECT_EQ(host.Process(inRect, outRect, CAProcessWholeImage), CAResultOk);
    EXPECT_TRUE(host.OutputPaddingUntouched(0));
    EXPECT_TRUE(host.OutputPaddingUntouched(1));
    return {host.OutputPlane(0), host.OutputPlane(1)};
}

TEST(RowKernels, RunsWriteThePlainImageOnEveryThreadCount) {
    for (const RowCase c : {RowCase{24, 24}, RowCase{301, 97}, RowCase{97, 301}}) {
        for (int32_t depth : {8, 16}) {
            const auto plain = CorrectWith(RowKernel::Plain, c.width, c.height, depth, 3);
            for (RowKernel kernel : VectorKernels()) {
                for (int32_t threads : {1, 3, 8}) {
                    EXPECT_EQ(CorrectWith(kernel, c.width, c.height, depth, threads), plain)
                        << KernelName(kernel) << ", " << c.width << " x " << c.height << ", "
                        << depth << "-bit, " << threads << " threads";
                }
            }
        }
    }
}

TEST(RowKernels, RunsUseTheFastestKernelUnlessOneIsPinned) {
    const RowKernel fastest =
        RowKernelAvailable(RowKernel::Avx2) ? RowKernel::Avx2 : RowKernel::Sse2;
    EXPECT_EQ(RowKernelForRun(), fastest);
    EXPECT_TRUE(RowKernelAvailable(RowKernel::Plain));
    EXPECT_TRUE(RowKernelAvailable(RowKernel::Sse2));
    {
        const PinnedKernel pin(RowKernel::Plain);
        EXPECT_EQ(RowKernelForRun(), RowKernel::Plain);
    }
    EXPECT_EQ(RowKernelForRun(), fastest);
}

}  // namespace
