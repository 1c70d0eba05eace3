#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string_view>
#include <vector>

// The encodings of the host's binary resources in their Windows form: integers
// little-endian, four-character codes as integers, strings counted or zero-ended.
namespace vexo::resources {

using Bytes = std::vector<std::uint8_t>;

// A four-character code, written in its readable order ("8BIM"). Its value is the
// four characters read as a big-endian number; the file holds that value
// little-endian, so "8BIM" lies in the file as M, I, B, 8.
struct FourCC {
    consteval FourCC(const char (&text)[5])
        : value(std::uint32_t(std::uint8_t(text[0])) << 24 |
                std::uint32_t(std::uint8_t(text[1])) << 16 |
                std::uint32_t(std::uint8_t(text[2])) << 8 | std::uint32_t(std::uint8_t(text[3]))) {}

    std::uint32_t value;
};

class ByteWriter {
public:
    void Byte(std::uint8_t value) { bytes_.push_back(value); }

    void Int16(std::uint16_t value) {
        Byte(std::uint8_t(value));
        Byte(std::uint8_t(value >> 8));
    }

    void Int32(std::uint32_t value) {
        Int16(std::uint16_t(value));
        Int16(std::uint16_t(value >> 16));
    }

    void Code(FourCC code) { Int32(code.value); }

    // A length byte, then the characters.
    void CountedString(std::string_view text) {
        if (text.size() > 255) {
            throw std::length_error("a counted string holds at most 255 characters");
        }
        Byte(std::uint8_t(text.size()));
        AppendText(text);
    }

    // The characters, then a zero byte.
    void CString(std::string_view text) {
        AppendText(text);
        Byte(0);
    }

    void Zeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }

    // Zero bytes up to the next multiple of 4 of everything written so far.
    void PadToMultipleOf4() { Zeros((4 - bytes_.size() % 4) % 4); }

    void Append(const Bytes& data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }

    const Bytes& bytes() const { return bytes_; }

private:
    void AppendText(std::string_view text) {
        bytes_.insert(bytes_.end(), text.begin(), text.end());
    }

    Bytes bytes_;
};

}  // namespace vexo::resources
