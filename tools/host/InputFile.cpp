#include "tools/host/InputFile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

[[noreturn]] void CannotRead(const std::string& path, const std::string& reason) {
    throw ToolError(kExitBadInput, "cannot read " + path + ": " + reason);
}

}  // namespace

InputFile::InputFile(std::string path) : path_(std::move(path)) {
    file_.reset(std::fopen(path_.c_str(), "rbe"));
    if (!file_) {
        CannotRead(path_, std::strerror(errno));
    }
    struct stat info {};
    if (fstat(fileno(file_.get()), &info) != 0) {
        CannotRead(path_, std::strerror(errno));
    }
    if (S_ISDIR(info.st_mode)) {
        CannotRead(path_, "it is a folder");
    }
    if (S_ISREG(info.st_mode)) {
        regularLength_ = static_cast<uint64_t>(info.st_size);
    }
    const size_t read = std::fread(leading_.data(), 1, leading_.size(), file_.get());
    if (std::ferror(file_.get())) {
        CannotRead(path_, std::strerror(errno));
    }
    if (read < leading_.size()) {
        throw ToolError(kExitBadInput, path_ + " is too short to be an image file");
    }
}

}  // namespace vexo::hosttool
