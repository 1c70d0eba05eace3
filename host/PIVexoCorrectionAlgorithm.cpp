#include "host/PIVexoCorrectionAlgorithm.h"

#include "host/Progress.h"
#include "host/TrackedMemory.h"

// The shared base and the algorithm's members are built by CVexoCorrectionAlgorithm's
// constructor; the host side adds nothing.
PIVexoCorrectionAlgorithm::PIVexoCorrectionAlgorithm() = default;

void* PIVexoCorrectionAlgorithm::AllocateBuffer(uint32_t size) {
    return AllocateTrackedMemory(size);
}

void PIVexoCorrectionAlgorithm::FreeBuffer(void* block) {
    FreeTrackedMemory(block);
}

void PIVexoCorrectionAlgorithm::ReportProgress(CAProgressStage stage, int32_t count) {
    ReportHostProgress(stage, count);
}

CAResult PIVexoCorrectionAlgorithm::GetData(CAImageBuffer* image, CARect& region, void* buffer,
                                            CAChannelsType channels) {
    return PICAHostInterface::GetData(image, region, buffer, channels);
}

CAResult PIVexoCorrectionAlgorithm::PutData(CAImageBuffer* image, CARect& region, void* buffer,
                                            CAChannelsType channels) {
    return PICAHostInterface::PutData(image, region, buffer, channels);
}

int32_t PIVexoCorrectionAlgorithm::ReservedOperation() {
    return CAResultOk;
}

CAResult PIVexoCorrectionAlgorithm::GetDataRef(CARect& inRect, void** inData, int32_t* inRowBytes,
                                               CARect& outRect, void** outData,
                                               int32_t* outRowBytes, CAChannelsType channels) {
    return PICAHostInterface::GetDataRef(inRect, inData, inRowBytes, outRect, outData, outRowBytes,
                                         channels);
}
