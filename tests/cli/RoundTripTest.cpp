// The tool end to end: each file kind goes through the real binary and the real
// plug-in, and must come out as the plug-in's own correction of its samples,
// computed here in-process over the same planes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>

#include "tests/cli/OddFiles.h"
#include "tests/cli/ToolRunner.h"
#include "tests/cli/ToolTestSupport.h"
#include "tools/host/FilterHost.h"
#include "tools/host/ImageFiles.h"
#include "tools/host/PluginLibrary.h"
#include "tools/host/PluginSession.h"

namespace vexo::hosttool {
namespace {

using filterhost::HostImage;
using testing::PatternImage;
using testing::RunTool;
using testing::TempFolder;

struct Expected {
    RasterImage image;
    bool overshoot = false;  // whether the plug-in wrote 16-bit samples above 32768
};

// The conversions in their plain form, kept apart from the tool's.
uint16_t InToHost(const RasterImage& image, uint16_t v) {
    return image.bitsPerSample == 8
               ? v
               : static_cast<uint16_t>(std::floor(v * 32768.0 / 65535.0 + 0.5));
}
uint16_t HostToOut(const RasterImage& image, uint16_t h) {
    return image.bitsPerSample == 8 ? h
                                    : static_cast<uint16_t>(std::floor(
                                          std::min<int>(h, 32768) * 65535.0 / 32768.0 + 0.5));
}

// What the plug-in makes of the image's samples when our host runs it here.
Expected PluginCorrection(const RasterImage& input) {
    HostImage planes(input.width, input.height, input.Channels(), input.bitsPerSample);
    planes.Fill([&](int plane, int32_t x, int32_t y) {
        return InToHost(input, input.samples[input.SampleIndex(x, y, plane)]);
    });
    filterhost::PluginLibrary library(VEXO_PLUGIN);
    filterhost::FilterHost host(std::move(planes));
    filterhost::PluginSession session(host, library.Entry());
    const filterhost::SessionOutcome outcome = session.Run();
    EXPECT_EQ(outcome.result, noErr);

    Expected expected{input};
    for (int plane = 0; plane < input.Channels(); ++plane) {
        for (int32_t y = 0; y < input.height; ++y) {
            for (int32_t x = 0; x < input.width; ++x) {
                const uint16_t h = host.Image().Sample(plane, x, y);
                expected.overshoot |= input.bitsPerSample == 16 && h > 32768;
                expected.image.samples[input.SampleIndex(x, y, plane)] = HostToOut(input, h);
            }
        }
    }
    return expected;
}

// Standard error of a run: nothing but a progress line for each tenth.
::testing::AssertionResult IsProgress(const std::string& err) {
    std::istringstream lines(err);
    std::string line;
    std::string last;
    int tenth = 0;
    while (std::getline(lines, line)) {
        last = line;
        int percent = -1;
        if (std::sscanf(line.c_str(), "correcting: %d%%", &percent) != 1 || percent / 10 != tenth) {
            return ::testing::AssertionFailure() << "line " << tenth << " is '" << line << "' in\n"
                                                 << err;
        }
        ++tenth;
    }
    if (tenth != 11 || last != "correcting: 100%" || err.back() != '\n') {
        return ::testing::AssertionFailure() << "no progress to 100% in\n" << err;
    }
    return ::testing::AssertionSuccess();
}

struct Kind {
    const char* name;
    FileFormat format;
    ColourModel colour;
    int extras;
    int bits;
};

class RoundTrip : public ::testing::TestWithParam<Kind> {};

TEST_P(RoundTrip, OutputIsThePluginsCorrectionOfTheInput) {
    const Kind& kind = GetParam();
    TempFolder folder;
    const char* extension = kind.format == FileFormat::Png ? ".png" : ".tif";
    const std::string input = folder / (std::string("in") + extension);
    const std::string output = folder / (std::string("out") + extension);
    const RasterImage image = PatternImage(kind.format, kind.colour, kind.extras, kind.bits);
    WriteImage(input, image);

    const testing::ToolRun run = RunTool({"correct", input, output});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(IsProgress(run.err));

    const RasterImage corrected = ReadImage(output);
    EXPECT_EQ(corrected.format, kind.format);
    EXPECT_EQ(corrected.colour, kind.colour);
    EXPECT_EQ(corrected.extraChannels, kind.extras);
    EXPECT_EQ(corrected.bitsPerSample, kind.bits);
    const Expected expected = PluginCorrection(image);
    EXPECT_NE(expected.image.samples, image.samples);  // the plug-in did change something
    EXPECT_EQ(corrected.samples, expected.image.samples);
    if (kind.bits == 16) {
        // The pattern's hard edges make the plug-in overshoot, so the clamp is tried.
        EXPECT_TRUE(expected.overshoot);
    }
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{std::string("in") + extension,
                                                        std::string("out") + extension}));
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RoundTrip,
    ::testing::Values(Kind{"PngGray8", FileFormat::Png, ColourModel::Gray, 0, 8},
                      Kind{"PngGrayAlpha16", FileFormat::Png, ColourModel::Gray, 1, 16},
                      Kind{"PngRgb8", FileFormat::Png, ColourModel::Rgb, 0, 8},
                      Kind{"PngRgb16", FileFormat::Png, ColourModel::Rgb, 0, 16},
                      Kind{"PngRgba8", FileFormat::Png, ColourModel::Rgb, 1, 8},
                      Kind{"PngRgba16", FileFormat::Png, ColourModel::Rgb, 1, 16},
                      Kind{"TiffGray16", FileFormat::Tiff, ColourModel::Gray, 0, 16},
                      Kind{"TiffRgb8", FileFormat::Tiff, ColourModel::Rgb, 0, 8},
                      Kind{"TiffRgba16", FileFormat::Tiff, ColourModel::Rgb, 1, 16},
                      Kind{"TiffCmyk8", FileFormat::Tiff, ColourModel::Cmyk, 0, 8},
                      Kind{"TiffCmyk16", FileFormat::Tiff, ColourModel::Cmyk, 0, 16},
                      Kind{"TiffCmykAlpha8", FileFormat::Tiff, ColourModel::Cmyk, 1, 8},
                      // As many planes as the plug-in corrects.
                      Kind{"TiffRgbAndSevenExtras16", FileFormat::Tiff, ColourModel::Rgb, 7, 16}),
    [](const ::testing::TestParamInfo<Kind>& info) { return std::string(info.param.name); });

