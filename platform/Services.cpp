#include "platform/Platform.h"

namespace vexo::platform {

Services& CurrentServices() {
    static Services current = SystemServices();
    return current;
}

}  // namespace vexo::platform
