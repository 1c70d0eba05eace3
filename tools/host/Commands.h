#pragma once

#include <string>

#include "tools/host/CommandLine.h"

// vexo-host's two commands. Each returns the exit code, having told the user of
// any failure in one line on standard error.
namespace vexo::hosttool {

int RunCorrectCommand(const CorrectCommand& command, const std::string& plugin);
int RunInfoCommand(const std::string& plugin);

// Where the plug-in is when none is named: the one the build made alongside
// vexo-host, else one of the same file name next to the executable.
std::string DefaultPluginPath(const std::string& executablePath);

}  // namespace vexo::hosttool
