#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "AboutBoxFixture.h"
#include "plugin/AboutResources.h"

namespace {

using vexo::test::AboutBoxTest;
using vexo::test::Command;
using vexo::test::kCaption;
using vexo::test::kHomePage;
using vexo::test::kProductPage;
using vexo::test::kUpdatePage;
using vexo::test::Opened;
using vexo::test::OpenedCount;
using vexo::test::OpenedSoFar;
using vexo::test::StillOpen;
using vexo::test::WaitForWindow;
using vexo::test::WaitUntil;
using vexo::test::WindowText;

struct ExpectedControl {
    int id;
    const char* className;
    const char* text;
    bool visible;
};

TEST_F(AboutBoxTest, ShowsItsCaptionAndControlsOwnedByTheHost) {
    const intptr_t result = ShowDriven([&](HWND dialog) {
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), host_.handle());
        EXPECT_EQ(WindowText(dialog), kCaption);

        // Template order is the z-order of the children.
        const ExpectedControl expected[] = {
            {IDC_ABOUT_OK, "Button", "&OK", false},
            {IDC_ABOUT_UPDATE, "Button", "Check for &Update", true},
            {0xFFFF, "Static", "Removes the distortion of fisheye lenses", true},
            {0xFFFF, "Static", "Corvane, Inc.", true},
            {0xFFFF, "Static", "All rights reserved.", true},
            {IDC_ABOUT_LOGO, "Static", nullptr, true},  // its text names the bitmap
            {0xFFFF, "Static", "Pellion Version 1.2.5", true},
            {IDC_ABOUT_WEBSITE, "Static", VEXO_WEB_HOST, true},
            {IDC_ABOUT_LEARN_MORE, "Button", "&Learn More", true},
            {0xFFFF, "Static", "Copyright (c) 2025", true},
        };
        HWND child = GetWindow(dialog, GW_CHILD);
        for (const ExpectedControl& e : expected) {
            const std::string name = e.text ? e.text : "the logo";
            ASSERT_NE(child, nullptr) << "missing " << name;
            char className[64] = {};
            GetClassNameA(child, className, sizeof(className));
            EXPECT_STRCASEEQ(className, e.className) << name;
            EXPECT_EQ(GetDlgCtrlID(child) & 0xFFFF, e.id) << name;
            if (e.text) {
                EXPECT_EQ(WindowText(child), e.text);
            }
            EXPECT_EQ(IsWindowVisible(child) != FALSE, e.visible) << name;
            child = GetWindow(child, GW_HWNDNEXT);
        }
        EXPECT_EQ(child, nullptr) << "more controls than the template's ten";

        // The logo is bitmap 114 from the same module.
        HBITMAP logo = reinterpret_cast<HBITMAP>(
            SendDlgItemMessageA(dialog, IDC_ABOUT_LOGO, STM_GETIMAGE, IMAGE_BITMAP, 0));
        BITMAP bitmap = {};
        ASSERT_EQ(GetObjectA(logo, sizeof(bitmap), &bitmap), static_cast<int>(sizeof(bitmap)));
        EXPECT_EQ(bitmap.bmWidth, 175);
        EXPECT_EQ(bitmap.bmHeight, 70);
    });
    EXPECT_EQ(result, IDCANCEL);
}

struct CloseCase {
    const char* name;
    std::function<void(HWND)> close;
    intptr_t result;
};

class AboutBoxClosing : public AboutBoxTest, public testing::WithParamInterface<CloseCase> {};

TEST_P(AboutBoxClosing, EndsWithItsResult) {
    const CloseCase& c = GetParam();
    HWND shown = nullptr;
    const intptr_t result = ShowDriven([&](HWND dialog) {
        shown = dialog;
        c.close(dialog);
        EXPECT_TRUE(WaitUntil([&] { return !IsWindow(dialog); }, 5000)) << "the box stayed open";
    });
    EXPECT_EQ(result, c.result);
    EXPECT_FALSE(IsWindow(shown));
}

HWND FocusOf(HWND dialog) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    return info.hwndFocus ? info.hwndFocus : dialog;
}

