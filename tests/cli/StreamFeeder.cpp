#include "tests/cli/StreamFeeder.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <stdexcept>

namespace vexo::hosttool::testing {
namespace {

// In the forked child, where only async-signal-safe calls belong.
bool WriteAll(int fd, const uint8_t* bytes, size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0) {
            return false;
        }
        bytes += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace

StreamFeeder::StreamFeeder(std::vector<uint8_t> bytes, Then then) {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        throw std::runtime_error("cannot make a pipe");
    }
    readingEnd_ = ends[0];
    Start(ends[1], "", bytes, then);
}

StreamFeeder::StreamFeeder(const std::string& fifoPath, std::vector<uint8_t> bytes, Then then) {
    Start(-1, fifoPath, bytes, then);
}

void StreamFeeder::Start(int writingEnd, const std::string& fifoPath,
                         const std::vector<uint8_t>& bytes, Then then) {
    const std::vector<uint8_t> zeros(then == Then::EndlessZeros ? 1 << 16 : 0, 0);
    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("cannot start a feeder");
    }
    if (pid_ == 0) {
        // Ended by the tool's going away, as cat is.
        signal(SIGPIPE, SIG_DFL);
        if (readingEnd_ >= 0) {
            close(readingEnd_);
        }
        const int fd = writingEnd >= 0 ? writingEnd : open(fifoPath.c_str(), O_WRONLY);
        if (fd < 0 || !WriteAll(fd, bytes.data(), bytes.size())) {
            _exit(1);
        }
        while (!zeros.empty()) {
            if (!WriteAll(fd, zeros.data(), zeros.size())) {
                _exit(0);
            }
        }
        _exit(0);
    }
    if (writingEnd >= 0) {
        close(writingEnd);
    }
}

void StreamFeeder::CloseReadingEnd() {
    if (readingEnd_ >= 0) {
        close(readingEnd_);
        readingEnd_ = -1;
    }
}

StreamFeeder::~StreamFeeder() {
    CloseReadingEnd();
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

}  // namespace vexo::hosttool::testing
