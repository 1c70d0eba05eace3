#include "platform/Module.h"
#include "plugin/LibraryLifetime.h"

// The shared library's counterpart of the Windows load and unload notifications.
// Threads are not announced to a shared library, so only the process-wide pair
// exists here.

namespace {

__attribute__((constructor)) void AttachLibrary() {
    OnProcessAttach(
        vexo::platform::ModuleContaining(reinterpret_cast<const void*>(&AttachLibrary)));
}

__attribute__((destructor)) void DetachLibrary() {
    OnProcessDetach();
}

}  // namespace
