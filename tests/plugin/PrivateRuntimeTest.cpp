#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "host/HostFilterInterface.h"
#include "platform/DynamicLibrary.h"
#include "platform/Module.h"
#include "tests/correction/InMemoryHost.h"
#include "tests/correction/NoisePicture.h"
#include "tests/correction/StubbedServices.h"
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

constexpr int32_t kWidth = 48;
constexpr int32_t kHeight = 36;
constexpr int kPlanes = 3;

HostImage NoiseImage() {
    HostImage image(kWidth, kHeight, kPlanes, 8);
    image.Fill([](int p, int32_t x, int32_t y) { return vexo::testing::Noise(p, x, y, 256); });
    return image;
}

// The engine's own correction of the same image, in this process.
std::vector<uint32_t> EngineCorrection(const HostImage& image) {
    vexo::testing::StubbedServices services;
    vexo::testing::InMemoryHost engine(kWidth, kHeight, kPlanes, 8);
    engine.FillInput([&](int32_t p, int32_t x, int32_t y) { return image.Sample(p, x, y); });
    engine.Init(2);
    CARect in(kWidth, kHeight);
    CARect out(kWidth, kHeight);
    EXPECT_EQ(engine.Process(in, out, CAProcessWholeImage), CAResultOk);
    engine.Release();
    std::vector<uint32_t> samples;
    for (int p = 0; p < kPlanes; ++p) {
        const std::vector<uint32_t> plane = engine.OutputPlane(p);
        samples.insert(samples.end(), plane.begin(), plane.end());
    }
    return samples;
}

std::vector<uint32_t> Samples(const HostImage& image) {
    std::vector<uint32_t> samples;
    for (int p = 0; p < kPlanes; ++p) {
        for (int32_t y = 0; y < kHeight; ++y) {
            for (int32_t x = 0; x < kWidth; ++x) {
                samples.push_back(image.Sample(p, x, y));
            }
        }
    }
    return samples;
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
    FilterHost host(NoiseImage());
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
    EXPECT_EQ(Samples(corrected), EngineCorrection(NoiseImage()));
}

TEST(PrivateRuntime, LetsARuntimeThatStartsLaterRun) {
    const PluginLibrary plugin(VEXO_PLUGIN_FILE);
    const HostImage corrected = CorrectWithPlugin(plugin);

    const ForeignRuntime foreign;
    EXPECT_EQ(foreign.Region(4), 4);
    EXPECT_EQ(Samples(CorrectWithPlugin(plugin)), Samples(corrected)) << "our run after theirs";
    EXPECT_EQ(Samples(corrected), EngineCorrection(NoiseImage()));
}

// The runtime's workers live in the library and outlast a run, so a host that frees the
// library after a run must not unmap it under them.
TEST(PluginLibraryLifetime, StaysLoadedAfterTheHostFreesIt) {
    vexo::filterhost::PluginEntry entry = nullptr;
    {
        const PluginLibrary plugin(VEXO_PLUGIN_FILE);
        entry = plugin.Entry();
        ASSERT_NE(entry, nullptr);
        FilterHost host(NoiseImage());
        PluginSession session(host, entry);
        ASSERT_EQ(session.Run().result, noErr);
    }
    EXPECT_NE(vexo::platform::ModuleContaining(reinterpret_cast<const void*>(entry)), nullptr);
    // Its code still runs: the entry answers a whole run as before.
    FilterHost host(NoiseImage());
    PluginSession session(host, entry);
    EXPECT_EQ(session.Run().result, noErr);
    EXPECT_EQ(Samples(host.Image()), EngineCorrection(NoiseImage()));
}

}  // namespace
