#pragma once

#include <csignal>

namespace vexo::hosttool {

// Removes a file should the process end without running its destructors: by any
// signal whose default action ends it (SIGKILL, which cannot be caught, aside), or
// by exit() or quick_exit() called from wherever, a library among them. A signal
// is then raised again with its default action, so that whoever started the
// process still sees what ended it. A signal that the process was started with
// ignored (nohup's SIGHUP) stays ignored, and one that someone else handles is
// left to them. A SIGPIPE that the kernel sends for our own write to a pipe whose
// reader has gone ends nothing: that write fails with EPIPE instead, and only a
// failed write of the output matters. Up to eight files are watched at once; any
// more are not.
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

// Takes over those signals and ways out now rather than with the first watched
// file, so that a message written to a closed standard error before then cannot
// end the process either. Safe to call more than once.
void InstallRemovalOnSignal();

// Removes every watched file now. Async-signal-safe.
void RemoveWatchedFiles();

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
