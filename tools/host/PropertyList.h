#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

// The plug-in property list as a host reads it, in its Windows byte layout:
// little-endian integers, and four-character codes stored as little-endian
// 32-bit numbers whose value is the characters read as a big-endian number.
namespace vexo::hosttool {

using FourCC = uint32_t;

constexpr FourCC MakeFourCC(const char (&code)[5]) {
    return static_cast<FourCC>(static_cast<uint8_t>(code[0])) << 24 |
           static_cast<FourCC>(static_cast<uint8_t>(code[1])) << 16 |
           static_cast<FourCC>(static_cast<uint8_t>(code[2])) << 8 |
           static_cast<FourCC>(static_cast<uint8_t>(code[3]));
}
// The code's four characters, with anything unprintable shown as '?'.
std::string FourCCText(FourCC code);

struct Property {
    FourCC vendor = 0;
    FourCC key = 0;
    int32_t id = 0;
    std::vector<uint8_t> data;  // padding included
};

struct PropertyList {
    int16_t leadingWord = 0;
    int32_t version = 0;
    std::vector<Property> properties;

    // The first property of this key, or null.
    const Property* Find(FourCC key) const;
};

// Throws std::runtime_error saying what is wrong with a malformed list.
PropertyList ParsePropertyList(std::span<const uint8_t> bytes);

// What a host makes of the list, as labelled lines in the list's own order:
// kind, name, category, interface version, entry points, image modes, enable
// expression, maximum size, filter-case handling and the rest.
std::vector<std::pair<std::string, std::string>> DescribePropertyList(const PropertyList& list);

// The name of the 64-bit x86 entry point, or empty when the list has none.
std::string X64EntryPoint(const PropertyList& list);

}  // namespace vexo::hosttool
