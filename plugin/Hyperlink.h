#pragma once

#include <windows.h>

// Makes a static text control look and feel like a web link: dark blue text, a
// hand pointer, and an underline while the pointer is over it. The static and
// its parent are subclassed and all state is kept in window properties, so any
// number of statics can be converted; clicks reach the parent as the static's
// ordinary notifications. Everything is undone when the windows are destroyed.
// Returns TRUE.
BOOL ConvertStaticToHyperlink(HWND window);

// Window procedure of a converted static.
LRESULT CALLBACK HyperlinkProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Window procedure of the parent of converted statics.
LRESULT CALLBACK HyperlinkParentProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
