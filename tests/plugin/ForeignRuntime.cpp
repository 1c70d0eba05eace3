// Another library of the host's process that carries an OpenMP runtime of its own, as another
// plug-in built like ours, or a host's own code, would: it starts its runtime when asked to and
// does nothing to make room for a second copy.
#include <omp.h>

#include <atomic>

#if defined(_WIN32)
#define FOREIGN_EXPORT extern "C" __declspec(dllexport)
#else
#define FOREIGN_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Runs one parallel region on `threads` threads and returns how many of them took part.
FOREIGN_EXPORT int ForeignParallelRegion(int threads) {
    std::atomic<int> seen{0};
#pragma omp parallel num_threads(threads)
    { seen.fetch_add(1); }
    return seen.load();
}
