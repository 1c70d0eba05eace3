#include <fcntl.h>
#include <tiffio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "tools/host/HeldStream.h"
#include "tools/host/ImageFiles.h"
#include "tools/host/InputFile.h"
#include "tools/host/TiffClientCalls.h"
#include "tools/host/TiffOutputFile.h"
#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

// libtiff's messages for one file, gathered rather than printed, so that the user
// gets one line; the first error is the one that explains the rest.
struct Messages {
    std::string firstError;
    // Whether libtiff's first error came of a refused allocation.
    bool allocationRefused = false;
};

int OnError(TIFF*, void* userData, const char*, const char* format, va_list arguments) {
    // libtiff reports a failed allocation as soon as malloc has answered it, with
    // malloc's ENOMEM still in errno: before anything here can change it.
    const bool allocationRefused = errno == ENOMEM;
    auto* messages = static_cast<Messages*>(userData);
    if (messages->firstError.empty()) {
        messages->allocationRefused = allocationRefused;
        char text[512];
        std::vsnprintf(text, sizeof text, format, arguments);
        messages->firstError = text;
    }
    return 1;  // handled: libtiff's own handler stays silent
}

// Unknown tags and similar oddities are no reason to stop or to speak.
int OnWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using Tiff = std::unique_ptr<TIFF, TiffCloser>;

// Opens with libtiff's messages going to messages; open takes the options.
template <typename OpenWith>
Tiff OpenReporting(Messages& messages, OpenWith open) {
    // So that an error long before cannot pass for one of this file's.
    errno = 0;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, &OnError, &messages);
    TIFFOpenOptionsSetWarningHandlerExtR(options, &OnWarning, nullptr);
    Tiff tiff(open(options));
    TIFFOpenOptionsFree(options);
    return tiff;
}

Tiff OpenOutput(TiffOutputFile& file, const std::string& name, const char* mode,
                Messages& messages) {
    return OpenReporting(
        messages, [&](TIFFOpenOptions* options) { return file.OpenTiff(name, mode, options); });
}

// libtiff's access to a HeldStream: reading and seeking, no writing or mapping.
tmsize_t ReadHeld(thandle_t stream, void* into, tmsize_t size) {
    return static_cast<tmsize_t>(
        static_cast<HeldStream*>(stream)->Read(into, static_cast<size_t>(size)));
}

tmsize_t WriteHeld(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t SeekHeld(thandle_t handle, toff_t offset, int whence) {
    auto* stream = static_cast<HeldStream*>(handle);
    uint64_t from = 0;
    if (whence == SEEK_CUR) {
        from = stream->Position();
    } else if (whence == SEEK_END) {
        if (!stream->Length()) {
            return static_cast<toff_t>(-1);
        }
        from = *stream->Length();
    }
    stream->Seek(from + offset);
    return stream->Position();
}

// Until its end has been read, the stream is taken to be as long as any file can
// be: libtiff uses the length only to check, or make up for, a file's own offsets
// and counts, and reading on to learn it would read endless input for ever.
toff_t SizeOfHeld(thandle_t stream) {
    return static_cast<HeldStream*>(stream)->Length().value_or(
        static_cast<toff_t>(std::numeric_limits<off_t>::max()));
}

// INPUT for libtiff. A regular file through libtiff's own access, which maps it,
// as TIFFOpen would; libtiff closes its own copy of the descriptor, set back to
// the start. Anything else through held, which the TIFF must not outlive.
Tiff OpenInput(InputFile& input, std::optional<HeldStream>& held, Messages& messages) {
    const std::string& path = input.Path();
    if (!input.RegularLength()) {
        held.emplace(input.Stream(), input.LeadingBytes());
        return OpenReporting(messages, [&](TIFFOpenOptions* options) {
            return TIFFClientOpenExt(path.c_str(), "rm", &*held, &ReadHeld, &WriteHeld, &SeekHeld,
                                     &CloseNothing, &SizeOfHeld, &MapNothing, &UnmapNothing,
                                     options);
        });
    }
    const int descriptor = fcntl(fileno(input.Stream()), F_DUPFD_CLOEXEC, 0);
    if (descriptor < 0 || lseek(descriptor, 0, SEEK_SET) != 0) {
        const std::string reason = std::strerror(errno);
        if (descriptor >= 0) {
            close(descriptor);
        }
        throw ToolError(kExitBadInput, "cannot read " + path + ": " + reason);
    }
    Tiff tiff = OpenReporting(messages, [&](TIFFOpenOptions* options) {
        return TIFFFdOpenExt(descriptor, path.c_str(), "r", options);
    });
    if (!tiff) {
        close(descriptor);
    }
    return tiff;
}

std::string Reason(const Messages& messages) {
    return messages.firstError.empty() ? "unknown error" : messages.firstError;
}

[[noreturn]] void Unsupported(const std::string& path, const std::string& what) {
    throw ToolError(kExitBadInput, path + ": " + what + " TIFF files are not supported");
}

template <typename T>
T Field(TIFF* tiff, ttag_t tag, T fallback) {
    T value = fallback;
    return TIFFGetFieldDefaulted(tiff, tag, &value) ? value : fallback;
}

ColourModel ReadColourModel(const std::string& path, TIFF* tiff, uint16_t samplesPerPixel) {
    uint16_t photometric = 0;
    if (!TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric)) {
        Unsupported(path, "colour-space-less");
    }
    ColourModel colour;
    switch (photometric) {
        case PHOTOMETRIC_MINISBLACK:
            colour = ColourModel::Gray;
            break;
        case PHOTOMETRIC_RGB:
            colour = ColourModel::Rgb;
            break;
        case PHOTOMETRIC_SEPARATED:
            if (Field<uint16_t>(tiff, TIFFTAG_INKSET, INKSET_CMYK) != INKSET_CMYK) {
                Unsupported(path, "non-CMYK separated");
            }
            colour = ColourModel::Cmyk;
            break;
        case PHOTOMETRIC_MINISWHITE:
            Unsupported(path, "white-is-zero gray");
        case PHOTOMETRIC_PALETTE:
            Unsupported(path, "indexed-colour");
        default:
            Unsupported(path, "photometric " + std::to_string(photometric));
    }
    if (samplesPerPixel < ColourChannels(colour)) {
        throw ToolError(kExitBadInput,
                        path + " is not a valid TIFF file: " + std::to_string(samplesPerPixel) +
                            " samples for " + ColourName(colour));
    }
    return colour;
}

