#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vexo::hosttool {

// A stream that can be read only once (a pipe, a FIFO, a device), made seekable
// for a reader that jumps about in it, as libtiff does, by holding in memory all
// that has been read of it. It reads on only as far as a read reaches: endless
// input (a pipe fed from /dev/zero) is read no further than the file's own offsets
// point, and what it holds costs the memory a file's mapping would.
class HeldStream {
public:
    // Holds `start`, what has already been read of file, and reads on from file.
    HeldStream(std::FILE* file, std::span<const uint8_t> start);

    // Up to size bytes from the position on, fewer at the end of the stream or
    // when it fails; the position moves past them. Never throws: libtiff calls it.
    size_t Read(void* into, size_t size) noexcept;
    void Seek(uint64_t position) noexcept { position_ = position; }
    uint64_t Position() const noexcept { return position_; }
    // The stream's length, once its end has been read.
    std::optional<uint64_t> Length() const noexcept;

    // After a failed read: throws ToolError for what stopped it, if it was no end
    // of the data: no memory to hold more (kExitOutOfMemory) or the system's
    // refusal (kExitBadInput). path names the stream in the message.
    void ThrowIfFailed(const std::string& path) const;

private:
    // Reads on until the stream holds `end` bytes, or ends, or fails.
    void HoldUpTo(uint64_t end) noexcept;

    std::FILE* file_;
    std::vector<uint8_t> held_;
    uint64_t position_ = 0;
    bool ended_ = false;
    bool outOfMemory_ = false;
    int readError_ = 0;  // errno of a failed read
};

}  // namespace vexo::hosttool
