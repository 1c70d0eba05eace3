#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iostream>

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

// A read-only file its user owns, in a folder they may write, can be replaced:
// only the replacement gets the read-only mode, and only once it is written. Root
// may write any file, so what is tried here is the mode the writer finds.
TEST(ReplacementFile, KeepsItsOwnerAbleToWriteUntilTheCommit) {
    TempFolder folder;
    const std::string destination = folder / "locked.tif";
    WriteBytes(destination, {1});
    chmod(destination.c_str(), 0444);
    {
        ReplacementFile file(destination);
        EXPECT_EQ(ModeOf(file.TemporaryPath()) & 0600, 0600u);
        WriteBytes(file.TemporaryPath(), {2, 3});
        file.Commit();
    }
    EXPECT_EQ(FileBytes(destination), (std::vector<uint8_t>{2, 3}));
    EXPECT_EQ(ModeOf(destination), 0444u);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"locked.tif"});
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

// What stands in the destination's place when it is no regular file, made in
// the folder; false when this user may not make one.
using NodeMaker = bool (*)(const std::string& path);

bool MakeFifo(const std::string& path) {
    return mkfifo(path.c_str(), 0644) == 0;
}

bool MakeSocket(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) {
        return false;
    }
    path.copy(address.sun_path, path.size());
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    return bound;
}

// The null device's own numbers: the very thing that must never be replaced.
bool MakeNullDevice(const std::string& path) {
    return mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
}

TEST(ReplacementFile, RefusesToReplaceAnythingButARegularFile) {
    struct Case {
        NodeMaker make;
        const char* kind;
        mode_t type;
    };
    for (const Case& c :
         {Case{&MakeFifo, "a FIFO", S_IFIFO}, Case{&MakeSocket, "a socket", S_IFSOCK},
          Case{&MakeNullDevice, "a character device", S_IFCHR}}) {
        TempFolder folder;
        const std::string node = folder / "node.png";
        if (!c.make(node)) {
            std::cout << "cannot make " << c.kind << " here: not tried\n";
            continue;
        }
        const std::string link = folder / "link.png";
        std::filesystem::create_symlink("node.png", link);
        for (const std::string& destination : {node, link}) {
            try {
                ReplacementFile file(destination);
                ADD_FAILURE() << destination << " taken for " << c.kind;
            } catch (const ToolError& e) {
                EXPECT_EQ(e.Code(), kExitOutputFailed);
                EXPECT_EQ(std::string(e.what()), "cannot write " + destination + ": it is " +
                                                     c.kind + ", not a regular file");
            }
        }
        struct stat info {};
        ASSERT_EQ(lstat(node.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & S_IFMT, c.type) << c.kind;
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        EXPECT_EQ(folder.Names(), (std::vector<std::string>{"link.png", "node.png"})) << c.kind;
    }
}

}  // namespace
}  // namespace vexo::hosttool
