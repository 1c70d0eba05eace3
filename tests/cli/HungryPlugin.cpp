// A plug-in whose start call asks the host for a buffer of 900 MB and fails with
// memFullErr when it gets none, as a plug-in does that runs out of memory.
#include <cstdint>

#include "host/HostFilterInterface.h"

extern "C" __attribute__((visibility("default"))) void PluginMain(int16_t selector, void* record,
                                                                  intptr_t*, int16_t* result) {
    if (selector != filterSelectorStart) {
        return;
    }
    const BufferProcs* buffers = static_cast<FilterRecord*>(record)->bufferProcs;
    BufferID buffer = nullptr;
    if (!buffers || buffers->allocateProc(900 << 20, &buffer) != noErr) {
        *result = memFullErr;
        return;
    }
    buffers->freeProc(buffer);
}
