#include "tools/host/PluginRun.h"

#include <stdexcept>
#include <utility>

#include "tools/host/FilterHost.h"
#include "tools/host/PluginLibrary.h"
#include "tools/host/PluginSession.h"
#include "tools/host/PropertyList.h"
#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

using filterhost::FilterHost;
using filterhost::HostImage;
using filterhost::PluginEntry;
using filterhost::PluginLibrary;

std::string SelectionText(const Selection& s) {
    return std::to_string(s.left) + "," + std::to_string(s.top) + "," + std::to_string(s.right) +
           "," + std::to_string(s.bottom);
}

void CheckSelection(const Selection& s, const HostImage& planes) {
    if (s.left < 0 || s.top < 0 || s.left >= s.right || s.top >= s.bottom ||
        s.right > planes.Width() || s.bottom > planes.Height()) {
        throw ToolError(kExitUsage, "the selection " + SelectionText(s) +
                                        " does not lie within the " +
                                        std::to_string(planes.Width()) + " x " +
                                        std::to_string(planes.Height()) + " image");
    }
}

// A host calls the entry point that the property list names; a list that cannot
// be read leaves the published default.
std::string EntryPointName(const PluginLibrary& library) {
    const auto bytes = library.PropertyList();
    if (bytes) {
        try {
            const std::string name = X64EntryPoint(ParsePropertyList(*bytes));
            if (!name.empty()) {
                return name;
            }
        } catch (const std::runtime_error&) {
        }
    }
    return filterhost::kDefaultEntryName;
}

std::unique_ptr<PluginLibrary> Load(const std::string& path) {
    try {
        return std::make_unique<PluginLibrary>(path);
    } catch (const std::runtime_error& e) {
        throw ToolError(kExitPluginUnavailable,
                        "cannot load the plug-in " + path + ": " + e.what());
    }
}

}  // namespace

std::string DescribeResult(OSErr result) {
    const char* name = nullptr;
    switch (result) {
        case noErr:
            name = "noErr";
            break;
        case memFullErr:
            name = "memFullErr";
            break;
        case userCanceledErr:
            name = "userCanceledErr";
            break;
        case filterBadParameters:
            name = "filterBadParameters";
            break;
        case filterhost::paramErr:
            name = "paramErr";
            break;
        case filterhost::errPlugInPropertyUndefined:
            name = "errPlugInPropertyUndefined";
            break;
        default:
            return "error " + std::to_string(result);
    }
    return std::string(name) + " (" + std::to_string(result) + ")";
}

std::string DescribeSelector(int16_t selector) {
    switch (selector) {
        case filterSelectorAbout:
            return "about";
        case filterSelectorParameters:
            return "parameters";
        case filterSelectorPrepare:
            return "prepare";
        case filterSelectorStart:
            return "start";
        case filterSelectorContinue:
            return "continue";
        case filterSelectorFinish:
            return "finish";
        default:
            return "selector " + std::to_string(selector);
    }
}

int16_t ImageModeFor(ColourModel colour, int bitsPerSample) {
    const bool deep = bitsPerSample == 16;
    switch (colour) {
        case ColourModel::Gray:
            return deep ? filterhost::plugInModeGray16 : filterhost::plugInModeGrayScale;
        case ColourModel::Rgb:
            return deep ? filterhost::plugInModeRGB48 : filterhost::plugInModeRGBColor;
        case ColourModel::Cmyk:
            return deep ? filterhost::plugInModeCMYK64 : filterhost::plugInModeCMYKColor;
    }
    return filterhost::plugInModeMultichannel;
}

LoadedPlugin LoadPlugin(const std::string& path) {
    LoadedPlugin plugin{Load(path)};
    const std::string entryName = EntryPointName(*plugin.library);
    plugin.entry = plugin.library->Entry(entryName.c_str());
    if (!plugin.entry) {
        throw ToolError(kExitPluginUnavailable,
                        "the plug-in " + path + " has no entry point " + entryName);
    }
    return plugin;
}

HostImage RunPlugin(const LoadedPlugin& plugin, HostImage planes, ColourModel colour,
                    const PluginRunOptions& options) {
    if (options.selection) {
        CheckSelection(*options.selection, planes);
    }

    FilterHost host(std::move(planes));
    // Alpha and other extra channels are further planes of the same colour image.
    host.SetImageMode(ImageModeFor(colour, host.Image().BitsPerSample()));
    if (options.selection) {
        const Selection& s = *options.selection;
        host.SetFilterRect({static_cast<int16_t>(s.top), static_cast<int16_t>(s.left),
                            static_cast<int16_t>(s.bottom), static_cast<int16_t>(s.right)});
        host.SetFilterCase(filterCaseFlatImageWithSelection);
    }
    if (options.progress) {
        host.SetProgressObserver(options.progress);
    }

    filterhost::PluginSession session(host, plugin.entry);
    const filterhost::SessionOutcome outcome = session.Run();
    if (outcome.result != noErr) {
        const std::string during =
            outcome.failedSelector >= 0
                ? " at its " + DescribeSelector(outcome.failedSelector) + " call"
                : " (the host could not serve its data request)";
        // The plug-in answers memFullErr for any failure of its run; only the host
        // knows whether memory was what it lacked.
        if (outcome.result == memFullErr && host.RefusedForWantOfMemory()) {
            throw ToolError(kExitOutOfMemory, "not enough memory for the plug-in's run: it failed" +
                                                  during + ": " + DescribeResult(outcome.result));
        }
        // The plug-in has told the user why it cancelled; we say where and how.
        const char* what = outcome.result == userCanceledErr ? "refused the image" : "failed";
        throw ToolError(kExitPluginFailed, std::string("the plug-in ") + what + during + ": " +
                                               DescribeResult(outcome.result));
    }
    if (outcome.continueLimitReached) {
        throw ToolError(kExitPluginFailed, "the plug-in asked for data without end");
    }
    return std::move(host.Image());
}

}  // namespace vexo::hosttool
