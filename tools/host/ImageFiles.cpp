#include "tools/host/ImageFiles.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>

#include "tools/host/HostImage.h"
#include "tools/host/InputFile.h"
#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

bool StartsWith(const std::array<uint8_t, InputFile::kLeadingBytes>& bytes,
                std::initializer_list<int> prefix) {
    return std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

}  // namespace

RasterImage ReadImage(const std::string& path) {
    InputFile input(path);
    const auto& bytes = input.LeadingBytes();
    if (StartsWith(bytes, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) {
        return ReadPng(input);
    }
    // Classic and big TIFF, in either byte order.
    if (StartsWith(bytes, {'I', 'I', 42, 0}) || StartsWith(bytes, {'M', 'M', 0, 42}) ||
        StartsWith(bytes, {'I', 'I', 43, 0}) || StartsWith(bytes, {'M', 'M', 0, 43})) {
        return ReadTiff(input);
    }
    throw ToolError(kExitBadInput,
                    path + " is not a PNG or TIFF file, the formats vexo-host reads");
}

void CheckExtents(const std::string& path, uint32_t width, uint32_t height) {
    constexpr uint32_t kLargest = filterhost::HostImage::kMaxExtent;
    if (width == 0 || height == 0) {
        throw ToolError(kExitBadInput, path + " holds an empty image");
    }
    if (width > kLargest || height > kLargest) {
        throw ToolError(kExitBadInput, path + " is " + std::to_string(width) + " x " +
                                           std::to_string(height) +
                                           " pixels; the filter interface allows at most " +
                                           std::to_string(kLargest) + " on a side");
    }
}

void CheckChannels(const std::string& path, const RasterImage& image) {
    if (image.Channels() > kMaxCorrectedChannels) {
        throw ToolError(kExitBadInput, path + " has " + std::to_string(image.Channels()) +
                                           " channels (" + ColourName(image.colour) + " and " +
                                           std::to_string(image.extraChannels) +
                                           " extra); the plug-in corrects at most " +
                                           std::to_string(kMaxCorrectedChannels));
    }
}

uint64_t MostInflatedBytes(uint64_t deflatedBytes) {
    constexpr uint64_t kGreatestRatio = 1032;
    return deflatedBytes > UINT64_MAX / kGreatestRatio ? UINT64_MAX
                                                       : deflatedBytes * kGreatestRatio;
}

void ReserveRowsFor(RasterImage& image, std::optional<uint64_t> inputBytes, bool compressed) {
    if (!inputBytes) {
        return;
    }
    const uint64_t fileBytes = *inputBytes;
    // Ample for photographs, which compress to a third or so; data that compresses
    // further gets its room as its rows arrive.
    constexpr uint64_t kUsualRatio = 8;
    const uint64_t mostBytes =
        compressed && fileBytes <= UINT64_MAX / kUsualRatio ? fileBytes * kUsualRatio : fileBytes;
    const uint64_t rowBytes =
        static_cast<uint64_t>(image.RowSamples()) * static_cast<uint64_t>(image.bitsPerSample / 8);
    const uint64_t rows =
        std::min<uint64_t>(mostBytes / rowBytes + 1, static_cast<uint64_t>(image.height));
    image.ReserveRows(static_cast<int32_t>(rows));
}

void NotEnoughMemory(const std::string& path, const RasterImage& image) {
    throw ToolError(kExitOutOfMemory, "not enough memory for the " + std::to_string(image.width) +
                                          " x " + std::to_string(image.height) + " pixels of " +
                                          path);
}

void WriteImage(const std::string& path, const RasterImage& image, const std::string& shownAs) {
    if (image.format == FileFormat::Png) {
        WritePng(path, image, shownAs);
    } else {
        WriteTiff(path, image, shownAs);
    }
}

void WriteImage(const std::string& path, const RasterImage& image) {
    WriteImage(path, image, path);
}

ExtensionKind KindOfExtension(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".png") {
        return ExtensionKind::Png;
    }
    if (extension == ".tif" || extension == ".tiff") {
        return ExtensionKind::Tiff;
    }
    for (const char* other : {".jpg", ".jpeg", ".bmp", ".gif", ".webp", ".psd", ".jp2", ".heic"}) {
        if (extension == other) {
            return ExtensionKind::OtherImage;
        }
    }
    return ExtensionKind::Unknown;
}

}  // namespace vexo::hosttool
