#include "tools/host/RuntimeSettings.h"

#include <initializer_list>

#include "platform/Environment.h"

namespace vexo::hosttool {

void ChooseRuntimeWaiting() {
    namespace platform = vexo::platform;
    char ignored[2];
    for (const char* usersOwn : {"GOMP_SPINCOUNT", "OMP_WAIT_POLICY"}) {
        if (platform::ReadEnvironmentValue(usersOwn, ignored, sizeof(ignored)) !=
            platform::EnvironmentRead::Missing) {
            return;
        }
    }
    // The runtime's default spin of some 300,000 rounds outlasts a row many times over: on a
    // machine whose cores other programs also use, the spinning workers then keep a row's
    // late thread from its core.
    platform::SetEnvironmentValue("GOMP_SPINCOUNT", kRuntimeSpinCount);
}

}  // namespace vexo::hosttool
