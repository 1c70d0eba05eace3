#pragma once

#include <string>

#if defined(_WIN32)
#include <windows.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#endif

#include <gtest/gtest.h>

namespace vexo::test {

#if defined(_WIN32)

// A thread that looks for a message box of this process, reads it and closes it.
class ErrorMessageWatchImpl {
public:
    ErrorMessageWatchImpl() : thread_([this] { Watch(); }) {}
    ~ErrorMessageWatchImpl() {
        stop_ = true;
        thread_.join();
    }
    ErrorMessageWatchImpl(const ErrorMessageWatchImpl&) = delete;
    ErrorMessageWatchImpl& operator=(const ErrorMessageWatchImpl&) = delete;

    std::string Caption() {
        std::lock_guard lock(mutex_);
        return caption_;
    }
    std::string Text() {
        std::lock_guard lock(mutex_);
        return text_;
    }

private:
    static BOOL CALLBACK FindBox(HWND window, LPARAM found) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        char className[16] = {};
        GetClassNameA(window, className, sizeof(className));
        if (process == GetCurrentProcessId() && std::string(className) == "#32770" &&
            IsWindowVisible(window)) {
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
        }
        return TRUE;
    }

    void Watch() {
        // Ten seconds at most: a box nobody closes must not hang the test.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!stop_ && std::chrono::steady_clock::now() < deadline) {
            HWND box = nullptr;
            EnumWindows(FindBox, reinterpret_cast<LPARAM>(&box));
            if (box) {
                char caption[256] = {};
                char text[512] = {};
                GetWindowTextA(box, caption, sizeof(caption));
                GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
                {
                    std::lock_guard lock(mutex_);
                    caption_ = caption;
                    text_ = text;
                }
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::string caption_;
    std::string text_;
    std::thread thread_;
};

#else

// The message arrives on standard error as "caption: text".
class ErrorMessageWatchImpl {
public:
    ErrorMessageWatchImpl() { ::testing::internal::CaptureStderr(); }
    ~ErrorMessageWatchImpl() { Collect(); }
    ErrorMessageWatchImpl(const ErrorMessageWatchImpl&) = delete;
    ErrorMessageWatchImpl& operator=(const ErrorMessageWatchImpl&) = delete;

    std::string Caption() {
        Collect();
        return caption_;
    }
    std::string Text() {
        Collect();
        return text_;
    }

private:
    void Collect() {
        if (collected_) {
            return;
        }
        collected_ = true;
        const std::string output = ::testing::internal::GetCapturedStderr();
        const std::string line = output.substr(0, output.find('\n'));
        const size_t separator = line.find(": ");
        if (separator != std::string::npos) {
            caption_ = line.substr(0, separator);
            text_ = line.substr(separator + 2);
        }
    }

    bool collected_ = false;
    std::string caption_;
    std::string text_;
};

#endif

}  // namespace vexo::test
