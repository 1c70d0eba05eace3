#include "framework/CARect.h"

namespace {

// Edge differences and areas wrap in 32 bits, as the exported layout defines them,
// without signed-overflow undefined behaviour for extreme edges.
int32_t WrappingDifference(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
}

int32_t WrappingProduct(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) * static_cast<uint32_t>(b));
}

}  // namespace

CARect::CARect() : right(0), left(0), top(0), bottom(0) {}

CARect::CARect(int32_t width, int32_t height) : right(width), left(0), top(0), bottom(height) {}

CARect::CARect(int32_t left, int32_t right, int32_t top, int32_t bottom)
    : right(right), left(left), top(top), bottom(bottom) {}

CARect::CARect(const CARect& other) = default;

int32_t CARect::width() const { return WrappingDifference(right, left); }

int32_t CARect::height() const { return WrappingDifference(bottom, top); }

int32_t CARect::size() const { return WrappingProduct(width(), height()); }

uint8_t CARect::operator==(CARect& other) {
    return width() == other.width() && height() == other.height();
}

uint8_t CARect::operator!=(CARect& other) { return !(*this == other); }

uint8_t CARect::operator>(CARect& other) { return size() > other.size(); }

uint8_t CARect::operator>=(CARect& other) { return size() >= other.size(); }

uint8_t CARect::operator<(CARect& other) { return size() < other.size(); }

uint8_t CARect::operator<=(CARect& other) { return size() <= other.size(); }

CARect& CARect::operator=(const CARect& other) = default;
