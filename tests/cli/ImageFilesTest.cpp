#include <gtest/gtest.h>

#include <tiffio.h>

#include <string>
#include <vector>

#include "tests/cli/OddFiles.h"
#include "tests/cli/ToolTestSupport.h"
#include "tools/host/ImageFiles.h"
#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

using testing::PatternImage;
using testing::TempFolder;

struct Kind {
    FileFormat format;
    ColourModel colour;
    int extras;
    int bits;
};

std::string Describe(const Kind& k) {
    return std::string(FormatName(k.format)) + " " + ColourName(k.colour) + "+" +
           std::to_string(k.extras) + " " + std::to_string(k.bits) + "-bit";
}

const Kind kWritableKinds[] = {
    {FileFormat::Png, ColourModel::Gray, 0, 8},  {FileFormat::Png, ColourModel::Gray, 1, 8},
    {FileFormat::Png, ColourModel::Rgb, 0, 8},   {FileFormat::Png, ColourModel::Rgb, 1, 8},
    {FileFormat::Png, ColourModel::Gray, 0, 16}, {FileFormat::Png, ColourModel::Gray, 1, 16},
    {FileFormat::Png, ColourModel::Rgb, 0, 16},  {FileFormat::Png, ColourModel::Rgb, 1, 16},
    {FileFormat::Tiff, ColourModel::Gray, 0, 8}, {FileFormat::Tiff, ColourModel::Gray, 1, 16},
    {FileFormat::Tiff, ColourModel::Rgb, 0, 8},  {FileFormat::Tiff, ColourModel::Rgb, 1, 16},
    {FileFormat::Tiff, ColourModel::Cmyk, 0, 8}, {FileFormat::Tiff, ColourModel::Cmyk, 0, 16},
    {FileFormat::Tiff, ColourModel::Cmyk, 1, 8}, {FileFormat::Tiff, ColourModel::Rgb, 2, 8},
};

TEST(ImageFiles, EveryKindComesBackAsWritten) {
    TempFolder folder;
    for (const Kind& kind : kWritableKinds) {
        SCOPED_TRACE(Describe(kind));
        RasterImage image = PatternImage(kind.format, kind.colour, kind.extras, kind.bits, 23, 17);
        const std::string path = folder / "image";
        WriteImage(path, image);
        const RasterImage back = ReadImage(path);
        EXPECT_EQ(back.format, kind.format);
        EXPECT_EQ(back.width, 23);
        EXPECT_EQ(back.height, 17);
        EXPECT_EQ(back.colour, kind.colour);
        EXPECT_EQ(back.extraChannels, kind.extras);
        EXPECT_EQ(back.bitsPerSample, kind.bits);
        EXPECT_EQ(back.samples, image.samples);
        EXPECT_TRUE(back.iccProfile.empty());
    }
}

// Exif data as a camera writes it, big-endian: one entry, the orientation (6: the
// stored rows are the picture's columns, turned a quarter).
const std::vector<uint8_t> kExifTurnedAQuarter = {'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0x01, 0x12, 0,
                                                  3,   0,   0, 0,  1, 0, 6, 0, 0, 0, 0,    0,    0};

TEST(ImageFiles, PngKeepsProfileResolutionColourChunksAndExif) {
    TempFolder folder;
    RasterImage image = PatternImage(FileFormat::Png, ColourModel::Rgb, 1, 16, 8, 8);
    image.iccProfile = testing::MinimalIccProfile("RGB ");
    image.png.iccProfileName = "test profile";
    image.resolution = Resolution{3780, 1890, Resolution::Unit::Metre};
    image.png.gamma = 0.45455;
    image.png.chromaticities =
        std::array<int32_t, 8>{31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000};
    image.png.background = std::vector<uint16_t>{65535, 32768, 0};
    image.png.exif = kExifTurnedAQuarter;
    WriteImage(folder / "a.png", image);
    const RasterImage back = ReadImage(folder / "a.png");
    EXPECT_EQ(back.iccProfile, image.iccProfile);
    EXPECT_EQ(back.png.iccProfileName, "test profile");
    EXPECT_EQ(back.resolution, image.resolution);
    ASSERT_TRUE(back.png.gamma);
    EXPECT_NEAR(*back.png.gamma, 0.45455, 1e-5);
    EXPECT_EQ(back.png.chromaticities, image.png.chromaticities);
    EXPECT_EQ(back.png.background, image.png.background);
    EXPECT_EQ(back.png.exif, image.png.exif);
    const std::vector<std::string> chunks =
        testing::PngChunkTypes(testing::FileBytes(folder / "a.png"));
    EXPECT_EQ(std::count(chunks.begin(), chunks.end(), "eXIf"), 1);

    RasterImage gray = PatternImage(FileFormat::Png, ColourModel::Gray, 0, 8, 8, 8);
    gray.png.srgbIntent = 1;
    gray.png.transparentColour = std::vector<uint16_t>{7};
    gray.png.background = std::vector<uint16_t>{200};
    gray.resolution = Resolution{10, 20, Resolution::Unit::None};
    WriteImage(folder / "b.png", gray);
    const RasterImage grayBack = ReadImage(folder / "b.png");
    EXPECT_EQ(grayBack.png.srgbIntent, 1);
    // libpng's chromaticities for sRGB, which the file does not have.
    EXPECT_FALSE(grayBack.png.chromaticities);
    EXPECT_EQ(grayBack.png.transparentColour, gray.png.transparentColour);
    EXPECT_EQ(grayBack.png.background, gray.png.background);
    EXPECT_EQ(grayBack.resolution, gray.resolution);
}

