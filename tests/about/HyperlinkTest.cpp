#include <gtest/gtest.h>

#include <windows.h>

#include <set>
#include <string>

#include "GuiSupport.h"
#include "plugin/Hyperlink.h"

namespace {

using vexo::test::HaveDisplay;
using vexo::test::Watchdog;

constexpr char kOriginalProc[] = "_Hyperlink_Original_Proc_";
constexpr char kOriginalFont[] = "_Hyperlink_Original_Font_";
constexpr char kUnderlineFont[] = "_Hyperlink_Underline_Font_";
constexpr char kFromStatic[] = "_Hyperlink_From_Static_";

// What the parent's own procedure answers for its statics, so that a test can
// tell whether it ran.
constexpr COLORREF kParentTextColour = RGB(0x11, 0x22, 0x33);
HBRUSH gParentBrush = nullptr;
int gParentSetCursorCount = 0;

LRESULT CALLBACK ParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CTLCOLORSTATIC) {
        SetTextColor(reinterpret_cast<HDC>(wParam), kParentTextColour);
        return reinterpret_cast<LRESULT>(gParentBrush);
    }
    if (message == WM_SETCURSOR) {
        ++gParentSetCursorCount;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

std::set<std::string> PropertyNames(HWND window) {
    std::set<std::string> names;
    EnumPropsExA(
        window,
        [](HWND, LPSTR name, HANDLE, ULONG_PTR found) -> BOOL {
            if (HIWORD(reinterpret_cast<ULONG_PTR>(name)) != 0) {  // atoms have no name to read
                reinterpret_cast<std::set<std::string>*>(found)->insert(name);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&names));
    return names;
}

int OursAmong(const std::set<std::string>& names) {
    int count = 0;
    for (const char* ours : {kOriginalProc, kOriginalFont, kUnderlineFont, kFromStatic}) {
        count += static_cast<int>(names.count(ours));
    }
    return count;
}

LOGFONTA Describe(HGDIOBJ font) {
    LOGFONTA description = {};
    EXPECT_EQ(GetObjectA(font, sizeof(description), &description),
              static_cast<int>(sizeof(description)));
    return description;
}

LONG_PTR WindowProcOf(HWND window) {
    return GetWindowLongPtrA(window, GWLP_WNDPROC);
}

// A parent window with a few statics of the system's own class, all of which it
// destroys.
class HyperlinkTest : public testing::Test {
protected:
    void SetUp() override {
        if (!HaveDisplay()) {
            GTEST_SKIP() << "no display";
        }
        gParentBrush = CreateSolidBrush(RGB(0xAB, 0xCD, 0xEF));
        gParentSetCursorCount = 0;
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = ParentProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "VexoHyperlinkTestParent";
        RegisterClassA(&windowClass);
        parent_ =
            CreateWindowA("VexoHyperlinkTestParent", "Hyperlink test", WS_OVERLAPPEDWINDOW, 10, 10,
                          400, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(parent_, nullptr);
        parentProc_ = WindowProcOf(parent_);
        font_ = CreateFontA(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0,
                            0, "Arial");
        first_ = MakeStatic("www.vexo.example", 10);
        second_ = MakeStatic("second link", 40);
        plain_ = MakeStatic("plain text", 70);
        staticProc_ = WindowProcOf(first_);
    }

    void TearDown() override {
        if (parent_) {
            DestroyWindow(parent_);
        }
        if (font_) {
            DeleteObject(font_);
        }
        if (gParentBrush) {
            DeleteObject(gParentBrush);
            gParentBrush = nullptr;
        }
    }

    HWND MakeStatic(const char* text, int y) {
        HWND window = CreateWindowA("STATIC", text, WS_CHILD | WS_VISIBLE | SS_LEFT, 10, y, 200, 20,
                                    parent_, nullptr, GetModuleHandleA(nullptr), nullptr);
        SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(font_), FALSE);
        return window;
    }

    Watchdog watchdog_{30};
    HWND parent_ = nullptr;
    HWND first_ = nullptr;
    HWND second_ = nullptr;
    HWND plain_ = nullptr;
    HFONT font_ = nullptr;
    LONG_PTR parentProc_ = 0;
    LONG_PTR staticProc_ = 0;
};

TEST_F(HyperlinkTest, ConversionSubclassesTheStaticAndItsParent) {
    EXPECT_EQ(ConvertStaticToHyperlink(first_), TRUE);

    EXPECT_EQ(OursAmong(PropertyNames(first_)), 4);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(GetPropA(first_, kOriginalProc)), staticProc_);
    EXPECT_EQ(GetPropA(first_, kOriginalFont), font_);
    EXPECT_EQ(GetPropA(first_, kFromStatic), reinterpret_cast<HANDLE>(1));
    EXPECT_EQ(WindowProcOf(first_), reinterpret_cast<LONG_PTR>(HyperlinkProc));
    EXPECT_NE(GetWindowLongA(first_, GWL_STYLE) & SS_NOTIFY, 0);

    // The underline font is the static's own with underlining; the static keeps
    // showing its own until the pointer comes.
    HGDIOBJ underline = GetPropA(first_, kUnderlineFont);
    ASSERT_EQ(GetObjectType(underline), static_cast<DWORD>(OBJ_FONT));
    const LOGFONTA own = Describe(font_);
    const LOGFONTA underlined = Describe(underline);
    EXPECT_EQ(underlined.lfUnderline, 1);
    EXPECT_EQ(underlined.lfHeight, own.lfHeight);
    EXPECT_STREQ(underlined.lfFaceName, own.lfFaceName);
    EXPECT_EQ(SendMessageA(first_, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(font_));

    EXPECT_EQ(reinterpret_cast<LONG_PTR>(GetPropA(parent_, kOriginalProc)), parentProc_);
    EXPECT_EQ(WindowProcOf(parent_), reinterpret_cast<LONG_PTR>(HyperlinkParentProc));
    EXPECT_EQ(OursAmong(PropertyNames(plain_)), 0);
}

TEST_F(HyperlinkTest, TheParentIsSubclassedOnceForAnyNumberOfStatics) {
    ConvertStaticToHyperlink(first_);
    ConvertStaticToHyperlink(second_);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(GetPropA(parent_, kOriginalProc)), parentProc_);
    EXPECT_EQ(WindowProcOf(parent_), reinterpret_cast<LONG_PTR>(HyperlinkParentProc));
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(GetPropA(second_, kOriginalProc)), staticProc_);

    // The parent still answers through its own procedure, once.
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SendMessageA(parent_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                           reinterpret_cast<LPARAM>(plain_)),
              reinterpret_cast<LRESULT>(gParentBrush));
    DeleteDC(dc);
}

