// A plug-in that stalls in its start call, so that a test can end the tool in the
// middle of a run. It says so on standard error first, and gives up after a
// minute, so that a test that never ends it does not hang.
#include <unistd.h>

#include <cstdint>

#include "host/HostFilterInterface.h"

extern "C" __attribute__((visibility("default"))) void PluginMain(int16_t selector, void*,
                                                                  intptr_t*, int16_t* result) {
    if (selector != filterSelectorStart) {
        return;
    }
    constexpr char kStalling[] = "stalling in the start call\n";
    [[maybe_unused]] const ssize_t written = write(STDERR_FILENO, kStalling, sizeof kStalling - 1);
    for (int tenth = 0; tenth < 600; ++tenth) {
        usleep(100'000);
    }
    *result = memFullErr;
}
