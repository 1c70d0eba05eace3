#pragma once

class PIVexoCorrectionAlgorithm;

// The correction object of the running start call, from its creation to its
// deletion within that call.
extern PIVexoCorrectionAlgorithm* gCorrectionAlgorithm;

// The start selector: refuses a selection under 24 x 24 pixels, otherwise corrects
// every plane of the whole image in one call.
void DoStart();