void ReadMetadata(TIFF* tiff, RasterImage& image) {
    uint32_t profileLength = 0;
    void* profile = nullptr;
    if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &profileLength, &profile) && profile) {
        const auto* bytes = static_cast<const uint8_t*>(profile);
        image.iccProfile.assign(bytes, bytes + profileLength);
    }
    float x = 0;
    float y = 0;
    if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x) &&
        TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y)) {
        const uint16_t unit = Field<uint16_t>(tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        image.resolution = Resolution{x, y,
                                      unit == RESUNIT_INCH         ? Resolution::Unit::Inch
                                      : unit == RESUNIT_CENTIMETER ? Resolution::Unit::Centimetre
                                                                   : Resolution::Unit::None};
    }
    TiffDetails& details = image.tiff;
    details.compression = Field<uint16_t>(tiff, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    uint16_t predictor = PREDICTOR_NONE;
    if (TIFFGetField(tiff, TIFFTAG_PREDICTOR, &predictor)) {
        details.predictor = predictor;
    }
    details.orientation = Field<uint16_t>(tiff, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    details.bigTiff = TIFFIsBigTIFF(tiff) != 0;
}

void ReadExtraSampleKinds(TIFF* tiff, RasterImage& image) {
    uint16_t count = 0;
    uint16_t* kinds = nullptr;
    std::vector<uint16_t>& out = image.tiff.extraSampleKinds;
    if (TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &count, &kinds) && kinds) {
        out.assign(kinds, kinds + count);
    }
    out.resize(static_cast<size_t>(image.extraChannels), EXTRASAMPLE_UNSPECIFIED);
}

uint16_t SampleAt(const std::vector<uint8_t>& row, size_t index, int bitsPerSample) {
    if (bitsPerSample == 8) {
        return row[index];
    }
    uint16_t value;  // libtiff has already put 16-bit samples in this machine's order
    std::memcpy(&value, row.data() + 2 * index, sizeof value);
    return value;
}

void ReadPixels(const std::string& path, TIFF* tiff, const Messages& messages,
                std::optional<uint64_t> inputBytes, RasterImage& image) {
    const uint16_t planar = Field<uint16_t>(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    const auto channels = static_cast<size_t>(image.Channels());
    const auto width = static_cast<size_t>(image.width);
    std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize64(tiff)));
    const auto fail = [&] {
        throw ToolError(kExitBadInput, path + " is not a valid TIFF file: " + Reason(messages));
    };
    if (row.size() < width * (planar == PLANARCONFIG_CONTIG ? channels : 1) *
                         static_cast<size_t>(image.bitsPerSample / 8)) {
        fail();
    }
    const auto read = [&](int32_t y, size_t channel) {
        if (TIFFReadScanline(tiff, row.data(), static_cast<uint32_t>(y),
                             static_cast<uint16_t>(channel)) < 0) {
            throw ToolError(kExitBadInput, path + " is not a valid TIFF file: " + Reason(messages) +
                                               " (row " + std::to_string(y + 1) + " of " +
                                               std::to_string(image.height) + ")");
        }
    };
    ReserveRowsFor(image, inputBytes, image.tiff.compression != COMPRESSION_NONE);
    if (planar == PLANARCONFIG_CONTIG) {
        for (int32_t y = 0; y < image.height; ++y) {
            read(y, 0);
            uint16_t* samples = image.AppendRow();
            for (size_t i = 0; i < width * channels; ++i) {
                samples[i] = SampleAt(row, i, image.bitsPerSample);
            }
        }
        return;
    }
    // The rows come with the first plane; the others fill them in.
    for (size_t channel = 0; channel < channels; ++channel) {
        for (int32_t y = 0; y < image.height; ++y) {
            read(y, channel);
            uint16_t* samples = channel == 0 ? image.AppendRow()
                                             : image.samples.data() + image.SampleIndex(0, y, 0);
            for (size_t x = 0; x < width; ++x) {
                samples[x * channels + channel] = SampleAt(row, x, image.bitsPerSample);
            }
        }
    }
}

