#include "tools/host/RasterImage.h"

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
    samples.assign(
        static_cast<size_t>(width) * static_cast<size_t>(height) * static_cast<size_t>(Channels()),
        0);
}

}  // namespace vexo::hosttool
