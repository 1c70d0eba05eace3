// A plug-in whose start call fails with memFullErr, as a run that runs out of
// memory does; built a second time without any entry point at all.
#include <cstdint>

#include "host/HostFilterInterface.h"

#if !defined(VEXO_NO_ENTRY_POINT)
extern "C" __attribute__((visibility("default"))) void PluginMain(int16_t selector, void*,
                                                                  intptr_t*, int16_t* result) {
    if (selector == filterSelectorStart) {
        *result = memFullErr;
    }
}
#else
extern "C" __attribute__((visibility("default"))) int NotAnEntryPoint() {
    return 0;
}
#endif
