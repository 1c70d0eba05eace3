#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/host/RasterImage.h"

namespace vexo::hosttool::testing {

// A fresh folder for one test's files, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& Path() const { return path_; }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    // The names of the files in it, sorted.
    std::vector<std::string> Names() const;

private:
    std::filesystem::path path_;
};

// An image whose samples vary across the frame, with hard edges between the
// extremes of the range (where the correction's sharpening overshoots) and
// smooth gradients between them.
RasterImage PatternImage(FileFormat format, ColourModel colour, int extraChannels, int bits,
                         int32_t width = 64, int32_t height = 48);

// A small, well-formed ICC profile for the given colour space ("GRAY", "RGB " or
// "CMYK"): libpng drops profiles it finds malformed. Given a length (a multiple of
// four), a profile of that length, made long by a tag of zeros.
std::vector<uint8_t> MinimalIccProfile(const char (&colourSpace)[5], uint32_t length = 0);
// The start of such a profile, all of it but the zeros: its header says `length`.
std::vector<uint8_t> IccProfileStart(const char (&colourSpace)[5], uint32_t length);

std::vector<uint8_t> FileBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace vexo::hosttool::testing
