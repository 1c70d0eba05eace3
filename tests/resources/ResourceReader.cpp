#include "ResourceReader.h"

#include <stdexcept>
#include <utility>

namespace vexo::test {

std::span<const std::uint8_t> ByteReader::Next(std::size_t count) {
    if (count > remaining()) {
        throw std::runtime_error("the bytes end inside a field at offset " +
                                 std::to_string(position_));
    }
    std::span<const std::uint8_t> field = bytes_.subspan(position_, count);
    position_ += count;
    return field;
}

std::uint8_t ByteReader::Byte() {
    return Next(1)[0];
}

std::uint16_t ByteReader::Int16() {
    std::span<const std::uint8_t> b = Next(2);
    return std::uint16_t(b[0] | b[1] << 8);
}

std::uint32_t ByteReader::Int32() {
    std::span<const std::uint8_t> b = Next(4);
    return std::uint32_t(b[0]) | std::uint32_t(b[1]) << 8 | std::uint32_t(b[2]) << 16 |
           std::uint32_t(b[3]) << 24;
}

std::string ByteReader::Code() {
    std::uint32_t value = Int32();
    return {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
}

std::string ByteReader::CountedString() {
    std::span<const std::uint8_t> text = Next(Byte());
    return {text.begin(), text.end()};
}

Bytes ByteReader::Take(std::size_t count) {
    std::span<const std::uint8_t> field = Next(count);
    return {field.begin(), field.end()};
}

PropertyList ParsePropertyList(std::span<const std::uint8_t> bytes) {
    ByteReader reader(bytes);
    PropertyList list{};
    list.leadingWord = reader.Int16();
    list.version = reader.Int32();
    list.count = reader.Int32();
    for (std::uint32_t i = 0; i < list.count; ++i) {
        Property property;
        property.vendor = reader.Code();
        property.key = reader.Code();
        property.id = reader.Int32();
        std::uint32_t length = reader.Int32();
        property.offset = reader.position();
        property.data = reader.Take(length);
        list.properties.push_back(std::move(property));
    }
    list.unread = reader.remaining();
    return list;
}

namespace {

// Every list in the terminology is a 16-bit count and then that many entries.
template <typename ReadEntry>
auto ReadList(ByteReader& reader, ReadEntry readEntry) {
    std::vector<decltype(readEntry(reader))> entries;
    std::uint16_t count = reader.Int16();
    for (std::uint16_t i = 0; i < count; ++i) {
        entries.push_back(readEntry(reader));
    }
    return entries;
}

// The count of a list this reader does not parse, so it must be empty.
std::uint16_t ReadEmptyCount(ByteReader& reader, const std::string& what) {
    std::uint16_t count = reader.Int16();
    if (count != 0) {
        throw std::runtime_error("the suite declares " + what);
    }
    return count;
}

ScriptParameter ReadParameter(ByteReader& reader) {
    ScriptParameter parameter;
    parameter.name = reader.CountedString();
    parameter.key = reader.Code();
    parameter.type = reader.Code();
    parameter.description = reader.CountedString();
    parameter.flags = reader.Int16();
    return parameter;
}

ScriptEvent ReadEvent(ByteReader& reader) {
    ScriptEvent event;
    event.name = reader.CountedString();
    event.description = reader.CountedString();
    event.eventClass = reader.Code();
    event.id = reader.Code();
    event.replyType = reader.Code();
    event.replyDescription = reader.CountedString();
    event.replyFlags = reader.Int16();
    event.directParameterType = reader.Code();
    event.directParameterDescription = reader.CountedString();
    event.directParameterFlags = reader.Int16();
    event.parameters = ReadList(reader, ReadParameter);
    return event;
}

ScriptSuite ReadSuite(ByteReader& reader) {
    ScriptSuite suite;
    suite.name = reader.CountedString();
    suite.description = reader.CountedString();
    suite.id = reader.Code();
    suite.level = reader.Int16();
    suite.version = reader.Int16();
    suite.events = ReadList(reader, ReadEvent);
    suite.classes = ReadEmptyCount(reader, "classes");
    suite.comparisonOperators = ReadEmptyCount(reader, "comparison operators");
    suite.enumerations = ReadEmptyCount(reader, "enumerations");
    return suite;
}

}  // namespace

Terminology ParseTerminology(std::span<const std::uint8_t> bytes) {
    ByteReader reader(bytes);
    Terminology terminology{};
    terminology.leadingWord = reader.Int16();
    terminology.majorVersion = reader.Byte();
    terminology.minorVersion = reader.Byte();
    terminology.language = reader.Int16();
    terminology.script = reader.Int16();
    terminology.suites = ReadList(reader, ReadSuite);
    terminology.unread = reader.remaining();
    return terminology;
}

}  // namespace vexo::test
