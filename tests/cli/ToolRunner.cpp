#include "tests/cli/ToolRunner.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "tests/cli/ToolTestSupport.h"

extern char** environ;

namespace vexo::hosttool::testing {
namespace {

// The child's exit code when it could not become the tool; vexo-host never uses it.
constexpr int kCannotStart = 127;

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace

ToolRun RunTool(const std::vector<std::string>& args, std::optional<uint64_t> addressSpaceLimit) {
    TempFolder streams;
    const std::string outPath = streams / "stdout";
    const std::string errPath = streams / "stderr";
    std::vector<std::string> all = {VEXO_HOST_TOOL};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);

    // Everything is made ready before the fork: the child only calls what is safe
    // between fork and exec.
    const rlim_t limit = addressSpaceLimit.value_or(RLIM_INFINITY);
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error(std::string("cannot start ") + argv[0]);
    }
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const rlimit addressSpace{limit, limit};
        if (in < 0 || out < 0 || err < 0 || dup2(in, STDIN_FILENO) < 0 ||
            dup2(out, STDOUT_FILENO) < 0 || dup2(err, STDERR_FILENO) < 0 ||
            (addressSpaceLimit && setrlimit(RLIMIT_AS, &addressSpace) != 0)) {
            _exit(kCannotStart);
        }
        execve(argv[0], argv.data(), environ);
        _exit(kCannotStart);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (run.exitCode == kCannotStart) {
        throw std::runtime_error(std::string("cannot start ") + argv[0]);
    }
    run.out = ReadText(outPath);
    run.err = ReadText(errPath);
    return run;
}

}  // namespace vexo::hosttool::testing
