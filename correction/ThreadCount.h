#pragma once

#include <cstdint>

// Threads of every row's parallel loop: 1 until the first Init, then what Init's
// GetProcessorCoreCount gave. Written and read on the host's thread only.
extern int32_t gThreadCount;

// The number of threads for a run: the number of physical cores, unless one of the markers
// "c:\1Core" ... "c:\8Core" exists (a file or a folder); the first in that order then gives its
// digit. A failed processor query gives a fixed count and no marker applies: 1 when the query is
// not available, 2 when its buffer cannot be allocated, 3 when it fails otherwise. Never below 1.
int GetProcessorCoreCount();
