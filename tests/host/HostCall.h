#pragma once

#include "host/HostGlobals.h"
#include "host/Progress.h"
#include "host/TrackedMemory.h"
#include "tools/host/FilterHost.h"

// Plays the entry's part for one test: the globals of the current call point at
// the filter host's record, data slot and result word. At the end whatever the test
// left listed is freed, while the host still exists, and the plug-in-wide state is
// back to how the library starts.
class HostCall {
public:
    explicit HostCall(vexo::filterhost::FilterHost& host) {
        gFilterRecord = host.Record();
        gDataHandle = host.DataSlot();
        gResult = host.ResultWord();
    }
    ~HostCall() {
        FreeAllAllocations();
        gFilterRecord = nullptr;
        gDataHandle = nullptr;
        gResult = nullptr;
        gProgressState = ProgressState{false, 0, 0};
    }
    HostCall(const HostCall&) = delete;
    HostCall& operator=(const HostCall&) = delete;
};
