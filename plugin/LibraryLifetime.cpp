#include "plugin/LibraryLifetime.h"

#include "platform/Platform.h"
#include "plugin/PluginModule.h"

uint32_t gLastRunEnd = 0;

namespace {

constexpr uint32_t kUnloadDelayMilliseconds = 1000;

}  // namespace

void OnProcessAttach(void* module) {
    vexo::platform::DebugOutput("DllMain() DLL_PROCESS_ATTACH\n");
    gModuleHandle = module;
    gLastRunEnd = 0;
}

void OnProcessDetach() {
    vexo::platform::DebugOutput("DllMain() DLL_PROCESS_DETACH\n");
    if (gLastRunEnd != 0) {
        // Unsigned arithmetic keeps the difference right across a wrap of the counter.
        const uint32_t elapsed = vexo::platform::TickCount() - gLastRunEnd;
        if (elapsed < kUnloadDelayMilliseconds) {
            vexo::platform::SleepMilliseconds(kUnloadDelayMilliseconds - elapsed);
        }
    }
    gLastRunEnd = 0;
    gModuleHandle = nullptr;
}

void OnThreadAttach() {
    vexo::platform::DebugOutput("DllMain() DLL_THREAD_ATTACH\n");
}

void OnThreadDetach() {
    vexo::platform::DebugOutput("DllMain() DLL_THREAD_DETACH\n");
}

void OnUnknownNotification() {
    vexo::platform::DebugOutput("DllMain() default case encountered\n");
}
