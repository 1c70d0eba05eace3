#include "tools/host/Commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iostream>
#include <new>

#include "tools/host/ExitDuringRun.h"
#include "tools/host/ImageFiles.h"
#include "tools/host/PluginLibrary.h"
#include "tools/host/ProgressDisplay.h"
#include "tools/host/PropertyList.h"
#include "tools/host/ReplacementFile.h"
#include "tools/host/SampleConversion.h"
#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

int Report(const ToolError& error) {
    std::fflush(stderr);
    std::cerr << "vexo-host: " << error.what() << std::endl;
    return error.Code();
}

// Runs a command, telling the user of any failure in one line; a failed allocation
// says what the memory was wanted for.
int RunReported(const std::function<void()>& command, const std::string& memoryWantedFor) {
    try {
        command();
        return kExitOk;
    } catch (const ToolError& error) {
        return Report(error);
    } catch (const std::bad_alloc&) {
        return Report(ToolError(kExitOutOfMemory, "not enough memory " + memoryWantedFor));
    } catch (const std::exception& error) {
        return Report(ToolError(kExitFailure, error.what()));
    }
}

// The output keeps the input's format: a name that promises another is a mistake
// caught before any work is done.
void CheckOutputName(const std::string& output, FileFormat format) {
    const ExtensionKind kind = KindOfExtension(output);
    const bool matches = kind == ExtensionKind::Unknown ||
                         (kind == ExtensionKind::Png && format == FileFormat::Png) ||
                         (kind == ExtensionKind::Tiff && format == FileFormat::Tiff);
    if (!matches) {
        throw ToolError(kExitUsage, "the output keeps the input's format, " +
                                        std::string(FormatName(format)) + ", but " + output +
                                        " names another");
    }
}

void Correct(const CorrectCommand& command, const std::string& plugin) {
    RasterImage image = ReadImage(command.input);
    CheckOutputName(command.output, image.format);
    // Before the temporary file exists: a library that crashes the system's loader
    // must find nothing of ours to leave behind.
    const LoadedPlugin loaded = LoadPlugin(plugin);
    // Made before the run, so that an output that cannot be written is known at once.
    ReplacementFile output(command.output);

    ProgressDisplay progress(
        stderr, command.quiet ? ProgressDisplay::Style::None : ProgressDisplay::StyleFor(stderr));
    PluginRunOptions options;
    options.selection = command.selection;
    options.progress = [&progress](int32_t done, int32_t total) { progress.Report(done, total); };
    filterhost::HostImage corrected = [&] {
        try {
            const ExitDuringRun exitDuringRun([&progress] { progress.Finish(); });
            return RunPlugin(loaded, ToHostImage(image), image.colour, options);
        } catch (...) {
            progress.Finish();
            throw;
        }
    }();
    progress.Finish();

    StoreHostImage(corrected, image);
    WriteImage(output.TemporaryPath(), image, command.output);
    output.Commit();
}

void Info(const std::string& plugin) {
    std::optional<std::vector<uint8_t>> bytes;
    try {
        filterhost::PluginLibrary library(plugin);
        bytes = library.PropertyList();
    } catch (const std::runtime_error& e) {
        throw ToolError(kExitPluginUnavailable,
                        "cannot load the plug-in " + plugin + ": " + e.what());
    }
    if (!bytes) {
        throw ToolError(kExitPluginUnavailable,
                        "the plug-in " + plugin + " has no property list (looked for " +
                            filterhost::PluginLibrary::PropertyListFileBeside(plugin) + ")");
    }
    PropertyList list;
    try {
        list = ParsePropertyList(*bytes);
    } catch (const std::runtime_error& e) {
        throw ToolError(kExitPluginUnavailable,
                        "the plug-in " + plugin + " has a malformed property list: " + e.what());
    }

    std::vector<std::pair<std::string, std::string>> lines = {
        {"Plug-in", plugin},
        {"Property list", "version " + std::to_string(list.version) + ", " +
                              std::to_string(list.properties.size()) + " properties"}};
    for (auto& line : DescribePropertyList(list)) {
        lines.push_back(std::move(line));
    }
    // Labels line up with their own kind: the indented ones under their heading.
    const auto indented = [](const std::string& label) { return label.starts_with(" "); };
    size_t width = 0;
    size_t indentedWidth = 0;
    for (const auto& [label, value] : lines) {
        size_t& w = indented(label) ? indentedWidth : width;
        w = std::max(w, label.size());
    }
    for (const auto& [label, value] : lines) {
        const size_t w = indented(label) ? indentedWidth : width;
        std::cout << label << ":";
        if (!value.empty()) {
            std::cout << std::string(w - label.size() + 1, ' ') << value;
        }
        std::cout << "\n";
    }
}

}  // namespace

int RunCorrectCommand(const CorrectCommand& command, const std::string& plugin) {
    return RunReported([&] { Correct(command, plugin); }, "to correct " + command.input);
}

int RunInfoCommand(const std::string& plugin) {
    return RunReported([&] { Info(plugin); }, "to read the plug-in " + plugin);
}

std::string DefaultPluginPath(const std::string& executablePath) {
    std::error_code ignored;
    const std::filesystem::path built = VEXO_DEFAULT_PLUGIN;
    if (std::filesystem::exists(built, ignored)) {
        return built.string();
    }
    const std::filesystem::path beside =
        std::filesystem::path(executablePath).parent_path() / built.filename();
    if (std::filesystem::exists(beside, ignored)) {
        return beside.string();
    }
    return built.string();
}

}  // namespace vexo::hosttool
