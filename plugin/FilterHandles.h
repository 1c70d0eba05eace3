#pragma once

#include <cstdint>

// The two handles the host keeps for the filter between calls: the parameter
// handle (the record's parameters) and the data handle (the host's data slot).
// Both are written only; the correction runs on its own built-in settings.

struct FilterParameters {
    float value1;
    float value2;
    float value3;
    uint8_t spare[4];  // never written or read
};
static_assert(sizeof(FilterParameters) == 16);

struct FilterData {
    int16_t planes;
    int16_t depth;
};
static_assert(sizeof(FilterData) == 4);

// The locked blocks of the two handles, set by LockFilterHandles.
extern FilterParameters* gFilterParameters;
extern FilterData* gFilterData;

// Locks both handles; filterBadParameters when either is missing, memFullErr when
// a lock fails.
void LockFilterHandles();
void UnlockFilterHandles();
// Disposes whichever handle exists and forgets it.
void DisposeFilterHandles();

// The parameters selector: creates the missing handles and writes their defaults.
void DoParameters();
// The prepare selector: creates and fills the handles only when one is missing, and
// asks the host to reserve no memory beyond the image.
void DoPrepare();
