// A plug-in that crashes while the system's loader sets it up, before the host
// ever sees an entry point, as a damaged library can.
#include <csignal>
#include <cstdint>

namespace {

struct CrashOnLoad {
    CrashOnLoad() { std::raise(SIGSEGV); }
};
const CrashOnLoad crash;

}  // namespace

extern "C" __attribute__((visibility("default"))) void PluginMain(int16_t, void*, intptr_t*,
                                                                  int16_t*) {}
