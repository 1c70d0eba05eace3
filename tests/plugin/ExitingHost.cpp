// A host process that ends in one of the ways a host ends, after the parallel runtime of a
// library it loaded has run: ProcessExitTest starts it and watches it end.
//   ExitingHost plugin-return PLUGIN        a correction through the plug-in, then main returns
//   ExitingHost plugin-exit-process PLUGIN  the same, then ExitProcess at once
//   ExitingHost probe-exit PROBE            a region in the probe library, then main returns
//   ExitingHost probe-unload PROBE          the same, then the library is unloaded
// It says on standard output how far it got; the probe adds what its runtime's exit left.
#include <windows.h>

#include <exception>
#include <string>

#include "host/HostFilterInterface.h"
#include "tools/host/FilterHost.h"
#include "tools/host/HostImage.h"
#include "tools/host/PluginLibrary.h"
#include "tools/host/PluginSession.h"

namespace {

using vexo::filterhost::FilterHost;
using vexo::filterhost::HostImage;
using vexo::filterhost::PluginLibrary;
using vexo::filterhost::PluginSession;

constexpr int kThreads = 4;

// Unbuffered and untranslated, as the probe writes in its exit handler.
void Say(const std::string& text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
}

// Long enough that every worker has stopped spinning and sleeps on its condition variable,
// which is where the system finds them when the process ends.
void LetTheWorkersFallAsleep() {
    Sleep(200);
}

bool CorrectOnce(const std::string& pluginPath) {
    // The library stays loaded until the process ends, as a host keeps its plug-ins.
    auto* plugin = new PluginLibrary(pluginPath);
    HostImage image(640, 480, 3, 8);
    image.Fill([](int plane, int32_t x, int32_t y) { return (x * 3 + y * 5 + plane * 61) % 256; });
    FilterHost host(image);
    PluginSession session(host, plugin->Entry());
    return session.Run().result == noErr;
}

using ProbeRegion = int (*)(int);

HMODULE LoadProbe(const std::string& path, ProbeRegion* region) {
    HMODULE probe = LoadLibraryA(path.c_str());
    *region = probe ? reinterpret_cast<ProbeRegion>(
                          reinterpret_cast<void*>(GetProcAddress(probe, "ProbeParallelRegion")))
                    : nullptr;
    return probe;
}

int Run(const std::string& mode, const std::string& library) {
    if (mode == "plugin-return" || mode == "plugin-exit-process") {
        if (!CorrectOnce(library)) {
            Say("the correction failed\n");
            return 2;
        }
        Say("corrected\n");
        LetTheWorkersFallAsleep();
        if (mode == "plugin-exit-process") {
            ExitProcess(0);
        }
        return 0;
    }
    if (mode == "probe-exit" || mode == "probe-unload") {
        ProbeRegion region = nullptr;
        const HMODULE probe = LoadProbe(library, &region);
        if (region == nullptr || region(kThreads) != kThreads) {
            Say("the probe's region failed\n");
            return 2;
        }
        Say("ran a region\n");
        LetTheWorkersFallAsleep();
        if (mode == "probe-unload") {
            FreeLibrary(probe);
            Say("unloaded\n");
        }
        return 0;
    }
    Say("unknown mode\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        Say("usage: ExitingHost MODE LIBRARY\n");
        return 2;
    }
    try {
        return Run(argv[1], argv[2]);
    } catch (const std::exception& e) {
        Say(std::string(e.what()) + "\n");
        return 2;
    }
}
