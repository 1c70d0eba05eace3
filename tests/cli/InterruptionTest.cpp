// A run ended before its time, by a signal from outside, a fault or an exit in
// the plug-in, or a limit on the file it writes, leaves no temporary file and
// every earlier file as it was; one whose progress reader goes away carries on.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/ToolRunner.h"
#include "tests/cli/ToolTestSupport.h"
#include "tools/host/ImageFiles.h"
#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

using testing::PatternImage;
using testing::TempFolder;
using testing::ToolProcess;

// A folder with an input and an earlier output, which must both survive.
struct Scene {
    TempFolder folder;
    std::vector<uint8_t> earlierOutput;

    Scene() {
        WriteImage(folder / "in.png", PatternImage(FileFormat::Png, ColourModel::Rgb, 0, 8));
        WriteImage(folder / "out.png",
                   PatternImage(FileFormat::Png, ColourModel::Gray, 0, 8, 32, 32));
        earlierOutput = testing::FileBytes(folder / "out.png");
    }

    std::vector<std::string> Correct(const char* plugin) const {
        return {"correct", "-q", "--plugin", plugin, folder / "in.png", folder / "out.png"};
    }

    bool HasTemporaryFile() const {
        for (const std::string& name : folder.Names()) {
            if (name.starts_with(".out.png.vexo-")) {
                return true;
            }
        }
        return false;
    }

    void ExpectUntouched() const {
        EXPECT_EQ(folder.Names(), (std::vector<std::string>{"in.png", "out.png"}));
        EXPECT_EQ(testing::FileBytes(folder / "out.png"), earlierOutput);
    }
};

