#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <string>
#include <vector>

#include "tools/host/PropertyList.h"

namespace vexo::hosttool {
namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes& bytes, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
}

// A list in the host's layout, written here byte by byte.
class ListBuilder {
public:
    ListBuilder& Add(const char (&key)[5], const Bytes& data) {
        Put32(properties_, MakeFourCC("8BIM"));
        Put32(properties_, MakeFourCC(key));
        Put32(properties_, 0);
        Put32(properties_, static_cast<uint32_t>(data.size()));
        properties_.insert(properties_.end(), data.begin(), data.end());
        ++count_;
        return *this;
    }
    Bytes Build(uint32_t claimedCount = UINT32_MAX) const {
        Bytes bytes = {1, 0};
        Put32(bytes, 0);
        Put32(bytes, claimedCount == UINT32_MAX ? count_ : claimedCount);
        bytes.insert(bytes.end(), properties_.begin(), properties_.end());
        return bytes;
    }

private:
    Bytes properties_;
    uint32_t count_ = 0;
};

Bytes Code(const char (&code)[5]) {
    Bytes bytes;
    Put32(bytes, MakeFourCC(code));
    return bytes;
}

Bytes Counted(const std::string& text) {
    Bytes bytes(text.size() + 1);
    bytes[0] = static_cast<uint8_t>(text.size());
    std::copy(text.begin(), text.end(), bytes.begin() + 1);
    while (bytes.size() % 4) {
        bytes.push_back(0);
    }
    return bytes;
}

Bytes CText(const std::string& text) {
    Bytes bytes(text.begin(), text.end());
    bytes.push_back(0);
    while (bytes.size() % 4) {
        bytes.push_back(0);
    }
    return bytes;
}

TEST(PropertyList, FourCharacterCodesReadInTheirOwnOrder) {
    // "8BIM" lies in the file as M, I, B, 8.
    Bytes bytes;
    Put32(bytes, MakeFourCC("8BIM"));
    EXPECT_EQ(bytes, (Bytes{'M', 'I', 'B', '8'}));
    EXPECT_EQ(FourCCText(MakeFourCC("8BFM")), "8BFM");
    EXPECT_EQ(FourCCText(0x41000142), "A??B");
}

TEST(PropertyList, ParsesEveryPropertyInOrder) {
    const Bytes bytes = ListBuilder()
                            .Add("kind", Code("8BFM"))
                            .Add("name", Counted("Lens Fix"))
                            .Add("8664", CText("Entry"))
                            .Build();
    const PropertyList list = ParsePropertyList(bytes);
    EXPECT_EQ(list.leadingWord, 1);
    EXPECT_EQ(list.version, 0);
    ASSERT_EQ(list.properties.size(), 3u);
    EXPECT_EQ(list.properties[0].vendor, MakeFourCC("8BIM"));
    EXPECT_EQ(list.properties[1].key, MakeFourCC("name"));
    EXPECT_EQ(list.properties[1].data, Counted("Lens Fix"));
    EXPECT_EQ(X64EntryPoint(list), "Entry");
    EXPECT_EQ(list.Find(MakeFourCC("mode")), nullptr);
    EXPECT_EQ(X64EntryPoint(ParsePropertyList(ListBuilder().Build())), "");
}

TEST(PropertyList, RefusesMalformedLists) {
    const Bytes good = ListBuilder().Add("kind", Code("8BFM")).Add("name", Counted("x")).Build();
    Bytes truncated(good.begin(), good.end() - 1);
    Bytes trailing = good;
    trailing.push_back(0);
    const Bytes overclaimed = ListBuilder().Add("kind", Code("8BFM")).Build(1000);
    for (const Bytes& bad : {truncated, trailing, overclaimed, Bytes{1, 0, 0}}) {
        EXPECT_THROW(ParsePropertyList(bad), std::runtime_error);
    }
}

std::string DescriptionOf(const char (&key)[5], const Bytes& data) {
    const auto lines =
        DescribePropertyList(ParsePropertyList(ListBuilder().Add(key, data).Build()));
    EXPECT_EQ(lines.size(), 1u);
    return lines.empty() ? "" : lines[0].first + " = " + lines[0].second;
}

