#pragma once

#include "ByteWriter.h"

// The two resources that the host reads before it calls any code of the plug-in.
namespace vexo::resources {

// The plug-in property list: that this library is a filter, its menu name and
// category, its entry point, the image modes and sizes it accepts and how the
// host prepares the data in each filter case.
Bytes PropertyList();

// The scripting terminology: the filter as one scriptable event.
Bytes Terminology();

}  // namespace vexo::resources
