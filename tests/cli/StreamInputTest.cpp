// INPUT that can be read only once: a FIFO, a pipe on standard input (`cat in.png |
// vexo-host correct /dev/stdin out.png`) or a shell's `<(cat in.png)`. Each is read
// from one open and corrects as the file itself does; hostile streams, endless
// ones among them, are refused without being read for ever.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/cli/OddFiles.h"
#include "tests/cli/StreamFeeder.h"
#include "tests/cli/ToolRunner.h"
#include "tests/cli/ToolTestSupport.h"
#include "tools/host/ImageFiles.h"
#include "tools/host/PluginLibrary.h"
#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

using testing::PatternImage;
using testing::StreamFeeder;
using testing::TempFolder;
using testing::ToolLaunch;
using testing::ToolProcess;
using testing::ToolRun;
using Then = StreamFeeder::Then;

// Far longer than any of these runs takes: one still running then is hanging, and
// fails rather than holds up the suite for ever.
constexpr std::chrono::minutes kHangGuard{2};

// Under a limit on its memory, a tool that reads endless input into memory fails
// at once rather than burdening the machine.
constexpr uint64_t kMemoryLimit = uint64_t{512} << 20;

enum class Via { Fifo, StandardInput };

// The tool's run on a stream of these bytes, or nothing if it hangs.
std::optional<ToolRun> CorrectStream(const TempFolder& folder, const std::vector<uint8_t>& bytes,
                                     Then then, Via via, const std::string& output,
                                     ToolLaunch launch = {}) {
    if (via == Via::Fifo) {
        const std::string fifo = folder / "input";
        if (mkfifo(fifo.c_str(), 0600) != 0) {
            ADD_FAILURE() << "cannot make a FIFO";
            return std::nullopt;
        }
        StreamFeeder feeder(fifo, bytes, then);
        ToolProcess tool({"correct", "-q", fifo, output}, launch);
        return tool.WaitAtMost(kHangGuard);
    }
    StreamFeeder feeder(bytes, then);
    launch.standardInput = feeder.ReadingEnd();
    ToolProcess tool({"correct", "-q", "/dev/stdin", output}, launch);
    feeder.CloseReadingEnd();
    return tool.WaitAtMost(kHangGuard);
}

ToolLaunch UnderTheMemoryLimit() {
    ToolLaunch launch;
    if (testing::kAddressSpaceCanBeLimited) {
        launch.addressSpaceLimit = kMemoryLimit;
    }
    return launch;
}

struct StreamCase {
    const char* name;
    std::function<RasterImage()> image;
    Via via;
    Then then = Then::End;
};

RasterImage Tiff(ColourModel colour, int bits, int32_t width, int32_t height,
                 uint16_t compression = 1, bool bigTiff = false) {
    RasterImage image = PatternImage(FileFormat::Tiff, colour, 0, bits, width, height);
    image.tiff.compression = compression;
    image.tiff.predictor = compression == 1 ? 1 : 2;
    image.tiff.bigTiff = bigTiff;
    return image;
}

// The small ones fit in a pipe's buffer, which lets the feeder finish and close
// before the tool has read much; the larger ones take many reads.
const StreamCase kStreams[] = {
    {"SmallPngThroughAFifo", [] { return PatternImage(FileFormat::Png, ColourModel::Rgb, 0, 8); },
     Via::Fifo},
    {"PngThroughStandardInput",
     [] { return PatternImage(FileFormat::Png, ColourModel::Rgb, 1, 16, 200, 150); },
     Via::StandardInput},
    {"SmallTiffThroughAFifo", [] { return Tiff(ColourModel::Gray, 8, 64, 48); }, Via::Fifo},
    {"CompressedTiffThroughStandardInput",
     [] { return Tiff(ColourModel::Rgb, 16, 200, 150, /*LZW*/ 5); }, Via::StandardInput},
    {"BigTiffThroughAFifo",
     [] { return Tiff(ColourModel::Cmyk, 8, 200, 150, 1, /*bigTiff=*/true); }, Via::Fifo},
    // Only as much is read as the file's own structure asks for.
    {"PngFollowedByEndlessZeros",
     [] { return PatternImage(FileFormat::Png, ColourModel::Gray, 0, 8); }, Via::StandardInput,
     Then::EndlessZeros},
    {"TiffFollowedByEndlessZeros",
     [] { return Tiff(ColourModel::Rgb, 8, 200, 150, /*deflate*/ 8); }, Via::StandardInput,
     Then::EndlessZeros},
};

class FromAStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(FromAStream, CorrectsAsFromTheFile) {
    const StreamCase& c = GetParam();
    TempFolder folder;
    const RasterImage image = c.image();
    const char* extension = image.format == FileFormat::Png ? ".png" : ".tif";
    const std::string input = folder / (std::string("in") + extension);
    const std::string fromFile = folder / (std::string("from-file") + extension);
    const std::string fromStream = folder / (std::string("from-stream") + extension);
    WriteImage(input, image);
    const ToolRun fileRun = testing::RunTool({"correct", "-q", input, fromFile});
    ASSERT_EQ(fileRun.exitCode, 0) << fileRun.err;

    const std::optional<ToolRun> run = CorrectStream(folder, testing::FileBytes(input), c.then,
                                                     c.via, fromStream, UnderTheMemoryLimit());
    ASSERT_TRUE(run) << "the tool still runs: it waits for input it has already had";
    EXPECT_EQ(run->exitCode, 0) << run->err;
    EXPECT_EQ(run->err, "");
    EXPECT_EQ(testing::FileBytes(fromStream), testing::FileBytes(fromFile));
}

INSTANTIATE_TEST_SUITE_P(Streams, FromAStream, ::testing::ValuesIn(kStreams),
                         [](const ::testing::TestParamInfo<StreamCase>& info) {
                             return std::string(info.param.name);
                         });

// Skipped by builds that cannot limit the tool's memory.
enum class Memory { Limited, FailsOnlyUnderTheLimit };

struct HostileStream {
    const char* name;
    std::function<std::vector<uint8_t>(const TempFolder&)> bytes;
    Then then;
    int exitCode;
    std::vector<std::string> messages;  // each found in standard error
    Memory memory = Memory::Limited;
};

std::vector<uint8_t> CutTiffBytes(const TempFolder& f) {
    testing::WriteOddTiff(f / "cut.tif", {.width = 32767,
                                          .height = 32767,
                                          .bitsPerSample = 16,
                                          .samplesPerPixel = 10,
                                          .compression = 5,
                                          .rowsPerStrip = 32767,
                                          .writtenRows = 1});
    return testing::FileBytes(f / "cut.tif");
}

const HostileStream kHostileStreams[] = {
    // A TIFF header whose directory is the zeros that follow it.
    {"TiffHeaderThenEndlessZeros",
     [](const TempFolder&) { return std::vector<uint8_t>{'I', 'I', 42, 0, 8, 0, 0, 0}; },
     Then::EndlessZeros,
     kExitBadInput,
     {"vexo-host: /dev/stdin is not a valid TIFF file: "}},
    // Its directory nearly 4 GB on: all of the stream before it is held, in case
    // the directory points back into it, and the memory runs out on the way.
    {"TiffWhoseDirectoryLiesBeyondMemory",
     [](const TempFolder&) { return std::vector<uint8_t>{'I', 'I', 42, 0, 0, 0, 0, 0xF0}; },
     Then::EndlessZeros,
     kExitOutOfMemory,
     {"vexo-host: not enough memory to read /dev/stdin ("},
     Memory::FailsOnlyUnderTheLimit},
    {"TiffClaimingMorePixelsThanItHolds",
     CutTiffBytes,
     Then::End,
     kExitBadInput,
     {"/dev/stdin is not a valid TIFF file: ", "(row 2 of 32767)"}},
    // Its length unknown, a pipe's rows take memory only as they arrive.
    {"PngClaimingMorePixelsThanItHolds",
     [](const TempFolder& f) {
         testing::WriteCutPng(f / "cut.png", {});
         return testing::FileBytes(f / "cut.png");
     },
     Then::End,
     kExitBadInput,
     {"/dev/stdin is not a valid PNG file: ", "(row 3 of 32767)"}},
};

