#pragma once

// Classes and functions that the plug-in library exports. Everything else stays
// hidden: the Linux build compiles with hidden visibility by default.
#if defined(_WIN32)
#define VEXO_EXPORT __declspec(dllexport)
#else
#define VEXO_EXPORT __attribute__((visibility("default")))
#endif
