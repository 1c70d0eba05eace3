#include "tools/host/HeldStream.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

#include "tools/host/ToolError.h"

namespace vexo::hosttool {

HeldStream::HeldStream(std::FILE* file, std::span<const uint8_t> start)
    : file_(file), held_(start.begin(), start.end()) {}

size_t HeldStream::Read(void* into, size_t size) noexcept {
    const uint64_t end = position_ > UINT64_MAX - size ? UINT64_MAX : position_ + size;
    HoldUpTo(end);
    if (position_ >= held_.size()) {
        return 0;
    }
    const size_t count = static_cast<size_t>(std::min<uint64_t>(size, held_.size() - position_));
    std::memcpy(into, held_.data() + position_, count);
    position_ += count;
    return count;
}

std::optional<uint64_t> HeldStream::Length() const noexcept {
    return ended_ ? std::optional<uint64_t>(held_.size()) : std::nullopt;
}

void HeldStream::HoldUpTo(uint64_t end) noexcept {
    // In steps of this much, so that a far offset is reached without one huge
    // allocation ahead of the data that is to fill it.
    constexpr size_t kStep = size_t{1} << 16;
    while (held_.size() < end && !ended_ && !outOfMemory_ && readError_ == 0) {
        const size_t before = held_.size();
        try {
            held_.resize(before + kStep);
        } catch (const std::bad_alloc&) {
            outOfMemory_ = true;
            break;
        }
        const size_t read = std::fread(held_.data() + before, 1, kStep, file_);
        held_.resize(before + read);
        if (read < kStep) {
            if (std::ferror(file_)) {
                readError_ = errno != 0 ? errno : EIO;
            } else {
                ended_ = true;
            }
        }
    }
}

void HeldStream::ThrowIfFailed(const std::string& path) const {
    if (outOfMemory_) {
        throw ToolError(kExitOutOfMemory, "not enough memory to read " + path + " (" +
                                              std::to_string(held_.size()) +
                                              " bytes of it held so far)");
    }
    if (readError_ != 0) {
        throw ToolError(kExitBadInput, "cannot read " + path + ": " + std::strerror(readError_));
    }
}

}  // namespace vexo::hosttool
