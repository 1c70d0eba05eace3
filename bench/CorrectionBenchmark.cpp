// The benchmark's cases through Google Benchmark (native build only); correction_timing prints
// the same cases with their ratios. Figures are output pixels per second: one pixel is one
// sample in each of the three planes.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/BenchmarkCases.h"
#include "platform/Platform.h"

namespace {

using namespace vexo::bench;

void CountPixels(benchmark::State& state) {
    state.counters["Mpixel"] = benchmark::Counter(
        static_cast<double>(kPixels) * 1e-6 * static_cast<double>(state.iterations()),
        benchmark::Counter::kIsRate);
}

void CorrectionRun(benchmark::State& state, int32_t depth, int32_t threads) {
    CorrectionCase run(depth, threads);
    for (auto _ : state) {
        if (!run.Run()) {
            state.SkipWithError("Process failed");
            break;
        }
    }
    CountPixels(state);
    if (!run.OutputLooksRight()) {
        state.SkipWithError("the output's centre does not show the input's");
    }
}

void CopyFloor(benchmark::State& state, int32_t depth, int32_t threads) {
    CopyCase copy(depth, threads);
    for (auto _ : state) {
        copy.Run();
        benchmark::ClobberMemory();
    }
    CountPixels(state);
    if (!copy.OutputLooksRight()) {
        state.SkipWithError("the copy did not arrive");
    }
}

void EmptyRegionFloor(benchmark::State& state, int32_t threads) {
    for (auto _ : state) {
        EmptyRegions(threads);
    }
    CountPixels(state);
}

#ifdef VEXO_BENCH_WITH_OPENCV
void OpenCvRemap(benchmark::State& state, int32_t depth, int32_t threads, int interpolation) {
    RemapCase remap(depth, threads, interpolation);
    for (auto _ : state) {
        remap.Run();
    }
    CountPixels(state);
    if (!remap.OutputLooksRight()) {
        state.SkipWithError("OpenCV's remap does not show the input's centre");
    }
}
#endif

template <typename... Args>
void Register(const std::string& name, Args&&... args) {
    benchmark::RegisterBenchmark(name.c_str(), std::forward<Args>(args)...)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->MeasureProcessCPUTime();
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
    const std::string all = "/threads:" + std::to_string(cores);
    for (int32_t depth : {8, 16}) {
        const std::string bits = "/" + std::to_string(depth) + "bit";
        for (int32_t threads : threadCounts) {
            Register("Correction" + bits + "/threads:" + std::to_string(threads), CorrectionRun,
                     depth, threads);
        }
        Register("CopyFloor" + bits + all, CopyFloor, depth, cores);
#ifdef VEXO_BENCH_WITH_OPENCV
        Register("OpenCvRemapBilinear" + bits + all, OpenCvRemap, depth, cores,
                 static_cast<int>(cv::INTER_LINEAR));
        Register("OpenCvRemapBicubic" + bits + all, OpenCvRemap, depth, cores,
                 static_cast<int>(cv::INTER_CUBIC));
#endif
    }
    for (int32_t threads : threadCounts) {
        Register("EmptyRegions/threads:" + std::to_string(threads), EmptyRegionFloor, threads);
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
