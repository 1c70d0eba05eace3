#pragma once

// The plug-in library's own module handle (an HMODULE on Windows), kept by the
// library's entry while the library is loaded and null otherwise. The plug-in's
// own resources, such as the about box's dialog and logo, are loaded through it:
// the host's module holds resources of its own under the same names.
extern void* gModuleHandle;
