#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexo::hosttool {

enum class FileFormat { Png, Tiff };
enum class ColourModel { Gray, Rgb, Cmyk };

int ColourChannels(ColourModel colour);
const char* FormatName(FileFormat format);
const char* ColourName(ColourModel colour);

// Pixels per unit along each axis, as the file states them.
struct Resolution {
    enum class Unit { None, Inch, Centimetre, Metre };
    double x = 0;
    double y = 0;
    Unit unit = Unit::None;
    friend bool operator==(const Resolution&, const Resolution&) = default;
};

// What only one of the formats carries, kept so that the output displays as the
// input does.
struct PngDetails {
    std::optional<double> gamma;
    std::optional<int> srgbIntent;
    // cHRM: white point, red, green and blue, each x then y, in 100000ths.
    std::optional<std::array<int32_t, 8>> chromaticities;
    std::optional<std::vector<uint16_t>> transparentColour;  // tRNS of a gray or RGB image
    std::optional<std::vector<uint16_t>> background;         // bKGD of a gray or RGB image
    std::string iccProfileName = "ICC profile";
    // eXIf as it stands: among much else, it says which way up a viewer shows the image.
    std::vector<uint8_t> exif;
};

struct TiffDetails {
    uint16_t compression = 1;  // none
    uint16_t predictor = 1;    // none
    uint16_t orientation = 1;  // rows top to bottom, columns left to right
    bool bigTiff = false;
    std::vector<uint16_t>
        extraSampleKinds;  // one per extra channel: unspecified, associated, unassociated
};

// An image as read from or written to a file: interleaved samples in the file's
// own range (0..255 or 0..65535), colour channels first, then extra channels such
// as alpha, each of which the correction treats as one more plane.
struct RasterImage {
    FileFormat format = FileFormat::Png;
    int32_t width = 0;
    int32_t height = 0;
    ColourModel colour = ColourModel::Rgb;
    int extraChannels = 0;
    int bitsPerSample = 8;
    std::vector<uint16_t> samples;

    std::vector<uint8_t> iccProfile;
    std::optional<Resolution> resolution;
    PngDetails png;
    TiffDetails tiff;

    int Channels() const { return ColourChannels(colour) + extraChannels; }
    uint16_t MaxSample() const { return bitsPerSample == 8 ? 255 : 65535; }
    size_t SampleIndex(int32_t x, int32_t y, int channel) const {
        return (static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)) *
                   static_cast<size_t>(Channels()) +
               static_cast<size_t>(channel);
    }
    size_t RowSamples() const {
        return static_cast<size_t>(width) * static_cast<size_t>(Channels());
    }
    // Sizes samples for width × height × Channels().
    void Allocate();

    // For readers, which add the rows one by one as the file yields them, so that a
    // file claiming more rows than it holds fails having taken memory only for the
    // rows it has. ReserveRows makes room for up to `rows` rows without touching it;
    // AppendRow adds the next row (zeros), growing the room when it must.
    void ReserveRows(int32_t rows);
    uint16_t* AppendRow();
};

}  // namespace vexo::hosttool
