#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "BuiltResources.h"
#include "ResourceReader.h"

namespace vexo::test {
namespace {

class PropertyListTest : public testing::Test {
protected:
    void SetUp() override {
        bytes = BuiltPropertyList();
        list = ParsePropertyList(bytes);
    }

    // The one property with this key; fails the test when there is not exactly one.
    const Property& Find(const std::string& key) {
        auto matches = std::count_if(list.properties.begin(), list.properties.end(),
                                     [&](const Property& p) { return p.key == key; });
        EXPECT_EQ(matches, 1) << key;
        for (const Property& property : list.properties) {
            if (property.key == key) {
                return property;
            }
        }
        static const Property missing{};
        return missing;
    }

    Bytes bytes;
    PropertyList list;
};

bool AllZero(const Bytes& data, std::size_t from) {
    return std::all_of(data.begin() + std::ptrdiff_t(std::min(from, data.size())), data.end(),
                       [](std::uint8_t b) { return b == 0; });
}

// The text from offset up to the first zero byte (or the end of the data).
std::string CStringAt(const Bytes& data, std::size_t offset) {
    auto begin = data.begin() + std::ptrdiff_t(std::min(offset, data.size()));
    return std::string(begin, std::find(begin, data.end(), 0));
}

std::uint32_t Int32At(const Bytes& data, std::size_t offset) {
    ByteReader reader(data);
    reader.Take(offset);
    return reader.Int32();
}

// A counted string padded with zeros to the next multiple of 4.
void ExpectPaddedCountedString(const Property& property, const std::string& text) {
    ByteReader reader(property.data);
    EXPECT_EQ(reader.CountedString(), text) << property.key;
    std::size_t used = 1 + text.size();
    EXPECT_EQ(property.data.size(), (used + 3) / 4 * 4) << property.key;
    EXPECT_TRUE(AllZero(property.data, used)) << property.key << ": padding";
}

TEST_F(PropertyListTest, ElevenPropertiesFillTheListExactly) {
    EXPECT_EQ(list.leadingWord, 1);
    EXPECT_EQ(list.version, 0u);
    EXPECT_EQ(list.count, 11u);
    ASSERT_EQ(list.properties.size(), 11u);
    EXPECT_EQ(list.unread, 0u);

    // The host reads to the end of the last property, the filter cases.
    const Property& last = list.properties.back();
    EXPECT_EQ(last.key, "fici");
    EXPECT_EQ(last.offset + last.data.size(), bytes.size());

    // Codes lie in the file as little-endian integers: "8BIM" as M, I, B, 8.
    ASSERT_GE(bytes.size(), 14u);
    EXPECT_EQ(std::string(bytes.begin() + 10, bytes.begin() + 14), "MIB8");
}

TEST_F(PropertyListTest, PropertiesComeInOrderWithTheirLengths) {
    struct Expected {
        const char* key;
        std::size_t length;
    };
    const std::vector<Expected> expected = {
        {"kind", 4},  {"name", 36},  {"catg", 12}, {"vers", 4}, {"8664", 12}, {"mode", 4},
        {"hstm", 56}, {"enbl", 160}, {"ms32", 8},  {"flly", 4}, {"fici", 28},
    };
    ASSERT_EQ(list.properties.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const Property& property = list.properties[i];
        EXPECT_EQ(property.key, expected[i].key) << "property " << i;
        EXPECT_EQ(property.data.size(), expected[i].length) << property.key;
        EXPECT_EQ(property.vendor, "8BIM") << property.key;
        EXPECT_EQ(property.id, 0u) << property.key;
    }
}

TEST_F(PropertyListTest, LibraryIsAFilterModule) {
    const Property& kind = Find("kind");
    ASSERT_EQ(kind.data.size(), 4u);
    EXPECT_EQ(ByteReader(kind.data).Code(), "8BFM");
    EXPECT_EQ(std::string(kind.data.begin(), kind.data.end()), "MFB8");
}

TEST_F(PropertyListTest, MenuNameAndCategoryAreCountedStrings) {
    ExpectPaddedCountedString(Find("name"), "Pellion 3 (Cropped) [x64] v1.2.5");
    ExpectPaddedCountedString(Find("catg"), "Corvane Inc");
}

TEST_F(PropertyListTest, FilterInterfaceVersionIs4Point0) {
    const Property& version = Find("vers");
    ASSERT_EQ(version.data.size(), 4u);
    std::uint32_t value = Int32At(version.data, 0);
    EXPECT_EQ(value >> 16, 4u);
    EXPECT_EQ(value & 0xFFFF, 0u);
}

TEST_F(PropertyListTest, EntryPointIsPluginMain) {
    const Property& entry = Find("8664");
    ASSERT_EQ(entry.data.size(), 12u);
    std::string name = CStringAt(entry.data, 0);
    EXPECT_EQ(name, "PluginMain");
    EXPECT_TRUE(AllZero(entry.data, name.size()));
}

TEST_F(PropertyListTest, ImageModesAreGrayscaleRgbCmykMultichannelAndLab) {
    const Property& mode = Find("mode");
    ASSERT_EQ(mode.data.size(), 4u);
    EXPECT_EQ(mode.data, (Bytes{0x59, 0x40, 0x00, 0x00}));

    // Two flag bytes, each from its most significant bit down.
    const char* const names[16] = {
        "bitmap",  "grayscale", "indexed", "RGB", "CMYK", "HSL", "HSB", "multichannel",
        "duotone", "Lab",       "",        "",    "",     "",    "",    ""};
    std::vector<std::string> enabled;
    for (int bit = 0; bit < 16; ++bit) {
        if (mode.data[bit / 8] & (0x80 >> bit % 8)) {
            enabled.push_back(names[bit]);
        }
    }
    EXPECT_EQ(enabled,
              (std::vector<std::string>{"grayscale", "RGB", "CMYK", "multichannel", "Lab"}));
}

TEST_F(PropertyListTest, TerminologyLinkNamesResource16003AndTheScopeKey) {
    const Property& link = Find("hstm");
    ASSERT_EQ(link.data.size(), 56u);
    ByteReader reader(link.data);
    EXPECT_EQ(reader.Int32(), 0u);
    EXPECT_EQ(reader.Code(), "zVrp");  // class
    EXPECT_EQ(reader.Code(), "zVrp");  // event
    EXPECT_EQ(reader.Int16(), 16003);

    ASSERT_EQ(reader.position(), 14u);
    std::string key = CStringAt(link.data, 14);
    EXPECT_EQ(key, "{A107BD7E-9A2D-4af7-9E85-65C1CDB85D78}");
    EXPECT_EQ(key.size(), 38u);
    EXPECT_TRUE(AllZero(link.data, 14 + key.size())) << "zero and padding from offset 52";
}

TEST_F(PropertyListTest, EnableExpressionIsStoredExactlyIn160Bytes) {
    const Property& enable = Find("enbl");
    ASSERT_EQ(enable.data.size(), 160u);
    std::string expression = CStringAt(enable.data, 0);
    EXPECT_EQ(expression,
              "in (PSHOP_ImageMode, RGBMode, RGB48Mode,CMYKMode, CMYK64Mode,GrayScaleMode, "
              "GrayScale16Mode,LabMode, Lab48Mode, MultichannelMode ) ||PSHOP_ImageDepth == 16");
    EXPECT_EQ(expression.size(), 155u);
    EXPECT_TRUE(AllZero(enable.data, 155)) << "terminating zero and four more";
}

TEST_F(PropertyListTest, LargestImageIsTwoMillionEachWay) {
    const Property& size = Find("ms32");
    ASSERT_EQ(size.data.size(), 8u);
    EXPECT_EQ(Int32At(size.data, 0), 2000000u);  // vertical
    EXPECT_EQ(Int32At(size.data, 4), 2000000u);  // horizontal
}

TEST_F(PropertyListTest, FilterLayersAreSupported) {
    EXPECT_EQ(Find("flly").data, (Bytes{0x80, 0x00, 0x00, 0x00}));
}

TEST_F(PropertyListTest, EveryFilterCasePassesDataStraight) {
    const Property& cases = Find("fici");
    ASSERT_EQ(cases.data.size(), 28u);
    for (std::size_t filterCase = 0; filterCase < 7; ++filterCase) {
        Bytes entry(cases.data.begin() + std::ptrdiff_t(4 * filterCase),
                    cases.data.begin() + std::ptrdiff_t(4 * filterCase + 4));
        EXPECT_EQ(entry, (Bytes{1, 1, 0, 0})) << "filter case " << filterCase + 1;
    }
}

}  // namespace
}  // namespace vexo::test