TEST(EndToEnd, ASelectionIsReportedAndTheWholeImageCorrected) {
    TempFolder folder;
    const RasterImage image = PatternImage(FileFormat::Png, ColourModel::Rgb, 0, 8);
    WriteImage(folder / "in.png", image);
    const testing::ToolRun run = RunTool({"correct", "--quiet", "--selection", "10,10,40,40",
                                          folder / "in.png", folder / "out.png"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(ReadImage(folder / "out.png").samples, PluginCorrection(image).image.samples);
}

// What a viewer displays the image by: its profile (one longer than libpng's own
// limit for a chunk among them), resolution, colour chunks and orientation.
TEST(EndToEnd, KeepsWhatTheInputIsDisplayedBy) {
    TempFolder folder;
    RasterImage png = PatternImage(FileFormat::Png, ColourModel::Rgb, 0, 8);
    png.iccProfile = testing::MinimalIccProfile("RGB ", 8'000'400);
    png.resolution = Resolution{11811, 11811, Resolution::Unit::Metre};
    png.png.gamma = 0.45455;
    png.png.chromaticities =
        std::array<int32_t, 8>{31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
    png.png.background = std::vector<uint16_t>{255, 128, 0};
    // Orientation 6: a viewer turns the stored rows a quarter.
    png.png.exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 0x01, 3,
                    0,   1,   0,  0, 0, 6, 0, 0, 0, 0, 0,    0,    0};
    RasterImage tiff = PatternImage(FileFormat::Tiff, ColourModel::Cmyk, 0, 16);
    tiff.iccProfile = testing::MinimalIccProfile("CMYK");
    tiff.resolution = Resolution{300, 300, Resolution::Unit::Inch};
    tiff.tiff.orientation = 6;
    for (const RasterImage& image : {png, tiff}) {
        const std::string input = folder / (image.format == FileFormat::Png ? "in.png" : "in.tif");
        WriteImage(input, image);
        const testing::ToolRun run = RunTool({"correct", "-q", input, input + ".out"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const RasterImage corrected = ReadImage(input + ".out");
        EXPECT_EQ(corrected.iccProfile, image.iccProfile) << input;
        EXPECT_EQ(corrected.resolution, image.resolution) << input;
        EXPECT_EQ(corrected.png.gamma, ReadImage(input).png.gamma) << input;
        EXPECT_EQ(corrected.png.chromaticities, image.png.chromaticities) << input;
        EXPECT_EQ(corrected.png.background, image.png.background) << input;
        EXPECT_EQ(corrected.png.exif, image.png.exif) << input;
        EXPECT_EQ(corrected.tiff.orientation, image.tiff.orientation) << input;
    }
}

// A profile whose header claims gigabytes that its chunk cannot hold is dropped, as
// any malformed profile is, and takes no memory for what it claims: under a limit
// far below that, the run succeeds.
TEST(EndToEnd, DropsAProfileLongerThanItsChunkCanHoldWithoutTakingMemoryForIt) {
    if (!testing::kAddressSpaceCanBeLimited) {
        GTEST_SKIP() << "the address space of a sanitized build cannot be limited";
    }
    TempFolder folder;
    const std::vector<uint8_t> start = testing::IccProfileStart("RGB ", 0xFFFFFF00);
    testing::WritePngWithChunks(folder / "in.png", 32, 32,
                                {{"iCCP", testing::IccpChunkData(start, start.size())}});
    testing::ToolLaunch launch;
    launch.addressSpaceLimit = uint64_t{512} << 20;
    const testing::ToolRun run =
        RunTool({"correct", "-q", folder / "in.png", folder / "out.png"}, launch);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(ReadImage(folder / "out.png").iccProfile.empty());
}

TEST(EndToEnd, ReplacesTheInputWhenAskedToAndTheRunSucceeds) {
    TempFolder folder;
    const RasterImage image = PatternImage(FileFormat::Tiff, ColourModel::Gray, 0, 8);
    const std::string path = folder / "photo.tif";
    WriteImage(path, image);
    const testing::ToolRun run = RunTool({"correct", "-q", path, path});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadImage(path).samples, PluginCorrection(image).image.samples);
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"photo.tif"});
}

// As the shell's > does: the file that a dangling link points to is made, and the
// link stays.
TEST(EndToEnd, MakesTheFileADanglingOutputLinkPointsTo) {
    TempFolder folder;
    const RasterImage image = PatternImage(FileFormat::Png, ColourModel::Rgb, 0, 8);
    const std::string input = folder / "in.png";
    WriteImage(input, image);
    std::filesystem::create_directory(folder.Path() / "h");
    std::filesystem::create_directory(folder.Path() / "e");
    const std::string link = folder / "h/l.png";
    std::filesystem::create_symlink("../e/missing.png", link);

    const testing::ToolRun run = RunTool({"correct", "-q", input, link});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(ReadImage(folder / "e/missing.png").samples, PluginCorrection(image).image.samples);
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"e", "h", "in.png"}));
}

