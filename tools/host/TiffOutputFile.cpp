#include "tools/host/TiffOutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "tools/host/TiffClientCalls.h"

namespace vexo::hosttool {
namespace {

TiffOutputFile& Of(thandle_t handle) {
    return *static_cast<TiffOutputFile*>(handle);
}

}  // namespace

TiffOutputFile::TiffOutputFile(const std::string& path)
    : fd_(open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666)) {
    Check(fd_ >= 0);
}

TiffOutputFile::~TiffOutputFile() {
    if (fd_ >= 0) {
        close(fd_);
    }
}

TIFF* TiffOutputFile::OpenTiff(const std::string& name, const char* mode,
                               TIFFOpenOptions* options) {
    // The file stays open until its owner closes it, so that the flush libtiff makes
    // as it closes the TIFF still reaches it. Written files are not mapped.
    return TIFFClientOpenExt(name.c_str(), mode, this, &Read, &Write, &Seek, &CloseNothing, &Size,
                             &MapNothing, &UnmapNothing, options);
}

bool TiffOutputFile::Close() {
    return Check(close(std::exchange(fd_, -1)) == 0);
}

bool TiffOutputFile::Check(bool ok) {
    if (!ok && error_ == 0) {
        error_ = errno;
    }
    return ok;
}

tmsize_t TiffOutputFile::Read(thandle_t handle, void* data, tmsize_t size) {
    TiffOutputFile& file = Of(handle);
    const ssize_t read = ::read(file.fd_, data, static_cast<size_t>(size));
    return file.Check(read >= 0) ? read : -1;
}

tmsize_t TiffOutputFile::Write(thandle_t handle, void* data, tmsize_t size) {
    TiffOutputFile& file = Of(handle);
    tmsize_t done = 0;
    while (done < size) {
        const ssize_t written =
            write(file.fd_, static_cast<char*>(data) + done, static_cast<size_t>(size - done));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (!file.Check(written > 0)) {
            return -1;
        }
        done += written;
    }
    return done;
}

toff_t TiffOutputFile::Seek(thandle_t handle, toff_t offset, int whence) {
    TiffOutputFile& file = Of(handle);
    const off_t at = lseek(file.fd_, static_cast<off_t>(offset), whence);
    return file.Check(at >= 0) ? static_cast<toff_t>(at) : static_cast<toff_t>(-1);
}

toff_t TiffOutputFile::Size(thandle_t handle) {
    TiffOutputFile& file = Of(handle);
    struct stat info {};
    return file.Check(fstat(file.fd_, &info) == 0) ? static_cast<toff_t>(info.st_size) : 0;
}

}  // namespace vexo::hosttool
