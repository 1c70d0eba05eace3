#pragma once

#include <cstdint>

// Shows the about box modally, owned by the host's window (an HWND on Windows),
// and returns when it closes: 1 after the hidden default button, 2 after Esc or
// the close box; -1 when the box cannot be shown (also on systems without the
// Windows user interface), 0 when the system rejects the owner window.
intptr_t ShowAboutBox(void* owner);
