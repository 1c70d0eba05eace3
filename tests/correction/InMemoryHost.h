#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "correction/CVexoCorrectionAlgorithm.h"
#include "framework/CATypes.h"

// The correction over planes held in memory: the seven host services of a binding, with a log
// of what the algorithm asked for and switches that make a request fail.
namespace vexo::testing {

// One call of a host service.
struct HostCall {
    enum class Kind { Allocate, Free, Progress, DataRequest, Other };
    Kind kind;
    int32_t stage = 0;            // Progress: the stage
    int32_t count = 0;            // Progress: the count; Allocate: the size
    int32_t channels = 0;         // DataRequest: the selector
    const void* block = nullptr;  // Allocate: the block handed out; Free: the block given back
    bool onCallingThread = true;  // false when a worker thread made the call
};

class InMemoryHost final : public CVexoCorrectionAlgorithm {
public:
    // Output samples start as this, so that anything not written shows.
    static constexpr unsigned char kUnwrittenByte = 0xA5;

    // Planes of width x height samples, each row followed by `padding` samples that nobody may
    // write. Every depth but 8 holds 16-bit samples, as the algorithm reads the depth.
    InMemoryHost(int32_t width, int32_t height, int32_t planes, int32_t depth, int32_t padding = 5)
        : stride_(width + padding),
          sampleBytes_(CAIsEightBitDepth(depth) ? 1 : 2),
          callingThread_(std::this_thread::get_id()) {
        imageInfo.width = width;
        imageInfo.height = height;
        imageInfo.channels = planes;
        imageInfo.depth = depth;
        const size_t bytes = static_cast<size_t>(stride_) * height * sampleBytes_;
        for (int32_t p = 0; p < planes; ++p) {
            input_.emplace_back(bytes, 0);
            output_.emplace_back(bytes, kUnwrittenByte);
        }
    }

    ~InMemoryHost() {
        for (void* block : liveBlocks_) {
            std::free(block);
        }
    }

    InMemoryHost(const InMemoryHost&) = delete;
    InMemoryHost& operator=(const InMemoryHost&) = delete;

    int32_t Width() const { return imageInfo.width; }
    int32_t Height() const { return imageInfo.height; }
    int32_t Stride() const { return stride_; }

    // Sample (x, y) of a plane, widened; the sample type follows the depth.
    uint32_t InputAt(int32_t plane, int32_t x, int32_t y) const {
        return Read(input_, plane, x, y);
    }
    uint32_t OutputAt(int32_t plane, int32_t x, int32_t y) const {
        return Read(output_, plane, x, y);
    }
    void SetInput(int32_t plane, int32_t x, int32_t y, uint32_t value) {
        Write(input_, plane, x, y, value);
    }

    // Fills every input sample of every plane with value(plane, x, y).
    template <typename Fill>
    void FillInput(Fill value) {
        for (int32_t p = 0; p < static_cast<int32_t>(input_.size()); ++p) {
            for (int32_t y = 0; y < Height(); ++y) {
                for (int32_t x = 0; x < Width(); ++x) {
                    SetInput(p, x, y, value(p, x, y));
                }
            }
        }
    }

    // The output samples of a plane, row after row, without the padding.
    std::vector<uint32_t> OutputPlane(int32_t plane) const {
        std::vector<uint32_t> samples;
        for (int32_t y = 0; y < Height(); ++y) {
            for (int32_t x = 0; x < Width(); ++x) {
                samples.push_back(OutputAt(plane, x, y));
            }
        }
        return samples;
    }

    // Whether nothing at all was written to a plane's output.
    bool OutputUntouched(int32_t plane) const {
        for (unsigned char byte : output_[plane]) {
            if (byte != kUnwrittenByte) {
                return false;
            }
        }
        return true;
    }

    // Whether the padding after every output row of a plane still holds its initial bytes.
    bool OutputPaddingUntouched(int32_t plane) const {
        for (int32_t y = 0; y < Height(); ++y) {
            for (int32_t x = Width(); x < stride_; ++x) {
                for (int32_t b = 0; b < sampleBytes_; ++b) {
                    if (output_[plane][Offset(x, y) + b] != kUnwrittenByte) {
                        return false;
                    }
                }
            }
        }
        return true;
    }

