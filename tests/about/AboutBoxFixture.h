#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "GuiSupport.h"
#include "platform/Platform.h"
#include "plugin/AboutBoxWin32.h"
#include "plugin/PluginModule.h"
#include "plugin/WebSite.h"

// The about box shown from the test program, which holds the box's resources
// (AboutBoxTest.rc) and so stands in for the plug-in's module.
namespace vexo::test {

inline constexpr char kCaption[] = "About Pellion Plug-In";
inline const std::string kHomePage = VEXO_WEB_SITE;
inline const std::string kProductPage = VEXO_WEB_SITE "/products/specpage_vexo.asp";
inline const std::string kUpdatePage =
    VEXO_WEB_SITE "/ZVRASP/update/update.aspx?prod=VexoWVI&ver=125&tc=";

// What the box asked the shell to open, and in which activation context.
struct Opened {
    HWND owner;
    std::string address;
    HANDLE context;
};

inline std::mutex gOpenedMutex;
inline std::vector<Opened> gOpened;

inline std::vector<Opened> OpenedSoFar() {
    std::lock_guard<std::mutex> lock(gOpenedMutex);
    return gOpened;
}

inline size_t OpenedCount() {
    return OpenedSoFar().size();
}

// The test program holds the about box's resources (AboutBoxTest.rc); the shell
// and the system version are stubbed, so nothing starts a browser.
class AboutBoxTest : public testing::Test {
protected:
    void SetUp() override {
        if (!HaveDisplay()) {
            GTEST_SKIP() << "no display";
        }
        {
            std::lock_guard<std::mutex> lock(gOpenedMutex);
            gOpened.clear();
        }
        gModuleHandle = GetModuleHandleA(nullptr);
        services_->openAddress = [](void* owner, const char* address) {
            HANDLE context = nullptr;
            GetCurrentActCtx(&context);
            std::lock_guard<std::mutex> lock(gOpenedMutex);
            gOpened.push_back({static_cast<HWND>(owner), address, context});
        };
        services_->osVersion = [] { return vexo::platform::OsVersion{2, 6, 1}; };
    }

    void TearDown() override {
        std::lock_guard<std::mutex> lock(gOpenedMutex);
        for (const Opened& o : gOpened) {
            if (o.context) {
                ReleaseActCtx(o.context);
            }
        }
        gOpened.clear();
    }

    // Shows the box owned by the host window while drive works it from a second
    // thread; whatever drive leaves open is cancelled. Returns ShowAboutBox's result.
    intptr_t ShowDriven(const std::function<void(HWND)>& drive) {
        std::thread driver([&] {
            HWND dialog = WaitForWindow("#32770", kCaption, 10000);
            if (!dialog) {
                ADD_FAILURE() << "the about box did not appear";
                return;
            }
            drive(dialog);
            if (IsWindow(dialog)) {
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            }
        });
        const intptr_t result = ShowAboutBox(host_.handle());
        driver.join();
        return result;
    }

    Watchdog watchdog_{40};
    vexo::platform::ScopedServices services_;
    HostWindow host_;
};

inline void Command(HWND dialog, int control, int code) {
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(control, code),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, control)));
}

inline bool StillOpen(HWND dialog) {
    return IsWindow(dialog) && IsWindowVisible(dialog);
}

}  // namespace vexo::test
