#include "HostResources.h"

#include <cstdint>
#include <string_view>
#include <vector>

#include "ResourceIds.h"

namespace vexo::resources {
namespace {

// Four-character codes.
constexpr FourCC kVendor = "8BIM";         // vendor of every property
constexpr FourCC kFilterModule = "8BFM";   // the kind of library
constexpr FourCC kScriptingCode = "zVrp";  // suite, event class and event id
constexpr FourCC kNoReply = "null";
constexpr FourCC kImageReference = "#ImR";
constexpr FourCC kFloatingPoint = "doub";

// Property keys, in the order the host finds them.
constexpr FourCC kKindKey = "kind";
constexpr FourCC kNameKey = "name";
constexpr FourCC kCategoryKey = "catg";
constexpr FourCC kInterfaceVersionKey = "vers";
constexpr FourCC kEntryPointX64Key = "8664";
constexpr FourCC kImageModesKey = "mode";
constexpr FourCC kTerminologyLinkKey = "hstm";
constexpr FourCC kEnableExpressionKey = "enbl";
constexpr FourCC kMaximumSizeKey = "ms32";
constexpr FourCC kFilterLayerKey = "flly";
constexpr FourCC kFilterCasesKey = "fici";

// Texts.
constexpr std::string_view kMenuName = "Pellion 3 (Cropped) [x64] v1.2.5";
constexpr std::string_view kCategory = "Corvane Inc";
constexpr std::string_view kDescription = "Undistorts images captured with wide angle lenses";
constexpr std::string_view kEntryPoint = "PluginMain";
constexpr std::string_view kScopeKey = "{A107BD7E-9A2D-4af7-9E85-65C1CDB85D78}";
// Stored exactly as written, uneven blanks included: don't tidy it.
constexpr std::string_view kEnableExpression =
    "in (PSHOP_ImageMode, RGBMode, RGB48Mode,CMYKMode, CMYK64Mode,GrayScaleMode, "
    "GrayScale16Mode,LabMode, Lab48Mode, MultichannelMode ) ||PSHOP_ImageDepth == 16";

// Filter interface 4.0: major version in the high half, minor in the low half.
constexpr std::uint32_t kInterfaceVersion = 4u << 16 | 0u;

// Image modes: two flag bytes, each read from its most significant bit down.
enum ImageMode : std::uint16_t {
    kBitmap = 0x8000,
    kGrayscale = 0x4000,
    kIndexedColour = 0x2000,
    kRGB = 0x1000,
    kCMYK = 0x0800,
    kHSL = 0x0400,
    kHSB = 0x0200,
    kMultichannel = 0x0100,
    kDuotone = 0x0080,
    kLab = 0x0040,
};
constexpr std::uint16_t kSupportedModes = kGrayscale | kRGB | kCMYK | kMultichannel | kLab;

// Largest image, in pixels, vertically and horizontally.
constexpr std::uint32_t kMaximumSide = 2000000;

constexpr std::uint8_t kSupportsFilterLayers = 0x80;

// The host's seven filter cases (flat image without and with selection, floating
// selection, editable and protected transparency each without and with selection)
// are all handled alike: the data is passed straight, without matting, and none
// of the optional behaviours is asked for.
constexpr int kFilterCaseCount = 7;
constexpr std::uint8_t kStraightData = 1;
constexpr std::uint8_t kNoFilterCaseFlags = 0;

// Terminology flag words.
constexpr std::uint16_t kRequiredSingleItem = 0;
constexpr std::uint16_t kOptional = 1u << 15;
constexpr std::uint16_t kEnumerated = 1u << 13;
constexpr std::uint16_t kChangesState = 1u << 12;

struct ScriptParameter {
    std::string_view name;
    FourCC key;
    std::string_view description;
};

// The event's parameters, all floating point, all required single items.
constexpr ScriptParameter kParameters[] = {
    {"Height", "Amnt", "Height"},
    {"Width", "Brgh", "Width"},
    {"Sharpness", "Fltn", "Sharpness"},
};

class PropertyListWriter {
public:
    // The data is padded to a multiple of 4, and the padding counts in its length.
    void Add(FourCC key, ByteWriter data) {
        data.PadToMultipleOf4();
        properties_.Code(kVendor);
        properties_.Code(key);
        properties_.Int32(0);  // property id
        properties_.Int32(std::uint32_t(data.bytes().size()));
        properties_.Append(data.bytes());
        ++count_;
    }

