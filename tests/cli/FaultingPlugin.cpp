// A plug-in that faults in its start call, in the middle of a run: it writes
// to a page it may not touch, or, built with VEXO_FAULT_BY_RECURSION, overflows its
// thread's stack.
#include <sys/mman.h>

#include <climits>
#include <cstdint>

#include "host/HostFilterInterface.h"

namespace {

#if defined(VEXO_FAULT_BY_RECURSION)
// Each call keeps a frame of its own alive across the next, so that the compiler
// can neither drop the recursion nor turn it into a loop.
int Deeper(int depth) {
    volatile char frame[4096];
    frame[0] = static_cast<char>(depth);
    if (depth == INT_MAX) {
        return frame[0];
    }
    return Deeper(depth + 1) + frame[0];
}
#endif

void Fault() {
#if defined(VEXO_FAULT_BY_RECURSION)
    Deeper(0);
#else
    // A page that may not be touched: unlike a null pointer, no compiler knows it.
    auto* page = static_cast<volatile int*>(
        mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    *page = 1;
#endif
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void PluginMain(int16_t selector, void*,
                                                                  intptr_t*, int16_t* result) {
    if (selector == filterSelectorStart) {
        Fault();
        *result = memFullErr;
    }
}