INSTANTIATE_TEST_SUITE_P(
    Ways, AboutBoxClosing,
    testing::Values(
        CloseCase{"Escape",
                  [](HWND dialog) {
                      HWND focus = FocusOf(dialog);
                      PostMessageA(focus, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
                      PostMessageA(focus, WM_KEYUP, VK_ESCAPE, 0xC0010001);
                  },
                  IDCANCEL},
        CloseCase{"CloseBoxOrSystemMenuClose",
                  [](HWND dialog) { PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL},
        CloseCase{"WindowClose", [](HWND dialog) { PostMessageA(dialog, WM_CLOSE, 0, 0); },
                  IDCANCEL},
        CloseCase{"CancelCommand",
                  [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0); }, IDCANCEL},
        CloseCase{"HiddenDefaultButton",
                  [](HWND dialog) { PostMessageA(dialog, WM_COMMAND, IDC_ABOUT_OK, 0); }, IDOK}),
    [](const testing::TestParamInfo<CloseCase>& info) { return info.param.name; });

TEST_F(AboutBoxTest, OnlyAClickOnTheUpdateButtonChecksAndNothingButCancelCloses) {
    const intptr_t result = ShowDriven([&](HWND dialog) {
        HWND update = GetDlgItem(dialog, IDC_ABOUT_UPDATE);
        HWND learnMore = GetDlgItem(dialog, IDC_ABOUT_LEARN_MORE);
        // Real focus moves: the update button notifies BN_SETFOCUS, then BN_KILLFOCUS.
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(update), TRUE);
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(learnMore), TRUE);
        for (int code : {BN_SETFOCUS, BN_KILLFOCUS, BN_DOUBLECLICKED, BN_PUSHED, BN_UNPUSHED}) {
            Command(dialog, IDC_ABOUT_UPDATE, code);
            Command(dialog, IDC_ABOUT_OK, code);
            Command(dialog, IDCANCEL, code);
        }
        EXPECT_TRUE(StillOpen(dialog));
        EXPECT_EQ(OpenedCount(), 0u);

        // Every click opens the page anew, and the box stays.
        SendMessageA(update, BM_CLICK, 0, 0);
        Command(dialog, IDC_ABOUT_UPDATE, BN_CLICKED);
        EXPECT_TRUE(StillOpen(dialog));
    });
    EXPECT_EQ(result, IDCANCEL);
    const std::vector<Opened> opened = OpenedSoFar();
    ASSERT_EQ(opened.size(), 2u);
    for (const Opened& o : opened) {
        EXPECT_EQ(o.address, kUpdatePage);
        EXPECT_EQ(o.owner, nullptr);
    }
}

TEST_F(AboutBoxTest, EveryNotificationOfTheLinksOpensItsPage) {
    HWND shown = nullptr;
    const intptr_t result = ShowDriven([&](HWND dialog) {
        shown = dialog;
        for (int code : {STN_CLICKED, STN_DBLCLK, STN_ENABLE, STN_DISABLE}) {
            Command(dialog, IDC_ABOUT_WEBSITE, code);
        }
        for (int code : {BN_CLICKED, BN_DOUBLECLICKED}) {
            Command(dialog, IDC_ABOUT_LEARN_MORE, code);
        }
        // The mouse on the controls themselves: the link notifies a click and a
        // double click, the button a click.
        HWND website = GetDlgItem(dialog, IDC_ABOUT_WEBSITE);
        PostMessageA(website, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
        PostMessageA(website, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
        PostMessageA(website, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(3, 3));
        PostMessageA(website, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
        SendDlgItemMessageA(dialog, IDC_ABOUT_LEARN_MORE, BM_CLICK, 0, 0);
        EXPECT_TRUE(WaitUntil([] { return OpenedCount() >= 9; }, 5000));
        EXPECT_TRUE(StillOpen(dialog));
    });
    EXPECT_EQ(result, IDCANCEL);

    const std::vector<Opened> opened = OpenedSoFar();
    ASSERT_EQ(opened.size(), 9u);
    int home = 0, product = 0;
    for (const Opened& o : opened) {
        EXPECT_EQ(o.owner, shown) << o.address;
        home += o.address == kHomePage;
        product += o.address == kProductPage;
    }
    EXPECT_EQ(home, 6);
    EXPECT_EQ(product, 3);
}

TEST_F(AboutBoxTest, LogoClicksDoNothing) {
    const intptr_t result = ShowDriven([&](HWND dialog) {
        Command(dialog, IDC_ABOUT_LOGO, STN_CLICKED);
        Command(dialog, IDC_ABOUT_LOGO, STN_DBLCLK);
        HWND logo = GetDlgItem(dialog, IDC_ABOUT_LOGO);
        PostMessageA(logo, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(10, 10));
        PostMessageA(logo, WM_LBUTTONUP, 0, MAKELPARAM(10, 10));
        PostMessageA(logo, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(10, 10));
        // Posted behind the clicks: once it has opened, the clicks have been handled.
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_ABOUT_WEBSITE, STN_CLICKED), 0);
        EXPECT_TRUE(WaitUntil([] { return OpenedCount() >= 1; }, 5000));
        EXPECT_TRUE(StillOpen(dialog));
    });
    EXPECT_EQ(result, IDCANCEL);
    const std::vector<Opened> opened = OpenedSoFar();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].address, kHomePage);
}

