// How the tool fails: one clear line, a telling exit code, and nothing lost: no
// output, no temporary file, and the input and any earlier output untouched.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/cli/OddFiles.h"
#include "tests/cli/ToolRunner.h"
#include "tests/cli/ToolTestSupport.h"
#include "tools/host/ImageFiles.h"
#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

using testing::PatternImage;
using testing::RunTool;
using testing::TempFolder;

// The hostile files claim gigabytes: under a limit on the tool's memory, taking
// them fails at once rather than burdening the machine. Builds with
// AddressSanitizer cannot limit it, and run such cases unlimited where they take
// no memory, and skip those that need the limit to fail.
enum class Memory { Unlimited, Limited, FailsOnlyUnderTheLimit };
constexpr uint64_t kMemoryLimit = uint64_t{512} << 20;

// Root may write anywhere: what is refused only to a user without that power is
// tried as another user.
enum class User { Us, Another };
constexpr testing::ToolLaunch::User kAnotherUser{65534, 65534};

// A full disk fails a write as a file-size limit does, when the tool is started
// with SIGXFSZ ignored.
constexpr uint64_t kFileSizeLimit = 4096;

struct FailureCase {
    const char* name;
    // Makes the files in the folder and returns the arguments.
    std::function<std::vector<std::string>(const TempFolder&)> setUp;
    int exitCode;
    std::vector<std::string> messages;  // each found in standard error
    Memory memory = Memory::Unlimited;
    User user = User::Us;
    std::optional<uint64_t> fileSizeLimit = std::nullopt;
};

void WritePng(const TempFolder& folder, const char* name, int32_t width = 64, int32_t height = 48) {
    WriteImage(folder / name, PatternImage(FileFormat::Png, ColourModel::Rgb, 0, 8, width, height));
}

std::vector<std::string> Correct(const TempFolder& folder, const std::string& input,
                                 const std::string& output, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"correct", folder / input, folder / output};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

const char kTooSmall[] = "must be at least 24x24";

// For the other user, who must reach the folder (given folderMode) and the input,
// and runs a copy of the plug-in it can reach.
std::vector<std::string> CorrectAsAnotherUser(const TempFolder& f, mode_t folderMode) {
    namespace fs = std::filesystem;
    WritePng(f, "in.png");
    fs::permissions(f / "in.png", fs::perms(0644));
    fs::permissions(f.Path(), fs::perms(folderMode));
    return Correct(f, "in.png", "out.png", {"--plugin", testing::ReachableByOtherUsers().plugin});
}

// Quiet: these fail after the run, and its progress would be more lines.
std::vector<std::string> CorrectBeyondTheFileSizeLimit(const TempFolder& f, FileFormat format) {
    const std::string extension = format == FileFormat::Png ? ".png" : ".tif";
    WriteImage(f / ("in" + extension), PatternImage(format, ColourModel::Rgb, 0, 8, 256, 256));
    return Correct(f, "in" + extension, "out" + extension, {"-q"});
}

std::vector<std::string> CorrectCutPng(const TempFolder& f, const testing::CutPng& png) {
    testing::WriteCutPng(f / "cut.png", png);
    return Correct(f, "cut.png", "out.png");
}

// 32767 x 32767 pixels, of which the file holds none or a row or two.
std::vector<std::string> CorrectCutTiff(const TempFolder& f, testing::OddTiff tiff) {
    tiff.width = tiff.height = tiff.rowsPerStrip = 32767;
    testing::WriteOddTiff(f / "cut.tif", tiff);
    return Correct(f, "cut.tif", "out.tif");
}

// Gray with extra channels: as many planes as samples.
std::vector<std::string> CorrectTiffOfPlanes(const TempFolder& f, uint16_t planes) {
    testing::WriteOddTiff(f / "planes.tif", {.samplesPerPixel = planes});
    return Correct(f, "planes.tif", "out.tif");
}

