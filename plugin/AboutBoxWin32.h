#pragma once

#include <windows.h>

#include "plugin/AboutBox.h"

// Dialog procedure of the about box, exported by its plain name.
extern "C" __declspec(dllexport) INT_PTR CALLBACK
    FilterAboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// White brush of the open about box's background; null while no box is open.
extern HBRUSH gAboutBrush;
