#pragma once

#include "ResourceReader.h"

// The property list and the terminology as this build produced them: natively the
// files written next to the plug-in, in the Windows build the resources inside the
// plug-in library itself. Both throw std::runtime_error when they are missing.
namespace vexo::test {

Bytes BuiltPropertyList();
Bytes BuiltTerminology();

Bytes ReadWholeFile(const char* path);

}  // namespace vexo::test