// A user replaces a read-only output of theirs in a folder of theirs. Root could
// write to it anyway, so as root the tool runs as an unprivileged user.
TEST(EndToEnd, ReplacesAReadOnlyOutputItsUserOwns) {
    testing::ToolLaunch launch;
    std::string plugin = VEXO_PLUGIN;
    if (geteuid() == 0) {
        launch.user = testing::ToolLaunch::User{65534, 65534};
        plugin = testing::ReachableByOtherUsers().plugin;
    }
    TempFolder folder;
    const RasterImage image = PatternImage(FileFormat::Png, ColourModel::Rgb, 0, 8);
    const std::string input = folder / "in.png";
    const std::string output = folder / "out.png";
    WriteImage(input, image);
    WriteImage(output, PatternImage(FileFormat::Png, ColourModel::Gray, 0, 8, 32, 32));
    chmod(output.c_str(), 0444);
    if (launch.user) {
        for (const std::string& path : {folder.Path().string(), input, output}) {
            ASSERT_EQ(chown(path.c_str(), launch.user->uid, launch.user->gid), 0) << path;
        }
    }

    const testing::ToolRun run =
        RunTool({"correct", "-q", "--plugin", plugin, input, output}, launch);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(ReadImage(output).samples, PluginCorrection(image).image.samples);
    struct stat info {};
    ASSERT_EQ(stat(output.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0444u);
    EXPECT_EQ(folder.Names(), (std::vector<std::string>{"in.png", "out.png"}));
}

}  // namespace
}  // namespace vexo::hosttool
