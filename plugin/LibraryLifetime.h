#pragma once

#include <cstdint>

// Tick count (milliseconds) at the end of the last successful correction; 0 when
// there is no run to wait for.
extern uint32_t gLastRunEnd;

// The library's load and unload work, called by the system's notifications
// (DllMain on Windows, the shared library's constructor and destructor elsewhere).
// Each writes its line to the debugger.
void OnProcessAttach(void* module);
// Keeps the library loaded until at least 1000 ms after the last successful run.
void OnProcessDetach();
void OnThreadAttach();
void OnThreadDetach();
void OnUnknownNotification();
