// The benchmark as one plain program, for every build (Google Benchmark is not there for the
// Windows build, which runs this under Wine). Times each case a few times, keeps the median, and
// prints it in ms and Mpixel/s with its ratio to OpenCV's bicubic remap (when built with
// OpenCV) and to the copy floor of the same depth.
//
//   correction_timing [repetitions] [case ...]
//
// Cases named after the repetitions (any part of a case's name, such as "8-bit correction")
// limit the run to the cases that contain one of them.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchmarkCases.h"
#include "platform/Platform.h"

namespace {

using namespace vexo::bench;

struct Figure {
    std::string name;
    int32_t depth;
    double ms;
};

// The median of `repetitions` timed runs after one untimed run.
double MedianMs(int repetitions, const std::function<void()>& run) {
    run();
    std::vector<double> times;
    for (int r = 0; r < repetitions; ++r) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const auto stop = std::chrono::steady_clock::now();
        times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void Fail(const std::string& what) {
    std::fprintf(stderr, "%s\n", what.c_str());
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
    // Each line shows as soon as its case is done, even when the output is a pipe.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int repetitions = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const std::vector<std::string> chosen(argv + std::min(argc, 2), argv + argc);
    const auto wanted = [&chosen](const std::string& name) {
        return chosen.empty() || std::any_of(chosen.begin(), chosen.end(), [&](const auto& part) {
                   return name.find(part) != std::string::npos;
               });
    };
    const vexo::platform::CoreQueryResult query =
        vexo::platform::SystemServices().queryPhysicalCores();
    const int32_t cores =
        query.status == vexo::platform::CoreQueryStatus::Ok && query.cores > 0 ? query.cores : 1;
    const char* kernels[] = {"plain", "SSE2", "AVX2"};
    std::printf("%d x %d x %d, %d cores, row kernel %s, median of %d\n", kWidth, kHeight, kPlanes,
                cores, kernels[static_cast<int>(RowKernelForRun())], repetitions);

    std::vector<Figure> figures;
    for (int32_t depth : {8, 16}) {
        const std::string bits = std::to_string(depth) + "-bit ";
        for (int32_t threads : {1, cores}) {
            const std::string name = bits + "correction, " + std::to_string(threads) + " threads";
            if (!wanted(name)) {
                continue;
            }
            CorrectionCase run(depth, threads);
            figures.push_back({name, depth,
                               MedianMs(repetitions, [&run] {
                                   if (!run.Run()) {
                                       Fail("Process failed");
                                   }
                               })});
            if (!run.OutputLooksRight()) {
                Fail("the output's centre does not show the input's");
            }
            if (cores == 1) {
                break;
            }
        }
        const std::string copyName = bits + "copy floor, " + std::to_string(cores) + " threads";
        if (wanted(copyName)) {
            CopyCase copy(depth, cores);
            figures.push_back({copyName, depth, MedianMs(repetitions, [&copy] { copy.Run(); })});
            if (!copy.OutputLooksRight()) {
                Fail("the copy did not arrive");
            }
        }
#ifdef VEXO_BENCH_WITH_OPENCV
        for (int interpolation : {cv::INTER_LINEAR, cv::INTER_CUBIC}) {
            const std::string kind = interpolation == cv::INTER_LINEAR ? "bilinear" : "bicubic";
            const std::string name =
                bits + "OpenCV remap " + kind + ", " + std::to_string(cores) + " threads";
            if (!wanted(name)) {
                continue;
            }
            RemapCase remap(depth, cores, interpolation);
            figures.push_back({name, depth, MedianMs(repetitions, [&remap] { remap.Run(); })});
            if (!remap.OutputLooksRight()) {
                Fail("OpenCV's remap does not show the input's centre");
            }
        }
#endif
    }
    // One thread too: a runtime may still pay for each region's team when it has no workers.
    for (int32_t threads : {1, cores}) {
        const std::string name = "empty regions, one per row, " + std::to_string(threads) + " threads";
        if (wanted(name)) {
            figures.push_back(
                {name, 0, MedianMs(repetitions, [threads] { EmptyRegions(threads); })});
        }
        if (cores == 1) {
            break;
        }
    }

    const auto find = [&figures](const std::string& prefix) {
        for (const Figure& f : figures) {
            if (f.name.rfind(prefix, 0) == 0) {
                return f.ms;
            }
        }
        return 0.0;
    };
    std::printf("%-44s %10s %10s %10s %10s\n", "case", "ms", "Mpixel/s", "/bicubic", "/copy");
    for (const Figure& f : figures) {
        const std::string bits = std::to_string(f.depth) + "-bit ";
        const double bicubic = find(bits + "OpenCV remap bicubic");
        const double copy = find(bits + "copy floor");
        const double mpix = static_cast<double>(kPixels) * 1e-3 / f.ms;
        std::printf("%-44s %10.1f %10.1f", f.name.c_str(), f.ms, mpix);
        if (bicubic > 0.0) {
            std::printf(" %10.2f", f.ms / bicubic);
        } else {
            std::printf(" %10s", "-");
        }
        if (copy > 0.0) {
            std::printf(" %10.2f\n", f.ms / copy);
        } else {
            std::printf(" %10s\n", "-");
        }
    }
    const double one8 = find("8-bit correction, 1 threads");
    const double all8 = find("8-bit correction, " + std::to_string(cores) + " threads");
    const double one16 = find("16-bit correction, 1 threads");
    const double all16 = find("16-bit correction, " + std::to_string(cores) + " threads");
    if (cores > 1 && one8 > 0.0 && all8 > 0.0 && one16 > 0.0 && all16 > 0.0) {
        std::printf("speed-up of all cores over one: 8-bit %.2f, 16-bit %.2f\n", one8 / all8,
                    one16 / all16);
    }
    return 0;
}
