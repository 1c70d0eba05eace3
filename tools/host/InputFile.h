#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

namespace vexo::hosttool {

// INPUT, opened once. The format check and the reader take their bytes from this
// one stream, so that a pipe or FIFO, which yields its bytes only once, reads as a
// file does: a second open would find the start gone, or wait for ever for a
// FIFO's writer that has come and gone.
class InputFile {
public:
    static constexpr size_t kLeadingBytes = 8;

    // Opens path, waiting for a FIFO's writer as any reader of one does, and reads
    // the leading bytes. Throws ToolError(kExitBadInput) with the system's reason
    // when it cannot, or when the file is too short to be an image.
    explicit InputFile(std::string path);

    const std::string& Path() const { return path_; }
    // Enough to tell the formats apart; Stream() goes on after them.
    const std::array<uint8_t, kLeadingBytes>& LeadingBytes() const { return leading_; }
    std::FILE* Stream() const { return file_.get(); }
    // The length of a regular file, which a reader may seek in; nothing for a pipe,
    // FIFO or device, which can only be read on to its end.
    std::optional<uint64_t> RegularLength() const { return regularLength_; }

private:
    struct Closer {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    std::string path_;
    std::unique_ptr<std::FILE, Closer> file_;
    std::optional<uint64_t> regularLength_;
    std::array<uint8_t, kLeadingBytes> leading_{};
};

}  // namespace vexo::hosttool
