#pragma once

#include <cstdint>

#include "host/PICAHostInterface.h"

// The host-side part of an adapter, complete enough to be built: the data
// operations are PICAHostInterface's own, the rest do nothing.
class HostSide final : public PICAHostInterface {
public:
    void* AllocateBuffer(uint32_t) override { return nullptr; }
    void FreeBuffer(void*) override {}
    void ReportProgress(CAProgressStage, int32_t) override {}
    int32_t ReservedOperation() override { return 0; }
};
