#include "tests/cli/OddFiles.h"

#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace vexo::hosttool::testing {
namespace {

// libpng jumps out on error; nothing in this frame needs destroying.
bool WriteLowDepth(png_structp png, png_infop info, std::FILE* file, uint32_t width,
                   uint32_t height, int bits, png_bytep row) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, bits, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < height; ++y) {
        png_write_row(png, row);
    }
    png_write_end(png, info);
    return true;
}

bool WriteInterlaced(png_structp png, png_infop info, std::FILE* file, const RasterImage* image,
                     int colourType, png_bytepp rows) {
    if (setjmp(png_jmpbuf(png))) {
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image->width),
                 static_cast<png_uint_32>(image->height), image->bitsPerSample, colourType,
                 PNG_INTERLACE_ADAM7, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_set_interlace_handling(png);
    png_write_image(png, rows);
    png_write_end(png, info);
    return true;
}

void PutBigEndian32(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void PutChunk(std::vector<uint8_t>& file, const char (&type)[5], const std::vector<uint8_t>& data) {
    PutBigEndian32(file, static_cast<uint32_t>(data.size()));
    const size_t typeAt = file.size();
    file.insert(file.end(), type, type + 4);
    file.insert(file.end(), data.begin(), data.end());
    PutBigEndian32(file, static_cast<uint32_t>(
                             crc32(0, file.data() + typeAt, static_cast<uInt>(data.size() + 4))));
}

// The start of a zlib stream of rows of zeros, flushed but not finished.
std::vector<uint8_t> DeflatedZeroRows(size_t rowBytes, uint32_t rows) {
    z_stream stream{};
    if (deflateInit(&stream, Z_BEST_SPEED) != Z_OK) {
        throw std::runtime_error("deflateInit failed");
    }
    const std::vector<uint8_t> row(rowBytes, 0);
    std::vector<uint8_t> out;
    std::vector<uint8_t> chunk(1 << 16);
    for (uint32_t y = 0; y <= rows; ++y) {
        stream.next_in = const_cast<Bytef*>(row.data());
        stream.avail_in = y < rows ? static_cast<uInt>(row.size()) : 0;
        do {
            stream.next_out = chunk.data();
            stream.avail_out = static_cast<uInt>(chunk.size());
            deflate(&stream, y < rows ? Z_NO_FLUSH : Z_SYNC_FLUSH);
            out.insert(out.end(), chunk.data(), stream.next_out);
        } while (stream.avail_out == 0);
    }
    deflateEnd(&stream);
    return out;
}

// A whole zlib stream of `start` and then as many zeros.
std::vector<uint8_t> Deflated(const std::vector<uint8_t>& start, uint64_t zeros) {
    z_stream stream{};
    if (deflateInit(&stream, Z_DEFAULT_COMPRESSION) != Z_OK) {
        throw std::runtime_error("deflateInit failed");
    }
    const std::vector<uint8_t> zeroBlock(1 << 16, 0);
    std::vector<uint8_t> out;
    std::vector<uint8_t> chunk(1 << 16);
    const auto pass = [&](const uint8_t* bytes, size_t size, int flush) {
        stream.next_in = const_cast<Bytef*>(bytes);
        stream.avail_in = static_cast<uInt>(size);
        do {
            stream.next_out = chunk.data();
            stream.avail_out = static_cast<uInt>(chunk.size());
            deflate(&stream, flush);
            out.insert(out.end(), chunk.data(), stream.next_out);
        } while (stream.avail_out == 0);
    };
    pass(start.data(), start.size(), Z_NO_FLUSH);
    for (uint64_t left = zeros; left > 0;) {
        const size_t step = static_cast<size_t>(std::min<uint64_t>(left, zeroBlock.size()));
        pass(zeroBlock.data(), step, Z_NO_FLUSH);
        left -= step;
    }
    pass(nullptr, 0, Z_FINISH);
    deflateEnd(&stream);
    return out;
}

}  // namespace

void WritePngWithChunks(const std::string& path, uint32_t width, uint32_t height,
                        const std::vector<ExtraChunk>& chunks) {
    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBigEndian32(header, width);
    PutBigEndian32(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});
    PutChunk(file, "IHDR", header);
    for (const bool afterPixels : {false, true}) {
        if (afterPixels) {
            // Each row: filter type none, then zeros.
            PutChunk(file, "IDAT", Deflated({}, uint64_t{width * 3 + 1} * height));
        }
        for (const ExtraChunk& chunk : chunks) {
            if (chunk.afterPixels == afterPixels) {
                const char type[5] = {chunk.type[0], chunk.type[1], chunk.type[2], chunk.type[3],
                                      0};
                PutChunk(file, type, chunk.data);
            }
        }
    }
    PutChunk(file, "IEND", {});
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
}

