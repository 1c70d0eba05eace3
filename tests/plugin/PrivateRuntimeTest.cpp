#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/HostFilterInterface.h"
#include "platform/DynamicLibrary.h"
#include "platform/Module.h"
#include "tests/plugin/EngineReference.h"
#include "tools/host/FilterHost.h"
#include "tools/host/PluginLibrary.h"
#include "tools/host/PluginSession.h"

// The plug-in's parallel runtime beside another copy in the host's process, and the library's
// life after the host lets it go. Each test is a process of its own, so each starts with no
// runtime running.
namespace {

using vexo::filterhost::FilterHost;
using vexo::filterhost::HostImage;
using vexo::filterhost::PluginLibrary;
using vexo::filterhost::PluginSession;
using vexo::testing::PatternImage;
using vexo::testing::ReferenceCorrection;

constexpr int kPlanes = 3;

HostImage TestImage() { return PatternImage(48, 36, kPlanes, 8); }

// Every plane of the image, in plane order.
std::vector<std::vector<uint32_t>> Planes(const HostImage& image) {
    std::vector<std::vector<uint32_t>> planes;
    for (int p = 0; p < kPlanes; ++p) {
        planes.push_back(vexo::testing::PlaneOf(image, p));
    }
    return planes;
}

class ForeignRuntime {
public:
    ForeignRuntime() {
        std::string error;
        library_ = vexo::platform::DynamicLibrary::Open(VEXO_FOREIGN_RUNTIME_FILE, &error);
        if (!library_) {
            ADD_FAILURE() << "cannot load the library with its own runtime: " << error;
            return;
        }
        region_ = reinterpret_cast<int (*)(int)>(library_->Symbol("ForeignParallelRegion"));
        EXPECT_NE(region_, nullptr);
    }
    int Region(int threads) const { return region_ ? region_(threads) : -1; }

private:
    std::unique_ptr<vexo::platform::DynamicLibrary> library_;
    int (*region_)(int) = nullptr;
};

// A whole run through the built plug-in; the image it leaves.
HostImage CorrectWithPlugin(const PluginLibrary& plugin) {
    FilterHost host(TestImage());
    PluginSession session(host, plugin.Entry());
    EXPECT_EQ(session.Run().result, noErr);
    return host.Image();
}

TEST(PrivateRuntime, RunsBesideARuntimeThatStartedFirst) {
    const ForeignRuntime foreign;
    ASSERT_EQ(foreign.Region(4), 4);

    const PluginLibrary plugin(VEXO_PLUGIN_FILE);
    const HostImage corrected = CorrectWithPlugin(plugin);
    EXPECT_EQ(foreign.Region(3), 3) << "the other runtime after our run";
    EXPECT_EQ(Planes(corrected), ReferenceCorrection(TestImage(), kPlanes));
}

TEST(PrivateRuntime, LetsARuntimeThatStartsLaterRun) {
    const PluginLibrary plugin(VEXO_PLUGIN_FILE);
    const HostImage corrected = CorrectWithPlugin(plugin);

    const ForeignRuntime foreign;
    EXPECT_EQ(foreign.Region(4), 4);
    EXPECT_EQ(Planes(CorrectWithPlugin(plugin)), Planes(corrected)) << "our run after theirs";
    EXPECT_EQ(Planes(corrected), ReferenceCorrection(TestImage(), kPlanes));
}

// The runtime's workers live in the library and outlast a run, so a host that frees the
// library after a run must not unmap it under them.
TEST(PluginLibraryLifetime, StaysLoadedAfterTheHostFreesIt) {
    vexo::filterhost::PluginEntry entry = nullptr;
    {
        const PluginLibrary plugin(VEXO_PLUGIN_FILE);
        entry = plugin.Entry();
        ASSERT_NE(entry, nullptr);
        FilterHost host(TestImage());
        PluginSession session(host, entry);
        ASSERT_EQ(session.Run().result, noErr);
    }
    EXPECT_NE(vexo::platform::ModuleContaining(reinterpret_cast<const void*>(entry)), nullptr);
    // Its code still runs: the entry answers a whole run as before.
    FilterHost host(TestImage());
    PluginSession session(host, entry);
    EXPECT_EQ(session.Run().result, noErr);
    EXPECT_EQ(Planes(host.Image()), ReferenceCorrection(TestImage(), kPlanes));
}

}  // namespace
