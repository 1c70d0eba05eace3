// A plug-in that ends the process in its start call with exit(3), as a library
// under a plug-in may when it gives up; built with VEXO_QUICK_EXIT, with
// quick_exit(3).
#include <cstdint>
#include <cstdlib>

#include "host/HostFilterInterface.h"

extern "C" __attribute__((visibility("default"))) void PluginMain(int16_t selector, void*,
                                                                  intptr_t*, int16_t*) {
    if (selector == filterSelectorStart) {
#if defined(VEXO_QUICK_EXIT)
        std::quick_exit(3);
#else
        std::exit(3);
#endif
    }
}
