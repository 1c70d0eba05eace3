#include <png.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "tools/host/ImageFiles.h"
#include "tools/host/InputFile.h"
#include "tools/host/ToolError.h"

// libpng reports errors by longjmp. Every call that can fail runs inside one of
// the small step functions below, whose locals are all trivial, so that a jump
// out of libpng never skips a destructor; the message waits in ErrorSink.
namespace vexo::hosttool {
namespace {

struct ErrorSink {
    char message[256] = "unknown error";
    // Set when libpng, or zlib under it, was refused memory: whatever error follows
    // is then for want of it.
    bool allocationRefused = false;
    const char* lostForWantOfMemory = nullptr;  // what libpng dropped that the output keeps
};

void OnError(png_structp png, png_const_charp message) {
    auto* sink = static_cast<ErrorSink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message);
    png_longjmp(png, 1);
}

constexpr png_uint_32 ChunkName(const char (&name)[5]) {
    return static_cast<png_uint_32>(name[0]) << 24 | static_cast<png_uint_32>(name[1]) << 16 |
           static_cast<png_uint_32>(name[2]) << 8 | static_cast<png_uint_32>(name[3]);
}

// Warnings (an unknown chunk, a profile libpng finds odd) are no reason to stop,
// but libpng only warns when it has no memory for a profile or Exif data, and
// drops it: that is a loss the output must not suffer in silence.
void OnWarning(png_structp png, png_const_charp message) {
    if (std::strstr(message, "memory") == nullptr) {
        return;
    }
    auto* sink = static_cast<ErrorSink*>(png_get_error_ptr(png));
    const png_uint_32 chunk = png_get_io_chunk_type(png);
    if (chunk == ChunkName("iCCP")) {
        sink->lostForWantOfMemory = "ICC profile";
    } else if (chunk == ChunkName("eXIf")) {
        sink->lostForWantOfMemory = "Exif data";
    }
}

// libpng's and zlib's memory, taken as libpng would, but with a refusal noted.
png_voidp Allocate(png_structp png, png_alloc_size_t size) {
    void* block = std::malloc(size);
    if (!block) {
        static_cast<ErrorSink*>(png_get_mem_ptr(png))->allocationRefused = true;
    }
    return block;
}

void Release(png_structp, png_voidp block) {
    std::free(block);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// libpng's read and write structs, made with our error handlers and destroyed
// together with their info struct; they differ only in the calls that make and
// destroy them.
template <auto create, auto destroy>
class PngStructs {
public:
    PngStructs() {
        png_ = create(PNG_LIBPNG_VER_STRING, &sink_, &OnError, &OnWarning, &sink_, &Allocate,
                      &Release);
        sink_.allocationRefused |= png_ == nullptr;
        if (png_) {
            info_ = png_create_info_struct(png_);
        }
    }
    ~PngStructs() { destroy(&png_, info_ ? &info_ : nullptr); }
    PngStructs(const PngStructs&) = delete;
    PngStructs& operator=(const PngStructs&) = delete;
    bool Ok() const { return png_ && info_; }
    png_structp png() const { return png_; }
    png_infop info() const { return info_; }
    const char* Message() const { return sink_.message; }
    bool AllocationRefused() const { return sink_.allocationRefused; }
    const char* LostForWantOfMemory() const { return sink_.lostForWantOfMemory; }

private:
    ErrorSink sink_;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

// The end of the file is read into the same info struct as its start, so there is
// no other to destroy.
void DestroyRead(png_structpp png, png_infopp info) {
    png_destroy_read_struct(png, info, nullptr);
}

using ReadStructs = PngStructs<png_create_read_struct_2, DestroyRead>;
using WriteStructs = PngStructs<png_create_write_struct_2, png_destroy_write_struct>;

// libpng gives no chunk more memory than png_set_chunk_malloc_max allows, by
// default 8,000,000 bytes, and drops an ICC profile whose header claims more. A
// profile is kept whole however long it is; the room it may take follows from its
// chunk, as much as the chunk's data inflates to at deflate's greatest ratio, so
// that a header claiming gigabytes that its chunk cannot hold is refused before
// any memory is taken for them. Other chunks keep libpng's limit.
void LimitChunk(png_structp png, const png_byte* header) {
    const bool profile = png_get_uint_32(header + 4) == ChunkName("iCCP");
    const uint64_t most = profile ? MostInflatedBytes(png_get_uint_32(header)) : 0;
    png_set_chunk_malloc_max(png, profile
                                      ? static_cast<png_alloc_size_t>(std::max<uint64_t>(most, 1))
                                      : PNG_USER_CHUNK_MALLOC_MAX);
}

// libpng's reading from INPUT's stream, past the signature already read, as
// png_init_io's would, and watching the chunk headers go by: libpng reads each
// one's length and name in one piece before it handles the chunk.
void ReadFromStream(png_structp png, png_bytep data, size_t length) {
    auto* file = static_cast<std::FILE*>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, file) != length) {
        png_error(png, std::ferror(file) ? std::strerror(errno) : "Read Error");
    }
    if ((png_get_io_state(png) & PNG_IO_CHUNK_HDR) != 0 && length == 8) {
        LimitChunk(png, data);
    }
}

// Steps of reading.
bool ReadInfo(png_structp png, png_infop info, std::FILE* file) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_read_fn(png, file, &ReadFromStream);
    // The signature has been read, to tell the formats apart.
    png_set_sig_bytes(png, static_cast<int>(InputFile::kLeadingBytes));
    png_read_info(png, info);
    return true;
}

