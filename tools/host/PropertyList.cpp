#include "tools/host/PropertyList.h"

#include <array>
#include <stdexcept>

namespace vexo::hosttool {
namespace {

constexpr FourCC kKind = MakeFourCC("kind");
constexpr FourCC kName = MakeFourCC("name");
constexpr FourCC kCategory = MakeFourCC("catg");
constexpr FourCC kInterfaceVersion = MakeFourCC("vers");
constexpr FourCC kEntryX64 = MakeFourCC("8664");
constexpr FourCC kEntryX86 = MakeFourCC("wx86");
constexpr FourCC kImageModes = MakeFourCC("mode");
constexpr FourCC kTerminology = MakeFourCC("hstm");
constexpr FourCC kEnableExpression = MakeFourCC("enbl");
constexpr FourCC kMaximumSize = MakeFourCC("ms32");
constexpr FourCC kFilterLayers = MakeFourCC("flly");
constexpr FourCC kFilterCases = MakeFourCC("fici");
constexpr FourCC kFilterModule = MakeFourCC("8BFM");

// Image-mode flags, two bytes each read from the most significant bit down.
constexpr std::array<const char*, 10> kModeNames = {
    "bitmap", "grayscale", "indexed colour", "RGB",     "CMYK",
    "HSL",    "HSB",       "multichannel",   "duotone", "Lab"};

constexpr std::array<const char*, 7> kFilterCaseNames = {"flat image without selection",
                                                         "flat image with selection",
                                                         "floating selection",
                                                         "editable transparency without selection",
                                                         "editable transparency with selection",
                                                         "protected transparency without selection",
                                                         "protected transparency with selection"};

// The optional behaviours of a filter case, from the first flag byte's lowest bit.
constexpr std::array<const char*, 4> kFilterCaseFlagNames = {
    "source not copied to destination", "works with blank data", "filters layer mask",
    "writes outside selection"};

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    size_t Left() const { return bytes_.size() - at_; }
    uint32_t Uint32() {
        Need(4);
        const uint32_t value = static_cast<uint32_t>(bytes_[at_]) |
                               static_cast<uint32_t>(bytes_[at_ + 1]) << 8 |
                               static_cast<uint32_t>(bytes_[at_ + 2]) << 16 |
                               static_cast<uint32_t>(bytes_[at_ + 3]) << 24;
        at_ += 4;
        return value;
    }
    uint16_t Uint16() {
        Need(2);
        const auto value = static_cast<uint16_t>(bytes_[at_] | bytes_[at_ + 1] << 8);
        at_ += 2;
        return value;
    }
    std::vector<uint8_t> Bytes(size_t count) {
        Need(count);
        std::vector<uint8_t> out(bytes_.begin() + static_cast<ptrdiff_t>(at_),
                                 bytes_.begin() + static_cast<ptrdiff_t>(at_ + count));
        at_ += count;
        return out;
    }

private:
    void Need(size_t count) const {
        if (Left() < count) {
            throw std::runtime_error("the property list ends in the middle of a property");
        }
    }
    std::span<const uint8_t> bytes_;
    size_t at_ = 0;
};

std::string CountedString(const std::vector<uint8_t>& data) {
    if (data.empty() || data[0] + size_t{1} > data.size()) {
        return "(malformed string)";
    }
    return std::string(data.begin() + 1, data.begin() + 1 + data[0]);
}

std::string CString(const std::vector<uint8_t>& data, size_t from = 0) {
    std::string text;
    for (size_t i = from; i < data.size() && data[i] != 0; ++i) {
        text.push_back(static_cast<char>(data[i]));
    }
    return text;
}

uint32_t Uint32At(const std::vector<uint8_t>& data, size_t offset) {
    if (offset > data.size()) {
        throw std::runtime_error("a property is shorter than its fields");
    }
    Reader reader(std::span<const uint8_t>(data).subspan(offset));
    return reader.Uint32();
}

std::string Join(const std::vector<std::string>& parts, const char* separator) {
    std::string joined;
    for (const std::string& part : parts) {
        joined += (joined.empty() ? "" : separator) + part;
    }
    return joined;
}

std::string Kind(const std::vector<uint8_t>& data) {
    const FourCC kind = Uint32At(data, 0);
    return FourCCText(kind) + (kind == kFilterModule ? " (filter)" : "");
}

std::string InterfaceVersion(const std::vector<uint8_t>& data) {
    const uint32_t version = Uint32At(data, 0);
    return std::to_string(version >> 16) + "." + std::to_string(version & 0xFFFF);
}

std::string ImageModes(const std::vector<uint8_t>& data) {
    if (data.size() < 2) {
        return "(malformed)";
    }
    const unsigned flags = static_cast<unsigned>(data[0] << 8 | data[1]);
    std::vector<std::string> modes;
    for (size_t bit = 0; bit < kModeNames.size(); ++bit) {
        if (flags & (0x8000u >> bit)) {
            modes.emplace_back(kModeNames[bit]);
        }
    }
    return modes.empty() ? "none" : Join(modes, ", ");
}

std::string Terminology(const std::vector<uint8_t>& data) {
    if (data.size() < 14) {
        return "(malformed)";
    }
    const auto resource = static_cast<uint16_t>(data[12] | data[13] << 8);
    return "class " + FourCCText(Uint32At(data, 4)) + ", event " + FourCCText(Uint32At(data, 8)) +
           ", terminology resource " + std::to_string(resource) + ", scope " + CString(data, 14);
}

std::string MaximumSize(const std::vector<uint8_t>& data) {
    const uint32_t vertical = Uint32At(data, 0);
    const uint32_t horizontal = Uint32At(data, 4);
    return std::to_string(horizontal) + " x " + std::to_string(vertical) + " pixels";
}

std::string FilterLayers(const std::vector<uint8_t>& data) {
    return !data.empty() && (data[0] & 0x80) ? "supported" : "not supported";
}

std::string DataHandling(uint8_t handling) {
    static constexpr std::array<const char*, 12> kNames = {
        "cannot filter", "straight data", "black matte",    "gray matte",
        "white matte",   "defringe",      "black zap",      "gray zap",
        "white zap",     "(9)",           "background zap", "foreground zap"};
    return handling < kNames.size() ? kNames[handling] : "(" + std::to_string(handling) + ")";
}

void DescribeFilterCases(const std::vector<uint8_t>& data,
                         std::vector<std::pair<std::string, std::string>>& lines) {
    lines.emplace_back("Filter cases", "");
    for (size_t filterCase = 0; filterCase < kFilterCaseNames.size(); ++filterCase) {
        const size_t at = filterCase * 4;
        if (at + 4 > data.size()) {
            break;
        }
        std::vector<std::string> flags;
        for (size_t bit = 0; bit < kFilterCaseFlagNames.size(); ++bit) {
            if (data[at + 2] & (1u << bit)) {
                flags.emplace_back(kFilterCaseFlagNames[bit]);
            }
        }
        lines.emplace_back(std::string("  ") + kFilterCaseNames[filterCase],
                           "input " + DataHandling(data[at]) + ", output " +
                               DataHandling(data[at + 1]) + ", " +
                               (flags.empty() ? "no options" : Join(flags, ", ")));
    }
}

}  // namespace

