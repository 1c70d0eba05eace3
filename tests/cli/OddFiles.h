#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/host/RasterImage.h"

// Files that vexo-host must refuse or read exactly, written straight through
// libpng and libtiff rather than through the tool's own writers.
namespace vexo::hosttool::testing {

void WritePalettePng(const std::string& path, uint32_t width, uint32_t height);
void WriteGrayPngOfDepth(const std::string& path, uint32_t width, uint32_t height, int bits);
// A 16-bit gray PNG of these samples, one row, encoded by libpng itself.
void WriteGray16Png(const std::string& path, const std::vector<uint16_t>& samples);
// An interlaced RGB or RGBA PNG of the image's samples.
void WriteInterlacedPng(const std::string& path, const RasterImage& image);

// A PNG whose header claims an image that its data does not hold: the data holds
// `rows` rows of zeros and then the file ends, as a download cut short does. A
// private chunk of paddingBytes before the data makes the file as long as asked.
struct CutPng {
    uint32_t width = 32767;
    uint32_t height = 32767;
    int bitDepth = 8;
    int colourType = 2;  // RGB
    bool interlaced = false;
    uint32_t rows = 2;
    uint32_t paddingBytes = 0;
};
void WriteCutPng(const std::string& path, const CutPng& png);

// An 8-bit RGB PNG of zeros with chunks of our choosing, before or after its pixels.
struct ExtraChunk {
    char type[5];
    std::vector<uint8_t> data;
    bool afterPixels = false;
};
void WritePngWithChunks(const std::string& path, uint32_t width, uint32_t height,
                        const std::vector<ExtraChunk>& chunks);
// The data of an iCCP chunk whose profile begins with `start` and goes on with
// zeros, heldBytes in all: whatever start's header says the profile's length is.
std::vector<uint8_t> IccpChunkData(const std::vector<uint8_t>& start, uint64_t heldBytes);
// The types of a PNG file's chunks, in order.
std::vector<std::string> PngChunkTypes(const std::vector<uint8_t>& file);

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
    uint32_t rowsPerStrip = 0;          // 0: libtiff's choice
    uint32_t writtenRows = UINT32_MAX;  // of each plane; fewer than height cut the file short
};
// Samples from a simple ramp, in whatever layout the description asks for.
void WriteOddTiff(const std::string& path, const OddTiff& tiff);

}  // namespace vexo::hosttool::testing
