#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>

#include "AboutBoxFixture.h"
#include "plugin/AboutResources.h"

// Runs alone: the boxes of tests running beside it would stand on the same spot.
namespace {

using vexo::test::AboutBoxTest;

// Screen rectangle of part of the dialog given in dialog units.
RECT ScreenRectOf(HWND dialog, RECT units) {
    MapDialogRect(dialog, &units);
    MapWindowPoints(dialog, nullptr, reinterpret_cast<POINT*>(&units), 2);
    return units;
}

RECT ScreenRectOf(HWND control) {
    RECT bounds;
    GetWindowRect(control, &bounds);
    return bounds;
}

// Pixels of the capture (taken of `whole`) inside `part` that satisfy test.
template <typename Test>
int CountPixels(const vexo::test::Capture& capture, const RECT& whole, const RECT& part,
                Test test) {
    int count = 0;
    for (int y = part.top; y < part.bottom; ++y) {
        for (int x = part.left; x < part.right; ++x) {
            const int cx = x - whole.left, cy = y - whole.top;
            if (cx >= 0 && cy >= 0 && cx < capture.width && cy < capture.height) {
                const uint8_t* p = capture.At(cx, cy);
                count += test(p[0], p[1], p[2]) ? 1 : 0;
            }
        }
    }
    return count;
}

// Leaves about-box.png in the test's build folder for a person to look at.
TEST_F(AboutBoxTest, LooksRightOnScreen) {
    const intptr_t result = ShowDriven([&](HWND dialog) {
        // Let the box paint itself completely first.
        RedrawWindow(dialog, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        Sleep(500);
        const RECT whole = ScreenRectOf(dialog);
        const vexo::test::Capture capture = vexo::test::CaptureScreen(whole);
        ASSERT_GT(capture.width, 0);
        char path[MAX_PATH];
        GetFullPathNameA("about-box.png", sizeof(path), path, nullptr);
        ASSERT_TRUE(vexo::test::WritePng(capture, "about-box.png")) << path;
        std::printf("screenshot: %s\n", path);

        auto white = [](int r, int g, int b) { return r == 255 && g == 255 && b == 255; };
        auto blue = [](int r, int g, int b) { return b > 120 && r < 80 && g < 80; };
        // A blank strip of the client area between the description and the buttons.
        const RECT blank = ScreenRectOf(dialog, {80, 89, 160, 96});
        const int blankPixels = (blank.right - blank.left) * (blank.bottom - blank.top);
        EXPECT_EQ(CountPixels(capture, whole, blank, white), blankPixels);

        const RECT link = ScreenRectOf(GetDlgItem(dialog, IDC_ABOUT_WEBSITE));
        EXPECT_GT(CountPixels(capture, whole, link, blue), 20) << "the link is not blue";
        EXPECT_GT(CountPixels(capture, whole, link, white), 0) << "the link is not on white";

        HWND maker = FindWindowExA(dialog, nullptr, "Static", "Corvane, Inc.");
        ASSERT_NE(maker, nullptr);
        const RECT makerBounds = ScreenRectOf(maker);
        EXPECT_EQ(CountPixels(capture, whole, makerBounds, blue), 0) << "plain text drawn blue";
        EXPECT_GT(CountPixels(capture, whole, makerBounds,
                              [](int r, int g, int b) { return r < 100 && g < 100 && b < 100; }),
                  20)
            << "no text drawn";

        // The logo's navy appears as it is in the bitmap.
        const RECT logo = ScreenRectOf(GetDlgItem(dialog, IDC_ABOUT_LOGO));
        EXPECT_GT(CountPixels(capture, whole, logo,
                              [](int r, int g, int b) { return r == 31 && g == 47 && b == 79; }),
                  500);
    });
    EXPECT_EQ(result, IDCANCEL);
}

}  // namespace
