#include "tools/host/ReplacementFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

[[noreturn]] void Fail(const std::string& destination, const std::string& reason) {
    throw ToolError(kExitOutputFailed, "cannot write " + destination + ": " + reason);
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

}  // namespace

ReplacementFile::ReplacementFile(std::string destination) : destination_(std::move(destination)) {
    // Through any links, as the write would go. A file put in place of a device or
    // FIFO breaks whatever relies on it (/dev/null itself, for root).
    struct stat existing {};
    const bool exists = stat(destination_.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        Fail(destination_, DescribeNonRegular(existing.st_mode));
    }
    // A replaced file keeps its permissions.
    mode_ = exists ? existing.st_mode & 07777 : NewFileMode();
    std::error_code ignored;
    std::filesystem::path path(destination_);
    if (std::filesystem::is_symlink(path, ignored)) {
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ignored);
        if (!resolved.empty()) {
            path = resolved;
        }
    }
    target_ = path.string();
    // Hidden, and in the destination's own folder, so that the rename is atomic.
    const std::filesystem::path folder = path.parent_path().empty() ? "." : path.parent_path();
    std::string pattern = (folder / ("." + path.filename().string() + ".vexo-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const EndingSignalsHeldOff heldOff;
    const int fd = mkstemp(name.data());
    if (fd < 0) {
        Fail(destination_, std::strerror(errno));
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
