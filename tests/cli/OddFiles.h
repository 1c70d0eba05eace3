#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Files that vexo-host must refuse or read exactly, written straight through
// libpng and libtiff rather than through the tool's own writers.
namespace vexo::hosttool::testing {

void WritePalettePng(const std::string& path, uint32_t width, uint32_t height);
void WriteGrayPngOfDepth(const std::string& path, uint32_t width, uint32_t height, int bits);
// A 16-bit gray PNG of these samples, one row, encoded by libpng itself.
void WriteGray16Png(const std::string& path, const std::vector<uint16_t>& samples);

struct OddTiff {
    uint32_t width = 32;
    uint32_t height = 32;
    uint16_t bitsPerSample = 8;
    uint16_t samplesPerPixel = 1;
    uint16_t photometric = 1;   // black is zero
    uint16_t sampleFormat = 1;  // unsigned integers
    uint16_t planarConfig = 1;  // interleaved
    uint16_t compression = 1;   // none
    bool tiled = false;
    int pages = 1;
};
// Samples from a simple ramp, in whatever layout the description asks for.
void WriteOddTiff(const std::string& path, const OddTiff& tiff);

}  // namespace vexo::hosttool::testing
