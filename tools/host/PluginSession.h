#pragma once

#include <cstdint>
#include <vector>

#include "host/HostFilterInterface.h"
#include "tools/host/FilterHost.h"
#include "tools/host/PluginLibrary.h"

namespace vexo::filterhost {

struct SelectorCall {
    // On the host's sequence, like its callback logs: the plug-in's callbacks during
    // this call lie between the two.
    uint64_t sequence = 0;
    uint64_t returnSequence = 0;
    int16_t selector = 0;
    OSErr result = noErr;
};

struct SessionOptions {
    // Hosts call parameters before the first run of a filter, and not on repeats.
    bool callParameters = true;
    // How many continue calls a run may take before the host gives up on it.
    int32_t maxContinueCalls = 100000;
};

struct SessionOutcome {
    // The first non-zero result word, or the host's own code when it could not
    // serve the rects a selector left; noErr when every call succeeded.
    OSErr result = noErr;
    // The selector that failed, or -1.
    int16_t failedSelector = -1;
    int32_t continueCalls = 0;
    bool continueLimitReached = false;
};

// Drives one plug-in entry point against a FilterHost as a host does, and records
// each call's selector and result word. The host's record, data slot and result
// word are used throughout, so that handles the plug-in keeps survive from call
// to call.
class PluginSession {
public:
    // Throws std::invalid_argument for a null entry (a library without that export).
    PluginSession(FilterHost& host, PluginEntry entry);

    // One call with a result word of 0; the about selector gets an AboutRecord.
    // Output that the plug-in left in the host's tile goes into the image afterwards.
    OSErr Call(int16_t selector);
    // The about selector, with window as the host's window in the PlatformData.
    OSErr CallAbout(intptr_t window = 0);

    // A whole run: parameters (when asked), prepare, start, continue for as long as
    // the plug-in leaves rects asking for data, finish. Stops at the first call
    // that fails; finish is then not called, as with a host.
    SessionOutcome Run(const SessionOptions& options = {});

    const std::vector<SelectorCall>& Calls() const { return calls_; }
    std::vector<int16_t> Selectors() const;
    std::vector<OSErr> Results() const;

private:
    OSErr Invoke(int16_t selector, void* record);

    FilterHost& host_;
    PluginEntry entry_;
    std::vector<SelectorCall> calls_;
};

}  // namespace vexo::filterhost
