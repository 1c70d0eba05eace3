#pragma once

#include <cstdint>

#include "host/HostFilterInterface.h"

// What the host passed to the current PluginMain call. The entry sets all three on
// entry to every call; the host adapter reaches the host through them. One set per
// loaded library, null at load, without locks: every call arrives on the host's
// thread.
extern FilterRecord* gFilterRecord;  // for the about selector, the AboutRecord
extern intptr_t* gDataHandle;        // the host's data slot, holding our data handle
extern int16_t* gResult;             // the call's result word

// Host failures travel through the result word alone. A data request stores the
// host's answer in it; an allocation merges its errors into what is there already.
void StoreHostResult(OSErr code);
void MergeHostResult(OSErr code);
