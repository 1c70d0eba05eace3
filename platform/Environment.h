#pragma once

#include <cstddef>
#include <cstdint>

// The process environment and the process's identity, for the one place that must look
// past the OpenMP runtime's interface (see correction/ParallelRuntime.cpp). No call
// allocates: they run inside a correction, whose allocations are counted.
namespace vexo::platform {

enum class EnvironmentRead {
    Found,    // value holds it, terminated
    Missing,  // the variable is not set
    TooLong,  // it is set, but does not fit in size bytes with its terminator
};

EnvironmentRead ReadEnvironmentValue(const char* name, char* value, size_t size);

// Sets the variable, or removes it when value is null.
void SetEnvironmentValue(const char* name, const char* value);

uint32_t CurrentProcessId();

}  // namespace vexo::platform
