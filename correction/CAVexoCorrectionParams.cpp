#include "correction/CAVexoCorrectionParams.h"

CAVexoCorrectionParams::CAVexoCorrectionParams()
    : preset(1), param1(50.0f), param2(50.0f), horizontalStrength(50.0f), verticalStrength(50.0f) {}

CAVexoCorrectionParams::~CAVexoCorrectionParams() = default;

CAVexoCorrectionParams& CAVexoCorrectionParams::operator=(const CAVexoCorrectionParams& other) = default;
