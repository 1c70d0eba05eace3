// A run ended from outside, by a signal or by a plug-in that crashes as it
// loads, leaves no temporary file and every earlier file as it was.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/ToolRunner.h"
#include "tests/cli/ToolTestSupport.h"
#include "tools/host/ImageFiles.h"

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

class EndedBy : public ::testing::TestWithParam<int> {};

TEST_P(EndedBy, TheSignalAndLeavesNothingBehind) {
    const int signal = GetParam();
    const Scene scene;
    ToolProcess tool(scene.Correct(VEXO_STALLING_PLUGIN));
    ASSERT_TRUE(StallsMidRun(tool));
    ASSERT_TRUE(scene.HasTemporaryFile());

    kill(tool.Pid(), signal);
    const testing::ToolRun run = tool.Wait();
    EXPECT_EQ(run.signal, signal) << run.err;
    scene.ExpectUntouched();
}

INSTANTIATE_TEST_SUITE_P(Signals, EndedBy, ::testing::Values(SIGINT, SIGTERM, SIGHUP),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::string(sigabbrev_np(info.param));
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
