#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "framework/CATypes.h"
#include "tools/host/RasterImage.h"

// Reading and writing the image files vexo-host corrects. Failures throw
// ToolError: kExitBadInput for input that cannot be read or is of a kind we do not
// handle, kExitOutOfMemory for input there is not enough memory to read,
// kExitOutputFailed for output that cannot be written. Writing throws
// std::bad_alloc when there is not enough memory for it, as the allocations of
// its own do.
namespace vexo::hosttool {

class InputFile;

// PNG or TIFF, by the file's first bytes; throws for anything else. path may name
// a pipe or FIFO as well as a file: its bytes are read once, from one open.
RasterImage ReadImage(const std::string& path);
// In image.format, at image.bitsPerSample. A failure names the file shownAs: the
// output's own name, when path is the temporary file that is to replace it.
void WriteImage(const std::string& path, const RasterImage& image, const std::string& shownAs);
void WriteImage(const std::string& path, const RasterImage& image);

// The format that a file name's extension promises, when it promises one we know.
enum class ExtensionKind { Unknown, Png, Tiff, OtherImage };
ExtensionKind KindOfExtension(const std::string& path);

// The most channels an image may have: the plug-in asks for its planes one at a
// time, and those requests reach no further.
inline constexpr int kMaxCorrectedChannels = kCASinglePlaneCount;

// Both readers refuse an image that our host could not hold (a side over 32767,
// as the filter record's 16-bit extents allow) or the plug-in could not correct
// (more than kMaxCorrectedChannels channels) before they read its pixels.
void CheckExtents(const std::string& path, uint32_t width, uint32_t height);
void CheckChannels(const std::string& path, const RasterImage& image);

// The most that deflated data of this length can inflate to: 1032 times as much,
// at deflate's greatest ratio, whatever it holds.
uint64_t MostInflatedBytes(uint64_t deflatedBytes);

// Before a reader adds image's rows: room for as many as inputBytes of samples
// hold, or for compressed ones, as many as such data usually decodes to. Rows
// beyond get room only as they arrive, so that a file claiming more rows than it
// holds fails having taken memory for those it has. Input of no known length (a
// pipe) gets room for each row as it arrives.
void ReserveRowsFor(RasterImage& image, std::optional<uint64_t> inputBytes, bool compressed);
// A reader's answer to a failed allocation for image's pixels.
[[noreturn]] void NotEnoughMemory(const std::string& path, const RasterImage& image);

// The format-specific halves, for callers that know the format. The readers go on
// from input's leading bytes.
RasterImage ReadPng(InputFile& input);
void WritePng(const std::string& path, const RasterImage& image, const std::string& shownAs);
RasterImage ReadTiff(InputFile& input);
void WriteTiff(const std::string& path, const RasterImage& image, const std::string& shownAs);

}  // namespace vexo::hosttool
