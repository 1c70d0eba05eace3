#include <windows.h>

#include "plugin/LibraryLifetime.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            OnProcessAttach(module);
            break;
        case DLL_PROCESS_DETACH:
            OnProcessDetach();
            break;
        case DLL_THREAD_ATTACH:
            OnThreadAttach();
            break;
        case DLL_THREAD_DETACH:
            OnThreadDetach();
            break;
        default:
            OnUnknownNotification();
            break;
    }
    return TRUE;
}
