#include "correction/CAVexoCorrectionParams.h"

CAVexoCorrectionParams::CAVexoCorrectionParams()
    : preset(1), param1(50.0f), param2(50.0f), horizontalStrength(50.0f), verticalStrength(50.0f) {}

CAVexoCorrectionParams& CAVexoCorrectionParams::operator=(const CAVexoCorrectionParams& other) {
    preset = other.preset;
    param1 = other.param1;
    param2 = other.param2;
    horizontalStrength = other.horizontalStrength;
    verticalStrength = other.verticalStrength;
    return *this;
}
