#include "plugin/AboutBox.h"

// Only the Windows build has the dialog and its resources.
intptr_t ShowAboutBox(void*) {
    return -1;
}
