#pragma once

#include <csignal>

namespace vexo::hosttool {

// Removes a file should the process be ended by SIGINT, SIGTERM or SIGHUP (Ctrl-C,
// kill, a closed terminal), which end it without running any destructor. The
// signal is then raised again with its default action, so that whoever started
// the process still sees what ended it. A signal that the process was started
// with ignored (nohup's SIGHUP) stays ignored, and one that someone else handles
// is left to them. Up to eight files are watched at once; any more are not.
class RemovalOnSignal {
public:
    // Watches path, which must stay unchanged in memory while this object lives.
    explicit RemovalOnSignal(const char* path);
    ~RemovalOnSignal();
    RemovalOnSignal(const RemovalOnSignal&) = delete;
    RemovalOnSignal& operator=(const RemovalOnSignal&) = delete;

private:
    int slot_;
};

// Holds off those signals in the calling thread while it lives, so that none
// lands between making a file and watching it.
class EndingSignalsHeldOff {
public:
    EndingSignalsHeldOff();
    ~EndingSignalsHeldOff();
    EndingSignalsHeldOff(const EndingSignalsHeldOff&) = delete;
    EndingSignalsHeldOff& operator=(const EndingSignalsHeldOff&) = delete;

private:
    sigset_t previous_;
};

}  // namespace vexo::hosttool
