#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Reads the plug-in property list and the scripting terminology the way a host
// does, from their Windows byte layouts. It knows the formats only, nothing of how
// the plug-in produces them. Every reader throws std::runtime_error when the bytes
// end inside a field.
namespace vexo::test {

using Bytes = std::vector<std::uint8_t>;

class ByteReader {
public:
    explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    std::uint8_t Byte();
    std::uint16_t Int16();
    std::uint32_t Int32();
    // A four-character code, returned in its readable order ("8BIM").
    std::string Code();
    std::string CountedString();
    Bytes Take(std::size_t count);

    std::size_t position() const { return position_; }
    std::size_t remaining() const { return bytes_.size() - position_; }

private:
    std::span<const std::uint8_t> Next(std::size_t count);

    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

struct Property {
    std::string vendor;
    std::string key;
    std::uint32_t id;
    std::size_t offset;  // of the data, from the start of the list
    Bytes data;          // as many bytes as the length field says
};

struct PropertyList {
    std::uint16_t leadingWord;
    std::uint32_t version;
    std::uint32_t count;
    std::vector<Property> properties;
    std::size_t unread;  // bytes after the last property
};

PropertyList ParsePropertyList(std::span<const std::uint8_t> bytes);

struct ScriptParameter {
    std::string name;
    std::string key;
    std::string type;
    std::string description;
    std::uint16_t flags;
};

struct ScriptEvent {
    std::string name;
    std::string description;
    std::string eventClass;
    std::string id;
    std::string replyType;
    std::string replyDescription;
    std::uint16_t replyFlags;
    std::string directParameterType;
    std::string directParameterDescription;
    std::uint16_t directParameterFlags;
    std::vector<ScriptParameter> parameters;
};

struct ScriptSuite {
    std::string name;
    std::string description;
    std::string id;
    std::uint16_t level;
    std::uint16_t version;
    std::vector<ScriptEvent> events;
    std::uint16_t classes;
    std::uint16_t comparisonOperators;
    std::uint16_t enumerations;
};

struct Terminology {
    std::uint16_t leadingWord;
    std::uint8_t majorVersion;
    std::uint8_t minorVersion;
    std::uint16_t language;
    std::uint16_t script;
    std::vector<ScriptSuite> suites;
    std::size_t unread;  // bytes after the last suite
};

// Classes, comparison operators and enumerations are not read: a suite that
// declares any of them throws.
Terminology ParseTerminology(std::span<const std::uint8_t> bytes);

}  // namespace vexo::test