TEST(PropertyList, DescribesWhatAHostReads) {
    Bytes terminology = {0, 0, 0, 0};
    for (const Bytes& part : {Code("abcd"), Code("efgh")}) {
        terminology.insert(terminology.end(), part.begin(), part.end());
    }
    terminology.push_back(0x83);  // resource 16003, little-endian
    terminology.push_back(0x3E);
    const Bytes scope = CText("{scope}");
    terminology.insert(terminology.end(), scope.begin(), scope.end());
    Bytes size;
    Put32(size, 3000);  // vertical first
    Put32(size, 4000);

    struct Case {
        std::string got;
        std::string expected;
    };
    const Case cases[] = {
        {DescriptionOf("kind", Code("8BFM")), "Kind = 8BFM (filter)"},
        {DescriptionOf("kind", Code("8BIF")), "Kind = 8BIF"},
        {DescriptionOf("name", Counted("Lens Fix")), "Name = Lens Fix"},
        {DescriptionOf("catg", Counted("Tools")), "Category = Tools"},
        {DescriptionOf("vers", Code("\x00\x04\x00\x01")), "Interface version = 4.1"},
        {DescriptionOf("8664", CText("PluginMain")), "Entry point (x64) = PluginMain"},
        {DescriptionOf("wx86", CText("Main32")), "Entry point (x86) = Main32"},
        {DescriptionOf("mode", {0x59, 0x40, 0, 0}),
         "Image modes = grayscale, RGB, CMYK, multichannel, Lab"},
        {DescriptionOf("mode", {0x80, 0x80, 0, 0}), "Image modes = bitmap, duotone"},
        {DescriptionOf("mode", {0, 0, 0, 0}), "Image modes = none"},
        {DescriptionOf("enbl", CText("in (PSHOP_ImageMode, RGBMode)")),
         "Enable expression = in (PSHOP_ImageMode, RGBMode)"},
        {DescriptionOf("ms32", size), "Maximum size = 4000 x 3000 pixels"},
        {DescriptionOf("flly", {0x80, 0, 0, 0}), "Filter layers = supported"},
        {DescriptionOf("flly", {0x00, 0, 0, 0}), "Filter layers = not supported"},
        {DescriptionOf("hstm", terminology),
         "Scripting = class abcd, event efgh, terminology resource 16003, scope {scope}"},
        {DescriptionOf("xyzw", Bytes(8, 0)), "Property xyzw = 8 bytes"},
        {DescriptionOf("ms32", Bytes(4, 0)), "Property ms32 = (malformed, 4 bytes)"},
        {DescriptionOf("name", {9, 'a'}), "Name = (malformed string)"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.got, c.expected);
    }
}

TEST(PropertyList, DescribesEachFilterCase) {
    Bytes cases;
    for (int i = 0; i < 7; ++i) {
        const Bytes entry = {1, 1, 0, 0};
        cases.insert(cases.end(), entry.begin(), entry.end());
    }
    cases[4] = 2;             // the second case mattes its input in black,
    cases[5 * 4 + 1] = 0;     // the sixth cannot filter,
    cases[6 * 4 + 2] = 0x0A;  // the seventh works on blank data and writes outside the selection
    const auto lines =
        DescribePropertyList(ParsePropertyList(ListBuilder().Add("fici", cases).Build()));
    ASSERT_EQ(lines.size(), 8u);
    EXPECT_EQ(lines[0].first, "Filter cases");
    EXPECT_EQ(lines[1].first, "  flat image without selection");
    EXPECT_EQ(lines[1].second, "input straight data, output straight data, no options");
    EXPECT_EQ(lines[2].second, "input black matte, output straight data, no options");
    EXPECT_EQ(lines[6].first, "  protected transparency without selection");
    EXPECT_EQ(lines[6].second, "input straight data, output cannot filter, no options");
    EXPECT_EQ(lines[7].first, "  protected transparency with selection");
    EXPECT_EQ(lines[7].second,
              "input straight data, output straight data, works with blank data, writes outside "
              "selection");
}

}  // namespace
}  // namespace vexo::hosttool