bool PrepareRows(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    return true;
}

bool ReadRow(png_structp png, png_bytep row) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_row(png, row, nullptr);
    return true;
}

// An interlaced image's passes each fill in pixels all over it.
bool ReadAllRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_image(png, rows);
    return true;
}

// Into the info struct of the start: Exif data may come after the pixels.
bool ReadEnd(png_structp png, png_infop info) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_read_end(png, info);
    return true;
}

// libpng's own writer reports a failed write as "Write Error", dropping the
// system's reason (a full disk, a file-size limit), which this one keeps.
void WriteData(png_structp png, png_bytep data, size_t length) {
    if (std::fwrite(data, 1, length, static_cast<std::FILE*>(png_get_io_ptr(png))) != length) {
        png_error(png, std::strerror(errno));
    }
}

// A gray or RGB colour as libpng takes it.
png_color_16 Colour16(const std::vector<uint16_t>& samples) {
    png_color_16 colour{};
    if (samples.size() == 1) {
        colour.gray = samples[0];
    } else if (samples.size() == 3) {
        colour.red = samples[0];
        colour.green = samples[1];
        colour.blue = samples[2];
    }
    return colour;
}

// The samples of a colour that libpng gives for an image of this colour model.
std::vector<uint16_t> ColourSamples(const png_color_16& colour, ColourModel model) {
    return model == ColourModel::Gray
               ? std::vector<uint16_t>{colour.gray}
               : std::vector<uint16_t>{colour.red, colour.green, colour.blue};
}

