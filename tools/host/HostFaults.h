#pragma once

#include <cstdint>

#include "host/HostFilterInterface.h"

namespace vexo::filterhost {

// Every way our host can let a plug-in down, in one place. Call numbers count from
// 1, per callback, from the moment the faults are set (FilterHost::SetFaults), and
// 0 fails nothing; a failed call fails exactly once. Callbacks that answer with a
// code give failureCode; those that answer with a pointer give null.
struct HostFaults {
    int32_t failAllocationAt = 0;      // bufferProcs->allocateProc
    int32_t failBufferLockAt = 0;      // bufferProcs->lockProc
    int32_t failHandleCreationAt = 0;  // handleProcs->newProc
    int32_t failHandleLockAt = 0;      // handleProcs->lockProc
    int32_t failHandleResizeAt = 0;    // handleProcs->setSizeProc
    int32_t failPropertyAt = 0;        // propertyProcs->getPropertyProc and setPropertyProc
    int32_t failAdvanceStateAt = 0;    // advanceState
    // Every advanceState request whose requested planes include this one; -1: none.
    int32_t failAdvanceStateForPlane = -1;
    OSErr failureCode = memFullErr;

    // Suites and callbacks the record does not offer (null pointers in the record).
    bool noBufferSuite = false;
    bool noHandleSuite = false;
    bool noPropertySuite = false;
    bool noProgressProc = false;
    bool noAbortProc = false;
    bool noAdvanceState = false;
    // advanceState answers every request with noErr but hands out no tile: inData
    // and outData stay null.
    bool withholdTiles = false;
    // supportsPadding false: the paddings are ignored and a rect must lie inside the image.
    bool noPaddingSupport = false;

    // abortProc answers true: the user has asked to cancel.
    bool abortRequested = false;
};

}  // namespace vexo::filterhost
