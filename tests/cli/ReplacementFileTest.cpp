#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
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

std::vector<std::string> NamesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

// As the shell's > does: each relative link is read from its own folder, and the
// file at the chain's end is made. The temporary file is made beside that file,
// so that the rename stays atomic.
TEST(ReplacementFile, MakesTheFileADanglingChainOfLinksEndsAt) {
    TempFolder folder;
    for (const char* name : {"h", "e", "g"}) {
        std::filesystem::create_directory(folder.Path() / name);
    }
    std::filesystem::create_symlink("../e/middle.png", folder / "h/first.png");
    std::filesystem::create_symlink("../g/last.png", folder / "e/middle.png");
    {
        ReplacementFile file(folder / "h/first.png");
        EXPECT_TRUE(std::filesystem::equivalent(
            std::filesystem::path(file.TemporaryPath()).parent_path(), folder.Path() / "g"))
            << file.TemporaryPath();
        WriteBytes(file.TemporaryPath(), {5, 6});
        file.Commit();
    }
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "h/first.png"));
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "e/middle.png"));
    EXPECT_EQ(std::filesystem::symlink_status(folder / "g/last.png").type(),
              std::filesystem::file_type::regular);
    EXPECT_EQ(FileBytes(folder / "g/last.png"), (std::vector<uint8_t>{5, 6}));
    EXPECT_EQ(NamesIn(folder.Path() / "g"), std::vector<std::string>{"last.png"});
}

std::string Repeated(const std::string& text, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i) {
        repeated += text;
    }
    return repeated;
}

// A name as long as its folder allows is taken: only the temporary file's copy of
// it is cut short, at the start of a character, and that file stays hidden.
TEST(ReplacementFile, TakesANameAsLongAsItsFolderAllows) {
    const std::string e = "\xC3\xA9";  // two bytes in UTF-8
    struct Case {
        std::string name;
        std::string copied;  // into the temporary file's name
    };
    const Case cases[] = {
        {std::string(238, 'a') + ".png", std::string(238, 'a') + ".png"},  // just fits whole
        {std::string(239, 'a') + ".png", std::string(239, 'a') + ".pn"},
        {std::string(251, 'a') + ".png", std::string(242, 'a')},
        {"a" + Repeated(e, 125) + ".png", "a" + Repeated(e, 120)},  // 255 bytes, cut before an e
    };
    for (const Case& c : cases) {
        TempFolder folder;
        if (pathconf(folder.Path().c_str(), _PC_NAME_MAX) != 255) {
            GTEST_SKIP() << "the temporary folder's names are not 255 bytes long at most";
        }
        const std::string destination = folder / c.name;
        {
            ReplacementFile file(destination);
            const std::string temporary =
                std::filesystem::path(file.TemporaryPath()).filename().string();
            EXPECT_EQ(temporary.substr(0, temporary.size() - 6), "." + c.copied + ".vexo-")
                << c.name.size() << " bytes";
            WriteBytes(file.TemporaryPath(), {1});
            file.Commit();
        }
        EXPECT_EQ(folder.Names(), std::vector<std::string>{c.name});
        EXPECT_EQ(FileBytes(destination), std::vector<uint8_t>{1});
    }
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
    try {
        ReplacementFile file("");
        ADD_FAILURE() << "an empty name taken";
    } catch (const ToolError& e) {
        EXPECT_EQ(e.Code(), kExitOutputFailed);
        EXPECT_EQ(std::string(e.what()), "cannot write a file of no name");
    }
    EXPECT_TRUE(folder.Names().empty());
}

// A flag the system keeps beside a file's mode, set while this lives; false when
// this user or file system cannot set it.
class FileFlag {
public:
    FileFlag(const std::string& path, int flag) : fd_(open(path.c_str(), O_RDONLY)), flag_(flag) {
        int flags = 0;
        if (fd_ >= 0 && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= flag_;
            set_ = ioctl(fd_, FS_IOC_SETFLAGS, &flags) == 0;
        }
    }
    ~FileFlag() {
        int flags = 0;
        if (set_ && ioctl(fd_, FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~flag_;
            ioctl(fd_, FS_IOC_SETFLAGS, &flags);
        }
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    FileFlag(const FileFlag&) = delete;
    FileFlag& operator=(const FileFlag&) = delete;
    bool Set() const { return set_; }

private:
    int fd_;
    int flag_;
    bool set_ = false;
};

// What could be written but not replaced is refused before anything is written:
// an immutable or append-only file, or any in an append-only folder, where not
// even the temporary file could be removed again.
TEST(ReplacementFile, RefusesWhatCouldNotBeReplaced) {
    struct Case {
        const char* flagged;  // in the folder, or the folder itself
        int flag;
        const char* reason;
    };
    for (const Case& c :
         {Case{"out.png", FS_IMMUTABLE_FL, "it is immutable"},
          Case{"out.png", FS_APPEND_FL, "it is append-only"},
          Case{"", FS_APPEND_FL, " is append-only: no file in it can be renamed"}}) {
        TempFolder folder;
        const std::string destination = folder / "out.png";
        WriteBytes(destination, {1, 2});
        const FileFlag flag(folder / c.flagged, c.flag);
        if (!flag.Set()) {
            GTEST_SKIP() << "cannot set a file's flags here (that takes root and a file system "
                            "that keeps them)";
        }
        try {
            ReplacementFile file(destination);
            ADD_FAILURE() << destination << " taken, though " << c.reason;
        } catch (const ToolError& e) {
            EXPECT_EQ(e.Code(), kExitOutputFailed);
            EXPECT_EQ(std::string(e.what()).rfind("cannot write " + destination + ": ", 0), 0u)
                << e.what();
            EXPECT_NE(std::string(e.what()).find(c.reason), std::string::npos) << e.what();
        }
        EXPECT_EQ(folder.Names(), std::vector<std::string>{"out.png"});
        EXPECT_EQ(FileBytes(destination), (std::vector<uint8_t>{1, 2}));
    }
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
