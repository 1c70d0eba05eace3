#include "tools/host/RasterImage.h"

#include <algorithm>
#include <stdexcept>

namespace vexo::hosttool {

int ColourChannels(ColourModel colour) {
    switch (colour) {
        case ColourModel::Gray:
            return 1;
        case ColourModel::Rgb:
            return 3;
        case ColourModel::Cmyk:
            return 4;
    }
    return 0;
}

const char* FormatName(FileFormat format) {
    return format == FileFormat::Png ? "PNG" : "TIFF";
}

const char* ColourName(ColourModel colour) {
    switch (colour) {
        case ColourModel::Gray:
            return "gray";
        case ColourModel::Rgb:
            return "RGB";
        case ColourModel::Cmyk:
            return "CMYK";
    }
    return "?";
}

void RasterImage::Allocate() {
    samples.assign(RowSamples() * static_cast<size_t>(height), 0);
}

void RasterImage::ReserveRows(int32_t rows) {
    samples.reserve(RowSamples() * static_cast<size_t>(std::clamp(rows, 0, height)));
}

uint16_t* RasterImage::AppendRow() {
    const size_t held = samples.size();
    const size_t rowSamples = RowSamples();
    const size_t whole = rowSamples * static_cast<size_t>(height);
    if (held + rowSamples > whole) {
        throw std::logic_error("the image holds all its rows already");
    }
    // Doubling, but never beyond the whole image.
    if (held + rowSamples > samples.capacity()) {
        samples.reserve(std::min(whole, std::max(held + rowSamples, 2 * samples.capacity())));
    }
    samples.resize(held + rowSamples);
    return samples.data() + held;
}

}  // namespace vexo::hosttool