TEST_F(HyperlinkTest, ConvertingTheSameStaticAgainChangesNothing) {
    ConvertStaticToHyperlink(first_);
    HANDLE underline = GetPropA(first_, kUnderlineFont);
    EXPECT_EQ(ConvertStaticToHyperlink(first_), TRUE);
    EXPECT_EQ(reinterpret_cast<LONG_PTR>(GetPropA(first_, kOriginalProc)), staticProc_);
    EXPECT_EQ(GetPropA(first_, kUnderlineFont), underline);
    // A saved procedure that pointed back at ours would never return.
    char text[64] = {};
    EXPECT_GT(GetWindowTextA(first_, text, sizeof(text)), 0);
    EXPECT_STREQ(text, "www.vexo.example");
}

TEST_F(HyperlinkTest, OnlyConvertedStaticsAreDrawnBlue) {
    ConvertStaticToHyperlink(first_);
    HDC dc = CreateCompatibleDC(nullptr);
    struct {
        HWND control;
        COLORREF text;
    } cases[] = {
        {first_, RGB(0, 0, 192)}, {plain_, kParentTextColour}, {second_, kParentTextColour}};
    for (const auto& c : cases) {
        SetTextColor(dc, RGB(1, 2, 3));
        // The parent's own handling (its brush) runs for every static.
        EXPECT_EQ(SendMessageA(parent_, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(c.control)),
                  reinterpret_cast<LRESULT>(gParentBrush));
        EXPECT_EQ(GetTextColor(dc), c.text) << vexo::test::WindowText(c.control);
    }
    DeleteDC(dc);
}

TEST_F(HyperlinkTest, TheHandShowsWhateverTheHitTestAndTheParentIsNotAsked) {
    ConvertStaticToHyperlink(first_);
    HCURSOR hand = LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));
    ASSERT_NE(hand, nullptr);
    for (int hitTest : {HTCLIENT, HTNOWHERE, HTERROR, HTTRANSPARENT, HTBORDER, HTCAPTION}) {
        SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));
        EXPECT_EQ(SendMessageA(first_, WM_SETCURSOR, reinterpret_cast<WPARAM>(first_),
                               MAKELPARAM(hitTest, WM_MOUSEMOVE)),
                  TRUE);
        EXPECT_EQ(GetCursor(), hand) << "hit-test code " << hitTest;
    }
    EXPECT_EQ(gParentSetCursorCount, 0);
}