std::string FourCCText(FourCC code) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const auto c = static_cast<char>(code >> shift & 0xFF);
        text.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    }
    return text;
}

const Property* PropertyList::Find(FourCC key) const {
    for (const Property& property : properties) {
        if (property.key == key) {
            return &property;
        }
    }
    return nullptr;
}

PropertyList ParsePropertyList(std::span<const uint8_t> bytes) {
    Reader reader(bytes);
    PropertyList list;
    list.leadingWord = static_cast<int16_t>(reader.Uint16());
    list.version = static_cast<int32_t>(reader.Uint32());
    const uint32_t count = reader.Uint32();
    // Each property takes at least its 16-byte header: a count beyond that is a lie.
    if (count > reader.Left() / 16) {
        throw std::runtime_error("the property list claims " + std::to_string(count) +
                                 " properties but holds " + std::to_string(bytes.size()) +
                                 " bytes");
    }
    for (uint32_t i = 0; i < count; ++i) {
        Property property;
        property.vendor = reader.Uint32();
        property.key = reader.Uint32();
        property.id = static_cast<int32_t>(reader.Uint32());
        property.data = reader.Bytes(reader.Uint32());
        list.properties.push_back(std::move(property));
    }
    if (reader.Left() != 0) {
        throw std::runtime_error(std::to_string(reader.Left()) +
                                 " bytes follow the property list's last property");
    }
    return list;
}

std::vector<std::pair<std::string, std::string>> DescribePropertyList(const PropertyList& list) {
    std::vector<std::pair<std::string, std::string>> lines;
    for (const Property& property : list.properties) {
        const std::vector<uint8_t>& data = property.data;
        try {
            switch (property.key) {
                case kKind:
                    lines.emplace_back("Kind", Kind(data));
                    break;
                case kName:
                    lines.emplace_back("Name", CountedString(data));
                    break;
                case kCategory:
                    lines.emplace_back("Category", CountedString(data));
                    break;
                case kInterfaceVersion:
                    lines.emplace_back("Interface version", InterfaceVersion(data));
                    break;
                case kEntryX64:
                    lines.emplace_back("Entry point (x64)", CString(data));
                    break;
                case kEntryX86:
                    lines.emplace_back("Entry point (x86)", CString(data));
                    break;
                case kImageModes:
                    lines.emplace_back("Image modes", ImageModes(data));
                    break;
                case kTerminology:
                    lines.emplace_back("Scripting", Terminology(data));
                    break;
                case kEnableExpression:
                    lines.emplace_back("Enable expression", CString(data));
                    break;
                case kMaximumSize:
                    lines.emplace_back("Maximum size", MaximumSize(data));
                    break;
                case kFilterLayers:
                    lines.emplace_back("Filter layers", FilterLayers(data));
                    break;
                case kFilterCases:
                    DescribeFilterCases(data, lines);
                    break;
                default:
                    lines.emplace_back("Property " + FourCCText(property.key),
                                       std::to_string(data.size()) + " bytes");
                    break;
            }
        } catch (const std::runtime_error&) {
            lines.emplace_back("Property " + FourCCText(property.key),
                               "(malformed, " + std::to_string(data.size()) + " bytes)");
        }
    }
    return lines;
}

std::string X64EntryPoint(const PropertyList& list) {
    const Property* entry = list.Find(kEntryX64);
    return entry ? CString(entry->data) : std::string();
}

}  // namespace vexo::hosttool