// Waits, for at most half a minute, until the stalling plug-in says it has
// stalled: then the tool is in the middle of its run, its temporary file made.
::testing::AssertionResult StallsMidRun(const ToolProcess& tool) {
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < giveUp) {
        if (tool.ErrSoFar().find("stalling in the start call") != std::string::npos) {
            return ::testing::AssertionSuccess();
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ::testing::AssertionFailure() << "the run never stalled: " << tool.ErrSoFar();
}

// The sanitizer's own handlers report these and exit; ours leaves them to it.
bool HandledByTheSanitizer(int signal) {
    return vexo::testbuild::kBuiltWithAddressSanitizer &&
           (signal == SIGSEGV || signal == SIGBUS || signal == SIGFPE);
}

class EndedBy : public ::testing::TestWithParam<int> {};

TEST_P(EndedBy, TheSignalAndLeavesNothingBehind) {
    const int signal = GetParam();
    if (HandledByTheSanitizer(signal)) {
        GTEST_SKIP() << "the sanitizer handles " << sigabbrev_np(signal) << " in this build";
    }
    const Scene scene;
    ToolProcess tool(scene.Correct(VEXO_STALLING_PLUGIN));
    ASSERT_TRUE(StallsMidRun(tool));
    ASSERT_TRUE(scene.HasTemporaryFile());

    kill(tool.Pid(), signal);
    const testing::ToolRun run = tool.Wait();
    EXPECT_EQ(run.signal, signal) << run.err;
    scene.ExpectUntouched();
}

std::string SignalName(int signal) {
    if (signal == SIGRTMIN) {
        return "RTMIN";
    }
    if (signal == SIGRTMAX) {
        return "RTMAX";
    }
    if (signal > SIGRTMIN && signal < SIGRTMAX) {
        return "RTMIN" + std::to_string(signal - SIGRTMIN);
    }
    return sigabbrev_np(signal);
}

// Every signal whose default action ends the process, but SIGKILL, which cannot be
// caught: a SIGPIPE among them, sent by kill rather than by a write to a closed pipe.
INSTANTIATE_TEST_SUITE_P(
    Signals, EndedBy,
    ::testing::Values(SIGHUP, SIGINT, SIGQUIT, SIGILL, SIGTRAP, SIGABRT, SIGBUS, SIGFPE, SIGUSR1,
                      SIGSEGV, SIGUSR2, SIGPIPE, SIGALRM, SIGTERM, SIGSTKFLT, SIGXCPU, SIGXFSZ,
                      SIGVTALRM, SIGPROF, SIGIO, SIGPWR, SIGSYS, SIGRTMIN, SIGRTMIN + 1, SIGRTMAX),
    [](const ::testing::TestParamInfo<int>& info) { return SignalName(info.param); });

// A fault of the plug-in's own, in the middle of the run, is a signal raised in
// the faulting thread: with its handler run, the fault ends the process.
struct FaultCase {
    const char* name;
    const char* plugin;
};

class FaultInThePlugin : public ::testing::TestWithParam<FaultCase> {};

TEST_P(FaultInThePlugin, EndsTheRunWithItsSignalAndLeavesNothingBehind) {
    if (HandledByTheSanitizer(SIGSEGV)) {
        GTEST_SKIP() << "the sanitizer handles SEGV in this build";
    }
    rlimit stack{};
    getrlimit(RLIMIT_STACK, &stack);
    if (stack.rlim_cur == RLIM_INFINITY) {
        GTEST_SKIP() << "the tool's stack may grow without limit here";
    }
    const Scene scene;
    const testing::ToolRun run = testing::RunTool(scene.Correct(GetParam().plugin));
    EXPECT_EQ(run.signal, SIGSEGV) << run.err;
    scene.ExpectUntouched();
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultInThePlugin,
                         ::testing::Values(FaultCase{"WriteThroughNull", VEXO_FAULTING_PLUGIN},
                                           FaultCase{"StackOverflow", VEXO_OVERFLOWING_PLUGIN}),
                         [](const ::testing::TestParamInfo<FaultCase>& info) {
                             return std::string(info.param.name);
                         });

// The tool never exits while the plug-in runs: an exit then is the plug-in's, or a
// library's under it. quick_exit skips exit's handlers, and keeps its status.
TEST(Interruption, AnExitFromInsideThePluginLeavesNothingBehindAndSaysSo) {
    const Scene scene;
    const testing::ToolRun run = testing::RunTool(scene.Correct(VEXO_EXITING_PLUGIN));
    EXPECT_EQ(run.exitCode, kExitPluginFailed) << run.err;
    EXPECT_EQ(
        run.err,
        "vexo-host: the plug-in ended the process in the middle of its run (exit status 3)\n");
    scene.ExpectUntouched();

    const testing::ToolRun quick = testing::RunTool(scene.Correct(VEXO_QUICK_EXITING_PLUGIN));
    EXPECT_EQ(quick.exitCode, 3) << quick.err;
    scene.ExpectUntouched();
}

// A limit on the size of the files it writes ends the run with SIGXFSZ, part of
// the output written.
TEST(Interruption, AFileSizeLimitEndsTheRunWithItsSignalAndLeavesNothingBehind) {
    Scene scene;
    WriteImage(scene.folder / "in.png",
               PatternImage(FileFormat::Png, ColourModel::Rgb, 0, 16, 128, 96));
    testing::ToolLaunch launch;
    launch.fileSizeLimit = 4096;
    ASSERT_GT(testing::FileBytes(scene.folder / "in.png").size(), 2 * *launch.fileSizeLimit);
    const testing::ToolRun run = testing::RunTool(scene.Correct(VEXO_PLUGIN), launch);
    EXPECT_EQ(run.signal, SIGXFSZ) << run.err;
    scene.ExpectUntouched();
}

// As `vexo-host correct in.png out.png 2>&1 | head -c 10`: the progress reader goes
// away early. A write to a closed pipe must not end the run, its exit code is the
// run's own, and a run that failed still leaves nothing behind.
struct ReaderGoneCase {
    const char* name;
    const char* plugin;
    bool inputThere;
    int exitCode;
};

class ReaderGone : public ::testing::TestWithParam<ReaderGoneCase> {};

TEST_P(ReaderGone, TheRunCarriesOnToItsOwnEnd) {
    const ReaderGoneCase& c = GetParam();
    const Scene scene;
    if (!c.inputThere) {
        std::filesystem::remove(scene.folder / "in.png");
    }
    testing::ToolLaunch launch;
    launch.errorReaderGone = true;
    // Not quiet: progress goes to the closed pipe, and so does any message.
    const testing::ToolRun run = testing::RunTool(
        {"correct", "--plugin", c.plugin, scene.folder / "in.png", scene.folder / "out.png"},
        launch);
    EXPECT_EQ(run.signal, 0);
    EXPECT_EQ(run.exitCode, c.exitCode);
    const std::vector<std::string> expectedNames =
        c.inputThere ? std::vector<std::string>{"in.png", "out.png"}
                     : std::vector<std::string>{"out.png"};
    EXPECT_EQ(scene.folder.Names(), expectedNames);
    const bool replaced = testing::FileBytes(scene.folder / "out.png") != scene.earlierOutput;
    EXPECT_EQ(replaced, c.exitCode == kExitOk);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderGone,
    ::testing::Values(ReaderGoneCase{"Corrects", VEXO_PLUGIN, true, kExitOk},
                      ReaderGoneCase{"PluginFails", VEXO_FAILING_PLUGIN, true, kExitPluginFailed},
                      ReaderGoneCase{"InputMissing", VEXO_PLUGIN, false, kExitBadInput}),
    [](const ::testing::TestParamInfo<ReaderGoneCase>& info) {
        return std::string(info.param.name);
    });

// Under nohup a hang-up must not end the run. Both signals sent, the hang-up
// first: had it not been ignored, it would have been taken first and ended it.
TEST(Interruption, ASignalIgnoredWhenTheToolStartsStaysIgnored) {
    const Scene scene;
    testing::ToolLaunch nohup;
    nohup.ignoredSignals = {SIGHUP};
    ToolProcess tool(scene.Correct(VEXO_STALLING_PLUGIN), nohup);
    ASSERT_TRUE(StallsMidRun(tool));
    kill(tool.Pid(), SIGHUP);
    kill(tool.Pid(), SIGTERM);
    const testing::ToolRun run = tool.Wait();
    EXPECT_EQ(run.signal, SIGTERM) << run.err;
    scene.ExpectUntouched();
}

// The plug-in is loaded before the temporary file is made, so that there is none
// when a damaged library takes the process down inside the system's loader.
TEST(Interruption, APluginThatCrashesAsItLoadsLeavesNothingBehind) {
    const Scene scene;
    const testing::ToolRun run = testing::RunTool(scene.Correct(VEXO_CRASHING_PLUGIN));
    EXPECT_NE(run.exitCode, 0) << run.err;
    scene.ExpectUntouched();
}

}  // namespace
}  // namespace vexo::hosttool
