// Reading or writing an image with too little memory left says so, whichever
// allocation is refused: ours, libpng's, zlib's or libtiff's, or the C library's
// for the file. Each case runs again and again in a child process whose address
// space is limited to a little more room each time than it holds as it starts,
// from none to plenty: every run must either succeed or fail for want of memory,
// never pass for a bad file or a failed write.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <new>
#include <string>

#include "tests/AddressSanitizer.h"
#include "tests/cli/ToolTestSupport.h"
#include "tools/host/ImageFiles.h"
#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

using testing::PatternImage;
using testing::TempFolder;

// How a run in the child ended, as its exit code.
constexpr int kDone = 0;
constexpr int kBadAlloc = 200;     // std::bad_alloc, which the tool reports as not enough memory
constexpr int kOtherThrow = 201;   // anything else thrown
constexpr int kCannotLimit = 202;  // the limit could not be set

constexpr size_t kStep = 8 << 10;
constexpr size_t kMostRoom = 3 << 20;

size_t AddressSpaceInUse() {
    size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    return pages * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}

// Runs what in a child whose address space may grow by room bytes at most.
int OutcomeWithRoom(size_t room, const std::function<void()>& what) {
    const pid_t child = fork();
    if (child == 0) {
        const size_t inUse = AddressSpaceInUse();
        const rlimit limit{inUse + room, inUse + room};
        if (inUse == 0 || setrlimit(RLIMIT_AS, &limit) != 0) {
            _exit(kCannotLimit);
        }
        int outcome = kDone;
        try {
            what();
        } catch (const std::bad_alloc&) {
            outcome = kBadAlloc;
        } catch (const ToolError& error) {
            outcome = error.Code();
            if (outcome != kExitOutOfMemory) {
                std::fprintf(stderr, "with %zu bytes of room: %s\n", room, error.what());
            }
        } catch (...) {
            outcome = kOtherThrow;
        }
        _exit(outcome);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

struct MemoryCase {
    const char* name;
    FileFormat format;
    uint16_t tiffCompression;
    bool writes;  // or reads
};

const MemoryCase kCases[] = {
    {"WritingPng", FileFormat::Png, 0, true},      {"ReadingPng", FileFormat::Png, 0, false},
    {"WritingTiff", FileFormat::Tiff, 1, true},    {"ReadingTiff", FileFormat::Tiff, 1, false},
    {"WritingLzwTiff", FileFormat::Tiff, 5, true}, {"ReadingLzwTiff", FileFormat::Tiff, 5, false},
};

class ShortOfMemory : public ::testing::TestWithParam<MemoryCase> {};

TEST_P(ShortOfMemory, EveryRunSucceedsOrSaysThereWasNotEnoughMemory) {
    if (vexo::testbuild::kBuiltWithAddressSanitizer) {
        GTEST_SKIP() << "the address space of a sanitized build cannot be limited";
    }
    const MemoryCase& c = GetParam();
    TempFolder folder;
    // Wide rows, so that every library's buffers for a row are of some size.
    RasterImage image = PatternImage(c.format, ColourModel::Rgb, 1, 16, 8192, 8);
    image.tiff.compression = c.tiffCompression;
    const std::string written = folder / "written";
    const std::string read = folder / "read";
    WriteImage(read, image);
    const std::function<void()> what =
        c.writes ? std::function<void()>([&] { WriteImage(written, image); })
                 : std::function<void()>([&] { ReadImage(read); });

    int memoryFailures = 0;
    for (size_t room = 0; room <= kMostRoom; room += kStep) {
        const int outcome = OutcomeWithRoom(room, what);
        ASSERT_NE(outcome, kCannotLimit);
        if (room == kMostRoom) {
            EXPECT_EQ(outcome, kDone) << "even with " << room << " bytes of room";
        } else if (outcome != kDone) {
            ++memoryFailures;
            ASSERT_TRUE(outcome == kBadAlloc || outcome == kExitOutOfMemory)
                << "with " << room << " bytes of room, the outcome was " << outcome;
        }
    }
    // The limit did bite.
    EXPECT_GT(memoryFailures, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, ShortOfMemory, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<MemoryCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace vexo::hosttool
