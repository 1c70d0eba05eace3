#pragma once

#include <string>
#include <vector>

namespace vexo::hosttool::testing {

struct ToolRun {
    int exitCode = -1;  // -1 when the tool did not exit normally
    std::string out;
    std::string err;
};

// Runs the built vexo-host with these arguments and waits for it, keeping what it
// wrote to standard output and standard error (neither is a terminal).
ToolRun RunTool(const std::vector<std::string>& args);

}  // namespace vexo::hosttool::testing
