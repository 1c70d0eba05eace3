#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "tests/AddressSanitizer.h"
#include "tests/cli/ToolTestSupport.h"

namespace vexo::hosttool::testing {

struct ToolRun {
    int exitCode = -1;  // -1 when the tool did not exit normally
    int signal = 0;     // the signal that ended it, when one did
    std::string out;
    std::string err;
};

// How the tool is started, beyond its arguments.
struct ToolLaunch {
    struct User {
        uid_t uid;
        gid_t gid;
    };
    // Run as this user, with no other groups (needs root). The tool run is then a copy
    // that user can reach (see ReachableByOtherUsers).
    std::optional<User> user;
    std::vector<int> ignoredSignals;  // started with these ignored, as nohup starts a program
    std::optional<uint64_t> addressSpaceLimit;  // its address space may grow no further, in bytes
    std::optional<uint64_t> fileSizeLimit;      // bytes
    std::optional<int> standardInput;           // read from this descriptor, not /dev/null

    std::optional<uint64_t> processLimit;  // processes and threads its user may have (ulimit -u)
    std::vector<std::string> environment;  // NAME=VALUE settings beside the test's own
    bool errorReaderGone = false;          // standard error a pipe whose reader has closed it
};

// The built vexo-host, started with these arguments; its standard output and
// standard error are kept (neither is a terminal). One never waited for is killed.
class ToolProcess {
public:
    explicit ToolProcess(const std::vector<std::string>& args, const ToolLaunch& launch = {});
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    pid_t Pid() const { return pid_; }
    // What it has written to standard error so far (nothing, when its reader is gone).
    std::string ErrSoFar() const;
    ToolRun Wait();
    // Wait, for at most `limit`: nothing when the tool is still running then (it is
    // killed with this object). A guard for tests whose failure would be a hang.
    std::optional<ToolRun> WaitAtMost(std::chrono::milliseconds limit);

private:
    ToolRun Collect(int status);

    TempFolder streams_;
    std::string tool_;
    pid_t pid_ = -1;
};

// Where the built vexo-host is.
const char* ToolPath();

// Copies of the built vexo-host and plug-in, with the property list the tool reads
// beside the plug-in, in a folder under the temporary folder that every user may
// enter and none but its owner may change. Other users must run these: the checkout
// may sit where only its owner can reach it, as a clone in root's home does. Name
// the copy of the plug-in with --plugin, so that the same one runs wherever the
// checkout is. Made the first time it is asked for, removed as the test program ends.
struct ReachableBuild {
    std::string tool;
    std::string plugin;
};
const ReachableBuild& ReachableByOtherUsers();

// Runs the tool and waits for it.
ToolRun RunTool(const std::vector<std::string>& args, const ToolLaunch& launch = {});

// Whether a limit on the address space can apply to the tool at all: a build with
// AddressSanitizer reserves terabytes of it for its shadow memory as it starts.
constexpr bool kAddressSpaceCanBeLimited = !vexo::testbuild::kBuiltWithAddressSanitizer;

}  // namespace vexo::hosttool::testing
