#pragma once

#include <cstdint>

#include "correction/CVexoCorrectionAlgorithm.h"
#include "host/PICAHostInterface.h"

// The correction bound to the host's filter interface: the algorithm side is
// CVexoCorrectionAlgorithm's, the host side serves its seven operations from the
// current filter record. CAHostInterface occurs twice in this class (through
// CAAlgorithm and through PICAHostInterface); the overrides below serve both, and
// both lead to the one shared image description and working block.
//
// The start handler makes one per start call with new and deletes it through this
// type (no destructor in the tree is virtual) after calling Release, so that the
// working block goes back while the host services still exist.
class PIVexoCorrectionAlgorithm final : public CVexoCorrectionAlgorithm, public PICAHostInterface {
public:
    PIVexoCorrectionAlgorithm();

    // A zero-filled, listed block from the host's buffers or the heap; null without
    // memory, with the host's code in the result word.
    void* AllocateBuffer(uint32_t size) override;
    // Ignores null and blocks this adapter did not hand out.
    void FreeBuffer(void* block) override;
    void ReportProgress(CAProgressStage stage, int32_t count) override;
    CAResult GetData(CAImageBuffer* image, CARect& region, void* buffer,
                     CAChannelsType channels) override;
    CAResult PutData(CAImageBuffer* image, CARect& region, void* buffer,
                     CAChannelsType channels) override;
    int32_t ReservedOperation() override;
    CAResult GetDataRef(CARect& inRect, void** inData, int32_t* inRowBytes, CARect& outRect,
                        void** outData, int32_t* outRowBytes, CAChannelsType channels) override;
};
