#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "tools/host/FilterHost.h"
#include "tools/host/ProgressDisplay.h"

namespace vexo::hosttool {
namespace {

// What a display wrote, through a real FILE.
class Captured {
public:
    Captured() : file_(std::tmpfile()) {}
    ~Captured() { std::fclose(file_); }
    std::FILE* File() { return file_; }
    std::string Text() {
        std::fflush(file_);
        std::rewind(file_);
        std::string text;
        for (int c; (c = std::fgetc(file_)) != EOF;) {
            text.push_back(static_cast<char>(c));
        }
        return text;
    }

private:
    std::FILE* file_;
};

// As the plug-in reports: a start at 0, one step per row, then the finish,
// which repeats the last steps.
void ReportLikeThePlugin(ProgressDisplay& display, int32_t total) {
    for (int32_t done = 0; done <= total; ++done) {
        display.Report(done, total);
    }
    display.Report(total, total);
    display.Finish();
}

TEST(ProgressDisplay, WritesALinePerTenthWhereThereIsNoTerminal) {
    Captured captured;
    ProgressDisplay display(captured.File(), ProgressDisplay::Style::Lines);
    ReportLikeThePlugin(display, 3 * 48);
    std::string expected;
    for (int percent = 0; percent <= 100; percent += 10) {
        expected += "correcting: " + std::to_string(percent) + "%\n";
    }
    EXPECT_EQ(captured.Text(), expected);
}

TEST(ProgressDisplay, RedrawsOneBarOnATerminal) {
    Captured captured;
    {
        ProgressDisplay display(captured.File(), ProgressDisplay::Style::Bar);
        ReportLikeThePlugin(display, 200);
    }
    const std::string text = captured.Text();
    EXPECT_EQ(text.find('\n'), text.size() - 1);  // one line, ended once
    EXPECT_NE(text.find("\rcorrecting [" + std::string(40, '#') + "] 100%\n"), std::string::npos);
    EXPECT_NE(text.find("\rcorrecting [" + std::string(20, '#') + std::string(20, ' ') + "]  50%"),
              std::string::npos);
}

TEST(ProgressDisplay, StaysSilentWhenQuietOrWithoutATotal) {
    Captured captured;
    ProgressDisplay quiet(captured.File(), ProgressDisplay::Style::None);
    ReportLikeThePlugin(quiet, 100);
    ProgressDisplay lines(captured.File(), ProgressDisplay::Style::Lines);
    lines.Report(0, 0);
    lines.Report(5, -1);
    EXPECT_EQ(captured.Text(), "");
}

// A stream whose every write fails, as one to a pipe whose reader has gone: it
// counts the writes tried.
class Refusing {
public:
    Refusing() {
        const cookie_io_functions_t functions{nullptr, &Write, nullptr, nullptr};
        file_ = fopencookie(&tries_, "w", functions);
    }
    ~Refusing() { std::fclose(file_); }
    std::FILE* File() { return file_; }
    int Tries() const { return tries_; }

private:
    static ssize_t Write(void* cookie, const char*, size_t) {
        ++*static_cast<int*>(cookie);
        errno = EPIPE;
        return -1;
    }
    int tries_ = 0;
    std::FILE* file_;
};

TEST(ProgressDisplay, ShowsNothingMoreOnceAWriteFails) {
    for (const ProgressDisplay::Style style :
         {ProgressDisplay::Style::Lines, ProgressDisplay::Style::Bar}) {
        Refusing refusing;
        ASSERT_NE(refusing.File(), nullptr);
        {
            ProgressDisplay display(refusing.File(), style);
            ReportLikeThePlugin(display, 200);
        }
        EXPECT_EQ(refusing.Tries(), 1);
    }
}

TEST(ProgressDisplay, FilterHostPassesEachReportOnAsItArrives) {
    filterhost::FilterHost host(filterhost::HostImage(4, 4, 1, 8));
    std::vector<std::pair<int32_t, int32_t>> seen;
    host.SetProgressObserver([&](int32_t done, int32_t total) {
        seen.emplace_back(done, total);
        EXPECT_EQ(host.ProgressCalls().size(), seen.size());  // logged first
    });
    host.Record()->progressProc(0, 8);
    host.Record()->progressProc(3, 8);
    EXPECT_EQ(seen, (std::vector<std::pair<int32_t, int32_t>>{{0, 8}, {3, 8}}));
}

}  // namespace
}  // namespace vexo::hosttool