// Steps of writing.
bool WriteHeader(png_structp png, png_infop info, std::FILE* file, const RasterImage* image,
                 int colourType) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_set_write_fn(png, file, &WriteData, nullptr);  // and libpng's own flush
    png_set_IHDR(png, info, static_cast<png_uint_32>(image->width),
                 static_cast<png_uint_32>(image->height), image->bitsPerSample, colourType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!image->iccProfile.empty()) {
        png_set_iCCP(png, info, image->png.iccProfileName.c_str(), PNG_COMPRESSION_TYPE_BASE,
                     image->iccProfile.data(), static_cast<png_uint_32>(image->iccProfile.size()));
    }
    if (image->png.srgbIntent) {
        png_set_sRGB(png, info, *image->png.srgbIntent);
    }
    if (image->png.gamma) {
        png_set_gAMA(png, info, *image->png.gamma);
    }
    if (image->png.chromaticities) {
        const std::array<int32_t, 8>& c = *image->png.chromaticities;
        png_set_cHRM_fixed(png, info, c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]);
    }
    if (image->resolution) {
        const Resolution& r = *image->resolution;
        png_set_pHYs(
            png, info, static_cast<png_uint_32>(r.x), static_cast<png_uint_32>(r.y),
            r.unit == Resolution::Unit::Metre ? PNG_RESOLUTION_METER : PNG_RESOLUTION_UNKNOWN);
    }
    if (image->png.transparentColour) {
        png_color_16 colour = Colour16(*image->png.transparentColour);
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    if (image->png.background) {
        const png_color_16 colour = Colour16(*image->png.background);
        png_set_bKGD(png, info, &colour);
    }
    if (!image->png.exif.empty()) {
        png_set_eXIf_1(png, info, static_cast<png_uint_32>(image->png.exif.size()),
                       const_cast<png_bytep>(image->png.exif.data()));
    }
    png_write_info(png, info);
    return true;
}

bool WriteRows(png_structp png, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_write_image(png, rows);
    // Without the info struct: all it holds went out before the pixels, and libpng
    // would write its Exif data a second time.
    png_write_end(png, nullptr);
    return true;
}

// The colour types read and written, each with the channels it stands for.
struct ColourType {
    int type;
    ColourModel colour;
    int extraChannels;
};

constexpr ColourType kColourTypes[] = {{PNG_COLOR_TYPE_GRAY, ColourModel::Gray, 0},
                                       {PNG_COLOR_TYPE_GRAY_ALPHA, ColourModel::Gray, 1},
                                       {PNG_COLOR_TYPE_RGB, ColourModel::Rgb, 0},
                                       {PNG_COLOR_TYPE_RGB_ALPHA, ColourModel::Rgb, 1}};

template <typename Matches>
const ColourType* FindColourType(Matches matches) {
    const ColourType* found =
        std::find_if(std::begin(kColourTypes), std::end(kColourTypes), matches);
    return found == std::end(kColourTypes) ? nullptr : found;
}

// A row of the file's samples appended to the image's.
void SamplesOfRow(const png_byte* row, RasterImage& image) {
    uint16_t* samples = image.AppendRow();
    const size_t count = image.RowSamples();
    if (image.bitsPerSample == 8) {
        std::copy(row, row + count, samples);
    } else {
        // PNG stores 16-bit samples most significant byte first, on every machine.
        for (size_t i = 0; i < count; ++i) {
            samples[i] = static_cast<uint16_t>(row[2 * i] << 8 | row[2 * i + 1]);
        }
    }
}

[[noreturn]] void FailRead(const std::string& path, const std::string& reason) {
    throw ToolError(kExitBadInput, path + " is not a valid PNG file: " + reason);
}

// libpng's error, unless memory was what it lacked.
[[noreturn]] void FailRead(const std::string& path, const ReadStructs& structs,
                           const std::string& where = "") {
    if (structs.AllocationRefused()) {
        throw ToolError(kExitOutOfMemory, "not enough memory to read " + path);
    }
    FailRead(path, structs.Message() + where);
}

[[noreturn]] void FailWrite(const std::string& path, const std::string& reason) {
    throw ToolError(kExitOutputFailed, "cannot write " + path + ": " + reason);
}

[[noreturn]] void FailWrite(const std::string& path, const WriteStructs& structs) {
    if (structs.AllocationRefused()) {
        throw std::bad_alloc();
    }
    FailWrite(path, structs.Message());
}

