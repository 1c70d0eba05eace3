#pragma once

// Classes and functions that the plug-in library exports. Everything else stays
// hidden: the Linux build compiles with hidden visibility by default.
//
// Of an exported class, only the members defined out of line reach the Windows
// export table: a member defined or defaulted inside the class body is inline, and
// the MinGW compilers emit inline members only where they are used, never for
// export. A member meant to be exported, special members included, is therefore
// defined in a source file, if only as "= default".
#if defined(_WIN32)
#define VEXO_EXPORT __declspec(dllexport)
#else
#define VEXO_EXPORT __attribute__((visibility("default")))
#endif