    Bytes Finish() const {
        ByteWriter list;
        list.Int16(1);  // leading word
        list.Int32(0);  // property-list version
        list.Int32(count_);
        list.Append(properties_.bytes());
        return list.bytes();
    }

private:
    ByteWriter properties_;
    std::uint32_t count_ = 0;
};

ByteWriter CodeData(FourCC code) {
    ByteWriter data;
    data.Code(code);
    return data;
}

ByteWriter Int32Data(std::uint32_t value) {
    ByteWriter data;
    data.Int32(value);
    return data;
}

ByteWriter CountedStringData(std::string_view text) {
    ByteWriter data;
    data.CountedString(text);
    return data;
}

ByteWriter ImageModes() {
    ByteWriter data;
    data.Byte(std::uint8_t(kSupportedModes >> 8));
    data.Byte(std::uint8_t(kSupportedModes));
    return data;
}

ByteWriter TerminologyLink() {
    ByteWriter data;
    data.Int32(0);              // version
    data.Code(kScriptingCode);  // class id
    data.Code(kScriptingCode);  // event id
    data.Int16(VEXO_TERMINOLOGY_ID);
    data.CString(kScopeKey);
    return data;
}

ByteWriter EnableExpression() {
    ByteWriter data;
    data.CString(kEnableExpression);
    // The property is 160 bytes long: four zero bytes follow the padded expression.
    data.PadToMultipleOf4();
    data.Zeros(4);
    return data;
}

ByteWriter MaximumSize() {
    ByteWriter data;
    data.Int32(kMaximumSide);  // vertical
    data.Int32(kMaximumSide);  // horizontal
    return data;
}

ByteWriter FilterLayerSupport() {
    ByteWriter data;
    data.Byte(kSupportsFilterLayers);
    return data;
}

ByteWriter FilterCases() {
    ByteWriter data;
    for (int filterCase = 0; filterCase < kFilterCaseCount; ++filterCase) {
        data.Byte(kStraightData);  // input handling
        data.Byte(kStraightData);  // output handling
        data.Byte(kNoFilterCaseFlags);
        data.Byte(kNoFilterCaseFlags);
    }
    return data;
}

}  // namespace

Bytes PropertyList() {
    PropertyListWriter list;
    list.Add(kKindKey, CodeData(kFilterModule));
    list.Add(kNameKey, CountedStringData(kMenuName));
    list.Add(kCategoryKey, CountedStringData(kCategory));
    list.Add(kInterfaceVersionKey, Int32Data(kInterfaceVersion));
    // The only code property: there is no 32-bit code.
    ByteWriter entryPoint;
    entryPoint.CString(kEntryPoint);
    list.Add(kEntryPointX64Key, entryPoint);
    list.Add(kImageModesKey, ImageModes());
    list.Add(kTerminologyLinkKey, TerminologyLink());
    list.Add(kEnableExpressionKey, EnableExpression());
    list.Add(kMaximumSizeKey, MaximumSize());
    list.Add(kFilterLayerKey, FilterLayerSupport());
    list.Add(kFilterCasesKey, FilterCases());
    return list.Finish();
}

// Fields follow one another without any padding.
Bytes Terminology() {
    ByteWriter aete;
    aete.Int16(1);  // leading word
    aete.Byte(1);   // major version
    aete.Byte(0);   // minor version
    aete.Int16(0);  // language
    aete.Int16(0);  // script

    aete.Int16(1);  // suites
    aete.CountedString(kCategory);
    aete.CountedString(kDescription);
    aete.Code(kScriptingCode);
    aete.Int16(1);  // suite level
    aete.Int16(1);  // suite version

    aete.Int16(1);  // events
    aete.CountedString(kMenuName);
    aete.CountedString(kDescription);
    aete.Code(kScriptingCode);  // event class
    aete.Code(kScriptingCode);  // event id
    aete.Code(kNoReply);
    aete.CountedString("");  // reply description
    aete.Int16(0);           // reply flags
    aete.Code(kImageReference);
    aete.CountedString("");  // direct parameter description
    aete.Int16(kOptional | kEnumerated | kChangesState);

    aete.Int16(std::uint16_t(std::size(kParameters)));
    for (const ScriptParameter& parameter : kParameters) {
        aete.CountedString(parameter.name);
        aete.Code(parameter.key);
        aete.Code(kFloatingPoint);
        aete.CountedString(parameter.description);
        aete.Int16(kRequiredSingleItem);
    }

    aete.Int16(0);  // classes
    aete.Int16(0);  // comparison operators
    aete.Int16(0);  // enumerations
    return aete.bytes();
}

}  // namespace vexo::resources