// The input's compression when it is lossless and built in, else LZW: a corrected
// image must not lose more than the correction changes.
uint16_t OutputCompression(uint16_t input) {
    for (uint16_t lossless :
         {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_ADOBE_DEFLATE, COMPRESSION_DEFLATE,
          COMPRESSION_PACKBITS, COMPRESSION_ZSTD, COMPRESSION_LZMA}) {
        if (input == lossless && TIFFIsCODECConfigured(input)) {
            return input;
        }
    }
    return COMPRESSION_LZW;
}

bool TakesPredictor(uint16_t compression) {
    return compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE ||
           compression == COMPRESSION_DEFLATE || compression == COMPRESSION_ZSTD ||
           compression == COMPRESSION_LZMA;
}

uint16_t Photometric(ColourModel colour) {
    switch (colour) {
        case ColourModel::Gray:
            return PHOTOMETRIC_MINISBLACK;
        case ColourModel::Rgb:
            return PHOTOMETRIC_RGB;
        case ColourModel::Cmyk:
            return PHOTOMETRIC_SEPARATED;
    }
    return PHOTOMETRIC_MINISBLACK;
}

bool WriteFields(TIFF* tiff, const RasterImage& image) {
    const uint16_t compression = OutputCompression(image.tiff.compression);
    bool ok = TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width)) &&
              TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height)) &&
              TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, image.bitsPerSample) &&
              TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, image.Channels()) &&
              TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) &&
              TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, Photometric(image.colour)) &&
              TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(tiff, TIFFTAG_COMPRESSION, compression) &&
              TIFFSetField(tiff, TIFFTAG_ORIENTATION, image.tiff.orientation);
    if (ok && TakesPredictor(compression) && image.tiff.predictor == PREDICTOR_HORIZONTAL) {
        ok = TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    if (ok && image.colour == ColourModel::Cmyk) {
        ok = TIFFSetField(tiff, TIFFTAG_INKSET, INKSET_CMYK);
    }
    if (ok && image.extraChannels > 0) {
        std::vector<uint16_t> kinds = image.tiff.extraSampleKinds;
        kinds.resize(static_cast<size_t>(image.extraChannels), EXTRASAMPLE_UNSPECIFIED);
        ok = TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(kinds.size()),
                          kinds.data());
    }
    if (ok && !image.iccProfile.empty()) {
        ok = TIFFSetField(tiff, TIFFTAG_ICCPROFILE, static_cast<uint32_t>(image.iccProfile.size()),
                          image.iccProfile.data());
    }
    if (ok && image.resolution) {
        const Resolution& r = *image.resolution;
        const uint16_t unit = r.unit == Resolution::Unit::Inch         ? RESUNIT_INCH
                              : r.unit == Resolution::Unit::Centimetre ? RESUNIT_CENTIMETER
                                                                       : RESUNIT_NONE;
        ok = TIFFSetField(tiff, TIFFTAG_XRESOLUTION, r.x) &&
             TIFFSetField(tiff, TIFFTAG_YRESOLUTION, r.y) &&
             TIFFSetField(tiff, TIFFTAG_RESOLUTIONUNIT, unit);
    }
    return ok && TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tiff, 0));
}

