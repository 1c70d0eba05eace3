// Other programs' work, for timing the correction on a busy machine: THREADS threads that
// spin without pause for at most SECONDS, then the program ends by itself.
//
//   busy_load THREADS SECONDS

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: busy_load THREADS SECONDS\n");
        return 2;
    }
    const int threads = std::atoi(argv[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(std::atoi(argv[2]));
    std::atomic<unsigned long long> sink{0};
    std::vector<std::thread> spinners;
    for (int t = 0; t < threads; ++t) {
        spinners.emplace_back([&] {
            unsigned long long local = 0;
            while (std::chrono::steady_clock::now() < deadline) {
                for (int i = 0; i < 100000; ++i) {
                    local = local * 6364136223846793005ull + 1442695040888963407ull;
                }
            }
            sink += local;
        });
    }
    for (std::thread& spinner : spinners) {
        spinner.join();
    }
    return sink == 42 ? 1 : 0;  // keeps the loops from being optimised away
}