void ReadMetadata(png_structp png, png_infop info, RasterImage& image) {
    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(png, info, &name, &compression, &profile, &length) && profile) {
        image.iccProfile.assign(profile, profile + length);
        image.png.iccProfileName = name ? name : "ICC profile";
    }
    png_uint_32 xPerUnit = 0;
    png_uint_32 yPerUnit = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &xPerUnit, &yPerUnit, &unit)) {
        image.resolution = Resolution{
            static_cast<double>(xPerUnit), static_cast<double>(yPerUnit),
            unit == PNG_RESOLUTION_METER ? Resolution::Unit::Metre : Resolution::Unit::None};
    }
    int intent = 0;
    if (png_get_sRGB(png, info, &intent)) {
        image.png.srgbIntent = intent;
    }
    double gamma = 0;
    if (png_get_gAMA(png, info, &gamma)) {
        image.png.gamma = gamma;
    }
    // With sRGB, which takes its place for any viewer that knows sRGB, libpng gives
    // sRGB's own chromaticities whether the file has a cHRM chunk or not.
    std::array<png_fixed_point, 8> c{};
    if (!image.png.srgbIntent &&
        png_get_cHRM_fixed(png, info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7])) {
        image.png.chromaticities = c;
    }
    png_bytep alphas = nullptr;
    int count = 0;
    png_color_16p colour = nullptr;
    if (image.extraChannels == 0 && png_get_tRNS(png, info, &alphas, &count, &colour) && colour) {
        image.png.transparentColour = ColourSamples(*colour, image.colour);
    }
    png_color_16p background = nullptr;
    if (png_get_bKGD(png, info, &background) && background) {
        image.png.background = ColourSamples(*background, image.colour);
    }
}

// Read once the whole file is: the chunk may come before or after the pixels.
void ReadExif(png_structp png, png_infop info, RasterImage& image) {
    png_uint_32 length = 0;
    png_bytep exif = nullptr;
    if (png_get_eXIf_1(png, info, &length, &exif) && exif) {
        image.png.exif.assign(exif, exif + length);
    }
}

void ThrowIfLostForWantOfMemory(const ReadStructs& structs, const std::string& path) {
    if (structs.LostForWantOfMemory()) {
        throw ToolError(kExitOutOfMemory, std::string("not enough memory for the ") +
                                              structs.LostForWantOfMemory() + " of " + path);
    }
}

}  // namespace