std::vector<uint8_t> IccpChunkData(const std::vector<uint8_t>& start, uint64_t heldBytes) {
    std::vector<uint8_t> data = {'p', 'r', 'o', 'f', 'i', 'l', 'e', 0, 0};
    const std::vector<uint8_t> deflated =
        Deflated(start, heldBytes > start.size() ? heldBytes - start.size() : 0);
    data.insert(data.end(), deflated.begin(), deflated.end());
    return data;
}

std::vector<std::string> PngChunkTypes(const std::vector<uint8_t>& file) {
    std::vector<std::string> types;
    for (size_t at = 8; at + 8 <= file.size();) {
        const uint32_t length = static_cast<uint32_t>(file[at]) << 24 |
                                static_cast<uint32_t>(file[at + 1]) << 16 |
                                static_cast<uint32_t>(file[at + 2]) << 8 | file[at + 3];
        types.emplace_back(file.begin() + static_cast<ptrdiff_t>(at + 4),
                           file.begin() + static_cast<ptrdiff_t>(at + 8));
        at += 12 + size_t{length};
    }
    return types;
}

void WriteCutPng(const std::string& path, const CutPng& d) {
    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    PutBigEndian32(header, d.width);
    PutBigEndian32(header, d.height);
    header.insert(header.end(),
                  {static_cast<uint8_t>(d.bitDepth), static_cast<uint8_t>(d.colourType), 0, 0,
                   static_cast<uint8_t>(d.interlaced ? 1 : 0)});
    PutChunk(file, "IHDR", header);
    if (d.paddingBytes > 0) {
        PutChunk(file, "vxPd", std::vector<uint8_t>(d.paddingBytes, 0));
    }
    const int channels = d.colourType == 2 ? 3 : d.colourType == 6 ? 4 : d.colourType == 4 ? 2 : 1;
    const size_t rowBytes = size_t{d.width} * static_cast<size_t>(channels * d.bitDepth / 8);
    // Each row: filter type none, then zeros.
    PutChunk(file, "IDAT", DeflatedZeroRows(rowBytes + 1, d.rows));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
}

void WritePalettePng(const std::string& path, uint32_t width, uint32_t height) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = PNG_FORMAT_RGB_COLORMAP;
    image.colormap_entries = 2;
    const unsigned char colours[] = {0, 0, 0, 255, 255, 255};
    std::vector<unsigned char> indices(width * height);
    for (size_t i = 0; i < indices.size(); ++i) {
        indices[i] = static_cast<unsigned char>(i % 2);
    }
    if (!png_image_write_to_file(&image, path.c_str(), 0, indices.data(), 0, colours)) {
        throw std::runtime_error(image.message);
    }
}

void WriteGrayPngOfDepth(const std::string& path, uint32_t width, uint32_t height, int bits) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    std::vector<png_byte> row((width * static_cast<uint32_t>(bits) + 7) / 8, 0x5A);
    const bool ok = file && WriteLowDepth(png, info, file, width, height, bits, row.data());
    png_destroy_write_struct(&png, &info);
    if (file) {
        std::fclose(file);
    }
    if (!ok) {
        throw std::runtime_error("cannot write " + path);
    }
}

void WriteGray16Png(const std::string& path, const std::vector<uint16_t>& samples) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(samples.size());
    image.height = 1;
    image.format = PNG_FORMAT_LINEAR_Y;
    if (!png_image_write_to_file(&image, path.c_str(), 0, samples.data(), 0, nullptr)) {
        throw std::runtime_error(image.message);
    }
}

