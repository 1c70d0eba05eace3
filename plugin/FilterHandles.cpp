#include "plugin/FilterHandles.h"

#include "host/HostFilterInterface.h"
#include "host/HostGlobals.h"
#include "plugin/FilterRecordRules.h"

FilterParameters* gFilterParameters = nullptr;
FilterData* gFilterData = nullptr;

namespace {

constexpr float kDefaultParameter = 50.0f;

Handle DataHandle() {
    return reinterpret_cast<Handle>(*gDataHandle);
}

void SetDataHandle(Handle handle) {
    *gDataHandle = reinterpret_cast<intptr_t>(handle);
}

// A record without the handle suite, or a suite without the callback, cannot give
// what is asked of it: such calls fail like the host refusing them.
const HandleProcs* Suite() {
    return gFilterRecord->handleProcs;
}

Handle NewHandle(int32_t size) {
    const HandleProcs* procs = Suite();
    return (procs && procs->newProc) ? procs->newProc(size) : nullptr;
}

void DisposeHandle(Handle handle) {
    const HandleProcs* procs = Suite();
    if (procs && procs->disposeProc) {
        procs->disposeProc(handle);
    }
}

Ptr LockHandle(Handle handle) {
    const HandleProcs* procs = Suite();
    return (procs && procs->lockProc) ? procs->lockProc(handle, true) : nullptr;
}

void UnlockHandle(Handle handle) {
    const HandleProcs* procs = Suite();
    if (procs && procs->unlockProc) {
        procs->unlockProc(handle);
    }
}

void WriteDefaults() {
    gFilterParameters->value1 = kDefaultParameter;
    gFilterParameters->value2 = kDefaultParameter;
    gFilterParameters->value3 = kDefaultParameter;
    const FilterRecord& record = *gFilterRecord;
    gFilterData->planes = FilteredPlaneCount(record);
    const int16_t depth = static_cast<int16_t>(record.depth);
    gFilterData->depth = depth == 0 ? 8 : depth;
}

// Creates whichever handle is missing, then fills both; on failure nothing is left.
void CreateAndFillHandles() {
    FilterRecord& record = *gFilterRecord;
    if (!record.parameters) {
        record.parameters = NewHandle(sizeof(FilterParameters));
        if (!record.parameters) {
            *gResult = memFullErr;
        }
    }
    if (!DataHandle()) {
        Handle data = NewHandle(sizeof(FilterData));
        if (data) {
            SetDataHandle(data);
        } else {
            *gResult = memFullErr;
        }
    }
    if (*gResult == noErr) {
        LockFilterHandles();
        if (*gResult == noErr) {
            WriteDefaults();
        }
    } else {
        DisposeFilterHandles();
    }
}

}  // namespace

void LockFilterHandles() {
    FilterRecord& record = *gFilterRecord;
    if (!record.parameters || !DataHandle()) {
        *gResult = filterBadParameters;
        return;
    }
    gFilterParameters = reinterpret_cast<FilterParameters*>(LockHandle(record.parameters));
    gFilterData = reinterpret_cast<FilterData*>(LockHandle(DataHandle()));
    if (!gFilterParameters || !gFilterData) {
        *gResult = memFullErr;
    }
}

void UnlockFilterHandles() {
    if (Handle data = DataHandle()) {
        UnlockHandle(data);
    }
    if (Handle parameters = gFilterRecord->parameters) {
        UnlockHandle(parameters);
    }
}

void DisposeFilterHandles() {
    FilterRecord& record = *gFilterRecord;
    if (record.parameters) {
        DisposeHandle(record.parameters);
        record.parameters = nullptr;
    }
    if (Handle data = DataHandle()) {
        DisposeHandle(data);
        SetDataHandle(nullptr);
    }
    // The blocks went with their handles.
    gFilterParameters = nullptr;
    gFilterData = nullptr;
}

void DoParameters() {
    CreateAndFillHandles();
}

void DoPrepare() {
    if (DataHandle() && gFilterRecord->parameters) {
        LockFilterHandles();
    } else {
        CreateAndFillHandles();
    }
    gFilterRecord->bufferSpace = 0;
}