RasterImage ReadPng(InputFile& input) {
    const std::string& path = input.Path();
    ReadStructs structs;
    if (!structs.Ok()) {
        throw ToolError(kExitOutOfMemory, "not enough memory to read " + path);
    }
    png_structp png = structs.png();
    png_infop info = structs.info();
    if (!ReadInfo(png, info, input.Stream())) {
        FailRead(path, structs);
    }
    ThrowIfLostForWantOfMemory(structs, path);

    RasterImage image;
    image.format = FileFormat::Png;
    const int colourType = png_get_color_type(png, info);
    const ColourType* fileType =
        FindColourType([&](const ColourType& t) { return t.type == colourType; });
    if (!fileType) {
        throw ToolError(kExitBadInput, path +
                                           ": indexed-colour PNG files are not supported "
                                           "(gray, gray+alpha, RGB and RGBA are)");
    }
    image.colour = fileType->colour;
    image.extraChannels = fileType->extraChannels;
    image.bitsPerSample = png_get_bit_depth(png, info);
    if (image.bitsPerSample != 8 && image.bitsPerSample != 16) {
        throw ToolError(kExitBadInput, path + ": " + std::to_string(image.bitsPerSample) +
                                           "-bit samples are not supported (8 and 16 are)");
    }
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    CheckExtents(path, width, height);
    image.width = static_cast<int32_t>(width);
    image.height = static_cast<int32_t>(height);
    ReadMetadata(png, info, image);
    if (!PrepareRows(png, info)) {
        FailRead(path, structs);
    }

    const size_t rowBytes = png_get_rowbytes(png, info);
    const std::optional<uint64_t> fileBytes = input.RegularLength();
    // All the pixels come out of one deflate stream in the file. A pipe's length is
    // not known: its rows take memory only as they arrive.
    if (fileBytes && static_cast<uint64_t>(rowBytes) * height > MostInflatedBytes(*fileBytes)) {
        FailRead(path, "its " + std::to_string(*fileBytes) + " bytes cannot hold " +
                           std::to_string(width) + " x " + std::to_string(height) + " pixels");
    }
    const auto rowFailed = [&](png_uint_32 y) {
        FailRead(path, structs,
                 " (row " + std::to_string(y + 1) + " of " + std::to_string(height) + ")");
    };
    try {
        ReserveRowsFor(image, fileBytes, /*compressed=*/true);
        if (png_get_interlace_type(png, info) == PNG_INTERLACE_NONE) {
            std::vector<png_byte> row(rowBytes);
            for (png_uint_32 y = 0; y < height; ++y) {
                if (!ReadRow(png, row.data())) {
                    rowFailed(y);
                }
                SamplesOfRow(row.data(), image);
            }
        } else {
            // Left uninitialised, so that only the rows the passes reach take memory.
            const auto pixels = std::make_unique_for_overwrite<png_byte[]>(rowBytes * height);
            std::vector<png_bytep> rows(height);
            for (png_uint_32 y = 0; y < height; ++y) {
                rows[y] = pixels.get() + y * rowBytes;
            }
            if (!ReadAllRows(png, rows.data())) {
                FailRead(path, structs);
            }
            for (png_uint_32 y = 0; y < height; ++y) {
                SamplesOfRow(rows[y], image);
            }
        }
    } catch (const std::bad_alloc&) {
        NotEnoughMemory(path, image);
    }
    if (!ReadEnd(png, info)) {
        FailRead(path, structs);
    }
    ThrowIfLostForWantOfMemory(structs, path);
    ReadExif(png, info, image);
    return image;
}

void WritePng(const std::string& path, const RasterImage& image, const std::string& shownAs) {
    const ColourType* fileType = FindColourType([&](const ColourType& t) {
        return t.colour == image.colour && t.extraChannels == image.extraChannels;
    });
    if (!fileType) {
        FailWrite(shownAs, std::string("PNG has no room for ") + ColourName(image.colour) +
                               " with " + std::to_string(image.extraChannels) + " extra channels");
    }

    const size_t bytesPerSample = static_cast<size_t>(image.bitsPerSample / 8);
    const size_t rowBytes =
        static_cast<size_t>(image.width) * static_cast<size_t>(image.Channels()) * bytesPerSample;
    std::vector<png_byte> pixels(rowBytes * static_cast<size_t>(image.height));
    for (size_t i = 0; i < image.samples.size(); ++i) {
        const uint16_t value = image.samples[i];
        if (bytesPerSample == 1) {
            pixels[i] = static_cast<png_byte>(value);
        } else {
            pixels[2 * i] = static_cast<png_byte>(value >> 8);
            pixels[2 * i + 1] = static_cast<png_byte>(value);
        }
    }
    std::vector<png_bytep> rows(static_cast<size_t>(image.height));
    for (size_t y = 0; y < rows.size(); ++y) {
        rows[y] = pixels.data() + y * rowBytes;
    }

    File file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        FailWrite(shownAs, std::strerror(errno));
    }
    WriteStructs structs;
    if (!structs.Ok()) {
        throw std::bad_alloc();
    }
    if (!WriteHeader(structs.png(), structs.info(), file.get(), &image, fileType->type) ||
        !WriteRows(structs.png(), rows.data())) {
        FailWrite(shownAs, structs);
    }
    if (std::fflush(file.get()) != 0 || std::ferror(file.get())) {
        FailWrite(shownAs, std::strerror(errno));
    }
    if (std::fclose(file.release()) != 0) {
        FailWrite(shownAs, std::strerror(errno));
    }
}

}  // namespace vexo::hosttool
