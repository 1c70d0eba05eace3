#include "GuiSupport.h"

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace vexo::test {

bool HaveDisplay() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    const bool underWine = ntdll && GetProcAddress(ntdll, "wine_get_version");
    char display[256];
    return !underWine || GetEnvironmentVariableA("DISPLAY", display, sizeof(display)) > 0;
}

Watchdog::Watchdog(unsigned seconds) {
    thread_ = std::thread([this, seconds] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!disarmed_.wait_for(lock, std::chrono::seconds(seconds), [this] { return done_; })) {
            std::fprintf(stderr, "watchdog: the test did not finish within %u s\n", seconds);
            std::fflush(stderr);
            TerminateProcess(GetCurrentProcess(), 99);
        }
    });
}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_ = true;
    }
    disarmed_.notify_all();
    thread_.join();
}

bool WaitUntil(const std::function<bool()>& ready, unsigned timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!ready()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return ready();
        }
        Sleep(10);
    }
    return true;
}

HWND FindOwnWindow(const char* className, const char* caption) {
    struct Search {
        const char* className;
        const char* caption;
        HWND found;
    } search = {className, caption, nullptr};
    EnumWindows(
        [](HWND window, LPARAM lParam) -> BOOL {
            auto* s = reinterpret_cast<Search*>(lParam);
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            char name[64] = {};
            GetClassNameA(window, name, sizeof(name));
            if (process != GetCurrentProcessId() || lstrcmpiA(name, s->className) != 0) {
                return TRUE;
            }
            // Searches run on helper threads while the window's own thread may be waiting
            // for them: reading the stored caption sends no message that would deadlock.
            wchar_t text[256] = {};
            wchar_t caption[256] = {};
            InternalGetWindowText(window, text, 256);
            MultiByteToWideChar(CP_ACP, 0, s->caption, -1, caption, 256);
            if (lstrcmpW(text, caption) == 0) {
                s->found = window;
                return FALSE;
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForWindow(const char* className, const char* caption, unsigned timeoutMs) {
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = FindOwnWindow(className, caption);
            return found && IsWindowVisible(found);
        },
        timeoutMs);
    return found && IsWindowVisible(found) ? found : nullptr;
}

std::string WindowText(HWND window) {
    char text[512] = {};
    GetWindowTextA(window, text, sizeof(text));
    return text;
}

namespace {

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

HostWindow::HostWindow() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = HostProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "VexoTestHost";
    RegisterClassA(&windowClass);  // fails harmlessly when already registered
    window_ = CreateWindowA("VexoTestHost", "Test host", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                            nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

HostWindow::~HostWindow() {
    if (window_) {
        DestroyWindow(window_);
    }
}

Capture CaptureScreen(const RECT& area) {
    Capture capture;
    capture.width = area.right - area.left;
    capture.height = area.bottom - area.top;
    if (capture.width <= 0 || capture.height <= 0) {
        return {};
    }
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = capture.width;
    info.bmiHeader.biHeight = -capture.height;  // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (bitmap && bits) {
        HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, capture.width, capture.height, screen, area.left, area.top, SRCCOPY);
        GdiFlush();
        const auto* bgra = static_cast<const uint8_t*>(bits);
        capture.rgb.resize(static_cast<size_t>(capture.width) * capture.height * 3);
        for (size_t i = 0; i < static_cast<size_t>(capture.width) * capture.height; ++i) {
            capture.rgb[i * 3 + 0] = bgra[i * 4 + 2];
            capture.rgb[i * 3 + 1] = bgra[i * 4 + 1];
            capture.rgb[i * 3 + 2] = bgra[i * 4 + 0];
        }
        SelectObject(memory, previous);
    } else {
        capture = {};
    }
    if (bitmap) {
        DeleteObject(bitmap);
    }
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return capture;
}

namespace {

uint32_t Crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            }
            t[n] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    }
    return ~crc;
}

void PutBigEndian(std::vector<uint8_t>& out, uint32_t value) {
    for (int shift = 24; shift >= 0; shift -= 8) {
        out.push_back(static_cast<uint8_t>(value >> shift));
    }
}

void PutChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    PutBigEndian(out, static_cast<uint32_t>(data.size()));
    std::vector<uint8_t> body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    out.insert(out.end(), body.begin(), body.end());
    PutBigEndian(out, Crc32(body.data(), body.size()));
}

}  // namespace

// Uncompressed (stored) deflate blocks: larger files, no compression library.
bool WritePng(const Capture& capture, const char* path) {
    std::vector<uint8_t> raw;
    for (int y = 0; y < capture.height; ++y) {
        raw.push_back(0);  // no row filter
        const uint8_t* row = capture.At(0, y);
        raw.insert(raw.end(), row, row + capture.width * 3);
    }
    std::vector<uint8_t> zlib = {0x78, 0x01};
    for (size_t offset = 0; offset < raw.size() || offset == 0;) {
        const size_t length = std::min<size_t>(65535, raw.size() - offset);
        const bool last = offset + length == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<uint8_t>(length));
        zlib.push_back(static_cast<uint8_t>(length >> 8));
        zlib.push_back(static_cast<uint8_t>(~length));
        zlib.push_back(static_cast<uint8_t>(~length >> 8));
        zlib.insert(zlib.end(), raw.begin() + offset, raw.begin() + offset + length);
        offset += length;
        if (last) {
            break;
        }
    }
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    PutBigEndian(zlib, (b << 16) | a);

    std::vector<uint8_t> header;
    PutBigEndian(header, static_cast<uint32_t>(capture.width));
    PutBigEndian(header, static_cast<uint32_t>(capture.height));
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB

    std::vector<uint8_t> file = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PutChunk(file, "IHDR", header);
    PutChunk(file, "IDAT", zlib);
    PutChunk(file, "IEND", {});

    FILE* out = std::fopen(path, "wb");
    if (!out) {
        return false;
    }
    const bool written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
    return std::fclose(out) == 0 && written;
}

}  // namespace vexo::test