// libpng's own limit for a chunk's memory is 8,000,000 bytes.
TEST(ImageFiles, PngKeepsAProfileLongerThanLibpngsOwnLimit) {
    TempFolder folder;
    RasterImage image = PatternImage(FileFormat::Png, ColourModel::Rgb, 0, 8, 8, 8);
    image.iccProfile = testing::MinimalIccProfile("RGB ", 8'000'400);
    WriteImage(folder / "a.png", image);
    EXPECT_EQ(ReadImage(folder / "a.png").iccProfile, image.iccProfile);
}

TEST(ImageFiles, PngKeepsExifThatComesAfterThePixels) {
    TempFolder folder;
    testing::WritePngWithChunks(folder / "late.png", 8, 8,
                                {{"eXIf", kExifTurnedAQuarter, /*afterPixels=*/true}});
    const RasterImage image = ReadImage(folder / "late.png");
    EXPECT_EQ(image.png.exif, kExifTurnedAQuarter);
}

TEST(ImageFiles, TiffKeepsProfileResolutionCompressionAndAlphaKind) {
    TempFolder folder;
    RasterImage image = PatternImage(FileFormat::Tiff, ColourModel::Cmyk, 1, 16, 8, 8);
    image.iccProfile = testing::MinimalIccProfile("CMYK");
    image.resolution = Resolution{300, 150, Resolution::Unit::Inch};
    image.tiff.compression = COMPRESSION_LZW;
    image.tiff.predictor = PREDICTOR_HORIZONTAL;
    image.tiff.extraSampleKinds = {EXTRASAMPLE_ASSOCALPHA};
    image.tiff.orientation = ORIENTATION_BOTRIGHT;
    WriteImage(folder / "a.tif", image);
    const RasterImage back = ReadImage(folder / "a.tif");
    EXPECT_EQ(back.samples, image.samples);
    EXPECT_EQ(back.iccProfile, image.iccProfile);
    EXPECT_EQ(back.resolution, image.resolution);
    EXPECT_EQ(back.tiff.compression, COMPRESSION_LZW);
    EXPECT_EQ(back.tiff.predictor, PREDICTOR_HORIZONTAL);
    EXPECT_EQ(back.tiff.extraSampleKinds, image.tiff.extraSampleKinds);
    EXPECT_EQ(back.tiff.orientation, ORIENTATION_BOTRIGHT);

    // A lossy input compression is not repeated on the way out.
    image.tiff.compression = COMPRESSION_JPEG;
    image.resolution = Resolution{40, 40, Resolution::Unit::Centimetre};
    WriteImage(folder / "b.tif", image);
    const RasterImage lossless = ReadImage(folder / "b.tif");
    EXPECT_EQ(lossless.tiff.compression, COMPRESSION_LZW);
    EXPECT_EQ(lossless.samples, image.samples);
    EXPECT_EQ(lossless.resolution, image.resolution);
}

TEST(ImageFiles, Reads16BitPngSamplesInEitherByteOrderOfTheMachine) {
    TempFolder folder;
    const std::vector<uint16_t> samples = {0x0000, 0x1234, 0xFF01, 0xFFFF};
    testing::WriteGray16Png(folder / "deep.png", samples);
    const RasterImage image = ReadImage(folder / "deep.png");
    ASSERT_EQ(image.bitsPerSample, 16);
    EXPECT_EQ(image.samples, samples);
}

TEST(ImageFiles, ReadsInterlacedPngFiles) {
    TempFolder folder;
    for (const int bits : {8, 16}) {
        const RasterImage image = PatternImage(FileFormat::Png, ColourModel::Rgb, 1, bits, 29, 19);
        testing::WriteInterlacedPng(folder / "interlaced.png", image);
        const RasterImage back = ReadImage(folder / "interlaced.png");
        EXPECT_EQ(back.bitsPerSample, bits);
        EXPECT_EQ(back.samples, image.samples) << bits << "-bit";
    }
}

