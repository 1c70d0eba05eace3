#pragma once

namespace vexo::hosttool {

// The waiting of the OpenMP runtime that the plug-in shares with this process, chosen for the
// process before the plug-in loads it, as a host chooses for its own: workers spin briefly
// between two rows, then sleep, so that a run stays fast on an idle machine and on a busy one.
// A choice the user made in the environment stays.
void ChooseRuntimeWaiting();

// The spin count chosen, in the runtime's units.
constexpr const char* kRuntimeSpinCount = "10000";

}  // namespace vexo::hosttool
