#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vexo::hosttool::testing {

struct ToolRun {
    int exitCode = -1;  // -1 when the tool did not exit normally
    std::string out;
    std::string err;
};

// Runs the built vexo-host with these arguments and waits for it, keeping what it
// wrote to standard output and standard error (neither is a terminal). With a
// limit, the tool's address space may not grow beyond that many bytes.
ToolRun RunTool(const std::vector<std::string>& args,
                std::optional<uint64_t> addressSpaceLimit = std::nullopt);

// Whether a limit on the address space can apply to the tool at all: a build with
// AddressSanitizer reserves terabytes of it for its shadow memory as it starts.
constexpr bool kAddressSpaceCanBeLimited =
#if defined(__SANITIZE_ADDRESS__)
    false;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    false;
#else
    true;
#endif
#else
    true;
#endif

}  // namespace vexo::hosttool::testing
