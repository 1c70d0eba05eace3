#include <windows.h>

#include <gtest/gtest.h>

#include <string>

// A host process's end after a run of the plug-in's parallel runtime. By the time a DLL hears
// that its process ends, the system has ended every other thread, the runtime's sleeping workers
// among them; what the runtime does then must neither wait for them nor wake them. Each case is a
// process of its own (ExitingHost), watched from here.
namespace {

// Far longer than a process under Wine takes to start, run and end; only a hang reaches it.
constexpr DWORD kWatchdogMilliseconds = 30000;

struct ChildEnd {
    bool ended = false;
    DWORD exitCode = 0;
    std::string output;
};

// Runs ExitingHost MODE LIBRARY with its standard output into a pipe; a child that has not
// ended when the watchdog fires is killed.
ChildEnd RunExitingHost(const char* mode, const char* library) {
    ChildEnd end;
    SECURITY_ATTRIBUTES inheritable = {sizeof(inheritable), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        ADD_FAILURE() << "CreatePipe failed: " << GetLastError();
        return end;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string commandLine =
        std::string("\"") + VEXO_EXITING_HOST_FILE + "\" " + mode + " \"" + library + "\"";
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        ADD_FAILURE() << "cannot start " << commandLine << ": " << GetLastError();
        CloseHandle(readEnd);
        return end;
    }
    // The output is a few lines, well within the pipe's buffer: the child never waits for us.
    end.ended = WaitForSingleObject(process.hProcess, kWatchdogMilliseconds) == WAIT_OBJECT_0;
    if (!end.ended) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
    }
    GetExitCodeProcess(process.hProcess, &end.exitCode);
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        end.output.append(buffer, got);
    }
    CloseHandle(readEnd);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return end;
}

struct ExitCase {
    const char* mode;
    const char* library;
    const char* expectedOutput;
};

class HostProcessEnd : public testing::TestWithParam<ExitCase> {};

TEST_P(HostProcessEnd, EndsPromptlyAndAsTheRuntimeShould) {
    const ExitCase& c = GetParam();
    const ChildEnd end = RunExitingHost(c.mode, c.library);
    EXPECT_TRUE(end.ended) << "still running after " << kWatchdogMilliseconds << " ms";
    EXPECT_EQ(end.exitCode, 0u);
    EXPECT_EQ(end.output, c.expectedOutput);
}

INSTANTIATE_TEST_SUITE_P(
    Ends, HostProcessEnd,
    testing::Values(
        // The plug-in's workers sleep on condition variables when the host returns from main
        // or ends its process at once.
        ExitCase{"plugin-return", VEXO_PLUGIN_FILE, "corrected\n"},
        ExitCase{"plugin-exit-process", VEXO_PLUGIN_FILE, "corrected\n"},
        // When the process ends, the runtime's exit handler leaves everything to the system:
        // its registration is still there after it.
        ExitCase{"probe-exit", VEXO_RUNTIME_EXIT_PROBE_FILE,
                 "ran a region\nruntime still registered\n"},
        // When the library is unloaded, its workers are alive and the handler cleans up.
        ExitCase{"probe-unload", VEXO_RUNTIME_EXIT_PROBE_FILE,
                 "ran a region\nruntime unregistered\nunloaded\n"}),
    [](const testing::TestParamInfo<ExitCase>& info) {
        std::string name = info.param.mode;
        for (char& ch : name) {
            ch = ch == '-' ? '_' : ch;
        }
        return name;
    });

}  // namespace
