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
    std::optional<User> user;         // run as this user, with no other groups (needs root)
    std::vector<int> ignoredSignals;  // started with these ignored, as nohup starts a program
    std::optional<uint64_t> addressSpaceLimit;  // its address space may grow no further, in bytes
    std::optional<int> standardInput;           // read from this descriptor, not /dev/null
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
    // What it has written to standard error so far.
    std::string ErrSoFar() const;
    ToolRun Wait();
    // Wait, for at most `limit`: nothing when the tool is still running then (it is
    // killed with this object). A guard for tests whose failure would be a hang.
    std::optional<ToolRun> WaitAtMost(std::chrono::milliseconds limit);

private:
    ToolRun Collect(int status);

    TempFolder streams_;
    pid_t pid_ = -1;
};

// Where the built vexo-host is.
const char* ToolPath();

// Runs the tool and waits for it.
ToolRun RunTool(const std::vector<std::string>& args, const ToolLaunch& launch = {});

// Whether a limit on the address space can apply to the tool at all: a build with
// AddressSanitizer reserves terabytes of it for its shadow memory as it starts.
constexpr bool kAddressSpaceCanBeLimited = !vexo::testbuild::kBuiltWithAddressSanitizer;

}  // namespace vexo::hosttool::testing
