// Speed of a whole correction run (the row loops of every plane, without the pause at the end)
// on a 6000 x 4000 image of three planes, against a plain parallel copy of the same bytes.
// Figures are output pixels per second: one pixel is one sample in each of the three planes.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "correction/CVexoCorrectionAlgorithm.h"
#include "platform/Platform.h"
#include "tests/correction/InMemoryHost.h"
#include "tests/correction/StubbedServices.h"

namespace {

using vexo::testing::InMemoryHost;
using vexo::testing::StubbedServices;

constexpr int32_t kWidth = 6000;
constexpr int32_t kHeight = 4000;
constexpr int32_t kPlanes = 3;
constexpr int64_t kPixels = int64_t{kWidth} * kHeight;

// A smooth picture, so that the centre check below can tell a working run from a broken one.
uint32_t Picture(int32_t plane, int32_t x, int32_t y, int32_t depth) {
    const double value = 128.0 + 100.0 * std::sin(x / 300.0 + plane) * std::cos(y / 200.0);
    return static_cast<uint32_t>(depth == 8 ? value : value * 128.0);
}

// The image is made once per depth and kept: filling it costs more than a run.
InMemoryHost& ImageOfDepth(int32_t depth) {
    static std::unique_ptr<InMemoryHost> images[2];
    std::unique_ptr<InMemoryHost>& image = images[depth == 8 ? 0 : 1];
    if (!image) {
        image = std::make_unique<InMemoryHost>(kWidth, kHeight, kPlanes, depth);
        image->FillInput(
            [depth](int32_t p, int32_t x, int32_t y) { return Picture(p, x, y, depth); });
    }
    return *image;
}

// The centre stays nearly in place, so there the output must show the input's value.
bool CentreLooksRight(const InMemoryHost& image, int32_t depth) {
    const uint32_t tolerance = depth == 8 ? 2 : 2 * 128;
    for (int32_t plane = 0; plane < kPlanes; ++plane) {
        const uint32_t in = image.InputAt(plane, kWidth / 2, kHeight / 2);
        const uint32_t out = image.OutputAt(plane, kWidth / 2, kHeight / 2);
        if ((in > out ? in - out : out - in) > tolerance) {
            return false;
        }
    }
    return true;
}

void CorrectionRun(benchmark::State& state, int32_t depth, int32_t threads) {
    InMemoryHost& image = ImageOfDepth(depth);
    // The pause after the run is recorded, not slept; the thread count is the one asked for.
    StubbedServices services(threads);
    image.Init(2);
    CARect inRect(kWidth, kHeight);
    CARect outRect(kWidth, kHeight);
    for (auto _ : state) {
        image.calls.clear();
        if (image.Process(inRect, outRect, CAProcessWholeImage) != CAResultOk) {
            state.SkipWithError("Process failed");
            break;
        }
    }
    image.Release();
    state.counters["Mpixel"] = benchmark::Counter(
        static_cast<double>(kPixels) * 1e-6 * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
    if (!CentreLooksRight(image, depth)) {
        state.SkipWithError("the output's centre does not show the input's");
    }
}

// The floor: every input byte of the three planes copied to the output once, row by row on all
// threads, with nothing computed.
void CopyFloor(benchmark::State& state, int32_t depth, int32_t threads) {
    const size_t sampleBytes = depth == 8 ? 1 : 2;
    const size_t rowBytes = kWidth * sampleBytes;
    const size_t planeBytes = rowBytes * kHeight;
    std::vector<unsigned char> input(planeBytes * kPlanes, 0x5A);
    std::vector<unsigned char> output(planeBytes * kPlanes, 0);
    const int32_t rows = kHeight * kPlanes;
    for (auto _ : state) {
#pragma omp parallel for schedule(static) num_threads(threads)
        for (int32_t row = 0; row < rows; ++row) {
            std::memcpy(output.data() + row * rowBytes, input.data() + row * rowBytes, rowBytes);
        }
        benchmark::ClobberMemory();
    }
    state.counters["Mpixel"] = benchmark::Counter(
        static_cast<double>(kPixels) * 1e-6 * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(planeBytes * kPlanes));
    if (output[planeBytes * kPlanes - 1] != 0x5A || output[0] != 0x5A) {
        state.SkipWithError("the copy did not arrive");
    }
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const vexo::platform::CoreQueryResult query =
        vexo::platform::SystemServices().queryPhysicalCores();
    const int32_t cores =
        query.status == vexo::platform::CoreQueryStatus::Ok && query.cores > 0 ? query.cores : 1;
    std::vector<int32_t> threadCounts = {1};
    if (cores > 1) {
        threadCounts.push_back(cores);
    }
    for (int32_t depth : {8, 16}) {
        for (int32_t threads : threadCounts) {
            const std::string name =
                "Correction/" + std::to_string(depth) + "bit/threads:" + std::to_string(threads);
            benchmark::RegisterBenchmark(name.c_str(), CorrectionRun, depth, threads)
                ->Unit(benchmark::kMillisecond)
                ->UseRealTime()
                ->MeasureProcessCPUTime();
        }
        const std::string name =
            "CopyFloor/" + std::to_string(depth) + "bit/threads:" + std::to_string(cores);
        benchmark::RegisterBenchmark(name.c_str(), CopyFloor, depth, cores)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->MeasureProcessCPUTime();
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