const FailureCase kCases[] = {
    {"MissingInput",
     [](const TempFolder& f) { return Correct(f, "missing.png", "out.png"); },
     kExitBadInput,
     {"vexo-host: cannot read ", "missing.png: No such file or directory"}},
    {"FolderAsInput",
     [](const TempFolder& f) {
         std::filesystem::create_directory(f.Path() / "photos");
         return Correct(f, "photos", "out.png");
     },
     kExitBadInput,
     {"photos: it is a folder"}},
    // Endless: refused by their first bytes.
    {"DevZeroAsInput",
     [](const TempFolder& f) {
         return std::vector<std::string>{"correct", "/dev/zero", f / "out.png"};
     },
     kExitBadInput,
     {"vexo-host: /dev/zero is not a PNG or TIFF file"},
     Memory::Limited},
    {"DevUrandomAsInput",
     [](const TempFolder& f) {
         return std::vector<std::string>{"correct", "/dev/urandom", f / "out.png"};
     },
     kExitBadInput,
     {"vexo-host: /dev/urandom is not a PNG or TIFF file"},
     Memory::Limited},
    {"NotAnImage",
     [](const TempFolder& f) {
         testing::WriteBytes(f / "notes.png", std::vector<uint8_t>(64, 'x'));
         return Correct(f, "notes.png", "out.png");
     },
     kExitBadInput,
     {"notes.png is not a PNG or TIFF file"}},
    {"TruncatedPng",
     [](const TempFolder& f) {
         WritePng(f, "whole.png");
         std::vector<uint8_t> bytes = testing::FileBytes(f / "whole.png");
         bytes.resize(bytes.size() / 2);
         testing::WriteBytes(f / "whole.png", bytes);
         return Correct(f, "whole.png", "out.png");
     },
     kExitBadInput,
     {"whole.png is not a valid PNG file: "}},
    {"IndexedColourPng",
     [](const TempFolder& f) {
         testing::WritePalettePng(f / "palette.png", 64, 48);
         return Correct(f, "palette.png", "out.png");
     },
     kExitBadInput,
     {"indexed-colour PNG files are not supported"}},
    {"FourBitPng",
     [](const TempFolder& f) {
         testing::WriteGrayPngOfDepth(f / "gray4.png", 64, 48, 4);
         return Correct(f, "gray4.png", "out.png");
     },
     kExitBadInput,
     {"4-bit samples are not supported (8 and 16 are)"}},
    {"PngClaimingMorePixelsThanItsBytesHold",
     [](const TempFolder& f) { return CorrectCutPng(f, {}); },
     kExitBadInput,
     {"cut.png is not a valid PNG file: its ", " bytes cannot hold 32767 x 32767 pixels"},
     Memory::Limited},
    {"Rgba16PngClaimingMorePixelsThanItsBytesHold",
     [](const TempFolder& f) { return CorrectCutPng(f, {.bitDepth = 16, .colourType = 6}); },
     kExitBadInput,
     {"cut.png is not a valid PNG file: its ", " bytes cannot hold 32767 x 32767 pixels"},
     Memory::Limited},
    {"InterlacedPngClaimingMorePixelsThanItsBytesHold",
     [](const TempFolder& f) { return CorrectCutPng(f, {.interlaced = true}); },
     kExitBadInput,
     {" bytes cannot hold 32767 x 32767 pixels"},
     Memory::Limited},
    {"PngOfMorePixelsThanMemoryHolds",
     [](const TempFolder& f) {
         // A gigabyte of gray pixels, half of them there.
         return CorrectCutPng(f, {.colourType = 0, .rows = 16384, .paddingBytes = 1 << 20});
     },
     kExitOutOfMemory,
     {"vexo-host: not enough memory for the 32767 x 32767 pixels of ", "cut.png"},
     Memory::FailsOnlyUnderTheLimit},
    // Half a gigabyte of profile, held in half a megabyte of the file: libpng has
    // no memory for it, and the output must not go without it.
    {"PngProfileLargerThanMemory",
     [](const TempFolder& f) {
         constexpr uint32_t kProfileBytes = (512 + 2) << 20;
         testing::WritePngWithChunks(
             f / "profiled.png", 32, 32,
             {{"iCCP", testing::IccpChunkData(testing::IccProfileStart("RGB ", kProfileBytes),
                                              kProfileBytes)}});
         return Correct(f, "profiled.png", "out.png");
     },
     kExitOutOfMemory,
     {"vexo-host: not enough memory for the ICC profile of ", "profiled.png"},
     Memory::FailsOnlyUnderTheLimit},
    {"UncompressedTiffEndingAfterItsFirstRow",
     [](const TempFolder& f) {
         return CorrectCutTiff(f, {.samplesPerPixel = 4, .photometric = 2, .writtenRows = 1});
     },
     kExitBadInput,
     {"cut.tif is not a valid TIFF file: ", "(row 2 of 32767)"},
     Memory::Limited},
    {"CompressedTiffOfTenPlanesEndingAfterItsFirstRow",
     [](const TempFolder& f) {
         return CorrectCutTiff(
             f, {.bitsPerSample = 16, .samplesPerPixel = 10, .compression = 5, .writtenRows = 1});
     },
     kExitBadInput,
     {"cut.tif is not a valid TIFF file: ", "(row 2 of 32767)"},
     Memory::Limited},
    {"CompressedTiffOfTenSeparatePlanesEndingAfterTwoRows",
     [](const TempFolder& f) {
         return CorrectCutTiff(f, {.bitsPerSample = 16,
                                   .samplesPerPixel = 10,
                                   .planarConfig = 2,
                                   .compression = 5,
                                   .writtenRows = 2});
     },
     kExitBadInput,
     {"cut.tif is not a valid TIFF file: ", "(row 3 of 32767)"},
     Memory::Limited},
    {"ElevenPlanes",
     [](const TempFolder& f) { return CorrectTiffOfPlanes(f, 11); },
     kExitBadInput,
     {"planes.tif has 11 channels (gray and 10 extra); the plug-in corrects at most 10"}},
    {"SeventeenPlanes",
     [](const TempFolder& f) { return CorrectTiffOfPlanes(f, 17); },
     kExitBadInput,
     {"planes.tif has 17 channels (gray and 16 extra); the plug-in corrects at most 10"}},
    {"FloatTiff",
     [](const TempFolder& f) {
         testing::WriteOddTiff(f / "float.tif", {.bitsPerSample = 32, .sampleFormat = 3});
         return Correct(f, "float.tif", "out.tif");
     },
     kExitBadInput,
     {"32-bit samples are not supported"}},
    {"ImageUnder24Pixels",
     [](const TempFolder& f) {
         WritePng(f, "small.png", 23, 48);
         return Correct(f, "small.png", "out.png");
     },
     kExitPluginFailed,
     {kTooSmall,
      "vexo-host: the plug-in refused the image at its start call: userCanceledErr (-128)"}},
    {"SelectionUnder24Pixels",
     [](const TempFolder& f) {
         WritePng(f, "in.png");
         return Correct(f, "in.png", "out.png", {"--selection", "0,0,64,23"});
     },
     kExitPluginFailed,
     {kTooSmall, "userCanceledErr (-128)"}},
    {"SelectionOutsideTheImage",
     [](const TempFolder& f) {
         WritePng(f, "in.png");
         return Correct(f, "in.png", "out.png", {"--selection", "0,0,65,48"});
     },
     kExitUsage,
     {"the selection 0,0,65,48 does not lie within the 64 x 48 image"}},
    {"PluginThatFails",
     [](const TempFolder& f) {
         WritePng(f, "in.png");
         return Correct(f, "in.png", "out.png", {"--plugin", VEXO_FAILING_PLUGIN});
     },
     kExitPluginFailed,
     {"vexo-host: the plug-in failed at its start call: memFullErr (-108)"}},
    {"PluginThatRunsOutOfMemory",
     // It fails with the same code as the one above, but after the host could not
     // give it the buffer it asked for.
     [](const TempFolder& f) {
         WritePng(f, "in.png");
         return Correct(f, "in.png", "out.png", {"--plugin", VEXO_HUNGRY_PLUGIN});
     },
     kExitOutOfMemory,
     {"vexo-host: not enough memory for the plug-in's run: it failed at its start call: "
      "memFullErr (-108)\n"},
     Memory::FailsOnlyUnderTheLimit},
    {"PluginWithoutEntryPoint",
     [](const TempFolder& f) {
         WritePng(f, "in.png");
         return Correct(f, "in.png", "out.png", {"--plugin", VEXO_NO_ENTRY_PLUGIN});
     },
     kExitPluginUnavailable,
     {"has no entry point PluginMain"}},
    {"EmptyPluginPath",
     [](const TempFolder& f) {
         WritePng(f, "in.png");
         return Correct(f, "in.png", "out.png", {"--plugin", ""});
     },
     kExitUsage,
     {"vexo-host: --plugin", "not an empty one"}},
    {"TruncatedPlugin",
     // Its headers whole, the rest cut off: the system's loader would map pages
     // past the file's end and die of SIGBUS.
     [](const TempFolder& f) {
         WritePng(f, "in.png");
         WritePng(f, "out.png", 32, 32);
         std::vector<uint8_t> library = testing::FileBytes(VEXO_PLUGIN);
         library.resize(4096);
         testing::WriteBytes(f / "cut.so", library);
         return Correct(f, "in.png", "out.png", {"--plugin", f / "cut.so"});
     },
     kExitPluginUnavailable,
     {"vexo-host: cannot load the plug-in ", "cut.so: the file ends before the library does"}},
    {"PluginThatIsNoLibrary",
     [](const TempFolder& f) {
         WritePng(f, "in.png");
         testing::WriteBytes(f / "fake.so", std::vector<uint8_t>(64, 0));
         return Correct(f, "in.png", "out.png", {"--plugin", f / "fake.so"});
     },
     kExitPluginUnavailable,
     {"vexo-host: cannot load the plug-in ", "fake.so"}},
    {"OutputFolderMissing",
     [](const TempFolder& f) {
         WritePng(f, "in.png");
         return Correct(f, "in.png", "no/such/folder/out.png");
     },
     kExitOutputFailed,
     {"vexo-host: cannot write ", "out.png: cannot make a file in the folder ",
      "folder: No such file or directory"}},
    {"OutputLinkIntoAMissingFolder",
     [](const TempFolder& f) {
         WritePng(f, "in.png");
         std::filesystem::create_symlink("missing/out.png", f.Path() / "out.png");
         return Correct(f, "in.png", "out.png");
     },
     kExitOutputFailed,
     {"out.png: cannot make a file in the folder ", "missing: No such file or directory"}},
    {"OutputLinkThatLoops",
     [](const TempFolder& f) {
         WritePng(f, "in.png");
         std::filesystem::create_symlink("b.png", f.Path() / "a.png");
         std::filesystem::create_symlink("a.png", f.Path() / "b.png");
         return Correct(f, "in.png", "a.png");
     },
     kExitOutputFailed,
     {"vexo-host: cannot write ", "a.png: it is a symbolic link that loops"}},
    {"EmptyOutput",
     [](const TempFolder& f) {
         WritePng(f, "in.png");
         return std::vector<std::string>{"correct", f / "in.png", ""};
     },
     kExitUsage,
     {"vexo-host: OUTPUT: takes a file's path, not an empty one"}},
    {"OutputInAFolderItsUserMayNotWrite",
     [](const TempFolder& f) {
         WritePng(f, "out.png", 32, 32);
         return CorrectAsAnotherUser(f, 0755);
     },
     kExitOutputFailed,
     {"vexo-host: cannot write ", "out.png: cannot make a file in the folder ",
      ": Permission denied"},
     Memory::Unlimited,
     User::Another},
    {"AnotherUsersOutputInAStickyFolder",
     [](const TempFolder& f) {
         WritePng(f, "out.png", 32, 32);
         const std::vector<std::string> args = CorrectAsAnotherUser(f, 01777);
         chmod((f / "out.png").c_str(), 0666);  // theirs to write, not to replace
         return args;
     },
     kExitOutputFailed,
     {"vexo-host: cannot write ", "out.png: it is another user's file, and the folder ",
      " is sticky: only the file's owner or the folder's may replace it"},
     Memory::Unlimited,
     User::Another},
    {"PngOutputBeyondTheFileSizeLimit",
     [](const TempFolder& f) { return CorrectBeyondTheFileSizeLimit(f, FileFormat::Png); },
     kExitOutputFailed,
     {"vexo-host: cannot write ", "out.png: File too large"},
     Memory::Unlimited,
     User::Us,
     kFileSizeLimit},
    {"TiffOutputBeyondTheFileSizeLimit",
     [](const TempFolder& f) { return CorrectBeyondTheFileSizeLimit(f, FileFormat::Tiff); },
     kExitOutputFailed,
     {"vexo-host: cannot write ", "out.tif: File too large"},
     Memory::Unlimited,
     User::Us,
     kFileSizeLimit},
    {"FifoAsOutput",
     [](const TempFolder& f) {
         WritePng(f, "in.png");
         mkfifo((f / "out.png").c_str(), 0644);
         return Correct(f, "in.png", "out.png");
     },
     kExitOutputFailed,
     {"vexo-host: cannot write ", "out.png: it is a FIFO, not a regular file"}},
    {"OutputOfAnotherFormat",
     [](const TempFolder& f) {
         WritePng(f, "in.png");
         return Correct(f, "in.png", "out.tif");
     },
     kExitUsage,
     {"the output keeps the input's format, PNG, but "}},
    {"UnknownOption",
     [](const TempFolder& f) {
         WritePng(f, "in.png");
         return Correct(f, "in.png", "out.png", {"--strength", "3"});
     },
     kExitUsage,
     {"vexo-host: ", "--strength", "(see vexo-host --help)"}},
};