TEST_F(HyperlinkTest, UnderlinedWhileThePointerIsOver) {
    ConvertStaticToHyperlink(first_);
    HANDLE underline = GetPropA(first_, kUnderlineFont);
    RECT client;
    GetClientRect(first_, &client);
    auto move = [&](int x, int y) { SendMessageA(first_, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)); };
    auto font = [&] { return reinterpret_cast<HANDLE>(SendMessageA(first_, WM_GETFONT, 0, 0)); };

    move(5, 5);
    EXPECT_EQ(font(), underline);
    EXPECT_EQ(GetCapture(), first_);
    move(client.right - 1, client.bottom - 1);
    EXPECT_EQ(font(), underline);
    EXPECT_EQ(GetCapture(), first_);

    // Left of the static the coordinates are negative.
    move(-3, 5);
    EXPECT_EQ(font(), font_);
    EXPECT_NE(GetCapture(), first_);

    // The right and bottom edges lie outside.
    move(5, 5);
    move(client.right, 5);
    EXPECT_EQ(font(), font_);
    move(5, 5);
    move(5, client.bottom);
    EXPECT_EQ(font(), font_);
    EXPECT_NE(GetCapture(), first_);

    // Another window takes the capture: the underline stays until the pointer
    // next moves over the static, which captures it again, and leaving undoes it.
    move(5, 5);
    SetCapture(parent_);
    EXPECT_EQ(font(), underline);
    move(6, 5);
    EXPECT_EQ(GetCapture(), first_);
    move(5, -1);
    EXPECT_EQ(font(), font_);
    EXPECT_EQ(GetCapture(), nullptr);
}

// Sits on top of a converted window and looks at it right after the conversion's
// own WM_DESTROY handling, while the window still exists.
struct AfterDestroy {
    WNDPROC next = nullptr;
    bool seen = false;
    int ours = -1;
    LONG_PTR procedure = 0;
    HANDLE font = nullptr;
};
AfterDestroy gStaticSeen;
AfterDestroy gParentSeen;

template <AfterDestroy& seen>
LRESULT CALLBACK Watch(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const LRESULT result = CallWindowProcA(seen.next, window, message, wParam, lParam);
    if (message == WM_DESTROY) {
        seen.seen = true;
        seen.ours = OursAmong(PropertyNames(window));
        seen.procedure = WindowProcOf(window);
        seen.font = reinterpret_cast<HANDLE>(SendMessageA(window, WM_GETFONT, 0, 0));
    }
    return result;
}

template <AfterDestroy& seen>
void WatchDestruction(HWND window) {
    seen = {};
    seen.next = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(Watch<seen>)));
}

TEST_F(HyperlinkTest, DestructionUndoesEverything) {
    ConvertStaticToHyperlink(first_);
    SendMessageA(first_, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));  // hovered: underline selected
    HGDIOBJ underline = GetPropA(first_, kUnderlineFont);
    WatchDestruction<gStaticSeen>(first_);
    WatchDestruction<gParentSeen>(parent_);

    DestroyWindow(parent_);
    parent_ = nullptr;

    ASSERT_TRUE(gStaticSeen.seen);
    EXPECT_EQ(gStaticSeen.ours, 0);
    EXPECT_EQ(gStaticSeen.procedure, staticProc_);
    EXPECT_EQ(gStaticSeen.font, font_);
    EXPECT_EQ(GetObjectType(underline), 0u) << "the underline font still exists";
    EXPECT_EQ(GetObjectType(font_), static_cast<DWORD>(OBJ_FONT))
        << "the static's own font was deleted";

    ASSERT_TRUE(gParentSeen.seen);
    EXPECT_EQ(gParentSeen.ours, 0);
    EXPECT_EQ(gParentSeen.procedure, parentProc_);
}

TEST_F(HyperlinkTest, AStaticWithoutParentOrFontStillBecomesALink) {
    HWND lone = CreateWindowA("STATIC", "lone", WS_POPUP, 0, 0, 100, 20, nullptr, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(lone, nullptr);
    ASSERT_EQ(SendMessageA(lone, WM_GETFONT, 0, 0), 0);
    EXPECT_EQ(ConvertStaticToHyperlink(lone), TRUE);
    EXPECT_EQ(OursAmong(PropertyNames(lone)), 4);

    // What it draws with when it has no font of its own: the system font.
    HGDIOBJ underline = GetPropA(lone, kUnderlineFont);
    const LOGFONTA system = Describe(GetStockObject(SYSTEM_FONT));
    const LOGFONTA underlined = Describe(underline);
    EXPECT_EQ(underlined.lfUnderline, 1);
    EXPECT_STREQ(underlined.lfFaceName, system.lfFaceName);

    SendMessageA(lone, WM_MOUSEMOVE, 0, MAKELPARAM(2, 2));
    EXPECT_EQ(SendMessageA(lone, WM_GETFONT, 0, 0), reinterpret_cast<LRESULT>(underline));
    SendMessageA(lone, WM_MOUSEMOVE, 0, MAKELPARAM(500, 2));
    EXPECT_EQ(SendMessageA(lone, WM_GETFONT, 0, 0), 0);

    DestroyWindow(lone);
    EXPECT_EQ(GetObjectType(underline), 0u);
}

}  // namespace