TEST_F(AboutBoxTest, PaintsWhiteWithOneBrushPerShowingAndReleasesIt) {
    HBRUSH brushes[2] = {};
    for (HBRUSH& brush : brushes) {
        const intptr_t result = ShowDriven([&](HWND dialog) {
            HDC dc = CreateCompatibleDC(nullptr);
            brush = reinterpret_cast<HBRUSH>(SendMessageA(dialog, WM_CTLCOLORDLG,
                                                          reinterpret_cast<WPARAM>(dc),
                                                          reinterpret_cast<LPARAM>(dialog)));
            LOGBRUSH description = {};
            ASSERT_EQ(GetObjectA(brush, sizeof(description), &description),
                      static_cast<int>(sizeof(description)));
            EXPECT_EQ(description.lbStyle, static_cast<UINT>(BS_SOLID));
            EXPECT_EQ(description.lbColor, RGB(255, 255, 255));
            // Every static gets the white brush, the link with its blue text.
            for (int control : {IDC_ABOUT_WEBSITE, IDC_ABOUT_LOGO}) {
                SetTextColor(dc, RGB(1, 2, 3));
                EXPECT_EQ(SendMessageA(dialog, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                                       reinterpret_cast<LPARAM>(GetDlgItem(dialog, control))),
                          reinterpret_cast<LRESULT>(brush));
                EXPECT_EQ(GetTextColor(dc),
                          control == IDC_ABOUT_WEBSITE ? RGB(0, 0, 192) : RGB(1, 2, 3));
            }
            DeleteDC(dc);
        });
        EXPECT_EQ(result, IDCANCEL);
        EXPECT_EQ(GetObjectType(brush), 0u) << "the brush outlived its box";
        EXPECT_EQ(gAboutBrush, nullptr);
    }
}

TEST_F(AboutBoxTest, RunsInTheModuleActivationContext) {
    HANDLE before = nullptr;
    ASSERT_TRUE(GetCurrentActCtx(&before));
    for (int showing = 0; showing < 2; ++showing) {
        ShowDriven([&](HWND dialog) { Command(dialog, IDC_ABOUT_WEBSITE, STN_CLICKED); });
    }
    HANDLE after = nullptr;
    ASSERT_TRUE(GetCurrentActCtx(&after));
    EXPECT_EQ(after, before) << "the context is still active after the box closed";

    // The test program's manifest resource 3 gave the context: set up once, so
    // both showings ran in the same one.
    const std::vector<Opened> opened = OpenedSoFar();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_NE(opened[0].context, nullptr);
    EXPECT_NE(opened[0].context, before);
    EXPECT_EQ(opened[1].context, opened[0].context);
    if (before) {
        ReleaseActCtx(before);
    }
    if (after) {
        ReleaseActCtx(after);
    }
}

TEST_F(AboutBoxTest, CannotBeShownFromAModuleWithoutTheTemplate) {
    // The system's own library has no about box; the error the dialog call left
    // survives the context's deactivation.
    gModuleHandle = GetModuleHandleA("kernel32.dll");
    SetLastError(0);
    EXPECT_EQ(ShowAboutBox(host_.handle()), -1);
    const DWORD error = GetLastError();
    EXPECT_TRUE(error == ERROR_RESOURCE_NAME_NOT_FOUND || error == ERROR_RESOURCE_TYPE_NOT_FOUND)
        << "last error " << error;
    EXPECT_EQ(vexo::test::FindOwnWindow("#32770", kCaption), nullptr);
}

TEST_F(AboutBoxTest, WithoutItsModuleHandleTheBoxIsNotLookedUpInTheHost) {
    gModuleHandle = nullptr;
    EXPECT_EQ(ShowAboutBox(host_.handle()), -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
    EXPECT_EQ(vexo::test::FindOwnWindow("#32770", kCaption), nullptr);
}

TEST_F(AboutBoxTest, AnOwnerThatIsGoneIsAFailure) {
    HWND gone = CreateWindowA("STATIC", "gone", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    DestroyWindow(gone);
    std::atomic<bool> returned = false;
    std::atomic<bool> appeared = false;
    std::thread closer([&] {
        while (!returned) {
            if (HWND dialog = vexo::test::FindOwnWindow("#32770", kCaption)) {
                appeared = true;
                PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
            }
            Sleep(10);
        }
    });
    const intptr_t result = ShowAboutBox(gone);
    returned = true;
    closer.join();
    EXPECT_TRUE(result == 0 || result == -1) << "result " << result;
    EXPECT_FALSE(appeared);
}

}  // namespace
