#include "host/HostGlobals.h"

FilterRecord* gFilterRecord = nullptr;
intptr_t* gDataHandle = nullptr;
int16_t* gResult = nullptr;

// Outside a host call there is no word to write to; the code then has nowhere to go.
void StoreHostResult(OSErr code) {
    if (gResult != nullptr) {
        *gResult = code;
    }
}

void MergeHostResult(OSErr code) {
    if (gResult != nullptr) {
        *gResult = static_cast<int16_t>(*gResult | code);
    }
}
