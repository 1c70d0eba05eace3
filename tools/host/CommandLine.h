#pragma once

#include <optional>
#include <ostream>
#include <span>
#include <string>

#include "tools/host/PluginRun.h"

namespace vexo::hosttool {

struct CorrectCommand {
    std::string input;
    std::string output;
    std::string plugin;  // empty: the default plug-in
    std::optional<Selection> selection;
    bool quiet = false;
};

struct InfoCommand {
    std::string plugin;  // empty: the default plug-in
};

struct CommandLine {
    enum class Action { Correct, Info, Exit };
    Action action = Action::Exit;
    CorrectCommand correct;
    InfoCommand info;
    int exitCode = 0;  // for Exit: help shown (0) or a usage error (kExitUsage)
};

// Parses vexo-host's arguments (args[0] is the program). Help and version go to
// out; a usage error goes to err as one line, and the action is then Exit.
CommandLine ParseCommandLine(std::span<const char* const> args, std::ostream& out,
                             std::ostream& err);

// "LEFT,TOP,RIGHT,BOTTOM" with non-negative integers, right beyond left and
// bottom beyond top; nothing for anything else.
std::optional<Selection> ParseSelection(const std::string& text);

}  // namespace vexo::hosttool
