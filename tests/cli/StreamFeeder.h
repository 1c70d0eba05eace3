#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vexo::hosttool::testing {

// Bytes fed to the tool from a child process, as `cat FILE |` or `cat FILE > FIFO`
// feeds them, and then, when asked, zeros without end, as `cat /dev/zero` does.
// The child ends when the tool stops reading, or with this object.
class StreamFeeder {
public:
    enum class Then { End, EndlessZeros };

    // Into a new pipe, whose reading end is the tool's standard input.
    StreamFeeder(std::vector<uint8_t> bytes, Then then);
    // Into the FIFO at fifoPath, once the tool opens it for reading.
    StreamFeeder(const std::string& fifoPath, std::vector<uint8_t> bytes, Then then);
    ~StreamFeeder();
    StreamFeeder(const StreamFeeder&) = delete;
    StreamFeeder& operator=(const StreamFeeder&) = delete;

    // The pipe's reading end, for ToolLaunch::standardInput; -1 for a FIFO.
    int ReadingEnd() const { return readingEnd_; }
    // Once the tool has its own copy: else the feeder would never learn that the
    // tool stopped reading.
    void CloseReadingEnd();

private:
    void Start(int writingEnd, const std::string& fifoPath, const std::vector<uint8_t>& bytes,
               Then then);

    pid_t pid_ = -1;
    int readingEnd_ = -1;
};

}  // namespace vexo::hosttool::testing
