#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/Environment.h"
#include "tools/host/RuntimeSettings.h"

namespace {

std::optional<std::string> Get(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
}

void Put(const char* name, const std::optional<std::string>& value) {
    vexo::platform::SetEnvironmentValue(name, value ? value->c_str() : nullptr);
}

TEST(RuntimeSettings, TheToolChoosesTheSpinUnlessTheUserDid) {
    struct Case {
        const char* name;
        std::optional<std::string> spinCount, waitPolicy;  // the user's
        std::optional<std::string> expectedSpinCount;
    };
    const Case cases[] = {
        {"nothing set", std::nullopt, std::nullopt, vexo::hosttool::kRuntimeSpinCount},
        {"the user's spin count", "123", std::nullopt, "123"},
        {"the user's wait policy", std::nullopt, "PASSIVE", std::nullopt},
    };
    const auto savedSpin = Get("GOMP_SPINCOUNT");
    const auto savedPolicy = Get("OMP_WAIT_POLICY");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Put("GOMP_SPINCOUNT", c.spinCount);
        Put("OMP_WAIT_POLICY", c.waitPolicy);
        vexo::hosttool::ChooseRuntimeWaiting();
        EXPECT_EQ(Get("GOMP_SPINCOUNT"), c.expectedSpinCount);
        EXPECT_EQ(Get("OMP_WAIT_POLICY"), c.waitPolicy);
    }
    Put("GOMP_SPINCOUNT", savedSpin);
    Put("OMP_WAIT_POLICY", savedPolicy);
}

}  // namespace
