#pragma once

#include <cstdint>

#include "framework/Export.h"

// The one entry point through which the host drives the filter, a selector per
// stage: about, parameters, prepare, start, continue, finish.
extern "C" VEXO_EXPORT void PluginMain(int16_t selector, void* record, intptr_t* data,
                                       int16_t* result);
