// How the tool fails: one clear line, a telling exit code, and nothing lost: no
// output, no temporary file, and the input and any earlier output untouched.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
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

struct FailureCase {
    const char* name;
    // Makes the files in the folder and returns the arguments.
    std::function<std::vector<std::string>(const TempFolder&)> setUp;
    int exitCode;
    std::vector<std::string> messages;  // each found in standard error
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
     {"vexo-host: cannot write ", "out.png: No such file or directory"}},
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
    TempFolder folder;
    const std::vector<std::string> args = c.setUp(folder);
    const std::vector<std::string> before = folder.Names();
    std::vector<std::vector<uint8_t>> contents;
    std::vector<std::filesystem::file_type> kinds;
    for (const std::string& name : before) {
        contents.push_back(std::filesystem::is_regular_file(folder / name)
                               ? testing::FileBytes(folder / name)
                               : std::vector<uint8_t>{});
        kinds.push_back(std::filesystem::symlink_status(folder / name).type());
    }

    const testing::ToolRun run = RunTool(args);
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
        if (std::filesystem::is_regular_file(folder / before[i])) {
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
