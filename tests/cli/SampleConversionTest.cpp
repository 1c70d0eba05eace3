#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "tests/cli/ToolTestSupport.h"
#include "tools/host/SampleConversion.h"

namespace vexo::hosttool {
namespace {

using filterhost::HostImage;

// The conversions written the plain way, in double precision.
uint16_t ReferenceFileToHost(uint32_t v) {
    return static_cast<uint16_t>(std::floor(v * 32768.0 / 65535.0 + 0.5));
}
uint16_t ReferenceHostToFile(uint32_t h) {
    return static_cast<uint16_t>(std::floor(std::min(h, 32768u) * 65535.0 / 32768.0 + 0.5));
}

TEST(SampleConversion, AgreesWithThePlainFormulaForEverySample) {
    for (uint32_t v = 0; v <= 65535; ++v) {
        ASSERT_EQ(FileToHost16(static_cast<uint16_t>(v)), ReferenceFileToHost(v)) << v;
        ASSERT_EQ(HostToFile16(static_cast<uint16_t>(v)), ReferenceHostToFile(v)) << v;
    }
}

TEST(SampleConversion, RoundsHalvesUpAndClampsTheOvershoot) {
    struct Case {
        uint16_t host;
        uint16_t file;
    };
    for (const Case& c :
         {Case{0, 0}, Case{1, 2}, Case{16384, 32768},  // 32767.5 goes up
          Case{32767, 65533}, Case{32768, 65535}, Case{32769, 65535}, Case{65535, 65535}}) {
        EXPECT_EQ(HostToFile16(c.host), c.file) << c.host;
    }
    EXPECT_EQ(FileToHost16(1), 1);  // 0.50001
    EXPECT_EQ(FileToHost16(65535), 32768);
}

TEST(SampleConversion, HostSamplesSurviveTheWayOutAndBack) {
    for (uint32_t h = 0; h <= 32768; ++h) {
        ASSERT_EQ(FileToHost16(HostToFile16(static_cast<uint16_t>(h))), h);
    }
    for (uint32_t v = 0; v <= 65535; ++v) {
        const int back = HostToFile16(FileToHost16(static_cast<uint16_t>(v)));
        ASSERT_LE(std::abs(back - static_cast<int>(v)), 1) << v;
    }
}

TEST(SampleConversion, EachChannelBecomesAPlaneAndComesBack) {
    for (int bits : {8, 16}) {
        SCOPED_TRACE(bits);
        const RasterImage image =
            testing::PatternImage(FileFormat::Tiff, ColourModel::Cmyk, 1, bits, 9, 7);
        const HostImage planes = ToHostImage(image);
        ASSERT_EQ(planes.Planes(), 5);
        ASSERT_EQ(planes.BitsPerSample(), bits);
        for (int c = 0; c < 5; ++c) {
            const uint16_t sample = image.samples[image.SampleIndex(6, 4, c)];
            EXPECT_EQ(planes.Sample(c, 6, 4), bits == 8 ? sample : FileToHost16(sample));
        }
        RasterImage back = image;
        std::fill(back.samples.begin(), back.samples.end(), 1);
        StoreHostImage(planes, back);
        if (bits == 8) {
            EXPECT_EQ(back.samples, image.samples);
        } else {
            for (size_t i = 0; i < image.samples.size(); ++i) {
                ASSERT_EQ(back.samples[i], HostToFile16(FileToHost16(image.samples[i])));
            }
        }
    }
}

TEST(SampleConversion, RefusesPlanesOfAnotherShape) {
    RasterImage image = testing::PatternImage(FileFormat::Png, ColourModel::Rgb, 0, 8, 9, 7);
    EXPECT_THROW(StoreHostImage(HostImage(9, 7, 4, 8), image), std::invalid_argument);
    EXPECT_THROW(StoreHostImage(HostImage(9, 7, 3, 16), image), std::invalid_argument);
    EXPECT_THROW(StoreHostImage(HostImage(7, 9, 3, 8), image), std::invalid_argument);
}

}  // namespace
}  // namespace vexo::hosttool
