#pragma once

#include <functional>

namespace vexo::hosttool {

// While it lives, an exit() made from inside the plug-in's run ends the tool our
// way: the watched files removed, our own line saying why, and a documented code.
// The tool itself never exits while the plug-in runs, so such an exit comes from
// the plug-in or a library under it; the usual one is the parallel runtime, which
// prints a line of its own and exits with 1 when the system refuses it a thread.
// That cause is told by trying again: not enough address space for a thread's
// stack is not enough memory (kExitOutOfMemory), a thread refused otherwise is
// kExitThreadsRefused (the user's process limit named when there is one). Any
// other exit is the plug-in failing (kExitPluginFailed), its status given. Only
// one may live at a time.
class ExitDuringRun {
public:
    // beforeOurLine runs first, as an exit leaves it: to end a progress bar's line.
    explicit ExitDuringRun(std::function<void()> beforeOurLine);
    ~ExitDuringRun();
    ExitDuringRun(const ExitDuringRun&) = delete;
    ExitDuringRun& operator=(const ExitDuringRun&) = delete;

private:
    std::function<void()> beforeOurLine_;
};

}  // namespace vexo::hosttool
