#pragma once

#include <stdexcept>
#include <string>

namespace vexo::hosttool {

// vexo-host's exit codes, so that scripts can tell a bad file from a failed run.
enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1,            // anything not covered below
    kExitUsage = 2,              // the command line makes no sense
    kExitBadInput = 3,           // the input is missing, unreadable or of an unsupported kind,
                                 // such as one with more channels than the plug-in corrects
    kExitPluginUnavailable = 4,  // the plug-in does not load, or lacks its entry or property list
    kExitPluginFailed = 5,       // the plug-in refused the image or its run failed
    kExitOutputFailed = 6,       // the output could not be written
    kExitOutOfMemory = 7,        // there was not enough memory, at whichever stage of the run
    kExitThreadsRefused = 8,     // the system refused the threads the correction runs on, such
                                 // as for the user's limit on processes (ulimit -u)
};

// A failure the user is told of in one line, with the exit code it ends with.
class ToolError : public std::runtime_error {
public:
    ToolError(ExitCode code, const std::string& message)
        : std::runtime_error(message), code_(code) {}
    ExitCode Code() const { return code_; }

private:
    ExitCode code_;
};

}  // namespace vexo::hosttool
