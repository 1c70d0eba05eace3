#include "tools/host/ProgressDisplay.h"

#include <unistd.h>

#include <algorithm>
#include <string>

namespace vexo::hosttool {
namespace {

constexpr int kBarWidth = 40;

int Percentage(int32_t done, int32_t total) {
    const int64_t clamped = std::clamp<int64_t>(done, 0, total);
    return static_cast<int>(clamped * 100 / total);
}

}  // namespace

ProgressDisplay::Style ProgressDisplay::StyleFor(std::FILE* stream) {
    return isatty(fileno(stream)) ? Style::Bar : Style::Lines;
}

void ProgressDisplay::Report(int32_t done, int32_t total) {
    if (style_ == Style::None || total <= 0) {
        return;
    }
    const int percent = Percentage(done, total);
    if (percent == shown_) {
        return;
    }
    // A report below the last one starts a new count, which is shown from its start.
    const bool restarted = percent < shown_;
    if (style_ == Style::Lines) {
        if (shown_ >= 0 && !restarted && percent / 10 == shown_ / 10) {
            return;
        }
        std::fprintf(stream_, "correcting: %d%%\n", percent);
    } else {
        const int filled = percent * kBarWidth / 100;
        std::fprintf(stream_, "\rcorrecting [%s%s] %3d%%", std::string(filled, '#').c_str(),
                     std::string(kBarWidth - filled, ' ').c_str(), percent);
        barOpen_ = true;
    }
    shown_ = percent;
    // A reader that has gone (a closed pipe) wants no more: the run carries on unseen.
    if (std::fflush(stream_) != 0 || std::ferror(stream_)) {
        style_ = Style::None;
        barOpen_ = false;
    }
}

void ProgressDisplay::Finish() {
    if (barOpen_) {
        std::fputc('\n', stream_);
        std::fflush(stream_);
        barOpen_ = false;
    }
    shown_ = -1;
}

}  // namespace vexo::hosttool
