#include "correction/LensPresets.h"

namespace {

struct PresetRow {
    float HS, V3, VC3, V5, RR, Twist, VCQ3, VS, H3, HC3, H5, HC;
};

// Every value is the float nearest to the decimal written. V3, Twist and HC are 0 and HS equals
// VS in every row: the scale-factor fit supplies V3 and the final HS.
constexpr PresetRow kPresetRows[kLensPresetCount] = {
    {.HS = 1.3347f,
     .V3 = 0.0f,
     .VC3 = 0.18f,
     .V5 = 0.12f,
     .RR = 0.78f,
     .Twist = 0.0f,
     .VCQ3 = 0.31f,
     .VS = 1.3347f,
     .H3 = 0.28f,
     .HC3 = 0.06f,
     .H5 = 0.09f,
     .HC = 0.0f},
    {.HS = 1.1891f,
     .V3 = 0.0f,
     .VC3 = 0.145f,
     .V5 = 0.07f,
     .RR = 0.99f,
     .Twist = 0.0f,
     .VCQ3 = 0.18f,
     .VS = 1.1891f,
     .H3 = 0.36f,
     .HC3 = 0.0f,
     .H5 = 0.03f,
     .HC = 0.0f},
    {.HS = 1.0649f,
     .V3 = 0.0f,
     .VC3 = 0.145f,
     .V5 = 0.08f,
     .RR = 1.509f,
     .Twist = 0.0f,
     .VCQ3 = 0.18f,
     .VS = 1.0649f,
     .H3 = 0.4f,
     .HC3 = 0.0f,
     .H5 = 0.0f,
     .HC = 0.0f},
};

constexpr float kBicubicGain = 0.4f;

LensPreset MakePreset(const PresetRow& row) {
    LensPreset preset{};
    VexoInternalParams& c = preset.coefficients;
    c.HS = row.HS;
    c.V3 = row.V3;
    c.VC3 = row.VC3;
    c.V5 = row.V5;
    c.RR = row.RR;
    c.Twist = row.Twist;
    c.VCQ3 = row.VCQ3;
    c.VS = row.VS;
    c.H3 = row.H3;
    c.HC3 = row.HC3;
    c.H5 = row.H5;
    c.HC = row.HC;
    preset.bicubicGain = kBicubicGain;
    preset.clampToNeighbours = 0;
    return preset;
}

// Built when the library loads: the coefficients' constructor and destructor are defined out of
// line for export, and a constant expression cannot call them.
const LensPreset kPresets[kLensPresetCount] = {
    MakePreset(kPresetRows[0]),
    MakePreset(kPresetRows[1]),
    MakePreset(kPresetRows[2]),
};

}  // namespace

const LensPreset* FindLensPreset(int32_t index) {
    if (index < 0 || index >= kLensPresetCount) {
        return nullptr;
    }
    return &kPresets[index];
}
