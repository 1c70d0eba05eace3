#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "host/HostFilterInterface.h"
#include "tools/host/HostImage.h"
#include "tools/host/PluginLibrary.h"
#include "tools/host/RasterImage.h"

namespace vexo::hosttool {

// A selection in image pixels: left and top inside, right and bottom just outside.
struct Selection {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    friend bool operator==(const Selection&, const Selection&) = default;
};

struct PluginRunOptions {
    std::optional<Selection> selection;  // none: the whole image
    std::function<void(int32_t done, int32_t total)> progress;
};

// The host's name for a result code, such as "memFullErr (-108)".
std::string DescribeResult(OSErr result);
// The host's name for a selector, such as "start".
std::string DescribeSelector(int16_t selector);

// The image mode a host reports for a flat image of this colour and depth.
int16_t ImageModeFor(ColourModel colour, int bitsPerSample);

// A plug-in library loaded, with the entry point its property list names.
struct LoadedPlugin {
    std::unique_ptr<filterhost::PluginLibrary> library;
    filterhost::PluginEntry entry = nullptr;
};

// Throws ToolError(kExitPluginUnavailable) when the plug-in does not load or has
// no entry point.
LoadedPlugin LoadPlugin(const std::string& path);

// Runs the plug-in over the planes as a host runs a filter on a flat image:
// parameters, prepare, start, continue while it asks for data, finish. Returns
// the corrected planes. Throws ToolError: kExitPluginFailed when a call fails (the
// result code named), kExitOutOfMemory when it failed with memFullErr after the host
// could not give it memory, kExitUsage for a selection outside the image.
filterhost::HostImage RunPlugin(const LoadedPlugin& plugin, filterhost::HostImage planes,
                                ColourModel colour, const PluginRunOptions& options);

}  // namespace vexo::hosttool
