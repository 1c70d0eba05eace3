#pragma once

#include <cstdint>
#include <cstdio>

namespace vexo::hosttool {

// Shows the plug-in's progress reports: a bar redrawn in place on a terminal,
// a line per tenth otherwise (a log file wants no carriage returns), or nothing.
// Once a write fails (a pipe whose reader has gone) it shows nothing more.
class ProgressDisplay {
public:
    enum class Style { Bar, Lines, None };

    ProgressDisplay(std::FILE* stream, Style style) : stream_(stream), style_(style) {}
    ~ProgressDisplay() { Finish(); }
    ProgressDisplay(const ProgressDisplay&) = delete;
    ProgressDisplay& operator=(const ProgressDisplay&) = delete;

    // Bar on a terminal, lines elsewhere.
    static Style StyleFor(std::FILE* stream);

    void Report(int32_t done, int32_t total);
    // Ends the bar's line, so that what follows starts on a line of its own.
    void Finish();

private:
    std::FILE* stream_;
    Style style_;
    int shown_ = -1;  // the last percentage shown
    bool barOpen_ = false;
};

}  // namespace vexo::hosttool
