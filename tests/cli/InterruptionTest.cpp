// A run ended from outside, by a plug-in that crashes as it loads, leaves no
// temporary file and every earlier file as it was.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/cli/ToolRunner.h"
#include "tests/cli/ToolTestSupport.h"
#include "tools/host/ImageFiles.h"

namespace vexo::hosttool {
namespace {

using testing::PatternImage;
using testing::TempFolder;

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

    void ExpectUntouched() const {
        EXPECT_EQ(folder.Names(), (std::vector<std::string>{"in.png", "out.png"}));
        EXPECT_EQ(testing::FileBytes(folder / "out.png"), earlierOutput);
    }
};

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
