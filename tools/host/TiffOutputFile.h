#pragma once

#include <tiffio.h>

#include <string>

namespace vexo::hosttool {

// A file that libtiff writes through our calls rather than its own, so that a
// failed write keeps the system's reason (a full disk, a file-size limit), where
// libtiff's message says only that a write failed.
class TiffOutputFile {
public:
    // Made, or emptied when it is there.
    explicit TiffOutputFile(const std::string& path);
    ~TiffOutputFile();
    TiffOutputFile(const TiffOutputFile&) = delete;
    TiffOutputFile& operator=(const TiffOutputFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // The errno of the first call on the file that failed, its open among them, or 0.
    int Error() const { return error_; }

    // A TIFF written to this file, as TIFFOpenExt would open one by name (name is
    // what libtiff's messages call it). It must be closed before this file is.
    TIFF* OpenTiff(const std::string& name, const char* mode, TIFFOpenOptions* options);
    // Closes the file; false when that fails, as it can for a write that failed late.
    bool Close();

private:
    static tmsize_t Read(thandle_t handle, void* data, tmsize_t size);
    static tmsize_t Write(thandle_t handle, void* data, tmsize_t size);
    static toff_t Seek(thandle_t handle, toff_t offset, int whence);
    static toff_t Size(thandle_t handle);
    bool Check(bool ok);

    int fd_;
    int error_ = 0;
};

}  // namespace vexo::hosttool
