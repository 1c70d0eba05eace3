#pragma once

#include <cstdint>
#include <string>

#include "tools/host/RasterImage.h"

// Reading and writing the image files vexo-host corrects. Failures throw
// ToolError: kExitBadInput for input that cannot be read or is of a kind we do not
// handle, kExitOutputFailed for output that cannot be written.
namespace vexo::hosttool {

// PNG or TIFF, by the file's first bytes; throws for anything else.
RasterImage ReadImage(const std::string& path);
// In image.format, at image.bitsPerSample.
void WriteImage(const std::string& path, const RasterImage& image);

// The format that a file name's extension promises, when it promises one we know.
enum class ExtensionKind { Unknown, Png, Tiff, OtherImage };
ExtensionKind KindOfExtension(const std::string& path);

// Both readers refuse an image that our host could not hold (a side over 32767,
// as the filter record's 16-bit extents allow) before they read its pixels.
void CheckExtents(const std::string& path, uint32_t width, uint32_t height);

// The format-specific halves, for callers that know the format.
RasterImage ReadPng(const std::string& path);
void WritePng(const std::string& path, const RasterImage& image);
RasterImage ReadTiff(const std::string& path);
void WriteTiff(const std::string& path, const RasterImage& image);

}  // namespace vexo::hosttool
