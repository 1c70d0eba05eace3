#include "plugin/Hyperlink.h"

#include <windowsx.h>

namespace {

// On both the static and its parent: the window procedure before subclassing.
constexpr char kOriginalProc[] = "_Hyperlink_Original_Proc_";
// On the static: its own font, which belongs to whoever gave it (put back, never deleted).
constexpr char kOriginalFont[] = "_Hyperlink_Original_Font_";
// On the static: its own font with underlining, owned by the conversion.
constexpr char kUnderlineFont[] = "_Hyperlink_Underline_Font_";
// On the static: marks it as converted.
constexpr char kFromStatic[] = "_Hyperlink_From_Static_";

constexpr COLORREF kLinkColour = RGB(0, 0, 192);

static_assert(sizeof(LOGFONTA) == 60);

WNDPROC SavedProc(HWND window) {
    return reinterpret_cast<WNDPROC>(GetPropA(window, kOriginalProc));
}

// A window whose saved procedure has gone (someone else subclassed it over ours
// and outlived our clean-up) still gets the default handling instead of a call
// through null.
LRESULT CallSaved(WNDPROC saved, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return saved ? CallWindowProcA(saved, window, message, wParam, lParam)
                 : DefWindowProcA(window, message, wParam, lParam);
}

void Subclass(HWND window, WNDPROC procedure) {
    SetPropA(window, kOriginalProc,
             reinterpret_cast<HANDLE>(GetWindowLongPtrA(window, GWLP_WNDPROC)));
    SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(procedure));
}

void Unsubclass(HWND window, WNDPROC saved) {
    if (saved) {
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(saved));
    }
    RemovePropA(window, kOriginalProc);
}

void ShowFont(HWND window, const char* property) {
    SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetPropA(window, property)), FALSE);
    InvalidateRect(window, nullptr, FALSE);
}

}  // namespace

BOOL ConvertStaticToHyperlink(HWND window) {
    // Converting twice would save our own procedure as the original one, and
    // every message would then loop back into it.
    if (!IsWindow(window) || GetPropA(window, kFromStatic)) {
        return TRUE;
    }

    // The parent carries one saved procedure for all its converted statics. A
    // parent that already holds one was subclassed by us, even when somebody has
    // subclassed it again since.
    HWND parent = GetParent(window);
    if (parent &&
        GetWindowLongPtrA(parent, GWLP_WNDPROC) !=
            reinterpret_cast<LONG_PTR>(HyperlinkParentProc) &&
        !GetPropA(parent, kOriginalProc)) {
        Subclass(parent, HyperlinkParentProc);
    }

    // Without SS_NOTIFY the static is transparent to the mouse and never sees it.
    SetWindowLongA(window, GWL_STYLE, GetWindowLongA(window, GWL_STYLE) | SS_NOTIFY);
    Subclass(window, HyperlinkProc);

    HFONT font = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    SetPropA(window, kOriginalFont, font);

    // A static without a font of its own draws with the system font, so that is
    // the one to underline.
    LOGFONTA logFont = {};
    GetObjectA(font ? static_cast<HGDIOBJ>(font) : GetStockObject(SYSTEM_FONT), sizeof(logFont),
               &logFont);
    logFont.lfUnderline = TRUE;
    SetPropA(window, kUnderlineFont, CreateFontIndirectA(&logFont));

    SetPropA(window, kFromStatic, reinterpret_cast<HANDLE>(1));
    return TRUE;
}

LRESULT CALLBACK HyperlinkParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC saved = SavedProc(window);
    switch (message) {
        case WM_DESTROY:
            Unsubclass(window, saved);
            return CallSaved(saved, window, message, wParam, lParam);
        case WM_CTLCOLORSTATIC:
            if (GetPropA(reinterpret_cast<HWND>(lParam), kFromStatic)) {
                // The parent's own colours (its background brush) come first.
                const LRESULT result = CallSaved(saved, window, message, wParam, lParam);
                SetTextColor(reinterpret_cast<HDC>(wParam), kLinkColour);
                return result;
            }
            break;
        default:
            break;
    }
    return CallSaved(saved, window, message, wParam, lParam);
}

LRESULT CALLBACK HyperlinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const WNDPROC saved = SavedProc(window);
    switch (message) {
        case WM_DESTROY: {
            Unsubclass(window, saved);
            SendMessageA(window, WM_SETFONT,
                         reinterpret_cast<WPARAM>(GetPropA(window, kOriginalFont)), FALSE);
            RemovePropA(window, kOriginalFont);
            if (HANDLE underline = GetPropA(window, kUnderlineFont)) {
                DeleteObject(underline);
            }
            RemovePropA(window, kUnderlineFont);
            RemovePropA(window, kFromStatic);
            return CallSaved(saved, window, message, wParam, lParam);
        }
        case WM_SETCURSOR: {
            // The hand shows over the whole static, whatever the hit-test code.
            HCURSOR cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32649));  // IDC_HAND
            if (!cursor) {
                cursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
            }
            SetCursor(cursor);
            return TRUE;
        }
        case WM_MOUSEMOVE:
            // Holding the capture lets the static see every movement, so it
            // notices when the pointer leaves it.
            if (GetCapture() != window) {
                ShowFont(window, kUnderlineFont);
                SetCapture(window);
            } else {
                RECT bounds;
                GetWindowRect(window, &bounds);
                // Signed: left of or above the static the coordinates are negative.
                POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
                ClientToScreen(window, &point);
                if (!PtInRect(&bounds, point)) {
                    ShowFont(window, kOriginalFont);
                    ReleaseCapture();
                }
            }
            break;
        default:
            break;
    }
    return CallSaved(saved, window, message, wParam, lParam);
}
