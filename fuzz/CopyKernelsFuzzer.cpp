#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "host/CopyImageRegion.h"
#include "host/CopyPixels.h"

// The pixel copy kernels and the in-memory region copies over random layouts, codes,
// planes, rects inside their buffers and scales, against a plain loop over the table
// of positions. Every buffer is exactly as large as the copy needs, so a sample read
// or written outside it is an AddressSanitizer report.
namespace {

// Which kind of side a code has, for sizing its buffer.
enum class Side { Interleaved, InterleavedThree, Planar, Single };

Side SourceSide(int32_t code) {
    switch (code) {
        case 0: case 1: return Side::Interleaved;
        case 2: case 3: return Side::Planar;
        case 6: return Side::InterleavedThree;
        case 7: return Side::Planar;
        default: return Side::Single;
    }
}

Side DestinationSide(int32_t code) {
    switch (code) {
        case 0: case 2: return Side::Interleaved;
        case 1: case 3: return Side::Planar;
        case 4: return Side::InterleavedThree;
        case 5: return Side::Planar;
        default: return Side::Single;
    }
}

struct Geometry {
    Rect rect;
    int32_t rowStride;
    int32_t planeRows;
};

int32_t Width(const Rect& r) { return int32_t{r.right} - r.left; }
int32_t Height(const Rect& r) { return int32_t{r.bottom} - r.top; }

// Offset of sample (row r, column c, plane k) on one side, as the kernel's table gives it.
int64_t Position(Side side, const Geometry& g, int32_t planes, int32_t firstPlane, int32_t r,
                 int32_t c, int32_t k, bool singlePlaneCode) {
    const int64_t row = int64_t{g.rect.top + r} * g.rowStride;
    const int64_t plane = int64_t{g.planeRows} * g.rowStride;
    switch (side) {
        case Side::Interleaved: return row + 3 * g.rect.left + int64_t{planes} * c + k;
        case Side::InterleavedThree: return row + 3 * g.rect.left + firstPlane + 3 * c;
        case Side::Planar:
            return (singlePlaneCode ? firstPlane : k) * plane + row + g.rect.left + c;
        case Side::Single: return row + g.rect.left + c;
    }
    return 0;
}

template <typename Destination>
Destination Convert(uint32_t v, float scale) {
    constexpr uint32_t kMax = std::numeric_limits<Destination>::max();
    if (scale == 1.0f) {
        return static_cast<Destination>(v);
    }
    const float p = static_cast<float>(v) * scale;
    const double s = static_cast<double>(p) + 0.5;
    const double t = s + 1048576.0;
    const uint32_t n = static_cast<uint32_t>((std::bit_cast<uint64_t>(t) >> 32) & 0xFFFFF);
    return static_cast<Destination>(std::min(n, kMax));
}

struct Copy {
    int32_t code;
    Geometry source;
    Geometry destination;
    int32_t firstPlane;
    int32_t lastPlane;
    float scale;
};

// Calls fn(sourcePos, destinationPos) in the kernel's order of work.
template <typename Fn>
void ForEachSample(const Copy& copy, Fn fn) {
    const int32_t w = std::min(Width(copy.source.rect), Width(copy.destination.rect));
    const int32_t h = std::min(Height(copy.source.rect), Height(copy.destination.rect));
    const int32_t planes = copy.lastPlane - copy.firstPlane + 1;
    if (w <= 0 || h <= 0 || copy.code < 0 || copy.code > 8) return;
    const bool single = copy.code >= 4;
    if (!single && planes <= 0) return;
    const Side s = SourceSide(copy.code);
    const Side d = DestinationSide(copy.code);
    auto at = [&](int32_t r, int32_t c, int32_t k) {
        fn(Position(s, copy.source, planes, copy.firstPlane, r, c, k, single),
           Position(d, copy.destination, planes, copy.firstPlane, r, c, k, single));
    };
    if (copy.code == 3) {
        for (int32_t k = 0; k < planes; ++k)
            for (int32_t r = 0; r < h; ++r)
                for (int32_t c = 0; c < w; ++c) at(r, c, k);
    } else {
        for (int32_t r = 0; r < h; ++r)
            for (int32_t c = 0; c < w; ++c)
                for (int32_t k = 0; k < (single ? 1 : planes); ++k) at(r, c, k);
    }
}

Rect PickRect(FuzzedDataProvider& in) {
    const auto top = in.ConsumeIntegralInRange<int16_t>(0, 12);
    const auto left = in.ConsumeIntegralInRange<int16_t>(0, 12);
    // Inverted and empty rects too: they copy nothing.
    const auto height = in.ConsumeIntegralInRange<int16_t>(-2, 14);
    const auto width = in.ConsumeIntegralInRange<int16_t>(-2, 14);
    return Rect{top, left, static_cast<int16_t>(top + height), static_cast<int16_t>(left + width)};
}

// A row stride and plane rows that keep rows and planes apart, so that no two
// positions of a copy meet.
Geometry PickGeometry(FuzzedDataProvider& in, Side side, int32_t planes, int32_t firstPlane) {
    Geometry g{PickRect(in), 0, 0};
    const int32_t right = std::max<int32_t>(g.rect.left, g.rect.right);
    int32_t rowExtent = right;
    if (side == Side::Interleaved) rowExtent = 3 * g.rect.left + planes * (right - g.rect.left);
    if (side == Side::InterleavedThree) rowExtent = 3 * right;
    g.rowStride = rowExtent + in.ConsumeIntegralInRange<int32_t>(0, 5);
    g.planeRows = std::max<int32_t>(g.rect.top, g.rect.bottom) + in.ConsumeIntegralInRange<int32_t>(0, 3);
    (void)firstPlane;
    return g;
}

float PickScale(FuzzedDataProvider& in, uint32_t sourceMax) {
    switch (in.ConsumeIntegralInRange<int>(0, 8)) {
        case 0: return 1.0f;
        case 1: return 257.0f;
        case 2: return 255.0f / 65535.0f;
        case 3: return 65535.0f / 32768.0f;
        case 4: return 32768.0f / 65535.0f;
        case 5: return 32768.0f / 255.0f;
        case 6: return 255.0f / 32768.0f;
        case 7: return 0.0f;
        default:
            // Anything the kernel's limit allows: scale x the largest sample + 0.5 below 2^20.
            return in.ConsumeFloatingPointInRange<float>(0.0f, 1048000.0f / static_cast<float>(sourceMax));
    }
}

template <typename Sample>
std::vector<Sample> Samples(FuzzedDataProvider& in, size_t count) {
    std::vector<Sample> samples(count);
    const uint32_t seed = in.ConsumeIntegral<uint32_t>();
    for (size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<Sample>((seed + i * 2654435761u) >> 7);
    }
    return samples;
}

template <typename Source, typename Destination>
void FuzzCopyPixels(FuzzedDataProvider& in) {
    Copy copy{};
    copy.code = in.ConsumeIntegralInRange<int32_t>(-1, 9);
    const bool interleavedThree = copy.code == 4 || copy.code == 6;
    copy.firstPlane = in.ConsumeIntegralInRange<int32_t>(0, interleavedThree ? 2 : 5);
    copy.lastPlane = in.ConsumeIntegralInRange<int32_t>(copy.firstPlane - 1, copy.firstPlane + 5);
    const int32_t planes = std::max(copy.lastPlane - copy.firstPlane + 1, 0);
    const int32_t code = std::clamp(copy.code, 0, 8);
    copy.source = PickGeometry(in, SourceSide(code), planes, copy.firstPlane);
    copy.destination = PickGeometry(in, DestinationSide(code), planes, copy.firstPlane);
    copy.scale = PickScale(in, std::numeric_limits<Source>::max());

    int64_t sourceEnd = 0, destinationEnd = 0;
    ForEachSample(copy, [&](int64_t s, int64_t d) {
        sourceEnd = std::max(sourceEnd, s + 1);
        destinationEnd = std::max(destinationEnd, d + 1);
    });
    const std::vector<Source> source = Samples<Source>(in, static_cast<size_t>(sourceEnd));
    std::vector<Destination> expected = Samples<Destination>(in, static_cast<size_t>(destinationEnd));
    std::vector<Destination> actual = expected;
    ForEachSample(copy, [&](int64_t s, int64_t d) {
        expected[static_cast<size_t>(d)] = Convert<Destination>(source[static_cast<size_t>(s)], copy.scale);
    });
    CopyPixels(source.data(), copy.source.rect, copy.source.rowStride, copy.source.planeRows,
               actual.data(), copy.destination.rect, copy.destination.rowStride,
               copy.destination.planeRows, copy.firstPlane, copy.lastPlane,
               static_cast<CopyLayout>(copy.code), copy.scale);
    for (size_t i = 0; i < actual.size(); ++i) {
        VEXO_FUZZ_CHECK(actual[i] == expected[i], "code %d scale %.9g: sample %zu is %u, not %u",
                        copy.code, copy.scale, i, unsigned{actual[i]}, unsigned{expected[i]});
    }
}

// An in-memory image's extent and a region inside it.
struct Image {
    Rect extent;
    Rect region;
};

Image PickImage(FuzzedDataProvider& in) {
    const auto width = in.ConsumeIntegralInRange<int16_t>(0, 20);
    const auto height = in.ConsumeIntegralInRange<int16_t>(0, 20);
    Image image{Rect{7, 9, static_cast<int16_t>(7 + height), static_cast<int16_t>(9 + width)}, {}};
    const auto top = in.ConsumeIntegralInRange<int16_t>(0, height);
    const auto left = in.ConsumeIntegralInRange<int16_t>(0, width);
    const auto bottom = in.ConsumeIntegralInRange<int16_t>(top, height);
    const auto right = in.ConsumeIntegralInRange<int16_t>(left, width);
    image.region = Rect{top, left, bottom, right};
    return image;
}

template <typename Source, typename Destination>
void FuzzCopyImageRegion(FuzzedDataProvider& in) {
    const auto code = in.ConsumeIntegralInRange<int32_t>(0, 8);
    const bool single = code >= 4;
    // An in-memory interleaved image holds three samples a pixel.
    const bool interleaved = SourceSide(code) == Side::Interleaved ||
                             DestinationSide(code) == Side::Interleaved;
    const int32_t firstPlane = in.ConsumeIntegralInRange<int32_t>(0, single && code != 5 && code != 7 ? 2 : 3);
    const int32_t lastPlane =
        single ? firstPlane
               : in.ConsumeIntegralInRange<int32_t>(firstPlane, firstPlane + (interleaved ? 2 - std::min(firstPlane, 2) : 3));
    const int32_t planes = single ? firstPlane + 1 : lastPlane - firstPlane + 1;
    const Image source = PickImage(in);
    const Image destination = PickImage(in);
    auto samplesOf = [&](Side side, const Image& image) {
        const size_t area = static_cast<size_t>(Width(image.extent)) * static_cast<size_t>(Height(image.extent));
        switch (side) {
            case Side::Interleaved:
            case Side::InterleavedThree: return 3 * area;
            case Side::Planar: return static_cast<size_t>(std::max(planes, 1)) * area;
            case Side::Single: return area;
        }
        return area;
    };
    const std::vector<Source> sourceData = Samples<Source>(in, samplesOf(SourceSide(code), source));
    std::vector<Destination> expected = Samples<Destination>(in, samplesOf(DestinationSide(code), destination));
    std::vector<Destination> actual = expected;

    // The same copy, as the kernel's plain loop does it over the packed images.
    auto packed = [&](Side side, const Image& image) {
        const bool three = side == Side::Interleaved || side == Side::InterleavedThree;
        return Geometry{image.region, (three ? 3 : 1) * Width(image.extent), Height(image.extent)};
    };
    const float scale = std::is_same_v<Source, Destination> ? 1.0f
                        : sizeof(Source) == 2             ? 255.0f / 65535.0f
                                                          : 257.0f;
    const Copy copy{code, packed(SourceSide(code), source), packed(DestinationSide(code), destination),
                    firstPlane, lastPlane, scale};
    ForEachSample(copy, [&](int64_t s, int64_t d) {
        VEXO_FUZZ_CHECK(s >= 0 && static_cast<size_t>(s) < sourceData.size(), "reference outside source");
        VEXO_FUZZ_CHECK(d >= 0 && static_cast<size_t>(d) < expected.size(), "reference outside destination");
        expected[static_cast<size_t>(d)] = Convert<Destination>(sourceData[static_cast<size_t>(s)], scale);
    });
    CopyImageRegion(sourceData.empty() ? nullptr : sourceData.data(), source.extent, source.region,
                    actual.empty() ? nullptr : actual.data(), destination.extent, destination.region,
                    firstPlane, lastPlane, static_cast<CopyLayout>(code));
    for (size_t i = 0; i < actual.size(); ++i) {
        VEXO_FUZZ_CHECK(actual[i] == expected[i], "image copy code %d: sample %zu is %u, not %u",
                        code, i, unsigned{actual[i]}, unsigned{expected[i]});
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange<int>(0, 7)) {
            case 0: FuzzCopyPixels<uint8_t, uint8_t>(in); break;
            case 1: FuzzCopyPixels<uint16_t, uint8_t>(in); break;
            case 2: FuzzCopyPixels<uint8_t, uint16_t>(in); break;
            case 3: FuzzCopyPixels<uint16_t, uint16_t>(in); break;
            case 4: FuzzCopyImageRegion<uint8_t, uint8_t>(in); break;
            case 5: FuzzCopyImageRegion<uint16_t, uint8_t>(in); break;
            case 6: FuzzCopyImageRegion<uint8_t, uint16_t>(in); break;
            default: FuzzCopyImageRegion<uint16_t, uint16_t>(in); break;
        }
    }
    return 0;
}
