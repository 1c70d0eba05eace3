#pragma once

#include <windows.h>

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vexo::test {

// False under Wine without an X display, where no window can be shown.
bool HaveDisplay();

// Ends the whole test program when it is still armed after the given time, so
// that a window nobody closes fails the test instead of hanging it.
class Watchdog {
public:
    explicit Watchdog(unsigned seconds);
    ~Watchdog();
    Watchdog(const Watchdog&) = delete;
    Watchdog& operator=(const Watchdog&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable disarmed_;
    bool done_ = false;
    std::thread thread_;
};

// The top-level window of this process with class className and the given
// caption, or null. Tests run side by side, each showing the same windows.
HWND FindOwnWindow(const char* className, const char* caption);

// FindOwnWindow's window once it is visible; null after timeoutMs.
HWND WaitForWindow(const char* className, const char* caption, unsigned timeoutMs);

// Polls until ready() holds or timeoutMs has passed; returns the last answer.
bool WaitUntil(const std::function<bool()>& ready, unsigned timeoutMs);

std::string WindowText(HWND window);

// An invisible top-level window that stands for the host's main window.
class HostWindow {
public:
    HostWindow();
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    HWND handle() const { return window_; }

private:
    HWND window_;
};

// Pixels of a screen area, 8-bit red, green, blue per pixel, top row first.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> rgb;
    const uint8_t* At(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
};

// Copies what the screen shows in the given rectangle (screen coordinates).
Capture CaptureScreen(const RECT& area);

// Writes the capture as a PNG file; false when the file cannot be written.
bool WritePng(const Capture& capture, const char* path);

}  // namespace vexo::test
