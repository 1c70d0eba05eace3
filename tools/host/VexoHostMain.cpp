// vexo-host: runs the built plug-in on image files, playing the host's part.

#include <filesystem>
#include <iostream>
#include <span>

#include "tools/host/CommandLine.h"
#include "tools/host/Commands.h"
#include "tools/host/RemovalOnSignal.h"
#include "tools/host/RuntimeSettings.h"

namespace {

std::string ExecutablePath(const char* argv0) {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(argv0) : self.string();
}

}  // namespace

int main(int argc, char** argv) {
    using namespace vexo::hosttool;
    // First of all, so that even a message to a closed standard error ends nothing.
    InstallRemovalOnSignal();
    // Before anything loads the plug-in, and with it the runtime that reads these settings.
    ChooseRuntimeWaiting();
    const std::span<const char* const> args(argv, static_cast<size_t>(argc));
    const CommandLine command = ParseCommandLine(args, std::cout, std::cerr);
    const auto pluginOr = [&](const std::string& named) {
        return named.empty() ? DefaultPluginPath(ExecutablePath(argv[0])) : named;
    };
    switch (command.action) {
        case CommandLine::Action::Correct:
            return RunCorrectCommand(command.correct, pluginOr(command.correct.plugin));
        case CommandLine::Action::Info:
            return RunInfoCommand(pluginOr(command.info.plugin));
        case CommandLine::Action::Exit:
            break;
    }
    return command.exitCode;
}
