// When the system refuses the threads the correction runs on, the parallel
// runtime says so in a line of its own and exits from inside the plug-in's run.
// The tool then names the cause in a line of its own, ends with that cause's
// code, and leaves nothing behind.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "tests/cli/ToolRunner.h"
#include "tests/cli/ToolTestSupport.h"
#include "tools/host/ImageFiles.h"
#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

using testing::PatternImage;
using testing::TempFolder;

// A user of these tests alone: a limit on processes counts every process of the
// user, so another test's processes under a shared user would change the count.
constexpr uid_t kLoneUser = 61357;

// The plug-in starts threads only on a machine of more than one core.
bool PluginRunsOnSeveralThreads() {
    const platform::CoreQueryResult cores = platform::QueryPhysicalCores();
    return cores.status == platform::CoreQueryStatus::Ok && cores.cores >= 2;
}

struct RefusalCase {
    const char* name;
    std::function<void(testing::ToolLaunch&)> limit;
    int exitCode;
    const char* message;  // our line, the last one
    bool limitsTheAddressSpace;
};

const RefusalCase kCases[] = {
    {"AddressSpaceForTheirStacks",
     [](testing::ToolLaunch& launch) {
         // Room for the run, none for a worker's stack.
         launch.addressSpaceLimit = uint64_t{512} << 20;
         launch.environment = {"OMP_STACKSIZE=1G"};
     },
     kExitOutOfMemory,
     "vexo-host: not enough memory for the threads the correction runs on (each takes 1024 MiB "
     "of address space for its stack)\n",
     true},
    {"UsersProcessLimit", [](testing::ToolLaunch& launch) { launch.processLimit = 1; },
     kExitThreadsRefused,
     "vexo-host: the system refused the threads the correction runs on: its user is at its "
     "limit of processes and threads (ulimit -u: 1)\n",
     false},
};

class ThreadsRefused : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ThreadsRefused, SaysWhyWithItsCodeAndLeavesNothingBehind) {
    const RefusalCase& c = GetParam();
    if (c.limitsTheAddressSpace && !testing::kAddressSpaceCanBeLimited) {
        GTEST_SKIP() << "the address space of a sanitized build cannot be limited";
    }
    if (!PluginRunsOnSeveralThreads()) {
        GTEST_SKIP() << "the plug-in runs on one thread on this machine";
    }
    testing::ToolLaunch launch;
    c.limit(launch);
    // Root's processes know no limit: the tool then runs as a user whom the limit binds,
    // with a plug-in that user can reach.
    std::string plugin = VEXO_PLUGIN;
    if (geteuid() == 0) {
        launch.user = testing::ToolLaunch::User{kLoneUser, kLoneUser};
        plugin = testing::ReachableByOtherUsers().plugin;
    }

    TempFolder folder;
    WriteImage(folder / "in.png", PatternImage(FileFormat::Png, ColourModel::Rgb, 0, 8));
    WriteImage(folder / "out.png", PatternImage(FileFormat::Png, ColourModel::Gray, 0, 8, 32, 32));
    const std::vector<std::string> before = folder.Names();
    const std::vector<uint8_t> earlierOutput = testing::FileBytes(folder / "out.png");
    if (launch.user) {
        for (const std::string& name : before) {
            ASSERT_EQ(chown((folder / name).c_str(), kLoneUser, kLoneUser), 0) << name;
        }
        ASSERT_EQ(chown(folder.Path().c_str(), kLoneUser, kLoneUser), 0);
    }

    const testing::ToolRun run = testing::RunTool(
        {"correct", "-q", "--plugin", plugin, folder / "in.png", folder / "out.png"}, launch);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    ASSERT_GE(run.err.size(), std::strlen(c.message)) << run.err;
    EXPECT_EQ(run.err.substr(run.err.size() - std::strlen(c.message)), c.message) << run.err;
    EXPECT_EQ(folder.Names(), before);
    EXPECT_EQ(testing::FileBytes(folder / "out.png"), earlierOutput);
}

INSTANTIATE_TEST_SUITE_P(Limits, ThreadsRefused, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RefusalCase>& info) {
                             return std::string(info.param.name);
                         });

// However little memory there is, a run that gets as far as telling a missing
// input from a present one either corrects the image or says there was not
// enough memory, with that code, whichever stage ran short: reading, the host's
// data for the plug-in, the runtime's threads, writing. Limits from that least
// one up, until a run succeeds. A megapixel, so that each stage's memory is of
// some size beside the step.
TEST(AddressSpaceLimit, EveryRunSucceedsOrSaysThereWasNotEnoughMemory) {
    if (!testing::kAddressSpaceCanBeLimited) {
        GTEST_SKIP() << "the address space of a sanitized build cannot be limited";
    }
    constexpr uint64_t kStep = 256 << 10;
    constexpr uint64_t kMost = uint64_t{1} << 30;
    TempFolder folder;
    WriteImage(folder / "in.png",
               PatternImage(FileFormat::Png, ColourModel::Gray, 0, 8, 1024, 1024));
    WriteImage(folder / "out.png", PatternImage(FileFormat::Png, ColourModel::Gray, 0, 8, 32, 32));
    const std::vector<uint8_t> earlierOutput = testing::FileBytes(folder / "out.png");
    const auto correct = [&](const char* input, uint64_t limit) {
        testing::ToolLaunch launch;
        launch.addressSpaceLimit = limit;
        return testing::RunTool({"correct", "-q", folder / input, folder / "out.png"}, launch);
    };

    uint64_t limit = 4 << 20;
    for (;; limit += kStep) {
        ASSERT_LT(limit, kMost) << "the tool never told a missing input";
        try {
            if (correct("missing.png", limit).exitCode == kExitBadInput) {
                break;
            }
        } catch (const std::runtime_error&) {
            // Too little for the system to start it at all.
        }
    }
    for (;; limit += kStep) {
        ASSERT_LT(limit, kMost) << "no run succeeded";
        const testing::ToolRun run = correct("in.png", limit);
        if (run.exitCode == kExitOk) {
            EXPECT_NE(testing::FileBytes(folder / "out.png"), earlierOutput);
            break;
        }
        ASSERT_EQ(run.exitCode, kExitOutOfMemory) << "under " << limit << " bytes: " << run.err;
        ASSERT_NE(run.err.rfind("vexo-host: not enough memory"), std::string::npos) << run.err;
        ASSERT_EQ(folder.Names(), (std::vector<std::string>{"in.png", "out.png"}));
        ASSERT_EQ(testing::FileBytes(folder / "out.png"), earlierOutput);
    }
}

}  // namespace
}  // namespace vexo::hosttool
