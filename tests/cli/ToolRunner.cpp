#include "tests/cli/ToolRunner.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>

#include "tools/host/PluginLibrary.h"

extern char** environ;

namespace vexo::hosttool::testing {
namespace {

// The child's exit code when it could not become the tool; vexo-host never uses it.
constexpr int kCannotStart = 127;

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void SetLimit(int resource, uint64_t value) {
    const rlimit limit{value, value};
    if (setrlimit(resource, &limit) != 0) {
        _exit(kCannotStart);
    }
}

// In the forked child, where only async-signal-safe calls belong.
[[noreturn]] void StartInChild(char* const* argv, char* const* envp, const char* outPath,
                               const char* errPath, const ToolLaunch& launch) {
    const auto redirect = [](int target, const char* path, int flags) {
        const int fd = open(path, flags, 0600);
        if (fd < 0 || dup2(fd, target) < 0) {
            _exit(kCannotStart);
        }
        close(fd);
    };
    if (launch.standardInput) {
        if (*launch.standardInput != STDIN_FILENO &&
            dup2(*launch.standardInput, STDIN_FILENO) < 0) {
            _exit(kCannotStart);
        }
    } else {
        redirect(STDIN_FILENO, "/dev/null", O_RDONLY);
    }
    redirect(STDOUT_FILENO, outPath, O_WRONLY | O_CREAT | O_TRUNC);
    if (launch.errorReaderGone) {
        int ends[2];
        if (pipe(ends) != 0 || close(ends[0]) != 0 || dup2(ends[1], STDERR_FILENO) < 0) {
            _exit(kCannotStart);
        }
        close(ends[1]);
    } else {
        redirect(STDERR_FILENO, errPath, O_WRONLY | O_CREAT | O_TRUNC);
    }
    // A tool ended by a signal leaves no core behind in the test's folder.
    SetLimit(RLIMIT_CORE, 0);
    // As from a shell with job control, whatever the test itself was started with.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    for (int signal = 1; signal < NSIG; ++signal) {
        struct sigaction standard {};
        standard.sa_handler = SIG_DFL;
        sigaction(signal, &standard, nullptr);
    }
    for (const int signal : launch.ignoredSignals) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigaction(signal, &ignore, nullptr);
    }
    if (launch.addressSpaceLimit) {
        SetLimit(RLIMIT_AS, *launch.addressSpaceLimit);
    }
    if (launch.fileSizeLimit) {
        SetLimit(RLIMIT_FSIZE, *launch.fileSizeLimit);
    }
    if (launch.processLimit) {
        SetLimit(RLIMIT_NPROC, *launch.processLimit);
    }
    if (launch.user && (setgroups(0, nullptr) != 0 || setgid(launch.user->gid) != 0 ||
                        setuid(launch.user->uid) != 0)) {
        _exit(kCannotStart);
    }
    execve(argv[0], argv, envp);
    _exit(kCannotStart);
}

}  // namespace

ToolProcess::ToolProcess(const std::vector<std::string>& args, const ToolLaunch& launch) {
    const std::string outPath = streams_ / "stdout";
    const std::string errPath = streams_ / "stderr";
    std::vector<std::string> all = {launch.user ? ReachableByOtherUsers().tool : ToolPath()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& arg : all) {
        argv.push_back(arg.data());
    }
    argv.push_back(nullptr);
    // The launch's settings first: the first of a name is the one a program reads.
    std::vector<std::string> settings = launch.environment;
    std::vector<char*> envp;
    for (std::string& setting : settings) {
        envp.push_back(setting.data());
    }
    for (char** setting = environ; *setting; ++setting) {
        envp.push_back(*setting);
    }
    envp.push_back(nullptr);

    tool_ = all.front();
    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("cannot start " + tool_);
    }
    if (pid_ == 0) {
        StartInChild(argv.data(), envp.data(), outPath.c_str(), errPath.c_str(), launch);
    }
}

ToolProcess::~ToolProcess() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::string ToolProcess::ErrSoFar() const {
    return ReadText(streams_ / "stderr");
}

ToolRun ToolProcess::Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    return Collect(status);
}

std::optional<ToolRun> ToolProcess::WaitAtMost(std::chrono::milliseconds limit) {
    const auto giveUp = std::chrono::steady_clock::now() + limit;
    while (true) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            return Collect(status);
        }
        if (std::chrono::steady_clock::now() >= giveUp) {
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

ToolRun ToolProcess::Collect(int status) {
    pid_ = -1;
    ToolRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    if (run.exitCode == kCannotStart) {
        throw std::runtime_error("cannot start " + tool_);
    }
    run.out = ReadText(streams_ / "stdout");
    run.err = ReadText(streams_ / "stderr");
    return run;
}

const char* ToolPath() {
    return VEXO_HOST_TOOL;
}

const ReachableBuild& ReachableByOtherUsers() {
    namespace fs = std::filesystem;
    static const TempFolder folder;
    static const ReachableBuild copies = [] {
        constexpr fs::perms readable = fs::perms::owner_read | fs::perms::owner_write |
                                       fs::perms::group_read | fs::perms::others_read;
        constexpr fs::perms runnable =
            readable | fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec;
        fs::permissions(folder.Path(), runnable);
        // Modes of their own: a build made under a umask of 077 keeps its files to its owner.
        const auto copy = [](const fs::path& from, fs::perms mode) {
            const fs::path to = folder.Path() / from.filename();
            fs::copy_file(from, to);
            fs::permissions(to, mode);
            return to.string();
        };
        const std::string plugin = VEXO_BUILT_PLUGIN;
        const std::string propertyList = filterhost::PluginLibrary::PropertyListFileBeside(plugin);
        if (fs::exists(propertyList)) {
            copy(propertyList, readable);
        }
        return ReachableBuild{copy(ToolPath(), runnable), copy(plugin, readable)};
    }();
    return copies;
}

ToolRun RunTool(const std::vector<std::string>& args, const ToolLaunch& launch) {
    return ToolProcess(args, launch).Wait();
}

}  // namespace vexo::hosttool::testing
