#include "plugin/AboutBoxWin32.h"

#include "platform/Platform.h"
#include "plugin/AboutResources.h"
#include "plugin/Hyperlink.h"
#include "plugin/PluginModule.h"
#include "plugin/UpdateCheck.h"
#include "plugin/WebSite.h"

HBRUSH gAboutBrush = nullptr;

namespace {

constexpr char kHomePage[] = VEXO_WEB_SITE;
constexpr char kProductPage[] = VEXO_WEB_SITE "/products/specpage_vexo.asp";

// The module's activation context, set up once per process on first use. A null
// context stands for the process default.
bool gContextReady = false;
HANDLE gContext = nullptr;

bool IsMissingResource(DWORD error) {
    return error == ERROR_RESOURCE_DATA_NOT_FOUND || error == ERROR_RESOURCE_TYPE_NOT_FOUND ||
           error == ERROR_RESOURCE_NAME_NOT_FOUND || error == ERROR_RESOURCE_LANG_NOT_FOUND;
}

// The isolation-aware scheme: the context the loader gave the module from its
// manifest, else one made from the module's own isolation manifest resource,
// else (no such resource) the process default.
bool SetUpModuleContext(HMODULE module) {
    if (gContextReady) {
        return true;
    }
    ACTIVATION_CONTEXT_BASIC_INFORMATION info = {};
    if (!QueryActCtxW(QUERY_ACTCTX_FLAG_ACTCTX_IS_HMODULE | QUERY_ACTCTX_FLAG_NO_ADDREF, module,
                      nullptr, ActivationContextBasicInformation, &info, sizeof(info), nullptr)) {
        return false;
    }
    HANDLE context = info.hActCtx;
    if (!context) {
        char path[MAX_PATH];
        const DWORD length = GetModuleFileNameA(module, path, sizeof(path));
        ACTCTXA request = {};
        request.cbSize = sizeof(request);
        request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
        request.lpSource = (length > 0 && length < sizeof(path)) ? path : nullptr;
        request.hModule = module;
        request.lpResourceName = ISOLATIONAWARE_NOSTATICIMPORT_MANIFEST_RESOURCE_ID;
        context = CreateActCtxA(&request);
        if (context == INVALID_HANDLE_VALUE) {
            if (!IsMissingResource(GetLastError())) {
                return false;
            }
            context = nullptr;
        }
    }
    gContext = context;
    gContextReady = true;
    return true;
}

void ReleaseAboutBrush() {
    if (gAboutBrush) {
        DeleteObject(gAboutBrush);
        gAboutBrush = nullptr;
    }
}

void OnCommand(HWND dialog, WORD control, WORD code) {
    switch (control) {
        // The buttons carry BS_NOTIFY: focus and double-click notifications
        // arrive here as well, and only a click may act.
        case IDCANCEL:
            if (code == BN_CLICKED) {
                EndDialog(dialog, IDCANCEL);
            }
            break;
        case IDC_ABOUT_UPDATE:
            if (code == BN_CLICKED) {
                CheckForUpdates();
            }
            break;
        case IDC_ABOUT_OK:
            if (code == BN_CLICKED) {
                EndDialog(dialog, IDOK);
            }
            break;
        // Every notification of these two opens its page, a double click included.
        case IDC_ABOUT_WEBSITE:
            vexo::platform::OpenAddress(dialog, kHomePage);
            break;
        case IDC_ABOUT_LEARN_MORE:
            vexo::platform::OpenAddress(dialog, kProductPage);
            break;
        default:
            break;
    }
}

}  // namespace

extern "C" INT_PTR CALLBACK FilterAboutProc(HWND dialog, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
    (void)lParam;
    switch (message) {
        case WM_INITDIALOG:
            ReleaseAboutBrush();
            gAboutBrush = CreateSolidBrush(RGB(255, 255, 255));
            ConvertStaticToHyperlink(GetDlgItem(dialog, IDC_ABOUT_WEBSITE));
            InitProductIdentity();
            SendMessageA(GetDlgItem(dialog, IDC_ABOUT_UPDATE), WM_SETTEXT, 0,
                         reinterpret_cast<LPARAM>("Check for &Update"));
            return TRUE;
        case WM_COMMAND:
            OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
            return FALSE;
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<INT_PTR>(gAboutBrush);
        case WM_DESTROY:
            // One brush per showing; without this every opening would leak one.
            ReleaseAboutBrush();
            return FALSE;
        default:
            return FALSE;
    }
}

intptr_t ShowAboutBox(void* owner) {
    // Without the plug-in's own module the template would be looked up in the
    // host's executable.
    HMODULE module = static_cast<HMODULE>(gModuleHandle);
    if (!module) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return -1;
    }
    if (!SetUpModuleContext(module)) {
        return -1;
    }
    ULONG_PTR cookie = 0;
    if (!ActivateActCtx(gContext, &cookie)) {
        return -1;
    }
    const INT_PTR result =
        DialogBoxParamA(module, "ABOUTDIALOG", static_cast<HWND>(owner), FilterAboutProc, 0);
    // The caller reports a failure with the dialog call's error code, which the
    // deactivation must not replace.
    const DWORD error = GetLastError();
    DeactivateActCtx(0, cookie);
    if (result == -1) {
        SetLastError(error);
    }
    return result;
}
