#include "plugin/PluginMain.h"

#include "host/HostFilterInterface.h"
#include "host/HostGlobals.h"
#include "host/TrackedMemory.h"
#include "platform/Module.h"
#include "platform/Platform.h"
#include "plugin/AboutBox.h"
#include "plugin/FilterHandles.h"
#include "plugin/FilterRecordRules.h"
#include "plugin/StartHandler.h"

namespace {

void DoAbout(void* record) {
    const auto* about = static_cast<const AboutRecord*>(record);
    const auto* platform = static_cast<const PlatformData*>(about->platformData);
    void* owner = platform ? reinterpret_cast<void*>(platform->hwnd) : nullptr;
    const intptr_t shown = ShowAboutBox(owner);
    if (shown == 0 || shown == -1) {
        vexo::platform::ShowErrorMessage("Could not display About window", "Plug-In - ERROR");
    }
    *gResult = noErr;
}

// After any failed call nothing of the filter's may stay behind: no working
// memory, no handles, no pending data request.
void CleanUpAfterError() {
    LockFilterHandles();
    FreeAllAllocations();
    UnlockFilterHandles();
    DisposeFilterHandles();
    ClearRequestRects(*gFilterRecord);
}

// The OpenMP runtime's worker threads outlive an unload of the library and would
// then run in unmapped code: once loaded, the library stays until the process ends.
void KeepLibraryLoaded() {
    static bool pinned = false;
    if (!pinned) {
        pinned = vexo::platform::PinModuleContaining(reinterpret_cast<const void*>(&PluginMain));
    }
}

}  // namespace

extern "C" void PluginMain(int16_t selector, void* record, intptr_t* data, int16_t* result) {
    // Without a result word or a record there is nobody to answer and nothing to read.
    if (!result) {
        return;
    }
    if (!record || !data) {
        *result = filterBadParameters;
        return;
    }
    KeepLibraryLoaded();
    gFilterRecord = static_cast<FilterRecord*>(record);
    gDataHandle = data;
    gResult = result;

    switch (selector) {
        case filterSelectorAbout:
            DoAbout(record);
            return;  // the about record is no filter record: nothing to clean up
        case filterSelectorParameters:
            DoParameters();
            UnlockFilterHandles();
            break;
        case filterSelectorPrepare:
            DoPrepare();
            UnlockFilterHandles();
            break;
        case filterSelectorStart:
            LockFilterHandles();
            DoStart();
            UnlockFilterHandles();
            break;
        case filterSelectorContinue:
            ClearRequestRects(*gFilterRecord);
            break;
        case filterSelectorFinish:
            LockFilterHandles();
            FreeAllAllocations();
            UnlockFilterHandles();
            DisposeFilterHandles();
            break;
        default:
            *gResult = filterBadParameters;
            break;
    }
    if (*gResult != noErr) {
        CleanUpAfterError();
    }
}
