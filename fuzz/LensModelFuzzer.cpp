#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "correction/CVexoCorrectionAlgorithm.h"
#include "correction/RunGeometry.h"
#include "fuzz/FuzzCheck.h"
#include "tests/correction/CorrectionTestAccess.h"
#include "tests/correction/InMemoryHost.h"

// The lens model as a run sets it up (a preset, fitted to the image's sides, with the
// caller's strengths), over image sides from 24 to 32767 and strengths anywhere in the
// float range: the resampler reads the source at every mapped position, so each one
// must be a number inside the image.
namespace {

using Access = CVexoCorrectionAlgorithmTestAccess;

float AnyFloat(FuzzedDataProvider& in) {
    switch (in.ConsumeIntegralInRange<int>(0, 3)) {
        case 0: return in.ConsumeFloatingPointInRange<float>(0.0f, 100.0f);
        case 1: return 50.0f;
        default: return in.ConsumeFloatingPoint<float>();  // infinities and NaN included
    }
}

float Position(FuzzedDataProvider& in, int32_t side) {
    const float last = static_cast<float>(side - 1);
    switch (in.ConsumeIntegralInRange<int>(0, 5)) {
        case 0: return 0.0f;
        case 1: return last;
        case 2: return last * 0.5f;
        case 3: return in.ConsumeFloatingPointInRange<float>(0.0f, last);
        default: return static_cast<float>(in.ConsumeIntegralInRange<int32_t>(0, side - 1));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const int32_t width = in.ConsumeIntegralInRange<int32_t>(24, 32767);
    const int32_t height = in.ConsumeIntegralInRange<int32_t>(24, 32767);
    // No planes: only the lens model is wanted, not an image.
    vexo::testing::InMemoryHost algorithm(width, height, 0, 8);
    algorithm.params.preset = in.ConsumeIntegralInRange<int32_t>(0, 2);
    algorithm.params.horizontalStrength = AnyFloat(in);
    algorithm.params.verticalStrength = AnyFloat(in);
    algorithm.params.param1 = AnyFloat(in);
    algorithm.params.param2 = AnyFloat(in);

    const RunGeometry g = Access::LoadAndFit(algorithm, width, height);
    const VexoInternalParams& lens = algorithm.internalParams;
    while (in.remaining_bytes() > 0) {
        // As the row resampler passes them: the long-side position first.
        float xs = Position(in, width);
        float ys = Position(in, height);
        const float inX = xs;
        const float inY = ys;
        float* longPos = g.transposed ? &ys : &xs;
        float* shortPos = g.transposed ? &xs : &ys;
        lens.TransformCoordinates(longPos, shortPos, g.scale, g.radius, g.invRadius, g.longSide,
                                  g.shortSide);
        VEXO_FUZZ_CHECK(std::isfinite(xs) && xs >= 0.0f && xs <= static_cast<float>(width - 1),
                        "%dx%d preset %d: column %g of (%g, %g) outside the image", width, height,
                        algorithm.params.preset, xs, inX, inY);
        VEXO_FUZZ_CHECK(std::isfinite(ys) && ys >= 0.0f && ys <= static_cast<float>(height - 1),
                        "%dx%d preset %d: row %g of (%g, %g) outside the image", width, height,
                        algorithm.params.preset, ys, inX, inY);
    }
    return 0;
}