    // Calls of one kind, in order.
    std::vector<HostCall> CallsOf(HostCall::Kind kind) const {
        std::vector<HostCall> selected;
        for (const HostCall& call : calls) {
            if (call.kind == kind) {
                selected.push_back(call);
            }
        }
        return selected;
    }

    // Switches: the n-th data request (counting from 1) fails; 0 fails none.
    int32_t failDataRequest = 0;
    bool failAllocation = false;

    std::vector<HostCall> calls;

    void* AllocateBuffer(uint32_t size) override {
        void* block = failAllocation ? nullptr : std::calloc(size, 1);
        if (block != nullptr) {
            liveBlocks_.insert(block);
        }
        Log({.kind = HostCall::Kind::Allocate,
             .count = static_cast<int32_t>(size),
             .block = block});
        return block;
    }

    void FreeBuffer(void* block) override {
        Log({.kind = HostCall::Kind::Free, .block = block});
        if (liveBlocks_.erase(block) != 0) {
            std::free(block);
        }
    }

    void ReportProgress(CAProgressStage stage, int32_t count) override {
        Log({.kind = HostCall::Kind::Progress, .stage = stage, .count = count});
    }

    CAResult GetData(CAImageBuffer*, CARect&, void*, CAChannelsType) override {
        Log({.kind = HostCall::Kind::Other});
        return CAResultDataUnavailable;
    }

    CAResult PutData(CAImageBuffer*, CARect&, void*, CAChannelsType) override {
        Log({.kind = HostCall::Kind::Other});
        return CAResultDataUnavailable;
    }

    int32_t ReservedOperation() override {
        Log({.kind = HostCall::Kind::Other});
        return 0;
    }

    // Hands out the plane's own buffers at the rects' corners; strides count samples.
    CAResult GetDataRef(CARect& inRect, void** inData, int32_t* inRowBytes, CARect& outRect,
                        void** outData, int32_t* outRowBytes, CAChannelsType channels) override {
        Log({.kind = HostCall::Kind::DataRequest, .channels = channels});
        ++dataRequests_;
        int16_t first = 0;
        int16_t last = 0;
        if (dataRequests_ == failDataRequest || !CAChannelsPlaneRange(channels, &first, &last) ||
            first != last || first >= static_cast<int32_t>(input_.size())) {
            return CAResultDataUnavailable;
        }
        if (inData != nullptr) {
            *inData = input_[first].data() + Offset(inRect.left, inRect.top);
            *inRowBytes = stride_;
        }
        if (outData != nullptr) {
            *outData = output_[first].data() + Offset(outRect.left, outRect.top);
            *outRowBytes = stride_;
        }
        return CAResultOk;
    }

private:
    size_t Offset(int32_t x, int32_t y) const {
        return (static_cast<size_t>(y) * stride_ + x) * sampleBytes_;
    }

    uint32_t Read(const std::vector<std::vector<unsigned char>>& planes, int32_t plane, int32_t x,
                  int32_t y) const {
        const unsigned char* at = planes[plane].data() + Offset(x, y);
        if (sampleBytes_ == 1) {
            return *at;
        }
        uint16_t sample;
        std::memcpy(&sample, at, sizeof(sample));
        return sample;
    }

    void Write(std::vector<std::vector<unsigned char>>& planes, int32_t plane, int32_t x, int32_t y,
               uint32_t value) {
        unsigned char* at = planes[plane].data() + Offset(x, y);
        if (sampleBytes_ == 1) {
            *at = static_cast<unsigned char>(value);
            return;
        }
        const uint16_t sample = static_cast<uint16_t>(value);
        std::memcpy(at, &sample, sizeof(sample));
    }

    void Log(HostCall call) {
        call.onCallingThread = std::this_thread::get_id() == callingThread_;
        calls.push_back(call);
    }

    int32_t stride_;
    int32_t sampleBytes_;
    std::thread::id callingThread_;
    std::vector<std::vector<unsigned char>> input_;
    std::vector<std::vector<unsigned char>> output_;
    std::set<void*> liveBlocks_;
    int32_t dataRequests_ = 0;
};

}  // namespace vexo::testing