class Failure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(Failure, SaysWhyInOneLineAndLosesNothing) {
    const FailureCase& c = GetParam();
    if (c.memory == Memory::FailsOnlyUnderTheLimit && !testing::kAddressSpaceCanBeLimited) {
        GTEST_SKIP() << "the address space of a sanitized build cannot be limited";
    }
    if (c.user == User::Another && geteuid() != 0) {
        GTEST_SKIP() << "only root can run the tool as another user";
    }
    const bool limited = c.memory != Memory::Unlimited && testing::kAddressSpaceCanBeLimited;
    TempFolder folder;
    const std::vector<std::string> args = c.setUp(folder);
    const std::vector<std::string> before = folder.Names();
    // Through links, of which some may loop.
    const auto isRegularFile = [](const std::string& path) {
        std::error_code loops;
        return std::filesystem::is_regular_file(path, loops);
    };
    std::vector<std::vector<uint8_t>> contents;
    std::vector<std::filesystem::file_type> kinds;
    for (const std::string& name : before) {
        contents.push_back(isRegularFile(folder / name) ? testing::FileBytes(folder / name)
                                                        : std::vector<uint8_t>{});
        kinds.push_back(std::filesystem::symlink_status(folder / name).type());
    }

    testing::ToolLaunch launch;
    if (limited) {
        launch.addressSpaceLimit = kMemoryLimit;
    }
    if (c.user == User::Another) {
        launch.user = kAnotherUser;
    }
    if (c.fileSizeLimit) {
        launch.fileSizeLimit = c.fileSizeLimit;
        launch.ignoredSignals = {SIGXFSZ};
    }
    const testing::ToolRun run = RunTool(args, launch);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_EQ(run.out, "");
    for (const std::string& message : c.messages) {
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    }
    // Our own say is the last line, and the only one beside the plug-in's message.
    const size_t ourLine = run.err.rfind("vexo-host: ");
    ASSERT_NE(ourLine, std::string::npos) << run.err;
    EXPECT_EQ(run.err.find('\n', ourLine), run.err.size() - 1) << run.err;
    EXPECT_LE(std::count(run.err.begin(), run.err.end(), '\n'), 2) << run.err;

    EXPECT_EQ(folder.Names(), before);
    for (size_t i = 0; i < before.size(); ++i) {
        EXPECT_EQ(std::filesystem::symlink_status(folder / before[i]).type(), kinds[i])
            << before[i];
        if (isRegularFile(folder / before[i])) {
            EXPECT_EQ(testing::FileBytes(folder / before[i]), contents[i]) << before[i];
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, Failure, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<FailureCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(FailureKeeps, TheInputWhenItWasAlsoTheOutput) {
    TempFolder folder;
    WritePng(folder, "small.png", 20, 20);
    const std::vector<uint8_t> original = testing::FileBytes(folder / "small.png");
    const testing::ToolRun run = RunTool(Correct(folder, "small.png", "small.png"));
    EXPECT_EQ(run.exitCode, kExitPluginFailed);
    EXPECT_EQ(testing::FileBytes(folder / "small.png"), original);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"small.png"});
}

}  // namespace
}  // namespace vexo::hosttool