class FromAHostileStream : public ::testing::TestWithParam<HostileStream> {};

TEST_P(FromAHostileStream, FailsSayingWhy) {
    const HostileStream& c = GetParam();
    if (c.memory == Memory::FailsOnlyUnderTheLimit && !testing::kAddressSpaceCanBeLimited) {
        GTEST_SKIP() << "the address space of a sanitized build cannot be limited";
    }
    TempFolder folder;
    const std::vector<uint8_t> bytes = c.bytes(folder);
    const std::optional<ToolRun> run = CorrectStream(folder, bytes, c.then, Via::StandardInput,
                                                     folder / "out.png", UnderTheMemoryLimit());
    ASSERT_TRUE(run) << "the tool still runs: it reads endless input for ever";
    EXPECT_EQ(run->exitCode, c.exitCode) << run->err;
    for (const std::string& message : c.messages) {
        EXPECT_NE(run->err.find(message), std::string::npos) << run->err;
    }
    EXPECT_EQ(std::count(run->err.begin(), run->err.end(), '\n'), 1) << run->err;
    EXPECT_FALSE(std::filesystem::exists(folder / "out.png"));
}

INSTANTIATE_TEST_SUITE_P(Streams, FromAHostileStream, ::testing::ValuesIn(kHostileStreams),
                         [](const ::testing::TestParamInfo<HostileStream>& info) {
                             return std::string(info.param.name);
                         });

// Opening a FIFO waits for a writer: a plug-in named by one is refused before
// anything opens it, by both commands.
class PluginNamingAFifo : public ::testing::TestWithParam<const char*> {};

TEST_P(PluginNamingAFifo, IsRefusedAtOnce) {
    const std::string command = GetParam();
    TempFolder folder;
    WriteImage(folder / "in.png", PatternImage(FileFormat::Png, ColourModel::Rgb, 0, 8));
    const std::string plugin = folder / "plugin.so";
    ASSERT_EQ(mkfifo(plugin.c_str(), 0600), 0);
    std::vector<std::string> args = {command, "--plugin", plugin};
    if (command == "correct") {
        args.insert(args.end(), {folder / "in.png", folder / "out.png"});
    }
    ToolProcess tool(args);
    const std::optional<ToolRun> run = tool.WaitAtMost(kHangGuard);
    ASSERT_TRUE(run) << "the tool still runs: it waits for the FIFO's writer";
    EXPECT_EQ(run->exitCode, kExitPluginUnavailable) << run->err;
    EXPECT_EQ(run->err, "vexo-host: cannot load the plug-in " + plugin +
                            ": it is a FIFO, not a regular file\n");
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"in.png", "plugin.so"}));
}

INSTANTIATE_TEST_SUITE_P(Commands, PluginNamingAFifo, ::testing::Values("correct", "info"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             return std::string(info.param);
                         });

// Nor is the property list read from beside the plug-in waited for, when a FIFO
// stands in its place: the plug-in has none.
TEST(PropertyListBesideThePlugin, IsNotWaitedForWhenItIsAFifo) {
    TempFolder folder;
    const std::string plugin = folder / "copy.so";
    std::filesystem::copy_file(VEXO_PLUGIN, plugin);
    const std::string list = filterhost::PluginLibrary::PropertyListFileBeside(plugin);
    ASSERT_EQ(mkfifo(list.c_str(), 0600), 0);
    ToolProcess tool({"info", "--plugin", plugin});
    const std::optional<ToolRun> run = tool.WaitAtMost(kHangGuard);
    ASSERT_TRUE(run) << "the tool still runs: it waits for the FIFO's writer";
    EXPECT_EQ(run->exitCode, kExitPluginUnavailable) << run->err;
    EXPECT_NE(run->err.find("has no property list (looked for " + list + ")"), std::string::npos)
        << run->err;
}

}  // namespace
}  // namespace vexo::hosttool
