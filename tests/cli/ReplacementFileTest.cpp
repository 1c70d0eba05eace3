#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>

#include "tests/cli/ToolTestSupport.h"
#include "tools/host/ReplacementFile.h"
#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

using testing::FileBytes;
using testing::TempFolder;
using testing::WriteBytes;

mode_t ModeOf(const std::string& path) {
    struct stat info {};
    stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

TEST(ReplacementFile, PutsTheFileInPlaceOnlyOnCommit) {
    TempFolder folder;
    const std::string destination = folder / "image.png";
    WriteBytes(destination, {1, 2, 3});
    chmod(destination.c_str(), 0640);
    {
        ReplacementFile file(destination);
        EXPECT_EQ(file.TemporaryPath().find(folder.Path().string()), 0u);
        WriteBytes(file.TemporaryPath(), {9, 9});
        EXPECT_EQ(FileBytes(destination), (std::vector<uint8_t>{1, 2, 3}));
        file.Commit();
    }
    EXPECT_EQ(FileBytes(destination), (std::vector<uint8_t>{9, 9}));
    EXPECT_EQ(ModeOf(destination), 0640u);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"image.png"});
}

TEST(ReplacementFile, LeavesNothingBehindWhenAbandoned) {
    TempFolder folder;
    const std::string existing = folder / "existing.tif";
    WriteBytes(existing, {4, 5});
    for (const std::string& destination : {existing, folder / "new.tif"}) {
        ReplacementFile file(destination);
        WriteBytes(file.TemporaryPath(), {7});
    }
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"existing.tif"});
    EXPECT_EQ(FileBytes(existing), (std::vector<uint8_t>{4, 5}));
}

TEST(ReplacementFile, ReplacesWhatALinkPointsTo) {
    TempFolder folder;
    const std::string target = folder / "photo.png";
    const std::string link = folder / "latest.png";
    WriteBytes(target, {1});
    std::filesystem::create_symlink("photo.png", link);
    {
        ReplacementFile file(link);
        WriteBytes(file.TemporaryPath(), {2});
        file.Commit();
    }
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(FileBytes(target), (std::vector<uint8_t>{2}));
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"latest.png", "photo.png"}));
}

TEST(ReplacementFile, SaysWhyTheDestinationTakesNoFile) {
    TempFolder folder;
    for (const std::string& destination : {folder / "missing/out.png", folder.Path().string()}) {
        try {
            ReplacementFile file(destination);
            FAIL() << destination;
        } catch (const ToolError& e) {
            EXPECT_EQ(e.Code(), kExitOutputFailed);
            EXPECT_EQ(std::string(e.what()).rfind("cannot write " + destination + ": ", 0), 0u)
                << e.what();
        }
    }
    EXPECT_TRUE(folder.Names().empty());
}

}  // namespace
}  // namespace vexo::hosttool