void WriteInterlacedPng(const std::string& path, const RasterImage& image) {
    const size_t bytesPerSample = static_cast<size_t>(image.bitsPerSample / 8);
    const size_t rowBytes = image.RowSamples() * bytesPerSample;
    // PNG's order: most significant byte first.
    std::vector<png_byte> pixels(rowBytes * static_cast<size_t>(image.height));
    for (size_t i = 0; i < image.samples.size(); ++i) {
        if (bytesPerSample == 1) {
            pixels[i] = static_cast<png_byte>(image.samples[i]);
        } else {
            pixels[2 * i] = static_cast<png_byte>(image.samples[i] >> 8);
            pixels[2 * i + 1] = static_cast<png_byte>(image.samples[i]);
        }
    }
    std::vector<png_bytep> rows(static_cast<size_t>(image.height));
    for (size_t y = 0; y < rows.size(); ++y) {
        rows[y] = pixels.data() + y * rowBytes;
    }
    std::FILE* file = std::fopen(path.c_str(), "wb");
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    const int colourType = image.extraChannels > 0 ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB;
    const bool ok = file && WriteInterlaced(png, info, file, &image, colourType, rows.data());
    png_destroy_write_struct(&png, &info);
    if (file) {
        std::fclose(file);
    }
    if (!ok) {
        throw std::runtime_error("cannot write " + path);
    }
}

void WriteOddTiff(const std::string& path, const OddTiff& d) {
    TIFF* tiff = TIFFOpen(path.c_str(), "w");
    if (!tiff) {
        throw std::runtime_error("cannot write " + path);
    }
    const uint32_t tileSide = 16;
    const size_t bytesPerSample = d.bitsPerSample / 8;
    for (int page = 0; page < d.pages; ++page) {
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, d.width);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, d.height);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, d.bitsPerSample);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, d.samplesPerPixel);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, d.photometric);
        TIFFSetField(tiff, TIFFTAG_SAMPLEFORMAT, d.sampleFormat);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, d.planarConfig);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, d.compression);
        if (d.rowsPerStrip > 0) {
            TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, d.rowsPerStrip);
        }
        const uint32_t rows = std::min(d.height, d.writtenRows);
        if (d.samplesPerPixel > 3 && d.photometric == PHOTOMETRIC_RGB) {
            const uint16_t alpha = EXTRASAMPLE_UNASSALPHA;
            TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, &alpha);
        }
        // Each sample its own value, so that a layout mix-up shows.
        const auto value = [&](uint32_t x, uint32_t y, uint32_t s) {
            return (x * 3 + y * 5 + s * 17) % (d.bitsPerSample == 8 ? 256u : 65536u);
        };
        const auto put = [&](std::vector<uint8_t>& buffer, size_t index, uint32_t v) {
            if (bytesPerSample == 1) {
                buffer[index] = static_cast<uint8_t>(v);
            } else {
                const auto sample = static_cast<uint16_t>(v);
                std::memcpy(buffer.data() + 2 * index, &sample, 2);
            }
        };
        if (d.tiled) {
            TIFFSetField(tiff, TIFFTAG_TILEWIDTH, tileSide);
            TIFFSetField(tiff, TIFFTAG_TILELENGTH, tileSide);
            std::vector<uint8_t> tile(static_cast<size_t>(TIFFTileSize(tiff)));
            for (uint32_t ty = 0; ty < d.height; ty += tileSide) {
                for (uint32_t tx = 0; tx < d.width; tx += tileSide) {
                    for (uint32_t y = 0; y < tileSide; ++y) {
                        for (uint32_t x = 0; x < tileSide; ++x) {
                            for (uint32_t s = 0; s < d.samplesPerPixel; ++s) {
                                put(tile, (y * tileSide + x) * d.samplesPerPixel + s,
                                    value(tx + x, ty + y, s));
                            }
                        }
                    }
                    TIFFWriteTile(tiff, tile.data(), tx, ty, 0, 0);
                }
            }
        } else if (d.planarConfig == PLANARCONFIG_SEPARATE) {
            std::vector<uint8_t> row(d.width * bytesPerSample);
            for (uint16_t s = 0; s < d.samplesPerPixel; ++s) {
                for (uint32_t y = 0; y < rows; ++y) {
                    for (uint32_t x = 0; x < d.width; ++x) {
                        put(row, x, value(x, y, s));
                    }
                    TIFFWriteScanline(tiff, row.data(), y, s);
                }
            }
        } else {
            std::vector<uint8_t> row(d.width * d.samplesPerPixel * bytesPerSample);
            for (uint32_t y = 0; y < rows; ++y) {
                for (uint32_t x = 0; x < d.width; ++x) {
                    for (uint32_t s = 0; s < d.samplesPerPixel; ++s) {
                        put(row, x * d.samplesPerPixel + s, value(x, y, s));
                    }
                }
                TIFFWriteScanline(tiff, row.data(), y, 0);
            }
        }
        TIFFWriteDirectory(tiff);
    }
    TIFFClose(tiff);
}

}  // namespace vexo::hosttool::testing
