#include "tests/cli/ToolTestSupport.h"

#include <stdlib.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace vexo::hosttool::testing {

TempFolder::TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vexo-cli-XXXXXX").string();
    if (!mkdtemp(pattern.data())) {
        throw std::runtime_error("cannot make a temporary folder");
    }
    path_ = pattern;
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> TempFolder::Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

RasterImage PatternImage(FileFormat format, ColourModel colour, int extraChannels, int bits,
                         int32_t width, int32_t height) {
    RasterImage image;
    image.format = format;
    image.width = width;
    image.height = height;
    image.colour = colour;
    image.extraChannels = extraChannels;
    image.bitsPerSample = bits;
    image.Allocate();
    const uint32_t max = image.MaxSample();
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            for (int c = 0; c < image.Channels(); ++c) {
                uint32_t value;
                if (((x / 8) + (y / 8) + c) % 3 == 0) {
                    value = ((x / 8 + y / 8) % 2) ? max : 0;  // hard edges at the extremes
                } else {
                    value = (max * static_cast<uint32_t>(x * 5 + y * 3 + c * 11)) /
                            static_cast<uint32_t>(width * 5 + height * 3 + 40);
                }
                image.samples[image.SampleIndex(x, y, c)] = static_cast<uint16_t>(value);
            }
        }
    }
    return image;
}

namespace {

// A header, a white point and a private tag of noise: libpng refuses a profile
// whose compressed form is implausibly short. A longer profile's tag goes on with
// zeros.
constexpr uint32_t kIccTagAt = 176;
constexpr uint32_t kIccNoiseBytes = 256;

}  // namespace

std::vector<uint8_t> MinimalIccProfile(const char (&colourSpace)[5], uint32_t length) {
    std::vector<uint8_t> profile = IccProfileStart(colourSpace, length);
    profile.resize(std::max<size_t>(length, profile.size()));
    return profile;
}

std::vector<uint8_t> IccProfileStart(const char (&colourSpace)[5], uint32_t length) {
    const uint32_t size = std::max(length, kIccTagAt + kIccNoiseBytes);
    std::vector<uint8_t> profile(kIccTagAt + kIccNoiseBytes, 0);
    const auto put32 = [&](size_t at, uint32_t value) {
        for (int i = 0; i < 4; ++i) {
            profile[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
        }
    };
    const auto put4 = [&](size_t at, const char* code) {
        std::copy(code, code + 4, profile.begin() + static_cast<ptrdiff_t>(at));
    };
    put32(0, size);
    put32(8, 0x02100000);  // version 2.1
    put4(12, "mntr");      // display device
    put4(16, colourSpace);
    put4(20, "XYZ ");  // connection space
    put4(36, "acsp");
    put32(68, 0x0000F6D6);  // the illuminant, D50
    put32(72, 0x00010000);
    put32(76, 0x0000D32D);
    put4(80, "vexo");  // creator
    put32(128, 2);     // tags
    put4(132, "wtpt");
    put32(136, 156);
    put32(140, 20);
    put4(144, "vxno");
    put32(148, kIccTagAt);
    put32(152, size - kIccTagAt);
    put4(156, "XYZ ");
    put32(164, 0x0000F6D6);
    put32(168, 0x00010000);
    put32(172, 0x0000D32D);
    uint32_t seed = 12345;
    for (uint32_t i = kIccTagAt; i < kIccTagAt + kIccNoiseBytes; ++i) {
        seed = seed * 1103515245u + 12345u;
        profile[i] = static_cast<uint8_t>(seed >> 16);
    }
    return profile;
}

std::vector<uint8_t> FileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

}  // namespace vexo::hosttool::testing
