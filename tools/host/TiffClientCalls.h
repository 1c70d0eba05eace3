#pragma once

#include <tiffio.h>

// libtiff's calls for a file that we open and close ourselves and that it does not map.
namespace vexo::hosttool {

inline int CloseNothing(thandle_t) {
    return 0;
}

inline int MapNothing(thandle_t, void**, toff_t*) {
    return 0;
}

inline void UnmapNothing(thandle_t, void*, toff_t) {}

}  // namespace vexo::hosttool