RasterImage ReadOpenedTiff(const std::string& path, TIFF* t, const Messages& messages,
                           std::optional<uint64_t> inputBytes) {
    if (TIFFNumberOfDirectories(t) > 1) {
        Unsupported(path, "multi-page");
    }
    if (TIFFIsTiled(t)) {
        Unsupported(path, "tiled");
    }
    RasterImage image;
    image.format = FileFormat::Tiff;
    uint32_t width = 0;
    uint32_t height = 0;
    TIFFGetField(t, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t, TIFFTAG_IMAGELENGTH, &height);
    CheckExtents(path, width, height);
    image.width = static_cast<int32_t>(width);
    image.height = static_cast<int32_t>(height);

    image.bitsPerSample = Field<uint16_t>(t, TIFFTAG_BITSPERSAMPLE, 1);
    if (image.bitsPerSample != 8 && image.bitsPerSample != 16) {
        throw ToolError(kExitBadInput, path + ": " + std::to_string(image.bitsPerSample) +
                                           "-bit samples are not supported (8 and 16 are)");
    }
    if (Field<uint16_t>(t, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT) != SAMPLEFORMAT_UINT) {
        Unsupported(path, "signed or floating-point");
    }
    const uint16_t samplesPerPixel = Field<uint16_t>(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    image.colour = ReadColourModel(path, t, samplesPerPixel);
    image.extraChannels = samplesPerPixel - ColourChannels(image.colour);
    CheckChannels(path, image);
    ReadExtraSampleKinds(t, image);
    ReadMetadata(t, image);
    try {
        ReadPixels(path, t, messages, inputBytes, image);
    } catch (const std::bad_alloc&) {
        NotEnoughMemory(path, image);
    }
    return image;
}

}  // namespace

RasterImage ReadTiff(InputFile& input) {
    const std::string& path = input.Path();
    Messages messages;
    std::optional<HeldStream> held;
    try {
        Tiff tiff = OpenInput(input, held, messages);
        if (!tiff) {
            throw ToolError(kExitBadInput, path + " is not a valid TIFF file: " + Reason(messages));
        }
        // A stream's length is known once it has been read to its end.
        const std::optional<uint64_t> inputBytes = held ? held->Length() : input.RegularLength();
        return ReadOpenedTiff(path, tiff.get(), messages, inputBytes);
    } catch (const ToolError&) {
        // libtiff saw the data end where the stream could not be read or held.
        if (held) {
            held->ThrowIfFailed(path);
        }
        throw;
    }
}

void WriteTiff(const std::string& path, const RasterImage& image, const std::string& shownAs) {
    Messages messages;
    TiffOutputFile file(path);
    const auto fail = [&] {
        if (messages.allocationRefused) {
            throw std::bad_alloc();
        }
        throw ToolError(kExitOutputFailed,
                        "cannot write " + shownAs + ": " +
                            (file.Error() != 0 ? std::strerror(file.Error()) : Reason(messages)));
    };
    if (!file.IsOpen()) {
        fail();
    }
    Tiff tiff = OpenOutput(file, shownAs, image.tiff.bigTiff ? "w8" : "w", messages);
    if (!tiff || !WriteFields(tiff.get(), image)) {
        fail();
    }
    const size_t rowSamples =
        static_cast<size_t>(image.width) * static_cast<size_t>(image.Channels());
    std::vector<uint8_t> row(rowSamples * static_cast<size_t>(image.bitsPerSample / 8));
    for (int32_t y = 0; y < image.height; ++y) {
        const uint16_t* samples = image.samples.data() + image.SampleIndex(0, y, 0);
        if (image.bitsPerSample == 8) {
            for (size_t i = 0; i < rowSamples; ++i) {
                row[i] = static_cast<uint8_t>(samples[i]);
            }
        } else {
            std::memcpy(row.data(), samples, row.size());
        }
        if (TIFFWriteScanline(tiff.get(), row.data(), static_cast<uint32_t>(y), 0) < 0) {
            fail();
        }
    }
    if (!TIFFFlush(tiff.get())) {
        fail();
    }
    tiff.reset();
    if (!file.Close()) {
        fail();
    }
}

}  // namespace vexo::hosttool
