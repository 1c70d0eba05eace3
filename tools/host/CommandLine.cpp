#include "tools/host/CommandLine.h"

#include <CLI/CLI.hpp>

#include <charconv>
#include <string>
#include <vector>

#include "tools/host/ImageFiles.h"
#include "tools/host/ToolError.h"

namespace vexo::hosttool {
namespace {

std::string Footer() {
    const std::string most = std::to_string(kMaxCorrectedChannels);
    return "Formats: PNG (gray, gray+alpha, RGB, RGBA) and TIFF (gray, RGB, CMYK, each with or\n"
           "without alpha and other extra channels, " +
           most +
           " channels at most), 8 or 16 bits per\n"
           "sample. INPUT may be a pipe or FIFO. The output keeps the input's format, depth\n"
           "and what a viewer displays it by (ICC profile, resolution, orientation, PNG's\n"
           "colour chunks and Exif data), and replaces OUTPUT only once it is complete.\n"
           "\n"
           "Exit codes: 0 done, 1 any other failure, 2 bad command line, 3 input missing,\n"
           "unreadable or unsupported (such as more than " +
           most +
           " channels), 4 plug-in not loadable,\n"
           "5 plug-in refused the image or failed, 6 output not written, 7 not enough memory,\n"
           "8 the system refused the threads the correction runs on (such as for ulimit -u).\n"
           "\n"
           "Example: vexo-host correct samples/fisheye.png corrected.png";
}

// An empty path would otherwise read as no --plugin at all, and quietly run the
// default; an empty OUTPUT would be found to name no file only after the run.
CLI::Validator NonEmptyPath(const std::string& of) {
    return CLI::Validator(
        [of](const std::string& path) {
            return path.empty() ? "takes " + of + " path, not an empty one" : std::string();
        },
        "");
}

void UsageError(CommandLine& result, std::ostream& err, const std::string& message) {
    err << "vexo-host: " << message << " (see vexo-host --help)\n";
    result.action = CommandLine::Action::Exit;
    result.exitCode = kExitUsage;
}

}  // namespace

std::optional<Selection> ParseSelection(const std::string& text) {
    std::vector<int32_t> edges;
    const char* at = text.data();
    const char* end = text.data() + text.size();
    while (true) {
        int32_t value = 0;
        const auto [next, error] = std::from_chars(at, end, value);
        if (error != std::errc() || value < 0) {
            return std::nullopt;
        }
        edges.push_back(value);
        if (next == end) {
            break;
        }
        if (*next != ',') {
            return std::nullopt;
        }
        at = next + 1;
    }
    if (edges.size() != 4) {
        return std::nullopt;
    }
    const Selection selection{edges[0], edges[1], edges[2], edges[3]};
    if (selection.right <= selection.left || selection.bottom <= selection.top) {
        return std::nullopt;
    }
    return selection;
}

CommandLine ParseCommandLine(std::span<const char* const> args, std::ostream& out,
                             std::ostream& err) {
    CommandLine result;
    CLI::App app(
        "Runs the Vexo fisheye-correction plug-in on image files, driving it as a host "
        "application does.",
        "vexo-host");
    app.require_subcommand(1);
    app.set_version_flag("--version", "vexo-host " VEXO_VERSION);
    app.footer(Footer());

    CLI::App* correct = app.add_subcommand("correct", "Correct an image file's fisheye distortion");
    correct
        ->add_option("INPUT", result.correct.input,
                     "PNG or TIFF file to correct (a pipe or FIFO will do)")
        ->required();
    correct
        ->add_option("OUTPUT", result.correct.output,
                     "Where the corrected image goes, in the input's format (may be INPUT)")
        ->required()
        ->check(NonEmptyPath("a file's"));
    correct
        ->add_option("--plugin", result.correct.plugin,
                     "Plug-in library to run (default: the one built with vexo-host)")
        ->check(NonEmptyPath("a plug-in library's"));
    std::string selection;
    correct->add_option("--selection", selection,
                        "LEFT,TOP,RIGHT,BOTTOM in pixels: the selection the host reports "
                        "(default: none, the whole image)");
    correct->add_flag("-q,--quiet", result.correct.quiet, "Show no progress");

    CLI::App* info =
        app.add_subcommand("info", "Show what a host reads from the plug-in's property list");
    info->add_option("--plugin", result.info.plugin,
                     "Plug-in library to read (default: the one built with vexo-host)")
        ->check(NonEmptyPath("a plug-in library's"));

    try {
        app.parse(static_cast<int>(args.size()), args.data());
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return result;
    } catch (const CLI::CallForVersion& e) {
        out << e.what() << "\n";
        return result;
    } catch (const CLI::ParseError& e) {
        UsageError(result, err, e.what());
        return result;
    }

    if (correct->parsed()) {
        if (!selection.empty() || correct->count("--selection") > 0) {
            result.correct.selection = ParseSelection(selection);
            if (!result.correct.selection) {
                UsageError(result, err,
                           "--selection takes LEFT,TOP,RIGHT,BOTTOM with right beyond left and "
                           "bottom beyond top, not '" +
                               selection + "'");
                return result;
            }
        }
        result.action = CommandLine::Action::Correct;
    } else if (info->parsed()) {
        result.action = CommandLine::Action::Info;
    }
    return result;
}

}  // namespace vexo::hosttool
