#include "tools/host/ReplacementFile.h"

#include <fcntl.h>
#include <limits.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <vector>

#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

[[noreturn]] void Fail(const std::string& destination, const std::string& reason) {
    throw ToolError(kExitOutputFailed, "cannot write " + destination + ": " + reason);
}

std::string FolderName(const std::filesystem::path& folder) {
    return folder == "." ? std::string("the current folder") : "the folder " + folder.string();
}

// What a new file gets: what the umask allows.
mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

std::string DescribeNonRegular(mode_t mode) {
    if (S_ISDIR(mode)) {
        return "it is a folder";
    }
    const char* kind = S_ISCHR(mode)    ? "a character device"
                       : S_ISBLK(mode)  ? "a block device"
                       : S_ISFIFO(mode) ? "a FIFO"
                       : S_ISSOCK(mode) ? "a socket"
                                        : "something";
    return std::string("it is ") + kind + ", not a regular file";
}

// As many links in a row as the system follows.
constexpr int kMostLinks = 40;
constexpr char kLoops[] = "it is a symbolic link that loops";

// Where a write to the destination lands, as open(O_CREAT) finds it: at the end of
// any chain of symbolic links, each relative one read from its own folder. The
// file there may not exist yet; a dangling link gets its target made.
struct Target {
    std::filesystem::path path;
    std::optional<struct stat> existing;
};

Target FindTarget(const std::string& destination) {
    // The system's own walk first: it tells a loop, and a link it refuses to follow.
    struct stat followed {};
    if (stat(destination.c_str(), &followed) != 0 && errno != ENOENT) {
        const int error = errno;
        struct stat own {};
        const bool isLink = lstat(destination.c_str(), &own) == 0 && S_ISLNK(own.st_mode);
        Fail(destination, error == ELOOP && isLink ? kLoops : std::strerror(error));
    }
    std::filesystem::path path = destination;
    for (int hop = 0; hop <= kMostLinks; ++hop) {
        struct stat info {};
        if (lstat(path.c_str(), &info) != 0) {
            if (errno != ENOENT) {
                Fail(destination, std::strerror(errno));
            }
            if (!path.has_filename()) {
                Fail(destination, "it names a folder that does not exist");
            }
            return {path, std::nullopt};
        }
        if (!S_ISLNK(info.st_mode)) {
            return {path, info};
        }
        std::error_code error;
        const std::filesystem::path next = std::filesystem::read_symlink(path, error);
        if (error) {
            Fail(destination, error.message());
        }
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    Fail(destination, kLoops);
}

// Whether the process may act on any file as its owner could (root may).
bool MayActAsAnyOwner() {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct sets[_LINUX_CAPABILITY_U32S_3]{};
    if (syscall(SYS_capget, &header, sets) != 0) {
        return true;  // unknown: the rename is left to tell
    }
    return (sets[CAP_TO_INDEX(CAP_FOWNER)].effective & CAP_TO_MASK(CAP_FOWNER)) != 0;
}

uint64_t AttributesOf(const std::filesystem::path& path) {
    struct statx info {};
    if (statx(AT_FDCWD, path.c_str(), 0, 0, &info) != 0) {
        return 0;
    }
    return info.stx_attributes & info.stx_attributes_mask;
}

// What would make the rename fail only after the run, found before it: an
// append-only folder lets no file in it be renamed or removed (the temporary one
// included), a sticky one lets a file be replaced only by its owner or the
// folder's, and an immutable or append-only file cannot be replaced at all.
void CheckReplaceable(const std::string& destination, const std::filesystem::path& folder,
                      const Target& target) {
    struct stat folderInfo {};
    if (stat(folder.c_str(), &folderInfo) != 0) {
        Fail(destination,
             "cannot make a file in " + FolderName(folder) + ": " + std::strerror(errno));
    }
    if (AttributesOf(folder) & STATX_ATTR_APPEND) {
        Fail(destination,
             FolderName(folder) + " is append-only: no file in it can be renamed or removed");
    }
    if (!target.existing) {
        return;
    }
    const uid_t user = geteuid();
    if ((folderInfo.st_mode & S_ISVTX) && target.existing->st_uid != user &&
        folderInfo.st_uid != user && !MayActAsAnyOwner()) {
        Fail(destination, "it is another user's file, and " + FolderName(folder) +
                              " is sticky: only the file's owner or the folder's may replace it");
    }
    const uint64_t attributes = AttributesOf(target.path);
    if (attributes & STATX_ATTR_IMMUTABLE) {
        Fail(destination, "it is immutable");
    }
    if (attributes & STATX_ATTR_APPEND) {
        Fail(destination, "it is append-only");
    }
}

bool IsContinuationByte(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// Hidden, unique and beside the file it replaces, so that the rename is atomic.
// The copy of the file's name in it is cut short where the whole would make it
// longer than the folder allows, at the start of a UTF-8 character.
std::string TemporaryPattern(const std::filesystem::path& folder, const std::string& name) {
    constexpr std::string_view kSuffix = ".vexo-XXXXXX";
    const long folderLongest = pathconf(folder.c_str(), _PC_NAME_MAX);
    const size_t longest = folderLongest > 0 ? static_cast<size_t>(folderLongest) : NAME_MAX;
    const size_t added = 1 + kSuffix.size();
    size_t kept = std::min(name.size(), longest > added ? longest - added : 0);
    while (kept > 0 && kept < name.size() && IsContinuationByte(name[kept])) {
        --kept;
    }
    return (folder / ("." + name.substr(0, kept) + std::string(kSuffix))).string();
}

}  // namespace

ReplacementFile::ReplacementFile(std::string destination) : destination_(std::move(destination)) {
    if (destination_.empty()) {
        throw ToolError(kExitOutputFailed, "cannot write a file of no name");
    }
    // A file put in place of a device or FIFO breaks whatever relies on it
    // (/dev/null itself, for root).
    const Target target = FindTarget(destination_);
    if (target.existing && !S_ISREG(target.existing->st_mode)) {
        Fail(destination_, DescribeNonRegular(target.existing->st_mode));
    }
    // A replaced file keeps its permissions.
    mode_ = target.existing ? target.existing->st_mode & 07777 : NewFileMode();
    target_ = target.path.string();
    const std::filesystem::path folder =
        target.path.parent_path().empty() ? "." : target.path.parent_path();
    CheckReplaceable(destination_, folder, target);

    const std::string pattern = TemporaryPattern(folder, target.path.filename().string());
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const EndingSignalsHeldOff heldOff;
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        Fail(destination_,
             "cannot make a file in " + FolderName(folder) + ": " + std::strerror(errno));
    }
    close(fd);
    temporary_ = name.data();
    removalOnSignal_.emplace(temporary_.c_str());
}

ReplacementFile::~ReplacementFile() {
    if (!committed_) {
        std::remove(temporary_.c_str());
    }
}

void ReplacementFile::Commit() {
    const int fd = open(temporary_.c_str(), O_RDONLY);
    // The mode only now: a read-only one given before the write would keep the writer out.
    if (fd < 0 || fchmod(fd, mode_) != 0 || fsync(fd) != 0) {
        const int error = errno;
        if (fd >= 0) {
            close(fd);
        }
        Fail(destination_, std::strerror(error));
    }
    close(fd);
    if (std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        Fail(destination_, std::strerror(errno));
    }
    committed_ = true;
}

}  // namespace vexo::hosttool
