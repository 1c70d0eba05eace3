#pragma once

// The loaded library (module) that holds a piece of code.
namespace vexo::platform {

// The module holding the address: an HMODULE on Windows, the load address
// elsewhere; null when the address belongs to no module.
void* ModuleContaining(const void* address);

// Keeps the module holding the address loaded until the process ends, whatever
// unloads the host makes. Returns whether it is pinned.
bool PinModuleContaining(const void* address);

}  // namespace vexo::platform