TEST(ImageFiles, ReadsTiffSamplesStoredPlaneByPlane) {
    TempFolder folder;
    testing::OddTiff interleaved{.bitsPerSample = 16, .samplesPerPixel = 3, .photometric = 2};
    testing::OddTiff separate = interleaved;
    separate.planarConfig = PLANARCONFIG_SEPARATE;
    testing::WriteOddTiff(folder / "contig.tif", interleaved);
    testing::WriteOddTiff(folder / "separate.tif", separate);
    const RasterImage a = ReadImage(folder / "contig.tif");
    const RasterImage b = ReadImage(folder / "separate.tif");
    EXPECT_EQ(a.samples, b.samples);
    EXPECT_EQ(a.samples[a.SampleIndex(2, 1, 2)], 2 * 3 + 1 * 5 + 2 * 17);
}

void ExpectRefused(const std::string& path, const std::string& message) {
    try {
        ReadImage(path);
        ADD_FAILURE() << path << " was read";
    } catch (const ToolError& e) {
        EXPECT_EQ(e.Code(), kExitBadInput) << e.what();
        EXPECT_NE(std::string(e.what()).find(message), std::string::npos) << e.what();
        EXPECT_EQ(std::string(e.what()).find('\n'), std::string::npos) << e.what();
    }
}

TEST(ImageFiles, RefusesWhatItCannotCorrectAndSaysWhy) {
    TempFolder folder;
    using testing::OddTiff;
    testing::WritePalettePng(folder / "palette.png", 30, 30);
    testing::WriteGrayPngOfDepth(folder / "four-bit.png", 30, 30, 4);
    testing::WriteGrayPngOfDepth(folder / "wide.png", 40000, 1, 8);
    const struct {
        const char* name;
        OddTiff tiff;
        const char* message;
    } tiffs[] = {
        {"signed.tif",
         {.bitsPerSample = 16, .sampleFormat = SAMPLEFORMAT_INT},
         "signed or floating-point TIFF files are not supported"},
        {"float.tif",
         {.bitsPerSample = 32, .sampleFormat = SAMPLEFORMAT_IEEEFP},
         "32-bit samples are not supported"},
        {"white.tif", {.photometric = PHOTOMETRIC_MINISWHITE}, "white-is-zero gray"},
        {"lab.tif", {.samplesPerPixel = 3, .photometric = PHOTOMETRIC_CIELAB}, "photometric 8"},
        {"tiled.tif", {.tiled = true}, "tiled TIFF files are not supported"},
        {"pages.tif", {.pages = 2}, "multi-page TIFF files are not supported"},
    };
    for (const auto& t : tiffs) {
        testing::WriteOddTiff(folder / t.name, t.tiff);
        ExpectRefused(folder / t.name, t.message);
    }
    ExpectRefused(folder / "palette.png", "indexed-colour PNG files are not supported");
    ExpectRefused(folder / "four-bit.png", "4-bit samples are not supported (8 and 16 are)");
    ExpectRefused(folder / "wide.png",
                  "40000 x 1 pixels; the filter interface allows at most 32767");

    testing::WriteBytes(folder / "text.png", std::vector<uint8_t>(100, 'a'));
    ExpectRefused(folder / "text.png", "is not a PNG or TIFF file");
    testing::WriteBytes(folder / "short", {0x89, 'P'});
    ExpectRefused(folder / "short", "is too short to be an image file");
    WriteImage(folder / "whole.png", PatternImage(FileFormat::Png, ColourModel::Rgb, 0, 8));
    std::vector<uint8_t> cut = testing::FileBytes(folder / "whole.png");
    cut.resize(cut.size() / 2);
    testing::WriteBytes(folder / "cut.png", cut);
    ExpectRefused(folder / "cut.png", "is not a valid PNG file: ");
    WriteImage(folder / "whole.tif", PatternImage(FileFormat::Tiff, ColourModel::Rgb, 0, 8));
    cut = testing::FileBytes(folder / "whole.tif");
    cut.resize(cut.size() / 2);
    testing::WriteBytes(folder / "cut.tif", cut);
    ExpectRefused(folder / "cut.tif", "is not a valid TIFF file: ");
    ExpectRefused(folder / "missing.png",
                  "cannot read " + folder / "missing.png" + ": No such file or directory");
    ExpectRefused(folder.Path().string(), "it is a folder");
}

TEST(ImageFiles, TellsFormatsByExtension) {
    const struct {
        const char* name;
        ExtensionKind kind;
    } cases[] = {
        {"a.png", ExtensionKind::Png},        {"dir.d/A.PNG", ExtensionKind::Png},
        {"a.tif", ExtensionKind::Tiff},       {"a.TIFF", ExtensionKind::Tiff},
        {"a.jpg", ExtensionKind::OtherImage}, {"a.jpeg", ExtensionKind::OtherImage},
        {"a", ExtensionKind::Unknown},        {"a.out", ExtensionKind::Unknown},
        {"png", ExtensionKind::Unknown},      {".png.x", ExtensionKind::Unknown},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KindOfExtension(c.name), c.kind) << c.name;
    }
}

}  // namespace
}  // namespace vexo::hosttool
